#pragma once
// Helpers for the tests of the toolkit's derived data: small meshes built in
// code, capturing the progress lines, and the shared real files.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "trimesh/TriMesh.h"

inline bool haveSharedData()
{
    struct stat st;
    return stat(KELVANE_SHARED_DATA, &st) == 0 && S_ISDIR(st.st_mode);
}

inline void expectVec(const vec& a, const vec& b, float tol = 1e-6f)
{
    EXPECT_NEAR(a[0], b[0], tol);
    EXPECT_NEAR(a[1], b[1], tol);
    EXPECT_NEAR(a[2], b[2], tol);
}

// Runs f and returns what it wrote on standard error.
inline std::string stderrOf(const std::function<void()>& f)
{
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

inline TriMesh makeMesh(std::vector<vec> v, std::vector<Face> f)
{
    TriMesh m;
    m.vertices = std::move(v);
    m.faces = std::move(f);
    return m;
}

// The eight corners of the unit cube, 12 outward-facing triangles.
inline TriMesh unitCube()
{
    std::vector<vec> v;
    for (int i = 0; i < 8; ++i)
        v.emplace_back(float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1));
    return makeMesh(v, {{0, 2, 1},
                        {1, 2, 3},
                        {4, 5, 6},
                        {5, 7, 6},
                        {0, 1, 4},
                        {1, 5, 4},
                        {2, 6, 3},
                        {3, 6, 7},
                        {0, 4, 2},
                        {2, 4, 6},
                        {1, 3, 5},
                        {3, 7, 5}});
}

// A closed surface: a torus of n x m quads split into triangles, outward
// facing, 2 n m faces.
inline TriMesh torus(int n, int m, float R = 2.0f, float r = 0.7f)
{
    TriMesh t;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < m; ++j) {
            float u = 6.2831853f * float(i) / float(n), w = 6.2831853f * float(j) / float(m);
            t.vertices.emplace_back((R + r * std::cos(w)) * std::cos(u),
                                    (R + r * std::cos(w)) * std::sin(u), r * std::sin(w));
        }
    }
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

// Real meshes with faces from the shared data, relative to its root.
inline std::vector<std::string> realMeshFiles()
{
    return {"ply/meshlab/bunny10k.ply",
            "ply/meshlab/screwdriver.ply",
            "ply/geometry-central/sphere_small.ply",
            "ply/python-trimesh/fuze.ply",
            "off/libigl/bunny.off",
            "off/pmp/fandisk_quads.off",
            "off/common3d/rocker-arm.off",
            "obj/common3d/cow.obj",
            "obj/common3d/teapot.obj",
            "obj/common3d/suzanne.obj",
            "3ds/assimp/fels.3ds",
            "ply/meshlab/Laurana50k.ply"};
}

// Reads a shared file quietly; null when it cannot be read.
inline std::unique_ptr<TriMesh> readShared(const std::string& rel)
{
    std::unique_ptr<TriMesh> m;
    std::string path = std::string(KELVANE_SHARED_DATA) + "/" + rel;
    stderrOf([&] { m.reset(TriMesh::read(path.c_str())); });
    return m;
}
