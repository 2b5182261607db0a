#pragma once
// Shared pieces of the benchmark programs: a closed test mesh, a best-of-n
// timer and a guard that silences the toolkit's progress lines.

#include "trimesh/TriMesh.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

#ifdef KELVANE_HAVE_OPENMESH
#include <OpenMesh/Core/Mesh/TriMesh_ArrayKernelT.hh>
#endif

// A closed, slightly bumpy torus of n x n quads (2 n^2 triangles); the bumps
// keep normals and spheres free of symmetry.
inline TriMesh makeTorus(int n)
{
    TriMesh t;
    const int m = n;
    t.vertices.reserve(size_t(n) * size_t(m));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < m; ++j) {
            float u = 6.2831853f * float(i) / float(n), w = 6.2831853f * float(j) / float(m);
            float r = 0.7f + 0.05f * std::sin(5.0f * u) * std::cos(3.0f * w);
            t.vertices.emplace_back((2.0f + r * std::cos(w)) * std::cos(u),
                                    (2.0f + r * std::cos(w)) * std::sin(u), r * std::sin(w));
        }
    }
    t.faces.reserve(2 * size_t(n) * size_t(m));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < m; ++j) {
            int a = i * m + j, b = ((i + 1) % n) * m + j, c = i * m + (j + 1) % m,
                d = ((i + 1) % n) * m + (j + 1) % m;
            t.faces.emplace_back(a, b, d);
            t.faces.emplace_back(a, d, c);
        }
    }
    return t;
}

// Best of `runs` wall-clock times in milliseconds; `setup` runs untimed
// before each timed `work`.
inline double timeMs(const std::function<void()>& setup, const std::function<void()>& work,
                     int runs = 5)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        setup();
        auto t0 = std::chrono::steady_clock::now();
        work();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

inline double perMillion(double ms, size_t count) { return ms * 1e6 / double(count); }

// One result line: the time, the time per million items and, when given,
// the ratio to a baseline.
inline void row(const char* what, double ms, size_t count, const char* vsName = nullptr,
                double vsMs = 0)
{
    std::printf("  %-36s %9.2f ms  %8.2f ms/M", what, ms, perMillion(ms, count));
    if (vsName)
        std::printf("   %5.2fx %s", ms / vsMs, vsName);
    std::printf("\n");
}

// The progress lines would cost terminal time; send them away while timing.
struct QuietStderr {
    int saved;
    QuietStderr() : saved(dup(2))
    {
        std::fflush(stderr);
        FILE* null = std::fopen("/dev/null", "w");
        if (null) {
            dup2(fileno(null), 2);
            std::fclose(null);
        }
    }
    ~QuietStderr()
    {
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;
};

#ifdef KELVANE_HAVE_OPENMESH
// The same mesh in OpenMesh's array kernel, for the peer baselines.
typedef OpenMesh::TriMesh_ArrayKernelT<> OMesh;

inline void toOpenMesh(const TriMesh& m, OMesh& om)
{
    std::vector<OMesh::VertexHandle> vh;
    vh.reserve(m.vertices.size());
    for (const vec& p : m.vertices)
        vh.push_back(om.add_vertex(OMesh::Point(p[0], p[1], p[2])));
    for (const Face& f : m.faces)
        om.add_face(vh[size_t(f[0])], vh[size_t(f[1])], vh[size_t(f[2])]);
}
#endif
