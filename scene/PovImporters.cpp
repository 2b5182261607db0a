// The registry and the importers behind PovImporter: NPR model files, the
// toolkit's meshes, COLLADA/KMZ, glTF, and Assimp for the rest.

#include "scene/PovImporter.h"

#include "collada/CdaScene.h"
#include "ln/LnBoxyModel.h"
#include "ln/LnSmoothModel.h"
#include "scene/Import3mf.h"
#include "scene/ImportAssimp.h"
#include "scene/ImportGltf.h"
#include "scene/ImportSandbox.h"
#include "scene/ImportedScene.h"
#include "scene/ObjMaterials.h"
#include "scene/PlyTexture.h"
#include "scene/PovFileMaterial.h"
#include "trimesh/BoundingSphere.h"
#include "trimesh/TriMesh.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

namespace {

QString extensionOf(const QString& fileName) { return QFileInfo(fileName).suffix().toLower(); }

bool hasExtension(const QString& fileName, std::initializer_list<const char*> extensions)
{
    const QString e = extensionOf(fileName);
    for (const char* x : extensions) {
        if (e == QLatin1String(x)) {
            return true;
        }
    }
    return false;
}

// ---- NPR model files --------------------------------------------------------

class NprImporter : public PovImporter {
public:
    QString formatName() const override { return QStringLiteral("NPR models"); }
    QStringList patterns() const override { return {QStringLiteral("*.npr")}; }
    bool takes(const QString& fileName) const override
    {
        return isBoxyModelFile(fileName.toLocal8Bit().constData());
    }
    void import(const QString& fileName, bool, PovImport& out) override
    {
        std::string reason;
        LnBoxyModel* model = LnBoxyModel::readNprFile(fileName.toLocal8Bit().constData(), &reason);
        if (!model) {
            out.reason = QString::fromStdString(reason);
            return;
        }
        out.models.push_back(model);
        model->getBoundingSphere(out.center, out.radius);
        // The ground lies below the origin by the radius, wherever the model is.
        out.groundZ = -out.radius;
        // The colour most faces carry.
        const LnBoxyMesh* mesh = dynamic_cast<const LnBoxyMesh*>(model->getMesh());
        if (!mesh || mesh->faces.empty()) {
            return;
        }
        std::map<std::array<float, 3>, size_t> counts;
        for (const LnFace& face : mesh->faces) {
            ++counts[{face.red, face.green, face.blue}];
        }
        const auto most =
            std::max_element(counts.begin(), counts.end(),
                             [](const auto& a, const auto& b) { return a.second < b.second; });
        PovImport::Colour colour;
        colour.known = true;
        colour.rgb = vec(most->first[0], most->first[1], most->first[2]);
        out.colours.push_back(colour);
    }
};

// ---- The toolkit's meshes ----------------------------------------------------

class MeshImporter : public PovImporter {
public:
    QString formatName() const override { return QStringLiteral("Meshes"); }
    QStringList patterns() const override
    {
        return {QStringLiteral("*.off"), QStringLiteral("*.ply"), QStringLiteral("*.obj"),
                QStringLiteral("*.stl"), QStringLiteral("*.3ds"), QStringLiteral("*.sm"),
                QStringLiteral("*.ray")};
    }
    bool takes(const QString& fileName) const override
    {
        return isSmoothModelFile(fileName.toLocal8Bit().constData()) ||
               hasExtension(fileName, {"off", "ply", "obj", "stl", "3ds", "sm", "ray"});
    }
    void import(const QString& fileName, bool fileColours, PovImport& out) override
    {
        std::string reason;
        const QByteArray name = fileName.toLocal8Bit();
        std::unique_ptr<TriMesh> mesh(TriMesh::read(name.constData(), reason));
        if (!mesh) {
            out.reason = QString::fromStdString(reason);
            return;
        }
        std::vector<ObjMaterialPart> parts;
        if (fileColours && splitByMaterial(*mesh, fileName, parts)) {
            takeParts(*mesh, parts, out);
            return;
        }
        if (fileColours && takeTexturedPly(*mesh, fileName, out)) {
            return;
        }
        LnSmoothModel* model = LnSmoothModel::fromMesh(mesh.release());
        out.models.push_back(model);
        model->getBoundingSphere(out.center, out.radius);
        // The ground lies below the origin by the radius, wherever the model is.
        out.groundZ = -out.radius;
    }

private:
    static void takeParts(TriMesh& whole, std::vector<ObjMaterialPart>& parts, PovImport& out)
    {
        whole.computeBoundingSphere();
        out.center = whole.sphereCenter;
        out.radius = whole.sphereRadius;
        out.groundZ = -out.radius;
        for (ObjMaterialPart& part : parts) {
            PovImport::Colour colour;
            colour.known = part.colourKnown;
            colour.rgb = part.colour;
            if (!part.uvs.empty()) {
                // A textured part: a faceted mesh carrying its corners'
                // texture coordinates, with the file's smooth normals.
                out.models.push_back(texturedModel(*part.mesh, part.uvs));
                colour.material = true;
                colour.texture =
                    fileTexture(part.colour, part.material,
                                decodeFileImage(QString::fromStdString(part.material.imageName),
                                                QByteArray::fromStdString(part.material.imageBytes)));
            } else {
                out.models.push_back(LnSmoothModel::fromMesh(part.mesh.release()));
                if (part.material.phong || part.material.opacity < 1.0f) {
                    colour.material = colour.known;
                    colour.texture = fileTexture(part.colour, part.material, nullptr);
                }
            }
            out.colours.push_back(colour);
        }
    }

