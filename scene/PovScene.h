#pragma once
// PovScene: the program's one scene. Models (index 0 is the generated ground
// plane), one texture per model, the lights, the bounding sphere of the
// loaded models and the ground settings. The scene owns its models.
//
// Loading, clearing and destroying build or delete OpenGL display lists:
// the viewer's context must be current.

#include "ln/LnLineSettings.h"
#include "ln/LnModel.h"
#include "scene/PovEnvironment.h"
#include "scene/PovLight.h"
#include "scene/PovPlacement.h"
#include "scene/PovRenderSettings.h"
#include "scene/PovTexture.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

namespace qglviewer {
class Camera;
}

// One model file of the scene: where it was read from and where its models
// stand. The sphere and ground height are the file's own, as its importer
// gave them, before the placement.
struct PovSceneFile {
    QString path; // absolute
    PovPlacement placement;
    vec center;
    float radius = 0.0f;
    float groundZ = 0.0f;
};

// A file's part of a scene taken out of it (a file removed, or an import
// undone): its record, its models with their textures and subdivision
// steps. It owns the models until they are put back, and deletes those it
// still holds (with the viewer's OpenGL context current).
struct PovFileContent {
    PovFileContent() = default;
    PovFileContent(const PovFileContent&) = delete;
    PovFileContent& operator=(const PovFileContent&) = delete;
    ~PovFileContent();
    PovSceneFile file;
    std::vector<LnModel*> models;
    std::vector<PovTexture> textures; // parallel to models
    // The model files, in the order their models follow the ground, and
    // for every model the file it belongs to (-1 for the ground).
    std::vector<PovSceneFile> files;
    std::vector<int> modelFiles;   // parallel to models
    std::vector<int> subdivisions; // parallel to models
};

class PovScene {
public:
    PovScene() = default;
    ~PovScene();
    PovScene(const PovScene&) = delete;
    PovScene& operator=(const PovScene&) = delete;

    // Replaces the scene by the content of the file, read by the importer
    // PovImporters::forFile picks for its name (see PovImporter.h). Returns
    // false, with the scene empty, " LN WARNING - PovScene::load - No models
    // loaded.\n" on standard error and loadError() set, when no model
    // results. `camera` is the viewer's camera, which a file with a camera
    // (KMZ, COLLADA, glTF) may reposition.
    //
    // A file whose models cannot get the memory they need is refused the
    // same way, with "not enough memory to open FILE (needs about N MB)"
    // and loadFailedForMemory() set; the process goes on. When the estimate
    // (memoryNeeded) already exceeds the memory left, before it is read.
    bool load(const char* fileName, qglviewer::Camera* camera);

    // Composing: adds the models of another file to the scene, after those
    // already there, each with its own default texture (or file colour),
    // the scene's ambient level, and the identity placement; bounds and
    // ground size grow to cover them, the ground's height and the lights
    // stay. On an empty scene it is load() without a camera. Returns false,
    // with the scene as it was and loadError() set, when the file gives no
    // model.
    bool importFile(const char* fileName);
    int fileCount() const { return int(files.size()); }
    // The file model `index` came from; -1 for the ground or a bad index.
    int fileOf(int index) const;
    // The first model of file `file` and how many it has.
    int firstModelOf(int file) const;
    int modelCountOf(int file) const;
    // The placement model `index` is drawn, picked and written with (the
    // identity for the ground).
    const PovPlacement& placementOf(int index) const;
    // Moves file `file` and refits the bounds and the ground's size.
    void setPlacement(int file, const PovPlacement& placement);
    // The lowest z of file `file`'s models where they are placed.
    float lowestPoint(int file) const;
    // The placements that put the lowest point of the file on the ground
    // plane, and the centre of its models' sphere on the origin.
    PovPlacement droppedToGround(int file) const;
    PovPlacement centredOnOrigin(int file) const;
    // Takes file `file` and its models out of the scene, and puts such a
    // part back as file `file`; both refit the bounds. A scene keeps at
    // least its last file.
    std::unique_ptr<PovFileContent> takeFile(int file);
    void putFile(int file, std::unique_ptr<PovFileContent> content);
    // Puts `model` (owned by the scene from then on) in place of model
    // `index` with `steps` subdivision steps; returns the model it
    // replaced, which the caller then owns.
    LnModel* exchangeModel(int index, LnModel* model, int steps);
    // A copy of smooth model `index`, subdivided once more, with its
    // shading; null for a model that cannot be subdivided.
    LnModel* subdividedCopy(int index) const;
    // Recomputes the bounds from the files' placed spheres (for one file at
    // its identity placement, exactly its importer's) and rebuilds the
    // ground to match.
    void updateBounds();
    // Why the last load failed, as a sentence for the user; empty after a
    // successful load.
    const QString& loadError() const { return lastError; }
    bool loadFailedForMemory() const { return outOfMemory; }
    // The sentence for a file that could not get its memory, with the
    // memory its models would take as estimated from the file's size.
    static QString memoryError(const QString& fileName);
    // The memory, in bytes, the models of the file would take once loaded:
    // from the counts in the header of a PLY or OFF file, else from its
    // size and kind.
    static double memoryNeeded(const QString& fileName);

