// One step of approximating subdivision: edge and old-vertex rules, the
// weights per valence, colours and confidences, face order and orientation,
// independence of the vertex numbering, and counts on closed meshes.

#include "MeshUtil.h"

#include <algorithm>
#include <numeric>

namespace {

// A closed double cone over an n-gon: apices 0 (top) and 1 (bottom) of
// valence n, ring vertices of valence 4; n + 2 vertices, 2 n faces.
TriMesh bipyramid(int n)
{
    TriMesh m;
    m.vertices.emplace_back(0.1f, 0.2f, 1.3f);
    m.vertices.emplace_back(-0.1f, 0.1f, -0.9f);
    for (int i = 0; i < n; ++i) {
        float a = 6.2831853f * float(i) / float(n);
        m.vertices.emplace_back(std::cos(a), std::sin(a), 0.05f * float(i % 3));
    }
    for (int i = 0; i < n; ++i) {
        int a = 2 + i, b = 2 + (i + 1) % n;
        m.faces.emplace_back(0, a, b);
        m.faces.emplace_back(1, b, a);
    }
    return m;
}

} // namespace

TEST(Subdivision, SingleTriangle)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(4, 0, 0), vec(0, 8, 0)}, {{0, 1, 2}});
    const std::string out = stderrOf([&] { m.subdivide(1); });
    EXPECT_EQ(out, "Finding vertex to triangle maps... Done.\nFinding across-edge maps... Done.\n"
                   "Subdividing mesh... Done.\n");
    ASSERT_EQ(m.vertices.size(), 6u);
    EXPECT_EQ(m.faces, (std::vector<Face>{{3, 4, 5}, {0, 5, 4}, {1, 3, 5}, {2, 4, 3}}));
    // Edge midpoints (edge opposite corner 0, 1, 2).
    expectVec(m.vertices[3], vec(2, 4, 0));
    expectVec(m.vertices[4], vec(0, 4, 0));
    expectVec(m.vertices[5], vec(2, 0, 0));
    // Each corner: 0.75 p + 0.125 (the other two), from the old positions.
    expectVec(m.vertices[0], vec(0.5f, 1.0f, 0));
    expectVec(m.vertices[1], vec(3.0f, 1.0f, 0));
    expectVec(m.vertices[2], vec(0.5f, 6.0f, 0));
    EXPECT_TRUE(m.acrossEdge.empty());
    EXPECT_TRUE(m.vertexFaces.empty());
}

TEST(Subdivision, SharedEdgeGetsOneInteriorVertex)
{
    TriMesh m =
        makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 1)}, {{0, 1, 2}, {2, 1, 3}});
    stderrOf([&] { m.subdivide(1); });
    ASSERT_EQ(m.vertices.size(), 9u);
    ASSERT_EQ(m.faces.size(), 8u);
    // Vertex 4 is the first made: on face 0's edge 1-2, shared with face 1.
    expectVec(m.vertices[4], 0.375f * vec(1, 1, 0) + 0.125f * vec(1, 1, 1));
    EXPECT_EQ(m.faces[1], Face(7, 8, 4)); // 4 sits opposite corner 2 of face 1
}

TEST(Subdivision, SameDirectionEdgeSplitsTheSurface)
{
    TriMesh m =
        makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 1)}, {{0, 1, 2}, {1, 2, 3}});
    stderrOf([&] { m.subdivide(1); });
    ASSERT_EQ(m.vertices.size(), 10u);
    expectVec(m.vertices[4], vec(0.5f, 0.5f, 0));
    expectVec(m.vertices[9], vec(0.5f, 0.5f, 0)); // face 1's own, opposite its corner 2
}

