// STL in the toolkit: a cube written by hand in both forms, the binary
// file whose header begins with "solid", damaged files, the writer's round
// trip, and the shared real files with the facet and vertex counts their
// notes give.

#include "trimesh/TriMesh.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace {

// The unit cube's 12 triangles, outward winding, 36 corners from 8 points.
const float cube[12][9] = {
    {0, 0, 0, 0, 1, 0, 1, 1, 0}, {0, 0, 0, 1, 1, 0, 1, 0, 0}, {0, 0, 1, 1, 0, 1, 1, 1, 1},
    {0, 0, 1, 1, 1, 1, 0, 1, 1}, {0, 0, 0, 1, 0, 0, 1, 0, 1}, {0, 0, 0, 1, 0, 1, 0, 0, 1},
    {0, 1, 0, 0, 1, 1, 1, 1, 1}, {0, 1, 0, 1, 1, 1, 1, 1, 0}, {0, 0, 0, 0, 0, 1, 0, 1, 1},
    {0, 0, 0, 0, 1, 1, 0, 1, 0}, {1, 0, 0, 1, 1, 0, 1, 1, 1}, {1, 0, 0, 1, 1, 1, 1, 0, 1},
};

std::string binaryCube(const char* header, uint32_t count = 12)
{
    std::string s(80, ' ');
    std::memcpy(&s[0], header, std::strlen(header));
    s.append(reinterpret_cast<const char*>(&count), 4);
    for (const auto& t : cube) {
        s.append(12, '\0'); // the stored normal, not used
        s.append(reinterpret_cast<const char*>(t), sizeof t);
        s.append(2, '\0');
    }
    return s;
}

std::string asciiCube(bool endsolid = true)
{
    std::string s = "solid cube\n";
    for (const auto& t : cube) {
        s += "  facet normal 0 0 0\n    outer loop\n";
        for (int c = 0; c < 3; ++c) {
            s += "      vertex " + std::to_string(t[3 * c]) + " " + std::to_string(t[3 * c + 1]) +
                 " " + std::to_string(t[3 * c + 2]) + "\n";
        }
        s += "    endloop\n  endfacet\n";
    }
    if (endsolid)
        s += "endsolid cube\n";
    return s;
}

std::unique_ptr<TriMesh> read(const std::string& bytes, std::string& reason)
{
    testing::internal::CaptureStderr();
    std::unique_ptr<TriMesh> m(TriMesh::readFromMemory(bytes.data(), bytes.size(), "t.stl", reason));
    testing::internal::GetCapturedStderr();
    return m;
}

// Every face's corners are the cube's triangle at the same place.
void expectCube(const TriMesh& m)
{
    ASSERT_EQ(m.faces.size(), 12u);
    EXPECT_EQ(m.vertices.size(), 8u);
    for (int f = 0; f < 12; ++f) {
        for (int c = 0; c < 3; ++c) {
            const vec& v = m.vertices[size_t(m.faces[size_t(f)][c])];
            EXPECT_EQ(v, vec(cube[f][3 * c], cube[f][3 * c + 1], cube[f][3 * c + 2]));
        }
    }
}

} // namespace

TEST(Stl, CubeInBothFormsWelds)
{
    std::string reason;
    auto binary = read(binaryCube("made by hand"), reason);
    ASSERT_NE(binary, nullptr) << reason;
    expectCube(*binary);
    auto ascii = read(asciiCube(), reason);
    ASSERT_NE(ascii, nullptr) << reason;
    expectCube(*ascii);
    // A binary file whose header begins with "solid" is binary by its size.
    auto solidHeaded = read(binaryCube("solid cube"), reason);
    ASSERT_NE(solidHeaded, nullptr) << reason;
    expectCube(*solidHeaded);
    // Upper-case keywords, a blank before "solid", CRLF line ends.
    std::string upper = asciiCube();
    for (char& ch : upper)
        ch = char(std::toupper(static_cast<unsigned char>(ch)));
    std::string crlf;
    for (char ch : " " + upper)
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    auto shouting = read(crlf, reason);
    ASSERT_NE(shouting, nullptr) << reason;
    expectCube(*shouting);
}

