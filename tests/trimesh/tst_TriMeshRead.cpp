// TriMesh::read on small inputs built in the test: format recognition, every
// format's reader, polygon cutting, renumbering, range grids, strips, and the
// exact messages, including the refusals of broken and hostile input.

#include "TestUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* kPlyXyz = "property float x\nproperty float y\nproperty float z\n";

std::string plyHeader(const char* format, int vertices, const std::string& props,
                      const std::string& rest = "")
{
    return std::string("ply\nformat ") + format + " 1.0\nelement vertex " +
           std::to_string(vertices) + "\n" + props + rest + "end_header\n";
}

float floatFromBits(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

void expectVec(const vec& v, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(v[0], x);
    EXPECT_FLOAT_EQ(v[1], y);
    EXPECT_FLOAT_EQ(v[2], z);
}

} // namespace

// ---------------------------------------------------------------------------
// Recognising the format

TEST(FormatRecognition, EmptyInputCannotReadHeader)
{
    ReadResult r = readBytes("");
    EXPECT_EQ(r.mesh, nullptr);
    EXPECT_EQ(r.messages, "Reading test... Can't read header\n\nError reading file [test]\n");
}

TEST(FormatRecognition, UnknownFirstByte)
{
    ReadResult r = readBytes("xyz 1 2 3\n");
    EXPECT_EQ(r.mesh, nullptr);
    EXPECT_EQ(r.messages, "Reading test... Unknown file type\n\nError reading file [test]\n");
}

TEST(FormatRecognition, ShortHeadersOfPlyAndOff)
{
    EXPECT_EQ(readBytes("p").messages,
              "Reading test... Can't read header\n\nError reading file [test]\n");
    EXPECT_EQ(readBytes("OF").messages,
              "Reading test... Can't read header\n\nError reading file [test]\n");
    // Wrong letters fail without a message of their own.
    EXPECT_EQ(readBytes("pxy\n").messages, "Reading test... \nError reading file [test]\n");
    EXPECT_EQ(readBytes("OFX\n").messages, "Reading test... \nError reading file [test]\n");
    EXPECT_EQ(readBytes("MX").messages, "Reading test... \nError reading file [test]\n");
}

