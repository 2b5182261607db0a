// Render-quality benchmark (not a test): times `kelvane --render` at 400x300
// in Draft and in Photo quality, for the bundled sample scene (boxes.npr, on
// the ground) and a torus of about 300k triangles (on the ground), in one
// run, and gives Photo's time as a multiple of Draft's.
//   build/bench/bench_PovRenderQuality [triangles] [--indoor]
// Each time is the best of two runs (one with --indoor also lights the
// scenes with the four indoor lights instead of the sun).

#include "BenchProcess.h"
#include "BenchUtil.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

// Seconds for one kelvane run; negative when it failed (its errors shown).
double timedRender(const QStringList& arguments, const QString& directory)
{
    const TimedRun run = timedRun(QStringLiteral(KELVANE_EXE), arguments, directory);
    if (!run.ok) {
        std::fprintf(stderr, "%s", run.errors.constData());
        return -1.0;
    }
    return run.seconds;
}

double best(const QStringList& arguments, const QString& directory)
{
    double result = -1.0;
    for (int k = 0; k < 2; ++k) {
        const double s = timedRender(arguments, directory);
        if (s < 0) {
            return -1.0;
        }
        result = result < 0 ? s : std::min(result, s);
    }
    return result;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    long wanted = 300000;
    bool indoor = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--indoor") {
            indoor = true;
        } else {
            wanted = std::atol(argv[i]);
        }
    }
    QTemporaryDir work;
    if (!work.isValid()) {
        std::fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    int n = 2;
    while (2L * n * n < wanted) {
        ++n;
    }
    const QString torus = work.filePath(QStringLiteral("torus.ply"));
    {
        QuietStderr quiet;
        if (!makeTorus(n).write(torus.toLocal8Bit().constData())) {
            return 1;
        }
    }
    struct Scene {
        QString name;
        QString file;
    };
    const Scene scenes[] = {
        {QStringLiteral("boxes.npr"), QStringLiteral(KELVANE_SAMPLES "/boxes.npr")},
        {QStringLiteral("torus %1 tri").arg(2L * n * n), torus},
    };
    std::printf("kelvane --render at 400x300 with the ground%s, seconds (best of 2)\n",
                indoor ? ", indoor lights" : ", sun");
    std::printf("%-18s  %8s  %8s  %11s\n", "scene", "draft", "photo", "photo/draft");
    for (const Scene& scene : scenes) {
        double seconds[2];
        int q = 0;
        for (const char* quality : {"draft", "photo"}) {
            QStringList arguments = {QStringLiteral("--render"),  work.filePath("out.png"),
                                     QStringLiteral("--size"),    QStringLiteral("400x300"),
                                     QStringLiteral("--ground"),  QStringLiteral("--quality"),
                                     QString::fromLatin1(quality)};
            if (indoor) {
                arguments << QStringLiteral("--indoor");
            }
            seconds[q++] = best(arguments << scene.file, work.path());
        }
        std::printf("%-18s  %8.2f  %8.2f  %11.2f\n", qPrintable(scene.name), seconds[0], seconds[1],
                    seconds[0] > 0 && seconds[1] > 0 ? seconds[1] / seconds[0] : -1.0);
        std::fflush(stdout);
    }
    std::printf("times cover the whole run: load, export, POV-Ray's parse and render\n");
    return 0;
}