TEST(Subdivision, BoundaryVerticesWithInteriorEdges)
{
    // An open fan of three faces about vertex 0: edges 0-2 and 0-3 are
    // interior, 0-1, 0-4 and the rim 1-2-3-4 are boundary. A vertex with
    // boundary edges moves by its boundary neighbours only (0.75 and 0.125
    // each, from their old positions), whatever its interior edges.
    const vec p0(0, 0, 4), p1(2, 0, 0), p2(1, 3, 5), p3(-3, 1, 7), p4(0, -2, 0);
    TriMesh m = makeMesh({p0, p1, p2, p3, p4}, {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}});
    stderrOf([&] { m.subdivide(1); });
    ASSERT_EQ(m.vertices.size(), 5u + 7u);
    expectVec(m.vertices[0], vec(0.25f, -0.25f, 3.0f)); // 0.75 p0 + 0.125 (p1 + p4)
    expectVec(m.vertices[1], 0.75f * p1 + 0.125f * (p0 + p2));
    expectVec(m.vertices[2], 0.75f * p2 + 0.125f * (p1 + p3));
    expectVec(m.vertices[4], 0.75f * p4 + 0.125f * (p0 + p3));
    // The new vertices of face 0: its rim edge 1-2 at the midpoint, the
    // interior edge 2-0 weighted by the opposite vertices 1 and 3, and the
    // boundary edge 0-1 at the midpoint.
    expectVec(m.vertices[5], 0.5f * (p1 + p2));
    expectVec(m.vertices[6], 0.375f * (p2 + p0) + 0.125f * (p1 + p3));
    expectVec(m.vertices[7], 0.5f * (p0 + p1));
}

TEST(Subdivision, InteriorWeightsPerValence)
{
    const float alpha[] = {0, 0, 0, 0.3438f, 0.4625f, 0.5625f, 0.625f, 0.625f, 0.625f};
    for (int n = 3; n <= 8; ++n) {
        SCOPED_TRACE(n);
        TriMesh m = bipyramid(n);
        const std::vector<vec> old = m.vertices;
        stderrOf([&] { m.subdivide(1); });
        vec ring;
        for (int i = 0; i < n; ++i)
            ring += old[size_t(2 + i)];
        ring /= float(n);
        expectVec(m.vertices[0], old[0] * alpha[n] + (1.0f - alpha[n]) * ring, 1e-5f);
        // A ring vertex has valence 4: two ring neighbours and both apices.
        vec nb = (old[0] + old[1] + old[3] + old[size_t(2 + n - 1)]) / 4.0f;
        expectVec(m.vertices[2], old[2] * 0.4625f + 0.5375f * nb, 1e-5f);
    }
}

TEST(Subdivision, ValenceSixOnATorus)
{
    TriMesh t = torus(12, 8);
    const std::vector<vec> old = t.vertices;
    stderrOf([&] { t.findNeighbors(); });
    const std::vector<int> nb = t.neighbors[0];
    ASSERT_EQ(nb.size(), 6u);
    stderrOf([&] { t.subdivide(1); });
    vec avg;
    for (int v : nb)
        avg += old[size_t(v)];
    avg /= 6.0f;
    expectVec(t.vertices[0], old[0] * 0.625f + 0.375f * avg, 1e-5f);
    EXPECT_TRUE(t.neighbors.empty());
}

TEST(Subdivision, ResultDoesNotDependOnVertexNumbering)
{
    TriMesh a = bipyramid(6);
    // The same surface with its vertices numbered in reverse.
    TriMesh b;
    const int nv = int(a.vertices.size());
    for (int i = nv - 1; i >= 0; --i)
        b.vertices.push_back(a.vertices[size_t(i)]);
    for (const Face& f : a.faces)
        b.faces.emplace_back(nv - 1 - f[0], nv - 1 - f[1], nv - 1 - f[2]);
    stderrOf([&] {
        a.subdivide(1);
        b.subdivide(1);
    });
    for (int i = 0; i < nv; ++i)
        expectVec(a.vertices[size_t(i)], b.vertices[size_t(nv - 1 - i)], 1e-6f);
}

