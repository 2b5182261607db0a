// Point areas, principal curvatures and their derivatives: the frame and
// tensor building blocks, exact areas of small faces, a finely subdivided
// sphere against 1/r, a plane, degenerate faces, caching and real meshes.

#include "MeshUtil.h"

#include "trimesh/CurvatureFrames.h"

#include <algorithm>
#include <numeric>

namespace {

// An icosahedron refined `levels` times and pushed onto the sphere of
// radius r about the origin (outward-facing faces).
TriMesh sphere(int levels, float r)
{
    const float t = 1.6180340f;
    TriMesh m = makeMesh(
        {vec(-1, t, 0), vec(1, t, 0), vec(-1, -t, 0), vec(1, -t, 0), vec(0, -1, t), vec(0, 1, t),
         vec(0, -1, -t), vec(0, 1, -t), vec(t, 0, -1), vec(t, 0, 1), vec(-t, 0, -1), vec(-t, 0, 1)},
        {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
         {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
         {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}});
    stderrOf([&] {
        for (int i = 0; i < levels; ++i)
            m.subdivide(1);
    });
    for (vec& p : m.vertices)
        p *= r / len(p);
    return m;
}

// A jittered grid in the plane z = 0.
TriMesh plane(int n)
{
    TriMesh m;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            m.vertices.emplace_back(float(x) + 0.2f * std::sin(float(7 * x + 3 * y)),
                                    float(y) + 0.2f * std::cos(float(5 * x - 2 * y)), 0.0f);
    for (int y = 0; y + 1 < n; ++y)
        for (int x = 0; x + 1 < n; ++x) {
            int a = y * n + x;
            m.faces.emplace_back(a, a + 1, a + n + 1);
            m.faces.emplace_back(a, a + n + 1, a + n);
        }
    return m;
}

} // namespace

// ---- Building blocks --------------------------------------------------------

TEST(CurvatureFrames, RotateFrame)
{
    vec u, v;
    rotateFrame(vec(1, 0, 0), vec(0, 1, 0), vec(0, 0, 1), u, v);
    expectVec(u, vec(1, 0, 0));
    expectVec(v, vec(0, 1, 0));
    rotateFrame(vec(1, 0, 0), vec(0, 1, 0), vec(0, 0, -1), u, v);
    expectVec(u, vec(-1, 0, 0));
    expectVec(v, vec(0, -1, 0));
    // Tilted normal: the turned frame stays orthonormal and tangent.
    const vec n = normalized(vec(0.3f, -0.5f, 0.8f));
    rotateFrame(vec(1, 0, 0), vec(0, 1, 0), n, u, v);
    EXPECT_NEAR(dot(u, n), 0.0f, 1e-6f);
    EXPECT_NEAR(dot(v, n), 0.0f, 1e-6f);
    EXPECT_NEAR(dot(u, v), 0.0f, 1e-6f);
    EXPECT_NEAR(len(u), 1.0f, 1e-6f);
    expectVec(cross(u, v), n);
}

TEST(CurvatureFrames, ProjectionsIntoAQuarterTurnedFrame)
{
    // (s, t) = (y, -x): the same plane, turned by a quarter.
    float ku, kuv, kv;
    projectCurvature(vec(1, 0, 0), vec(0, 1, 0), 2.0f, 0.5f, -3.0f, vec(0, 1, 0), vec(-1, 0, 0), ku,
                     kuv, kv);
    EXPECT_NEAR(ku, -3.0f, 1e-6f);
    EXPECT_NEAR(kuv, -0.5f, 1e-6f);
    EXPECT_NEAR(kv, 2.0f, 1e-6f);
    const float c[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    float d[4];
    projectDcurv(vec(1, 0, 0), vec(0, 1, 0), c, vec(0, 1, 0), vec(-1, 0, 0), d);
    EXPECT_NEAR(d[0], 4.0f, 1e-6f);
    EXPECT_NEAR(d[1], -3.0f, 1e-6f);
    EXPECT_NEAR(d[2], 2.0f, 1e-6f);
    EXPECT_NEAR(d[3], -1.0f, 1e-6f);
    // Half a quarter: ku along the diagonal is the mean plus kuv.
    const vec s = normalized(vec(1, 1, 0)), t = normalized(vec(-1, 1, 0));
    projectCurvature(vec(1, 0, 0), vec(0, 1, 0), 2.0f, 0.5f, -3.0f, s, t, ku, kuv, kv);
    EXPECT_NEAR(ku, -0.5f + 0.5f, 1e-6f);
    EXPECT_NEAR(kv, -0.5f - 0.5f, 1e-6f);
    EXPECT_NEAR(kuv, -2.5f, 1e-6f);
}

TEST(CurvatureFrames, DiagonalizeSwapsToTheLargerMagnitude)
{
    vec d1, d2;
    float k1, k2;
    diagonalizeCurvature(vec(1, 0, 0), vec(0, 1, 0), 0.1f, 0.0f, -2.0f, vec(0, 0, 1), d1, d2, k1,
                         k2);
    EXPECT_FLOAT_EQ(k1, -2.0f);
    EXPECT_FLOAT_EQ(k2, 0.1f);
    expectVec(d1, vec(0, 1, 0));
    expectVec(d2, vec(-1, 0, 0));
    // Off-diagonal: eigenvalues of [[1, 2], [2, 1]] are 3 and -1.
    diagonalizeCurvature(vec(1, 0, 0), vec(0, 1, 0), 1.0f, 2.0f, 1.0f, vec(0, 0, 1), d1, d2, k1,
                         k2);
    EXPECT_NEAR(k1, 3.0f, 1e-5f);
    EXPECT_NEAR(k2, -1.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(dot(d1, normalized(vec(1, 1, 0)))), 1.0f, 1e-5f);
    expectVec(d2, cross(vec(0, 0, 1), d1));
}

TEST(CurvatureFrames, SymmetricSolve)
{
    const float a[3][3] = {{4, 1, 0}, {0, 3, 1}, {0, 0, 2}}; // lower triangle unread
    const float b[3] = {6, 10, 8};                           // x = (1, 2, 3)
    float x[3];
    ASSERT_TRUE(solveSymmetric<3>(a, b, x));
    EXPECT_NEAR(x[0], 1.0f, 1e-5f);
    EXPECT_NEAR(x[1], 2.0f, 1e-5f);
    EXPECT_NEAR(x[2], 3.0f, 1e-5f);
    const float singular[4][4] = {{1, 1, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    const float b4[4] = {1, 1, 1, 1};
    float x4[4] = {7, 7, 7, 7};
    EXPECT_FALSE(solveSymmetric<4>(singular, b4, x4));
    EXPECT_EQ(x4[0], 7.0f);
    const float nan = std::nanf("");
    const float bad[3][3] = {{nan, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    EXPECT_FALSE(solveSymmetric<3>(bad, b, x));
}

// ---- Point areas ------------------------------------------------------------

TEST(PointAreas, AcuteAndObtuseFaces)
{
    // Equilateral: a third each.
    TriMesh eq = makeMesh({vec(0, 0, 0), vec(2, 0, 0), vec(1, std::sqrt(3.0f), 0)}, {{0, 1, 2}});
    const std::string out = stderrOf([&] { eq.needPointAreas(); });
    EXPECT_EQ(out, "Computing point areas... Done.\n");
    for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(eq.cornerAreas[0][j], std::sqrt(3.0f) / 3.0f, 1e-6f);

    // Obtuse at corner 2: each acute corner gets the triangle cut off by the
    // perpendicular bisector of its short edge (worked out by hand), the
    // obtuse corner the rest.
    TriMesh ob = makeMesh({vec(0, 0, 0), vec(4, 0, 0), vec(2, 0.5f, 0)}, {{0, 1, 2}});
    stderrOf([&] { ob.needPointAreas(); });
    EXPECT_NEAR(ob.cornerAreas[0][0], 0.1328125f, 1e-6f);
    EXPECT_NEAR(ob.cornerAreas[0][1], 0.1328125f, 1e-6f);
    EXPECT_NEAR(ob.cornerAreas[0][2], 0.734375f, 1e-6f);
    EXPECT_NEAR(ob.pointAreas[2], 0.734375f, 1e-6f);

    // Unused vertex: area 0.
    TriMesh extra = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(5, 5, 5)}, {{0, 1, 2}});
    stderrOf([&] { extra.needPointAreas(); });
    EXPECT_EQ(extra.pointAreas[3], 0.0f);
}

TEST(PointAreas, SumToTheSurfaceArea)
{
    TriMesh s = sphere(3, 2.0f);
    stderrOf([&] { s.needPointAreas(); });
    double total = 0, faceTotal = 0;
    for (float a : s.pointAreas)
        total += a;
    for (size_t i = 0; i < s.faces.size(); ++i) {
        const Face& f = s.faces[i];
        faceTotal += 0.5 * len(cross(s.vertices[f[1]] - s.vertices[f[0]],
                                     s.vertices[f[2]] - s.vertices[f[0]]));
        EXPECT_NEAR(s.cornerAreas[i][0] + s.cornerAreas[i][1] + s.cornerAreas[i][2],
                    0.5f * len(cross(s.vertices[f[1]] - s.vertices[f[0]],
                                     s.vertices[f[2]] - s.vertices[f[0]])),
                    1e-5f);
    }
    EXPECT_NEAR(total, faceTotal, 1e-3);
    EXPECT_NEAR(total, 4.0 * M_PI * 4.0, 0.5); // within 1 % of the sphere's own
}

TEST(PointAreas, DegenerateFacesGiveNothing)
{
    // A repeated vertex and three collinear points: no area, no NaN.
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(2, 0, 0), vec(0, 1, 0)},
                         {{0, 0, 1}, {0, 1, 2}, {0, 1, 3}});
    stderrOf([&] { m.needPointAreas(); });
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(m.cornerAreas[0][j], 0.0f);
        EXPECT_EQ(m.cornerAreas[1][j], 0.0f);
    }
    EXPECT_EQ(m.pointAreas[2], 0.0f);
    EXPECT_NEAR(m.pointAreas[0] + m.pointAreas[1] + m.pointAreas[3], 0.5f, 1e-6f);
}

// ---- Curvatures and derivatives ------------------------------------------------

TEST(Curvature, SphereNearOneOverRadius)
{
    const float r = 2.5f;
    TriMesh s = sphere(4, r); // 5120 faces
    const std::string out = stderrOf([&] { s.needCurvatureDerivatives(); });
    EXPECT_EQ(out, "Computing normals... Done.\nComputing point areas... Done.\n"
                   "Computing curvatures... Done.\nComputing dcurv... Done.\n");
    ASSERT_EQ(s.majorCurvatures.size(), s.vertices.size());
    float worstK = 0, worstD = 0;
    for (size_t i = 0; i < s.vertices.size(); ++i) {
        worstK = std::max(worstK, std::fabs(s.majorCurvatures[i] * r - 1.0f));
        worstK = std::max(worstK, std::fabs(s.minorCurvatures[i] * r - 1.0f));
        EXPECT_GE(std::fabs(s.majorCurvatures[i]), std::fabs(s.minorCurvatures[i]));
        const vec& n = s.normals[i];
        EXPECT_NEAR(dot(s.majorDirections[i], n), 0.0f, 1e-4f);
        EXPECT_NEAR(len(s.majorDirections[i]), 1.0f, 1e-4f);
        EXPECT_NEAR(len(s.minorDirections[i] - cross(n, s.majorDirections[i])), 0.0f, 1e-5f);
        for (int k = 0; k < 4; ++k)
            worstD = std::max(worstD, std::fabs(s.dcurv[i][k]) * r * r);
    }
    EXPECT_LT(worstK, 0.02f); // within 2 % of 1/r at every vertex
    EXPECT_LT(worstD, 0.05f); // in units of 1/r^2
}

TEST(Curvature, PlaneIsFlat)
{
    TriMesh m = plane(12);
    stderrOf([&] { m.needCurvatureDerivatives(); });
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        EXPECT_EQ(m.majorCurvatures[i], 0.0f);
        EXPECT_EQ(m.minorCurvatures[i], 0.0f);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(m.dcurv[i][k], 0.0f);
        // No rotation (c = 1, s = 0): the major direction is the initial
        // tangent frame, in the plane and of unit length.
        EXPECT_EQ(m.majorDirections[i][2], 0.0f);
        EXPECT_NEAR(len(m.majorDirections[i]), 1.0f, 1e-6f);
        expectVec(m.minorDirections[i], cross(vec(0, 0, 1), m.majorDirections[i]));
    }
    // The last face through vertex 0 is (0, 13, 12): its initial edge 0 -> 13.
    expectVec(m.majorDirections[0],
              normalized(cross(m.vertices[13] - m.vertices[0], vec(0, 0, 1))));
}

