#pragma once
// PovImporter: one importer of model files. Each says which file names it
// takes and turns a file into the scene's pieces: models (each with its
// triangles, normals and place), their file colours, the bounds the view
// and ground fit to, an optional camera, or the reason it refused the
// file. PovImporters is the registry that picks the importer for a name;
// the scene asks it and knows nothing else of the formats.
//
// Importers run in the GUI thread: models build OpenGL display lists (see
// PovScene).

#include "ln/LnModel.h"
#include "scene/PovTexture.h"

#include <QString>
#include <QStringList>

#include <vector>

struct ImportedScene;

struct PovImport {
    // What a model's pigment starts as when file colours are used.
    struct Colour {
        bool known = false;
        vec rgb = vec(1.0f, 1.0f, 1.0f);
        // The whole file material (colour or image, finish), when the
        // importer read one; it wins over `rgb`.
        bool material = false;
        PovTexture texture;
    };
    // The models read, owned by whoever holds the import.
    std::vector<LnModel*> models;
    // One per model, or fewer (the rest unknown).
    std::vector<Colour> colours;
    // The sphere the view fits to and the height of the ground.
    vec center;
    float radius = 1.0f;
    float groundZ = -1.0f;
    // The camera's world matrix (column by column; it looks along its -z),
    // when the file places one.
    bool cameraKnown = false;
    double camera[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    // Why no model came out, as a sentence for the user.
    QString reason;
};

class PovImporter {
public:
    virtual ~PovImporter() = default;
    // The formats' name for file dialogs, such as "glTF 2.0".
    virtual QString formatName() const = 0;
    // Name patterns for file dialogs, such as "*.gltf" and "*.glb".
    virtual QStringList patterns() const = 0;
    // Whether this importer takes a file of this name.
    virtual bool takes(const QString& fileName) const = 0;
    // Reads the file into `out` (empty on entry). `fileColours` asks for the
    // file's colours, and lets an importer split models by material.
    virtual void import(const QString& fileName, bool fileColours, PovImport& out) = 0;
    // Whether models of this format take their file materials even when
    // the user has not asked for them (the formats that carry materials
    // as a matter of course: glTF, 3MF and those Assimp reads).
    virtual bool materialsByDefault() const { return false; }
};

namespace PovImporters {

// The importer for the name, asked in a fixed order: NPR model files (the
// name contains ".npr"), the toolkit's meshes (the name contains ".off",
// ".ply" or ".obj", or ends in .stl, .3ds, .sm, .ray or those three in any
// case), COLLADA and KMZ (ends in "dae" or "kmz", any case), glTF (.gltf,
// .glb), and Assimp for any other extension it reads. None for other names.
PovImporter* forFile(const QString& fileName);
// The Open dialog's filters: every readable file and scene documents
// first, then one per format family.
QString openDialogFilter();
// Every pattern of every importer, such as "*.gltf".
QStringList patterns();

// Turns plain meshes into boxy models with their colours, file materials
// (images decoded, see PovFileMaterial.h), bounds and camera, as the glTF
// and Assimp importers hand them over.
void takeMeshes(const ImportedScene& scene, PovImport& out);

} // namespace PovImporters
