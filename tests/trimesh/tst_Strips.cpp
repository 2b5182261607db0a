// Triangle strips: building from faces, unpacking into faces, orientation
// kept both ways, the result lines, damaged strip lists, and the round trip
// on real meshes.

#include "MeshUtil.h"
#include "trimesh/Strips.h"

#include <algorithm>
#include <array>

namespace {

// A face up to rotation of its corners (orientation kept).
Face canonical(const Face& f)
{
    int k = 0;
    if (f[1] < f[k])
        k = 1;
    if (f[2] < f[k])
        k = 2;
    return Face(f[k], f[(k + 1) % 3], f[(k + 2) % 3]);
}

std::vector<std::array<int, 3>> canonicalSorted(const std::vector<Face>& faces)
{
    std::vector<std::array<int, 3>> r;
    for (const Face& f : faces) {
        Face c = canonical(f);
        r.push_back({c[0], c[1], c[2]});
    }
    std::sort(r.begin(), r.end());
    return r;
}

// Unpacks a mesh's strips into a fresh mesh and returns its faces.
std::vector<Face> unpacked(const TriMesh& m)
{
    TriMesh u;
    u.vertices = m.vertices;
    u.strips = m.strips;
    stderrOf([&] { u.unpackStrips(); });
    return u.faces;
}

} // namespace

TEST(BuildStrips, SingleTriangle)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}, {{0, 1, 2}});
    const std::string out = stderrOf([&] { m.buildStrips(); });
    EXPECT_EQ(out, "Finding vertex to triangle maps... Done.\nFinding across-edge maps... Done.\n"
                   "Building triangle strips... Done.\n  1 strips (Avg. length 1.0)\n");
    EXPECT_EQ(m.strips, (std::vector<int>{3, 0, 1, 2}));
    EXPECT_EQ(m.faces.size(), 1u);
}

TEST(BuildStrips, TwoTrianglesMakeOneStripWithTheirOrientation)
{
    TriMesh m =
        makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0)}, {{0, 1, 2}, {2, 1, 3}});
    EXPECT_NE(stderrOf([&] { m.buildStrips(); }).find("  1 strips (Avg. length 2.0)\n"),
              std::string::npos);
    ASSERT_EQ(m.strips.size(), 5u);
    EXPECT_EQ(m.strips[0], 4);
    EXPECT_EQ(canonicalSorted(unpacked(m)), canonicalSorted(m.faces));
}

TEST(BuildStrips, GreedyOrderOnARowOfThree)
{
    // f0 = (0, 1, 2), f1 = (2, 1, 3), f2 = (2, 3, 4) in a row. Worked by
    // hand: f0 and f2 are strip ends and wait on the stack, f2 on top. From
    // f2 only the edge towards f1 is free, so the strip starts 4, 2 and takes
    // 3; across the edge opposite 4 lies f1, which adds 1; the edge of f1
    // opposite 2 is open, so the strip ends there. f0, left without free
    // neighbours, makes a strip of its own.
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0), vec(0, 2, 0)},
                         {{0, 1, 2}, {2, 1, 3}, {2, 3, 4}});
    const std::string out = stderrOf([&] { m.buildStrips(); });
    EXPECT_NE(out.find("  2 strips (Avg. length 1.5)\n"), std::string::npos) << out;
    EXPECT_EQ(m.strips, (std::vector<int>{4, 4, 2, 3, 1, 3, 0, 1, 2}));
    EXPECT_EQ(canonicalSorted(unpacked(m)), canonicalSorted(m.faces));
}

TEST(BuildStrips, IsolatedFacesGiveOneStripEach)
{
    TriMesh m = makeMesh(
        {vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(5, 0, 0), vec(6, 0, 0), vec(5, 1, 0)},
        {{0, 1, 2}, {3, 4, 5}, {0, 1, 5}});
    EXPECT_NE(stderrOf([&] { m.buildStrips(); }).find("  3 strips (Avg. length 1.0)\n"),
              std::string::npos);
    EXPECT_EQ(m.strips, (std::vector<int>{3, 0, 1, 2, 3, 3, 4, 5, 3, 0, 1, 5}));
}

TEST(BuildStrips, FlippedTwinsShareAStrip)
{
    // The same triangle twice, once each way round: all three edges link.
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}, {{0, 1, 2}, {0, 2, 1}});
    stderrOf([&] { m.buildStrips(); });
    EXPECT_EQ(m.strips, (std::vector<int>{4, 0, 1, 2, 0}));
    EXPECT_EQ(canonicalSorted(unpacked(m)), canonicalSorted(m.faces));
}

TEST(BuildStrips, ClosedSurfaceRoundTripsWithLongStrips)
{
    TriMesh t = torus(40, 20);
    const std::string out = stderrOf([&] { t.buildStrips(); });
    EXPECT_EQ(canonicalSorted(unpacked(t)), canonicalSorted(t.faces));
    // Faces per strip well above 1 on a regular surface.
    const int count = std::stoi(out.substr(out.find("Done.\n  ") + 8));
    EXPECT_LT(count, int(t.faces.size()) / 8);
}

