// Composing a scene of several model files, each placed on its own.

#include "ln/LnSmoothModel.h"
#include "scene/PovScene.h"
#include "trimesh/TriMesh.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <limits>

PovFileContent::~PovFileContent()
{
    for (LnModel* model : models) {
        delete model;
    }
}

int PovScene::fileOf(int index) const
{
    return validIndex(index) && size_t(index) < modelFiles.size() ? modelFiles[size_t(index)] : -1;
}

int PovScene::firstModelOf(int file) const
{
    for (size_t i = 0; i < modelFiles.size(); ++i) {
        if (modelFiles[i] == file) {
            return int(i);
        }
    }
    return -1;
}

int PovScene::modelCountOf(int file) const
{
    return int(std::count(modelFiles.begin(), modelFiles.end(), file));
}

const PovPlacement& PovScene::placementOf(int index) const
{
    static const PovPlacement identity;
    const int file = fileOf(index);
    return file >= 0 && size_t(file) < files.size() ? files[size_t(file)].placement : identity;
}

bool PovScene::importFile(const char* fileName)
{
    if (files.empty()) {
        return load(fileName, nullptr);
    }
    PovScene added;
    added.fileColours = fileColours;
    if (!added.load(fileName, nullptr)) {
        lastError = added.loadError();
        outOfMemory = added.loadFailedForMemory();
        return false;
    }
    lastError.clear();
    outOfMemory = false;
    // The new file's models, without the ground it was given.
    const int file = fileCount();
    const float ambient = textures.empty() ? added.textures[0].ambient : textures[0].ambient;
    for (size_t i = 1; i < added.models.size(); ++i) {
        models.push_back(added.models[i]);
        PovTexture texture = added.textures[i];
        texture.ambient = ambient;
        textures.push_back(texture);
        modelFiles.push_back(file);
    }
    added.models.resize(1); // the rest now belong to this scene
    files.push_back(added.files[0]);
    updateBounds();
    return true;
}

void PovScene::setPlacement(int file, const PovPlacement& placement)
{
    if (file >= 0 && file < fileCount()) {
        files[size_t(file)].placement = placement;
        updateBounds();
    }
}

float PovScene::lowestPoint(int file) const
{
    float lowest = std::numeric_limits<float>::infinity();
    if (file < 0 || file >= fileCount()) {
        return lowest;
    }
    const PovPlacement& placement = files[size_t(file)].placement;
    for (size_t i = 0; i < models.size(); ++i) {
        if (modelFiles[i] != file) {
            continue;
        }
        LnMesh* mesh = models[i]->getDisplayMesh();
        const int faces = mesh->getNumFaces();
        for (int f = 0; f < faces; ++f) {
            vec corner[3];
            mesh->getFaceVertices(f, corner[0], corner[1], corner[2]);
            for (const vec& p : corner) {
                const float z = placement.apply(p)[2];
                if (std::isfinite(z)) {
                    lowest = std::min(lowest, z);
                }
            }
        }
    }
    return lowest;
}

PovPlacement PovScene::droppedToGround(int file) const
{
    if (file < 0 || file >= fileCount()) {
        return PovPlacement();
    }
    PovPlacement placement = files[size_t(file)].placement;
    const float lowest = lowestPoint(file);
    if (std::isfinite(lowest)) {
        placement.translate[2] += groundZ - lowest;
    }
    return placement;
}

PovPlacement PovScene::centredOnOrigin(int file) const
{
    if (file < 0 || file >= fileCount()) {
        return PovPlacement();
    }
    const PovSceneFile& f = files[size_t(file)];
    PovPlacement placement = f.placement;
    placement.translate = vec();
    placement.translate = -placement.apply(f.center);
    return placement;
}

