#pragma once
// Picking by ray: which model a ray from the eye meets first, computed on
// the models' triangles (what the view shows: each model's display mesh),
// without drawing anything, so it works the same with every OpenGL driver.

#include "trimesh/Vec.h"

class PovScene;

// The nearest point where the ray origin + t * direction (t > 0) meets a
// triangle of model i's display mesh: returns t, or a negative number when
// it misses. `direction` need not be of unit length.
float rayHitsModel(const PovScene& scene, int i, const vec& origin, const vec& direction);

// The model the ray meets first, skipping the ground (model 0) unless
// `groundShown`; -1 when it meets none. `distance` (when given) gets the
// ray parameter t of the hit.
int pickModel(const PovScene& scene, const vec& origin, const vec& direction, bool groundShown,
              float* distance = nullptr);
