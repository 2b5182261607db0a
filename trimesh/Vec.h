#pragma once
// vec: three single-precision floats used for points, normals, directions
// and RGB colours. Plain layout (exactly three floats, no padding) so arrays
// of vec can be copied as float blocks and handed to OpenGL.

#include <cmath>

struct vec {
    float v[3];

    vec() : v{0.0f, 0.0f, 0.0f} {}
    vec(float x, float y, float z) : v{x, y, z} {}

    float& operator[](int i) { return v[i]; }
    float operator[](int i) const { return v[i]; }
    float* data() { return v; }
    const float* data() const { return v; }

    vec& operator+=(const vec& o)
    {
        v[0] += o.v[0];
        v[1] += o.v[1];
        v[2] += o.v[2];
        return *this;
    }
    vec& operator-=(const vec& o)
    {
        v[0] -= o.v[0];
        v[1] -= o.v[1];
        v[2] -= o.v[2];
        return *this;
    }
    vec& operator*=(float s)
    {
        v[0] *= s;
        v[1] *= s;
        v[2] *= s;
        return *this;
    }
    vec& operator/=(float s)
    {
        v[0] /= s;
        v[1] /= s;
        v[2] /= s;
        return *this;
    }

    friend vec operator+(vec a, const vec& b) { return a += b; }
    friend vec operator-(vec a, const vec& b) { return a -= b; }
    friend vec operator-(const vec& a) { return vec(-a.v[0], -a.v[1], -a.v[2]); }
    friend vec operator*(vec a, float s) { return a *= s; }
    friend vec operator*(float s, vec a) { return a *= s; }
    friend vec operator/(vec a, float s) { return a /= s; }
    friend bool operator==(const vec& a, const vec& b)
    {
        return a.v[0] == b.v[0] && a.v[1] == b.v[1] && a.v[2] == b.v[2];
    }
    friend bool operator!=(const vec& a, const vec& b) { return !(a == b); }
};

static_assert(sizeof(vec) == 3 * sizeof(float), "vec must be three packed floats");

inline float dot(const vec& a, const vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
inline vec cross(const vec& a, const vec& b)
{
    return vec(a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]);
}
inline float len2(const vec& a) { return dot(a, a); }
inline float len(const vec& a) { return std::sqrt(len2(a)); }
inline float dist2(const vec& a, const vec& b) { return len2(a - b); }
inline float dist(const vec& a, const vec& b) { return len(a - b); }

// Scales a to unit length; a zero vector becomes (1, 0, 0).
inline void normalize(vec& a)
{
    float l = len(a);
    if (l > 0.0f) {
        a *= 1.0f / l;
    } else {
        a = vec(1.0f, 0.0f, 0.0f);
    }
}
