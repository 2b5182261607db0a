#include "scene/PovPick.h"

#include "ln/LnModel.h"
#include "scene/PovScene.h"

#include <cmath>

namespace {

// Möller and Trumbore's test, in double precision so that large, far
// models do not lose thin triangles: t of the hit, or -1.
double rayTriangle(const vec& o, const vec& d, const vec& a, const vec& b, const vec& c)
{
    const double e1[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
    const double e2[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
    const double p[3] = {d[1] * e2[2] - d[2] * e2[1], d[2] * e2[0] - d[0] * e2[2],
                         d[0] * e2[1] - d[1] * e2[0]};
    const double det = e1[0] * p[0] + e1[1] * p[1] + e1[2] * p[2];
    if (det == 0.0 || !std::isfinite(det)) {
        return -1.0;
    }
    const double inv = 1.0 / det;
    const double s[3] = {double(o[0]) - a[0], double(o[1]) - a[1], double(o[2]) - a[2]};
    const double u = (s[0] * p[0] + s[1] * p[1] + s[2] * p[2]) * inv;
    if (u < 0.0 || u > 1.0) {
        return -1.0;
    }
    const double q[3] = {s[1] * e1[2] - s[2] * e1[1], s[2] * e1[0] - s[0] * e1[2],
                         s[0] * e1[1] - s[1] * e1[0]};
    const double v = (d[0] * q[0] + d[1] * q[1] + d[2] * q[2]) * inv;
    if (v < 0.0 || u + v > 1.0) {
        return -1.0;
    }
    const double t = (e2[0] * q[0] + e2[1] * q[1] + e2[2] * q[2]) * inv;
    return t > 0.0 ? t : -1.0;
}

// True when the ray passes within `radius` of `center` (ahead of its origin
// or around it).
bool rayNearSphere(const vec& o, const vec& d, const vec& center, float radius)
{
    const double dd = double(d[0]) * d[0] + double(d[1]) * d[1] + double(d[2]) * d[2];
    if (dd <= 0.0 || !std::isfinite(radius)) {
        return true; // nothing to cull with: test every triangle
    }
    const double w[3] = {double(center[0]) - o[0], double(center[1]) - o[1],
                         double(center[2]) - o[2]};
    const double along = (w[0] * d[0] + w[1] * d[1] + w[2] * d[2]) / dd;
    const double r = double(radius);
    const double ww = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    if (along < 0.0) {
        return ww <= r * r;
    }
    const double miss = ww - along * along * dd;
    return miss <= r * r * 1.0001 + 1e-12;
}

} // namespace

float rayHitsModel(const PovScene& scene, int i, const vec& worldOrigin, const vec& worldDirection)
{
    if (i < 0 || i >= scene.modelCount()) {
        return -1.0f;
    }
    LnMesh* mesh = scene.models[size_t(i)]->getDisplayMesh();
    // A placed model is met in its file's frame: the ray is taken there,
    // its parameter t naming the same point on both sides.
    const PovPlacement& placement = scene.placementOf(i);
    const vec origin = placement.unapply(worldOrigin);
    const vec direction = placement.unapplyDirection(worldDirection);
    vec center;
    float radius = 0.0f;
    mesh->getBoundingSphere(center, radius);
    if (radius > 0.0f && !rayNearSphere(origin, direction, center, radius)) {
        return -1.0f;
    }
    double best = -1.0;
    const int faces = mesh->getNumFaces();
    for (int f = 0; f < faces; ++f) {
        vec a, b, c;
        mesh->getFaceVertices(f, a, b, c);
        const double t = rayTriangle(origin, direction, a, b, c);
        if (t > 0.0 && (best < 0.0 || t < best)) {
            best = t;
        }
    }
    return float(best);
}

int pickModel(const PovScene& scene, const vec& origin, const vec& direction, bool groundShown,
              float* distance)
{
    int picked = -1;
    float nearest = -1.0f;
    for (int i = groundShown ? 0 : 1; i < scene.modelCount(); ++i) {
        const float t = rayHitsModel(scene, i, origin, direction);
        if (t > 0.0f && (nearest < 0.0f || t < nearest)) {
            nearest = t;
            picked = i;
        }
    }
    if (distance) {
        *distance = nearest;
    }
    return picked;
}
