// Vertex normals from faces and from nearest neighbours in point sets, the
// k-d tree they use, and the symmetric eigen-solver.

#include "MeshUtil.h"

#include "trimesh/KDtree.h"
#include "trimesh/SymEigen.h"

#include <random>

TEST(FaceNormals, FlatSquareFacesPlusZ)
{
    TriMesh m =
        makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(1, 1, 0), vec(0, 1, 0)}, {{0, 1, 2}, {0, 2, 3}});
    EXPECT_EQ(stderrOf([&] { m.computeNormals(); }), "Computing normals... Done.\n");
    ASSERT_EQ(m.normals.size(), 4u);
    for (const vec& n : m.normals)
        EXPECT_EQ(n, vec(0, 0, 1));
}

TEST(FaceNormals, WindingNormalsTurnOnlyTheNormalsAgainstTheFaces)
{
    TriMesh m =
        makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(1, 1, 0), vec(0, 1, 0)}, {{0, 1, 2}, {0, 2, 3}});
    m.normals = {vec(0, 0, 1), vec(0, 0, -1), vec(0.6f, 0, -0.8f), vec(0, 0, 1)};
    std::vector<vec> out;
    ASSERT_TRUE(m.windingNormals(out));
    ASSERT_EQ(out.size(), 4u);
    expectVec(out[0], vec(0, 0, 1));
    expectVec(out[1], vec(0, 0, 1));
    expectVec(out[2], vec(-0.6f, 0, 0.8f));
    expectVec(out[3], vec(0, 0, 1));
    expectVec(m.normals[1], vec(0, 0, -1)); // the stored normals stay

    // Nothing to turn, or nothing to compare with: no copy.
    m.normals[1] = vec(0, 0, 1);
    m.normals[2] = vec(0, 0, 1);
    EXPECT_FALSE(m.windingNormals(out));
    EXPECT_TRUE(out.empty());
    m.normals.pop_back();
    EXPECT_FALSE(m.windingNormals(out));
}

TEST(FaceNormals, IsolatedVertexGetsPlusX)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(5, 5, 5)}, {{0, 1, 2}});
    stderrOf([&] { m.computeNormals(); });
    EXPECT_EQ(m.normals[3], vec(1, 0, 0));
    EXPECT_EQ(m.normals[0], vec(0, 0, 1));
}

TEST(FaceNormals, ComputedOnceAndRecomputedWhenCountsDiffer)
{
    TriMesh m = unitCube();
    EXPECT_EQ(stderrOf([&] { m.computeNormals(); }), "Computing normals... Done.\n");
    EXPECT_EQ(stderrOf([&] { m.computeNormals(); }), "");
    m.normals.pop_back();
    EXPECT_EQ(stderrOf([&] { m.computeNormals(); }), "Computing normals... Done.\n");
    // Cube corners point out along the diagonal.
    for (size_t i = 0; i < 8; ++i) {
        const vec out = m.vertices[i] - vec(0.5f, 0.5f, 0.5f);
        EXPECT_GT(dot(m.normals[i], out), 0.8f * len(out));
    }
}

TEST(FaceNormals, ZeroLengthEdgeDoesNotPoison)
{
    // Face 1 has a zero-length edge (vertices 0 and 3 coincide).
    TriMesh m =
        makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(0, 0, 0)}, {{0, 1, 2}, {0, 3, 1}});
    stderrOf([&] { m.computeNormals(); });
    expectVec(m.normals[0], vec(0, 0, 1));
    expectVec(m.normals[1], vec(0, 0, 1));
    EXPECT_EQ(m.normals[3], vec(1, 0, 0)); // only degenerate corners
}

TEST(FaceNormals, OddFacesAmongManyMatchTheFacesAlone)
{
    // A strip of 600 flat triangles, with a face through a vertex at
    // infinity and a zero-area face mixed in at different places: every
    // vertex of the strip still gets +z, and the odd faces' own vertices
    // get what the faces alone give them.
    std::vector<vec> v;
    std::vector<Face> f;
    for (int i = 0; i < 301; ++i) {
        v.push_back(vec(float(i), 0, 0));
        v.push_back(vec(float(i), 1, 0));
    }
    for (int i = 0; i < 300; ++i) {
        f.push_back(Face(2 * i, 2 * i + 2, 2 * i + 1));
        f.push_back(Face(2 * i + 1, 2 * i + 2, 2 * i + 3));
    }
    const int far = int(v.size());
    v.push_back(vec(INFINITY, 0, 0));
    f.insert(f.begin() + 300, Face(0, far, 1));
    f.insert(f.begin() + 5, Face(4, 4, 6));
    TriMesh m = makeMesh(v, f);
    stderrOf([&] { m.computeNormals(); });
    for (int i = 0; i < far; ++i)
        expectVec(m.normals[size_t(i)], vec(0, 0, 1));
    EXPECT_EQ(m.normals[size_t(far)], vec(1, 0, 0));
}

