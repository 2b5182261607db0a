// The smallest enclosing sphere: the routine over a list of points against a
// brute-force minimum on small inputs, degenerate inputs, and the cached
// TriMesh operation with its progress line.

#include "MeshUtil.h"

#include "trimesh/BoundingSphere.h"

#include <random>

namespace {

struct Sphere {
    double c[3];
    double r;
};

// The sphere with points[idx] on its boundary and its centre in their affine
// hull; false when they are (nearly) dependent.
bool circumsphere(const std::vector<vec>& pts, const std::vector<int>& idx, Sphere& s)
{
    const int k = int(idx.size()) - 1;
    const vec& p0 = pts[size_t(idx[0])];
    double v[3][3], a[3][4];
    for (int i = 0; i < k; ++i)
        for (int d = 0; d < 3; ++d)
            v[i][d] = double(pts[size_t(idx[size_t(i + 1)])][d]) - double(p0[d]);
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j < k; ++j)
            a[i][j] = 2.0 * (v[i][0] * v[j][0] + v[i][1] * v[j][1] + v[i][2] * v[j][2]);
        a[i][k] = v[i][0] * v[i][0] + v[i][1] * v[i][1] + v[i][2] * v[i][2];
    }
    for (int col = 0; col < k; ++col) {
        int piv = col;
        for (int r = col + 1; r < k; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[piv][col]))
                piv = r;
        if (std::fabs(a[piv][col]) < 1e-12)
            return false;
        for (int c = 0; c <= k; ++c)
            std::swap(a[col][c], a[piv][c]);
        for (int r = 0; r < k; ++r) {
            if (r == col)
                continue;
            double f = a[r][col] / a[col][col];
            for (int c = col; c <= k; ++c)
                a[r][c] -= f * a[col][c];
        }
    }
    double off[3] = {0, 0, 0};
    for (int i = 0; i < k; ++i)
        for (int d = 0; d < 3; ++d)
            off[d] += a[i][k] / a[i][i] * v[i][d];
    for (int d = 0; d < 3; ++d)
        s.c[d] = double(p0[d]) + off[d];
    s.r = std::sqrt(off[0] * off[0] + off[1] * off[1] + off[2] * off[2]);
    return true;
}

bool encloses(const Sphere& s, const std::vector<vec>& pts, double tol)
{
    for (const vec& p : pts) {
        double d2 = 0;
        for (int d = 0; d < 3; ++d)
            d2 += (double(p[d]) - s.c[d]) * (double(p[d]) - s.c[d]);
        if (std::sqrt(d2) > s.r + tol)
            return false;
    }
    return true;
}

// Radius of the smallest enclosing sphere by trying every sphere through
// 2, 3 or 4 of the points.
double bruteForceRadius(const std::vector<vec>& pts)
{
    const int n = int(pts.size());
    double best = 1e300;
    std::vector<int> idx;
    std::function<void(int)> rec = [&](int from) {
        if (idx.size() >= 2) {
            Sphere s;
            if (circumsphere(pts, idx, s) && s.r < best && encloses(s, pts, 1e-9 * (1 + s.r)))
                best = s.r;
        }
        if (idx.size() == 4)
            return;
        for (int i = from; i < n; ++i) {
            idx.push_back(i);
            rec(i + 1);
            idx.pop_back();
        }
    };
    rec(0);
    return best;
}

void expectEncloses(const std::vector<vec>& pts, const vec& c, float r)
{
    const float tol = 1e-5f * std::max(r, 1e-3f);
    for (size_t i = 0; i < pts.size(); ++i)
        ASSERT_LE(dist(pts[i], c), r + tol) << "point " << i;
}

} // namespace

TEST(BoundingSphere, EmptyListGivesOriginAndZero)
{
    vec c(7, 7, 7);
    float r = 7;
    boundingSphere(nullptr, 0, c, r);
    EXPECT_EQ(c, vec(0, 0, 0));
    EXPECT_EQ(r, 0.0f);
}

TEST(BoundingSphere, SinglePointIsItsOwnCentre)
{
    vec p(1.5f, -2, 3), c;
    float r = 7;
    boundingSphere(&p, 1, c, r);
    EXPECT_EQ(c, p);
    EXPECT_EQ(r, 0.0f);
}

TEST(BoundingSphere, UnitCubeCorners)
{
    TriMesh cube = unitCube();
    vec c;
    float r;
    boundingSphere(cube.vertices.data(), 8, c, r);
    EXPECT_NEAR(c[0], 0.5f, 1e-6f);
    EXPECT_NEAR(c[1], 0.5f, 1e-6f);
    EXPECT_NEAR(c[2], 0.5f, 1e-6f);
    EXPECT_NEAR(r, std::sqrt(3.0f) / 2.0f, 1e-6f);
}

