// Gaussian smoothing of normals, curvatures and curvature derivatives over
// the surface: each vertex takes the area- and normal-weighted mean of the
// vertices reachable from it through neighbours within three widths.

#include "trimesh/CurvatureFrames.h"
#include "trimesh/Message.h"
#include "trimesh/TriMesh.h"

#include <chrono>
#include <cmath>

namespace {

// Refuses widths that are zero, negative or not a number, once per call.
bool widthUsable(float width, const char* what)
{
    if (width > 0.0f)
        return true;
    tmMessage("Smoothing width %g is not positive; %s left unchanged\n", double(width), what);
    return false;
}

// The walk shared by the three kinds. For every vertex i, `begin(i)` starts
// its sum with i's own value, `add(i, j, w)` adds neighbour j's value with
// weight w, and `end(i, total)` stores the result (total > 0).
template <typename Begin, typename Add, typename End>
void smoothWalk(TriMesh& m, float width, const char* progress, Begin begin, Add add, End end)
{
    const size_t nv = m.vertices.size();
    if (m.flags.size() != nv)
        m.flags.resize(nv);
    const auto start = std::chrono::steady_clock::now();
    tmMessage("%s", progress);

    const float g = 1.0f / (width * width);
    const vec* p = m.vertices.data();
    const vec* n = m.normals.data();
    const float* area = m.pointAreas.data();
    uint32_t* flags = m.flags.data();
    std::vector<int> stack;
    for (size_t i = 0; i < nv; ++i) {
        // A fresh mark per vertex; on wrap-around old marks are cleared so
        // none of them can pass for the current one.
        if (++m.flagCurrent == 0) {
            std::fill(m.flags.begin(), m.flags.end(), 0u);
            m.flagCurrent = 1;
        }
        const uint32_t mark = m.flagCurrent;
        flags[i] = mark;
        begin(i, area[i]);
        float total = area[i];
        const vec& pi = p[i];
        const vec& ni = n[i];
        stack.assign(m.neighbors[i].begin(), m.neighbors[i].end());
        while (!stack.empty()) {
            const size_t j = size_t(stack.back());
            stack.pop_back();
            if (flags[j] == mark)
                continue;
            flags[j] = mark;
            const float nd = dot(n[j], ni);
            if (!(nd > 0.0f))
                continue;
            const float x = g * dist2(p[j], pi);
            if (!(x < 9.0f))
                continue;
            const float w = std::exp(-0.5f * x) * nd * area[j];
            add(i, j, w);
            total += w;
            for (int k : m.neighbors[j])
                if (flags[size_t(k)] != mark)
                    stack.push_back(k);
        }
        end(i, total);
    }

    const double secs =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    tmMessage("Done.  Filtering took %f sec.\n", secs);
}

} // namespace

void TriMesh::diffuseNormals(float width)
{
    if (!widthUsable(width, "normals"))
        return;
    computeNormals();
    needPointAreas();
    findNeighbors();
    std::vector<vec> out(vertices.size());
    vec sum;
    smoothWalk(
        *this, width, "\rSmoothing normals... ", [&](size_t i, float a) { sum = normals[i] * a; },
        [&](size_t, size_t j, float w) { sum += normals[j] * w; },
        [&](size_t i, float total) {
            // Without any weight (a vertex of no area and no usable
            // neighbour) the old normal stays.
            out[i] = total > 0.0f ? normalized(sum / total) : normals[i];
        });
    normals.swap(out);
}

void TriMesh::diffuseCurvatures(float width)
{
    if (!widthUsable(width, "curvatures"))
        return;
    computeNormals();
    needPointAreas();
    needCurvatures();
    findNeighbors();
    const size_t nv = vertices.size();
    std::vector<vec> dir1(nv), dir2(nv);
    std::vector<float> k1(nv), k2(nv);
    float ku = 0, kuv = 0, kv = 0;
    smoothWalk(
        *this, width, "\rSmoothing curvatures... ",
        [&](size_t i, float a) {
            ku = majorCurvatures[i] * a;
            kuv = 0.0f;
            kv = minorCurvatures[i] * a;
        },
        [&](size_t i, size_t j, float w) {
            float c1, c12, c2;
            projectCurvature(majorDirections[j], minorDirections[j], majorCurvatures[j], 0.0f,
                             minorCurvatures[j], majorDirections[i], minorDirections[i], c1, c12,
                             c2);
            ku += w * c1;
            kuv += w * c12;
            kv += w * c2;
        },
        [&](size_t i, float total) {
            if (!(total > 0.0f)) {
                dir1[i] = majorDirections[i];
                dir2[i] = minorDirections[i];
                k1[i] = majorCurvatures[i];
                k2[i] = minorCurvatures[i];
                return;
            }
            const float inv = 1.0f / total;
            diagonalizeCurvature(majorDirections[i], minorDirections[i], ku * inv, kuv * inv,
                                 kv * inv, normals[i], dir1[i], dir2[i], k1[i], k2[i]);
        });
    majorDirections.swap(dir1);
    minorDirections.swap(dir2);
    majorCurvatures.swap(k1);
    minorCurvatures.swap(k2);
}

void TriMesh::diffuseCurvatureDerivatives(float width)
{
    if (!widthUsable(width, "curvature derivatives"))
        return;
    computeNormals();
    needPointAreas();
    needCurvatures();
    needCurvatureDerivatives();
    findNeighbors();
    std::vector<Dcurv> out(vertices.size());
    float sum[4];
    smoothWalk(
        *this, width, "\rSmoothing curvature derivatives... ",
        [&](size_t i, float a) {
            for (int k = 0; k < 4; ++k)
                sum[k] = dcurv[i][k] * a;
        },
        [&](size_t i, size_t j, float w) {
            float d[4];
            projectDcurv(majorDirections[j], minorDirections[j], dcurv[j].d, majorDirections[i],
                         minorDirections[i], d);
            for (int k = 0; k < 4; ++k)
                sum[k] += w * d[k];
        },
        [&](size_t i, float total) {
            if (!(total > 0.0f)) {
                out[i] = dcurv[i];
                return;
            }
            for (int k = 0; k < 4; ++k)
                out[i][k] = sum[k] / total;
        });
    dcurv.swap(out);
}
