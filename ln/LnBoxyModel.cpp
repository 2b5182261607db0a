#include "ln/LnBoxyModel.h"

#include "ln/LnNprReader.h"

#include <algorithm>

LnBoxyModel::LnBoxyModel(LnBoxyMesh* filledMesh) : mesh(filledMesh)
{
    vec lo(3.4028235e38f, 3.4028235e38f, 3.4028235e38f);
    vec hi(-3.4028235e38f, -3.4028235e38f, -3.4028235e38f);
    for (const vec& v : mesh->vertices) {
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], v[k]);
            hi[k] = std::max(hi[k], v[k]);
        }
    }
    mesh->center = (lo + hi) * 0.5f;
    mesh->radius = len(hi - mesh->center);
    // The mesh is this model's from the start, also when its lists cannot
    // get their memory.
    try {
        mesh->makeDisplayLists();
    } catch (...) {
        delete mesh;
        throw;
    }
}

LnBoxyModel::~LnBoxyModel()
{
    delete mesh;
    paths.clear();
}

LnBoxyModel* LnBoxyModel::readNprFile(const char* path, std::string* error)
{
    std::string reason;
    std::string bytes;
    if (!readNprFileBytes(path, bytes, reason)) {
        if (error) {
            *error = reason;
        }
        return nullptr;
    }
    LnBoxyModel* model = new LnBoxyModel;
    model->mesh = new LnBoxyMesh;
    if (!readNprModel(bytes.data(), bytes.size(), *model->mesh, model->paths, reason)) {
        delete model;
        if (error) {
            *error = reason;
        }
        return nullptr;
    }
    try {
        model->mesh->makeDisplayLists();
    } catch (...) {
        delete model;
        throw;
    }
    return model;
}

void LnBoxyModel::getBoundingSphere(vec& center, float& radius)
{
    mesh->getBoundingSphere(center, radius);
}

LnPathList& LnBoxyModel::extractLines(const vec&, const vec&) { return paths; }