// A binary STL of many facets, welded by the reader, against the weld
// done here the plain way: corners numbered in the order they first appear,
// positions equal when their floats compare equal (so -0 meets +0 and
// nothing else merges). The facets come as a grid walked along its rows
// (each facet sharing corners with the one before), the same grid again in
// reverse order with -0 for every zero, then a soup of facets sharing
// nothing, which outgrows the reader's first guess at the vertex count.
TEST(Stl, LargeBinaryWeldsLikeTheReference)
{
    const int n = 60;
    std::vector<float> facets;
    auto point = [&](int i, int j, bool negativeZero) {
        const float x = float(i - n / 2) * 0.25f, y = float(j - n / 2) * 0.5f;
        const float z = float((i * 7 + j * 3) % 5) - 2.0f;
        for (float c : {x, y, z})
            facets.push_back(negativeZero && c == 0.0f ? -0.0f : c);
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (int q = 0; q < (n - 1) * (n - 1); ++q) {
            const int k = pass == 0 ? q : (n - 1) * (n - 1) - 1 - q;
            const int i = k / (n - 1), j = k % (n - 1);
            point(i, j, pass == 1), point(i + 1, j, pass == 1), point(i + 1, j + 1, pass == 1);
            point(i, j, pass == 1), point(i + 1, j + 1, pass == 1), point(i, j + 1, pass == 1);
        }
    }
    for (int k = 0; k < 3 * n * n; ++k)
        for (int c = 0; c < 9; ++c)
            facets.push_back(100.0f + float(k) + 0.125f * float(c));
    const uint32_t count = uint32_t(facets.size() / 9);
    std::string bytes(80, 'x');
    bytes.append(reinterpret_cast<const char*>(&count), 4);
    for (uint32_t f = 0; f < count; ++f) {
        bytes.append(12, '\0');
        bytes.append(reinterpret_cast<const char*>(&facets[9 * size_t(f)]), 36);
        bytes.append(2, '\0');
    }

    std::map<std::tuple<float, float, float>, int> seen;
    std::vector<int> corners;
    for (size_t c = 0; c < facets.size() / 3; ++c) {
        const float* p = &facets[3 * c];
        const auto key = std::make_tuple(p[0] + 0.0f, p[1] + 0.0f, p[2] + 0.0f);
        corners.push_back(seen.emplace(key, int(seen.size())).first->second);
    }

    std::string reason;
    auto mesh = read(bytes, reason);
    ASSERT_NE(mesh, nullptr) << reason;
    ASSERT_EQ(mesh->faces.size(), size_t(count));
    ASSERT_EQ(mesh->vertices.size(), seen.size());
    EXPECT_EQ(seen.size(), size_t(n * n + 9 * n * n));
    for (size_t c = 0; c < corners.size(); ++c) {
        ASSERT_EQ(mesh->faces[c / 3][int(c % 3)], corners[c]) << "corner " << c;
        const float* p = &facets[3 * c];
        ASSERT_EQ(mesh->vertices[size_t(corners[c])], vec(p[0], p[1], p[2])) << "corner " << c;
    }
}

TEST(Stl, DamagedFilesRefusedWithReason)
{
    std::string reason;
    // A count that disagrees with the size.
    std::string wrongCount = binaryCube("solid but binary", 13);
    EXPECT_EQ(read(wrongCount, reason), nullptr);
    EXPECT_EQ(reason, "the binary STL header announces 13 triangles, which take 734 bytes, but "
                      "the file has 684 bytes");
    // One byte too many after the records.
    EXPECT_EQ(read(binaryCube("solid x") + "\n", reason), nullptr);
    EXPECT_NE(reason.find("announces 12 triangles, which take 684 bytes, but the file has 685"),
              std::string::npos)
        << reason;
    // Cut inside a facet.
    const std::string ascii = asciiCube();
    EXPECT_EQ(read(ascii.substr(0, ascii.find("vertex", ascii.size() / 2) + 10), reason), nullptr);
    EXPECT_NE(reason.find("ASCII STL"), std::string::npos) << reason;
    // A vertex without its numbers.
    std::string broken = ascii;
    broken.replace(broken.find("vertex 0.000000 1.000000"), 24, "vertex 0.000000 oops");
    EXPECT_EQ(read(broken, reason), nullptr);
    EXPECT_NE(reason.find("line 5 of the ASCII STL: a vertex without three numbers"),
              std::string::npos)
        << reason;
    // Missing "endsolid" after complete facets: the facets are kept.
    auto open = read(asciiCube(false), reason);
    ASSERT_NE(open, nullptr) << reason;
    expectCube(*open);
}

