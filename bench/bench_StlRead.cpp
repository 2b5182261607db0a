// STL read benchmark (not a test): a binary STL of about a million
// triangles (a torus, written by the toolkit) read and welded by
// TriMesh::read, against Assimp's STL import of the same file in the same
// run, without post-processing and with its vertex joining (the step that
// gives the same shared vertices). Aim: at least 3x faster than the first.
//   build/bench/bench_StlRead [grid side]

#include "bench/BenchUtil.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cstdlib>
#include <memory>
#include <string>

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 708; // 2 n^2 triangles
    TriMesh torus = makeTorus(n);
    const std::string path = "/tmp/kelvane_bench_" + std::to_string(getpid()) + ".stl";
    {
        QuietStderr quiet;
        if (!torus.write(path.c_str())) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    const size_t triangles = torus.faces.size();
    std::printf("binary STL, %zu triangles, %zu vertices after welding\n", triangles,
                torus.vertices.size());
    // Best of 11 runs each, so that other work on the machine weighs on
    // neither side more than on the other.
    const int runs = 11;
    size_t welded = 0;
    const double ours = timeMs([] {},
                               [&] {
                                   QuietStderr quiet;
                                   std::unique_ptr<TriMesh> m(TriMesh::read(path.c_str()));
                                   welded = m ? m->vertices.size() : 0;
                               },
                               runs);
    auto assimpRun = [&](unsigned flags, int times) {
        return timeMs([] {},
                      [&] {
                          Assimp::Importer importer;
                          if (!importer.ReadFile(path, flags))
                              std::fprintf(stderr, "assimp: %s\n", importer.GetErrorString());
                      },
                      times);
    };
    const double assimpRaw = assimpRun(0, runs);
    const double assimpJoined = assimpRun(aiProcess_JoinIdenticalVertices, 3); // seconds a run
    row("TriMesh::read (read + weld)", ours, triangles);
    row("Assimp STL import", assimpRaw, triangles, "of ours", ours);
    row("Assimp STL import + joining", assimpJoined, triangles, "of ours", ours);
    std::printf("  speed-up over Assimp's import: %.2fx (aim 3x); over import + joining: %.2fx\n",
                assimpRaw / ours, assimpJoined / ours);
    std::printf("  welded vertices: %zu\n", welded);
    std::remove(path.c_str());
    return welded == torus.vertices.size() ? 0 : 1;
}
