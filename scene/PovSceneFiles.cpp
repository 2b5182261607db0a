#include "scene/PovSceneFiles.h"

#include <QFileInfo>

QStringList sceneFiles(const QString& scene, QString* error)
{
    const QFileInfo info(scene);
    if (!info.isFile()) {
        if (error) {
            *error = QStringLiteral("no such file: '%1'").arg(scene);
        }
        return {};
    }
    // Model files (NPR, OFF, PLY, OBJ) and KMZ archives hold everything
    // they show.
    return {info.absoluteFilePath()};
}
