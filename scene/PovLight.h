#pragma once
// PovLight: one light of the scene, a plain value copied whole.

#include "trimesh/Vec.h"

struct PovLight {
    // Stores the angles (radians; azimuth from +y toward +x, elevation above
    // the ground plane) and the distance, and places the light at
    // (d cos(e) sin(a), d cos(e) cos(a), d sin(e)). Colour and intensity are
    // left alone.
    void setFromAngles(float azimuth, float elevation, float distance);

    vec position;
    float azimuth = 0.0f;
    float elevation = 0.0f;
    float distance = 0.0f;
    vec color = vec(1.0f, 1.0f, 1.0f);
    float intensity = 1.0f;
};
