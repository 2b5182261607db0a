#include "trimesh/KDtree.h"
#include "trimesh/ReadCommon.h"
#include "trimesh/SymEigen.h"
#include "trimesh/TriMesh.h"

#include <cfloat>
#include <cmath>

namespace {

// Adds the corner weights 1/(la lc), 1/(la lb), 1/(lb lc) one division
// each, for the faces whose triple product is not a normal float (tiny or
// huge faces) or whose weights overflow. A zero-length edge (or a vertex
// that is not finite) makes weights infinite or NaN; such corners add
// nothing.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
void addOddFace(vec* nrm, const Face& f, const vec& n, float la, float lb, float lc)
{
    const float w0 = 1.0f / (la * lc), w1 = 1.0f / (la * lb), w2 = 1.0f / (lb * lc);
    if (std::isfinite(w0))
        nrm[f[0]] += n * w0;
    if (std::isfinite(w1))
        nrm[f[1]] += n * w1;
    if (std::isfinite(w2))
        nrm[f[2]] += n * w2;
}

void faceNormals(TriMesh& m)
{
    vec* nrm = m.normals.data();
    const vec* v = m.vertices.data();
    for (const Face& f : m.faces) {
        const vec& p0 = v[f[0]];
        const vec& p1 = v[f[1]];
        const vec& p2 = v[f[2]];
        const vec a = p0 - p1, b = p1 - p2, c = p2 - p0;
        const float la = len2(a), lb = len2(b), lc = len2(c);
        const vec n = cross(a, b);
        // Corner weights from one reciprocal of the triple product. The
        // lengths are not negative, so the product is a normal float just
        // when it lies in [FLT_MIN, FLT_MAX] (NaN fails both tests), and the
        // weights' sum is finite just when each weight is. Anything else
        // takes the slow path.
        const float t = la * lb * lc;
        const float inv = 1.0f / t;
        const float w0 = lb * inv, w1 = lc * inv, w2 = la * inv;
        if (t >= FLT_MIN && t <= FLT_MAX && w0 + w1 + w2 <= FLT_MAX) {
            nrm[f[0]] += n * w0;
            nrm[f[1]] += n * w1;
            nrm[f[2]] += n * w2;
        } else {
            addOddFace(nrm, f, n, la, lb, lc);
        }
    }
}

// The normal of the plane through each point's nearest neighbours: the
// eigenvector of the smallest eigenvalue of the neighbours' scatter about the
// point, turned to face +z.
void pointSetNormals(TriMesh& m)
{
    const size_t nv = m.vertices.size();
    const KDtree kd(m.vertices.data(), nv);
    const float r = kd.rootRadius();
    const float maxDist2 = r * r;
    const float* base = m.vertices[0].data();
    std::vector<int> set;
    set.reserve(13);
    const NotInSet notInSet(base, set);
    for (size_t i = 0; i < nv; ++i) {
        const vec& p = m.vertices[i];
        set.assign(1, int(3 * i));
        for (int k = 0; k < 12; ++k) {
            const float* q = kd.closest(p, maxDist2, &notInSet);
            if (q == nullptr)
                break;
            set.push_back(int(q - base));
        }
        if (set.size() < 4) {
            tmMessage("Warning: not enough points for vertex %d\n", int(i));
            m.normals[i] = vec(0.0f, 0.0f, 1.0f);
            continue;
        }
        float c[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
        for (size_t s = 1; s < set.size(); ++s) {
            const vec d = m.vertices[size_t(set[s] / 3)] - p;
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k)
                    c[j][k] += d[j] * d[k];
        }
        float eval[3];
        eigenSymmetric3(c, eval);
        vec n(c[0][0], c[1][0], c[2][0]);
        if (n[2] < 0.0f)
            n = -n;
        m.normals[i] = n;
    }
}

}  // namespace

void TriMesh::computeNormals()
{
    if (normals.size() == vertices.size())
        return;
    unpackStrips();
    tmMessage("Computing normals... ");
    normals.assign(vertices.size(), vec());
    if (!faces.empty())
        faceNormals(*this);
    else if (!vertices.empty())
        pointSetNormals(*this);
    for (vec& n : normals)
        normalize(n);
    tmMessage("Done.\n");
}