TEST(FormatRecognition, NullOrEmptyNameFailsSilently)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(TriMesh::read(nullptr), nullptr);
    EXPECT_EQ(TriMesh::read(""), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(FormatRecognition, MissingFileReportsFopen)
{
    ReadResult r = readFile("/nonexistent/kelvane/none.ply");
    EXPECT_EQ(r.mesh, nullptr);
    EXPECT_EQ(r.messages, "fopen: No such file or directory\n");
}

TEST(FormatRecognition, HashCommentFirstWordChoosesRayOrObj)
{
    // "# Vertex list" is an OBJ comment, not the ray-tracer "#vertex".
    ReadResult obj = readBytes("# Vertex list\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_NE(obj.mesh, nullptr);
    EXPECT_EQ(obj.mesh->faces.size(), 1u);
    // A bare "#" line must not swallow the vertex line after it.
    ReadResult bare = readBytes("#\nv 0 0 0\n");
    ASSERT_NE(bare.mesh, nullptr);
    EXPECT_EQ(bare.mesh->vertices.size(), 1u);
}

// ---------------------------------------------------------------------------
// PLY

TEST(Ply, AsciiPointSet)
{
    ReadResult r = readBytes(plyHeader("ascii", 3, kPlyXyz) + "0 0 0\n1 0 0\n0 1 0\n");
    ASSERT_NE(r.mesh, nullptr);
    EXPECT_EQ(r.mesh->vertices.size(), 3u);
    EXPECT_TRUE(r.mesh->faces.empty());
    expectVec(r.mesh->vertices[1], 1, 0, 0);
    EXPECT_EQ(r.messages, "Reading test... \n  Reading 3 vertices... Done.\n");
}

TEST(Ply, SameSolidInEveryEncoding)
{
    const float pos[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const int tri[4][3] = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
    const std::string rest = "element face 4\nproperty list uchar int vertex_indices\n";
    std::string ascii = plyHeader("ascii", 4, kPlyXyz, rest);
    std::string le = plyHeader("binary_little_endian", 4, kPlyXyz, rest);
    std::string be = plyHeader("binary_big_endian", 4, kPlyXyz, rest);
    for (auto& p : pos) {
        ascii +=
            std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]) + "\n";
        for (float c : p) {
            putFloat(le, c, false);
            putFloat(be, c, true);
        }
    }
    for (auto& t : tri) {
        ascii += "3 " + std::to_string(t[0]) + " " + std::to_string(t[1]) + " " +
                 std::to_string(t[2]) + "\n";
        le += '\3';
        be += '\3';
        for (int i : t) {
            putInt(le, i, false);
            putInt(be, i, true);
        }
    }
    for (const std::string* bytes : {&ascii, &le, &be}) {
        ReadResult r = readBytes(*bytes);
        ASSERT_NE(r.mesh, nullptr) << r.messages;
        ASSERT_EQ(r.mesh->vertices.size(), 4u);
        ASSERT_EQ(r.mesh->faces.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            expectVec(r.mesh->vertices[size_t(i)], pos[i][0], pos[i][1], pos[i][2]);
            EXPECT_EQ(r.mesh->faces[size_t(i)], Face(tri[i][0], tri[i][1], tri[i][2]));
        }
        EXPECT_EQ(r.messages,
                  "Reading test... \n  Reading 4 vertices... \n  Reading 4 faces... Done.\n");
    }
}

TEST(Ply, BogusEndiannessIsCompensatedBothWays)
{
    // The low byte 0x60 of x turns into a huge exponent when swapped.
    const float x = floatFromBits(0x3F800060u);
    for (bool declaredBig : {false, true}) {
        std::string bytes =
            plyHeader(declaredBig ? "binary_big_endian" : "binary_little_endian", 2, kPlyXyz);
        for (float c : {x, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f})
            putFloat(bytes, c, !declaredBig);
        ReadResult r = readBytes(bytes);
        ASSERT_NE(r.mesh, nullptr);
        expectVec(r.mesh->vertices[0], x, 2, 3);
        expectVec(r.mesh->vertices[1], 4, 5, 6);
        EXPECT_EQ(r.messages, "Reading test... Compensating for bogus endianness.\n\n  Reading 2 "
                              "vertices... Done.\n");
    }
}

TEST(Ply, AsciiNormalsAndColours)
{
    std::string props = std::string(kPlyXyz) +
                        "property float nx\nproperty float ny\nproperty float nz\n"
                        "property uchar red\nproperty uchar green\nproperty uchar blue\n";
    ReadResult r =
        readBytes(plyHeader("ascii", 2, props) + "0 0 0 0 0 1 10 20 300\n1 1 1 1 0 0 -5 0 255\n");
    ASSERT_NE(r.mesh, nullptr);
    ASSERT_EQ(r.mesh->normals.size(), 2u);
    ASSERT_EQ(r.mesh->colors.size(), 2u);
    expectVec(r.mesh->normals[0], 0, 0, 1);
    EXPECT_EQ(r.mesh->colors[0], Color(10, 20, 255)); // clamped
    EXPECT_EQ(r.mesh->colors[1], Color(0, 0, 255));
}

TEST(Ply, AsciiFirstPropertyNormalIsRead)
{
    std::string props =
        "property float nx\nproperty float ny\nproperty float nz\n" + std::string(kPlyXyz);
    ReadResult r = readBytes(plyHeader("ascii", 2, props) + "0 0 1 5 6 7\n1 0 0 8 9 10\n");
    ASSERT_NE(r.mesh, nullptr);
    ASSERT_EQ(r.mesh->normals.size(), 2u);
    expectVec(r.mesh->normals[1], 1, 0, 0);
    expectVec(r.mesh->vertices[1], 8, 9, 10);
}

TEST(Ply, BinaryColoursBeforeNormalsAreIgnored)
{
    std::string props = std::string(kPlyXyz) +
                        "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                        "property float nx\nproperty float ny\nproperty float nz\n";
    std::string bytes = plyHeader("binary_little_endian", 1, props);
    for (float c : {1.0f, 2.0f, 3.0f})
        putFloat(bytes, c);
    bytes += "\x0a\x14\x1e";
    for (float c : {0.0f, 1.0f, 0.0f})
        putFloat(bytes, c);
    ReadResult r = readBytes(bytes);
    ASSERT_NE(r.mesh, nullptr);
    ASSERT_EQ(r.mesh->normals.size(), 1u);
    expectVec(r.mesh->normals[0], 0, 1, 0);
    EXPECT_TRUE(r.mesh->colors.empty());
}

TEST(Ply, Float64PropertyShiftsTheNormal)
{
    std::string props =
        std::string(kPlyXyz) +
        "property float64 w\nproperty float nx\nproperty float ny\nproperty float nz\n";
    std::string bytes = plyHeader("binary_little_endian", 1, props);
    for (float c : {1.0f, 2.0f, 3.0f})
        putFloat(bytes, c);
    putDouble(bytes, 99.0);
    for (float c : {0.0f, 0.0f, -1.0f})
        putFloat(bytes, c);
    ReadResult r = readBytes(bytes);
    ASSERT_NE(r.mesh, nullptr);
    expectVec(r.mesh->normals[0], 0, 0, -1);
}

TEST(Ply, DoublePositionsAndNormalsAreConvertedInBothByteOrders)
{
    // Doubles before a colour and a confidence; the big-endian file is
    // swapped eight bytes at a time.
    const std::string props = "property double x\nproperty double y\nproperty double z\n"
                              "property float64 nx\nproperty float64 ny\nproperty float64 nz\n"
                              "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                              "property float confidence\n";
    for (bool big : {false, true}) {
        std::string bytes = plyHeader(big ? "binary_big_endian" : "binary_little_endian", 2, props);
        auto putD = [&](double v) {
            char b[8];
            std::memcpy(b, &v, 8);
            if (big)
                std::reverse(b, b + 8);
            bytes.append(b, 8);
        };
        for (int i = 0; i < 2; ++i) {
            for (double c : {0.1 + i, 2.0, i == 0 ? 3.0 : 1e300})
                putD(c);
            for (double c : {0.0, 0.0, -1.0})
                putD(c);
            bytes += "\x0a\x14\x1e";
            putFloat(bytes, 0.5f, big);
        }
        ReadResult r = readBytes(bytes);
        ASSERT_NE(r.mesh, nullptr) << r.messages;
        ASSERT_EQ(r.mesh->vertices.size(), 2u);
        EXPECT_EQ(r.mesh->vertices[1][0], 1.1f);
        EXPECT_EQ(r.mesh->vertices[0][1], 2.0f);
        EXPECT_TRUE(std::isinf(r.mesh->vertices[1][2])); // beyond float: infinity, as strtof gives
        expectVec(r.mesh->normals[1], 0, 0, -1);
        EXPECT_EQ(r.mesh->colors[1], Color(10, 20, 30));
        EXPECT_EQ(r.mesh->confidences[1], 0.5f);
        EXPECT_EQ(r.messages, "Reading test... \n  Reading 2 vertices... Done.\n");
    }
}

TEST(Ply, CommentsAnywhereInTheHeader)
{
    // Between the vertex properties and the faces, and inside an element.
    ReadResult r = readBytes(
        plyHeader("ascii", 3, kPlyXyz + std::string("comment here\n"),
                  "element face 1\nobj_info there\nproperty list uchar int vertex_indices\n") +
        "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
    ASSERT_NE(r.mesh, nullptr);
    EXPECT_EQ(r.mesh->vertices.size(), 3u);
    ASSERT_EQ(r.mesh->faces.size(), 1u);
    EXPECT_EQ(r.messages,
              "Reading test... \n  Reading 3 vertices... \n  Reading 1 faces... Done.\n");
}

TEST(Ply, ElementsInAnyOrderAreSkippedByTheirLayout)
{
    // Binary: a camera with a list before the vertices, edges between the
    // vertices and the faces, a material after them (never read).
    std::string bytes =
        "ply\nformat binary_big_endian 1.0\nelement camera 2\nproperty list uchar double k\n"
        "property short id\nelement vertex 3\n" +
        std::string(kPlyXyz) +
        "element edge 1\nproperty int a\nproperty int b\nelement face 1\n"
        "property list uchar int vertex_indices\nelement material 9\nproperty float shine\n"
        "end_header\n";
    bytes += '\2' + std::string(16, '\0') + std::string(2, '\0');
    bytes += '\0' + std::string(2, '\0');
    for (float c : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f})
        putFloat(bytes, c, true);
    putInt(bytes, 0, true);
    putInt(bytes, 1, true);
    bytes += '\3';
    for (int i : {0, 1, 2})
        putInt(bytes, i, true);
    ReadResult r = readBytes(bytes);
    ASSERT_NE(r.mesh, nullptr) << r.messages;
    expectVec(r.mesh->vertices[2], 0, 1, 0);
    ASSERT_EQ(r.mesh->faces.size(), 1u);
    EXPECT_EQ(r.mesh->faces[0], Face(0, 1, 2));
    // A skipped element that runs past the end is refused with its name.
    std::string reason;
    std::string shortBytes = bytes.substr(0, bytes.find("end_header\n") + 11) + '\2';
    testing::internal::CaptureStderr();
    std::unique_ptr<TriMesh> none(
        TriMesh::readFromMemory(shortBytes.data(), shortBytes.size(), "test", reason));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(reason, "the file ends inside the PLY element \"camera\" (it is truncated)");
}

TEST(Ply, CarriageReturnLineEnds)
{
    ReadResult r = readBytes("ply\r\nformat ascii 1.0\r\nelement vertex 1\r\nproperty float x\r\n"
                             "property float y\r\nproperty float z\r\nend_header\r\n1 2 3\r\n");
    ASSERT_NE(r.mesh, nullptr);
    expectVec(r.mesh->vertices[0], 1, 2, 3);
    // Bare carriage returns throughout the header (old Macintosh files).
    std::string bytes = "ply\rformat binary_little_endian 1.0\relement vertex 1\rproperty float x\r"
                        "property float y\rproperty float z\rend_header\r";
    for (float c : {4.0f, 5.0f, 6.0f})
        putFloat(bytes, c);
    ReadResult mac = readBytes(bytes);
    ASSERT_NE(mac.mesh, nullptr) << mac.messages;
    expectVec(mac.mesh->vertices[0], 4, 5, 6);
}

TEST(Ply, BinaryEndHeaderWithCarriageReturnWarns)
{
    std::string bytes = "ply\nformat binary_little_endian 1.0\nelement vertex 1\n" +
                        std::string(kPlyXyz) + "end_header\r\n";
    for (float c : {1.0f, 2.0f, 3.0f})
        putFloat(bytes, c);
    ReadResult r = readBytes(bytes);
    ASSERT_NE(r.mesh, nullptr);
    EXPECT_EQ(
        r.messages,
        "Reading test... Warning!  Possibly corrupt file\n"
        "     If things don't work, make sure this file was transferred in BINARY, not ASCII mode\n"
        "\n  Reading 1 vertices... Done.\n");
}

TEST(Ply, HeaderMessages)
{
    EXPECT_EQ(readBytes("ply\nformat binary 2.0\n").messages,
              "Reading test... Unknown ply format or version\n\nError reading file [test]\n");
    EXPECT_EQ(readBytes("ply\nformat ascii 1.0\nelement face 1\nend_header\n").messages,
              "Reading test... Expected \"element vertex\"\n\nError reading file [test]\n");
    EXPECT_EQ(readBytes(plyHeader("ascii", 1, "property list uchar int foo\n") + "0\n").messages,
              "Reading test... Unsupported vertex property: property list uchar int foo\n\n"
              "Error reading file [test]\n");
    EXPECT_EQ(
        readBytes(
            "ply\nformat ascii 1.0\nobj_info num_cols 2\nobj_info num_rows 3\nelement vertex 1\n" +
            std::string(kPlyXyz) + "element range_grid 5\n")
            .messages,
        "Reading test... Range grid size does not equal num_rows*num_cols\n\nError reading file "
        "[test]\n");
}

TEST(Ply, QuadAndExtraFaceListsInBinary)
{
    // A second list and a scalar after the index list are skipped.
    std::string bytes = plyHeader("binary_little_endian", 4, kPlyXyz,
                                  "element face 1\nproperty list uchar int vertex_indices\n"
                                  "property list uchar float texcoord\nproperty int flags\n");
    for (float c : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 1.f, 0.f, 0.f, 1.f, 0.f})
        putFloat(bytes, c);
    bytes += '\4';
    for (int i : {0, 1, 2, 3})
        putInt(bytes, i);
    bytes += '\2';
    putFloat(bytes, 0.5f);
    putFloat(bytes, 0.5f);
    putInt(bytes, 7);
    ReadResult r = readBytes(bytes);
    ASSERT_NE(r.mesh, nullptr) << r.messages;
    ASSERT_EQ(r.mesh->faces.size(), 2u);
    EXPECT_EQ(r.mesh->faces[0], Face(0, 1, 2));
    EXPECT_EQ(r.mesh->faces[1], Face(0, 2, 3));
    // A texcoord list without a pair per corner gives the corners none.
    EXPECT_TRUE(r.mesh->texCoords.empty());
    EXPECT_EQ(r.mesh->faceTexCoords, std::vector<int>(6, -1));
}

