// Read-time benchmark of TriMesh::read on generated meshes of about one
// million triangles: binary little-endian PLY (positions only, and with
// normals and colours), ASCII PLY, OBJ and OFF. Every time is reported as a
// ratio to baselines measured in the same run:
//   raw        reading the file's bytes into memory;
//   from_chars reading the bytes and converting the same numbers with
//              std::from_chars in a bare loop (text formats);
//   assimp     Assimp's importer without post-processing (when built with it).
// Usage: bench_TriMeshRead [grid side, default 709 -> 1,002,528 triangles]

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "trimesh/TriMesh.h"

#ifdef KELVANE_HAVE_ASSIMP
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#endif

namespace {

struct Grid {
    int side = 0;
    std::vector<float> pos;
    std::vector<int> tri;
    size_t numVertices() const { return pos.size() / 3; }
    size_t numFaces() const { return tri.size() / 3; }
};

Grid makeGrid(int side)
{
    Grid g;
    g.side = side;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            float fx = float(x) / float(side - 1), fy = float(y) / float(side - 1);
            g.pos.push_back(fx * 2.0f - 1.0f);
            g.pos.push_back(fy * 2.0f - 1.0f);
            g.pos.push_back(0.25f * std::sin(7.0f * fx) * std::cos(5.0f * fy));
        }
    }
    for (int y = 0; y + 1 < side; ++y) {
        for (int x = 0; x + 1 < side; ++x) {
            int a = y * side + x, b = a + 1, c = a + side, d = c + 1;
            g.tri.insert(g.tri.end(), {a, b, d, a, d, c});
        }
    }
    return g;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fclose(f);
}

std::string plyHeader(const char* fmt, const Grid& g, bool normalsColours)
{
    std::string h = std::string("ply\nformat ") + fmt + " 1.0\nelement vertex " +
                    std::to_string(g.numVertices()) +
                    "\nproperty float x\nproperty float y\nproperty float z\n";
    if (normalsColours)
        h += "property float nx\nproperty float ny\nproperty float nz\n"
             "property uchar red\nproperty uchar green\nproperty uchar blue\n";
    h += "element face " + std::to_string(g.numFaces()) +
         "\nproperty list uchar int vertex_indices\nend_header\n";
    return h;
}

std::string binaryPly(const Grid& g, bool normalsColours)
{
    std::string s = plyHeader("binary_little_endian", g, normalsColours);
    for (size_t i = 0; i < g.numVertices(); ++i) {
        s.append(reinterpret_cast<const char*>(&g.pos[i * 3]), 12);
        if (normalsColours) {
            float n[3] = {0.0f, 0.0f, 1.0f};
            unsigned char c[3] = {static_cast<unsigned char>(i), 128, 255};
            s.append(reinterpret_cast<const char*>(n), 12);
            s.append(reinterpret_cast<const char*>(c), 3);
        }
    }
    for (size_t f = 0; f < g.numFaces(); ++f) {
        s += '\3';
        s.append(reinterpret_cast<const char*>(&g.tri[f * 3]), 12);
    }
    return s;
}

std::string textMesh(const Grid& g, const char* kind)
{
    std::string s;
    const bool ply = std::strcmp(kind, "ply") == 0, obj = std::strcmp(kind, "obj") == 0;
    if (ply)
        s = plyHeader("ascii", g, false);
    else if (!obj)
        s = "OFF\n" + std::to_string(g.numVertices()) + " " + std::to_string(g.numFaces()) + " 0\n";
    char buf[128];
    for (size_t i = 0; i < g.numVertices(); ++i) {
        std::snprintf(buf, sizeof buf, "%s%.7g %.7g %.7g\n", obj ? "v " : "", g.pos[i * 3],
                      g.pos[i * 3 + 1], g.pos[i * 3 + 2]);
        s += buf;
    }
    const int base = obj ? 1 : 0;
    for (size_t f = 0; f < g.numFaces(); ++f) {
        std::snprintf(buf, sizeof buf, "%s%d %d %d\n", obj ? "f " : "3 ", g.tri[f * 3] + base,
                      g.tri[f * 3 + 1] + base, g.tri[f * 3 + 2] + base);
        s += buf;
    }
    return s;
}

std::vector<char> readAll(const std::string& path)
{
    std::vector<char> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    bytes.resize(size_t(size));
    size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    bytes.resize(got);
    std::fclose(f);
    return bytes;
}

