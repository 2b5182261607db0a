#include "trimesh/KDtree.h"
#include "trimesh/Message.h"
#include "trimesh/SymEigen.h"
#include "trimesh/TriMesh.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

// One face's edge vectors a = p0 - p1, b = p1 - p2, c = p2 - p0.
struct FaceEdges {
    vec a, b, c;
    explicit FaceEdges(const vec* v, const Face& f)
    {
        a = v[f[0]] - v[f[1]];
        b = v[f[1]] - v[f[2]];
        c = v[f[2]] - v[f[0]];
    }
};

// The corner weights 1/(la lc), 1/(la lb), 1/(lb lc) (l: squared edge
// lengths) come from one reciprocal of the triple product t = la lb lc. The
// lengths are not negative, so t is a normal float just when it lies in
// [FLT_MIN, FLT_MAX] (NaN fails both tests), and the weights' sum is finite
// just when each weight is. Faces that fail are odd: tiny or huge ones, or
// ones with a zero-length edge or a vertex that is not finite.
inline bool commonFace(float t, float w0, float w1, float w2)
{
    return (t >= FLT_MIN) & (t <= FLT_MAX) & (w0 + w1 + w2 <= FLT_MAX);
}

// An odd face's weights, one division each; corners whose weight is
// infinite or NaN add nothing, and neither does a face whose normal is not
// finite.
void addOddFace(vec* nrm, const vec* v, const Face& f)
{
    const FaceEdges e(v, f);
    const float la = len2(e.a), lb = len2(e.b), lc = len2(e.c);
    const vec n = cross(e.a, e.b);
    if (!(std::isfinite(n[0]) && std::isfinite(n[1]) && std::isfinite(n[2])))
        return; // a vertex at infinity: no direction to add, even with weight 0
    const float w0 = 1.0f / (la * lc), w1 = 1.0f / (la * lb), w2 = 1.0f / (lb * lc);
    if (std::isfinite(w0))
        nrm[f[0]] += n * w0;
    if (std::isfinite(w1))
        nrm[f[1]] += n * w1;
    if (std::isfinite(w2))
        nrm[f[2]] += n * w2;
}

// Faces go in blocks: their edges are gathered into plain arrays, the
// normals and weights computed over those arrays (a loop the compiler turns
// into vector code), and the weighted normals then added to the corners.
// The vector loop marks odd faces, which then take the slow path instead.
void faceNormals(const TriMesh& m, vec* nrm)
{
    const vec* v = m.vertices.data();
    const Face* faces = m.faces.data();
    const size_t nf = m.faces.size();
    constexpr size_t block = 256;
    float ax[block], ay[block], az[block], bx[block], by[block], bz[block];
    float cx[block], cy[block], cz[block];
    float nx[block], ny[block], nz[block], w0[block], w1[block], w2[block];
    int isOdd[block];
    for (size_t first = 0; first < nf; first += block) {
        const size_t k = std::min(block, nf - first);
        const Face* f = faces + first;
        for (size_t i = 0; i < k; ++i) {
            const FaceEdges e(v, f[i]);
            ax[i] = e.a[0], ay[i] = e.a[1], az[i] = e.a[2];
            bx[i] = e.b[0], by[i] = e.b[1], bz[i] = e.b[2];
            cx[i] = e.c[0], cy[i] = e.c[1], cz[i] = e.c[2];
        }
        int odd = 0;
        for (size_t i = 0; i < k; ++i) {
            const float la = ax[i] * ax[i] + ay[i] * ay[i] + az[i] * az[i];
            const float lb = bx[i] * bx[i] + by[i] * by[i] + bz[i] * bz[i];
            const float lc = cx[i] * cx[i] + cy[i] * cy[i] + cz[i] * cz[i];
            const float t = la * lb * lc;
            const float inv = 1.0f / t;
            w0[i] = lb * inv;
            w1[i] = lc * inv;
            w2[i] = la * inv;
            isOdd[i] = !commonFace(t, w0[i], w1[i], w2[i]);
            odd |= isOdd[i];
            nx[i] = ay[i] * bz[i] - az[i] * by[i];
            ny[i] = az[i] * bx[i] - ax[i] * bz[i];
            nz[i] = ax[i] * by[i] - ay[i] * bx[i];
        }
        for (size_t i = 0; i < k; ++i) {
            if (odd && isOdd[i]) {
                addOddFace(nrm, v, f[i]);
                continue;
            }
            const vec n(nx[i], ny[i], nz[i]);
            nrm[f[i][0]] += n * w0[i];
            nrm[f[i][1]] += n * w1[i];
            nrm[f[i][2]] += n * w2[i];
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

} // namespace

void TriMesh::computeNormals()
{
    if (normals.size() == vertices.size())
        return;
    unpackStrips();
    tmMessage("Computing normals... ");
    normals.assign(vertices.size(), vec());
    if (!faces.empty())
        faceNormals(*this, normals.data());
    else if (!vertices.empty())
        pointSetNormals(*this);
    for (vec& n : normals)
        normalize(n);
    tmMessage("Done.\n");
}

bool TriMesh::windingNormals(std::vector<vec>& out) const
{
    out.clear();
    if (normals.size() != vertices.size() || faces.empty())
        return false;
    std::vector<vec> winding(vertices.size(), vec());
    faceNormals(*this, winding.data());
    size_t first = normals.size();
    for (size_t i = 0; i < normals.size(); ++i) {
        if (dot(normals[i], winding[i]) < 0.0f) {
            first = i;
            break;
        }
    }
    if (first == normals.size())
        return false;
    out = normals;
    for (size_t i = first; i < out.size(); ++i) {
        if (dot(out[i], winding[i]) < 0.0f)
            out[i] = -out[i];
    }
    return true;
}
