// Simplified copies of a large mesh, made in pieces: the pieces still meet,
// every kept vertex is one of the mesh's own, and the copy is the same on
// one thread as on several.

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
    t.normals.assign(t.vertices.size(), vec(0.0f, 0.0f, 1.0f));
    for (size_t i = 0; i < t.normals.size(); ++i) {
        t.normals[i][0] = float(i); // tells each vertex's normal apart
    }
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

    ASSERT_EQ(one.vertices.size(), one.original.size());
    ASSERT_EQ(one.normals.size(), one.original.size());
    for (size_t i = 0; i < one.original.size(); ++i) {
        const size_t o = size_t(one.original[i]);
        ASSERT_LT(o, t.vertices.size());
        ASSERT_TRUE(one.vertices[i] == t.vertices[o] && one.normals[i] == t.normals[o]);
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
