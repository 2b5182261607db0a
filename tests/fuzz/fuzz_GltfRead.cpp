// libFuzzer target: the glTF reader on arbitrary bytes, as a .glb or as
// .gltf JSON held in memory (nothing is read from the file system), must
// never crash, hang or touch memory out of bounds; every scene it returns
// keeps the limits and has its triangles inside its positions, and a
// refused document says why.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "scene/ImportGltf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ImportedScene scene;
    readGltfFromMemory(data, size, scene);
    if (scene.meshes.empty() && scene.reason.empty())
        std::abort();
    if (scene.triangleCount() > ImportedScene::maxTriangles ||
        scene.positionCount() > ImportedScene::maxPositions)
        std::abort();
    for (const ImportedMesh& m : scene.meshes) {
        if (m.triangles.size() % 3 != 0)
            std::abort();
        if (!m.normals.empty() && m.normals.size() != m.positions.size())
            std::abort();
        for (uint32_t i : m.triangles) {
            if (i >= m.positions.size())
                std::abort();
        }
    }
    return 0;
}
