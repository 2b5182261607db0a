// kelvane --thumbnail SIZE SCENE PNG: the picture a file manager shows for
// a model file or scene document, drawn without a display (see
// ThumbnailPicture.h) and written only once it is whole.

#include "app/CommandLineJobs.h"

#include "scene/SaveFile.h"
#include "app/ThumbnailPicture.h"
#include "scene/PovImporter.h"
#include "scene/PovScene.h"
#include "scene/PovSceneDocument.h"
#include "scene/PovSceneFiles.h"
#include "trimesh/TriMesh.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>

#include <QGLViewer/camera.h>

#include <memory>
#include <new>

namespace {

// The models of a scene, as loaded for the window and the renders, in the
// colours their file gives.
std::vector<ThumbnailModel> sceneModels(PovScene& scene)
{
    std::vector<ThumbnailModel> models;
    for (int m = 1; m < scene.modelCount(); ++m) { // model 0 is the ground
        LnMesh* mesh = scene.models[size_t(m)]->getMesh();
        const PovTexture& texture = scene.textures[size_t(m)];
        ThumbnailModel model;
        model.faces = mesh->getNumFaces();
        model.face = [mesh](long long f, vec corner[3], vec normal[3]) {
            mesh->getFaceVertices(int(f), corner[0], corner[1], corner[2]);
            mesh->getFaceNormals(int(f), normal[0], normal[1], normal[2]);
        };
        model.rgb[0] = texture.red;
        model.rgb[1] = texture.green;
        model.rgb[2] = texture.blue;
        models.push_back(model);
    }
    return models;
}

// True for the files read by the mesh toolkit alone, without the data the
// feature lines need (curvatures take most of a large mesh's loading). OBJ
// files go through the scene, which reads the colours of their materials.
bool readAsPlainMesh(const QString& fileName)
{
    const PovImporter* importer = PovImporters::forFile(fileName);
    return importer && importer->formatName() == QLatin1String("Meshes") &&
           QFileInfo(fileName).suffix().toLower() != QLatin1String("obj");
}

bool save(const QImage& picture, const QString& fileName)
{
    // PNG whatever the name: file managers name the file they ask for as
    // they please.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    QString error;
    if (writer.write(picture) && saveBytes(fileName, bytes, &error)) {
        return true;
    }
    if (error.isEmpty()) {
        error = writer.errorString();
    }
    say(QStringLiteral("cannot write the thumbnail '%1': %2").arg(fileName, error));
    return false;
}

// Reads the mesh and draws it, fitted as the view fits a model it loads
// (or as the named view of --view).
QImage plainMeshThumbnail(const CommandLineOptions& options, QString& error)
{
    const QString& fileName = options.scene;
    const int size = options.thumbnailSize;
    std::string reason;
    std::unique_ptr<TriMesh> mesh(TriMesh::read(QFile::encodeName(fileName).constData(), reason));
    if (!mesh) {
        error = QString::fromStdString(reason);
        return QImage();
    }
    mesh->unpackStrips();
    if (mesh->faces.empty()) {
        error = QStringLiteral("the file holds no triangles, only points or lines");
        return QImage();
    }
    mesh->computeNormals();
    mesh->computeBoundingSphere();
    qglviewer::Camera camera;
    setUpCamera(camera, QSize(size, size));
    const float radius = mesh->sphereRadius > 0.0f ? 1.1f * mesh->sphereRadius : 1e-6f;
    const vec& center = mesh->sphereCenter;
    if (options.viewGiven) {
        placeCamera(camera, options.view, qglviewer::Vec(center[0], center[1], center[2]), radius);
    } else {
        camera.setSceneRadius(radius);
        camera.setSceneCenter(qglviewer::Vec(center[0], center[1], center[2]));
        camera.showEntireScene();
    }
    ThumbnailModel model;
    model.faces = (long long)mesh->faces.size();
    const TriMesh* m = mesh.get();
    const size_t vertices = m->vertices.size();
    model.face = [m, vertices](long long f, vec corner[3], vec normal[3]) {
        const Face& face = m->faces[size_t(f)];
        for (int k = 0; k < 3; ++k) {
            const size_t v = size_t(face.v[k]);
            // The reader checks every index; this only guards the drawing.
            corner[k] = v < vertices ? m->vertices[v] : vec();
            normal[k] = v < m->normals.size() ? m->normals[v] : vec();
        }
    };
    const QImage picture = drawThumbnail({model}, camera, size);
    if (picture.isNull()) {
        error = QStringLiteral("there is not enough memory for a %1-pixel thumbnail").arg(size);
    }
    return picture;
}

} // namespace

int runThumbnail(const CommandLineOptions& options)
{
    const QString refused = refusedOutput(options.thumbnailImage, {options.scene});
    if (!refused.isEmpty()) {
        say(QStringLiteral("will not write '%1': %2").arg(options.thumbnailImage, refused));
        return 1;
    }
    const int size = options.thumbnailSize;
    if (QFileInfo::exists(options.scene) && notAFileReason(options.scene).isEmpty() &&
        readAsPlainMesh(options.scene)) {
        QString error;
        QImage picture;
        try {
            picture = plainMeshThumbnail(options, error);
        } catch (const std::bad_alloc&) {
            error = PovScene::memoryError(options.scene);
        }
        if (picture.isNull()) {
            say(QStringLiteral("cannot read '%1': %2").arg(options.scene, error));
            return 1;
        }
        return save(picture, options.thumbnailImage) ? 0 : 1;
    }

    PovScene scene;
    // The model in the colours its file gives, as a file manager user
    // expects to recognise it.
    scene.fileColours = true;
    qglviewer::Camera camera;
    setUpCamera(camera, QSize(size, size));
    PovSceneView view;
    QStringList read, notes;
    if (!loadScene(scene, options.scene, options.imports, &camera, view, read, &notes)) {
        return 1;
    }
    // A scene document's model file is known now.
    const QString modelRefused = refusedOutput(options.thumbnailImage, read);
    if (!modelRefused.isEmpty()) {
        say(QStringLiteral("will not write '%1': %2").arg(options.thumbnailImage, modelRefused));
        return 1;
    }
    fitCamera(scene, camera, view, options);
    const QImage picture = drawThumbnail(sceneModels(scene), camera, size);
    if (picture.isNull()) {
        say(QStringLiteral("there is not enough memory for a %1-pixel thumbnail").arg(size));
        return 1;
    }
    return save(picture, options.thumbnailImage) ? 0 : 1;
}
