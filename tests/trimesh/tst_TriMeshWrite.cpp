// Writing meshes: number formatting against printf, the exact text of every
// form on a small mesh, the choice of form by prefix and extension, standard
// output, strips, a mesh left unchanged, failures, and round trips through
// the reader on real meshes.

#include "MeshUtil.h"
#include "TestUtil.h"

#include "trimesh/MeshOutput.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A fresh directory per test, removed with its files afterwards.
class WriteTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = testing::TempDir() + "kelvane_write_XXXXXX";
        ASSERT_NE(mkdtemp(&tmpl[0]), nullptr);
        dir_ = tmpl;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir("/"), 0);
        std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string write(TriMesh& m, const std::string& name)
    {
        return stderrOf([&] { m.write(name.c_str()); });
    }
    std::string dir_;
};

// Two triangles with colours and confidences, numbers chosen to need
// rounding, exponents and negative zero.
TriMesh small()
{
    TriMesh m = makeMesh(
        {vec(0.1f, -2.5f, 1e-9f), vec(123456789.0f, 0.0f, -0.0f), vec(1.0f / 3.0f, 2.0f, 3.0f)},
        {{0, 1, 2}, {2, 1, 0}});
    m.colors = {Color(255, 0, 7), Color(1, 2, 3), Color(10, 20, 30)};
    m.confidences = {0.5f, 1.25f, 2.0f};
    return m;
}

const char* const kSmallVerts[] = {"0.1 -2.5 1e-09", "1.234568e+08 0 -0", "0.3333333 2 3"};

void expectSameMesh(const TriMesh& a, const TriMesh& b)
{
    ASSERT_EQ(a.vertices.size(), b.vertices.size());
    EXPECT_EQ(0,
              std::memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(vec)));
    EXPECT_EQ(a.faces, b.faces);
    EXPECT_EQ(a.strips, b.strips);
    EXPECT_EQ(a.colors, b.colors);
    EXPECT_EQ(a.confidences, b.confidences);
}

std::string g7(float x)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.7g", double(x));
    return b;
}

} // namespace

// ---- Numbers ---------------------------------------------------------------

TEST(WriteNumbers, MatchPrintfByteForByte)
{
    std::vector<float> values = {0.0f,
                                 -0.0f,
                                 1.0f,
                                 -1.0f,
                                 0.1f,
                                 1e-45f,
                                 -1.17549435e-38f,
                                 3.4028235e38f,
                                 9999999.0f,
                                 99999995.0f,
                                 1e7f,
                                 1e-5f,
                                 0.0001f,
                                 123456.7f,
                                 1234567.0f,
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::nanf(""),
                                 -std::nanf("")};
    std::mt19937 rng(12345);
    for (int i = 0; i < 200000; ++i) {
        uint32_t bits = rng();
        float f;
        std::memcpy(&f, &bits, 4);
        values.push_back(f);
        values.push_back(float(int(rng() % 2000001) - 1000000) / 1000.0f);
    }
    size_t bad = 0;
    for (float f : values) {
        char ours[32];
        *formatFloat7g(ours, f) = '\0';
        if (g7(f) != ours && ++bad < 10)
            ADD_FAILURE() << g7(f) << " vs " << ours;
    }
    EXPECT_EQ(bad, 0u);
    for (int i : {0, -1, 7, 2147483647, -2147483647 - 1}) {
        char ours[16], ref[16];
        *formatInt(ours, i) = '\0';
        std::snprintf(ref, sizeof ref, "%d", i);
        EXPECT_STREQ(ours, ref);
    }
}

// ---- Every form on a small mesh ---------------------------------------------

TEST_F(WriteTest, AsciiPlyText)
{
    TriMesh m = small();
    EXPECT_EQ(write(m, "ascii:a.ply"), "Writing a.ply... Done.\n");
    EXPECT_EQ(slurp("a.ply"),
              std::string("ply\nformat ascii 1.0\nelement vertex 3\n"
                          "property float x\nproperty float y\nproperty float z\n"
                          "property uchar diffuse_red\nproperty uchar diffuse_green\n"
                          "property uchar diffuse_blue\nproperty float confidence\n"
                          "element face 2\nproperty list uchar int vertex_indices\nend_header\n") +
                  kSmallVerts[0] + " 255 0 7 0.5\n" + kSmallVerts[1] + " 1 2 3 1.25\n" +
                  kSmallVerts[2] + " 10 20 30 2\n3 0 1 2\n3 2 1 0\n");
}

