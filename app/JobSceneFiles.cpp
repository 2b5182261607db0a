#include "app/CommandLineJobs.h"

#include "scene/PovSceneFiles.h"

#include <cstdio>

int runSceneFiles(const CommandLineOptions& options)
{
    QString error;
    const QStringList files = sceneFiles(options.scene, &error);
    if (files.isEmpty()) {
        say(error);
        return 1;
    }
    for (const QString& file : files) {
        std::fputs(qPrintable(escapedFileName(file) + QLatin1Char('\n')), stdout);
    }
    return 0;
}

int runCopyScene(const CommandLineOptions& options)
{
    QString error, copied;
    if (!copyScene(options.scene, options.copyFolder, &copied, &error)) {
        say(QStringLiteral("cannot copy the scene: %1").arg(error));
        return 1;
    }
    std::fputs(qPrintable(escapedFileName(copied) + QLatin1Char('\n')), stdout);
    return 0;
}
