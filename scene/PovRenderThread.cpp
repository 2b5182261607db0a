#include "scene/PovRenderThread.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <memory>

PovRenderThread::PovRenderThread(QObject* parent) : QThread(parent)
{
#ifdef Q_OS_WIN
    program = QStringLiteral("povray\\bin\\pvengine.exe");
#else
    program = QStringLiteral("povray");
#endif
}

QStringList PovRenderThread::arguments(const QString& absoluteScene)
{
#ifdef Q_OS_WIN
    return {QStringLiteral("/RENDER"), absoluteScene, QStringLiteral("/EXIT")};
#else
    // POV-Ray 3.7 on Unix reads only a lower-case povray.ini by itself, so
    // the settings file is named; the image is a BMP (+FB), no preview
    // window (-D), and only the essential console output (-V -GA).
    return {QStringLiteral("POVRAY.INI"), absoluteScene, QStringLiteral("+FB"),
            QStringLiteral("-D"), QStringLiteral("-V"), QStringLiteral("-GA")};
#endif
}

void PovRenderThread::run()
{
    started = false;
    timedOut = false;
    output.clear();
    exitCode = -1;
    errorText.clear();

    const QString scene = QDir::toNativeSeparators(QFileInfo(sceneFile).absoluteFilePath());
    std::unique_ptr<QProcess> process(new QProcess);
#ifndef Q_OS_WIN
    // Without HOME, POV-Ray does not complain about a missing user
    // configuration file.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("HOME"));
    process->setProcessEnvironment(environment);
#endif
    process->start(program, arguments(scene), QIODevice::ReadWrite);
    started = process->waitForStarted(30000);
    if (!started) {
        errorText = process->errorString();
        std::fprintf(stderr, "PovRenderThread: could not start POV-Ray (%s): %s\n",
                     qPrintable(program), qPrintable(errorText));
        std::fflush(stderr);
        return;
    }
    // Waits in short steps, so a requested interruption (the window
    // closing) stops the renderer at once.
    bool finished = false;
    QElapsedTimer waited;
    waited.start();
    while (!finished && !isInterruptionRequested() && waited.elapsed() < 30000) {
        finished = process->waitForFinished(50);
    }
    if (finished) {
        if (process->exitStatus() == QProcess::NormalExit) {
            exitCode = process->exitCode();
        }
    } else {
        timedOut = !isInterruptionRequested();
    }
    output = process->readAllStandardError() + process->readAllStandardOutput();
    // Destroying the process kills a renderer that is still running.
}
