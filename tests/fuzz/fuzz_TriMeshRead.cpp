// libFuzzer target: TriMesh::readFromMemory on arbitrary bytes must never
// crash, hang or touch memory out of bounds, and every mesh it returns must
// have its face and strip indices inside the vertex list.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "trimesh/TriMesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TriMesh* mesh = TriMesh::readFromMemory(data, size, "fuzz input");
    if (!mesh)
        return 0;
    const size_t nv = mesh->vertices.size();
    for (const Face& f : mesh->faces) {
        for (int k = 0; k < 3; ++k) {
            if (f[k] < 0 || size_t(f[k]) >= nv)
                std::abort();
        }
    }
    const std::vector<int>& s = mesh->strips;
    for (size_t i = 0; i < s.size(); i += size_t(s[i]) + 1) {
        if (s[i] < 0 || size_t(s[i]) > s.size() - i - 1)
            std::abort();
        for (size_t k = i + 1; k <= i + size_t(s[i]); ++k) {
            if (s[k] < 0 || size_t(s[k]) >= nv)
                std::abort();
        }
    }
    if (!mesh->normals.empty() && mesh->normals.size() != nv)
        std::abort();
    if (!mesh->colors.empty() && mesh->colors.size() != nv)
        std::abort();
    if (!mesh->confidences.empty() && mesh->confidences.size() != nv)
        std::abort();
    mesh->medianEdgeLength();
    delete mesh;
    return 0;
}
