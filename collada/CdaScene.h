#pragma once
// CdaScene: the COLLADA importer's root. Reads every COLLADA document of a
// KMZ (zip) archive, or one plain document, into libraries of records it
// owns, and turns subtrees of the visual scene into boxy models.
//
// Typical use (the scene model's COLLADA branch): construct, load(path),
// then findNode("Model") / buildModels / boundingSphere / boundingBox and
// findNode("Camera"), then destroy. A document without a "Model" node is
// read in full (every surface primitive, every transformation element) and
// its models come from buildSceneModels / sceneCameraMatrix instead. Models
// built here are independent of the CdaScene. Runs in the GUI thread only.
//
// Every line is written through qWarning and begins "CdaScene::load: "
// (or "CdaGeometry: " for geometry decoding). Nothing here stops the
// program; bad input gives a false result or fewer records.

#include "collada/CdaCamera.h"
#include "collada/CdaController.h"
#include "collada/CdaEffect.h"
#include "collada/CdaGeometry.h"
#include "collada/CdaLight.h"
#include "collada/CdaMaterial.h"
#include "collada/CdaNode.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include "collada/Matrix4.h"

#include <memory>
#include <utility>
#include <vector>

class LnBoxyModel;
class LnModel;

class CdaScene {
public:
    // Archive entries declaring more bytes than this are not read.
    static constexpr unsigned long long maxEntryBytes = 512ull * 1024 * 1024;
    // Documents of one archive are read until together they would pass
    // this many bytes; the rest are skipped. Everything read stays in the
    // scene, so this bounds what an archive of many entries can take.
    static constexpr unsigned long long maxArchiveBytes = 1024ull * 1024 * 1024;
    // Documents whose elements nest deeper than this are not read (the DOM
    // parser and the node readers recurse).
    static constexpr int maxElementDepth = 512;
    // Documents with more elements and attributes than this are not read:
    // the DOM takes about half a kilobyte for each, so a small archive that
    // inflates to a document of many millions of tiny elements would
    // otherwise exhaust memory. Real scenes hold far fewer.
    static constexpr long long maxDocumentNodes = 2000000;
    // Flattening and bounds follow nodes and instances at most this deep.
    static constexpr int maxVisitDepth = 1024;
    // Node visits of all flattenings of one scene, and of each bounds call.
    static constexpr long long maxVisits = 1ll << 22;
    // Entries (positions + normals + texture coordinates + 3 per triangle)
    // all flattenings of one scene may produce, and points one bounds call
    // may collect. Instancing could otherwise multiply a small document into
    // any size.
    static constexpr long long maxEntries = 1ll << 24;
    // Images larger than this many pixels are not decoded for a colour.
    static constexpr long long maxImagePixels = 64ll * 1024 * 1024;

    CdaScene();
    ~CdaScene(); // the root tree first, then the libraries in table order
    CdaScene(const CdaScene&) = delete;
    CdaScene& operator=(const CdaScene&) = delete;

    // By the last three characters of the path, in any case: "kmz" reads an
    // archive, "dae" a plain document; anything else writes
    // "CdaScene::load: unrecognized file type: %s\n" and returns false.
    bool load(const QString& path);

    // Reads every entry whose name ends in "dae" (any case), in archive
    // order, with load(bytes); a document that fails to parse does not stop
    // the walk. Returns true when the walk ends, also without any such entry.
    // False, with a line, when the archive cannot be opened ("could not
    // open: %s"), an entry's information cannot be read ("error %d with
    // zipfile in unzGetCurrentFileInfo") or an entry reads short ("error
    // reading %s in %s"); documents read before stay. An entry declaring
    // more than maxEntryBytes is skipped with a line. The declared size is
    // never trusted for allocation: the buffer grows with what is read.
    bool loadKmz(const QString& path);

    // Writes "CdaScene::load: Opened %s\n" and reads the file with
    // load(bytes). False, silently, when the file cannot be opened.
    bool loadDae(const QString& path);

    // Parses one document and appends its records. A document whose first
    // visual scene has a node with id "Model" is read in that layout: its
    // geometries decode only <triangles>, its root is the first visual
    // scene and its up axis is not applied. Any other document decodes
    // every surface primitive, and its root is the visual scene that
    // <scene><instance_visual_scene> names (the first one without it).
    // Its <library_images> and <library_controllers> (skins and morphs,
    // whose source geometry <instance_controller> then places) are read
    // silently. Once the document is read, every <instance_node> of its
    // library nodes and visual scene is resolved: to a library node (of
    // any document read so far), else a node nested inside one, else a
    // node of this visual scene.
    // On a parse failure
    // writes "CdaScene::load: DOM read failure: %s at row %d, col %d\n",
    // writes the bytes to "dom_error_dump.txt" in the current directory and
    // returns false, the scene unchanged. Otherwise writes the six count
    // lines, "Read root node" and "success!", and returns true.
    bool load(const QByteArray& bytes);

