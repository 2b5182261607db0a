// TriMesh::read on real files made by other programs (the shared regression
// data), checked against counts and coordinates an independent reader
// reported for them. Skipped when the shared data is not there.

#include "MeshUtil.h"
#include "TestUtil.h"
#include "trimesh/ReadInTwo.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

struct Expected {
    const char* path;
    size_t vertices;
    size_t faces; // triangles after cutting polygons
    float first[3];
};

// Counts and first vertices from the data's SOURCES.md.
const Expected kReadable[] = {
    {"ply/assimp/cube.ply", 8, 12, {0, 0, 0}},
    {"ply/assimp/cube_binary.ply", 8, 12, {0, 0, 0}},
    {"ply/assimp/cube_binary_header_with_RN_newline.ply", 8, 12, {0, 0, 0}},
    {"ply/assimp/cube_binary_starts_with_nl.ply", 8, 12, {5.96753f, 0, 0}},
    {"ply/assimp/float-color.ply", 3, 1, {0, 0, 0}},
    {"ply/assimp/points.ply", 4, 0, {0, 0, 0}},
    {"ply/python-trimesh/fuze.ply", 502, 1000, {0.002047f, -0.002871f, 0.004031f}},
    {"ply/python-trimesh/points_bin.ply", 5, 0, {-0.06325f, 0.0359793f, 0.0420873f}},
    {"ply/python-trimesh/tet.ply", 4, 4, {0, -1, 1}},
    {"ply/python-trimesh/multi.ply", 4, 2, {-1, -1, 0}},
    {"ply/python-trimesh/plane.ply", 4, 2, {-1, -1, 0}},
    {"ply/meshlab/screwdriver.ply", 6789, 13574, {0.010563f, 0.000952f, -0.024287f}},
    {"ply/meshlab/bunny10k.ply", 6164, 9999, {0.0380425f, 0.109755f, 0.0161689f}},
    {"ply/meshlab/Laurana50k.ply", 27861, 49954, {-160.102f, -359.965f, -1693.46f}},
    {"ply/threejs-examples/dolphins.ply", 855, 1689, {13.6601f, 0, 548.364f}},
    {"ply/threejs-examples/dolphins_colored.ply", 855, 1689, {13.6601f, 0, 548.364f}},
    {"ply/objreader/BAUbunny.ply", 788, 1443, {-0.012775f, 0.182103f, -0.029364f}},
    {"ply/objreader/BBUbunny.ply", 788, 1443, {-0.0127752f, 0.182103f, -0.0293643f}},
    {"ply/objreader/BBPbunny.ply", 788, 1443, {-0.0127752f, 0.182103f, -0.0293643f}},
    {"ply/objreader/lbmbunny.ply", 788, 1443, {-0.012775f, 0.182103f, -0.029364f}},
    {"ply/kdtree-raytracer/bun_zipper_res3.ply", 1889, 3851, {-0.0369122f, 0.127512f, 0.00276757f}},
    {"ply/geometry-central/bob_small.ply", 250, 500, {0.477359f, -0.509611f, -0.360781f}},
    {"ply/geometry-central/sphere_small.ply", 162, 320, {0, -1, 0}},
    {"off/assimp/Cube.off", 8, 12, {-0.5f, -0.5f, 0.5f}},
    {"off/python-trimesh/comments.off", 8, 12, {1.63299f, 0, 1.1547f}},
    {"off/libigl/2triangles.off", 4, 2, {0, 0, 0}},
    {"off/libigl/bunny.off", 3485, 6966, {-0.0260146f, 0.112578f, 0.0363871f}},
    {"off/libigl/grid.off", 145, 256, {0, 0, 0}},
    {"off/pmp/L.off", 6, 4, {0, 0, 0}},
    {"off/pmp/fandisk_quads.off", 766, 1528, {2.16697f, 16.6226f, 0}},
    {"off/meshlab/block.off", 2132, 4272, {-0.165639f, -5.57322f, -18.9999f}},
    {"off/common3d/rocker-arm.off", 10044, 20088, {-0.124458f, 0.168876f, 0.49949f}},
    {"obj/assimp/box.obj", 8, 12, {-0.5f, -0.5f, 0.5f}},
    {"obj/assimp/box_without_lineending.obj", 8, 12, {-0.5f, -0.5f, 0.5f}},
    {"obj/assimp/concave_polygon.obj", 64, 64, {-1.146f, 1.6575f, 2.348f}},
    {"obj/assimp/testmixed.obj", 8, 12, {-0.5f, -0.5f, 0.5f}},
    {"obj/assimp/point_cloud.obj", 3, 0, {-0.207717f, -0.953997f, 2.55411f}},
    {"obj/assimp/number_formats.obj", 15, 1, {0, 0, 0}},
    {"obj/python-trimesh/negative_indices.obj", 8, 12, {1, 1, -1}},
    {"obj/common3d/cow.obj", 2903, 5804, {2.29245f, -0.871852f, -0.8824f}},
    {"obj/common3d/spot_quadrangulated.obj", 2930, 5856, {0.348799f, -0.334989f, -0.0832331f}},
    {"obj/common3d/suzanne.obj", 507, 968, {-2.05656f, 1.41575f, 4.86952f}},
    {"obj/common3d/teapot.obj", 3644, 6320, {-3, 1.8f, 0}},
    {"obj/geometry-central/dodecahedron_poly.obj", 20, 36, {0.57735f, -0.57735f, 0.57735f}},
    // Forms other programs write: a material library line first, a "w"
    // value, faces or a camera record before the vertices (with double
    // positions), counts on the OFF line, no final line break.
    {"obj/python-trimesh/polygonfaces.obj", 5, 3, {-500, 0, 500}},
    {"obj/tinyobjloader/cube-vertex-w-component.obj", 8, 12, {0, 2, 2}},
    {"obj/tinyobjloader/leading-decimal-dot-issue-201.obj", 3, 1, {0.08f, -70, -5.532511f}},
    {"obj/tinyobjloader/leading-zero-in-exponent-notation-issue-210.obj",
     3,
     1,
     {0.08f, -70, -5.532511f}},
    {"obj/tinyobjloader/issue-140-zero-face-idx.obj", 4, 2, {-0.5f, -0.5f, 0}},
    {"obj/tinyobjloader/points-prim.obj", 8, 0, {0, 2, 2}},
    {"obj/tinyobjloader/line-prim.obj", 8, 0, {0, 2, 2}},
    {"off/python-trimesh/whitespace.off", 8, 12, {1.63299f, 0, 1.1547f}},
    {"off/pmp/chamfer-cube.off", 24, 44, {-0.6f, -0.6f, 1}},
    {"ply/happly/platonic_shelf.ply", 50, 80, {-3.56263f, -0.627972f, 0.613591f}},
    {"ply/happly/platonic_shelf_ascii.ply", 50, 80, {-3.56263f, -0.627972f, 0.613591f}},
    {"ply/meshlab/lato000.ply", 44461, 86766, {-33.2374f, 35.2198f, -775.968f}},
    {"3ds/assimp/fels.3ds", 386, 768, {-1.84452f, -0.343856f, 1.62226f}},
    {"3ds/assimp/test1.3ds", 288, 108, {-10.3385f, 0.00185188f, -10.1436f}},
    {"3ds/assimp/cubes_with_alpha.3DS", 130, 60, {-1.18954f, 564.386f, -13.5794f}},
    {"3ds/assimp/CameraRollAnimWithChildObject.3ds", 52, 24, {-24.7863f, -24.7863f, 0}},
    {"3ds/meshlab/sp.3ds", 4, 2, {-40.5276f, 2.54552e-06f, -58.2348f}},
    {"3ds/meshlab/radio.3ds", 1500, 500, {46.5169f, 17.1113f, 32.1371f}},
};