TEST(Stl, WriterRoundTrip)
{
    std::string reason;
    auto mesh = read(asciiCube(), reason);
    ASSERT_NE(mesh, nullptr);
    const std::string path = testing::TempDir() + "kelvane_cube.stl";
    testing::internal::CaptureStderr();
    ASSERT_TRUE(mesh->write(path.c_str()));
    testing::internal::GetCapturedStderr();
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 84u + 50u * 12u);
    EXPECT_NE(bytes.compare(0, 5, "solid"), 0);
    auto back = read(bytes, reason);
    ASSERT_NE(back, nullptr) << reason;
    expectCube(*back);
    // The stored normal of the first facet (bottom, facing -z).
    float n[3];
    std::memcpy(n, bytes.data() + 84, 12);
    EXPECT_EQ(n[2], -1.0f);
    std::remove(path.c_str());
}

TEST(Stl, SharedRealFiles)
{
    const std::string root = std::string(KELVANE_SHARED_DATA) + "/stl/";
    struct stat st;
    if (stat(root.c_str(), &st) != 0)
        GTEST_SKIP() << "../shared/data/stl is absent";
    // Facets and distinct positions as the collection's notes give them.
    const struct {
        const char* file;
        size_t faces, vertices;
    } files[] = {
        {"assimp/Spider_ascii.stl", 1368, 722},     {"assimp/Spider_binary.stl", 1368, 722},
        {"python-trimesh/angle_block.STL", 704, 398}, {"admesh/examples/block.stl", 12, 8},
        {"assimp/triangle_with_two_solids.stl", 2, 6}, {"numpy-stl/stl_ascii/Cube.stl", 12, 8},
        {"python-trimesh/20mm-xyz-cube.stl", 260, 132}, {"admesh/block/fill-holes-bad.stl", 11, 8},
    };
    for (const auto& f : files) {
        std::string reason;
        testing::internal::CaptureStderr();
        std::unique_ptr<TriMesh> m(TriMesh::read((root + f.file).c_str(), reason));
        testing::internal::GetCapturedStderr();
        ASSERT_NE(m, nullptr) << f.file << ": " << reason;
        EXPECT_EQ(m->faces.size(), f.faces) << f.file;
        EXPECT_EQ(m->vertices.size(), f.vertices) << f.file;
    }
    // Header "solid", one byte past its records: neither form.
    std::string reason;
    testing::internal::CaptureStderr();
    EXPECT_EQ(TriMesh::read((root + "numpy-stl/stl_binary/HalfDonut.stl").c_str(), reason), nullptr);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(reason, "the binary STL header announces 288 triangles, which take 14484 bytes, but "
                      "the file has 14485 bytes");
}

TEST(Obj, CompilerSpellingsOfNanAndInfinity)
{
    const std::string obj = "v 1.#IND 0 -1.#QNAN\nv 1.#INF00 -1.#INF 2\nv -1.#IND00 1 1\n"
                            "usemtl red\nf 1 2 3\n";
    std::string reason;
    testing::internal::CaptureStderr();
    std::unique_ptr<TriMesh> m(TriMesh::readFromMemory(obj.data(), obj.size(), "t.obj", reason));
    testing::internal::GetCapturedStderr();
    ASSERT_NE(m, nullptr) << reason;
    ASSERT_EQ(m->vertices.size(), 3u);
    EXPECT_TRUE(std::isnan(m->vertices[0][0]));
    EXPECT_EQ(m->vertices[0][1], 0.0f);
    EXPECT_TRUE(std::isnan(m->vertices[0][2]));
    EXPECT_EQ(m->vertices[1][0], INFINITY);
    EXPECT_EQ(m->vertices[1][1], -INFINITY);
    EXPECT_TRUE(std::isnan(m->vertices[2][0]));
    EXPECT_EQ(m->materialNames, std::vector<std::string>{"red"});
    EXPECT_EQ(m->faceMaterials, std::vector<int>{0});
}
