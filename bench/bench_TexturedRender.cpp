// What file images cost (not a test): a textured glTF asset against the
// same asset with its base colour images taken out of its materials, in
// one run.
//   xvfb-run -a build/bench/bench_TexturedRender [model.gltf] [runs]
// End to end: `kelvane --render` at 800x600 (load, images decoded and
// written beside the scene, export, POV-Ray's parse and render), the best
// of `runs` (default 3). In the view: the time of one frame of the OpenGL
// view (the mean of 200 redraws of a 800x600 view, each read back as the
// preview reads it), when a display is there. The default model is the shared Khronos Duck (a 4212-triangle
// mesh with a 512 x 512 PNG).

#include "BenchProcess.h"

#include "scene/PovScene.h"
#include "viewer/GLViewer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// The document without baseColorTexture in any material, written beside
// the original's copy.
bool writeUntextured(const QString& from, const QString& to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        return false;
    }
    QJsonObject root = QJsonDocument::fromJson(in.readAll()).object();
    QJsonArray materials = root.value(QStringLiteral("materials")).toArray();
    for (int i = 0; i < materials.size(); ++i) {
        QJsonObject m = materials[i].toObject();
        QJsonObject pbr = m.value(QStringLiteral("pbrMetallicRoughness")).toObject();
        pbr.remove(QStringLiteral("baseColorTexture"));
        m.insert(QStringLiteral("pbrMetallicRoughness"), pbr);
        materials[i] = m;
    }
    root.insert(QStringLiteral("materials"), materials);
    QFile out(to);
    return out.open(QIODevice::WriteOnly) && out.write(QJsonDocument(root).toJson()) > 0;
}

double bestRender(const QString& model, const QString& folder, int runs)
{
    double best = -1.0;
    for (int r = 0; r < runs; ++r) {
        const TimedRun run =
            timedRun(QStringLiteral(KELVANE_EXE),
                     {QStringLiteral("--render"), QDir(folder).filePath(QStringLiteral("out.png")),
                      QStringLiteral("--size"), QStringLiteral("800x600"), model},
                     folder);
        if (!run.ok) {
            std::fprintf(stderr, "render failed: %s\n", run.errors.constData());
            return -1.0;
        }
        best = best < 0.0 ? run.seconds : std::min(best, run.seconds);
    }
    return best;
}

// Mean milliseconds of one redraw of `viewer` showing `model` (-1 when
// the model cannot be loaded or the view does not draw).
double frameMs(GLViewer& viewer, PovScene& scene, const QString& model)
{
    viewer.makeCurrent();
    if (!scene.load(QFile::encodeName(model).constData(), viewer.camera())) {
        return -1.0;
    }
    viewer.setScene(&scene);
    viewer.resetCamera();
    for (int i = 0; i < 10; ++i) {
        viewer.grabFramebuffer();
    }
    const int before = viewer.drawCount();
    QElapsedTimer clock;
    clock.start();
    const int frames = 200;
    for (int i = 0; i < frames; ++i) {
        viewer.grabFramebuffer();
    }
    viewer.makeCurrent();
    glFinish();
    const double ms = double(clock.nsecsElapsed()) * 1e-6 / frames;
    return viewer.drawCount() - before == frames ? ms : -1.0;
}

} // namespace

int main(int argc, char* argv[])
{
    const bool display = std::getenv("DISPLAY") != nullptr;
    if (!display) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QString model =
        argc > 1 ? QString::fromLocal8Bit(argv[1])
                 : QStringLiteral(KELVANE_SOURCE_DIR "/../shared/data/gltf/draco/Duck/glTF/Duck.gltf");
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    QTemporaryDir work;
    const QFileInfo info(model);
    if (!work.isValid() || !info.isFile() || info.suffix().toLower() != QLatin1String("gltf")) {
        std::fprintf(stderr, "give a .gltf file (its buffers and images beside it)\n");
        return 1;
    }
    // The whole folder is copied, so the copy finds its buffers and images.
    for (const QFileInfo& f : QDir(info.absolutePath()).entryInfoList(QDir::Files)) {
        QFile::copy(f.absoluteFilePath(), work.filePath(f.fileName()));
    }
    const QString textured = work.filePath(info.fileName());
    const QString plain = work.filePath(QStringLiteral("untextured.gltf"));
    if (!writeUntextured(textured, plain)) {
        std::fprintf(stderr, "cannot write the untextured copy\n");
        return 1;
    }
    const double withImages = bestRender(textured, work.path(), runs);
    const double without = bestRender(plain, work.path(), runs);
    std::printf("render 800x600, best of %d: textured %.2f s, untextured %.2f s, ratio %.2f\n",
                runs, withImages, without, without > 0 ? withImages / without : 0.0);
    if (display) {
        GLViewer viewer;
        viewer.resize(800, 600);
        viewer.show();
        QApplication::processEvents();
        PovScene first, second, third;
        const double framePlain = frameMs(viewer, first, plain);
        const double frameTextured = frameMs(viewer, second, textured);
        const double again = frameMs(viewer, third, plain);
        std::printf("view frame 800x600: textured %.2f ms, untextured %.2f ms (%.2f ms again), "
                    "ratio %.2f\n",
                    frameTextured, framePlain, again,
                    framePlain > 0 ? frameTextured / std::min(framePlain, again) : 0.0);
    } else {
        std::printf("view frame: no display (run under xvfb-run -a)\n");
    }
    return 0;
}
