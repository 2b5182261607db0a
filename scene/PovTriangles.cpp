#include "scene/PovTriangles.h"

#include "scene/PovNumber.h"

#include <charconv>
#include <cmath>

namespace {

// The value POV-Ray reads back from the writer's text for `v`.
double asWritten(float v)
{
    char text[64];
    char* end = writeFixed(text, v);
    double d = 0.0;
    std::from_chars(text, end, d);
    return d;
}

} // namespace

bool povFinite(const vec& a, const vec& b, const vec& c)
{
    for (int k = 0; k < 3; ++k) {
        if (!std::isfinite(a[k]) || !std::isfinite(b[k]) || !std::isfinite(c[k]))
            return false;
    }
    return true;
}

bool povKeepsTriangle(const vec& a, const vec& b, const vec& c)
{
    if (!povFinite(a, b, c))
        return false;
    double p1[3], p2[3], p3[3];
    for (int k = 0; k < 3; ++k) {
        p1[k] = asWritten(a[k]);
        p2[k] = asWritten(b[k]);
        p3[k] = asWritten(c[k]);
    }
    // The parser's test: V1 = P1 - P2, V2 = P3 - P2, |V1 x V2| == 0.
    const double v1[3] = {p1[0] - p2[0], p1[1] - p2[1], p1[2] - p2[2]};
    const double v2[3] = {p3[0] - p2[0], p3[1] - p2[1], p3[2] - p2[2]};
    const double x = v1[1] * v2[2] - v1[2] * v2[1];
    const double y = v1[2] * v2[0] - v1[0] * v2[2];
    const double z = v1[0] * v2[1] - v1[1] * v2[0];
    return std::sqrt(x * x + y * y + z * z) != 0.0;
}

bool povAcceptsMesh(LnMesh& mesh)
{
    const int faces = mesh.getNumFaces();
    const bool smooth = !mesh.isFlat();
    for (int j = 0; j < faces; ++j) {
        vec a, b, c;
        mesh.getFaceVertices(j, a, b, c);
        if (!povKeepsTriangle(a, b, c))
            continue;
        if (smooth) {
            vec na, nb, nc;
            mesh.getFaceNormals(j, na, nb, nc);
            if (!povFinite(na, nb, nc))
                continue;
        }
        return true;
    }
    return false;
}