TEST(BuildStrips, DoesNothingWithStripsOrWithoutFaces)
{
    TriMesh m = unitCube();
    m.strips = {3, 0, 1, 2};
    EXPECT_EQ(stderrOf([&] { m.buildStrips(); }), "");
    EXPECT_EQ(m.strips, (std::vector<int>{3, 0, 1, 2}));
    TriMesh empty;
    EXPECT_EQ(stderrOf([&] { empty.buildStrips(); }), "");
    EXPECT_TRUE(empty.strips.empty());
}

TEST(UnpackStrips, ExamplesKeepOrientation)
{
    TriMesh m;
    m.vertices.resize(11);
    m.strips = {4, 0, 1, 2, 3};
    EXPECT_EQ(stderrOf([&] { m.unpackStrips(); }),
              "Unpacking triangle strips... Done.\n  2 triangles\n");
    EXPECT_EQ(m.faces, (std::vector<Face>{{0, 1, 2}, {2, 1, 3}}));
    EXPECT_EQ(m.strips, (std::vector<int>{4, 0, 1, 2, 3}));

    TriMesh two;
    two.vertices.resize(11);
    two.strips = {3, 5, 6, 7, 3, 8, 9, 10};
    stderrOf([&] { two.unpackStrips(); });
    EXPECT_EQ(two.faces, (std::vector<Face>{{5, 6, 7}, {8, 9, 10}}));

    TriMesh five;
    five.vertices.resize(5);
    five.strips = {5, 0, 1, 2, 3, 4};
    stderrOf([&] { five.unpackStrips(); });
    EXPECT_EQ(five.faces, (std::vector<Face>{{0, 1, 2}, {2, 1, 3}, {2, 3, 4}}));
}

TEST(UnpackStrips, ShortAndDamagedStripsAreSkipped)
{
    TriMesh m;
    m.vertices.resize(10);
    // Lengths 0, 1 and 2 give nothing; a length running past the end ends
    // the list, so the indices after it give no triangle.
    m.strips = {0, 1, 7, 2, 7, 8, 3, 0, 1, 2, 9, 4, 5, 6};
    EXPECT_EQ(stderrOf([&] { m.unpackStrips(); }),
              "Unpacking triangle strips... Done.\n  1 triangles\n");
    EXPECT_EQ(m.faces, (std::vector<Face>{{0, 1, 2}}));

    TriMesh neg;
    neg.vertices.resize(10);
    neg.strips = {3, 0, 1, 2, -5, 3, 4, 5};
    stderrOf([&] { neg.unpackStrips(); });
    EXPECT_EQ(neg.faces, (std::vector<Face>{{0, 1, 2}}));
}

// The walk every reader of a strip list shares: where it stops on a damaged
// list, and the callback that stops it early.
TEST(StripWalk, DamagedLengthEndsTheWalk)
{
    const std::vector<int> whole = {3, 0, 1, 2, 0, 4, 3, 4, 5, 6};
    std::vector<size_t> lengths;
    EXPECT_EQ(forEachStrip(whole, [&](const int*, size_t n) { lengths.push_back(n); }),
              whole.size());
    EXPECT_EQ(lengths, (std::vector<size_t>{3, 0, 4}));
    std::vector<Face> tris;
    forEachStripTriangle(whole, [&](int a, int b, int c) { tris.emplace_back(a, b, c); });
    EXPECT_EQ(tris, (std::vector<Face>{{0, 1, 2}, {3, 4, 5}, {5, 4, 6}}));

    const std::vector<int> overlong = {3, 0, 1, 2, 4, 3, 4, 5};
    const std::vector<int> negative = {3, 0, 1, 2, -1, 3, 4, 5};
    for (const std::vector<int>* list : {&overlong, &negative}) {
        tris.clear();
        EXPECT_EQ(
            forEachStripTriangle(*list, [&](int a, int b, int c) { tris.emplace_back(a, b, c); }),
            4u);
        EXPECT_EQ(tris, (std::vector<Face>{{0, 1, 2}}));
    }

    // A callback answering false stops at the length entry of its strip.
    EXPECT_EQ(forEachStrip(whole, [](const int*, size_t n) { return n != 0; }), 4u);
}

TEST(UnpackStrips, DoesNothingWhenFacesExist)
{
    TriMesh m = unitCube();
    m.strips = {3, 0, 1, 2};
    EXPECT_EQ(stderrOf([&] { m.unpackStrips(); }), "");
    EXPECT_EQ(m.faces.size(), 12u);
}

TEST(StripsRealFiles, EveryFaceOnceWithItsOrientation)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared data not found at " << KELVANE_SHARED_DATA;
    for (const std::string& rel : realMeshFiles()) {
        SCOPED_TRACE(rel);
        std::unique_ptr<TriMesh> m = readShared(rel);
        ASSERT_TRUE(m);
        const std::vector<Face> before = m->faces;
        stderrOf([&] { m->buildStrips(); });
        EXPECT_EQ(m->faces, before);
        EXPECT_EQ(canonicalSorted(unpacked(*m)), canonicalSorted(before));
    }
}
