#pragma once
// Times one run of another program (Kelvane, the spread script) for the
// end-to-end benchmarks.

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <sys/resource.h>

struct TimedRun {
    double seconds = -1.0; // wall clock; negative when it did not start
    double cpu = 0.0;      // processor seconds of every process the run started
    bool ok = false;       // ended normally with status 0
    QByteArray errors;     // its standard error, unless forwarded
};

// User and system time of the children waited for so far.
inline double childrenCpu()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// Runs `program` in `directory` to its end, however long it takes. With
// `forwardErrors` its standard error goes to ours as it comes.
inline TimedRun timedRun(const QString& program, const QStringList& arguments,
                         const QString& directory,
                         const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
                         bool forwardErrors = false)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.setProcessEnvironment(env);
    if (forwardErrors) {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    const double cpuBefore = childrenCpu();
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    TimedRun run;
    if (!process.waitForStarted(30000)) {
        return run;
    }
    process.waitForFinished(-1);
    run.seconds = double(clock.nsecsElapsed()) * 1e-9;
    run.cpu = childrenCpu() - cpuBefore;
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!forwardErrors) {
        run.errors = process.readAllStandardError();
    }
    return run;
}

// POV-Ray's "Parse Time: ... (3.98 seconds)" for the scene, rendered 1x1 in
// `directory`; negative when POV-Ray did not start or said no parse time.
inline double parseSeconds(const QString& scene, const QString& directory)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.start(QStringLiteral("povray"),
                  {scene, QStringLiteral("+W1"), QStringLiteral("+H1"), QStringLiteral("-F"),
                   QStringLiteral("-D"), QStringLiteral("+GS"), QStringLiteral("-GR")});
    if (!process.waitForStarted(30000)) {
        return -1.0;
    }
    process.waitForFinished(-1);
    const QRegularExpression parse(QStringLiteral("Parse Time:.*\\(\\s*([0-9.]+) seconds\\)"));
    const QRegularExpressionMatch m =
        parse.match(QString::fromLatin1(process.readAllStandardError()));
    return m.hasMatch() ? m.captured(1).toDouble() : -1.0;
}