TEST(Curvature, CylinderHasOneBentDirection)
{
    // Radius 2 around the z axis: |major| = 1/2 across, minor 0 along z.
    TriMesh m;
    const int n = 64, rows = 20;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < n; ++x) {
            float a = 6.2831853f * float(x) / float(n);
            m.vertices.emplace_back(2.0f * std::cos(a), 2.0f * std::sin(a), 0.2f * float(y));
        }
    for (int y = 0; y + 1 < rows; ++y)
        for (int x = 0; x < n; ++x) {
            int a = y * n + x, b = y * n + (x + 1) % n;
            m.faces.emplace_back(a, b, b + n);
            m.faces.emplace_back(a, b + n, a + n);
        }
    stderrOf([&] { m.needCurvatures(); });
    for (int y = 2; y + 2 < rows; ++y)
        for (int x = 0; x < n; ++x) {
            size_t i = size_t(y * n + x);
            EXPECT_NEAR(m.majorCurvatures[i], 0.5f, 0.01f) << i;
            EXPECT_NEAR(m.minorCurvatures[i], 0.0f, 0.01f) << i;
            EXPECT_NEAR(std::fabs(m.minorDirections[i][2]), 1.0f, 1e-3f) << i;
        }
}

TEST(Curvature, TorusDerivativesMatchTheAnalyticValues)
{
    // Tube radius r = 0.7 about a circle of radius R = 2. At the tube angle
    // t the curvatures are 1/r across the tube (the major one, constant) and
    // cos t / (R + r cos t) around the axis (the minor one), which changes
    // only across the tube: d/ds = -R sin t / (r (R + r cos t)^2) with s the
    // arc length r t. In the (major, minor) frame the derivative tensor is
    // then (0, 0, that change, 0); the sign of the third component follows
    // the direction the major axis happens to point, so it is compared in
    // size.
    const float R = 2.0f, r = 0.7f;
    const int around = 200, across = 80;
    TriMesh m = torus(around, across, R, r);
    stderrOf([&] { m.needCurvatureDerivatives(); });
    ASSERT_EQ(m.dcurv.size(), m.vertices.size());
    float worstZero = 0.0f, worstChange = 0.0f, largest = 0.0f, scale = 0.0f;
    for (int i = 0; i < around; i += 7) {
        for (int j = 0; j < across; ++j) {
            const size_t v = size_t(i * across + j);
            const float t = 6.2831853f * float(j) / float(across);
            const float rho = R + r * std::cos(t);
            const float change = R * std::sin(t) / (r * rho * rho);
            scale = std::max(scale, std::fabs(change));
            EXPECT_NEAR(std::fabs(m.majorCurvatures[v]), 1.0f / r, 0.02f / r) << v;
            worstZero = std::max({worstZero, std::fabs(m.dcurv[v][0]), std::fabs(m.dcurv[v][1]),
                                  std::fabs(m.dcurv[v][3])});
            worstChange =
                std::max(worstChange, std::fabs(std::fabs(m.dcurv[v][2]) - std::fabs(change)));
            largest = std::max(largest, std::fabs(m.dcurv[v][2]));
        }
    }
    EXPECT_LT(worstZero, 0.05f * scale) << scale;
    EXPECT_LT(worstChange, 0.05f * scale) << scale;
    EXPECT_GT(largest, 0.95f * scale);
}

