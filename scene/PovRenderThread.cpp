#include "scene/PovRenderThread.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

PovRenderThread::PovRenderThread(QObject* parent) : QThread(parent), program(defaultProgram())
{
    qRegisterMetaType<PovProgress>("PovProgress");
}

QString PovRenderThread::defaultProgram()
{
#ifdef Q_OS_WIN
    return QStringLiteral("povray\\bin\\pvengine.exe");
#else
    return QStringLiteral("povray");
#endif
}

QStringList PovRenderThread::arguments(const QString& absoluteScene)
{
#ifdef Q_OS_WIN
    return {QStringLiteral("/RENDER"), absoluteScene, QStringLiteral("/EXIT")};
#else
    // POV-Ray 3.7 on Unix reads only a lower-case povray.ini by itself, so
    // the settings file is named; the image is a BMP (+FB), no preview
    // window (-D). Of the console streams only the fatal errors and the
    // render stream stay on: the latter carries the progress lines.
    return {QStringLiteral("POVRAY.INI"), absoluteScene,         QStringLiteral("+FB"),
            QStringLiteral("-D"),         QStringLiteral("-GD"), QStringLiteral("-GS"),
            QStringLiteral("-GW"),        QStringLiteral("+GF"), QStringLiteral("+GR")};
#endif
}

QString PovRenderThread::imageFile(bool alpha)
{
    return alpha ? QStringLiteral("tempscene.png") : QStringLiteral("tempscene.bmp");
}

void PovRenderThread::cancel()
{
    if (isRunning()) {
        cancelRequested = true;
    }
}

void PovRenderThread::run()
{
    started = false;
    timedOut = false;
    cancelled = false;
    output.clear();
    exitCode = -1;
    errorText.clear();

    const QString scene = QDir::toNativeSeparators(QFileInfo(sceneFile).absoluteFilePath());
    QProcess process;
#ifndef Q_OS_WIN
    // Without HOME, POV-Ray does not complain about a missing user
    // configuration file.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("HOME"));
    process.setProcessEnvironment(environment);
#endif
    if (!workingDirectory.isEmpty()) {
        process.setWorkingDirectory(workingDirectory);
    }
    // POV-Ray splits its command line at blanks and reads '=' and ';' as
    // its own: a scene in the working directory (where POV-Ray finds it by
    // name) is named relative to it, whatever folder that is.
    const QString folder = workingDirectory.isEmpty() ? QDir::currentPath() : workingDirectory;
    const QString relative = QDir(folder).relativeFilePath(scene);
    QStringList options = arguments(
        relative.contains(QLatin1Char('/')) || relative.contains(QLatin1Char('\\')) ? scene
                                                                                  : relative);
    if (alphaOutput) {
        options << QStringLiteral("+FN") << QStringLiteral("+UA");
    }
    process.start(program, options, QIODevice::ReadWrite);
    started = process.waitForStarted(30000);
    if (!started) {
        errorText = process.errorString();
        std::fprintf(stderr, "PovRenderThread: could not start POV-Ray (%s): %s\n",
                     qPrintable(program), qPrintable(errorText));
        std::fflush(stderr);
        process.kill();
        process.waitForFinished(1000);
        cancelRequested = false;
        return;
    }

    PovRenderProgress progress;
    emit progressChanged(progress.progress());
    QByteArray standardOutput;
    auto take = [&]() {
        const QByteArray chunk = process.readAllStandardError();
        output += chunk;
        if (progress.feed(chunk)) {
            emit progressChanged(progress.progress());
        }
        standardOutput += process.readAllStandardOutput();
    };
    QElapsedTimer clock;
    clock.start();
    // Short waits, so a cancel or the time limit is noticed promptly;
    // QProcess gathers the output meanwhile.
    while (!process.waitForFinished(50)) {
        take();
        if (process.state() == QProcess::NotRunning) {
            break;
        }
        const bool late = finishTimeout >= 0 && clock.elapsed() >= finishTimeout;
        // The window closing asks the thread itself to stop.
        if (cancelRequested || isInterruptionRequested() || late) {
            cancelled = !late;
            timedOut = late;
            process.kill();
            process.waitForFinished(5000);
            break;
        }
    }
    take();
    if (progress.finish()) {
        emit progressChanged(progress.progress());
    }
    output += standardOutput;
    if (!cancelled && !timedOut && process.exitStatus() == QProcess::NormalExit) {
        exitCode = process.exitCode();
    }
    cancelRequested = false;
}