TEST(Ply, TextureCoordinatesPerCornerAndPerVertex)
{
    // Per corner, ASCII: the quad's triangles take the pairs of the corners
    // they came from; the image's name keeps its inner blank.
    const std::string corners =
        "ply\nformat ascii 1.0\ncomment TextureFile  my image.png \nelement vertex 4\n" +
        std::string(kPlyXyz) +
        "element face 2\nproperty list uchar int vertex_indices\n"
        "property list uchar double texcoord\nend_header\n"
        "0 0 0\n1 0 0\n1 1 0\n0 1 0\n"
        "4 3 0 1 2 8 0 1 0 0 1 0 1 1\n3 0 1 2 6 nan 0 0.5 0 inf 1\n";
    ReadResult a = readBytes(corners);
    ASSERT_NE(a.mesh, nullptr) << a.messages;
    EXPECT_EQ(a.mesh->textureFiles, std::vector<std::string>({"my image.png"}));
    ASSERT_EQ(a.mesh->faces.size(), 3u);
    ASSERT_EQ(a.mesh->faceTexCoords.size(), 9u);
    ASSERT_EQ(a.mesh->texCoords.size(), 14u);
    for (size_t f = 0; f < 2; ++f) {
        for (int k = 0; k < 3; ++k) {
            // Vertex i sits at (x, y) and was given u = x, v = y.
            const int t = a.mesh->faceTexCoords[3 * f + size_t(k)];
            const vec& p = a.mesh->vertices[size_t(a.mesh->faces[f][k])];
            ASSERT_GE(t, 0);
            EXPECT_EQ(a.mesh->texCoords[2 * size_t(t)], p[0]);
            EXPECT_EQ(a.mesh->texCoords[2 * size_t(t) + 1], p[1]);
        }
    }
    // Values that are not finite are read as they are (the scene drops them).
    EXPECT_TRUE(std::isnan(a.mesh->texCoords[size_t(2 * a.mesh->faceTexCoords[6])]));

    // Per vertex, binary big-endian doubles named s and t, after a colour.
    std::string bytes;
    for (const char* line : {"ply\n", "format binary_big_endian 1.0\n",
                             "comment TextureFile wall.jpg\n", "element vertex 3\n"})
        bytes += line;
    bytes += std::string(kPlyXyz) +
             "property uchar red\nproperty uchar green\nproperty uchar blue\n"
             "property double s\nproperty double t\n"
             "element face 1\nproperty list uchar int vertex_indices\nend_header\n";
    for (int i = 0; i < 3; ++i) {
        for (float c : {float(i), 0.0f, 0.0f})
            putFloat(bytes, c, true);
        bytes += "abc";
        for (double d : {0.25 * i, 1.0 - 0.5 * i}) {
            char b[8];
            std::memcpy(b, &d, 8);
            std::reverse(b, b + 8);
            bytes.append(b, 8);
        }
    }
    bytes += '\3';
    for (int i : {0, 1, 2})
        putInt(bytes, i, true);
    ReadResult b = readBytes(bytes);
    ASSERT_NE(b.mesh, nullptr) << b.messages;
    EXPECT_EQ(b.mesh->colors[2], Color('a', 'b', 'c'));
    EXPECT_TRUE(b.mesh->faceTexCoords.empty());
    EXPECT_EQ(b.mesh->texCoords, std::vector<float>({0.0f, 1.0f, 0.25f, 0.5f, 0.5f, 0.0f}));
    // The same file in ASCII, its values after the colour.
    const std::string ascii = "ply\nformat ascii 1.0\nelement vertex 2\n" + std::string(kPlyXyz) +
                              "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                              "property float texture_u\nproperty float texture_v\nend_header\n"
                              "0 0 0 1 2 3 0.5 0.75\n1 0 0 1 2 3 1 2\n";
    ReadResult c = readBytes(ascii);
    ASSERT_NE(c.mesh, nullptr) << c.messages;
    EXPECT_EQ(c.mesh->texCoords, std::vector<float>({0.5f, 0.75f, 1.0f, 2.0f}));

    // A texcoord count beyond the data is refused before any room is made.
    std::string hostile = plyHeader("binary_little_endian", 3, kPlyXyz,
                                    "element face 1\nproperty list uchar int vertex_indices\n"
                                    "property list uint float texcoord\n");
    for (int i = 0; i < 9; ++i)
        putFloat(hostile, float(i));
    hostile += '\3';
    for (int i : {0, 1, 2})
        putInt(hostile, i);
    putInt(hostile, 2000000000);
    ReadResult h = readBytes(hostile);
    EXPECT_EQ(h.mesh, nullptr);
    EXPECT_NE(h.messages.find("Polygon corner count 2000000000 is more than the file can hold"),
              std::string::npos)
        << h.messages;
}

