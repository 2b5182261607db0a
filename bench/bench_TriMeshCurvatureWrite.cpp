// Benchmark of curvature, smoothing and writing on a closed mesh of about one
// million triangles (a bumpy torus grid). Times are per million triangles,
// beside baselines measured in the same run:
//   computeNormals  one plain pass over the faces, as a yardstick for the
//                   curvature and smoothing passes;
//   raw write       fwrite of the same bytes as the binary PLY;
//   printf writers  the ASCII PLY and OBJ text written with fprintf "%.7g"
//                   (also checked to be byte-identical to ours);
//   OpenMesh        its binary PLY, ASCII PLY and OBJ writers;
// OpenMesh only when the benchmark was built with it.
// Usage: bench_TriMeshCurvatureWrite [torus side, default 710 -> 1,008,200
//        triangles] [scratch directory, default /tmp]

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/BenchUtil.h"
#include "trimesh/TriMesh.h"

#ifdef KELVANE_HAVE_OPENMESH
#include <OpenMesh/Core/IO/MeshIO.hh>
#endif

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The plain writers, straight from the format's description.
void printfPly(const TriMesh& m, const char* path)
{
    FILE* f = std::fopen(path, "wb");
    std::fprintf(
        f,
        "ply\nformat ascii 1.0\nelement vertex %lu\nproperty float x\nproperty float y\n"
        "property float z\nelement face %lu\nproperty list uchar int vertex_indices\nend_header\n",
        (unsigned long)m.vertices.size(), (unsigned long)m.faces.size());
    for (const vec& v : m.vertices)
        std::fprintf(f, "%.7g %.7g %.7g\n", double(v[0]), double(v[1]), double(v[2]));
    for (const Face& t : m.faces)
        std::fprintf(f, "3 %d %d %d\n", t[0], t[1], t[2]);
    std::fclose(f);
}

void printfObj(const TriMesh& m, const char* path)
{
    FILE* f = std::fopen(path, "wb");
    std::fprintf(f, "# OBJ\n");
    for (const vec& v : m.vertices)
        std::fprintf(f, "v %.7g %.7g %.7g\n", double(v[0]), double(v[1]), double(v[2]));
    for (const Face& t : m.faces)
        std::fprintf(f, "f %d %d %d\n", t[0] + 1, t[1] + 1, t[2] + 1);
    std::fclose(f);
}

} // namespace

