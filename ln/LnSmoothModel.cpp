#include "ln/LnSmoothModel.h"

#include "trimesh/TriMesh.h"

#include <cstdio>
#include <new>

LnSmoothModel::LnSmoothModel(LnSmoothMesh* smoothMesh)
    : mesh(smoothMesh),
      extractor(new LnSmoothExtractor(smoothMesh->triMesh(), vec(0, 0, 0), vec(0, 0, 0),
                                      LnSmoothExtractor::Preparation::OnDemand))
{
    // The feature size is taken from the mesh as loaded, before any
    // smoothing or subdivision changes it.
    mesh->setBeforeChange([this] { extractor->prepare(); });
}

LnSmoothModel* LnSmoothModel::readFile(const char* path, std::string* error)
{
    // The toolkit explains a refusal on standard error and hands the same
    // cause over as a sentence for the user.
    std::string reason;
    TriMesh* triMesh = TriMesh::read(path, reason);
    if (!triMesh) {
        if (error) {
            *error = reason;
        }
        return nullptr;
    }
    return fromMesh(triMesh);
}

LnSmoothModel* LnSmoothModel::fromMesh(TriMesh* triMesh)
{
    return new LnSmoothModel(new LnSmoothMesh(triMesh));
}

LnSmoothModel::~LnSmoothModel()
{
    mesh->setBeforeChange(nullptr);
    delete extractor;
    delete mesh;
    paths.clear();
}

void LnSmoothModel::getBoundingSphere(vec& center, float& radius)
{
    mesh->getBoundingSphere(center, radius);
}

LnPathList& LnSmoothModel::extractLines(const vec& viewpoint, const vec& lightDirection)
{
    std::lock_guard<std::recursive_mutex> guard(mesh->derivedDataLock());
    paths.clear();
    extractor->setViewpoint(viewpoint);
    extractor->setLightDirection(lightDirection);
    try {
        extractor->extract(paths);
    } catch (const std::bad_alloc&) {
        paths.clear();
        dropCurvatures();
    }
    return paths;
}

void LnSmoothModel::prepareLines()
{
    std::lock_guard<std::recursive_mutex> guard(mesh->derivedDataLock());
    try {
        extractor->prepare();
    } catch (const std::bad_alloc&) {
        dropCurvatures();
    }
}

void LnSmoothModel::dropCurvatures()
{
    // The first extraction computes the curvature data, the largest part of
    // a smooth model: without the memory for it the model has no lines, and
    // what was half built is given back.
    TriMesh* m = mesh->triMesh();
    m->majorDirections = std::vector<vec>();
    m->minorDirections = std::vector<vec>();
    m->majorCurvatures = std::vector<float>();
    m->minorCurvatures = std::vector<float>();
    m->dcurv = std::vector<TriMesh::Dcurv>();
    std::fprintf(stderr, "Not enough memory for the feature lines of this mesh\n");
    std::fflush(stderr);
}
