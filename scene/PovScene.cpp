#include "scene/PovScene.h"

#include "ln/LnBoxyModel.h"
#include "ln/LnDiagnostics.h"
#include "scene/PovImporter.h"
#include "scene/PovTriangles.h"

#include <QFileInfo>

#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace {

// A model with no triangle POV-Ray keeps (points, lines, or faces of zero
// area only) could be shown but never rendered: it is left out, with a line
// naming it when others remain, or as the reason when none does.
void dropModelsWithoutTriangles(std::vector<LnModel*>& models, std::vector<PovTexture>& textures,
                                QString& error)
{
    const size_t count = models.size();
    for (size_t i = count; i-- > 0;) {
        LnMesh* mesh = models[i]->getMesh();
        if (povAcceptsMesh(*mesh)) {
            continue;
        }
        const bool faceless = mesh->getNumFaces() == 0;
        if (count > 1) {
            lnWarning("PovScene::load - Model %d of %d holds no triangles; left out.\n", int(i + 1),
                      int(count));
        } else if (faceless) {
            error = QStringLiteral("the file holds no triangles, only points or lines");
        } else {
            error =
                QStringLiteral("the file holds no triangles that can be rendered: every face has "
                               "zero area or a corner that is not a finite number");
        }
        delete models[i];
        models.erase(models.begin() + std::ptrdiff_t(i));
        if (i < textures.size()) {
            textures.erase(textures.begin() + std::ptrdiff_t(i));
        }
    }
    if (models.empty() && count > 1) {
        error = QStringLiteral("none of the file's models holds triangles that can be rendered");
    }
}

} // namespace

PovScene::~PovScene() { clear(); }

void PovScene::clear()
{
    for (LnModel* model : models) {
        delete model;
    }
    models.clear();
    textures.clear();
    lights.clear();
    subdivided.clear();
    files.clear();
    modelFiles.clear();
    modelsFile.clear();
    groundVisible = false;
}

void PovScene::swap(PovScene& other)
{
    std::swap(models, other.models);
    std::swap(textures, other.textures);
    std::swap(lights, other.lights);
    std::swap(text, other.text);
    std::swap(modelsFile, other.modelsFile);
    std::swap(center, other.center);
    std::swap(radius, other.radius);
    std::swap(groundVisible, other.groundVisible);
    std::swap(outdoorLighting, other.outdoorLighting);
    std::swap(stage, other.stage);
    std::swap(groundZ, other.groundZ);
    std::swap(lastError, other.lastError);
    std::swap(outOfMemory, other.outOfMemory);
    std::swap(subdivided, other.subdivided);
    std::swap(files, other.files);
    std::swap(modelFiles, other.modelFiles);
}

bool PovScene::readModels(const char* fileName, qglviewer::Camera* camera)
{
    clear();
    lastError.clear();

    const QString name = QString::fromLocal8Bit(fileName);
    PovImporter* importer = PovImporters::forFile(name);
    if (!importer) {
        lastError = QStringLiteral(
            "the file type is not recognised (the name must contain .npr, .off, .ply or .obj, "
            "or end in .kmz, .dae, .stl, .gltf, .glb, .3ds, .fbx, .3mf or another extension "
            "Kelvane reads)");
    } else {
        PovImport result;
        importer->import(name, fileColours, result);
        models = result.models;
        resizeTextures(modelCount());
        if (fileColours || importer->materialsByDefault()) {
            // A texture takes its model's file material, or its file colour,
            // where it is known.
            for (size_t i = 0; i < result.colours.size() && i < textures.size(); ++i) {
                if (result.colours[i].material) {
                    textures[i] = result.colours[i].texture;
                } else if (result.colours[i].known) {
                    const vec& c = result.colours[i].rgb;
                    textures[i].setColor(c[0], c[1], c[2]);
                    textures[i].fromFile = true;
                }
                if (textures[i].fromFile) {
                    textures[i].fileMaterial = std::make_shared<PovTexture>(textures[i]);
                }
            }
        }
        if (camera && result.cameraKnown) {
            camera->frame()->setFromMatrix(result.camera);
        }
        if (!models.empty()) {
            center = result.center;
            radius = result.radius;
            groundZ = result.groundZ;
        } else {
            lastError = result.reason;
        }
    }

    dropModelsWithoutTriangles(models, textures, lastError);
    if (models.empty()) {
        lnWarning("PovScene::load - No models loaded.\n");
        if (lastError.isEmpty()) {
            lastError = QStringLiteral("the file holds no model");
        }
        return false;
    }
    addGround();
    PovSceneFile file;
    file.path = QFileInfo(name).absoluteFilePath();
    file.center = center;
    file.radius = radius;
    file.groundZ = groundZ;
    files.push_back(file);
    modelFiles.assign(models.size(), 0);
    modelFiles[0] = -1;
    setOutdoorLighting();
    return true;
}

