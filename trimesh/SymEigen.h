#pragma once
// Eigen-decomposition of a symmetric 3 x 3 matrix in single precision:
// Householder reduction to tridiagonal form, then QL iteration with implicit
// shifts. Internal to the toolkit.

// On return, `a`'s columns are unit eigenvectors (a[row][col]) and `d` holds
// the eigenvalues in ascending order, column k belonging to d[k]. Input that
// is not finite gives unspecified values but always returns.
void eigenSymmetric3(float a[3][3], float d[3]);