TEST(Ply, BinaryRecordsWithEveryFieldAndMixedFacesInBothByteOrders)
{
    // Position, normal, colour and confidence in one record; a quad between
    // runs of triangles; the same values from either byte order.
    const std::string props = std::string(kPlyXyz) +
                              "property float nx\nproperty float ny\nproperty float nz\n"
                              "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                              "property float confidence\n";
    const std::string faces = "element face 4\nproperty list uchar int vertex_indices\n";
    for (bool big : {false, true}) {
        std::string bytes =
            plyHeader(big ? "binary_big_endian" : "binary_little_endian", 5, props, faces);
        for (int i = 0; i < 5; ++i) {
            for (float c : {float(i), float(i % 2), 0.5f, 0.f, 0.f, 1.f})
                putFloat(bytes, c, big);
            bytes += char(10 * i);
            bytes += char(20);
            bytes += char(30);
            putFloat(bytes, 0.25f * float(i), big);
        }
        for (auto f :
             std::vector<std::vector<int>>{{0, 1, 2}, {1, 3, 2}, {0, 1, 3, 4}, {2, 3, 4}}) {
            bytes += char(f.size());
            for (int i : f)
                putInt(bytes, i, big);
        }
        ReadResult r = readBytes(bytes);
        ASSERT_NE(r.mesh, nullptr) << r.messages;
        ASSERT_EQ(r.mesh->vertices.size(), 5u);
        ASSERT_EQ(r.mesh->normals.size(), 5u);
        ASSERT_EQ(r.mesh->colors.size(), 5u);
        ASSERT_EQ(r.mesh->confidences.size(), 5u);
        expectVec(r.mesh->vertices[3], 3, 1, 0.5f);
        expectVec(r.mesh->normals[4], 0, 0, 1);
        EXPECT_EQ(r.mesh->colors[4], Color(40, 20, 30));
        EXPECT_EQ(r.mesh->confidences[2], 0.5f);
        ASSERT_EQ(r.mesh->faces.size(), 5u);
        EXPECT_EQ(r.mesh->faces[0], Face(0, 1, 2));
        EXPECT_EQ(r.mesh->faces[1], Face(1, 3, 2));
        EXPECT_EQ(r.mesh->faces[4], Face(2, 3, 4));

        // Cut inside the last triangle: refused, nothing read past the end.
        ReadResult cut = readBytes(bytes.substr(0, bytes.size() - 5));
        EXPECT_EQ(cut.mesh, nullptr);
    }
}

TEST(Ply, TriangleStripsBecomeLengthPrefixed)
{
    ReadResult r =
        readBytes(plyHeader("ascii", 7, kPlyXyz,
                            "element tristrips 1\nproperty list int int vertex_indices\n") +
                  "0 0 0\n1 0 0\n0 1 0\n1 1 0\n2 0 0\n2 1 0\n3 0 0\n9 0 1 2 -1 3 4 5 6 -1\n");
    ASSERT_NE(r.mesh, nullptr);
    EXPECT_EQ(r.mesh->strips, (std::vector<int>{3, 0, 1, 2, 4, 3, 4, 5, 6}));
    EXPECT_EQ(r.messages,
              "Reading test... \n  Reading 7 vertices... \n  Reading triangle strips... Done.\n");
}

namespace {
std::string gridPly(const char* v3, const char* cell3)
{
    return "ply\nformat ascii 1.0\nobj_info num_cols 2\nobj_info num_rows 2\nelement vertex 4\n" +
           std::string(kPlyXyz) +
           "element range_grid 4\nproperty list uchar int vertex_indices\nend_header\n" +
           "0 0 1\n1 0 1\n0 1 1\n" + v3 + "\n1 0\n1 1\n1 2\n" + cell3 + "\n";
}
} // namespace