// Files the reader refuses, and why: empty, a list among the vertex
// properties, UTF-16 text, face data broken by a stray line, a face named
// before any vertex, no elements, too little face data.
struct Refused {
    const char* path;
    const char* reason;
};
const Refused kRefused[] = {
    {"ply/assimp/empty.ply", "the file is empty"},
    {"ply/assimp/issue623.ply", "the PLY vertex element has a property Kelvane cannot read "
                                "(\"property list uchar uint vertex_indices\")"},
    {"ply/python-trimesh/ply_empty_header.ply", "the PLY file declares no vertex element"},
    {"ply/kdtree-raytracer/bun_zipper_res4.ply",
     "face 60 of 946 (line 526) has \"comment\" where a number should be"},
    {"off/assimp/empty.off", "the file is empty"},
    {"off/assimp/invalid.off", "the file ends at face 3 of 4 (it is truncated)"},
    {"obj/assimp/empty.obj", "the file is empty"},
    {"obj/assimp/box_UTF16BE.obj",
     "the file is UTF-16 encoded text; save it as UTF-8 or ASCII text to read it"},
    {"obj/tinyobjloader/invalid-relative-vertex-index.obj",
     "face 0 uses vertex -4, the file has 0 vertices"},
    {"3ds/assimp/empty.3ds", "the file is empty"},
};

const float kTolerance = 1e-5f;

// The "Facts" line SOURCES.md gives for `path`, or nothing.
std::string factsOf(const std::string& path)
{
    static const std::string text = [] {
        std::ifstream in(std::string(KELVANE_SHARED_DATA) + "/SOURCES.md");
        std::stringstream whole;
        whole << in.rdbuf();
        return whole.str();
    }();
    size_t at = text.find("\n### " + path + "\n");
    at = at == std::string::npos ? at : text.find("\n- Facts: ", at);
    return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at + 1) - at);
}