// Reads the bytes and converts every number of the body with from_chars:
// floats for the vertices, ints for the rest; keywords ("v", "f") and the
// header are passed over.
double convertNumbers(const std::string& path, size_t floatCount)
{
    std::vector<char> bytes = readAll(path);
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    const char* body = static_cast<const char*>(memmem(p, bytes.size(), "end_header\n", 11));
    if (body)
        p = body + 11;
    else if (bytes.size() > 4 && std::memcmp(p, "OFF\n", 4) == 0)
        p = static_cast<const char*>(std::memchr(p + 4, '\n', size_t(end - p - 4))) + 1;
    double sum = 0;
    size_t floats = 0;
    while (p < end) {
        while (p < end && (*p == ' ' || *p == '\n' || *p == '\t' || *p == '\r'))
            ++p;
        if (p >= end)
            break;
        if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')) {
            while (p < end && *p != ' ' && *p != '\n')
                ++p;
            continue;
        }
        if (floats < floatCount) {
            float v = 0;
            auto r = std::from_chars(p, end, v);
            sum += v;
            p = r.ptr;
            ++floats;
        } else {
            int v = 0;
            auto r = std::from_chars(p, end, v);
            sum += v;
            p = r.ptr;
        }
        if (p < end && *p != ' ' && *p != '\n' && *p != '\r' && *p != '\t')
            ++p; // never stall on stray bytes
    }
    return sum;
}

// Best of `runs` wall-clock times in milliseconds.
double timeMs(const std::function<void()>& work, int runs = 5)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        work();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

// The reader's progress lines would cost terminal time; send them away
// while timing.
struct QuietStderr {
    int saved;
    QuietStderr() : saved(dup(2))
    {
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 2);
        close(devnull);
    }
    ~QuietStderr()
    {
        dup2(saved, 2);
        close(saved);
    }
};

} // namespace

int main(int argc, char** argv)
{
    const int side = argc > 1 ? std::atoi(argv[1]) : 709;
    if (side < 2) {
        std::fprintf(stderr, "usage: %s [grid side >= 2]\n", argv[0]);
        return 2;
    }
    char dirTemplate[] = "/tmp/kelvane-bench-XXXXXX";
    const char* dir = mkdtemp(dirTemplate);
    if (!dir) {
        std::perror("mkdtemp");
        return 1;
    }
    const Grid g = makeGrid(side);
    std::printf("Mesh: %zu vertices, %zu triangles; files in %s\n", g.numVertices(), g.numFaces(),
                dir);

    struct Case {
        const char* name;
        std::string file;
        bool text;
    };
    const std::string d = dir;
    std::vector<Case> cases = {
        {"PLY binary LE", d + "/bin.ply", false}, {"PLY binary LE +n +c", d + "/bin_nc.ply", false},
        {"PLY ascii", d + "/ascii.ply", true},    {"OBJ", d + "/mesh.obj", true},
        {"OFF", d + "/mesh.off", true},
    };
    writeFile(cases[0].file, binaryPly(g, false));
    writeFile(cases[1].file, binaryPly(g, true));
    writeFile(cases[2].file, textMesh(g, "ply"));
    writeFile(cases[3].file, textMesh(g, "obj"));
    writeFile(cases[4].file, textMesh(g, "off"));

    std::printf("\n%-20s %9s %9s %10s %9s | %8s %10s %8s\n", "format", "read ms", "raw ms",
                "fromch ms", "assimp ms", "x raw", "x fromch", "assimp/x");
    for (const Case& c : cases) {
        double ours, raw, conv = 0, assimp = 0;
        size_t nv = 0, nf = 0;
        {
            QuietStderr quiet;
            ours = timeMs([&] {
                TriMesh* m = TriMesh::read(c.file.c_str());
                if (m) {
                    nv = m->vertices.size();
                    nf = m->faces.size();
                }
                delete m;
            });
        }
        raw = timeMs([&] {
            volatile size_t n = readAll(c.file).size();
            (void)n;
        });
        if (c.text)
            conv = timeMs([&] {
                volatile double s = convertNumbers(c.file, g.numVertices() * 3);
                (void)s;
            });
#ifdef KELVANE_HAVE_ASSIMP
        assimp = timeMs(
            [&] {
                Assimp::Importer importer;
                const aiScene* scene = importer.ReadFile(c.file, 0);
                if (!scene)
                    std::fprintf(stderr, "assimp: %s\n", importer.GetErrorString());
            },
            3);
#endif
        if (nv != g.numVertices() || nf != g.numFaces())
            std::printf("!! %s read %zu vertices, %zu faces\n", c.name, nv, nf);
        char convText[32] = "-", convRatio[32] = "-", assimpText[32] = "-", assimpRatio[32] = "-";
        if (c.text) {
            std::snprintf(convText, sizeof convText, "%.1f", conv);
            std::snprintf(convRatio, sizeof convRatio, "%.2f", ours / conv);
        }
        if (assimp > 0) {
            std::snprintf(assimpText, sizeof assimpText, "%.1f", assimp);
            std::snprintf(assimpRatio, sizeof assimpRatio, "%.2f", assimp / ours);
        }
        std::printf("%-20s %9.1f %9.1f %10s %9s | %8.2f %10s %8s\n", c.name, ours, raw, convText,
                    assimpText, ours / raw, convRatio, assimpRatio);
    }
    std::printf("\nx raw, x fromch: our read time divided by the baseline (lower is better);\n"
                "assimp/x: how many times faster than Assimp (higher is better).\n");
    for (const Case& c : cases)
        std::remove(c.file.c_str());
    rmdir(dir);
    return 0;
}
