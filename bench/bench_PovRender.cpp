// End-to-end render benchmark (not a test): for tori of 100k, 300k and 1M
// triangles, times `kelvane --render` at 400x300 (load, export, POV-Ray's
// parse and render) with each mesh form, and POV-Ray's own parse time of
// the scene text written in that form (its statistics' "Parse Time"), and
// the export alone (PovScene::writePovFile in this process) per triangle.
//   build/bench/bench_PovRender [triangles ...] [--skip-slow] [--export-only]
// --skip-slow leaves out POV-Ray for the triangle form above 300k
// triangles, whose parse takes minutes; --export-only leaves out POV-Ray.

#include "BenchProcess.h"
#include "BenchUtil.h"

#include "scene/PovScene.h"

#include <QGLViewer/camera.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

QString cell(double seconds, bool ok = true)
{
    if (seconds < 0) {
        return QStringLiteral("-");
    }
    return QString::number(seconds, 'f', 2) + (ok ? QString() : QStringLiteral(" FAILED"));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::vector<long> sizes;
    bool skipSlow = false;
    bool exportOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--skip-slow") {
            skipSlow = true;
        } else if (QByteArray(argv[i]) == "--export-only") {
            exportOnly = true;
        } else {
            sizes.push_back(std::atol(argv[i]));
        }
    }
    if (sizes.empty()) {
        sizes = {100000, 300000, 1000000};
    }
    QTemporaryDir work;
    if (!work.isValid()) {
        std::fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    const QString kelvane = QStringLiteral(KELVANE_EXE);
    std::printf("kelvane --render at 400x300, times in seconds (one run each)\n");
    std::printf("%9s  %-9s  %9s  %9s  %11s  %9s\n", "triangles", "form", "end2end", "parse",
                "export", "ns/tri");
    for (long wanted : sizes) {
        int n = 2;
        while (2L * n * n < wanted) {
            ++n;
        }
        const long triangles = 2L * n * n;
        const QString ply = work.filePath(QStringLiteral("torus_%1.ply").arg(triangles));
        PovScene scene;
        qglviewer::Camera camera;
        camera.setScreenWidthAndHeight(400, 300);
        {
            QuietStderr quiet;
            TriMesh torus = makeTorus(n);
            if (!torus.write(ply.toLocal8Bit().constData()) ||
                !scene.load(ply.toLocal8Bit().constData(), &camera)) {
                return 1;
            }
        }
        camera.setSceneRadius(4.0);
        camera.showEntireScene();
        for (const char* form : {"auto", "mesh2", "triangles"}) {
            const bool slow = QByteArray(form) == "triangles" ||
                              (QByteArray(form) == "auto" && triangles <= 100000);
            const QString pov = work.filePath(QStringLiteral("scene.pov"));
            PovMeshForm meshForm = PovMeshForm::Auto;
            parseMeshForm(QString::fromLatin1(form), meshForm);
            // The export alone, best of three.
            double exported = 1e30;
            for (int k = 0; k < 3; ++k) {
                QElapsedTimer exportClock;
                exportClock.start();
                scene.writePovFile(&camera, pov, meshForm);
                exported = std::min(exported, double(exportClock.nsecsElapsed()) * 1e-9);
            }
            if (exportOnly || (skipSlow && slow && triangles > 300000)) {
                std::printf("%9ld  %-9s  %9s  %9s  %11s  %9.0f\n", triangles, form, "skipped", "-",
                            qPrintable(cell(exported)), exported * 1e9 / double(triangles));
                continue;
            }
            const double parse = QByteArray(form) == "auto" ? -1.0 : parseSeconds(pov, work.path());
            const TimedRun render =
                timedRun(kelvane,
                         {QStringLiteral("--render"), work.filePath("out.png"),
                          QStringLiteral("--size"), QStringLiteral("400x300"),
                          QStringLiteral("--mesh-form"), QString::fromLatin1(form), ply},
                         work.path());
            if (!render.ok) {
                std::fprintf(stderr, "%s", render.errors.constData());
            }
            std::printf("%9ld  %-9s  %9s  %9s  %11s  %9.0f\n", triangles, form,
                        qPrintable(cell(render.seconds, render.ok)), qPrintable(cell(parse)),
                        qPrintable(cell(exported)), exported * 1e9 / double(triangles));
            std::fflush(stdout);
            QFile::remove(pov);
        }
    }
    std::printf(
        "end2end = kelvane --render (load, export, parse, render); parse = POV-Ray's\n"
        "own parse time of the text; export = writing the text, in this process, best of 3\n");
    return 0;
}
