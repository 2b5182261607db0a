// libFuzzer target: the NPR model reader on arbitrary bytes must never
// crash, hang or touch memory out of bounds; a model it accepts has every
// face index inside its vertices (and normals, when it has them), unit or
// fallback normals, and one attribute record per line point.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ln/LnNprReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LnBoxyMeshData mesh;
    LnPathList paths;
    std::string error;
    if (!readNprModel(reinterpret_cast<const char*>(data), size, mesh, paths, error)) {
        if (error.empty())
            std::abort(); // every failure carries a reason
        return 0;
    }
    const size_t nv = mesh.vertices.size();
    const size_t nn = mesh.normals.size();
    for (const LnFace& f : mesh.faces) {
        if (f.a >= nv || f.b >= nv || f.c >= nv)
            std::abort();
        if (mesh.hasNormals && (f.na >= nn || f.nb >= nn || f.nc >= nn))
            std::abort();
    }
    for (const vec& n : mesh.normals) {
        const float l = len(n);
        if (std::isfinite(l) && std::fabs(l - 1.0f) > 1e-3f && l != 0.0f)
            std::abort();
    }
    for (int i = 0; i < paths.size(); ++i) {
        if (paths[i]->points.size() != paths[i]->attributes.size())
            std::abort();
    }
    return 0;
}