TEST(Ply, RangeGridTriangulation)
{
    // ll-ur is the longer diagonal, so the split runs along ul-lr.
    ReadResult four = readBytes(gridPly("2 2 1", "1 3"));
    ASSERT_NE(four.mesh, nullptr) << four.messages;
    ASSERT_EQ(four.mesh->faces.size(), 2u);
    EXPECT_EQ(four.mesh->faces[0], Face(0, 1, 2));
    EXPECT_EQ(four.mesh->faces[1], Face(1, 3, 2));
    EXPECT_EQ(
        four.messages,
        "Reading test... \n  Reading 4 vertices... \n  Reading range grid... Triangulating... "
        "2 faces.\n  Removing faces... None removed.\n  Done.\n");

    ReadResult three = readBytes(gridPly("2 2 1", "0"));
    ASSERT_NE(three.mesh, nullptr);
    ASSERT_EQ(three.mesh->faces.size(), 1u);
    EXPECT_EQ(three.mesh->faces[0], Face(0, 1, 2));

    // A cell whose vertex sits at the origin is a hole.
    ReadResult origin = readBytes(gridPly("0 0 0", "1 3"));
    ASSERT_NE(origin.mesh, nullptr);
    ASSERT_EQ(origin.mesh->faces.size(), 1u);
}

TEST(Ply, RangeGridIndexOutOfRangeFails)
{
    ReadResult r = readBytes(gridPly("2 2 1", "1 9"));
    EXPECT_EQ(r.mesh, nullptr);
    EXPECT_EQ(r.messages,
              "Reading test... \n  Reading 4 vertices... \n  Reading range grid... "
              "Range grid index 9 is out of range (4 vertices)\n\nError reading file [test]\n");
}

// ---------------------------------------------------------------------------
// Hostile counts and indices

TEST(Hostile, VertexCountBeyondTheData)
{
    std::string bytes = plyHeader("binary_little_endian", 1000000000, kPlyXyz);
    for (float c : {1.0f, 2.0f, 3.0f})
        putFloat(bytes, c);
    ReadResult r = readBytes(bytes);
    EXPECT_EQ(r.mesh, nullptr);
    EXPECT_EQ(r.messages,
              "Reading test... Vertex count 1000000000 is more than the file can hold\n\n"
              "Error reading file [test]\n");
    EXPECT_EQ(readBytes(plyHeader("ascii", -4, kPlyXyz)).messages,
              "Reading test... Vertex count -4 is negative\n\nError reading file [test]\n");
}

TEST(Hostile, FaceCountAndPolygonSizeBeyondTheData)
{
    std::string bytes =
        plyHeader("binary_little_endian", 1, kPlyXyz,
                  "element face 2000000000\nproperty list uchar int vertex_indices\n");
    for (float c : {1.0f, 2.0f, 3.0f})
        putFloat(bytes, c);
    bytes += '\3';
    EXPECT_EQ(readBytes(bytes).messages,
              "Reading test... \n  Reading 1 vertices... Face count 2000000000 is more "
              "than the file can hold\n\nError reading file [test]\n");

    std::string poly = plyHeader("binary_little_endian", 1, kPlyXyz,
                                 "element face 1\nproperty list uint int vertex_indices\n");
    for (float c : {1.0f, 2.0f, 3.0f})
        putFloat(poly, c);
    putInt(poly, 100000);
    putInt(poly, 0);
    EXPECT_EQ(readBytes(poly).messages, "Reading test... \n  Reading 1 vertices... \n  Reading 1 "
                                        "faces... Polygon corner count 100000 is more "
                                        "than the file can hold\n\nError reading file [test]\n");
}

TEST(Hostile, TruncatedBinaryFaces)
{
    std::string bytes = plyHeader("binary_little_endian", 3, kPlyXyz,
                                  "element face 2\nproperty list uchar int vertex_indices\n");
    for (int i = 0; i < 9; ++i)
        putFloat(bytes, float(i));
    bytes += '\3';
    for (int i : {0, 1, 2})
        putInt(bytes, i);
    bytes += '\3';
    putInt(bytes, 0);
    ReadResult r = readBytes(bytes);
    EXPECT_EQ(r.mesh, nullptr);
    EXPECT_EQ(
        r.messages,
        "Reading test... \n  Reading 3 vertices... \n  Reading 2 faces... "
        "Polygon corner count 3 is more than the file can hold\n\nError reading file [test]\n");
}

TEST(Hostile, FaceIndexOutsideTheVertexList)
{
    ReadResult r = readBytes("OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 7\n");
    EXPECT_EQ(r.mesh, nullptr);
    EXPECT_EQ(
        r.messages,
        "Reading test... \n  Reading 3 vertices... \n  Reading 1 faces... "
        "Vertex index 7 in face 0 is out of range (3 vertices)\n\nError reading file [test]\n");
}

TEST(Hostile, StripIndexOutsideTheVertexList)
{
    ReadResult r =
        readBytes(plyHeader("ascii", 3, kPlyXyz,
                            "element tristrips 1\nproperty list int int vertex_indices\n") +
                  "0 0 0\n1 0 0\n0 1 0\n4 0 1 5 -1\n");
    EXPECT_EQ(r.mesh, nullptr);
    EXPECT_NE(r.messages.find("Vertex index 5 in triangle strips is out of range (3 vertices)\n"),
              std::string::npos);
}

// ---------------------------------------------------------------------------
// OFF

TEST(Off, OneBasedFacesAreRenumbered)
{
    ReadResult r = readBytes(
        "OFF\n# counts next\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 1 2 3\n3 1 3 4 # tail\n");
    ASSERT_NE(r.mesh, nullptr);
    EXPECT_EQ(r.mesh->faces[0], Face(0, 1, 2));
    EXPECT_EQ(r.mesh->faces[1], Face(0, 2, 3));
    EXPECT_EQ(r.messages, "Reading test... \n  Reading 4 vertices... \n  Reading 2 faces... Done.\n"
                          "Found indices ranging from 1 through 4\nRemapping to 0 through 3\n");
}

TEST(Off, BlanksBeforeOffAndCountsOnItsLineAndNoFinalLineBreak)
{
    ReadResult r = readBytes(" \t\nOFF3 1 0 # counts\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2");
    ASSERT_NE(r.mesh, nullptr) << r.messages;
    ASSERT_EQ(r.mesh->faces.size(), 1u);
    EXPECT_EQ(r.mesh->faces[0], Face(0, 1, 2));
    EXPECT_EQ(r.messages,
              "Reading test... \n  Reading 3 vertices... \n  Reading 1 faces... Done.\n");
    // A face missing before the end is still refused.
    EXPECT_EQ(readBytes("OFF\n3 2 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2").mesh, nullptr);
}

TEST(Off, FaceLineExtrasAreDropped)
{
    ReadResult r = readBytes("OFF 3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2 255 0 0 1\n");
    ASSERT_NE(r.mesh, nullptr);
    EXPECT_EQ(r.mesh->faces.size(), 1u);
}

// ---------------------------------------------------------------------------
// OBJ

