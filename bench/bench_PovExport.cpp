// Export-time benchmark of the POV-Ray scene writer (not a test): writes a
// scene of smooth triangles and compares the time with a plain buffered
// write of the same number of bytes, measured in the same run.
//   build/bench/bench_PovExport [triangles]

#include "ln/LnBoxyModel.h"
#include "scene/PovScene.h"

#include <QGLViewer/camera.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long fileSize(const char* path)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        return 0;
    }
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    std::fclose(f);
    return size;
}

} // namespace

int main(int argc, char* argv[])
{
    const int triangles = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const char* path = "/tmp/kelvane_bench_export.pov";

    // A wavy grid with per-corner normals, numbered row by row as real
    // meshes are: every face is written as a smooth_triangle with six
    // coordinate triples.
    LnBoxyMesh* mesh = new LnBoxyMesh;
    mesh->hasNormals = true;
    int side = 2;
    while (2 * (side - 1) * (side - 1) < triangles) {
        ++side;
    }
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const float fx = 100.0f * float(x) / float(side) - 50.0f;
            const float fy = 100.0f * float(y) / float(side) - 50.0f;
            mesh->vertices.push_back(vec(fx, fy, 3.0f * std::sin(0.3f * fx) * std::cos(0.2f * fy)));
            vec n(-0.9f * std::cos(0.3f * fx), 0.6f * std::sin(0.2f * fy), 1.0f);
            normalize(n);
            mesh->normals.push_back(n);
        }
    }
    for (int y = 0; y + 1 < side && int(mesh->faces.size()) < triangles; ++y) {
        for (int x = 0; x + 1 < side && int(mesh->faces.size()) < triangles; ++x) {
            const uint32_t v = uint32_t(y * side + x);
            LnFace f;
            f.a = f.na = v;
            f.b = f.nb = v + 1;
            f.c = f.nc = v + uint32_t(side) + 1;
            mesh->faces.push_back(f);
            f.b = f.nb = v + uint32_t(side) + 1;
            f.c = f.nc = v + uint32_t(side);
            mesh->faces.push_back(f);
        }
    }
    mesh->faces.resize(size_t(triangles));

    PovScene scene;
    scene.models.push_back(new LnBoxyModel(new LnBoxyMesh)); // the ground's place
    scene.models.push_back(new LnBoxyModel(mesh));
    scene.resizeTextures(2);
    scene.radius = 50.0f;
    PovLight light;
    light.position = vec(0, 0, 100);
    scene.lights = {light};
    qglviewer::Camera camera;
    camera.setScreenWidthAndHeight(800, 600);

    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        auto start = std::chrono::steady_clock::now();
        QString error;
        if (!scene.writePovFile(&camera, path, &error)) {
            std::fprintf(stderr, "bench_PovExport: %s\n", qPrintable(error));
            return 1;
        }
        best = std::min(best, seconds(start));
    }
    const long bytes = fileSize(path);

    // Baseline: the same number of bytes through a plain buffered write.
    std::string block(1 << 20, 'x');
    double plain = 1e30;
    for (int run = 0; run < 3; ++run) {
        auto start = std::chrono::steady_clock::now();
        std::FILE* f = std::fopen(path, "wb");
        for (long left = bytes; left > 0; left -= long(block.size())) {
            std::fwrite(block.data(), 1, size_t(std::min<long>(left, long(block.size()))), f);
        }
        std::fclose(f);
        plain = std::min(plain, seconds(start));
    }
    std::remove(path);

    std::printf("triangles           %d (smooth)\n", triangles);
    std::printf("bytes written       %ld\n", bytes);
    std::printf("writePovFile        %.3f s (%.3f s per million triangles)\n", best,
                best * 1e6 / triangles);
    std::printf("plain write         %.3f s\n", plain);
    std::printf("ratio               %.2f (aim: under 3)\n", best / plain);
    return 0;
}
