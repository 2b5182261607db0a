#pragma once
// PovSceneDocument: a Kelvane scene document (".kelvane"), a small JSON file
// that keeps the user's work on a scene: the model files it was composed of
// (each relative to the document when it can be) with their placements,
// every model's texture, shading and subdivision steps, the ground's
// height, visibility and material, the lights, outdoor or indoor lighting,
// the camera, the view's toggles and the render settings.
//
// Version 2 lists the files as "files": [{"path", "translate", "rotate",
// "scale", "models": [...]}], the ground apart ("groundModel",
// "groundHeight"). Version 1 named one file, "model", and one "models" list
// that starts with the ground; it opens as that file at the identity
// placement, and is saved as version 2.
//
// The document carries a format version. Fields this version does not know
// are ignored, so later versions can add to it (a "render" object, for
// one); a document from a newer version opens what it can and says so in
// warnings(). Every field but "version", the files and their "models" may
// be left out and keeps what loading the models gives.
//
// A model file that is missing or cannot be read is left out, with a
// sentence naming it in warnings(), when others remain; the document is
// refused when none remains, or when a file gives another number of models
// than the document describes (the file changed since).
//
// Opening reads and checks the whole document first, then loads the model
// files into the scene it is given, which should be a fresh one: on any
// failure that scene may be half built and is to be thrown away, so a
// caller that loads into a scene of its own and swaps it in only on success
// loses nothing of the scene it had.

#include "scene/PovRenderSettings.h"
#include "scene/PovScene.h"

#include <QString>
#include <QStringList>

#include <QGLViewer/quaternion.h>
#include <QGLViewer/vec.h>

namespace qglviewer {
class Camera;
}

// What a document records beyond the scene itself.
struct PovSceneView {
    bool wireframe = false;
    bool showLights = false;
    // The camera: false when the document records none, and the camera is
    // left as loading the model placed it.
    bool hasCamera = false;
    qglviewer::Vec cameraPosition;
    qglviewer::Quaternion cameraOrientation;
    double fieldOfView = 0.0; // vertical, radians
    // The render settings: false when the document records none.
    bool hasRender = false;
    PovRenderSettings render;
};

class PovSceneDocument {
public:
    // The version this program writes.
    static constexpr int formatVersion = 2;
    // The file name suffix, without the dot.
    static QString suffix() { return QStringLiteral("kelvane"); }
    // True for a name ending in ".kelvane", in any case.
    static bool isDocumentFile(const QString& fileName);

    // The document's JSON text for the scene seen through `camera` (null:
    // no camera recorded). `modelFile` is written relative to the folder of
    // `documentFile` when it lies there or below, absolute otherwise.
    static QByteArray toJson(const PovScene& scene, const qglviewer::Camera* camera,
                             const PovSceneView& view, const QString& modelFile,
                             const QString& documentFile);
    // Writes the document (replacing the file only once the whole text is
    // written). Returns false with `error` set to a sentence for the user.
    static bool save(const QString& documentFile, const QString& modelFile, const PovScene& scene,
                     const qglviewer::Camera* camera, const PovSceneView& view, QString& error);

    // Reads and checks the document, loads its model file into `scene` and
    // applies everything recorded; the camera (may be null) is placed as
    // recorded. Returns false with error() set when the document cannot be
    // used; `scene` is then to be discarded. A document whose model (or
    // its subdivision) cannot get its memory is refused with
    // PovScene::memoryError's sentence.
    bool open(const QString& documentFile, PovScene& scene, qglviewer::Camera* camera);

    // Why open() failed, a sentence naming the problem; empty on success.
    const QString& error() const { return lastError; }
    // What open() could not apply but went on without (a newer format).
    const QStringList& warnings() const { return notes; }
    // The model file the document names, as an absolute path (set as soon
    // as it is known).
    const QString& modelFile() const { return model; }
    // Every model file the opened scene holds, absolute, in its order.
    const QStringList& modelFiles() const { return modelPaths; }
    // The environment image the opened scene is lit by (absolute); empty
    // without one.
    const QString& environmentFile() const { return environment; }
    // The view recorded by the last successful open().
    const PovSceneView& view() const { return recordedView; }

private:
    // open() without its guard against a failed allocation.
    bool read(const QString& documentFile, PovScene& scene, qglviewer::Camera* camera);

    QString lastError;
    QStringList notes;
    QString model;
    QStringList modelPaths;
    QString environment;
    PovSceneView recordedView;
};
