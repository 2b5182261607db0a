#pragma once
// TurntableRender: renders the frames of a turntable one after the other in
// the background, from the main window. The scene is written for POV-Ray
// once, when the render starts, so later edits (or another scene opened)
// do not reach the frames under way; each frame is a small file that
// includes it and gives POV-Ray the turned camera, which replaces the one
// in the scene (POV-Ray uses the last camera it reads). Frames are saved as
// "frame_000.png", "frame_001.png", ... in the chosen folder. No widgets:
// the window shows the progress it reports.

#include "scene/PovRenderSettings.h"
#include "scene/PovRenderThread.h"

#include <QGLViewer/camera.h>

#include <QObject>
#include <QSize>
#include <QStringList>

#include <memory>

class PovScene;
class QTemporaryDir;

class TurntableRender : public QObject {
    Q_OBJECT
public:
    explicit TurntableRender(QObject* parent = nullptr);
    // Stops a running render and waits for POV-Ray to end.
    ~TurntableRender() override;

    // The name of frame `frame` in `folder`.
    static QString frameFile(const QString& folder, int frame);

    // Starts rendering frames 0 to frames-1 of `scene` seen through
    // `camera` (copied), turned about the vertical axis through `center`,
    // at `size` with all of `settings` (quality, background, antialiasing,
    // mesh form). Returns false, with a sentence in `error`, when a render
    // already runs, the folder cannot be made or the scene cannot be
    // written.
    bool start(PovScene& scene, const qglviewer::Camera& camera, const qglviewer::Vec& center,
               int frames, const QString& folder, const QSize& size,
               const PovRenderSettings& settings, QString* error = nullptr);
    // Ends the render: POV-Ray is stopped at once and finished() follows.
    void cancel();
    bool isRunning() const { return running; }

    // The frames saved so far by the last render.
    QStringList saved;

signals:
    // The frame under way (from 0) and how far POV-Ray is with it.
    void frameProgress(int frame, int frames, const PovProgress& progress);
    // The end: all frames saved, or the reason they were not (empty when
    // cancelled).
    void finished(bool succeeded, const QString& failure);

private:
    void startFrame();
    void frameFinished();
    void end(bool succeeded, const QString& failure);

    PovRenderThread thread;
    std::unique_ptr<QTemporaryDir> work;
    qglviewer::Camera view;
    qglviewer::Vec center;
    qglviewer::Vec position;
    qglviewer::Quaternion orientation;
    QString folder;
    PovRenderSettings settings;
    int frames = 0;
    int frame = 0;
    bool running = false;
    bool cancelled = false;
};