TEST(Subdivision, ColoursAndConfidences)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}, {{0, 1, 2}});
    m.colors = {Color(10, 20, 30), Color(11, 20, 31), Color(255, 255, 255)};
    m.confidences = {1.0f, 2.0f, 4.0f};
    stderrOf([&] { m.subdivide(1); });
    ASSERT_EQ(m.colors.size(), 6u);
    ASSERT_EQ(m.confidences.size(), 6u);
    EXPECT_EQ(m.colors[5], Color(10, 20, 30));    // edge 0-1
    EXPECT_EQ(m.colors[3], Color(133, 137, 143)); // edge 1-2
    EXPECT_EQ(m.confidences[5], 1.5f);
    EXPECT_EQ(m.confidences[4], 2.5f);
    EXPECT_EQ(m.colors[0], Color(10, 20, 30)); // old vertices keep theirs
}

TEST(Subdivision, ClosedMeshOfHundredVertices)
{
    TriMesh m = bipyramid(98);
    ASSERT_EQ(m.vertices.size(), 100u);
    ASSERT_EQ(m.faces.size(), 196u);
    stderrOf([&] { m.subdivide(1); });
    EXPECT_EQ(m.vertices.size(), 394u);
    EXPECT_EQ(m.faces.size(), 784u);
}

TEST(Subdivision, DropsDerivedDataAndUnpacksStrips)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0)}, {});
    m.strips = {4, 0, 1, 2, 3};
    m.normals.assign(4, vec(0, 0, 1));
    m.pointAreas.assign(4, 1.0f);
    m.flags.assign(4, 1u);
    m.sphereValid = true;
    stderrOf([&] { m.subdivide(1); });
    EXPECT_EQ(m.faces.size(), 8u);
    EXPECT_TRUE(m.strips.empty());
    EXPECT_TRUE(m.normals.empty());
    EXPECT_TRUE(m.pointAreas.empty());
    EXPECT_TRUE(m.flags.empty());
    EXPECT_FALSE(m.sphereValid);
}

TEST(Subdivision, OtherSchemesAndPointSetsChangeNothing)
{
    TriMesh m = unitCube();
    EXPECT_EQ(stderrOf([&] { m.subdivide(2); }),
              "Subdivision scheme 2 is not supported; mesh left unchanged\n");
    EXPECT_EQ(m.vertices.size(), 8u);
    EXPECT_EQ(m.faces.size(), 12u);

    TriMesh pts = makeMesh({vec(0, 0, 0), vec(1, 2, 3)}, {});
    stderrOf([&] { pts.subdivide(1); });
    EXPECT_EQ(pts.vertices, (std::vector<vec>{vec(0, 0, 0), vec(1, 2, 3)}));
}

TEST(SubdivisionRealFiles, SphereStaysRoundAndCountsAdd)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared data not found at " << KELVANE_SHARED_DATA;
    std::unique_ptr<TriMesh> m = readShared("ply/geometry-central/sphere_small.ply");
    ASSERT_TRUE(m);
    ASSERT_EQ(m->faces.size(), 320u);
    std::vector<Face> before = m->faces;
    stderrOf([&] { m->computeNormals(); });
    std::vector<vec> oldNormals = m->normals;
    stderrOf([&] { m->subdivide(1); });
    EXPECT_EQ(m->vertices.size(), 162u + 480u);
    EXPECT_EQ(m->faces.size(), 1280u);
    for (const vec& p : m->vertices) {
        EXPECT_LE(len(p), 1.0001f);
        EXPECT_GT(len(p), 0.9f);
    }
    // Every new face faces outwards, as the old ones did.
    for (const Face& f : m->faces) {
        const vec& p0 = m->vertices[size_t(f[0])];
        const vec n = cross(m->vertices[size_t(f[1])] - p0, m->vertices[size_t(f[2])] - p0);
        ASSERT_GT(dot(n, p0), 0.0f);
    }
}