void PovScene::addGround()
{
    // The model's constructor builds the display lists.
    models.insert(models.begin(), makeGround());

    PovTexture groundTexture;
    groundTexture.setFinish(0.6f, 0.0f, 0.0f, 0.0f, 0.01f);
    groundTexture.setColor(0.3f, 0.3f, 0.3f);
    textures.insert(textures.begin(), groundTexture);
}

LnModel* PovScene::makeGround() const
{
    LnBoxyMesh* ground = new LnBoxyMesh;
    ground->hasNormals = true;
    const float r2 = 2.0f * radius;
    const float cx = center[0], cy = center[1];
    ground->vertices = {vec(cx - r2, cy - r2, groundZ), vec(cx + r2, cy - r2, groundZ),
                        vec(cx + r2, cy + r2, groundZ), vec(cx - r2, cy + r2, groundZ)};
    ground->normals = {vec(0.0f, 0.0f, 1.0f)};
    LnFace first;
    first.a = 0;
    first.b = 1;
    first.c = 2;
    LnFace second;
    second.a = 0;
    second.b = 2;
    second.c = 3;
    ground->faces = {first, second};
    return new LnBoxyModel(ground);
}

void PovScene::bounds(vec& c, float& r) const
{
    c = center;
    r = radius;
}

void PovScene::lightBounds(vec& c, float& r) const
{
    c = vec();
    float farthest = 0.0f;
    for (const PovLight& light : lights) {
        farthest = std::max(farthest, len(light.position));
    }
    r = 1.2f * farthest;
}

void PovScene::viewSphere(bool showLights, vec& c, float& r) const
{
    if (showLights && !outdoorLighting) {
        lightBounds(c, r);
    } else {
        bounds(c, r);
    }
    r *= (showLights && outdoorLighting) ? 3.0f : 1.1f;
    if (!(r > 0.0f)) {
        // An empty scene, a single point, or lights all at the origin.
        r = models.empty() ? 1.0f : 1e-6f;
    }
}

vec PovScene::ambientLight() const
{
    vec sum;
    for (const PovLight& light : lights) {
        sum += light.color;
    }
    if (lights.empty()) {
        return sum;
    }
    const float n = float(lights.size());
    return vec(sum[0] / n, sum[1] / n, sum[2] / n);
}

void PovScene::setAmbientAll(float ambient)
{
    for (PovTexture& texture : textures) {
        texture.ambient = ambient;
    }
}

void PovScene::setOutdoorLighting()
{
    lights.clear();
    PovLight sun;
    sun.color = vec(1.0f, 1.0f, 1.0f);
    sun.intensity = 1.0f;
    sun.setFromAngles(0.15f, 1.57075f, radius * 1000.0f);
    lights.push_back(sun);
    setAmbientAll(0.35f);
    outdoorLighting = true;
    stage.kind = PovStageKind::Lamps;
}

void PovScene::setIndoorLighting()
{
    lights.clear();
    for (int i = 0; i < 4; ++i) {
        PovLight light;
        light.color = vec(1.0f, 1.0f, 1.0f);
        light.setFromAngles(float(i) * 1.570795f, 1.0471966f, radius * 3.0f);
        light.position += vec(center[0], center[1], 0.0f);
        light.intensity = 0.3f;
        lights.push_back(light);
    }
    setAmbientAll(0.1f);
    outdoorLighting = false;
    stage.kind = PovStageKind::Lamps;
}

bool PovScene::canSubdivide(int index) const
{
    return validIndex(index) && models[index]->getMesh()->isSmooth();
}

void PovScene::subdivide(int index)
{
    if (canSubdivide(index)) {
        models[index]->getMesh()->subdivide();
        if (subdivided.size() < models.size()) {
            subdivided.resize(models.size(), 0);
        }
        ++subdivided[size_t(index)];
    }
}

int PovScene::subdivisions(int index) const
{
    return index >= 0 && size_t(index) < subdivided.size() ? subdivided[size_t(index)] : 0;
}

void PovScene::setFlatShading(int index, bool flat)
{
    if (validIndex(index)) {
        models[index]->getMesh()->setFlat(flat);
    }
}

void PovScene::resizeTextures(int count) { textures.resize(size_t(std::max(count, 0))); }

long long PovScene::triangleCount() const
{
    long long total = 0;
    for (LnModel* model : models) {
        total += model->getDisplayMesh()->getNumFaces();
    }
    return total;
}
