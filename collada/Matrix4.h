#pragma once
// Matrix4: a 4 x 4 matrix of doubles stored column by column, element
// (row r, column c) at index 4c + r, the layout OpenGL and the viewer's
// camera frame take. A new matrix is the identity.

#include "trimesh/Vec.h"

class Matrix4 {
public:
    Matrix4(); // identity

    double& at(int row, int column) { return m[4 * column + row]; }
    double at(int row, int column) const { return m[4 * column + row]; }
    const double* data() const { return m; }

    // (A x B)(r, c) = sum over k of A(r, k) B(k, c).
    Matrix4 operator*(const Matrix4& b) const;

    // Applies the upper three rows to the point (x, y, z, 1) in double
    // precision; the fourth row is not used.
    vec transformPoint(const vec& p) const;
    // Applies the upper-left 3 x 3 block to the direction.
    vec transformDirection(const vec& d) const;

    // The inverse, by LU decomposition with partial pivoting and implicit
    // row scaling. Returns false, leaving `inverse` unchanged, when the
    // matrix is singular or holds a value that is not finite.
    bool invert(Matrix4& inverse) const;
    // The matrix that carries normals: the transpose of the inverse, with
    // its translation column cleared. A singular matrix gives the identity,
    // so its normals stay as they are.
    Matrix4 normalMatrix() const;

    bool isFinite() const;

private:
    double m[16];
};