    // First record with exactly this id (no leading '#'), or none.
    const CdaNode* findLibraryNode(const QString& id) const;
    const CdaGeometry* findGeometry(const QString& id) const;
    const CdaCamera* findCamera(const QString& id) const;
    const CdaLight* findLight(const QString& id) const;
    const CdaMaterial* findMaterial(const QString& id) const;
    const CdaEffect* findEffect(const QString& id) const;
    // The first <controller> with this id whose chain ends in a geometry
    // read before it, or none.
    const CdaController* findController(const QString& id) const;

    // Depth-first from the root: a node's children are searched, in order,
    // before the node itself. Instances are not followed. None without a
    // root or without a match.
    const CdaNode* findNode(const QString& id) const;

    // Fills `out` (id "concat_geom", the given type, one triangle group)
    // with every geometry of that type found at the leaves of the node's
    // subtree, each placed by the product of the matrices above it from the
    // node down (a leaf's own matrix is not applied). A node with children
    // or an instance node is not a leaf; its own geometry is ignored. When a
    // limit above is reached the rest is left out and
    // "CdaScene::load: node %s is nested, instanced or sized beyond the
    // importer's limits; part of it is left out\n" is written.
    void concatGeometry(const CdaNode* node, const QString& type, CdaGeometry& out);

    // Bounds of the transformed positions of every leaf geometry of the
    // subtree, whatever its type. Without points the box is min (1e7, 1e7,
    // 1e7), max (-1e7, -1e7, -1e7) and the sphere centre (0, 0, 0), radius 0.
    // Points that are not finite are left out of the sphere.
    void boundingBox(const CdaNode* node, vec& min, vec& max) const;
    void boundingSphere(const CdaNode* node, vec& center, float& radius) const;

    // A boxy model with normals from the geometry: its positions, normals
    // and one face per triangle (texture coordinates and materials are
    // dropped). The caller owns the model. Builds display lists, so the
    // viewer's context should be current (without one they are deferred).
    static LnBoxyModel* makeBoxyModel(const CdaGeometry& geometry);

    // For each child of `node`, in order: flattens its "triangles" and, when
    // there is at least one position, appends a boxy model to `models`. A
    // child whose triangles index outside its positions or normals is left
    // out with "CdaScene::load: model node %s has triangle indices outside
    // its positions or normals; it is left out\n". With textureModels, a
    // child whose triangles bind several materials, one of them an image of
    // the archive, gives one model per material instead (see addModels).
    // Returns the count appended.
    int buildModels(const CdaNode* node, std::vector<LnModel*>& models);

    // What a model's pigment starts as when the file's colours are used.
    struct FileColour {
        bool known = false; // no material bound to its triangles: false
        vec rgb = vec(1.0f, 1.0f, 1.0f);
        // When every triangle of the model binds one material whose diffuse
        // is an image of the archive, and the model's mesh was given the
        // triangles' texture coordinates: the image's entry and its bytes
        // (empty when it cannot be read).
        QString image;
        QByteArray imageBytes;
        // The effect's highlight: its specular colour's mean and shininess
        // (none for lambert and constant shading).
        float specular = 0.0f;
        float shininess = 0.0f;
    };

    // For documents without a "Model" node: one boxy model per child of the
    // root that holds geometry (its own, its descendants', or through
    // instance nodes), each node placed by all its transformation elements
    // and every instance followed, turned so the document's up axis is +z.
    // Children holding only cameras or lights give nothing. The limits of
    // concatGeometry apply, with the same line. A node is not entered again
    // while the walk is inside it (an instance leading back into a node
    // that holds it); for the first such node of a model
    // "CdaScene::load: node %s is instanced inside itself; that instance is
    // left out\n" is written and the rest of the model kept. `colours`, when given, gets
    // one entry per model appended: the colour (see materialColour) of the
    // material bound to most of the model's triangles. Children are split
    // by material as in buildModels. Also sets the
    // bounds that sceneBounds gives. Returns the count appended.
    int buildSceneModels(std::vector<LnModel*>& models, std::vector<FileColour>* colours = nullptr);
    // Bounds of what the last buildSceneModels built, as boundingSphere and
    // boundingBox give them for a subtree.
    void sceneBounds(vec& center, float& radius, vec& min, vec& max) const;
    // The camera of a document without a "Model" node: the world matrix of
    // the node with id "Camera" (found as findNode finds it) with the up
    // axis turn applied. False without such a node or when not finite.
    bool sceneCameraMatrix(Matrix4& matrix) const;
    // The turn that takes the last document's <asset><up_axis> to +z:
    // Y_UP maps (x, y, z) to (x, -z, y), X_UP to (-z, y, x); Z_UP, none or
    // anything else, the identity.
    const Matrix4& upAxisMatrix() const { return upMatrix; }

    // The diffuse colour of the material's effect: its <color>, clamped to
    // 0..1; for a textured diffuse the average colour of the image when
    // the image is an entry of the archive the document came from, else
    // white. Unknown without a material or effect.
    FileColour materialColour(const CdaMaterial* material);
    // The same for the models buildModels builds from a "Model" node: one
    // entry per model of the last buildModels call.
    const std::vector<FileColour>& modelColours() const { return lastColours; }