TEST(Obj, SquareSplitsThroughCornerZeroOnATie)
{
    ReadResult r = readBytes("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n");
    ASSERT_NE(r.mesh, nullptr);
    ASSERT_EQ(r.mesh->faces.size(), 2u);
    EXPECT_EQ(r.mesh->faces[0], Face(0, 1, 2));
    EXPECT_EQ(r.mesh->faces[1], Face(0, 2, 3));
    EXPECT_EQ(r.messages, "Reading test... Done.\n");
}

TEST(Obj, QuadSplitsThroughItsWidestCorner)
{
    // Corner 1 is nearly straight: the diagonal runs from it.
    ReadResult r = readBytes("v 0 0 0\nv 1 0.1 0\nv 2 0 0\nv 1 1 0\nf 1 2 3 4\n");
    ASSERT_NE(r.mesh, nullptr);
    ASSERT_EQ(r.mesh->faces.size(), 2u);
    EXPECT_EQ(r.mesh->faces[0], Face(1, 2, 3));
    EXPECT_EQ(r.mesh->faces[1], Face(1, 3, 0));
}

TEST(Obj, NegativeIndicesAndSlashesAndFans)
{
    ReadResult neg = readBytes("v 0 0 0\nv 1 0 0\nv 0 1 0\nf -3/1/1 -2/2/2 -1/3/3\n");
    ASSERT_NE(neg.mesh, nullptr);
    EXPECT_EQ(neg.mesh->faces[0], Face(0, 1, 2));

    ReadResult fan = readBytes("v 0 0 0\nv 1 0 0\nv 2 1 0\nv 1 2 0\nv 0 1 0\nf 1 2 3 4 5\n");
    ASSERT_NE(fan.mesh, nullptr);
    ASSERT_EQ(fan.mesh->faces.size(), 3u);
    EXPECT_EQ(fan.mesh->faces[0], Face(0, 1, 2));
    EXPECT_EQ(fan.mesh->faces[1], Face(0, 2, 3));
    EXPECT_EQ(fan.mesh->faces[2], Face(0, 3, 4));
}

TEST(Obj, NumbersConvertAsTheCLibraryDoes)
{
    ReadResult r = readBytes("v +1e+2 .5 -3.1+e2\nv 0x1p3 1e-50 1e50\n");
    ASSERT_NE(r.mesh, nullptr);
    expectVec(r.mesh->vertices[0], 100.0f, 0.5f, -3.1f);
    EXPECT_EQ(r.mesh->vertices[1][0], 8.0f);
    EXPECT_EQ(r.mesh->vertices[1][1], std::strtof("1e-50", nullptr));
    EXPECT_EQ(r.mesh->vertices[1][2], std::strtof("1e50", nullptr));
    EXPECT_EQ(readBytes("v 1 2\n").mesh, nullptr);
}

TEST(Obj, AnyStatementMayComeFirst)
{
    const char* const firsts[] = {"mtllib a.mtl", "usemtl red", "vt 0 0", "vn 0 0 1",
                                  "vp 0.5",       "l 1 2",      "p 1",    "g side",
                                  "o box",        "s 1",        "f",      "\n\n  \t# after blanks",
                                  "  v 5 5 5"};
    for (const char* first : firsts) {
        SCOPED_TRACE(first);
        ReadResult r = readBytes(std::string(first) + "\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
        ASSERT_NE(r.mesh, nullptr) << r.messages;
        ASSERT_EQ(r.mesh->faces.size(), 1u);
        EXPECT_EQ(r.messages, "Reading test... Done.\n");
    }
    // Words that are no OBJ statement stay unknown.
    EXPECT_EQ(readBytes("mesh 1 2 3\n").messages,
              "Reading test... Unknown file type\n\nError reading file [test]\n");
    EXPECT_EQ(readBytes("  xyz\n").messages,
              "Reading test... Unknown file type\n\nError reading file [test]\n");
}

TEST(Obj, LongLinesAreReadWhole)
{
    // A polygon of 400 corners on a line of about 2000 characters, then a
    // vertex line padded past 1024 characters.
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "v " + std::to_string(i) + " " + std::to_string(i * i) + " 0\n";
    text += "f";
    for (int i = 400; i >= 1; --i)
        text += " " + std::to_string(i);
    text += "\nv" + std::string(1100, ' ') + "7 8 9\n";
    ReadResult r = readBytes(text);
    ASSERT_NE(r.mesh, nullptr);
    ASSERT_EQ(r.mesh->faces.size(), 398u);
    EXPECT_EQ(r.mesh->faces.back(), Face(399, 1, 0));
    ASSERT_EQ(r.mesh->vertices.size(), 401u);
    expectVec(r.mesh->vertices[400], 7, 8, 9);
}

TEST(Obj, NanAndInfinityAreReadAndLeaveBoundsAndNormalsFinite)
{
    ReadResult r = readBytes("v 0 0 0\nv 1 0 0\nv 0 1 0\nv nan 0 0\nv -inf INFINITY NaN(7)\n"
                             "f 1 2 3\nf 1 2 4\nf 1 3 5");
    ASSERT_NE(r.mesh, nullptr);
    EXPECT_TRUE(std::isnan(r.mesh->vertices[3][0]));
    EXPECT_EQ(r.mesh->vertices[4][0], -std::numeric_limits<float>::infinity());
    EXPECT_EQ(r.mesh->vertices[4][1], std::numeric_limits<float>::infinity());
    TriMesh& m = *r.mesh;
    testing::internal::CaptureStderr();
    m.computeBoundingSphere();
    m.computeNormals();
    testing::internal::GetCapturedStderr();
    EXPECT_NEAR(m.sphereRadius, std::sqrt(0.5f), 1e-6f);
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(std::isfinite(m.sphereCenter[k]));
    for (const vec& n : m.normals) {
        for (int k = 0; k < 3; ++k)
            EXPECT_TRUE(std::isfinite(n[k]));
    }
}

TEST(Obj, RelativeIndexBeforeAnyVertexFails)
{
    ReadResult r = readBytes("f -4 -3 -2");
    EXPECT_EQ(r.mesh, nullptr);
    EXPECT_EQ(r.messages,
              "Reading test... Vertex index -4 in face 0 is out of range (0 vertices)\n\n"
              "Error reading file [test]\n");
}

// ---------------------------------------------------------------------------
// Ray-tracer form, SM, 3DS

TEST(Ray, FormWrittenByTheToolkitReadsBack)
{
    ReadResult r =
        readBytes("#camera 0 0 1 0 0 -1 0 1 0 0.2\n#background 0 0 0\n#ambient 0 0 0\n"
                  "#material_num 1\n#material 0 0 0  1 1 1  0 0 0  0 0 0  0 0 1  -1  !!\n"
                  "#vertex_num 3\n#vertex 0 0 0  0 0 1  0 0\n#vertex 1 0 0  0 0 1  0 0\n"
                  "#vertex 0 1 0  0 0 1  0 0\n#shape_triangle 0  0 1 2\n");
    ASSERT_NE(r.mesh, nullptr) << r.messages;
    EXPECT_EQ(r.mesh->vertices.size(), 3u);
    ASSERT_EQ(r.mesh->faces.size(), 1u);
    EXPECT_EQ(r.mesh->faces[0], Face(0, 1, 2));
    EXPECT_EQ(r.messages, "Reading test... Done.\n");
    EXPECT_EQ(readBytes("#vertex 1 2\n").mesh, nullptr);
}

TEST(Sm, WithAndWithoutFaces)
{
    ReadResult r = readBytes("3\n0 0 0\n1 0 0\n0 1 0\n1\n0 1 2\n0 0\n");
    ASSERT_NE(r.mesh, nullptr);
    EXPECT_EQ(r.mesh->faces.size(), 1u);
    EXPECT_EQ(r.messages,
              "Reading test... \n  Reading 3 vertices... \n  Reading 1 faces... Done.\n");
    ReadResult points = readBytes("2\n0 0 0\n1 0 0\n");
    ASSERT_NE(points.mesh, nullptr);
    EXPECT_TRUE(points.mesh->faces.empty());
}

namespace {
void putChunk(std::string& out, uint16_t id, uint32_t length)
{
    out += char(id & 0xff);
    out += char(id >> 8);
    putInt(out, int32_t(length));
}
void put16(std::string& out, uint16_t v)
{
    out += char(v & 0xff);
    out += char(v >> 8);
}
// One object with a triangle; the main chunk's length is the file size.
std::string tiny3ds(int objects)
{
    std::string obj;
    for (int o = 0; o < objects; ++o) {
        std::string body;
        putChunk(body, 0x4110, 6 + 2 + 36);
        put16(body, 3);
        for (float c : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f})
            putFloat(body, c + float(o));
        putChunk(body, 0x4120, 6 + 2 + 8);
        put16(body, 1);
        for (uint16_t v : {0, 1, 2, 0})
            put16(body, v);
        std::string mesh;
        putChunk(mesh, 0x4100, uint32_t(6 + body.size()));
        mesh += body;
        putChunk(obj, 0x4000, uint32_t(6 + 2 + mesh.size()));
        obj += std::string("a\0", 2) + mesh;
    }
    std::string editor;
    putChunk(editor, 0x3D3D, uint32_t(6 + obj.size()));
    std::string file;
    putChunk(file, 0x4D4D, uint32_t(6 + editor.size() + obj.size()));
    return file + editor + obj;
}
} // namespace