    // Deletes every model, empties models, textures and lights and hides
    // the ground.
    void clear();
    // Exchanges the whole content of the two scenes (models, textures,
    // lights, bounds, ground, lighting, load error). Lets a scene be built
    // aside and taken over only once it is known to be good.
    void swap(PovScene& other);

    void bounds(vec& center, float& radius) const;
    // Centred at the origin; radius 1.2 times the farthest light's distance
    // from the origin, 0 without lights.
    void lightBounds(vec& center, float& radius) const;

    // The sphere a view fits its camera to: the models' sphere times 1.1;
    // with the light markers shown, the lights' sphere times 1.1 under
    // indoor lighting and the models' sphere times 3 under outdoor
    // lighting. Never smaller than a radius of 1e-6 (1 for an empty scene).
    void viewSphere(bool showLights, vec& center, float& radius) const;

    void setAmbientAll(float ambient);
    // The ambient light the render gets: the plain average of the lights'
    // colours (their intensities left out), black without lights.
    vec ambientLight() const;
    // The lamp presets; both leave an environment or the studio.
    void setOutdoorLighting();
    void setIndoorLighting();
    // The studio: the backdrop in `backdrop` colour, and a key, a fill and
    // a rim light in place of the lights (see PovEnvironment.cpp).
    void setStudioLighting(const QColor& backdrop);
    // Lights the scene from the panorama (already read) of `file`, turned
    // `turn` degrees about +z, its values times `strength`; the lights stay
    // but are not used while the environment is.
    void setEnvironmentLighting(const QString& file,
                                const std::shared_ptr<const PovPanorama>& panorama, double turn,
                                double strength);

    bool canSubdivide(int index) const;
    void subdivide(int index);
    // How many times model `index` has been subdivided since it was loaded.
    int subdivisions(int index) const;
    void setFlatShading(int index, bool flat);

    void resizeTextures(int count);
    void setTexture(int index, const PovTexture& texture) { textures[index] = texture; }
    void setLight(int index, const PovLight& light) { lights[index] = light; }

