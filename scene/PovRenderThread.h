#pragma once
// PovRenderThread: runs POV-Ray on a scene file in the background. It waits
// at most 30 s for the renderer to start and then as long as the render
// takes (or finishTimeout, when one is set), reads the renderer's console
// output as it comes and reports the stage and percentage through
// progressChanged(). cancel() (or QThread::requestInterruption()) ends the
// renderer at once. The renderer reads
// its settings from "POVRAY.INI" in the current directory and leaves
// "tempscene.bmp" beside the scene file. The end is announced by QThread's
// finished() signal; the thread never touches widgets.
//
// The GUI thread sets sceneFile (and, if it wants, program and
// finishTimeout) before start() and does not touch them while the thread
// runs. The outcome fields are written by the thread and may be read once
// it has finished.

#include "scene/PovRenderProgress.h"

#include <QMetaType>
#include <QStringList>
#include <QThread>

#include <atomic>

Q_DECLARE_METATYPE(PovProgress)

class PovRenderThread : public QThread {
    Q_OBJECT
public:
    explicit PovRenderThread(QObject* parent = nullptr);

    // The scene to render, relative to the current directory or absolute.
    QString sceneFile;
    // The renderer to start: "povray" found on PATH (POV-Ray 3.7); on
    // Windows "povray\\bin\\pvengine.exe" relative to the current directory.
    QString program;
    // The renderer found as the render windows find it (the default of
    // `program`).
    static QString defaultProgram();
    // The longest wait for the renderer to finish once started, in
    // milliseconds; negative waits as long as it takes.
    int finishTimeout = -1;
    // When set, the renderer writes "tempscene.png" with an alpha channel
    // (+FN +UA, after the other options so they win) instead of the BMP.
    bool alphaOutput = false;

    // The picture the renderer leaves beside the scene file: "tempscene.png"
    // with alphaOutput, "tempscene.bmp" without.
    static QString imageFile(bool alpha);

    // Where the renderer runs and finds "POVRAY.INI"; empty: the current
    // directory.
    QString workingDirectory;

    // The arguments the renderer gets for a scene at `absoluteScene`.
    static QStringList arguments(const QString& absoluteScene);

    // Ends a running render: the renderer is killed within a fraction of a
    // second, `cancelled` is set and finished() follows as usual. Does
    // nothing when no render runs. May be called from any thread.
    void cancel();

    // Outcome of the last run.
    bool started = false;
    bool timedOut = false;
    bool cancelled = false;
    int exitCode = -1; // -1 unless the renderer exited by itself
    QString errorText; // why the renderer could not start, if it could not
    QByteArray output; // what the renderer printed (standard error, then output)

    // True when the renderer ran to its end and reported success.
    bool succeeded() const { return started && !timedOut && !cancelled && exitCode == 0; }
    // POV-Ray's own messages in `output` (see PovRenderProgress::messages).
    QStringList messages() const { return PovRenderProgress::messages(output); }

signals:
    // Emitted from the render thread whenever the stage or percentage moves;
    // connections to GUI objects are queued.
    void progressChanged(const PovProgress& progress);

protected:
    void run() override;

private:
    std::atomic<bool> cancelRequested{false};
};
