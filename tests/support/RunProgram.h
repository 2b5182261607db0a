#pragma once
// Runs a program to its end for a test and keeps what it said.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct Run {
    int status = -1; // the exit status; -1 when it crashed or did not finish in time
    QString out;
    QString err;
};

// Runs `program` with `arguments` in `environment`, in `workingDirectory`
// (empty: the test's own), killing it after `timeoutMs`.
inline Run
runProgram(const QString& program, const QStringList& arguments,
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
           const QString& workingDirectory = QString(), int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty()) {
        process.setWorkingDirectory(workingDirectory);
    }
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("%1 did not finish in time").arg(program);
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}
