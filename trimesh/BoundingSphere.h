#pragma once
// Smallest sphere enclosing a list of points: Welzl's move-to-front algorithm
// with pivoting (Gaertner's formulation), in single precision, expected time
// linear in the number of points. Used by TriMesh::computeBoundingSphere and
// by the COLLADA importer on its own points.

#include <cstddef>

#include "trimesh/Vec.h"

// Sets `center` and `radius` to the smallest sphere enclosing points[0..count).
// An empty list (count 0 or points null) gives center (0, 0, 0) and radius 0;
// a single point gives that point and radius 0. Writes nothing. NaN
// coordinates never lie "outside" the sphere and are thus ignored; infinite
// ones give an unspecified sphere (the routine still ends).
// Being computed in floats, the sphere may miss a point by a rounding error
// (a relative 1e-6 of the radius or so).
void boundingSphere(const vec* points, size_t count, vec& center, float& radius);
