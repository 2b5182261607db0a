#pragma once
// Building blocks of the curvature code, all in single precision: turning a
// tangent frame towards a new normal, expressing curvature tensors and their
// derivatives in another frame, finding principal curvatures, and a small
// symmetric solver. Internal to the toolkit (the tests use them directly).

#include <cmath>

#include "trimesh/Vec.h"

// Rotates the tangent frame (oldU, oldV), whose normal is oldU x oldV, so
// that it lies in the plane of newNorm; the result goes to (newU, newV).
// Exactly opposite normals give (-oldU, -oldV).
inline void rotateFrame(const vec& oldU, const vec& oldV, const vec& newNorm, vec& newU, vec& newV)
{
    newU = oldU;
    newV = oldV;
    const vec oldNorm = cross(oldU, oldV);
    const float d = dot(oldNorm, newNorm);
    if (d <= -1.0f) {
        newU = -newU;
        newV = -newV;
        return;
    }
    const vec p = newNorm - d * oldNorm;
    const vec q = (oldNorm + newNorm) * (1.0f / (1.0f + d));
    newU -= q * dot(newU, p);
    newV -= q * dot(newV, p);
}

// The curvature tensor (ku, kuv, kv) given in frame (u, v), expressed in the
// frame (s, t) after that is turned into the plane of u x v.
inline void projectCurvature(const vec& u, const vec& v, float ku, float kuv, float kv,
                             const vec& s, const vec& t, float& outKu, float& outKuv, float& outKv)
{
    vec rs, rt;
    rotateFrame(s, t, cross(u, v), rs, rt);
    const float a1 = dot(rs, u), b1 = dot(rs, v);
    const float a2 = dot(rt, u), b2 = dot(rt, v);
    outKu = ku * a1 * a1 + 2.0f * kuv * a1 * b1 + kv * b1 * b1;
    outKuv = ku * a1 * a2 + kuv * (a1 * b2 + a2 * b1) + kv * b1 * b2;
    outKv = ku * a2 * a2 + 2.0f * kuv * a2 * b2 + kv * b2 * b2;
}

// The third-order symmetric tensor c (components along uuu, uuv, uvv, vvv)
// given in frame (u, v), expressed in the frame (s, t) turned as above.
inline void projectDcurv(const vec& u, const vec& v, const float c[4], const vec& s, const vec& t,
                         float out[4])
{
    vec rs, rt;
    rotateFrame(s, t, cross(u, v), rs, rt);
    const float a1 = dot(rs, u), b1 = dot(rs, v);
    const float a2 = dot(rt, u), b2 = dot(rt, v);
    const float a1a1 = a1 * a1, a2a2 = a2 * a2, b1b1 = b1 * b1, b2b2 = b2 * b2;
    out[0] =
        c[0] * a1a1 * a1 + 3.0f * c[1] * a1a1 * b1 + 3.0f * c[2] * a1 * b1b1 + c[3] * b1b1 * b1;
    out[1] = c[0] * a1a1 * a2 + c[1] * (a1a1 * b2 + 2.0f * a1 * a2 * b1) +
             c[2] * (a2 * b1b1 + 2.0f * a1 * b1 * b2) + c[3] * b1b1 * b2;
    out[2] = c[0] * a1 * a2a2 + c[1] * (a2a2 * b1 + 2.0f * a1 * a2 * b2) +
             c[2] * (a1 * b2b2 + 2.0f * a2 * b1 * b2) + c[3] * b1 * b2b2;
    out[3] =
        c[0] * a2a2 * a2 + 3.0f * c[1] * a2a2 * b2 + 3.0f * c[2] * a2 * b2b2 + c[3] * b2b2 * b2;
}

// Principal curvatures of (ku, kuv, kv) in frame (u, v), the frame first
// turned into the plane of the normal n. The major curvature is the one of
// larger magnitude (the first on a tie); minor direction = n x major.
inline void diagonalizeCurvature(const vec& u, const vec& v, float ku, float kuv, float kv,
                                 const vec& n, vec& majorDir, vec& minorDir, float& majorCurv,
                                 float& minorCurv)
{
    vec ru, rv;
    rotateFrame(u, v, n, ru, rv);
    float c = 1.0f, s = 0.0f, tau = 0.0f;
    if (kuv != 0.0f) {
        const float h = 0.5f * (kv - ku) / kuv;
        tau = (h < 0.0f) ? 1.0f / (h - std::sqrt(1.0f + h * h))
                         : 1.0f / (h + std::sqrt(1.0f + h * h));
        c = 1.0f / std::sqrt(1.0f + tau * tau);
        s = tau * c;
    }
    const float k1 = ku - tau * kuv;
    const float k2 = kv + tau * kuv;
    if (std::fabs(k1) >= std::fabs(k2)) {
        majorCurv = k1;
        minorCurv = k2;
        majorDir = c * ru - s * rv;
    } else {
        majorCurv = k2;
        minorCurv = k1;
        majorDir = s * ru + c * rv;
    }
    minorDir = cross(n, majorDir);
}

// Solves the symmetric N x N system a x = b (only a's upper triangle is read)
// by an L D L^T decomposition; false, with x untouched, when a pivot is not
// positive (or not a number).
template <int N> bool solveSymmetric(const float a[N][N], const float b[N], float x[N])
{
    float l[N][N];
    float d[N];
    for (int j = 0; j < N; ++j) {
        float dj = a[j][j];
        for (int k = 0; k < j; ++k)
            dj -= l[j][k] * l[j][k] * d[k];
        if (!(dj > 0.0f))
            return false;
        d[j] = dj;
        for (int i = j + 1; i < N; ++i) {
            float lij = a[j][i];
            for (int k = 0; k < j; ++k)
                lij -= l[i][k] * l[j][k] * d[k];
            l[i][j] = lij / dj;
        }
    }
    float y[N];
    for (int i = 0; i < N; ++i) {
        float yi = b[i];
        for (int k = 0; k < i; ++k)
            yi -= l[i][k] * y[k];
        y[i] = yi;
    }
    for (int i = 0; i < N; ++i)
        y[i] /= d[i];
    for (int i = N - 1; i >= 0; --i) {
        float xi = y[i];
        for (int k = i + 1; k < N; ++k)
            xi -= l[k][i] * x[k];
        x[i] = xi;
    }
    return true;
}

// Unit length; a vector of length 0 (or not a number) becomes (1, 0, 0).
// The same rule as normalize() in Vec.h, as a value.
inline vec normalized(vec a)
{
    normalize(a);
    return a;
}