TEST_F(WriteTest, TextForms)
{
    TriMesh m = small();
    const std::string v =
        std::string(kSmallVerts[0]) + "\n" + kSmallVerts[1] + "\n" + kSmallVerts[2] + "\n";
    EXPECT_EQ(write(m, "m.obj"), "Writing m.obj... Done.\n");
    EXPECT_EQ(slurp("m.obj"), "# OBJ\nv " + std::string(kSmallVerts[0]) + "\nv " + kSmallVerts[1] +
                                  "\nv " + kSmallVerts[2] + "\nf 1 2 3\nf 3 2 1\n");
    EXPECT_EQ(m.faces, small().faces); // indices as they were
    write(m, "m.off");
    EXPECT_EQ(slurp("m.off"), "OFF\n3 2 0\n" + v + "3 0 1 2\n3 2 1 0\n");
    write(m, "m.sm");
    EXPECT_EQ(slurp("m.sm"), "3\n" + v + "2\n0 1 2\n2 1 0\n0 0\n");
}

TEST_F(WriteTest, RayTracerText)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}, {{0, 1, 2}});
    EXPECT_EQ(write(m, "t.ray"), "Computing normals... Done.\nWriting t.ray... Done.\n");
    EXPECT_EQ(slurp("t.ray"),
              "#camera 0 0 1 0 0 -1 0 1 0 0.2\n#background 0 0 0\n#ambient 0 0 0\n"
              "#material_num 1\n#material 0 0 0  1 1 1  0 0 0  0 0 0  0 0 1  -1  !!\n"
              "#vertex_num 3\n#vertex 0 0 0  0 0 1  0 0\n#vertex 1 0 0  0 0 1  0 0\n"
              "#vertex 0 1 0  0 0 1  0 0\n#shape_triangle 0  0 1 2\n");
    ReadResult r = readFile("t.ray");
    ASSERT_TRUE(r.mesh) << r.messages;
    expectSameMesh(*r.mesh, makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}, {{0, 1, 2}}));
}

TEST_F(WriteTest, SourceCodeText)
{
    TriMesh m = makeMesh({vec(0.5f, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}, {{0, 1, 2}});
    m.colors = {Color(1, 2, 3), Color(4, 5, 6), Color(7, 8, 9)};
    ASSERT_EQ(mkdir("sub", 0700), 0);
    EXPECT_EQ(write(m, "norm:sub/my-mesh.cpp"),
              "Computing normals... Done.\nWriting sub/my-mesh.cpp... Done.\n");
    // The directory and the character '-' cannot be part of a function name.
    EXPECT_EQ(slurp("sub/my-mesh.cpp"),
              "#include <string.h>\n#include \"TriMesh.h\"\n\n"
              "TriMesh *make_my_mesh()\n{\tstatic const float vertdata[][3] = {\n"
              "\t\t{ 0.5, 0, 0 },\n\t\t{ 1, 0, 0 },\n\t\t{ 0, 1, 0 },\n\t};\n"
              "\tstatic const float normdata[][3] = {\n"
              "\t\t{ 0, 0, 1 },\n\t\t{ 0, 0, 1 },\n\t\t{ 0, 0, 1 },\n\t};\n"
              "\tstatic const unsigned char colordata[][3] = {\n"
              "\t\t{ 1, 2, 3 },\n\t\t{ 4, 5, 6 },\n\t\t{ 7, 8, 9 },\n\t};\n"
              "\tstatic const int facedata[][3] = {\n\t\t{ 0, 1, 2 },\n\t};\n"
              "\n\tTriMesh *m = new TriMesh;\n"
              "\tm->vertices.resize(3);\n"
              "\tmemcpy(&m->vertices[0][0], vertdata, sizeof(vertdata));\n"
              "\tm->colors.resize(3);\n"
              "\tmemcpy(&m->colors[0][0], colordata, sizeof(colordata));\n"
              "\tm->normals.resize(3);\n"
              "\tmemcpy(&m->normals[0][0], normdata, sizeof(normdata));\n"
              "\tm->faces.resize(1);\n"
              "\tmemcpy(&m->faces[0][0], facedata, sizeof(facedata));\n"
              "\n\treturn m;\n}\n");
    // A point set: no empty face array.
    TriMesh pts;
    pts.vertices = {vec(1, 2, 3)};
    write(pts, "pts.cc");
    const std::string text = slurp("pts.cc");
    EXPECT_NE(text.find("TriMesh *make_pts()\n{"), std::string::npos);
    EXPECT_EQ(text.find("facedata"), std::string::npos);
}

TEST_F(WriteTest, BinaryPlyBytes)
{
    TriMesh m = makeMesh({vec(1, 2, 3), vec(4, 5, 6), vec(7, 8, 9)}, {{0, 1, 2}});
    write(m, "b.ply");
    std::string expect = "ply\nformat binary_little_endian 1.0\nelement vertex 3\n"
                         "property float x\nproperty float y\nproperty float z\n"
                         "element face 1\nproperty list uchar int vertex_indices\nend_header\n";
    for (int i = 1; i <= 9; ++i)
        putFloat(expect, float(i));
    expect += '\3';
    for (int i = 0; i < 3; ++i)
        putInt(expect, i);
    EXPECT_EQ(slurp("b.ply"), expect);
}

// ---- Choosing the form ----------------------------------------------------------

TEST_F(WriteTest, NamesAndPrefixes)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}, {{0, 1, 2}});
    auto head = [](const std::string& path) { return slurp(path).substr(0, 40); };
    for (const char* name : {"out.PLY", "out.txt", "noext", "out.plyx"}) {
        write(m, name);
        EXPECT_EQ(head(name).rfind("ply\nformat binary_little_endian 1.0\n", 0), 0u) << name;
    }
    EXPECT_EQ(write(m, "norm:ascii:out.ply"),
              "Computing normals... Done.\nWriting out.ply... Done.\n");
    EXPECT_FALSE(exists("norm:ascii:out.ply"));
    const std::string text = slurp("out.ply");
    EXPECT_EQ(text.rfind("ply\nformat ascii 1.0\n", 0), 0u);
    EXPECT_NE(text.find("property float nx\n"), std::string::npos);
    EXPECT_NE(text.find("\n0 0 0 0 0 1\n"), std::string::npos);
    // Prefixes override the extension and ignore case.
    write(m, "OBJ:p.ply");
    EXPECT_EQ(head("p.ply").rfind("# OBJ\n", 0), 0u);
    write(m, "ply_binary_be:q.obj");
    EXPECT_EQ(head("q.obj").rfind("ply\nformat binary_big_endian", 0), 0u);
    write(m, "off:r");
    EXPECT_EQ(head("r").rfind("OFF\n", 0), 0u);
    write(m, "s.SMX");
    EXPECT_EQ(head("s.SMX").rfind("3\n0 0 0\n", 0), 0u);
    write(m, "ray:t");
    EXPECT_EQ(head("t").rfind("#camera", 0), 0u);
    write(m, "u.c++");
    EXPECT_EQ(head("u.c++").rfind("#include <string.h>", 0), 0u);
    write(m, "asc:v.obj");
    EXPECT_EQ(head("v.obj").rfind("ply\nformat ascii", 0), 0u);
    write(m, "le:w.off");
    EXPECT_EQ(head("w.off").rfind("ply\nformat binary_little_endian", 0), 0u);
}

