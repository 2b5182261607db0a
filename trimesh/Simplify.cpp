#include "trimesh/Simplify.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <thread>

namespace {

// Faces from which a mesh is simplified as two halves at once.
constexpr size_t splitFaces = 1000000;

size_t simplifyPart(unsigned int* destination, const unsigned int* indices, size_t indexCount,
                    const std::vector<vec>& vertices, size_t target, float relative,
                    unsigned int options)
{
    return meshopt_simplify(destination, indices, indexCount,
                            reinterpret_cast<const float*>(vertices.data()), vertices.size(),
                            sizeof(vec), target, relative, options, nullptr);
}

// A large mesh is cut in two by the median of its faces' first corners
// along the widest axis, and each half, with its own copy of the vertices
// it uses, is simplified on a thread of its own with the cut (and every
// other border) left in place, so the halves still meet. The cut depends
// on the mesh alone, so the result is the same however many cores run it.
std::vector<unsigned int> simplifyHalves(const unsigned int* indices, size_t indexCount,
                                         const std::vector<vec>& vertices, size_t target,
                                         float relative)
{
    const size_t faceCount = indexCount / 3;
    vec low = vertices[indices[0]], high = low;
    for (size_t k = 0; k < indexCount; ++k) {
        const vec& p = vertices[indices[k]];
        for (int c = 0; c < 3; ++c) {
            low[c] = std::min(low[c], p[c]);
            high[c] = std::max(high[c], p[c]);
        }
    }
    int axis = 0;
    for (int c = 1; c < 3; ++c) {
        if (high[c] - low[c] > high[axis] - low[axis]) {
            axis = c;
        }
    }
    std::vector<float> keys(faceCount);
    for (size_t f = 0; f < faceCount; ++f) {
        keys[f] = vertices[indices[3 * f]][axis];
    }
    std::vector<float> sorted = keys;
    std::nth_element(sorted.begin(), sorted.begin() + long(faceCount / 2), sorted.end());
    const float cut = sorted[faceCount / 2];
    std::vector<float>().swap(sorted);

    struct Half {
        std::vector<unsigned int> indices;  // local
        std::vector<vec> vertices;          // those the half uses
        std::vector<unsigned int> original; // for each local vertex, its index in `vertices`
        std::vector<unsigned int> kept;
    };
    Half halves[2];
    std::vector<unsigned int> local(vertices.size());
    for (int h = 0; h < 2; ++h) {
        Half& half = halves[h];
        std::fill(local.begin(), local.end(), ~0u);
        for (size_t f = 0; f < faceCount; ++f) {
            if ((keys[f] < cut) != (h == 0)) {
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                const unsigned int v = indices[3 * f + size_t(c)];
                if (local[v] == ~0u) {
                    local[v] = unsigned(half.vertices.size());
                    half.vertices.push_back(vertices[v]);
                    half.original.push_back(v);
                }
                half.indices.push_back(local[v]);
            }
        }
    }
    std::vector<unsigned int>().swap(local);
    std::vector<float>().swap(keys);
    // Each half's share of the target follows its share of the faces.
    auto run = [&](Half& half) {
        half.kept.resize(half.indices.size());
        const size_t share =
            size_t(double(target) * double(half.indices.size()) / double(indexCount)) / 3 * 3;
        half.kept.resize(simplifyPart(half.kept.data(), half.indices.data(), half.indices.size(),
                                      half.vertices, std::max<size_t>(share, 3), relative,
                                      meshopt_SimplifyLockBorder));
        std::vector<unsigned int>().swap(half.indices);
    };
    std::exception_ptr failure;
    std::thread other([&] {
        try {
            run(halves[1]);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        run(halves[0]);
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    std::vector<unsigned int> kept;
    kept.reserve(halves[0].kept.size() + halves[1].kept.size());
    for (const Half& half : halves) {
        for (unsigned int v : half.kept) {
            kept.push_back(half.original[v]);
        }
    }
    return kept;
}

} // namespace

namespace {

// The faces' indices for the simplifier, which reads every index it is
// given: faces naming a vertex that is not there are dropped first (they
// are rare, so the copy in `checked` is made only when one is found).
const unsigned int* checkedIndices(const std::vector<Face>& faces, size_t count,
                                   std::vector<unsigned int>& checked, size_t& indexCount)
{
    indexCount = 3 * faces.size();
    auto valid = [count](const Face& f) {
        return f[0] >= 0 && f[1] >= 0 && f[2] >= 0 && size_t(f[0]) < count &&
               size_t(f[1]) < count && size_t(f[2]) < count;
    };
    if (std::all_of(faces.begin(), faces.end(), valid)) {
        return reinterpret_cast<const unsigned int*>(faces.data());
    }
    for (const Face& f : faces) {
        if (valid(f)) {
            checked.insert(checked.end(), {unsigned(f[0]), unsigned(f[1]), unsigned(f[2])});
        }
    }
    indexCount = checked.size();
    return checked.data();
}

// The kept faces with only the vertices they still use, in order of first
// use.
SimplifiedMesh keptMesh(const std::vector<vec>& vertices, const std::vector<vec>& normals,
                        const std::vector<unsigned int>& kept)
{
    SimplifiedMesh out;
    const size_t count = vertices.size();
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

} // namespace

SimplifiedMesh simplifyMeshRoughly(const std::vector<vec>& vertices,
                                   const std::vector<vec>& normals, const std::vector<Face>& faces,
                                   size_t targetFaces)
{
    std::vector<unsigned int> checked;
    size_t indexCount = 0;
    const unsigned int* indices = checkedIndices(faces, vertices.size(), checked, indexCount);
    if (indexCount == 0 || vertices.empty()) {
        return SimplifiedMesh();
    }
    const size_t target = std::min(indexCount, 3 * std::max<size_t>(targetFaces, 1));
    // The simplifier may write up to as many indices as it reads.
    std::vector<unsigned int> kept(indexCount);
    kept.resize(meshopt_simplifySloppy(
        kept.data(), indices, indexCount, reinterpret_cast<const float*>(vertices.data()),
        vertices.size(), sizeof(vec), target, std::numeric_limits<float>::max(), nullptr));
    std::vector<unsigned int>().swap(checked);
    return keptMesh(vertices, normals, kept);
}

SimplifiedMesh simplifyMesh(const std::vector<vec>& vertices, const std::vector<vec>& normals,
                            const std::vector<Face>& faces, size_t targetFaces, float maxError)
{
    const size_t count = vertices.size();
    std::vector<unsigned int> checked;
    size_t indexCount = 0;
    const unsigned int* indices = checkedIndices(faces, count, checked, indexCount);
    if (indexCount == 0 || count == 0) {
        return SimplifiedMesh();
    }
    // The simplifier's error is relative to the mesh's extent.
    const float scale =
        meshopt_simplifyScale(reinterpret_cast<const float*>(vertices.data()), count, sizeof(vec));
    // No bound at all when the error is not finite.
    const float relative = !std::isfinite(maxError) ? std::numeric_limits<float>::max()
                           : scale > 0.0f           ? maxError / scale
                                                    : 0.0f;
    const size_t target = std::min(indexCount, 3 * std::max<size_t>(targetFaces, 1));
    std::vector<unsigned int> kept;
    if (indexCount / 3 < splitFaces) {
        kept.resize(indexCount);
        kept.resize(simplifyPart(kept.data(), indices, indexCount, vertices, target, relative, 0));
    } else {
        kept = simplifyHalves(indices, indexCount, vertices, target, relative);
    }
    std::vector<unsigned int>().swap(checked);
    return keptMesh(vertices, normals, kept);
}
