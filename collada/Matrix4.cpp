#include "collada/Matrix4.h"

#include <cmath>
#include <utility>

Matrix4::Matrix4() : m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1} {}

Matrix4 Matrix4::operator*(const Matrix4& b) const
{
    Matrix4 p;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                sum += at(r, k) * b.at(k, c);
            }
            p.at(r, c) = sum;
        }
    }
    return p;
}

vec Matrix4::transformPoint(const vec& p) const
{
    const double x = p[0], y = p[1], z = p[2];
    vec out;
    for (int r = 0; r < 3; ++r) {
        out[r] = float(at(r, 0) * x + at(r, 1) * y + at(r, 2) * z + at(r, 3));
    }
    return out;
}

vec Matrix4::transformDirection(const vec& d) const
{
    const double x = d[0], y = d[1], z = d[2];
    vec out;
    for (int r = 0; r < 3; ++r) {
        out[r] = float(at(r, 0) * x + at(r, 1) * y + at(r, 2) * z);
    }
    return out;
}

bool Matrix4::isFinite() const
{
    for (double v : m) {
        if (!std::isfinite(v)) {
            return false;
        }
    }
    return true;
}

bool Matrix4::invert(Matrix4& inverse) const
{
    if (!isFinite()) {
        return false;
    }
    double a[4][4];
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            a[r][c] = at(r, c);
        }
    }

    // Implicit scaling: each row is weighed by the reciprocal of its largest
    // absolute element when the pivot is chosen.
    double scale[4];
    for (int r = 0; r < 4; ++r) {
        double big = 0.0;
        for (int c = 0; c < 4; ++c) {
            big = std::fmax(big, std::fabs(a[r][c]));
        }
        if (big == 0.0) {
            return false;
        }
        scale[r] = 1.0 / big;
    }

    // Crout's decomposition in place; perm records the row exchanges.
    int perm[4];
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < c; ++r) {
            double sum = a[r][c];
            for (int k = 0; k < r; ++k) {
                sum -= a[r][k] * a[k][c];
            }
            a[r][c] = sum;
        }
        double big = 0.0;
        int pivot = c;
        for (int r = c; r < 4; ++r) {
            double sum = a[r][c];
            for (int k = 0; k < c; ++k) {
                sum -= a[r][k] * a[k][c];
            }
            a[r][c] = sum;
            const double weight = scale[r] * std::fabs(sum);
            if (weight > big) {
                big = weight;
                pivot = r;
            }
        }
        if (pivot != c) {
            for (int k = 0; k < 4; ++k) {
                std::swap(a[pivot][k], a[c][k]);
            }
            scale[pivot] = scale[c];
        }
        perm[c] = pivot;
        if (a[c][c] == 0.0) {
            return false;
        }
        for (int r = c + 1; r < 4; ++r) {
            a[r][c] /= a[c][c];
        }
    }

    // Solve for the four unit columns.
    Matrix4 result;
    for (int col = 0; col < 4; ++col) {
        double b[4] = {0.0, 0.0, 0.0, 0.0};
        b[col] = 1.0;
        int firstNonZero = -1;
        for (int r = 0; r < 4; ++r) {
            const int p = perm[r];
            double sum = b[p];
            b[p] = b[r];
            if (firstNonZero >= 0) {
                for (int k = firstNonZero; k < r; ++k) {
                    sum -= a[r][k] * b[k];
                }
            } else if (sum != 0.0) {
                firstNonZero = r;
            }
            b[r] = sum;
        }
        for (int r = 3; r >= 0; --r) {
            double sum = b[r];
            for (int k = r + 1; k < 4; ++k) {
                sum -= a[r][k] * b[k];
            }
            b[r] = sum / a[r][r];
        }
        for (int r = 0; r < 4; ++r) {
            result.at(r, col) = b[r];
        }
    }
    if (!result.isFinite()) {
        return false;
    }
    inverse = result;
    return true;
}

Matrix4 Matrix4::normalMatrix() const
{
    Matrix4 inverse;
    if (!invert(inverse)) {
        return Matrix4();
    }
    Matrix4 n;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            n.at(r, c) = inverse.at(c, r);
        }
    }
    n.at(0, 3) = n.at(1, 3) = n.at(2, 3) = 0.0;
    return n;
}