    // A PLY file naming an image with texture coordinates: one textured
    // model, when its image decodes; otherwise (the image missing, refused
    // or undecodable, said on standard error) false, and the file loads as
    // it does without file materials.
    static bool takeTexturedPly(TriMesh& whole, const QString& fileName, PovImport& out)
    {
        ObjMaterialPart part;
        if (!plyTexturedPart(whole, fileName, part)) {
            return false;
        }
        std::shared_ptr<const PovImage> image =
            decodeFileImage(QString::fromStdString(part.material.imageName),
                            QByteArray::fromStdString(part.material.imageBytes));
        if (!image) {
            return false;
        }
        whole.computeBoundingSphere();
        out.center = whole.sphereCenter;
        out.radius = whole.sphereRadius;
        out.groundZ = -out.radius;
        out.models.push_back(texturedModel(*part.mesh, part.uvs));
        PovImport::Colour colour;
        colour.known = true;
        colour.rgb = part.colour;
        colour.material = true;
        colour.texture = fileTexture(part.colour, part.material, image);
        out.colours.push_back(colour);
        return true;
    }

    static LnModel* texturedModel(TriMesh& part, const std::vector<float>& uvs)
    {
        part.computeNormals();
        LnBoxyMesh* mesh = new LnBoxyMesh;
        mesh->vertices = part.vertices;
        mesh->normals = part.normals;
        mesh->hasNormals = part.normals.size() == part.vertices.size();
        mesh->uvs = uvs;
        mesh->faces.reserve(part.faces.size());
        for (const Face& f : part.faces) {
            LnFace face;
            face.a = face.na = uint32_t(f[0]);
            face.b = face.nb = uint32_t(f[1]);
            face.c = face.nc = uint32_t(f[2]);
            mesh->faces.push_back(face);
        }
        return new LnBoxyModel(mesh);
    }
};

// ---- COLLADA documents and KMZ archives --------------------------------------

class ColladaImporter : public PovImporter {
public:
    QString formatName() const override { return QStringLiteral("COLLADA and KMZ"); }
    QStringList patterns() const override
    {
        return {QStringLiteral("*.dae"), QStringLiteral("*.kmz")};
    }
    bool takes(const QString& fileName) const override
    {
        return fileName.endsWith(QLatin1String("kmz"), Qt::CaseInsensitive) ||
               fileName.endsWith(QLatin1String("dae"), Qt::CaseInsensitive);
    }
    void import(const QString& fileName, bool fileColours, PovImport& out) override
    {
        // One model per child of the "Model" node; the view is placed by the
        // "Camera" node's matrix; bounds and ground come from the whole
        // "Model" node. Documents without that node are read by importScene.
        CdaScene importer;
        importer.textureModels = fileColours;
        const bool readable = importer.load(fileName);
        const CdaNode* modelNode = importer.findNode(QStringLiteral("Model"));
        if (!modelNode) {
            importScene(importer, readable, fileName, out);
            return;
        }
        importer.buildModels(modelNode, out.models);
        takeColours(importer.modelColours(), out);
        const CdaNode* cameraNode = importer.findNode(QStringLiteral("Camera"));
        if (cameraNode && cameraNode->matrix.isFinite()) {
            out.cameraKnown = true;
            std::copy(cameraNode->matrix.data(), cameraNode->matrix.data() + 16, out.camera);
        }
        if (!out.models.empty()) {
            importer.boundingSphere(modelNode, out.center, out.radius);
            vec lo, hi;
            importer.boundingBox(modelNode, lo, hi);
            out.groundZ = lo[2];
        } else if (!readable) {
            out.reason = QStringLiteral("the KMZ archive could not be read: it is damaged or not "
                                        "a zip archive");
        } else {
            out.reason =
                QStringLiteral("the archive's model holds no triangles that can be shown");
        }
    }

private:
    static void takeColours(const std::vector<CdaScene::FileColour>& colours, PovImport& out)
    {
        for (const CdaScene::FileColour& c : colours) {
            PovImport::Colour colour;
            colour.known = c.known;
            colour.rgb = c.rgb;
            if (!c.image.isEmpty()) {
                // The image on the model's texture coordinates, or its
                // average colour when it cannot be had.
                std::shared_ptr<const PovImage> image = decodeFileImage(c.image, c.imageBytes);
                if (image) {
                    ImportedMaterial material;
                    material.phong = true;
                    material.specular = c.specular;
                    material.shininess = c.shininess;
                    colour.material = true;
                    colour.texture = fileTexture(c.rgb, material, image);
                }
            }
            out.colours.push_back(colour);
        }
    }

