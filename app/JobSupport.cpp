#include "app/CommandLineJobs.h"

#include "scene/SaveFile.h"
#include "scene/PovScene.h"
#include "scene/PovSceneDocument.h"
#include "scene/PovSceneFiles.h"

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

#include <QGLViewer/camera.h>
#include <QGLViewer/quaternion.h>

#include <cstdio>

namespace {

QString piece;

} // namespace

void setCurrentPiece(const QString& name) { piece = name; }

const QString& currentPiece() { return piece; }

void say(const QString& line)
{
    if (!piece.isEmpty()) {
        std::fprintf(stderr, "kelvane: %s: %s\n", qPrintable(piece), qPrintable(line));
    } else {
        std::fprintf(stderr, "kelvane: %s\n", qPrintable(line));
    }
    std::fflush(stderr);
}

bool imageFormatKnown(const QString& fileName)
{
    const QByteArray suffix = QFileInfo(fileName).suffix().toLower().toLatin1();
    return !suffix.isEmpty() && QImageWriter::supportedImageFormats().contains(suffix);
}

bool saveImage(const QImage& image, const QString& fileName)
{
    QString error;
    if (!saveImageFile(image, fileName, &error)) {
        say(QStringLiteral("cannot write the image '%1': %2").arg(fileName, error));
        return false;
    }
    return true;
}

bool applyOptions(PovScene& scene, const CommandLineOptions& options)
{
    if (!PovSceneDocument::isDocumentFile(options.scene)) {
        scene.groundVisible = options.ground;
    } else if (options.ground) {
        scene.groundVisible = true;
    }
    if (options.indoor && scene.outdoorLighting) {
        scene.setIndoorLighting();
    }
    scene.lines = options.lines;
    return applyStageOptions(scene, options);
}

void applyCamera(qglviewer::Camera* camera, const PovSceneView& view)
{
    if (view.hasCamera) {
        camera->setPosition(view.cameraPosition);
        camera->setOrientation(view.cameraOrientation);
        camera->setFieldOfView(view.fieldOfView);
    }
}

bool runView(const CommandLineOptions& options, const PovSceneView& view,
             const qglviewer::Camera& camera, PovNamedView& named)
{
    if (options.viewGiven) {
        named = options.view;
        return true;
    }
    // A model file that places a camera (KMZ, COLLADA, glTF) has turned
    // the camera from its starting orientation, the identity.
    const qglviewer::Quaternion q = camera.orientation();
    const bool fileCamera = q[0] != 0.0 || q[1] != 0.0 || q[2] != 0.0 || q[3] != 1.0;
    if (options.turntableFrames > 0 && !view.hasCamera && !fileCamera) {
        named = PovNamedView::ThreeQuarter;
        return true;
    }
    return false;
}

void fitCamera(const PovScene& scene, qglviewer::Camera& camera, const PovSceneView& view,
               const CommandLineOptions& options)
{
    vec center;
    float radius;
    scene.viewSphere(view.showLights, center, radius);
    PovNamedView named;
    if (runView(options, view, camera, named)) {
        if (view.hasCamera) {
            camera.setFieldOfView(view.fieldOfView);
        }
        placeCamera(camera, named, qglviewer::Vec(center[0], center[1], center[2]), radius);
        return;
    }
    camera.setSceneRadius(radius);
    camera.setSceneCenter(qglviewer::Vec(center[0], center[1], center[2]));
    camera.showEntireScene();
    applyCamera(&camera, view);
}

namespace {

bool loadSceneFile(PovScene& scene, const QString& path, qglviewer::Camera* camera,
                   PovSceneView& view, QStringList& read, QStringList* notes)
{
    read = QStringList{path};
    if (!QFileInfo::exists(path)) {
        say(QStringLiteral("no such file: '%1'").arg(path));
        return false;
    }
    const QString special = notAFileReason(path);
    if (!special.isEmpty()) {
        say(QStringLiteral("cannot read '%1': %2").arg(path, special));
        return false;
    }
    if (PovSceneDocument::isDocumentFile(path)) {
        PovSceneDocument document;
        if (!document.open(path, scene, camera)) {
            say(QStringLiteral("cannot open the scene document '%1': %2")
                    .arg(path, document.error()));
            return false;
        }
        for (const QString& note : document.warnings()) {
            if (notes) {
                *notes << note;
            } else {
                say(QStringLiteral("'%1': %2").arg(path, note));
            }
        }
        view = document.view();
        read << document.modelFiles();
        return true;
    }
    if (!scene.load(QFile::encodeName(path).constData(), camera)) {
        say(QStringLiteral("cannot read '%1': %2").arg(path, scene.loadError()));
        return false;
    }
    return true;
}

} // namespace

bool loadScene(PovScene& scene, const QString& path, const QStringList& imports,
               qglviewer::Camera* camera, PovSceneView& view, QStringList& read, QStringList* notes)
{
    if (!loadSceneFile(scene, path, camera, view, read, notes)) {
        return false;
    }
    QString why;
    if (!importModelFiles(scene, imports, &why)) {
        say(why);
        return false;
    }
    read << imports;
    return true;
}

void setUpCamera(qglviewer::Camera& camera, const QSize& size)
{
    camera.setScreenWidthAndHeight(size.width(), size.height());
    camera.setZClippingCoefficient(5.0);
}

CommandLineOptions withDocumentSettings(const CommandLineOptions& options, const PovSceneView& view)
{
    CommandLineOptions effective = options;
    if (view.hasRender) {
        effective.render = view.render;
        PovRenderSettings::fromJson(options.renderGiven, effective.render);
    }
    return effective;
}
