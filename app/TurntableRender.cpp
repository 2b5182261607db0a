#include "app/TurntableRender.h"

#include "scene/PovScene.h"
#include "scene/PovTurntable.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <QGLViewer/manipulatedCameraFrame.h>

TurntableRender::TurntableRender(QObject* parent) : QObject(parent)
{
    connect(&thread, &QThread::finished, this, &TurntableRender::frameFinished);
    connect(&thread, &PovRenderThread::progressChanged, this,
            [this](const PovProgress& progress) { emit frameProgress(frame, frames, progress); });
}

TurntableRender::~TurntableRender()
{
    thread.cancel();
    thread.wait();
}

QString TurntableRender::frameFile(const QString& folder, int frame)
{
    return QDir(folder).filePath(
        QStringLiteral("frame_%1.png").arg(frame, 3, 10, QLatin1Char('0')));
}

bool TurntableRender::start(PovScene& scene, const qglviewer::Camera& camera,
                            const qglviewer::Vec& axis, int count, const QString& target,
                            const QSize& size, const PovRenderSettings& chosen, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    if (running) {
        return fail(QStringLiteral("A turntable is being rendered already."));
    }
    if (count < 1 || count > maxTurntableFrames) {
        return fail(
            QStringLiteral("The frame count must be from 1 to %1.").arg(maxTurntableFrames));
    }
    if (!QDir().mkpath(target)) {
        return fail(QStringLiteral("The folder \"%1\" cannot be created.").arg(target));
    }
    work = std::make_unique<QTemporaryDir>();
    if (!work->isValid()) {
        return fail(QStringLiteral("No temporary folder can be created for POV-Ray."));
    }
    view = camera;
    view.setScreenWidthAndHeight(size.width(), size.height());
    settings = chosen;
    settings.useViewSize = false;
    settings.size = size;
    QString iniError;
    if (!settings.writeIniFile(work->filePath(QStringLiteral("POVRAY.INI")), size, &iniError)) {
        return fail(iniError);
    }
    // The whole of the settings: quality, background and antialiasing, as
    // a single render has them.
    const QString scenePath = work->filePath(QStringLiteral("scene.pov"));
    QString writeError;
    if (!scene.writePovFile(&view, scenePath, settings, &writeError)) {
        return fail(QStringLiteral("The scene cannot be written to \"%1\": %2")
                        .arg(scenePath, writeError));
    }
    center = axis;
    position = view.frame()->position();
    orientation = view.frame()->orientation();
    folder = target;
    frames = count;
    frame = 0;
    saved.clear();
    cancelled = false;
    running = true;
    startFrame();
    return true;
}

void TurntableRender::cancel()
{
    if (running) {
        cancelled = true;
        thread.cancel();
    }
}

void TurntableRender::startFrame()
{
    // The turned camera, in the writer's own words: the text of a scene
    // with nothing in it holds just the camera besides fixed lines.
    view.frame()->setPositionAndOrientation(position, orientation);
    turnCamera(view, center, frame, frames);
    PovScene empty;
    const QString text = empty.povText(&view);
    const int begin = text.indexOf(QLatin1String("camera {"));
    const int close = text.indexOf(QLatin1String("\n}\n"), begin);
    QFile file(work->filePath(QStringLiteral("tempscene.pov")));
    const QByteArray frameText =
        "#include \"scene.pov\"\n\n" + text.mid(begin, close + 3 - begin).toLatin1();
    if (begin < 0 || close < 0 || !file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(frameText) != frameText.size() || !file.flush()) {
        end(false, QStringLiteral("Frame %1 cannot be written for POV-Ray: %2")
                       .arg(frame)
                       .arg(file.errorString()));
        return;
    }
    file.close();
    QFile::remove(work->filePath(PovRenderThread::imageFile(settings.alphaOutput())));
    thread.sceneFile = file.fileName();
    thread.alphaOutput = settings.alphaOutput();
    thread.workingDirectory = work->path();
    emit frameProgress(frame, frames, PovProgress());
    thread.start();
}

void TurntableRender::frameFinished()
{
    if (!running) {
        return;
    }
    if (cancelled) {
        end(false, QString());
        return;
    }
    if (!thread.succeeded()) {
        QStringList why = thread.messages();
        if (!thread.started) {
            why.prepend(QStringLiteral("POV-Ray could not be started (%1: %2); is it installed?")
                            .arg(thread.program, thread.errorText));
        } else if (why.isEmpty()) {
            why << QStringLiteral("POV-Ray ended with exit status %1.").arg(thread.exitCode);
        }
        end(false, QStringLiteral("Frame %1 of %2 failed: %3")
                       .arg(frame)
                       .arg(frames)
                       .arg(why.join(QLatin1Char(' '))));
        return;
    }
    const QImage picture(work->filePath(PovRenderThread::imageFile(settings.alphaOutput())));
    const QString name = frameFile(folder, frame);
    if (picture.isNull() || !picture.save(name)) {
        end(false, QStringLiteral("Frame %1 cannot be saved as \"%2\".").arg(frame).arg(name));
        return;
    }
    saved << name;
    if (++frame < frames) {
        startFrame();
    } else {
        end(true, QString());
    }
}

void TurntableRender::end(bool succeeded, const QString& failure)
{
    running = false;
    work.reset();
    emit finished(succeeded, failure);
}
