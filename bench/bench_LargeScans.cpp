// Large scans from end to end (not a test): rippled tori of 1M, 4M and 10M
// triangles written as binary PLY, then for each, in one run:
//  - in this process, under a display (xvfb-run, software OpenGL): the load
//    as the window does it, the first frame, when the stand-in is ready,
//    the frame time while a drag turns the camera (the stand-in), the first
//    frame after the release (the full mesh back) and the frame time at
//    rest;
//  - `kelvane --pov` at 400x300 with --detail full and auto: time and bytes;
//  - POV-Ray's own parse time of each text (its "Parse Time");
//  - `kelvane --render --size 400x300` with --detail full and auto: the time
//    from start to picture and the peak resident memory of Kelvane, of
//    POV-Ray and of both together (sampled every 20 ms).
// Medians of the frames; one run of each program.
//   xvfb-run -a -s '-screen 0 1280x1024x24' build/bench/bench_LargeScans [millions ...]

#include "BenchProcess.h"
#include "BenchUtil.h"

#include "scene/PovScene.h"
#include "viewer/GLStandIn.h"
#include "viewer/GLViewer.h"

#include <QGLViewer/camera.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

// A torus of n x n quads (2 n^2 triangles) with broad bumps and ripples
// about half a pixel deep and 10 to 20 pixels long in a 400x300 picture
// (finer ripples alias into moire patterns that differ with any change).
TriMesh rippledTorus(int n)
{
    TriMesh t;
    t.vertices.reserve(size_t(n) * size_t(n));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const float u = 6.2831853f * float(i) / float(n), w = 6.2831853f * float(j) / float(n);
            const float r = 0.7f + 0.05f * std::sin(5.0f * u) * std::cos(3.0f * w) +
                            0.01f * std::sin(36.0f * u) * std::sin(18.0f * w);
            t.vertices.emplace_back((2.0f + r * std::cos(w)) * std::cos(u),
                                    (2.0f + r * std::cos(w)) * std::sin(u), r * std::sin(w));
        }
    }
    t.faces.reserve(2 * size_t(n) * size_t(n));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const int a = i * n + j, b = ((i + 1) % n) * n + j, c = i * n + (j + 1) % n,
                      d = ((i + 1) % n) * n + (j + 1) % n;
            t.faces.emplace_back(a, b, d);
            t.faces.emplace_back(a, d, c);
        }
    }
    return t;
}

double median(std::vector<double> v)
{
    if (v.empty()) {
        return -1.0;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Resident memory of a process in MB; 0 once it is gone.
double residentMb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0.0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
        }
    }
    return 0.0;
}

// The processes started by `pid`, and theirs.
std::vector<qint64> descendantsOf(qint64 pid)
{
    std::multimap<qint64, qint64> children; // parent -> child
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 id = entry.toLongLong(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (name) state ppid ...": the name may hold blanks.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1) {
            children.emplace(rest[1].toLongLong(), id);
        }
    }
    std::vector<qint64> found{pid};
    for (size_t k = 0; k < found.size(); ++k) {
        const auto range = children.equal_range(found[k]);
        for (auto it = range.first; it != range.second; ++it) {
            found.push_back(it->second);
        }
    }
    found.erase(found.begin());
    return found;
}

struct MeasuredRun {
    double seconds = -1.0;
    bool ok = false;
    double peakSelf = 0.0, peakChildren = 0.0, peakTogether = 0.0; // MB
    QByteArray errors;
};

// Runs Kelvane to its end, sampling the resident memory of it and of the
// processes it starts (POV-Ray) every 20 ms.
MeasuredRun measuredRun(const QStringList& arguments, const QString& directory)
{
    MeasuredRun run;
    QProcess process;
    process.setWorkingDirectory(directory);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(KELVANE_EXE), arguments);
    if (!process.waitForStarted(30000)) {
        return run;
    }
    const qint64 pid = process.processId();
    while (!process.waitForFinished(20)) {
        const double self = residentMb(pid);
        double children = 0.0;
        for (qint64 child : descendantsOf(pid)) {
            children += residentMb(child);
        }
        run.peakSelf = std::max(run.peakSelf, self);
        run.peakChildren = std::max(run.peakChildren, children);
        run.peakTogether = std::max(run.peakTogether, self + children);
    }
    run.seconds = double(clock.nsecsElapsed()) * 1e-9;
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    run.errors = process.readAllStandardError();
    return run;
}

struct ViewTimes {
    double load = -1, firstFrame = -1, standInReady = -1, turning = -1, backToFull = -1,
           rest = -1;
    int standInFrames = 0;
};

double grabSeconds(GLViewer& viewer)
{
    QElapsedTimer clock;
    clock.start();
    viewer.grabFramebuffer();
    return double(clock.nsecsElapsed()) * 1e-9;
}

