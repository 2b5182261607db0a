#include "trimesh/SymEigen.h"

#include <cmath>

namespace {

const int N = 3;

// Householder reduction to tridiagonal form: `v` (in: the matrix) becomes the
// orthogonal transformation, `d` the diagonal and `e` the subdiagonal
// (e[0] unused).
void tridiagonalize(float v[N][N], float d[N], float e[N])
{
    for (int j = 0; j < N; ++j)
        d[j] = v[N - 1][j];
    for (int i = N - 1; i > 0; --i) {
        float scale = 0.0f, h = 0.0f;
        for (int k = 0; k < i; ++k)
            scale += std::fabs(d[k]);
        if (scale == 0.0f) {
            e[i] = d[i - 1];
            for (int j = 0; j < i; ++j) {
                d[j] = v[i - 1][j];
                v[i][j] = 0.0f;
                v[j][i] = 0.0f;
            }
        } else {
            for (int k = 0; k < i; ++k) {
                d[k] /= scale;
                h += d[k] * d[k];
            }
            float f = d[i - 1];
            float g = std::sqrt(h);
            if (f > 0.0f)
                g = -g;
            e[i] = scale * g;
            h -= f * g;
            d[i - 1] = f - g;
            for (int j = 0; j < i; ++j)
                e[j] = 0.0f;
            for (int j = 0; j < i; ++j) {
                f = d[j];
                v[j][i] = f;
                g = e[j] + v[j][j] * f;
                for (int k = j + 1; k <= i - 1; ++k) {
                    g += v[k][j] * d[k];
                    e[k] += v[k][j] * f;
                }
                e[j] = g;
            }
            f = 0.0f;
            for (int j = 0; j < i; ++j) {
                e[j] /= h;
                f += e[j] * d[j];
            }
            const float hh = f / (h + h);
            for (int j = 0; j < i; ++j)
                e[j] -= hh * d[j];
            for (int j = 0; j < i; ++j) {
                f = d[j];
                g = e[j];
                for (int k = j; k <= i - 1; ++k)
                    v[k][j] -= f * e[k] + g * d[k];
                d[j] = v[i - 1][j];
                v[i][j] = 0.0f;
            }
        }
        d[i] = h;
    }
    // Accumulate the transformations.
    for (int i = 0; i < N - 1; ++i) {
        v[N - 1][i] = v[i][i];
        v[i][i] = 1.0f;
        const float h = d[i + 1];
        if (h != 0.0f) {
            for (int k = 0; k <= i; ++k)
                d[k] = v[k][i + 1] / h;
            for (int j = 0; j <= i; ++j) {
                float g = 0.0f;
                for (int k = 0; k <= i; ++k)
                    g += v[k][i + 1] * v[k][j];
                for (int k = 0; k <= i; ++k)
                    v[k][j] -= g * d[k];
            }
        }
        for (int k = 0; k <= i; ++k)
            v[k][i + 1] = 0.0f;
    }
    for (int j = 0; j < N; ++j) {
        d[j] = v[N - 1][j];
        v[N - 1][j] = 0.0f;
    }
    v[N - 1][N - 1] = 1.0f;
    e[0] = 0.0f;
}

// QL iteration with implicit shifts on the tridiagonal form.
void ql(float v[N][N], float d[N], float e[N])
{
    for (int i = 1; i < N; ++i)
        e[i - 1] = e[i];
    e[N - 1] = 0.0f;
    float f = 0.0f, tst1 = 0.0f;
    const float eps = std::ldexp(1.0f, -23);
    for (int l = 0; l < N; ++l) {
        tst1 = std::fmax(tst1, std::fabs(d[l]) + std::fabs(e[l]));
        int m = l;
        while (m < N - 1 && !(std::fabs(e[m]) <= eps * tst1))
            ++m;
        if (m > l) {
            // Converges in a few steps; the cap only guards against input
            // that is not finite.
            for (int iter = 0; iter < 60; ++iter) {
                float g = d[l];
                float p = (d[l + 1] - g) / (2.0f * e[l]);
                float r = std::hypot(p, 1.0f);
                if (p < 0.0f)
                    r = -r;
                d[l] = e[l] / (p + r);
                d[l + 1] = e[l] * (p + r);
                const float dl1 = d[l + 1];
                float h = g - d[l];
                for (int i = l + 2; i < N; ++i)
                    d[i] -= h;
                f += h;
                p = d[m];
                float c = 1.0f, c2 = 1.0f, c3 = 1.0f, s = 0.0f, s2 = 0.0f;
                const float el1 = e[l + 1];
                for (int i = m - 1; i >= l; --i) {
                    c3 = c2;
                    c2 = c;
                    s2 = s;
                    g = c * e[i];
                    h = c * p;
                    r = std::hypot(p, e[i]);
                    e[i + 1] = s * r;
                    s = e[i] / r;
                    c = p / r;
                    p = c * d[i] - s * g;
                    d[i + 1] = h + s * (c * g + s * d[i]);
                    for (int k = 0; k < N; ++k) {
                        h = v[k][i + 1];
                        v[k][i + 1] = s * v[k][i] + c * h;
                        v[k][i] = c * v[k][i] - s * h;
                    }
                }
                p = -s * s2 * c3 * el1 * e[l] / dl1;
                e[l] = s * p;
                d[l] = c * p;
                if (!(std::fabs(e[l]) > eps * tst1))
                    break;
            }
        }
        d[l] += f;
        e[l] = 0.0f;
    }
    // Ascending order, eigenvectors along.
    for (int i = 0; i < N - 1; ++i) {
        int k = i;
        for (int j = i + 1; j < N; ++j)
            if (d[j] < d[k])
                k = j;
        if (k != i) {
            const float t = d[k];
            d[k] = d[i];
            d[i] = t;
            for (int j = 0; j < N; ++j) {
                const float u = v[j][i];
                v[j][i] = v[j][k];
                v[j][k] = u;
            }
        }
    }
}

} // namespace

void eigenSymmetric3(float a[3][3], float d[3])
{
    float e[N];
    tridiagonalize(a, d, e);
    ql(a, d, e);
}
