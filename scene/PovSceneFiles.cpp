#include "scene/PovSceneFiles.h"

#include "scene/PovSceneDocument.h"

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
    // they show; a scene document names its model file, which it is read
    // (and checked) to find.
    if (PovSceneDocument::isDocumentFile(scene)) {
        PovScene loaded;
        PovSceneDocument document;
        if (!document.open(scene, loaded, nullptr)) {
            if (error) {
                *error = QStringLiteral("cannot open the scene document '%1': %2")
                             .arg(scene, document.error());
            }
            return {};
        }
        return {info.absoluteFilePath(), document.modelFile()};
    }
    return {info.absoluteFilePath()};
}