    const CdaNode* root() const { return rootNode.get(); }
    int libraryNodeCount() const { return int(libraryNodes.size()); }
    int geometryCount() const { return int(geometries.size()); }
    int cameraCount() const { return int(cameras.size()); }
    int lightCount() const { return int(lights.size()); }
    int materialCount() const { return int(materials.size()); }
    int effectCount() const { return int(effects.size()); }
    const CdaNode& libraryNode(int i) const { return *libraryNodes[size_t(i)]; }
    const CdaGeometry& geometry(int i) const { return *geometries[size_t(i)]; }
    const CdaCamera& camera(int i) const { return *cameras[size_t(i)]; }
    const CdaLight& light(int i) const { return *lights[size_t(i)]; }
    const CdaMaterial& material(int i) const { return *materials[size_t(i)]; }
    const CdaEffect& effect(int i) const { return *effects[size_t(i)]; }

private:
    std::unique_ptr<CdaNode> rootNode;
    std::vector<std::unique_ptr<CdaNode>> libraryNodes;
    std::vector<std::unique_ptr<CdaGeometry>> geometries;
    std::vector<std::unique_ptr<CdaCamera>> cameras;
    std::vector<std::unique_ptr<CdaLight>> lights;
    std::vector<std::unique_ptr<CdaMaterial>> materials;
    std::vector<std::unique_ptr<CdaEffect>> effects;

    // First record per id, for the lookups.
    QHash<QString, const CdaNode*> libraryNodeIndex;
    QHash<QString, const CdaGeometry*> geometryIndex;
    QHash<QString, const CdaCamera*> cameraIndex;
    QHash<QString, const CdaLight*> lightIndex;
    QHash<QString, const CdaMaterial*> materialIndex;
    QHash<QString, const CdaEffect*> effectIndex;

    long long visitsLeft = maxVisits;
    long long entriesLeft = maxEntries;

    // Triangles per bound material while one model is flattened, in the
    // order materials were first met.
    std::vector<std::pair<const CdaMaterial*, long long>> tally;
    void countMaterials(const CdaGeometry& geometry, const QStringList& symbols,
                        const std::vector<const CdaMaterial*>& materials);
    // Appends `geometry`, placed by `placed`, to `out` and counts its
    // materials; sets `cut` instead when it would take more entries than
    // are left.
    void appendPlaced(const CdaGeometry& geometry, const Matrix4& placed,
                      const QStringList& symbols, const std::vector<const CdaMaterial*>& materials,
                      CdaGeometry& out, bool& cut);
    // The triangles of the model being flattened as (material, count) runs
    // in the order they were appended; triangles without a material have a
    // null material.
    std::vector<std::pair<const CdaMaterial*, long long>> runs;
    // Whether the flattened model is built as one model per material: file
    // materials are used and its triangles bind several materials, one of
    // them with an image of the archive.
    bool splitsByMaterial(const CdaGeometry& flat) const;
    // The triangles of `flat` bound to `material` (by `runs`), with only the
    // positions, normals and texture coordinates they use.
    CdaGeometry materialPart(const CdaGeometry& flat, const CdaMaterial* material) const;
    // Appends the model(s) built from `flat` and, when given, their colours;
    // returns how many.
    int addModels(const CdaGeometry& flat, std::vector<LnModel*>& models,
                  std::vector<FileColour>* colours);
    FileColour dominantColour();
    // Gives the model just built from `flat` its triangles' texture
    // coordinates (each corner a vertex of its own) when its triangles bind
    // one material with an image of the archive; fills the colour's image.
    void textureModel(LnModel* model, const CdaGeometry& flat, FileColour& colour);
    QByteArray archiveEntry(const QString& entry) const;

public:
    // Whether building models also gives them their texture coordinates
    // (see FileColour); off by default, which leaves meshes as they were.
    bool textureModels = false;

private:
    // Average colour of an image entry of the archive; white when it cannot
    // be read or decoded.
    vec imageColour(const QString& entry);
    std::vector<FileColour> lastColours;

    Matrix4 upMatrix;
    vec boundsCenter, boundsMin, boundsMax;
    float boundsRadius = 0.0f;

    // Where textured effects find their images: the archive, the entry
    // being read, and per effect the archive entry of its image.
    QString archivePath;
    QString currentEntry;
    QHash<const CdaEffect*, QString> effectImageEntry;
    // The archive's doc.kml resource map: image path as the document names
    // it to the path where the archive stores it.
    QHash<QString, QString> kmlAliases;
    QHash<QString, vec> imageColours;
    QHash<QString, const CdaNode*> nestedNodeIndex;
    void indexNestedNodes(const CdaNode& node);
    // Fills instanceNodes of the library nodes from index `firstNew` on
    // and of the root tree from their instanceNodeIds.
    void resolveInstanceNodes(int firstNew);
    // Skins and morphs that place a geometry.
    std::vector<std::unique_ptr<CdaController>> controllers;
    QHash<QString, const CdaController*> controllerIndex;
};
