#pragma once
// PovRenderThread: runs POV-Ray on a scene file in the background and waits
// for it (at most 30 s to start and 30 s to finish; a renderer still running
// then is killed). The renderer reads the image size from "POVRAY.INI" in
// the current directory and leaves "tempscene.bmp" beside the scene file.
// The end is announced by QThread's finished() signal. requestInterruption()
// stops a running renderer within a few hundredths of a second.
//
// The GUI thread sets sceneFile (and, if it wants, program) before start()
// and does not touch them while the thread runs. The outcome fields are
// written by the thread and may be read once it has finished.

#include <QStringList>
#include <QThread>

class PovRenderThread : public QThread {
public:
    explicit PovRenderThread(QObject* parent = nullptr);

    // The scene to render, relative to the current directory or absolute.
    QString sceneFile;
    // The renderer to start: "povray" found on PATH (POV-Ray 3.7); on
    // Windows "povray\\bin\\pvengine.exe" relative to the current directory.
    QString program;

    // The arguments the renderer gets for a scene at `absoluteScene`.
    static QStringList arguments(const QString& absoluteScene);

    // Outcome of the last run.
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;
    QString errorText; // why the renderer could not start, if it could not
    QByteArray output; // what the renderer printed (standard error, then output)

protected:
    void run() override;
};