TEST(Curvature, ComputedOnceAndAgainAfterRefinement)
{
    TriMesh s = sphere(1, 1.0f);
    stderrOf([&] { s.needCurvatures(); });
    EXPECT_EQ(stderrOf([&] { s.needCurvatures(); }), "");
    EXPECT_EQ(stderrOf([&] { s.needPointAreas(); }), "");
    EXPECT_EQ(stderrOf([&] { s.needCurvatureDerivatives(); }), "Computing dcurv... Done.\n");
    EXPECT_EQ(stderrOf([&] { s.needCurvatureDerivatives(); }), "");
    // Smoothing normals leaves the curvatures as they were.
    const std::vector<float> before = s.majorCurvatures;
    stderrOf([&] { s.diffuseNormals(0.5f); });
    EXPECT_EQ(stderrOf([&] { s.needCurvatures(); }), "");
    EXPECT_EQ(s.majorCurvatures, before);
    // A new vertex count recomputes, matching a fresh computation.
    stderrOf([&] { s.subdivide(1); });
    TriMesh fresh;
    fresh.vertices = s.vertices;
    fresh.faces = s.faces;
    const std::string out = stderrOf([&] { s.needCurvatures(); });
    EXPECT_NE(out.find("Computing curvatures... Done.\n"), std::string::npos);
    stderrOf([&] { fresh.needCurvatures(); });
    EXPECT_EQ(s.majorCurvatures, fresh.majorCurvatures);
    EXPECT_EQ(s.minorCurvatures, fresh.minorCurvatures);
}

