// Benchmark of the compact mesh2 text of large meshes (not a test): for a
// rippled torus of each size, saved as binary PLY, the bytes and export time
// of the compact text against the text smaller meshes keep, POV-Ray's parse
// time of each, and the peak resident memory of `kelvane --render --size
// 400x300` and of the POV-Ray it starts (sampled every 20 ms), with the
// models released before POV-Ray starts and kept. Both forms
// in the same run; export best of three below 5M triangles, else one run.
//   build/bench/bench_CompactMesh [torus side ...] [--keep] [--no-render]
// (side 710: 1M triangles, 2237: 10M); --keep leaves the scene files.

#include "bench/BenchProcess.h"
#include "bench/BenchUtil.h"
#include "scene/PovCompactMesh.h"
#include "scene/PovScene.h"

#include <QGLViewer/camera.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A process's resident memory and its high-water mark, in MB (0 once gone).
void residentOf(qint64 pid, double& rss, double& hwm)
{
    rss = hwm = 0.0;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 2 && words[0] == "VmRSS:") {
            rss = words[1].toDouble() / 1024.0;
        } else if (words.size() >= 2 && words[0] == "VmHWM:") {
            hwm = words[1].toDouble() / 1024.0;
        }
    }
}

// The children of a process (POV-Ray, under Kelvane).
QList<qint64> childrenOf(qint64 pid)
{
    QList<qint64> all;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(task + QStringLiteral("/children")));
        if (children.open(QIODevice::ReadOnly)) {
            for (const QByteArray& word : children.readAll().simplified().split(' ')) {
                if (!word.isEmpty()) {
                    all << word.toLongLong();
                }
            }
        }
    }
    return all;
}

struct Peaks {
    double seconds = -1.0;
    double kelvane = 0.0, povray = 0.0, together = 0.0; // MB
    bool ok = false;
};

// `kelvane --render` of the model at 400x300; with `kept`, as a one-frame
// turntable that also writes the frame's --pov file, for which Kelvane
// keeps its models while POV-Ray runs, as every render did before.
Peaks renderPeaks(const QString& kelvane, const QString& model, const QString& image, bool kept)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    QStringList arguments = {QStringLiteral("--size"), QStringLiteral("400x300"), model};
    if (kept) {
        arguments << QStringLiteral("--turntable") << QStringLiteral("1") << QStringLiteral("--pov")
                  << image + QStringLiteral("%d.pov") << QStringLiteral("--render")
                  << image + QStringLiteral("%d.png");
    } else {
        arguments << QStringLiteral("--render") << image + QStringLiteral(".png");
    }
    process.start(kelvane, arguments);
    Peaks peaks;
    if (!process.waitForStarted(30000)) {
        return peaks;
    }
    const qint64 pid = process.processId();
    while (!process.waitForFinished(20)) {
        double rss, hwm, total = 0.0;
        residentOf(pid, rss, hwm);
        peaks.kelvane = std::max(peaks.kelvane, hwm);
        total += rss;
        for (qint64 child : childrenOf(pid)) {
            residentOf(child, rss, hwm);
            peaks.povray = std::max(peaks.povray, hwm);
            total += rss;
        }
        peaks.together = std::max(peaks.together, total);
    }
    peaks.seconds = double(clock.nsecsElapsed()) * 1e-9;
    peaks.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return peaks;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::vector<int> sides;
    bool keep = false, memory = true;
    for (int k = 1; k < argc; ++k) {
        const std::string word = argv[k];
        if (word == "--keep") {
            keep = true;
        } else if (word == "--no-render") {
            memory = false;
        } else {
            sides.push_back(std::atoi(argv[k]));
        }
    }
    if (sides.empty()) {
        sides = {710, 2237};
    }
    QTemporaryDir dir;
    dir.setAutoRemove(!keep);
    if (keep) {
        std::printf("scene files kept in %s\n", qPrintable(dir.path()));
    }
    const QString kelvane = QStringLiteral(KELVANE_EXE);
    std::printf("%10s %8s %10s %9s %9s   %s\n", "triangles", "form", "bytes", "export s",
                "parse s", "");
    for (int side : sides) {
        const QString ply = dir.filePath(QStringLiteral("torus%1.ply").arg(side));
        size_t triangles = 0;
        {
            TriMesh torus = makeTorus(side);
            triangles = torus.faces.size();
            QuietStderr quiet;
            if (!torus.write(("ply_binary:" + QFile::encodeName(ply).toStdString()).c_str())) {
                return 1;
            }
        }
        PovScene scene;
        qglviewer::Camera camera;
        camera.setScreenWidthAndHeight(400, 300);
        {
            QuietStderr quiet;
            if (!scene.load(QFile::encodeName(ply).constData(), &camera)) {
                return 1;
            }
        }
        double parse[2] = {0, 0};
        for (int compact = 0; compact < 2; ++compact) {
            compactMeshTriangles = compact ? 200000 : INT_MAX;
            const QString pov = dir.filePath(QStringLiteral("scene%1.pov").arg(compact));
            double best = 1e300;
            for (int run = 0; run < (triangles < 5000000 ? 3 : 1); ++run) {
                QElapsedTimer clock;
                clock.start();
                QString error;
                if (!scene.writePovFile(&camera, pov, PovMeshForm::Mesh2, &error)) {
                    std::printf("%s\n", qPrintable(error));
                    return 1;
                }
                best = std::min(best, double(clock.nsecsElapsed()) * 1e-9);
            }
            parse[compact] = parseSeconds(pov, dir.path());
            std::printf("%10zu %8s %10lld %9.2f %9.2f\n", triangles, compact ? "compact" : "today",
                        QFileInfo(pov).size(), best, parse[compact]);
            std::fflush(stdout);
            if (!keep) {
                QFile::remove(pov);
            }
        }
        std::printf("%10s parse time compact/today %.2f\n", "", parse[1] / std::max(parse[0], 1e-3));
        compactMeshTriangles = 200000;
        scene.clear();
        if (!memory) {
            continue;
        }
        for (bool kept : {true, false}) {
            const Peaks p = renderPeaks(kelvane, ply, dir.filePath(QStringLiteral("render")), kept);
            std::printf("%10zu  kelvane --render 400x300, models %s: %.1f s%s, peak resident "
                        "kelvane %.0f MB, povray %.0f MB, together %.0f MB\n",
                        triangles, kept ? "kept    " : "released", p.seconds,
                        p.ok ? "" : " FAILED", p.kelvane, p.povray, p.together);
            std::fflush(stdout);
        }
        QFile::remove(ply);
    }
    return 0;
}
