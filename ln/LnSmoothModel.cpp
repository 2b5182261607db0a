#include "ln/LnSmoothModel.h"

#include "trimesh/TriMesh.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

LnSmoothModel::LnSmoothModel(LnSmoothMesh* smoothMesh)
    : mesh(smoothMesh),
      extractor(new LnSmoothExtractor(smoothMesh->triMesh(), vec(0, 0, 0), vec(0, 0, 0)))
{
}

LnSmoothModel* LnSmoothModel::readFile(const char* path, std::string* error)
{
    // The toolkit explains its refusals on standard error; for the user, an
    // unreadable file is told apart from one that is not a mesh.
    if (std::FILE* probe = std::fopen(path, "rb")) {
        std::fclose(probe);
    } else {
        const int cause = errno;
        TriMesh::read(path); // prints the toolkit's own message
        if (error) {
            *error = std::string("the file cannot be read (") + std::strerror(cause) + ")";
        }
        return nullptr;
    }
    TriMesh* triMesh = TriMesh::read(path);
    if (!triMesh) {
        if (error) {
            *error = "the file is not a triangle mesh Kelvane can read (PLY, OFF, OBJ, "
                     "ray-tracer, SM or 3DS), or it is damaged";
        }
        return nullptr;
    }
    return new LnSmoothModel(new LnSmoothMesh(triMesh));
}

LnSmoothModel::~LnSmoothModel()
{
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
    paths.clear();
    extractor->setViewpoint(viewpoint);
    extractor->setLightDirection(lightDirection);
    extractor->extract(paths);
    return paths;
}