TEST(Curvature, EmptyMeshAndStripsOnly)
{
    TriMesh empty;
    EXPECT_EQ(stderrOf([&] { empty.needCurvatureDerivatives(); }), "");
    // Strips only: unpacked first.
    TriMesh st;
    st.vertices = {vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0.2f)};
    st.strips = {4, 0, 1, 2, 3};
    const std::string out = stderrOf([&] { st.needCurvatures(); });
    EXPECT_EQ(out.rfind("Unpacking triangle strips... ", 0), 0u) << out;
    EXPECT_EQ(st.faces.size(), 2u);
    EXPECT_EQ(st.majorCurvatures.size(), 4u);
}

TEST(Curvature, DegenerateFacesStayOut)
{
    TriMesh s = sphere(2, 1.0f);
    // A collapsed face and a face repeating a vertex.
    s.faces.emplace_back(0, 0, 1);
    s.faces.emplace_back(2, 3, 2);
    stderrOf([&] { s.needCurvatureDerivatives(); });
    for (size_t i = 0; i < s.vertices.size(); ++i) {
        EXPECT_TRUE(std::isfinite(s.majorCurvatures[i]) && std::isfinite(s.minorCurvatures[i]))
            << i;
        for (int k = 0; k < 4; ++k)
            EXPECT_TRUE(std::isfinite(s.dcurv[i][k])) << i;
    }
}

TEST(Curvature, RealMeshesGiveFiniteValues)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared data not present";
    for (const char* rel :
         {"ply/meshlab/bunny10k.ply", "off/pmp/fandisk_quads.off", "obj/common3d/cow.obj"}) {
        std::unique_ptr<TriMesh> m = readShared(rel);
        ASSERT_TRUE(m) << rel;
        stderrOf([&] {
            m->needCurvatureDerivatives();
            m->diffuseCurvatures(m->medianEdgeLength());
            m->diffuseCurvatureDerivatives(m->medianEdgeLength());
        });
        size_t bad = 0;
        for (size_t i = 0; i < m->vertices.size(); ++i) {
            bad += !std::isfinite(m->majorCurvatures[i]) || !std::isfinite(m->minorCurvatures[i]);
            for (int k = 0; k < 4; ++k)
                bad += !std::isfinite(m->dcurv[i][k]);
        }
        EXPECT_EQ(bad, 0u) << rel;
    }
}