    // The POV-Ray scene description of the scene seen through `camera`:
    // includes, camera, lights, ambient light, texture declarations, the
    // ground plane when visible, and one mesh per loaded model, in the
    // `form` resolved for triangleCount() (resolveMeshForm; a model without
    // faces is always written as an empty mesh block). povText
    // keeps the text in `text` and returns it; writePovFile writes it to the
    // file (truncated, Latin-1, bare line feeds). A file that cannot be
    // opened, written or closed (a full disk) gives false and, in `error`,
    // a sentence naming the file and the system's reason; what was written
    // of it then is incomplete.
    QString& povText(qglviewer::Camera* camera, PovMeshForm form = PovMeshForm::Auto);
    bool writePovFile(qglviewer::Camera* camera, const QString& fileName, QString* error = nullptr);
    bool writePovFile(qglviewer::Camera* camera, const QString& fileName, PovMeshForm form,
                      QString* error = nullptr);
    // The same for the quality, background and mesh form of `settings`.
    // Draft quality with a black background gives the text above, byte for
    // byte. Photo quality gives a scene in POV-Ray 3.7's own mode
    // ("#version 3.7;", assumed_gamma 1.0) with the panels' colours as sRGB,
    // every light an area light (photoLightSpread() of its distance across),
    // radiosity in place of the flat ambient light, lit by the sky or, for
    // other backgrounds, by an unseen dome of the ambient light's colour.
    QString& povText(qglviewer::Camera* camera, const PovRenderSettings& settings);
    bool writePovFile(qglviewer::Camera* camera, const QString& fileName,
                      const PovRenderSettings& settings, QString* error = nullptr);
    // Photo quality's area light size as a share of the light's distance:
    // narrow for the sun (about 3 degrees), wide for indoor lights.
    // The studio's lights are wider still, for soft shadows.
    float photoLightSpread() const
    {
        return stage.studio() ? 0.3f : outdoorLighting ? 0.05f : 0.15f;
    }
    // For many pictures of one large scene (a turntable's frames): writes
    // the models' mesh blocks, as the scene's text would hold them for
    // `settings` and a picture through `camera` (the detail of a large
    // model is chosen for it), to `fileName`, then deletes every model but
    // the ground;
    // the text written afterwards includes that file in their place (the
    // textures, lights and bounds stay). False, with the reason in `error`
    // and the scene unchanged, when the file cannot be written.
    bool moveModelsToFile(const QString& fileName, qglviewer::Camera* camera,
                          const PovRenderSettings& settings, QString* error = nullptr);
    // Writes "POVRAY.INI" in the current directory: "+W<width> +H<height>\n".
    // False, with the reason in `error`, when it cannot be written.
    bool writeIniFile(int width, int height, QString* error = nullptr);

    int modelCount() const { return int(models.size()); }
    int lightCount() const { return int(lights.size()); }
    // Sum of the triangles of every model, the ground included.
    long long triangleCount() const;

    std::vector<LnModel*> models;
    std::vector<PovTexture> textures; // parallel to models
    // The model files, in the order their models follow the ground, and
    // for every model the file it belongs to (-1 for the ground).
    std::vector<PovSceneFile> files;
    std::vector<int> modelFiles; // parallel to models
    std::vector<PovLight> lights;
    QString text; // the last scene description built by the writer
    QString modelsFile; // set by moveModelsToFile
    vec center;
    float radius = 1.0f;
    bool groundVisible = false;
    bool outdoorLighting = true;
    float groundZ = -1.0f;
    // Materials from File. When set, loading gives each model the material
    // its file gives (see PovFileMaterial.h): the diffuse colour of the
    // COLLADA material bound to most of its triangles, an NPR model's
    // commonest face colour, an OBJ material's Kd, Ks, Ns, d and map_Kd image
    // (an OBJ file is then split by material), a glTF material's base colour
    // and image, metallic and roughness, an Assimp material's diffuse colour.
    // Off by default; glTF, 3MF and the Assimp formats take their file
    // materials whether it is set or not.
    bool fileColours = false;
    // An environment panorama or the studio, when one is chosen (see
    // PovEnvironment.h).
    PovStage stage;

    // Feature lines: drawn by the view and, while shown, written as ink
    // after the meshes (see PovInk.h).
    LnLineSettings lines;

private:
    bool validIndex(int index) const { return index >= 0 && index < modelCount(); }
    // load() without its guard against a failed allocation.
    bool readModels(const char* fileName, qglviewer::Camera* camera);
    void addGround();
    // A ground quad of the current bounds and height.
    LnModel* makeGround() const;
    QString lastError;
    bool outOfMemory = false;
    std::vector<int> subdivided; // steps per model; may be shorter than models
};

// `kelvane SCENE --import FILE ...`: imports each file into the scene in
// turn (PovScene::importFile), each at the identity placement. Stops at the
// first that gives no model, with "cannot import 'FILE': REASON" in
// `error`; the files before it stay imported.
bool importModelFiles(PovScene& scene, const QStringList& files, QString* error = nullptr);