TEST(ThreeDs, ChunksEndingAtTheEndOfTheFileRead)
{
    ReadResult r = readBytes(tiny3ds(2));
    ASSERT_NE(r.mesh, nullptr) << r.messages;
    EXPECT_EQ(r.mesh->vertices.size(), 6u);
    ASSERT_EQ(r.mesh->faces.size(), 2u);
    EXPECT_EQ(r.mesh->faces[1], Face(3, 4, 5)); // offset by the first object's vertices
    expectVec(r.mesh->vertices[4], 2, 1, 1);
    EXPECT_EQ(r.messages, "Reading test... \n  Reading 3 vertices... \n  Reading 1 faces... "
                          "\n  Reading 3 vertices... \n  Reading 1 faces... Done.\n");
}

TEST(ThreeDs, TrailingBytesAndBadChunksFail)
{
    EXPECT_EQ(readBytes(tiny3ds(1) + "xyz").mesh, nullptr);
    std::string bad = tiny3ds(1);
    putChunk(bad, 0x1234, 2);
    ReadResult r = readBytes(bad);
    EXPECT_EQ(r.mesh, nullptr);
    EXPECT_NE(r.messages.find("Bad 3DS chunk length 2\n"), std::string::npos);
    std::string skipPastEnd = tiny3ds(1);
    putChunk(skipPastEnd, 0x1234, 1000);
    EXPECT_EQ(readBytes(skipPastEnd).mesh, nullptr);
}

// ---------------------------------------------------------------------------
// Fixture files and median edge length

TEST(Fixtures, HandMadeFiles)
{
    const std::string dir = KELVANE_TEST_DATA;
    ReadResult trunc = readFile(dir + "/ply/truncated_body.ply");
    EXPECT_EQ(trunc.mesh, nullptr);
    ReadResult big = readFile(dir + "/ply/huge_vertex_count.ply");
    EXPECT_EQ(big.mesh, nullptr);
    EXPECT_NE(big.messages.find("Vertex count 2147483647 is more than the file can hold\n"),
              std::string::npos);
    ReadResult off = readFile(dir + "/off/one_based.off");
    ASSERT_NE(off.mesh, nullptr);
    EXPECT_EQ(off.mesh->faces.size(), 2u);
    ReadResult obj = readFile(dir + "/obj/zero_index.obj");
    EXPECT_EQ(obj.mesh, nullptr);
    EXPECT_NE(obj.messages.find("Vertex index -1 in face 0 is out of range (5 vertices)\n"),
              std::string::npos);
}

// Newly accepted forms, each in a small file of its own.
TEST(Fixtures, FormsOtherProgramsWrite)
{
    struct Case {
        const char* file;
        size_t vertices, faces;
    };
    const Case cases[] = {
        {"obj/mtllib_first.obj", 4, 2},
        {"obj/blank_start_lines.obj", 3, 1},
        {"obj/long_polygon.obj", 300, 298},
        {"obj/nan_vertex.obj", 5, 3},
        {"obj/points_only.obj", 3, 0},
        {"obj/zero_area.obj", 3, 1},
        {"off/counts_on_off_line.off", 3, 1},
        {"off/no_final_newline.off", 4, 2},
        {"off/coff_colours.off", 4, 2},
        {"ply/camera_first.ply", 3, 1},
        {"ply/camera_first_binary.ply", 3, 1},
        {"ply/face_first_double.ply", 4, 3},
        {"ply/face_first_double_ascii.ply", 4, 3},
        {"ply/any_case_and_comments.ply", 3, 1},
    };
    const std::string dir = KELVANE_TEST_DATA;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string reason = "not cleared";
        testing::internal::CaptureStderr();
        std::unique_ptr<TriMesh> mesh(TriMesh::read((dir + "/" + c.file).c_str(), reason));
        std::string messages = testing::internal::GetCapturedStderr();
        ASSERT_NE(mesh, nullptr) << messages;
        EXPECT_EQ(reason, "");
        EXPECT_EQ(mesh->vertices.size(), c.vertices);
        EXPECT_EQ(mesh->faces.size(), c.faces);
    }
    // Faces before the vertices are cut once the positions are known: the
    // quad splits through its widest corner, 1, in both encodings.
    for (const char* file : {"/ply/face_first_double.ply", "/ply/face_first_double_ascii.ply"}) {
        ReadResult r = readFile(dir + file);
        ASSERT_NE(r.mesh, nullptr);
        EXPECT_EQ(r.mesh->faces[0], Face(1, 2, 3));
        EXPECT_EQ(r.mesh->faces[1], Face(1, 3, 0));
        EXPECT_EQ(r.mesh->faces[2], Face(0, 1, 3));
        expectVec(r.mesh->vertices[1], 1, 0.1f, 0);
    }
}

