#pragma once
// The unit normal of a triangle's plane, shared by every mesh kind.

#include "trimesh/Vec.h"

// (b - a) x (c - a) scaled to unit length, or (1, 0, 0) for a triangle
// without area.
inline vec lnFaceNormal(const vec& a, const vec& b, const vec& c)
{
    const vec n = cross(b - a, c - a);
    const float l = len(n);
    if (l > 0.0f) {
        return n / l;
    }
    return vec(1.0f, 0.0f, 0.0f);
}
