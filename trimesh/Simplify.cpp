#include "trimesh/Simplify.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <limits>

SimplifiedMesh simplifyMesh(const std::vector<vec>& vertices, const std::vector<vec>& normals,
                            const std::vector<Face>& faces, size_t targetFaces, float maxError)
{
    SimplifiedMesh out;
    const size_t count = vertices.size();
    // The simplifier reads every index it is given: faces naming a vertex
    // that is not there are dropped first (they are rare, so the copy is
    // made only when one is found).
    std::vector<unsigned int> checked;
    const unsigned int* indices = reinterpret_cast<const unsigned int*>(faces.data());
    size_t indexCount = 3 * faces.size();
    auto valid = [count](const Face& f) {
        return f[0] >= 0 && f[1] >= 0 && f[2] >= 0 && size_t(f[0]) < count &&
               size_t(f[1]) < count && size_t(f[2]) < count;
    };
    if (!std::all_of(faces.begin(), faces.end(), valid)) {
        for (const Face& f : faces) {
            if (valid(f)) {
                checked.insert(checked.end(), {unsigned(f[0]), unsigned(f[1]), unsigned(f[2])});
            }
        }
        indices = checked.data();
        indexCount = checked.size();
    }
    if (indexCount == 0 || count == 0) {
        return out;
    }
    // The simplifier's error is relative to the mesh's extent.
    const float scale = meshopt_simplifyScale(reinterpret_cast<const float*>(vertices.data()), count, sizeof(vec));
    // No bound at all when the error is not finite.
    const float relative = !std::isfinite(maxError) ? std::numeric_limits<float>::max()
                           : scale > 0.0f           ? maxError / scale
                                                    : 0.0f;
    std::vector<unsigned int> kept(indexCount);
    const size_t target = std::min(indexCount, 3 * std::max<size_t>(targetFaces, 1));
    kept.resize(meshopt_simplify(kept.data(), indices, indexCount, reinterpret_cast<const float*>(vertices.data()), count,
                                 sizeof(vec), target, relative, 0, nullptr));
    std::vector<unsigned int>().swap(checked);

    // Only the vertices the faces still use, in order of first use.
    std::vector<int> newIndex(count, -1);
    const bool withNormals = normals.size() == count;
    out.faces.resize(kept.size() / 3);
    for (size_t k = 0; k < kept.size(); ++k) {
        int& index = newIndex[kept[k]];
        if (index < 0) {
            index = int(out.vertices.size());
            out.vertices.push_back(vertices[kept[k]]);
            out.original.push_back(int(kept[k]));
            if (withNormals) {
                out.normals.push_back(normals[kept[k]]);
            }
        }
        out.faces[k / 3][int(k % 3)] = index;
    }
    return out;
}