// Each kind of damage gives its own reason, while the standard-error
// messages stay as they were.
TEST(Fixtures, RefusalReasons)
{
    struct Case {
        const char* file;
        const char* reason;
    };
    const Case cases[] = {
        {"obj/utf16.obj",
         "the file is UTF-16 encoded text; save it as UTF-8 or ASCII text to read it"},
        {"obj/bad_vertex.obj", "line 3 has a vertex without three numbers"},
        {"obj/zero_index.obj", "face 0 uses vertex -1, the file has 5 vertices"},
        {"off/truncated_faces.off", "the file ends at face 2 of 3 (it is truncated)"},
        {"off/bad_face_word.off", "face 2 of 2 (line 7) has \"x\" where a number should be"},
        {"ply/face_index_out_of_range.ply", "face 0 uses vertex 90, the file has 3 vertices"},
        {"ply/no_end_header.ply", "the PLY header has no end_header line"},
        {"ply/truncated_camera.ply",
         "the file ends inside the PLY element \"camera\" (it is truncated)"},
        {"ply/truncated_body.ply",
         "the polygon corner count 3 is more than the rest of the file can hold (the "
         "file is truncated or damaged)"},
        {"ply/huge_vertex_count.ply",
         "the vertex count 2147483647 is more than the rest of the file can hold "
         "(the file is truncated or damaged)"},
        {"off/missing.off", "the file cannot be read (No such file or directory)"},
    };
    const std::string dir = KELVANE_TEST_DATA;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dir + "/" + c.file;
        std::string reason;
        testing::internal::CaptureStderr();
        std::unique_ptr<TriMesh> mesh(TriMesh::read(path.c_str(), reason));
        std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_EQ(mesh, nullptr);
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(messages.find(c.reason), std::string::npos);
    }
    // In-memory reads give reasons too; header-level refusals in words.
    std::string reason;
    testing::internal::CaptureStderr();
    EXPECT_EQ(TriMesh::readFromMemory("", 0, "test", reason), nullptr);
    EXPECT_EQ(reason, "the file is empty");
    EXPECT_EQ(TriMesh::readFromMemory("ply\nformat ascii 2.0\n", 19, "test", reason), nullptr);
    EXPECT_EQ(reason, "the PLY header names no known format (ascii, binary_little_endian or "
                      "binary_big_endian 1.0)");
    EXPECT_EQ(TriMesh::readFromMemory("# only a comment\n", 17, "test", reason), nullptr);
    EXPECT_EQ(reason, "the file holds no vertices and no faces");
    EXPECT_EQ(TriMesh::readFromMemory("pxy\n", 4, "test", reason), nullptr);
    EXPECT_EQ(reason, "the file is not a triangle mesh Kelvane can read (PLY, OFF, OBJ, STL, "
                      "ray-tracer, SM or 3DS), or it is damaged");
    std::unique_ptr<TriMesh> ok(TriMesh::readFromMemory("v 0 0 0\n", 8, "test", reason));
    testing::internal::GetCapturedStderr();
    EXPECT_NE(ok, nullptr);
    EXPECT_EQ(reason, "");
}

TEST(MedianEdgeLength, SmallMeshes)
{
    TriMesh m;
    m.vertices = {vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0)};
    m.faces = {Face(0, 1, 2)};
    EXPECT_EQ(m.medianEdgeLength(), 0.0f);
    // Two congruent right triangles: squared edges {1, 1, 2}, median 1.
    m.faces.push_back(Face(3, 2, 1));
    EXPECT_FLOAT_EQ(m.medianEdgeLength(), 1.0f);
}

TEST(TriMeshRecord, NewMeshIsEmpty)
{
    TriMesh m;
    EXPECT_TRUE(m.vertices.empty() && m.faces.empty() && m.strips.empty() && m.normals.empty());
    EXPECT_EQ(m.flagCurrent, 0u);
    EXPECT_EQ(m.sphereRadius, 0.0f);
    EXPECT_FALSE(m.sphereValid);
    expectVec(m.sphereCenter, 0, 0, 0);
}

// Only regular files are read, and only what the file stores: a folder, a
// device that never ends, a named pipe that would wait for a writer and a
// sparse file claiming gigabytes are each refused with the reason, at once.
TEST(FormatRecognition, SpecialAndSparseFilesAreRefused)
{
    char folder[] = "/tmp/kelvane-special-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string base = folder;
    const std::string dir = base + "/dir.off", zero = base + "/zero.off",
                      fifo = base + "/fifo.off", sparse = base + "/sparse.ply";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    {
        std::FILE* f = std::fopen(sparse.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string header = plyHeader("binary_little_endian", 800000000, kPlyXyz);
        std::fwrite(header.data(), 1, header.size(), f);
        std::fclose(f);
        ASSERT_EQ(truncate(sparse.c_str(), 10LL << 30), 0);
    }
    const std::pair<std::string, std::string> cases[] = {
        {dir, "it is a folder, not a file"},
        {zero, "it is a device, not a file"},
        {fifo, "it is a named pipe (FIFO), not a file"},
        {sparse, "the file is sparse: it claims 10737 MB but stores 0 MB (the rest are holes)"},
    };
    for (const auto& c : cases) {
        std::string reason;
        testing::internal::CaptureStderr();
        std::unique_ptr<TriMesh> mesh(TriMesh::read(c.first.c_str(), reason));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(mesh, nullptr) << c.first;
        EXPECT_EQ(reason, c.second);
        EXPECT_EQ(said, "Cannot read " + c.first + ": " + c.second + "\n");
    }
    for (const std::string& f : {dir, zero, fifo, sparse})
        std::remove(f.c_str());
    std::remove(base.c_str());
}
