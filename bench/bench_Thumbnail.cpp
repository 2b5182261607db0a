// Thumbnail benchmark (not a test): kelvane --thumbnail 256 of a PLY torus
// of about 100000 triangles, without a display, against kelvane --info of
// the same file (which loads it as the window and the renders do), and the
// same for a torus above the low-detail limit (thumbnailTriangleLimit). The
// cases take turns, `rounds` times (default 3), each keeping its fastest
// run. The aim: the 100000-triangle thumbnail in under 2 s.
//   build/bench/bench_Thumbnail [triangles] [large triangles] [rounds]

#include "BenchProcess.h"
#include "BenchUtil.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

int torusSide(long triangles)
{
    int n = 2;
    while (2L * n * n < triangles) {
        ++n;
    }
    return n;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const long small = argc > 1 ? std::atol(argv[1]) : 100000;
    const long large = argc > 2 ? std::atol(argv[2]) : 3000000;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    QTemporaryDir work;
    if (!work.isValid() || small < 8 || large < 8) {
        std::fprintf(stderr, "usage: bench_Thumbnail [triangles] [large triangles] [rounds]\n");
        return 1;
    }
    struct Model {
        QString file;
        long triangles;
    };
    std::vector<Model> models;
    for (long wanted : {small, large}) {
        const int n = torusSide(wanted);
        const QString file = work.filePath(QStringLiteral("torus%1.ply").arg(wanted));
        QuietStderr quiet;
        if (!makeTorus(n).write(file.toLocal8Bit().constData())) {
            return 1;
        }
        models.push_back({file, 2L * n * n});
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    const QString kelvane = QStringLiteral(KELVANE_EXE);
    const QString picture = work.filePath(QStringLiteral("thumbnail.png"));
    // best[model][0]: --info, best[model][1]: --thumbnail.
    double best[2][2];
    for (auto& row : best) {
        std::fill(row, row + 2, std::numeric_limits<double>::infinity());
    }
    for (int round = 0; round < rounds; ++round) {
        for (size_t m = 0; m < models.size(); ++m) {
            const QStringList runs[2] = {
                {QStringLiteral("--info"), models[m].file},
                {QStringLiteral("--thumbnail"), QStringLiteral("256"), models[m].file, picture}};
            for (int k = 0; k < 2; ++k) {
                const TimedRun run = timedRun(kelvane, runs[k], work.path(), env);
                if (!run.ok) {
                    std::fprintf(stderr, "kelvane failed: %s\n", run.errors.constData());
                    return 1;
                }
                best[m][k] = std::min(best[m][k], run.seconds);
            }
        }
    }
    std::printf("kelvane --thumbnail 256 of a PLY torus, no display, best of %d\n\n", rounds);
    std::printf("| triangles | --info (load) s | --thumbnail s | thumbnail / info |\n");
    std::printf("| --- | --- | --- | --- |\n");
    for (size_t m = 0; m < models.size(); ++m) {
        std::printf("| %ld | %.3f | %.3f | %.2f |\n", models[m].triangles, best[m][0], best[m][1],
                    best[m][1] / best[m][0]);
    }
    std::printf("\naim: %ld triangles in under 2 s: %s\n", models[0].triangles,
                best[0][1] < 2.0 ? "met" : "NOT met");
    return 0;
}
