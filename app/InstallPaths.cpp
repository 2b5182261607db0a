#include "app/InstallPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString installedSamplesDirectory()
{
    // Before the application object exists Qt cannot say where the program
    // is; the kernel's link to the running executable can.
    const QString program = QCoreApplication::instance()
                                ? QCoreApplication::applicationFilePath()
                                : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (program.isEmpty()) {
        return QString();
    }
    const QFileInfo samples(
        QFileInfo(program).absoluteDir().filePath(QStringLiteral(KELVANE_SAMPLES_FROM_BIN)));
    return samples.isDir() ? samples.canonicalFilePath() : QString();
}