int main(int argc, char** argv)
{
    const int side = argc > 1 ? std::max(8, std::atoi(argv[1])) : 710;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const TriMesh base = makeTorus(side);
    const size_t nf = base.faces.size(), nv = base.vertices.size();
    std::printf("Closed torus: %zu vertices, %zu triangles (best of 3 runs)\n\n", nv, nf);

    TriMesh m;
    auto fresh = [&] {
        m = TriMesh();
        m.vertices = base.vertices;
        m.faces = base.faces;
    };
    TriMesh prepared; // normals, areas, neighbours, curvatures, derivatives
    double tNormals, tAreas, tCurv, tDcurv, tBoth, tSmN, tSmC, tSmD;
    float width;
    {
        QuietStderr quiet;
        tNormals = timeMs(fresh, [&] { m.computeNormals(); });
        tAreas = timeMs(
            [&] {
                fresh();
                m.computeNormals();
            },
            [&] { m.needPointAreas(); });
        tCurv = timeMs(
            [&] {
                fresh();
                m.computeNormals();
                m.needPointAreas();
            },
            [&] { m.needCurvatures(); });
        tDcurv = timeMs(
            [&] {
                fresh();
                m.needCurvatures();
            },
            [&] { m.needCurvatureDerivatives(); });
        tBoth = timeMs(
            [&] {
                fresh();
                m.computeNormals();
            },
            [&] {
                m.needCurvatures();
                m.needCurvatureDerivatives();
            });
        prepared = m;
        prepared.findNeighbors();
        width = 0.5f * prepared.medianEdgeLength();
        tSmN = timeMs([&] { m = prepared; }, [&] { m.diffuseNormals(width); });
        tSmC = timeMs([&] { m = prepared; }, [&] { m.diffuseCurvatures(width); });
        tSmD = timeMs([&] { m = prepared; }, [&] { m.diffuseCurvatureDerivatives(width); });
    }
    std::printf("Curvature (aim: curvatures and derivatives under 1 s per million triangles)\n");
    row("computeNormals (yardstick)", tNormals, nf);
    row("needPointAreas", tAreas, nf, "normals", tNormals);
    row("needCurvatures (areas there)", tCurv, nf, "normals", tNormals);
    row("needCurvatureDerivatives", tDcurv, nf, "normals", tNormals);
    row("curvatures + derivatives (+areas)", tBoth, nf, "normals", tNormals);
    std::printf("\nSmoothing, one pass, width = half the median edge length (%g)\n", double(width));
    row("diffuseNormals", tSmN, nf, "normals", tNormals);
    row("diffuseCurvatures", tSmC, nf, "normals", tNormals);
    row("diffuseCurvatureDerivatives", tSmD, nf, "normals", tNormals);

    // Writing. The mesh is written as read: positions and faces only.
    fresh();
    const std::string plyPath = dir + "/kelvane_bench_w.ply",
                      rawPath = dir + "/kelvane_bench_raw.ply";
    const std::string asciiPath = dir + "/kelvane_bench_a.ply",
                      objPath = dir + "/kelvane_bench_o.obj";
    const std::string refPath = dir + "/kelvane_bench_ref";
    double tBin, tAsc, tObj;
    bool written = true;
    {
        QuietStderr quiet;
        tBin = timeMs([] {}, [&] { written = m.write(plyPath.c_str()) && written; });
        tAsc = timeMs([] {}, [&] { written = m.write(("ascii:" + asciiPath).c_str()) && written; });
        tObj = timeMs([] {}, [&] { written = m.write(objPath.c_str()) && written; });
    }
    if (!written) {
        std::fprintf(stderr, "bench_TriMeshCurvatureWrite: cannot write the meshes in %s\n",
                     dir.c_str());
        return 1;
    }
    const std::string binBytes = slurp(plyPath);
    const double tRaw = timeMs([] {},
                               [&] {
                                   FILE* f = std::fopen(rawPath.c_str(), "wb");
                                   std::fwrite(binBytes.data(), 1, binBytes.size(), f);
                                   std::fclose(f);
                               });
    const double tPrintfPly = timeMs([] {}, [&] { printfPly(m, refPath.c_str()); });
    const bool samePly = slurp(refPath) == slurp(asciiPath);
    const double tPrintfObj = timeMs([] {}, [&] { printfObj(m, refPath.c_str()); });
    const bool sameObj = slurp(refPath) == slurp(objPath);

    std::printf("\nWriting (aims: binary PLY within 2x a raw write; ASCII at least 2x faster than "
                "OpenMesh)\n");
    row("raw fwrite of the binary PLY bytes", tRaw, nf);
    row("write binary PLY", tBin, nf, "raw", tRaw);
    row("fprintf ASCII PLY", tPrintfPly, nf);
    row("write ASCII PLY", tAsc, nf, "fprintf", tPrintfPly);
    row("fprintf OBJ", tPrintfObj, nf);
    row("write OBJ", tObj, nf, "fprintf", tPrintfObj);
    std::printf("  byte-identical to fprintf \"%%.7g\": ASCII PLY %s, OBJ %s\n",
                samePly ? "yes" : "NO", sameObj ? "yes" : "NO");
#ifdef KELVANE_HAVE_OPENMESH
    {
        OMesh om;
        toOpenMesh(base, om);
        const std::string omPly = dir + "/kelvane_bench_om.ply",
                          omObj = dir + "/kelvane_bench_om.obj";
        const double tOmBin =
            timeMs([] {},
                   [&] {
                       OpenMesh::IO::write_mesh(
                           om, omPly, OpenMesh::IO::Options::Binary | OpenMesh::IO::Options::LSB);
                   });
        const double tOmAsc = timeMs([] {}, [&] { OpenMesh::IO::write_mesh(om, omPly); });
        const double tOmObj = timeMs([] {}, [&] { OpenMesh::IO::write_mesh(om, omObj); });
        row("OpenMesh binary PLY", tOmBin, nf);
        row("write binary PLY", tBin, nf, "OpenMesh", tOmBin);
        row("OpenMesh ASCII PLY", tOmAsc, nf);
        row("write ASCII PLY", tAsc, nf, "OpenMesh", tOmAsc);
        row("OpenMesh OBJ", tOmObj, nf);
        row("write OBJ", tObj, nf, "OpenMesh", tOmObj);
        std::remove(omPly.c_str());
        std::remove(omObj.c_str());
    }
#else
    std::printf("  (OpenMesh not found at build time: no baseline)\n");
#endif
    for (const std::string& p : {plyPath, rawPath, asciiPath, objPath, refPath})
        std::remove(p.c_str());
    return 0;
}
