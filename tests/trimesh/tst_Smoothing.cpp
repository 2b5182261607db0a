// The three smoothing passes: the Gaussian cut-off at three widths, the
// normal test that blocks the walk, frames carried between vertices, the
// refusal of widths that are not positive, the visit marks and the
// progress and timing lines.

#include "MeshUtil.h"

#include "trimesh/CurvatureFrames.h"

#include <regex>

namespace {

// Points in a row with chosen normals, unit areas and a chain of
// neighbours 0 - 1 - 2 - ...; no faces are needed for the walk.
TriMesh chain(std::vector<vec> points, std::vector<vec> normals)
{
    TriMesh m;
    m.vertices = std::move(points);
    m.normals = std::move(normals);
    const size_t n = m.vertices.size();
    m.pointAreas.assign(n, 1.0f);
    m.neighbors.resize(n);
    for (size_t i = 0; i + 1 < n; ++i) {
        m.neighbors[i].push_back(int(i + 1));
        m.neighbors[i + 1].push_back(int(i));
    }
    return m;
}

// Two triangles folded at a right angle along the edge 1-2.
TriMesh fold()
{
    return makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(0, 0, 1)},
                    {{0, 1, 2}, {1, 3, 2}});
}

} // namespace

TEST(Smoothing, NormalsMessagesAndTiming)
{
    TriMesh m = fold();
    const std::string out = stderrOf([&] { m.diffuseNormals(0.5f); });
    EXPECT_TRUE(
        std::regex_match(out, std::regex("Computing normals\\.\\.\\. Done\\.\n"
                                         "Computing point areas\\.\\.\\. Done\\.\n"
                                         "Finding vertex neighbors\\.\\.\\. Done\\.\n"
                                         "\rSmoothing normals\\.\\.\\. Done\\.  Filtering took "
                                         "[0-9]+\\.[0-9]{6} sec\\.\n")))
        << out;
    const std::string again = stderrOf([&] { m.diffuseNormals(0.5f); });
    EXPECT_TRUE(
        std::regex_match(again, std::regex("\rSmoothing normals\\.\\.\\. Done\\.  Filtering took "
                                           "[0-9]+\\.[0-9]{6} sec\\.\n")))
        << again;
    const std::string curv = stderrOf([&] { m.diffuseCurvatures(0.5f); });
    EXPECT_NE(
        curv.find(
            "Computing curvatures... Done.\n\rSmoothing curvatures... Done.  Filtering took "),
        std::string::npos)
        << curv;
    const std::string dc = stderrOf([&] { m.diffuseCurvatureDerivatives(0.5f); });
    EXPECT_EQ(
        dc.rfind(
            "Computing dcurv... Done.\n\rSmoothing curvature derivatives... Done.  Filtering took ",
            0),
        0u)
        << dc;
}

TEST(Smoothing, CutOffAtThreeWidths)
{
    // Edges of length 1 and more: with width 0.3 every neighbour lies
    // beyond three widths, so each normal stays as computed.
    TriMesh m = fold();
    stderrOf([&] { m.computeNormals(); });
    const std::vector<vec> before = m.normals;
    stderrOf([&] { m.diffuseNormals(0.33f); });
    for (size_t i = 0; i < before.size(); ++i)
        expectVec(m.normals[i], before[i]);
    // Just inside the cut-off the neighbours count.
    stderrOf([&] { m.diffuseNormals(0.34f); });
    EXPECT_GT(len(m.normals[0] - before[0]), 1e-3f);
}

TEST(Smoothing, AveragesWithGaussianWeights)
{
    const vec a = normalized(vec(0, 0.2f, 1)), b = normalized(vec(0, -0.6f, 1));
    TriMesh m = chain({vec(0, 0, 0), vec(1, 0, 0)}, {a, b});
    stderrOf([&] { m.diffuseNormals(1.0f); });
    const float g = std::exp(-0.5f) * dot(a, b);
    expectVec(m.normals[0], normalized(a + b * g));
    expectVec(m.normals[1], normalized(b + a * g));
}

TEST(Smoothing, NormalFacingAwayBlocksTheWalk)
{
    const vec up(0, 0, 1), away = normalized(vec(1, 0, -1)), far = normalized(vec(1, 0, 1));
    TriMesh m = chain({vec(0, 0, 0), vec(0.1f, 0, 0), vec(0.2f, 0, 0)}, {up, away, far});
    stderrOf([&] { m.diffuseNormals(100.0f); });
    expectVec(m.normals[0], up);  // 1 faces away, so 2 is never reached
    expectVec(m.normals[2], far); // 1 is at right angles to 2 (dot 0)
    // The control: with 1 facing the same side, 0 sees both.
    const vec side = normalized(vec(0, 1, 1));
    TriMesh c = chain({vec(0, 0, 0), vec(0.1f, 0, 0), vec(0.2f, 0, 0)}, {up, side, far});
    stderrOf([&] { c.diffuseNormals(100.0f); });
    EXPECT_GT(c.normals[0][0], 0.05f);
    EXPECT_GT(c.normals[0][1], 0.05f);
}