TEST(FaceNormals, TinyAndHugeMeshesKeepTheirNormals)
{
    // Products of squared edge lengths leave the float range here.
    for (float scale : {1e-9f, 1e-6f, 1e6f, 1e9f}) {
        TriMesh m =
            makeMesh({vec(0, 0, 0), vec(scale, 0, 0), vec(scale, scale, 0), vec(0, scale, 0)},
                     {{0, 1, 2}, {0, 2, 3}});
        stderrOf([&] { m.computeNormals(); });
        for (const vec& n : m.normals)
            expectVec(n, vec(0, 0, 1));
    }
}

TEST(FaceNormals, SmallSharpCornersWeighMore)
{
    // Vertex 0 has a big face in the xy plane and a small one in the xz
    // plane; the small one's short edges weigh it far more.
    TriMesh m =
        makeMesh({vec(0, 0, 0), vec(10, 0, 0), vec(0, 10, 0), vec(0.1f, 0, 0), vec(0, 0, -0.1f)},
                 {{0, 1, 2}, {0, 3, 4}});
    stderrOf([&] { m.computeNormals(); });
    EXPECT_GT(std::fabs(m.normals[0][1]), 0.99f);
}

TEST(FaceNormals, StripsAreUnpackedFirst)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0)}, {});
    m.strips = {4, 0, 1, 2, 3};
    stderrOf([&] { m.computeNormals(); });
    ASSERT_EQ(m.faces.size(), 2u);
    for (const vec& n : m.normals)
        EXPECT_EQ(n, vec(0, 0, 1));
}

TEST(FaceNormals, TorusNormalsMatchTheSurface)
{
    TriMesh t = torus(64, 32);
    stderrOf([&] { t.computeNormals(); });
    for (size_t i = 0; i < t.vertices.size(); ++i) {
        const vec& p = t.vertices[i];
        const float rxy = std::sqrt(p[0] * p[0] + p[1] * p[1]);
        vec ring(2.0f * p[0] / rxy, 2.0f * p[1] / rxy, 0.0f);
        vec expect = p - ring;
        normalize(expect);
        ASSERT_GT(dot(t.normals[i], expect), 0.999f) << i;
    }
}

TEST(PointSetNormals, ThreePointsWarnForEachVertex)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}, {});
    EXPECT_EQ(stderrOf([&] { m.computeNormals(); }),
              "Computing normals... Warning: not enough points for vertex 0\n"
              "Warning: not enough points for vertex 1\n"
              "Warning: not enough points for vertex 2\nDone.\n");
    for (const vec& n : m.normals)
        EXPECT_EQ(n, vec(0, 0, 1));
}

TEST(PointSetNormals, PlanarSetFacesPlusZ)
{
    // Few points (one leaf) and many (a real tree).
    for (int side : {2, 3, 40}) {
        TriMesh m;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                m.vertices.emplace_back(0.1f * float(x) + 0.01f * float(y % 3), 0.1f * float(y),
                                        2.0f);
        stderrOf([&] { m.computeNormals(); });
        for (const vec& n : m.normals)
            expectVec(n, vec(0, 0, 1));
    }
}

TEST(PointSetNormals, SpherePointsAreRadialUpToSign)
{
    std::mt19937 rng(3);
    std::normal_distribution<float> g;
    TriMesh m;
    for (int i = 0; i < 3000; ++i) {
        vec p(g(rng), g(rng), g(rng));
        m.vertices.push_back(p / len(p));
    }
    stderrOf([&] { m.computeNormals(); });
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        ASSERT_GT(std::fabs(dot(m.normals[i], m.vertices[i])), 0.98f) << i;
        ASSERT_GE(m.normals[i][2], 0.0f);
    }
}

TEST(PointSetNormals, ManyCoincidentPointsTerminate)
{
    TriMesh m;
    m.vertices.assign(2000, vec(1, 1, 1));
    m.vertices.push_back(vec(2, 1, 1));
    stderrOf([&] { m.computeNormals(); });
    ASSERT_EQ(m.normals.size(), m.vertices.size());
    for (const vec& n : m.normals)
        EXPECT_NEAR(len(n), 1.0f, 1e-5f);
}