// The vertices of faces [first, first + count) in vertices [low, high].
void expectIndices(const TriMesh& mesh, size_t first, size_t count, int low, int high)
{
    int least = high + 1, most = low - 1;
    for (size_t f = first; f < first + count && f < mesh.faces.size(); ++f) {
        for (int k = 0; k < 3; ++k) {
            least = std::min(least, mesh.faces[f][k]);
            most = std::max(most, mesh.faces[f][k]);
        }
    }
    EXPECT_EQ(least, low) << "faces from " << first;
    EXPECT_EQ(most, high) << "faces from " << first;
}

} // namespace

// Counts and first vertices, and the bounds and range of indices the facts
// in SOURCES.md give: for 3DS files, each object's faces use that object's
// vertices only.
TEST(RealFiles, CountsBoundsAndIndices)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared regression data not found at " << KELVANE_SHARED_DATA;
    const std::regex indices("indices (-?[0-9]+)\\.\\.(-?[0-9]+)");
    const std::regex box("bbox min \\[([^\\]]*)\\] max \\[([^\\]]*)\\]");
    const std::regex objects(": ([0-9]+) v / ([0-9]+) f");
    for (const Expected& e : kReadable) {
        SCOPED_TRACE(e.path);
        ReadResult r = readFile(std::string(KELVANE_SHARED_DATA) + "/" + e.path);
        ASSERT_NE(r.mesh, nullptr) << r.messages;
        EXPECT_EQ(r.mesh->vertices.size(), e.vertices);
        EXPECT_EQ(r.mesh->faces.size(), e.faces);
        ASSERT_FALSE(r.mesh->vertices.empty());
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(r.mesh->vertices[0][k], e.first[k],
                        kTolerance * (1 + std::abs(e.first[k])));
        EXPECT_NE(r.messages.find("Done.\n"), std::string::npos) << r.messages;
        const std::string facts = factsOf(e.path);
        ASSERT_FALSE(facts.empty());
        std::smatch m;
        // That file counts its corners from 0, which Kelvane accepts as such.
        if (std::strstr(e.path, "zero-face-idx"))
            expectIndices(*r.mesh, 0, r.mesh->faces.size(), 0, 3);
        else if (std::regex_search(facts, m, indices))
            expectIndices(*r.mesh, 0, r.mesh->faces.size(), std::stoi(m[1]), std::stoi(m[2]));
        if (std::regex_search(facts, m, box)) {
            vec low(1e30f, 1e30f, 1e30f), high(-1e30f, -1e30f, -1e30f);
            for (const vec& v : r.mesh->vertices) {
                for (int k = 0; k < 3; ++k)
                    low[k] = std::min(low[k], v[k]), high[k] = std::max(high[k], v[k]);
            }
            std::istringstream want(std::string(m[1]) + ", " + std::string(m[2]));
            for (int k = 0; k < 6; ++k) {
                float value = 0;
                char comma;
                want >> value >> comma;
                const float got = k < 3 ? low[k] : high[k - 3];
                EXPECT_NEAR(got, value, kTolerance * (1 + std::abs(value))) << "bound " << k;
            }
        }
        size_t vertex = 0, face = 0;
        for (auto o = std::sregex_iterator(facts.begin(), facts.end(), objects);
             o != std::sregex_iterator(); ++o) {
            const size_t v = std::stoul((*o)[1]), f = std::stoul((*o)[2]);
            expectIndices(*r.mesh, face, f, int(vertex), int(vertex + v - 1));
            vertex += v, face += f;
        }
    }
}

TEST(RealFiles, RefusedWithAMessage)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared regression data not found at " << KELVANE_SHARED_DATA;
    for (const Refused& refused : kRefused) {
        SCOPED_TRACE(refused.path);
        std::string full = std::string(KELVANE_SHARED_DATA) + "/" + refused.path;
        std::string reason;
        testing::internal::CaptureStderr();
        std::unique_ptr<TriMesh> mesh(TriMesh::read(full.c_str(), reason));
        std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_EQ(mesh, nullptr);
        EXPECT_EQ(reason, refused.reason);
        std::string tail = "\nError reading file [" + full + "]\n";
        ASSERT_GE(messages.size(), tail.size());
        EXPECT_EQ(messages.substr(messages.size() - tail.size()), tail);
    }
}