TEST(Smoothing, CurvaturesAreCarriedBetweenFrames)
{
    // Vertex 0 bends 1 along x; vertex 1 bends 1 along y, expressed in a
    // quarter-turned frame. Their mean bends 1/2 both ways.
    TriMesh m = chain({vec(0, 0, 0), vec(1e-3f, 0, 0)}, {vec(0, 0, 1), vec(0, 0, 1)});
    m.majorDirections = {vec(1, 0, 0), vec(0, 1, 0)};
    m.minorDirections = {vec(0, 1, 0), vec(-1, 0, 0)};
    m.majorCurvatures = {1.0f, 1.0f};
    m.minorCurvatures = {0.0f, 0.0f};
    m.dcurv.resize(2);
    m.dcurv[1][0] = 1.0f; // along (uuu) of vertex 1, that is (vvv) of vertex 0
    TriMesh d = m;
    stderrOf([&] { m.diffuseCurvatures(1.0f); });
    EXPECT_NEAR(m.majorCurvatures[0], 0.5f, 1e-5f);
    EXPECT_NEAR(m.minorCurvatures[0], 0.5f, 1e-5f);
    EXPECT_NEAR(m.majorCurvatures[1], 0.5f, 1e-5f);
    stderrOf([&] { d.diffuseCurvatureDerivatives(1.0f); });
    EXPECT_NEAR(d.dcurv[0][0], 0.0f, 1e-6f);
    EXPECT_NEAR(d.dcurv[0][1], 0.0f, 1e-6f);
    EXPECT_NEAR(d.dcurv[0][2], 0.0f, 1e-6f);
    EXPECT_NEAR(d.dcurv[0][3], 0.5f, 1e-5f);
    EXPECT_NEAR(d.dcurv[1][0], 0.5f, 1e-5f);
}

TEST(Smoothing, SphereStaysRound)
{
    TriMesh s;
    s.vertices = {vec(-1, 0.618034f, 0),  vec(1, 0.618034f, 0),   vec(-1, -0.618034f, 0),
                  vec(1, -0.618034f, 0),  vec(0, -1, 0.618034f),  vec(0, 1, 0.618034f),
                  vec(0, -1, -0.618034f), vec(0, 1, -0.618034f),  vec(0.618034f, 0, -1),
                  vec(0.618034f, 0, 1),   vec(-0.618034f, 0, -1), vec(-0.618034f, 0, 1)};
    s.faces = {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
               {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
               {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    stderrOf([&] {
        for (int i = 0; i < 3; ++i)
            s.subdivide(1);
    });
    for (vec& p : s.vertices)
        p *= 1.0f / len(p);
    stderrOf([&] {
        s.needCurvatureDerivatives();
        const float w = s.medianEdgeLength();
        s.diffuseNormals(w);
        s.diffuseCurvatures(w);
        s.diffuseCurvatureDerivatives(w);
    });
    for (size_t i = 0; i < s.vertices.size(); ++i) {
        EXPECT_NEAR(dot(s.normals[i], s.vertices[i]), 1.0f, 1e-3f);
        EXPECT_NEAR(s.majorCurvatures[i], 1.0f, 0.05f);
        EXPECT_NEAR(s.minorCurvatures[i], 1.0f, 0.05f);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(s.dcurv[i][k], 0.0f, 0.1f);
    }
}

TEST(Smoothing, WidthNotPositiveChangesNothing)
{
    TriMesh m = fold();
    stderrOf([&] { m.diffuseNormals(0.5f); });
    const TriMesh before = m;
    EXPECT_EQ(stderrOf([&] { m.diffuseNormals(0.0f); }),
              "Smoothing width 0 is not positive; normals left unchanged\n");
    EXPECT_EQ(stderrOf([&] { m.diffuseCurvatures(-1.0f); }),
              "Smoothing width -1 is not positive; curvatures left unchanged\n");
    EXPECT_EQ(stderrOf([&] { m.diffuseCurvatureDerivatives(std::nanf("")); }),
              "Smoothing width nan is not positive; curvature derivatives left unchanged\n");
    EXPECT_EQ(m.normals, before.normals);
    EXPECT_TRUE(m.majorCurvatures.empty()); // nothing was computed either
    EXPECT_TRUE(m.dcurv.empty());
    EXPECT_EQ(m.flagCurrent, before.flagCurrent);
}

TEST(Smoothing, VisitMarks)
{
    TriMesh m = fold();
    stderrOf([&] { m.diffuseNormals(10.0f); });
    EXPECT_EQ(m.flags.size(), 4u);
    EXPECT_EQ(m.flagCurrent, 4u); // one fresh mark per vertex
    const std::vector<vec> once = m.normals;
    // Marks wrapping around past 2^32 - 1 give the same result as fresh ones.
    TriMesh w = fold();
    TriMesh f = fold();
    stderrOf([&] {
        w.computeNormals();
        f.computeNormals();
    });
    w.flags.assign(4, 1u);
    w.flagCurrent = 0xFFFFFFFEu;
    stderrOf([&] {
        w.diffuseNormals(10.0f);
        f.diffuseNormals(10.0f);
    });
    EXPECT_EQ(w.normals, f.normals);
    EXPECT_EQ(w.flagCurrent, 3u);
}