ViewTimes viewTimes(const QString& ply)
{
    ViewTimes t;
    PovScene scene;
    GLViewer viewer;
    viewer.resize(800, 600);
    viewer.show();
    for (int i = 0; i < 50; ++i) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
    QElapsedTimer clock;
    clock.start();
    {
        QuietStderr quiet;
        viewer.makeCurrent();
        scene.load(QFile::encodeName(ply).constData(), viewer.camera());
        viewer.doneCurrent();
    }
    t.load = double(clock.nsecsElapsed()) * 1e-9;
    viewer.setScene(&scene);
    viewer.resetCamera();
    clock.restart();
    viewer.grabFramebuffer();
    t.firstFrame = double(clock.nsecsElapsed()) * 1e-9;
    GLStandIns& standIns = viewer.standInModels();
    LnModel* model = scene.models.size() > 1 ? scene.models[1] : nullptr;
    while (model && !standIns.ready(model) && clock.elapsed() < 600000) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
    t.standInReady = double(clock.nsecsElapsed()) * 1e-9;

    const QPoint from(400, 300), step(8, 1);
    QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&viewer, &press);
    std::vector<double> turning;
    const int standInBefore = standIns.standInDraws;
    for (int i = 1; i <= 9; ++i) {
        QMouseEvent move(QEvent::MouseMove, from + step * i, Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&viewer, &move);
        turning.push_back(grabSeconds(viewer));
    }
    t.standInFrames = standIns.standInDraws - standInBefore;
    t.turning = median(turning);
    QMouseEvent release(QEvent::MouseButtonRelease, from + step * 9, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&viewer, &release);
    t.backToFull = grabSeconds(viewer);
    std::vector<double> rest;
    for (int i = 0; i < 5; ++i) {
        rest.push_back(grabSeconds(viewer));
    }
    t.rest = median(rest);
    viewer.makeCurrent();
    scene.clear();
    viewer.doneCurrent();
    return t;
}

QString seconds(double s, bool ok = true)
{
    return s < 0 ? QStringLiteral("-")
                 : QString::number(s, 'f', s < 1 ? 3 : 1) + (ok ? QString() : QStringLiteral("!"));
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    std::vector<double> millions;
    for (int i = 1; i < argc; ++i) {
        millions.push_back(std::atof(argv[i]));
    }
    if (millions.empty()) {
        millions = {1, 4, 10};
    }
    QTemporaryDir work;
    if (!work.isValid()) {
        std::fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    std::printf("| triangles | load | first frame | stand-in ready | frame turning | full mesh "
                "back | frame at rest | --pov full: s, MB | --pov auto: s, MB | parse full | "
                "parse auto | render full | render auto | peak full: kelvane, POV-Ray, both "
                "(MB) | peak auto: kelvane, POV-Ray, both (MB) | auto vs full: mean grey difference, "
                "pixels off by more than 16 |\n");
    std::printf("|%s\n", QString("---|").repeated(17).toLatin1().constData());
    std::fflush(stdout);
    for (double m : millions) {
        int n = 2;
        while (2.0 * n * n < m * 1e6) {
            ++n;
        }
        const long long triangles = 2LL * n * n;
        const QString ply = work.filePath(QStringLiteral("torus_%1.ply").arg(triangles));
        {
            QuietStderr quiet;
            if (!rippledTorus(n).write(QFile::encodeName(ply).constData())) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(ply));
                return 1;
            }
        }
        const ViewTimes view = viewTimes(ply);

        std::map<QString, MeasuredRun> pov, render;
        std::map<QString, double> bytes, parse;
        for (const QString& detail : {QStringLiteral("full"), QStringLiteral("auto")}) {
            const QString file = work.filePath("scene_" + detail + ".pov");
            pov[detail] = measuredRun({"--pov", file, "--size", "400x300", "--detail", detail, ply},
                                      work.path());
            bytes[detail] = double(QFileInfo(file).size()) / 1e6;
            parse[detail] = parseSeconds(file, work.path());
            QFile::remove(file);
            render[detail] = measuredRun({"--render", work.filePath("out_" + detail + ".png"),
                                          "--size", "400x300", "--detail", detail, ply},
                                         work.path());
            if (!render[detail].ok) {
                std::fprintf(stderr, "%s", render[detail].errors.constData());
            }
        }
        // How far the automatic detail's picture is from the full one.
        const QImage a(work.filePath("out_full.png")), b(work.filePath("out_auto.png"));
        double sum = 0.0;
        long off = 0;
        if (a.size() == b.size()) {
            for (int y = 0; y < a.height(); ++y) {
                for (int x = 0; x < a.width(); ++x) {
                    const int d = std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
                    sum += d;
                    off += d > 16;
                }
            }
        }
        const double pixels = std::max(1.0, double(a.width()) * a.height());
        auto peaks = [](const MeasuredRun& r) {
            return QStringLiteral("%1, %2, %3")
                .arg(r.peakSelf, 0, 'f', 0)
                .arg(r.peakChildren, 0, 'f', 0)
                .arg(r.peakTogether, 0, 'f', 0);
        };
        std::printf("| %lld | %s | %s | %s | %s | %s | %s | %s, %.0f | %s, %.1f | %s | %s | %s | %s | "
                    "%s | %s | %.2f, %.2f%% |\n",
                    triangles, qPrintable(seconds(view.load)), qPrintable(seconds(view.firstFrame)),
                    qPrintable(seconds(view.standInReady)),
                    qPrintable(seconds(view.turning) +
                               (view.standInFrames == 9 ? QString() : QStringLiteral(" (full)"))),
                    qPrintable(seconds(view.backToFull)), qPrintable(seconds(view.rest)),
                    qPrintable(seconds(pov["full"].seconds, pov["full"].ok)), bytes["full"],
                    qPrintable(seconds(pov["auto"].seconds, pov["auto"].ok)), bytes["auto"],
                    qPrintable(seconds(parse["full"])), qPrintable(seconds(parse["auto"])),
                    qPrintable(seconds(render["full"].seconds, render["full"].ok)),
                    qPrintable(seconds(render["auto"].seconds, render["auto"].ok)),
                    qPrintable(peaks(render["full"])), qPrintable(peaks(render["auto"])),
                    sum / pixels, 100.0 * double(off) / pixels);
        std::fflush(stdout);
        QFile::remove(ply);
    }
    std::printf("Times in seconds; the frame times are medians of the grabbed frames (9 while "
                "turning, 5 at rest) at 800x600; ! marks a run that failed.\n");
    return 0;
}