// Every real file reads the same, to the bit and with the same messages,
// with its text records read on two threads as on one; the files whose
// records have lines of their own take the two-thread way.
TEST(RealFiles, ReadingOnTwoThreadsChangesNothing)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared regression data not found at " << KELVANE_SHARED_DATA;
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one core";
    auto bytesOf = [](const auto& list) {
        return std::string(reinterpret_cast<const char*>(list.data()),
                           list.size() * sizeof(list[0]));
    };
    const size_t usual = recordsWorthTwoThreads;
    const long before = runsReadInTwo;
    std::vector<std::string> paths;
    for (const Expected& e : kReadable)
        paths.push_back(e.path);
    for (const Refused& r : kRefused)
        paths.push_back(r.path);
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::string full = std::string(KELVANE_SHARED_DATA) + "/" + path;
        recordsWorthTwoThreads = size_t(-1);
        const ReadResult one = readFile(full);
        recordsWorthTwoThreads = 8;
        const ReadResult two = readFile(full);
        recordsWorthTwoThreads = usual;
        EXPECT_EQ(one.messages, two.messages);
        ASSERT_EQ(one.mesh == nullptr, two.mesh == nullptr);
        if (!one.mesh)
            continue;
        EXPECT_EQ(bytesOf(one.mesh->vertices), bytesOf(two.mesh->vertices));
        EXPECT_EQ(bytesOf(one.mesh->normals), bytesOf(two.mesh->normals));
        EXPECT_EQ(bytesOf(one.mesh->colors), bytesOf(two.mesh->colors));
        EXPECT_EQ(bytesOf(one.mesh->confidences), bytesOf(two.mesh->confidences));
        EXPECT_EQ(bytesOf(one.mesh->faces), bytesOf(two.mesh->faces));
    }
    // Vertices and faces of the ASCII PLY and OFF files with more than 8.
    EXPECT_GE(runsReadInTwo - before, 20);
}

TEST(RealFiles, VertexAttributes)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared regression data not found at " << KELVANE_SHARED_DATA;
    const std::string d = KELVANE_SHARED_DATA;
    ReadResult screw = readFile(d + "/ply/meshlab/screwdriver.ply");
    ASSERT_NE(screw.mesh, nullptr);
    EXPECT_EQ(screw.mesh->confidences.size(), 6789u);
    ReadResult laurana = readFile(d + "/ply/meshlab/Laurana50k.ply");
    ASSERT_NE(laurana.mesh, nullptr);
    EXPECT_EQ(laurana.mesh->colors.size(), 27861u);
    // Colours stand before the normals in this ASCII file; both are read.
    ReadResult points = readFile(d + "/ply/assimp/points.ply");
    ASSERT_NE(points.mesh, nullptr);
    EXPECT_EQ(points.mesh->colors.size(), 4u);
    EXPECT_EQ(points.mesh->normals.size(), 4u);
    // Every encoding of the bunny gives the same mesh.
    ReadResult le = readFile(d + "/ply/objreader/lbmbunny.ply");
    ReadResult be = readFile(d + "/ply/objreader/BBUbunny.ply");
    ASSERT_TRUE(le.mesh && be.mesh);
    EXPECT_EQ(le.mesh->faces, be.mesh->faces);
}

TEST(RealFiles, TriangleStripsMatchTheObjTwin)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared regression data not found at " << KELVANE_SHARED_DATA;
    ReadResult r = readFile(std::string(KELVANE_SHARED_DATA) + "/ply/common3d/cow.ply");
    ASSERT_NE(r.mesh, nullptr);
    EXPECT_EQ(r.mesh->vertices.size(), 2903u);
    // 923 strips over 8573 entries: the length-prefixed form has the same
    // number of entries; the triangles are counted strip by strip.
    const std::vector<int>& s = r.mesh->strips;
    ASSERT_EQ(s.size(), 8573u);
    size_t strips = 0, triangles = 0;
    for (size_t i = 0; i < s.size(); i += size_t(s[i]) + 1) {
        ++strips;
        triangles += s[i] >= 3 ? size_t(s[i]) - 2 : 0;
    }
    EXPECT_EQ(strips, 923u);
    EXPECT_EQ(triangles, 5804u);
}

TEST(RealFiles, RangeScanIsTriangulated)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared regression data not found at " << KELVANE_SHARED_DATA;
    std::string path = std::string(KELVANE_SHARED_DATA) + "/ply/stanford-range/bun000.ply";
    ReadResult r = readFile(path);
    ASSERT_NE(r.mesh, nullptr);
    EXPECT_EQ(r.mesh->vertices.size(), 40256u);
    // 79312 triangles before the long slivers are removed.
    EXPECT_NE(r.messages.find("Triangulating... 79312 faces.\n  Removing faces... "),
              std::string::npos);
    const size_t removed = 79312 - r.mesh->faces.size();
    EXPECT_GT(removed, 0u);
    EXPECT_LT(removed, 79312u / 20);
    EXPECT_NE(r.messages.find(std::to_string(removed) + " faces removed... Done.\n  Done.\n"),
              std::string::npos);
}
