// Simplified copies of a large mesh, made in pieces: the pieces still meet,
// every kept vertex is one of the mesh's own, the copy is the same on one
// thread as on several, and a rough surface's normals are averaged.

#include "MeshUtil.h"
#include "trimesh/Simplify.h"

#include <cmath>
#include <limits>
#include <map>
#include <utility>

TEST(Simplify, PiecesMeetAndDoNotDependOnThreads)
{
    // 500,000 faces with ripples, so that collapses have a price: cut in
    // pieces.
    TriMesh t = torus(500, 500);
    for (vec& v : t.vertices) {
        v *= 1.0f + 0.01f * std::sin(40.0f * v[0]) * std::sin(37.0f * v[1]);
    }
    t.computeNormals();
    const float unbounded = std::numeric_limits<float>::infinity();
    const SimplifiedMesh one = simplifyMesh(t.vertices, t.normals, t.faces, 20000, unbounded, 1);
    const SimplifiedMesh three = simplifyMesh(t.vertices, t.normals, t.faces, 20000, unbounded, 3);

    ASSERT_GT(one.faces.size(), 10000u);
    // Some faces stay along the cuts between the pieces.
    EXPECT_LT(one.faces.size(), 40000u);
    ASSERT_EQ(one.faces.size(), three.faces.size());
    for (size_t f = 0; f < one.faces.size(); ++f) {
        ASSERT_TRUE(one.faces[f] == three.faces[f]) << "face " << f;
    }
    EXPECT_EQ(one.original, three.original);
    EXPECT_TRUE(one.normals == three.normals);

    ASSERT_EQ(one.vertices.size(), one.original.size());
    ASSERT_EQ(one.normals.size(), one.original.size());
    for (size_t i = 0; i < one.original.size(); ++i) {
        const size_t o = size_t(one.original[i]);
        ASSERT_LT(o, t.vertices.size());
        ASSERT_TRUE(one.vertices[i] == t.vertices[o]);
        ASSERT_NEAR(len(one.normals[i]), 1.0f, 1e-4f);
        ASSERT_GT(dot(one.normals[i], t.normals[o]), 0.7f);
    }

    // Still closed: every edge is met as often one way as the other, so no
    // crack opened between two pieces.
    std::map<std::pair<int, int>, int> edges;
    for (const Face& f : one.faces) {
        for (int k = 0; k < 3; ++k) {
            ++edges[{f[k], f[(k + 1) % 3]}];
        }
    }
    for (const auto& [edge, count] : edges) {
        const auto back = edges.find({edge.second, edge.first});
        ASSERT_TRUE(back != edges.end() && back->second == count)
            << "open edge " << edge.first << "-" << edge.second;
    }
}

// A flat sheet whose normals are tilted at random, as a rough scan's are:
// the copy's vertices take the mean of the normals around them, far
// nearer the sheet's own than their vertices' were. Both ways of
// simplifying: whole, and in pieces.
TEST(Simplify, RoughNormalsAreAveraged)
{
    for (const int n : {300, 600}) {
        TriMesh t;
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                t.vertices.emplace_back(float(x), float(y), 0.0f);
                const float a = float((x * 7919 + y * 104729) % 628) * 0.01f;
                vec tilted(0.3f * std::cos(a), 0.3f * std::sin(a), 1.0f);
                normalize(tilted);
                t.normals.push_back(tilted);
            }
        }
        for (int y = 0; y + 1 < n; ++y) {
            for (int x = 0; x + 1 < n; ++x) {
                const int a = y * n + x;
                t.faces.emplace_back(a, a + 1, a + n + 1);
                t.faces.emplace_back(a, a + n + 1, a + n);
            }
        }
        // In pieces, a vertex on a cut keeps its own normal.
        const SimplifiedMesh copy =
            simplifyMesh(t.vertices, t.normals, t.faces, n == 300 ? 5000 : 40000, 0.01f);
        ASSERT_LT(copy.faces.size(), t.faces.size() / 10);
        double before = 0.0, after = 0.0;
        for (size_t i = 0; i < copy.original.size(); ++i) {
            before += 1.0 - t.normals[size_t(copy.original[i])][2];
            after += 1.0 - copy.normals[i][2];
        }
        EXPECT_LT(after, 0.4 * before) << n << " x " << n;
    }
}

// A surface rough far below the error bound would keep almost every face
// under it: the bound gives way at four times the target.
TEST(Simplify, BoundGivesWayOnRoughSurfaces)
{
    TriMesh t;
    const int n = 300;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            t.vertices.emplace_back(float(x), float(y),
                                    float((x * 7919 + y * 104729) % 97) * 0.01f);
        }
    }
    for (int y = 0; y + 1 < n; ++y) {
        for (int x = 0; x + 1 < n; ++x) {
            const int a = y * n + x;
            t.faces.emplace_back(a, a + 1, a + n + 1);
            t.faces.emplace_back(a, a + n + 1, a + n);
        }
    }
    const SimplifiedMesh copy = simplifyMesh(t.vertices, {}, t.faces, 5000, 0.001f);
    EXPECT_GT(copy.faces.size(), 5000u);
    EXPECT_LE(copy.faces.size(), 20000u);
}