TEST_F(WriteTest, BigEndianToStandardOutput)
{
    TriMesh m = small();
    m.normals = {vec(0, 0, 1), vec(0, 1, 0), vec(1, 0, 0)};
    const TriMesh before = m;
    testing::internal::CaptureStdout();
    const std::string messages = write(m, "norm:be:-");
    const std::string bytes = testing::internal::GetCapturedStdout();
    EXPECT_EQ(messages, "Writing standard output... Done.\n");
    expectSameMesh(m, before);
    EXPECT_EQ(m.normals, before.normals);
    const std::string header =
        "ply\nformat binary_big_endian 1.0\nelement vertex 3\n"
        "property float x\nproperty float y\nproperty float z\n"
        "property float nx\nproperty float ny\nproperty float nz\n"
        "property uchar diffuse_red\nproperty uchar diffuse_green\n"
        "property uchar diffuse_blue\nproperty float confidence\n"
        "element face 2\nproperty list uchar int vertex_indices\nend_header\n";
    std::string body;
    for (size_t i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k)
            putFloat(body, m.vertices[i][k], true);
        for (int k = 0; k < 3; ++k)
            putFloat(body, m.normals[i][k], true);
        body.append(reinterpret_cast<const char*>(&m.colors[i]), 3);
        putFloat(body, m.confidences[i], true);
    }
    for (const Face& f : m.faces) {
        body += '\3';
        for (int k = 0; k < 3; ++k)
            putInt(body, f[k], true);
    }
    EXPECT_EQ(bytes, header + body);
    // And it reads back the same.
    ReadResult r = readBytes(bytes);
    ASSERT_TRUE(r.mesh) << r.messages;
    expectSameMesh(*r.mesh, before);
    EXPECT_EQ(r.mesh->normals, before.normals);
}

// ---- Strips ---------------------------------------------------------------------

