#pragma once
// Shared by the importer's fuzz targets: messages are dropped (the targets
// look for crashes, leaks and undefined behaviour, not for lines), and
// every load is followed by what the scene's KMZ branch does with it.

#include "collada/CdaScene.h"
#include "ln/LnModel.h"

#include <QtGlobal>

#include <vector>

inline void dropMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

inline void useLikeTheScene(CdaScene& scene)
{
    const CdaNode* model = scene.findNode(QStringLiteral("Model"));
    std::vector<LnModel*> models;
    scene.buildModels(model, models);
    if (!model) {
        // Documents of other exporters: top-level nodes, their colours and
        // the camera.
        std::vector<CdaScene::FileColour> colours;
        scene.buildSceneModels(models, &colours);
        vec center, lo, hi;
        float radius = 0.0f;
        scene.sceneBounds(center, radius, lo, hi);
        Matrix4 view;
        (void)scene.sceneCameraMatrix(view);
    }
    for (LnModel* m : models) {
        vec a, b, c;
        LnMesh* mesh = m->getMesh();
        for (int i = 0; i < mesh->getNumFaces(); ++i) {
            mesh->getFaceVertices(i, a, b, c);
            mesh->getFaceNormals(i, a, b, c);
        }
        delete m;
    }
    vec center, lo, hi;
    float radius = 0.0f;
    scene.boundingSphere(model, center, radius);
    scene.boundingBox(model, lo, hi);
    if (const CdaNode* camera = scene.findNode(QStringLiteral("Camera"))) {
        (void)camera->matrix.isFinite();
    }
}