    // A document without a "Model" node: one model per top-level node
    // holding geometry; the "Camera" node places the view when there is
    // one, else the view is fitted to the models as for mesh files.
    static void importScene(CdaScene& importer, bool readable, const QString& fileName,
                            PovImport& out)
    {
        std::vector<CdaScene::FileColour> colours;
        importer.buildSceneModels(out.models, &colours);
        takeColours(colours, out);
        Matrix4 view;
        if (!out.models.empty() && importer.sceneCameraMatrix(view)) {
            out.cameraKnown = true;
            std::copy(view.data(), view.data() + 16, out.camera);
        }
        if (!out.models.empty()) {
            vec lo, hi;
            importer.sceneBounds(out.center, out.radius, lo, hi);
            out.groundZ = lo[2];
        } else if (!readable) {
            out.reason = fileName.endsWith(QLatin1String("dae"), Qt::CaseInsensitive)
                             ? QStringLiteral("the COLLADA document could not be read: it is "
                                              "damaged or not a COLLADA document")
                             : QStringLiteral("the KMZ archive could not be read: it is damaged "
                                              "or not a zip archive");
        } else if (!importer.root()) {
            out.reason = QStringLiteral("the archive holds no COLLADA document");
        } else {
            out.reason = QStringLiteral("the scene holds no triangles that can be shown (only "
                                        "cameras, lights, lines or empty geometry)");
        }
    }
};

// ---- glTF 2.0 ------------------------------------------------------------------

class GltfImporter : public PovImporter {
public:
    QString formatName() const override { return QStringLiteral("glTF 2.0"); }
    QStringList patterns() const override
    {
        return {QStringLiteral("*.gltf"), QStringLiteral("*.glb")};
    }
    bool takes(const QString& fileName) const override
    {
        return hasExtension(fileName, {"gltf", "glb"});
    }
    bool materialsByDefault() const override { return true; }
    void import(const QString& fileName, bool, PovImport& out) override
    {
        ImportedScene scene;
        readGltf(fileName.toLocal8Bit().toStdString(), scene);
        PovImporters::takeMeshes(scene, out);
    }
};

// ---- 3MF, through lib3mf in a child process ----------------------------------

class ThreeMfImporter : public PovImporter {
public:
    QString formatName() const override { return QStringLiteral("3MF"); }
    QStringList patterns() const override { return {QStringLiteral("*.3mf")}; }
    bool takes(const QString& fileName) const override { return hasExtension(fileName, {"3mf"}); }
    bool materialsByDefault() const override { return true; }
    void import(const QString& fileName, bool, PovImport& out) override
    {
        const std::string path = fileName.toLocal8Bit().toStdString();
        ImportedScene scene;
        readInChildProcess([&path](ImportedScene& s) { read3mf(path, s); }, scene,
                           "the 3MF importer");
        PovImporters::takeMeshes(scene, out);
    }
};

// ---- Assimp, in a child process ------------------------------------------------

class AssimpImporter : public PovImporter {
public:
    QString formatName() const override { return QStringLiteral("Other formats (Assimp)"); }
    QStringList patterns() const override
    {
        QStringList list;
        for (const std::string& e : assimpExtensions()) {
            const QString pattern = QStringLiteral("*.") + QString::fromStdString(e);
            if (!taken(pattern)) {
                list << pattern;
            }
        }
        return list;
    }
    bool takes(const QString& fileName) const override
    {
        const QString e = extensionOf(fileName);
        return !e.isEmpty() && assimpTakesExtension(e.toStdString());
    }
    bool materialsByDefault() const override { return true; }
    void import(const QString& fileName, bool, PovImport& out) override
    {
        const std::string path = fileName.toLocal8Bit().toStdString();
        ImportedScene scene;
        readInChildProcess([&path](ImportedScene& s) { readWithAssimp(path, s); }, scene,
                           "the Assimp importer");
        PovImporters::takeMeshes(scene, out);
    }

private:
    // Extensions an importer before this one takes.
    static bool taken(const QString& pattern);
};

std::vector<PovImporter*>& registry()
{
    static NprImporter npr;
    static MeshImporter meshes;
    static ColladaImporter collada;
    static GltfImporter gltf;
    static ThreeMfImporter threeMf;
    static AssimpImporter assimp;
    static std::vector<PovImporter*> all = {&npr, &meshes, &collada, &gltf, &threeMf, &assimp};
    return all;
}

bool AssimpImporter::taken(const QString& pattern)
{
    const QString name = QStringLiteral("x") + pattern.mid(1);
    for (PovImporter* importer : registry()) {
        if (importer != static_cast<const PovImporter*>(nullptr) &&
            dynamic_cast<AssimpImporter*>(importer) == nullptr && importer->takes(name)) {
            return true;
        }
    }
    return false;
}

} // namespace

