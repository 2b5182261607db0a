#include "app/CommandLineJobs.h"

#include "scene/SaveFile.h"
#include "scene/PovTurntable.h"

#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>

namespace {

// False, after saying why, when a file of the frame may not be written
// (see refusedOutput); `read` are the files the scene was read from.
bool mayWrite(const FrameFiles& files, const QStringList& read)
{
    for (const QString& name : {files.pov, files.render, files.preview}) {
        const QString why = name.isEmpty() ? QString() : refusedOutput(name, read);
        if (!why.isEmpty()) {
            say(QStringLiteral("will not write '%1': %2").arg(name, why));
            return false;
        }
    }
    return true;
}

} // namespace

bool forEachFrame(const CommandLineOptions& options, qglviewer::Camera* camera,
                  const QStringList& read, const std::function<bool(const FrameFiles&)>& make)
{
    if (options.turntableFrames == 0) {
        const FrameFiles files{options.povFile, options.renderImage, options.previewImage};
        return mayWrite(files, read) && make(files);
    }
    qglviewer::Frame* frame = camera->frame();
    const qglviewer::Vec position = frame->position();
    const qglviewer::Quaternion orientation = frame->orientation();
    const qglviewer::Vec center = camera->sceneCenter();
    auto name = [](const QString& pattern, int k) {
        return pattern.isEmpty() ? pattern : frameFileName(pattern, k);
    };
    bool made = true;
    for (int k = options.firstFrame; k <= options.lastFrame && made; ++k) {
        frame->setPositionAndOrientation(position, orientation);
        turnCamera(*camera, center, k, options.turntableFrames);
        setCurrentPiece(QStringLiteral("frame %1 of %2").arg(k).arg(options.turntableFrames));
        const FrameFiles files{name(options.povFile, k), name(options.renderImage, k),
                               name(options.previewImage, k)};
        made = mayWrite(files, read) && make(files);
    }
    frame->setPositionAndOrientation(position, orientation);
    setCurrentPiece(QString());
    return made;
}
