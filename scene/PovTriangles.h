#pragma once
// Which triangles POV-Ray keeps in a mesh. Its parser reads the coordinates
// as the writer prints them ("%f" text), drops a triangle whose corners, so
// read, span no area (the cross product of two edges is exactly zero), and
// refuses a mesh left without triangles ("No triangles in triangle mesh").
// Numbers that are not finite cannot be written at all.

#include "ln/LnModel.h"

// Whether the three vectors are finite, so their text parses.
bool povFinite(const vec& a, const vec& b, const vec& c);
// Whether POV-Ray keeps the triangle with these corners as the writer
// prints them: finite, and of non-zero area after the rounding of the text.
bool povKeepsTriangle(const vec& a, const vec& b, const vec& c);
// Whether the mesh has a triangle POV-Ray keeps (flat or smooth, the
// normals of a smooth one finite too), so that its mesh block is accepted.
bool povAcceptsMesh(LnMesh& mesh);
