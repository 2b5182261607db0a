// Load-time benchmark of smooth models (not a test): reads a closed mesh of
// about a million triangles as a smooth model (read, normals, sphere; no
// OpenGL context, so no display lists and no strips) and runs one
// extraction with the default settings, which computes the curvatures,
// derivatives, across-edge table and feature size on the way (strips too).
// Reported per million triangles, beside Assimp's import
// of the same file with smooth normals and vertex joining when Assimp is
// there.
//   build/bench/bench_SmoothLoad [torus side]

#include "bench/BenchUtil.h"
#include "ln/LnSmoothModel.h"
#include "trimesh/TriMesh.h"

#ifdef KELVANE_HAVE_ASSIMP
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#endif

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

double seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char* argv[])
{
    const int side = argc > 1 ? std::atoi(argv[1]) : 710;
    const char* path = "/tmp/kelvane_bench_smooth.ply";
    if (!makeTorus(side).write(path)) {
        return 1;
    }
    // The toolkit's progress lines would swamp the figures.
    std::fflush(stderr);
    if (!std::freopen("/dev/null", "w", stderr)) {
        return 1;
    }

    double load = 1e30, extract = 1e30;
    int triangles = 0, lines = 0;
    for (int run = 0; run < 3; ++run) {
        auto start = std::chrono::steady_clock::now();
        std::unique_ptr<LnSmoothModel> model(LnSmoothModel::readFile(path));
        load = std::min(load, seconds(start));
        if (!model) {
            return 1;
        }
        triangles = model->getMesh()->getNumFaces();
        start = std::chrono::steady_clock::now();
        lines = model->extractLines(vec(10, 20, 30), vec(0, 0, 1)).size();
        extract = std::min(extract, seconds(start));
    }
    const double million = triangles / 1e6;
    std::printf("triangles                %d\n", triangles);
    std::printf("smooth model load        %.3f s (%.3f s per million triangles; aim under 2)\n",
                load, load / million);
    std::printf("first extract (defaults) %.3f s (%.3f s per million triangles), %d lines\n",
                extract, extract / million, lines);
#ifdef KELVANE_HAVE_ASSIMP
    double assimp = 1e30;
    for (int run = 0; run < 3; ++run) {
        auto start = std::chrono::steady_clock::now();
        Assimp::Importer importer;
        if (!importer.ReadFile(path,
                               aiProcess_JoinIdenticalVertices | aiProcess_GenSmoothNormals)) {
            return 1;
        }
        assimp = std::min(assimp, seconds(start));
    }
    std::printf(
        "Assimp, smooth normals   %.3f s (%.3f s per million triangles); load / Assimp %.2f\n",
        assimp, assimp / million, load / assimp);
#endif
    std::remove(path);
    return 0;
}
