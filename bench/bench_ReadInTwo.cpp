// Benchmark of reading large ASCII PLY and OFF files on two threads (not a
// test): a rippled torus written both ways, read with one thread and with
// two, best of three each, in the same run.
//   build/bench/bench_ReadInTwo [torus side]   (710: about a million triangles)

#include "bench/BenchUtil.h"
#include "trimesh/ReadInTwo.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

int main(int argc, char* argv[])
{
    const int side = argc > 1 ? std::atoi(argv[1]) : 710;
    const TriMesh torus = makeTorus(side);
    std::printf("%zu triangles, best of 3 reads\n", torus.faces.size());
    const size_t usual = recordsWorthTwoThreads;
    for (const std::string& kind : {std::string("ply_ascii"), std::string("off")}) {
        const std::string file = "/tmp/kelvane_bench_readintwo." + (kind == "off" ? kind : "ply");
        {
            TriMesh copy = torus;
            QuietStderr quiet;
            if (!copy.write((kind == "off" ? file : kind + ":" + file).c_str())) {
                return 1;
            }
        }
        const long before = runsReadInTwo;
        double ms[2];
        for (int two = 0; two < 2; ++two) {
            recordsWorthTwoThreads = two ? usual : size_t(-1);
            ms[two] = timeMs([] {},
                             [&] {
                                 QuietStderr quiet;
                                 std::unique_ptr<TriMesh> m(TriMesh::read(file.c_str()));
                             },
                             3);
        }
        std::printf("%-10s one thread %8.0f ms, two threads %8.0f ms (ratio %.2f; %ld runs on two)\n",
                    kind.c_str(), ms[0], ms[1], ms[1] / ms[0], long(runsReadInTwo - before));
        std::remove(file.c_str());
    }
    return 0;
}
