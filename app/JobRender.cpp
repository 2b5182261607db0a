#include "app/CommandLineJobs.h"

#include "scene/PovBand.h"
#include "scene/PovCompactMesh.h"
#include "scene/PovDetail.h"
#include "scene/PovRenderThread.h"
#include "scene/PovScene.h"
#include "scene/PovSceneDocument.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <QGLViewer/camera.h>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Shows POV-Ray's progress on one line of standard error, when that is a
// terminal; called from the render thread.
class ProgressLine {
public:
    ProgressLine()
    {
#ifdef Q_OS_UNIX
        shown = isatty(STDERR_FILENO);
#endif
    }
    void show(const PovProgress& progress)
    {
        if (shown) {
            const QString piece =
                currentPiece().isEmpty() ? QString() : currentPiece() + QStringLiteral(": ");
            std::fprintf(stderr, "\rkelvane: %-50s", qPrintable(piece + progress.text()));
            std::fflush(stderr);
            used = true;
        }
    }
    // Ends the line, so what follows starts on a line of its own.
    void end()
    {
        if (used) {
            std::fputc('\n', stderr);
            used = false;
        }
    }

private:
    bool shown = false;
    bool used = false;
};

} // namespace

// Renders the scene with POV-Ray in a private temporary directory (the
// renderer's three working files stay out of the user's way) and saves the
// picture, with POV-Ray's own messages when it fails.
bool renderPicture(PovScene& scene, qglviewer::Camera* camera, const CommandLineOptions& options,
                   const QString& imageFile, bool releaseScene)
{
    QTemporaryDir work;
    if (!work.isValid()) {
        say(QStringLiteral("cannot create a temporary directory for POV-Ray"));
        return false;
    }
    PovRenderSettings settings = options.render;
    settings.useViewSize = false;
    settings.size = options.size;
    // Which detail a large model is rendered at, before the work starts.
    const QString detail = povDetailSentence(scene, camera, settings);
    if (!detail.isEmpty()) {
        say(detail);
    }
    const QString previous = QDir::currentPath();
    QDir::setCurrent(work.path());
    QString error;
    if (!scene.writePovFile(camera, QStringLiteral("tempscene.pov"), settings, &error)) {
        QDir::setCurrent(previous);
        say(error);
        return false;
    }
    if (releaseScene) {
        // POV-Ray is about to hold the whole scene itself: the models go,
        // and the freed memory goes back to the system, so that the two
        // processes never hold a large mesh at once.
        scene.clear();
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    }
    // What the settings leave to the run (the band's rows, the threads)
    // goes into the same single write.
    const PovBandInfo band = bandOfRender(options, settings.toJson());
    QString iniError;
    const bool iniWritten = settings.writeIniFile(QStringLiteral("POVRAY.INI"), options.size,
                                                  extraIniLines(options, band), &iniError);
    PovRenderThread thread;
    ProgressLine line;
    if (iniWritten) {
        thread.sceneFile = QStringLiteral("tempscene.pov");
        thread.alphaOutput = settings.alphaOutput();
        if (options.timeoutSeconds >= 0) {
            thread.finishTimeout = int(std::min(options.timeoutSeconds * 1000LL, 2147483647LL));
        }
        QObject::connect(
            &thread, &PovRenderThread::progressChanged, &thread,
            [&line](const PovProgress& progress) { line.show(progress); }, Qt::DirectConnection);
        thread.start();
        thread.wait();
        line.end();
    }
    const QImage picture =
        thread.succeeded() ? QImage(PovRenderThread::imageFile(settings.alphaOutput())) : QImage();
    QDir::setCurrent(previous);

    if (!iniWritten) {
        say(iniError);
        return false;
    }
    if (!thread.started) {
        say(QStringLiteral("POV-Ray could not be started (%1: %2); install the packages povray "
                           "and povray-includes")
                .arg(thread.program, thread.errorText));
        return false;
    }
    if (picture.isNull()) {
        QStringList why = thread.messages();
        why.removeAll(QStringLiteral("Render failed"));
        if (thread.timedOut) {
            why = QStringList{QStringLiteral("it did not finish within %1 seconds (--timeout)")
                                  .arg(options.timeoutSeconds)};
        } else if (why.isEmpty() && thread.exitCode == 0) {
            why << QStringLiteral("it left no picture");
        }
        // POV-Ray's own lines, on the one line this failure gets.
        const QString reasons = why.join(QStringLiteral("; "));
        say(QStringLiteral("POV-Ray failed to render the scene%1")
                .arg(reasons.isEmpty() ? QString() : QStringLiteral(": ") + reasons));
        return false;
    }
    if (options.bands > 0) {
        return saveBand(picture, band, options, imageFile);
    }
    return saveImage(picture, imageFile);
}

bool writePov(PovScene& scene, qglviewer::Camera* camera, const QString& fileName,
              const PovRenderSettings& settings)
{
    QString error;
    if (!scene.writePovFile(camera, fileName, settings, &error)) {
        say(error);
        return false;
    }
    return true;
}

int runHeadless(const CommandLineOptions& given)
{
    CommandLineOptions options = given;
    PovScene scene;
    qglviewer::Camera camera;
    setUpCamera(camera, options.size);
    scene.fileColours = options.fileColours;
    PovSceneView view;
    QStringList read;
    if (!loadScene(scene, options.scene, options.imports, &camera, view, read)) {
        return 1;
    }
    options = withDocumentSettings(given, view);
    if (!applyOptions(scene, options)) {
        return 1;
    }
    fitCamera(scene, camera, view, options);

    // A turntable of a large scene without ink (or a studio backdrop sized
    // from the models): the meshes' text is the
    // same in every frame, so it is written once, beside the frames, and the
    // models go before the first POV-Ray starts (the frames' own --pov files
    // would need them whole).
    QTemporaryDir shared;
    if (options.turntableFrames > 0 && !options.renderImage.isEmpty() &&
        options.povFile.isEmpty() && !scene.lines.shown && !scene.stage.studio() &&
        scene.triangleCount() >= compactMeshTriangles) {
        QString error;
        if (!shared.isValid()) {
            say(QStringLiteral("cannot create a temporary directory for POV-Ray"));
            return 1;
        }
        // Every frame sees the scene from the same distance, so the detail
        // chosen for the first frame's picture holds for all of them.
        PovRenderSettings settings = options.render;
        settings.useViewSize = false;
        settings.size = options.size;
        if (!scene.moveModelsToFile(shared.filePath(QStringLiteral("models.inc")), &camera,
                                    settings, &error)) {
            say(error);
            return 1;
        }
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    }

    const bool made = forEachFrame(options, &camera, read, [&](const FrameFiles& files) {
        if (!files.pov.isEmpty() && !writePov(scene, &camera, files.pov, options.render)) {
            return false;
        }
        // A single picture is the last use of the scene.
        return files.render.isEmpty() ||
               renderPicture(scene, &camera, options, files.render, options.turntableFrames == 0);
    });
    return made ? 0 : 1;
}