TEST(BoundingSphere, CoincidentAndCollinearPoints)
{
    std::vector<vec> same(50, vec(1, 2, 3));
    vec c;
    float r;
    boundingSphere(same.data(), same.size(), c, r);
    EXPECT_EQ(c, vec(1, 2, 3));
    EXPECT_EQ(r, 0.0f);

    std::vector<vec> line;
    for (int i = 0; i <= 100; ++i)
        line.emplace_back(float((i * 37) % 101), 0, 0);
    boundingSphere(line.data(), line.size(), c, r);
    EXPECT_NEAR(c[0], 50.0f, 1e-4f);
    EXPECT_NEAR(r, 50.0f, 1e-4f);
}

TEST(BoundingSphere, NaNPointsDoNotHangOrPoison)
{
    const float nan = std::nanf("");
    std::vector<vec> pts = {vec(nan, 0, 0), vec(0, 0, 0), vec(2, 0, 0), vec(nan, nan, nan),
                            vec(1, 1, 0)};
    vec c;
    float r;
    boundingSphere(pts.data(), pts.size(), c, r);
    EXPECT_NEAR(c[0], 1.0f, 1e-6f);
    EXPECT_NEAR(r, 1.0f, 1e-6f);
}

TEST(BoundingSphere, MatchesBruteForceOnSmallRandomSets)
{
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> u(-10.0f, 10.0f);
    for (int trial = 0; trial < 200; ++trial) {
        const int n = 2 + trial % 11;
        std::vector<vec> pts;
        for (int i = 0; i < n; ++i)
            pts.emplace_back(u(rng), u(rng), trial % 5 == 0 ? 0.0f : u(rng)); // some planar
        vec c;
        float r;
        boundingSphere(pts.data(), pts.size(), c, r);
        expectEncloses(pts, c, r);
        EXPECT_NEAR(r, bruteForceRadius(pts), 2e-5 * r) << "trial " << trial;
    }
}

TEST(BoundingSphere, ManyPointsOnASphere)
{
    std::mt19937 rng(7);
    std::normal_distribution<float> g;
    std::vector<vec> pts;
    for (int i = 0; i < 20000; ++i) {
        vec p(g(rng), g(rng), g(rng));
        pts.push_back(vec(3, -1, 2) + 5.0f * p / len(p));
    }
    vec c;
    float r;
    boundingSphere(pts.data(), pts.size(), c, r);
    expectEncloses(pts, c, r);
    EXPECT_LE(r, 5.0f * 1.00001f);
    EXPECT_NEAR(dist(c, vec(3, -1, 2)), 0.0f, 1e-3f);
}

TEST(TriMeshBoundingSphere, ComputesOnceWithItsResultLine)
{
    TriMesh cube = unitCube();
    std::string out = stderrOf([&] { cube.computeBoundingSphere(); });
    EXPECT_EQ(
        out, "Computing bounding sphere... Done.\n  center = (0.5, 0.5, 0.5), radius = 0.866025\n");
    EXPECT_TRUE(cube.sphereValid);
    EXPECT_EQ(stderrOf([&] { cube.computeBoundingSphere(); }), "");
}

TEST(TriMeshBoundingSphere, SingleVertexAndEmptyMesh)
{
    TriMesh one = makeMesh({vec(1, 2, 3)}, {});
    stderrOf([&] { one.computeBoundingSphere(); });
    EXPECT_TRUE(one.sphereValid);
    EXPECT_EQ(one.sphereCenter, vec(1, 2, 3));
    EXPECT_EQ(one.sphereRadius, 0.0f);

    TriMesh empty;
    EXPECT_EQ(stderrOf([&] { empty.computeBoundingSphere(); }), "");
    EXPECT_FALSE(empty.sphereValid);
}

TEST(TriMeshBoundingSphere, RealMeshesAreEnclosedTightly)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared data not found at " << KELVANE_SHARED_DATA;
    for (const std::string& rel : realMeshFiles()) {
        SCOPED_TRACE(rel);
        std::unique_ptr<TriMesh> m = readShared(rel);
        ASSERT_TRUE(m);
        stderrOf([&] { m->computeBoundingSphere(); });
        ASSERT_TRUE(m->sphereValid);
        expectEncloses(m->vertices, m->sphereCenter, m->sphereRadius);
        // No larger than the sphere about the bounding box centre, and at
        // least half the distance between the two points farthest apart
        // along each axis.
        vec lo = m->vertices[0], hi = lo;
        for (const vec& p : m->vertices)
            for (int d = 0; d < 3; ++d)
                lo[d] = std::min(lo[d], p[d]), hi[d] = std::max(hi[d], p[d]);
        vec mid = 0.5f * (lo + hi);
        float boxR = 0;
        for (const vec& p : m->vertices)
            boxR = std::max(boxR, dist(p, mid));
        EXPECT_LE(m->sphereRadius, boxR * 1.000001f);
        for (int d = 0; d < 3; ++d)
            EXPECT_GE(m->sphereRadius * 1.000001f, 0.5f * (hi[d] - lo[d]));
    }
}
