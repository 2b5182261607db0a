#include "trimesh/TriMesh.h"

#include <algorithm>
#include <cmath>

namespace {
// The toolkit's own program-wide random sequence (a linear congruential
// generator modulo 2^32, starting at 0), so sampled results repeat from run
// to run independently of the C library's rand().
uint32_t randomState = 0;

uint32_t nextRandom()
{
    randomState = randomState * 1664525u + 1013904223u;
    return randomState;
}
} // namespace

float TriMesh::medianEdgeLength()
{
    const size_t nf = faces.size();
    const size_t samples = std::min<size_t>(nf / 2, 333);
    if (samples == 0)
        return 0.0f;
    std::vector<float> sq;
    sq.reserve(samples * 3);
    for (size_t i = 0; i < samples; ++i) {
        const Face& f = faces[nextRandom() % nf];
        const vec& p0 = vertices[size_t(f[0])];
        const vec& p1 = vertices[size_t(f[1])];
        const vec& p2 = vertices[size_t(f[2])];
        sq.push_back(dist2(p1, p0));
        sq.push_back(dist2(p2, p1));
        sq.push_back(dist2(p0, p2));
    }
    std::nth_element(sq.begin(), sq.begin() + sq.size() / 2, sq.end());
    return std::sqrt(sq[sq.size() / 2]);
}
