#pragma once
// PovPlacement: where an imported file's models stand in the scene. A point
// of the file is turned about x, then y, then z (degrees, right-handed),
// scaled by one factor and then moved:
//     p' = translate + scale * Rz * Ry * Rx * p
// The identity placement leaves every coordinate untouched, bit for bit.

#include "trimesh/Vec.h"

struct PovPlacement {
    vec translate;
    vec rotate; // degrees about x, y and z, applied in that order
    float scale = 1.0f;

    bool isIdentity() const { return translate == vec() && rotate == vec() && scale == 1.0f; }
    friend bool operator==(const PovPlacement& a, const PovPlacement& b)
    {
        return a.translate == b.translate && a.rotate == b.rotate && a.scale == b.scale;
    }
    friend bool operator!=(const PovPlacement& a, const PovPlacement& b) { return !(a == b); }

    // The rotation as a row-major 3 x 3 matrix (without the scale).
    void rotation(double r[9]) const;
    // The whole placement as an OpenGL matrix (column by column).
    void matrix(double m[16]) const;

    // A point or a direction of the file in the scene (directions are
    // turned only, so unit normals stay unit).
    vec apply(const vec& point) const;
    vec turn(const vec& direction) const;
    // A point of the scene in the file's frame, and a ray direction taken
    // back with it (turned back and divided by the scale, so a ray's
    // parameter t means the same point on both sides).
    vec unapply(const vec& point) const;
    vec unapplyDirection(const vec& direction) const;
    // A direction of the scene turned back into the file's frame.
    vec unturn(const vec& direction) const;
};