TEST(KDtreeTest, ClosestMatchesBruteForce)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-1, 1);
    std::vector<vec> pts;
    for (int i = 0; i < 2000; ++i)
        pts.emplace_back(u(rng), u(rng), i % 4 == 0 ? 0.0f : u(rng));
    pts.insert(pts.end(), 20, vec(0.5f, 0.5f, 0.5f)); // a coincident cluster
    KDtree kd(pts.data(), pts.size());
    EXPECT_LT(kd.rootRadius(), 2.0f);
    std::vector<int> excluded;
    for (int q = 0; q < 300; ++q) {
        vec p(u(rng), u(rng), u(rng));
        if (q % 10 == 0)
            p = vec(0.5f, 0.5f, 0.5f);
        excluded = {0, 3 * 2000, 3 * 2001};
        NotInSet compat(pts[0].data(), excluded);
        const float maxD2 = q % 3 == 0 ? 0.01f : 100.0f;
        const float* got = kd.closest(p, maxD2, &compat);
        int best = -1;
        float bestD2 = maxD2;
        for (size_t i = 0; i < pts.size(); ++i) {
            if (!compat(pts[i].data()))
                continue;
            const float e = dist2(pts[i], p);
            if (e < bestD2)
                bestD2 = e, best = int(i);
        }
        if (best < 0) {
            EXPECT_EQ(got, nullptr);
        } else {
            ASSERT_NE(got, nullptr);
            EXPECT_EQ(dist2(*reinterpret_cast<const vec*>(got), p), bestD2);
        }
    }
}

TEST(KDtreeTest, EmptyAndSingleLeafTrees)
{
    KDtree empty(nullptr, 0);
    EXPECT_EQ(empty.closest(vec(0, 0, 0), 1e30f), nullptr);
    std::vector<vec> pts = {vec(0, 0, 0), vec(100, 0, 0)};
    KDtree leaf(pts.data(), pts.size());
    const float r = leaf.rootRadius();
    const float* got = leaf.closest(vec(90, 0, 0), r * r);
    EXPECT_EQ(got, pts[1].data());
}

TEST(SymEigen, DiagonalAndRotatedMatrices)
{
    float a[3][3] = {{3, 0, 0}, {0, 1, 0}, {0, 0, 2}};
    float d[3];
    eigenSymmetric3(a, d);
    EXPECT_NEAR(d[0], 1, 1e-6f);
    EXPECT_NEAR(d[1], 2, 1e-6f);
    EXPECT_NEAR(d[2], 3, 1e-6f);
    EXPECT_NEAR(std::fabs(a[1][0]), 1, 1e-6f);

    // Q diag(-1, 0.5, 4) Q^T with an arbitrary rotation Q.
    std::mt19937 rng(5);
    std::normal_distribution<float> g;
    for (int trial = 0; trial < 50; ++trial) {
        vec q0(g(rng), g(rng), g(rng));
        normalize(q0);
        vec q1 = cross(q0, vec(g(rng), g(rng), g(rng)));
        normalize(q1);
        vec q2 = cross(q0, q1);
        const float lam[3] = {4, -1, 0.5f};
        const vec* q[3] = {&q0, &q1, &q2};
        float m[3][3] = {};
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    m[i][j] += lam[k] * (*q[k])[i] * (*q[k])[j];
        eigenSymmetric3(m, d);
        EXPECT_NEAR(d[0], -1, 1e-5f);
        EXPECT_NEAR(d[1], 0.5f, 1e-5f);
        EXPECT_NEAR(d[2], 4, 1e-5f);
        EXPECT_NEAR(std::fabs(m[0][0] * q1[0] + m[1][0] * q1[1] + m[2][0] * q1[2]), 1, 1e-5f);
        EXPECT_NEAR(std::fabs(m[0][2] * q0[0] + m[1][2] * q0[1] + m[2][2] * q0[2]), 1, 1e-5f);
    }
}

TEST(SymEigen, NonFiniteInputReturns)
{
    float a[3][3] = {{std::nanf(""), 1, 0}, {1, 2, 0}, {0, 0, 1}};
    float d[3];
    eigenSymmetric3(a, d);
    SUCCEED();
}

TEST(NormalsRealFiles, UnitLengthAndFacingOutOnClosedMeshes)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared data not found at " << KELVANE_SHARED_DATA;
    for (const std::string& rel : realMeshFiles()) {
        SCOPED_TRACE(rel);
        std::unique_ptr<TriMesh> m = readShared(rel);
        ASSERT_TRUE(m);
        stderrOf([&] { m->computeNormals(); });
        ASSERT_EQ(m->normals.size(), m->vertices.size());
        for (size_t i = 0; i < m->normals.size(); ++i)
            ASSERT_NEAR(len(m->normals[i]), 1.0f, 1e-5f) << "vertex " << i;
    }
    // A point set from a real file.
    std::unique_ptr<TriMesh> pts = readShared("ply/python-trimesh/points_bin.ply");
    ASSERT_TRUE(pts);
    stderrOf([&] { pts->computeNormals(); });
    for (const vec& n : pts->normals)
        EXPECT_NEAR(len(n), 1.0f, 1e-5f);
}