std::unique_ptr<PovFileContent> PovScene::takeFile(int file)
{
    if (file < 0 || file >= fileCount() || fileCount() < 2) {
        return nullptr;
    }
    subdivided.resize(models.size(), 0);
    std::unique_ptr<PovFileContent> content(new PovFileContent);
    content->file = files[size_t(file)];
    for (size_t i = models.size(); i-- > 0;) {
        if (modelFiles[i] == file) {
            content->models.insert(content->models.begin(), models[i]);
            content->textures.insert(content->textures.begin(), textures[i]);
            content->subdivisions.insert(content->subdivisions.begin(), subdivided[i]);
            models.erase(models.begin() + std::ptrdiff_t(i));
            textures.erase(textures.begin() + std::ptrdiff_t(i));
            subdivided.erase(subdivided.begin() + std::ptrdiff_t(i));
            modelFiles.erase(modelFiles.begin() + std::ptrdiff_t(i));
        } else if (modelFiles[i] > file) {
            --modelFiles[i];
        }
    }
    files.erase(files.begin() + file);
    updateBounds();
    return content;
}

void PovScene::putFile(int file, std::unique_ptr<PovFileContent> content)
{
    if (!content || file < 0 || file > fileCount()) {
        return;
    }
    subdivided.resize(models.size(), 0);
    // The models go after those of the files before it.
    size_t at = models.size();
    for (size_t i = 0; i < modelFiles.size(); ++i) {
        if (modelFiles[i] >= file) {
            at = std::min(at, i);
            ++modelFiles[i];
        }
    }
    const std::ptrdiff_t where = std::ptrdiff_t(at);
    const size_t n = content->models.size();
    models.insert(models.begin() + where, content->models.begin(), content->models.end());
    textures.insert(textures.begin() + where, content->textures.begin(), content->textures.end());
    subdivided.insert(subdivided.begin() + where, content->subdivisions.begin(),
                      content->subdivisions.end());
    modelFiles.insert(modelFiles.begin() + where, n, file);
    files.insert(files.begin() + file, content->file);
    content->models.clear();
    updateBounds();
}

LnModel* PovScene::exchangeModel(int index, LnModel* model, int steps)
{
    if (!validIndex(index) || !model) {
        return nullptr;
    }
    subdivided.resize(models.size(), 0);
    LnModel* old = models[size_t(index)];
    models[size_t(index)] = model;
    subdivided[size_t(index)] = steps;
    return old;
}

LnModel* PovScene::subdividedCopy(int index) const
{
    if (!canSubdivide(index)) {
        return nullptr;
    }
    LnSmoothModel* smooth = dynamic_cast<LnSmoothModel*>(models[size_t(index)]);
    if (!smooth) {
        return nullptr;
    }
    const bool flat = smooth->getMesh()->isFlat();
    LnSmoothModel* copy = LnSmoothModel::fromMesh(new TriMesh(*smooth->smoothMesh()->triMesh()));
    if (!copy) {
        return nullptr;
    }
    copy->getMesh()->subdivide();
    if (flat) {
        copy->getMesh()->setFlat(true);
    }
    return copy;
}

void PovScene::updateBounds()
{
    if (files.empty()) {
        return;
    }
    // The smallest sphere about the placed spheres, grown one at a time.
    bool first = true;
    for (const PovSceneFile& f : files) {
        const vec c = f.placement.apply(f.center);
        const float r = f.radius * f.placement.scale;
        if (first) {
            center = c;
            radius = r;
            first = false;
            continue;
        }
        const float d = dist(center, c);
        if (d + r <= radius) {
            continue; // inside already
        }
        if (d + radius <= r) {
            center = c;
            radius = r;
            continue;
        }
        const float grown = 0.5f * (d + radius + r);
        center = center + (c - center) * ((grown - radius) / d);
        radius = grown;
    }
    if (!models.empty() && !modelFiles.empty() && modelFiles[0] < 0) {
        delete models[0];
        models[0] = makeGround();
    }
}

bool importModelFiles(PovScene& scene, const QStringList& files, QString* error)
{
    for (const QString& file : files) {
        if (!scene.importFile(QFile::encodeName(file).constData())) {
            if (error) {
                *error = QStringLiteral("cannot import '%1': %2").arg(file, scene.loadError());
            }
            return false;
        }
    }
    return true;
}