TEST_F(WriteTest, StripsToPlyFacesElsewhere)
{
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0), vec(1, 1, 0), vec(2, 1, 0),
                          vec(2, 0, 0), vec(3, 0, 0)},
                         {{0, 1, 2}, {2, 1, 3}});
    m.strips = {3, 0, 1, 2, 4, 3, 4, 5, 6};
    const TriMesh before = m;
    write(m, "ascii:s.ply");
    EXPECT_NE(slurp("s.ply").find(
                  "element tristrips 1\nproperty list int int vertex_indices\nend_header\n"
                  "0 0 0\n1 0 0\n0 1 0\n1 1 0\n2 1 0\n2 0 0\n3 0 0\n"
                  "9 0 1 2 -1 3 4 5 6 -1 \n"),
              std::string::npos)
        << slurp("s.ply");
    expectSameMesh(m, before);
    for (const char* name : {"ascii:s.ply", "s.ply", "be:s.ply"}) {
        write(m, name);
        ReadResult r = readFile("s.ply");
        ASSERT_TRUE(r.mesh) << name << r.messages;
        EXPECT_EQ(r.mesh->strips, before.strips) << name;
        EXPECT_TRUE(r.mesh->faces.empty()) << name;
    }
    // Faces, not strips, in the other forms.
    for (const char* name : {"s.obj", "s.off", "s.sm", "s.ray"}) {
        write(m, name);
        ReadResult r = readFile(name);
        ASSERT_TRUE(r.mesh) << name << r.messages;
        EXPECT_EQ(r.mesh->faces, before.faces) << name;
    }
    // Strips alone are unpacked for them.
    TriMesh only;
    only.vertices = before.vertices;
    only.strips = before.strips;
    EXPECT_EQ(write(only, "o.off"),
              "Unpacking triangle strips... Done.\n  3 triangles\nWriting o.off... Done.\n");
    ReadResult r = readFile("o.off");
    ASSERT_TRUE(r.mesh);
    EXPECT_EQ(r.mesh->faces.size(), 3u);
}

// ---- Failures ---------------------------------------------------------------------

TEST_F(WriteTest, Failures)
{
    TriMesh empty;
    EXPECT_EQ(write(empty, "e.ply"), "Empty mesh - nothing to write!\n");
    EXPECT_FALSE(exists("e.ply"));
    TriMesh m = makeMesh({vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}, {{0, 1, 2}});
    EXPECT_EQ(stderrOf([&] { m.write(nullptr); }), "");
    EXPECT_EQ(write(m, ""), "");
    EXPECT_EQ(write(m, "no/such/dir/x.ply"),
              "fopen: No such file or directory\nError opening no/such/dir/x.ply for writing.\n");
    EXPECT_EQ(write(m, "off:"), "fopen: No such file or directory\nError opening  for writing.\n");
    if (!exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to provoke a write failure";
    EXPECT_EQ(write(m, "/dev/full"), "Writing /dev/full... \nError writing file [/dev/full]\n");
}

// ---- Round trips on real meshes -----------------------------------------------------

TEST_F(WriteTest, RealMeshesReadBack)
{
    if (!haveSharedData())
        GTEST_SKIP() << "shared data not present";
    const char* files[] = {"ply/meshlab/bunny10k.ply",
                           "ply/meshlab/screwdriver.ply",
                           "ply/threejs-examples/dolphins_colored.ply",
                           "ply/common3d/cow.ply",
                           "off/pmp/fandisk_quads.off",
                           "obj/common3d/teapot.obj"};
    const char* forms[] = {
        "ascii:", "le:", "be:", "norm:ascii:", "norm:be:", "ray:", "obj:", "off:", "sm:"};
    for (const char* rel : files) {
        std::unique_ptr<TriMesh> m = readShared(rel);
        ASSERT_TRUE(m) << rel;
        for (const char* form : forms) {
            const std::string prefix = form;
            const bool ply =
                prefix != "ray:" && prefix != "obj:" && prefix != "off:" && prefix != "sm:";
            const bool text = prefix.find("ascii") != std::string::npos || !ply;
            const TriMesh before = *m;
            const std::string out = write(*m, prefix + "rt");
            ASSERT_NE(out.find("Writing rt... Done.\n"), std::string::npos)
                << rel << " " << form << out;
            ReadResult r = readFile("rt");
            ASSERT_TRUE(r.mesh) << rel << " " << form << r.messages;
            const TriMesh& b = *r.mesh;
            ASSERT_EQ(b.vertices.size(), m->vertices.size()) << rel << " " << form;
            size_t differ = 0;
            for (size_t i = 0; i < b.vertices.size(); ++i)
                for (int k = 0; k < 3; ++k)
                    differ += text ? g7(b.vertices[i][k]) != g7(m->vertices[i][k])
                                   : b.vertices[i][k] != m->vertices[i][k];
            EXPECT_EQ(differ, 0u) << rel << " " << form;
            if (ply && !m->strips.empty()) {
                EXPECT_EQ(b.strips, m->strips) << rel << " " << form;
            } else {
                TriMesh unpacked = *m;
                stderrOf([&] { unpacked.unpackStrips(); });
                EXPECT_EQ(b.faces, unpacked.faces) << rel << " " << form;
            }
            if (ply) {
                EXPECT_EQ(b.colors, m->colors) << rel << " " << form;
                EXPECT_EQ(b.confidences.size(), m->confidences.size()) << rel << " " << form;
            }
            EXPECT_EQ(m->vertices, before.vertices) << rel << " " << form;
        }
    }
}