namespace PovImporters {

PovImporter* forFile(const QString& fileName)
{
    for (PovImporter* importer : registry()) {
        if (importer->takes(fileName)) {
            return importer;
        }
    }
    return nullptr;
}

QStringList patterns()
{
    QStringList all;
    for (PovImporter* importer : registry()) {
        all << importer->patterns();
    }
    return all;
}

QString openDialogFilter()
{
    QStringList filters;
    filters << QStringLiteral("Scenes and models (*.kelvane %1)").arg(patterns().join(' '));
    filters << QStringLiteral("Kelvane scenes (*.kelvane)");
    for (PovImporter* importer : registry()) {
        filters << QStringLiteral("%1 (%2)").arg(importer->formatName(),
                                                 importer->patterns().join(' '));
    }
    return filters.join(QStringLiteral(";;"));
}

void takeMeshes(const ImportedScene& scene, PovImport& out)
{
    std::vector<vec> finite;
    float lowest = INFINITY;
    for (const ImportedMesh& m : scene.meshes) {
        LnBoxyMesh* mesh = new LnBoxyMesh;
        mesh->vertices = m.positions;
        mesh->hasNormals = !m.normals.empty();
        mesh->normals = m.normals;
        if (m.uvs.size() == 2 * m.positions.size()) {
            mesh->uvs = m.uvs;
        }
        mesh->faces.reserve(m.triangles.size() / 3);
        for (size_t i = 0; i + 2 < m.triangles.size(); i += 3) {
            LnFace face;
            face.a = face.na = m.triangles[i];
            face.b = face.nb = m.triangles[i + 1];
            face.c = face.nc = m.triangles[i + 2];
            mesh->faces.push_back(face);
        }
        out.models.push_back(new LnBoxyModel(mesh));
        PovImport::Colour colour;
        colour.known = m.colourKnown;
        colour.rgb = m.colour;
        if (m.colourKnown || !m.material.imageName.empty()) {
            std::shared_ptr<const PovImage> image;
            if (!m.material.imageName.empty()) {
                const QString name = QString::fromStdString(m.material.imageName);
                if (!mesh->hasUvs()) {
                    std::fprintf(stderr,
                                 "Kelvane: a mesh textured with '%s' has no texture coordinates; "
                                 "it keeps its base colour\n",
                                 qPrintable(name));
                } else {
                    image = decodeFileImage(name, QByteArray::fromStdString(m.material.imageBytes));
                }
            }
            colour.material = true;
            colour.texture = fileTexture(m.colour, m.material, image);
        }
        out.colours.push_back(colour);
        for (const vec& p : m.positions) {
            if (std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) {
                finite.push_back(p);
                lowest = std::min(lowest, p[2]);
            }
        }
    }
    if (!out.models.empty()) {
        if (finite.empty()) {
            out.center = vec();
            out.radius = 0.0f;
            out.groundZ = 0.0f;
        } else {
            boundingSphere(finite.data(), finite.size(), out.center, out.radius);
            out.groundZ = lowest;
        }
    }
    if (scene.cameraKnown && !out.models.empty()) {
        out.cameraKnown = true;
        std::copy(scene.camera, scene.camera + 16, out.camera);
    }
    out.reason = QString::fromStdString(scene.reason);
}

} // namespace PovImporters
