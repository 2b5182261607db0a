// Benchmark of derived data on demand (not a test): a `kelvane --pov` style
// run (load a binary PLY as a smooth model into a scene, write its POV-Ray
// file) with the strips, curvatures, derivatives and across-edge table left
// to be computed on demand, against the same run with all of them forced
// right after loading, as every load did before. Both in the same run, best
// of three each, alternating.
//   build/bench/bench_LazyDerived [torus side]   (710: about a million triangles)

#include "bench/BenchUtil.h"
#include "ln/LnSmoothModel.h"
#include "scene/PovScene.h"

#include <QGLViewer/camera.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Load and export; `upFront` forces the derived data between the two.
// Returns the load and export times (export includes the forcing).
bool run(const char* ply, const char* pov, bool upFront, double& load, double& total)
{
    const auto start = std::chrono::steady_clock::now();
    PovScene scene;
    qglviewer::Camera camera;
    camera.setScreenWidthAndHeight(800, 600);
    if (!scene.load(ply, &camera)) {
        return false;
    }
    load = seconds(start);
    if (upFront) {
        for (LnModel* model : scene.models) {
            if (auto* smooth = dynamic_cast<LnSmoothModel*>(model)) {
                smooth->smoothMesh()->needStrips();
                static_cast<LnSmoothExtractor*>(smooth->getExtractor())->prepare();
            }
        }
    }
    QString error;
    if (!scene.writePovFile(&camera, pov, &error)) {
        std::fprintf(stdout, "bench_LazyDerived: %s\n", qPrintable(error));
        return false;
    }
    total = seconds(start);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int side = argc > 1 ? std::atoi(argv[1]) : 710;
    const char* ply = "/tmp/kelvane_bench_lazy.ply";
    const char* pov = "/tmp/kelvane_bench_lazy.pov";
    const TriMesh torus = makeTorus(side);
    const size_t triangles = torus.faces.size();
    {
        TriMesh copy = torus;
        if (!copy.write((std::string("ply_binary:") + ply).c_str())) {
            return 1;
        }
    }
    // The toolkit's progress lines would swamp the figures.
    std::fflush(stderr);
    if (!std::freopen("/dev/null", "w", stderr)) {
        return 1;
    }
    double lazyLoad = 1e30, lazyTotal = 1e30, eagerLoad = 1e30, eagerTotal = 1e30;
    for (int i = 0; i < 3; ++i) {
        double load = 0, total = 0;
        if (!run(ply, pov, false, load, total)) {
            return 1;
        }
        lazyLoad = std::min(lazyLoad, load);
        lazyTotal = std::min(lazyTotal, total);
        if (!run(ply, pov, true, load, total)) {
            return 1;
        }
        eagerLoad = std::min(eagerLoad, load);
        eagerTotal = std::min(eagerTotal, total);
    }
    std::remove(ply);
    std::remove(pov);
    std::printf("triangles                      %zu\n", triangles);
    std::printf("load + export, on demand       %.3f s (load %.3f s)\n", lazyTotal, lazyLoad);
    std::printf("load + export, all up front    %.3f s (load %.3f s)\n", eagerTotal, eagerLoad);
    std::printf("ratio on demand / up front     %.2f\n", lazyTotal / eagerTotal);
    return 0;
}
