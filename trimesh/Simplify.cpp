#include "trimesh/Simplify.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <thread>

namespace {

// Faces from which a mesh is simplified in pieces (see simplifyPieces).
constexpr size_t splitFaces = 400000;
// The sizes of a piece: its simplifier's tables stay within the processor's
// caches.
constexpr size_t smallestPiece = 100000;
constexpr size_t largestPiece = 250000;

// The error bound gives way where it would keep more than this many times
// the target: a surface rough far below the bound's size (a noisy scan)
// keeps millions of faces under it, which no picture of that size can tell
// from the mean shading of fewer, while POV-Ray takes seconds for each
// million. A 10M-face torus jittered by a twentieth of a pixel at 400x300
// kept 3.2M faces and rendered in 28 s; capped, 0.9M in 15 s, its picture
// as far from the full-detail one as before (1.9 grey levels against 1.7;
// jittered by 1/35 of a pixel, 1.05 either way, and by 1/70 the cap is not
// reached).
constexpr size_t boundGivesWay = 4;

// The simplifier's error is relative to the extent of the vertices it is
// given; `maxError` is in the mesh's own units (not finite: no bound). The
// bound gives way at boundGivesWay times the target, the copy then
// simplified on from where the bound stopped it.
size_t simplifyPart(unsigned int* destination, const unsigned int* indices, size_t indexCount,
                    const std::vector<vec>& vertices, size_t target, float maxError,
                    unsigned int options)
{
    const float scale = meshopt_simplifyScale(reinterpret_cast<const float*>(vertices.data()),
                                              vertices.size(), sizeof(vec));
    const float relative = !std::isfinite(maxError) ? std::numeric_limits<float>::max()
                           : scale > 0.0f           ? maxError / scale
                                                    : 0.0f;
    const float* positions = reinterpret_cast<const float*>(vertices.data());
    size_t kept = meshopt_simplify(destination, indices, indexCount, positions, vertices.size(),
                                   sizeof(vec), target, relative, options, nullptr);
    const size_t cap = boundGivesWay * target;
    if (kept > cap && std::isfinite(maxError)) {
        kept =
            meshopt_simplify(destination, destination, kept, positions, vertices.size(),
                             sizeof(vec), cap, std::numeric_limits<float>::max(), options, nullptr);
    }
    return kept;
}

// A kept vertex of a simplified copy stands for the original vertices
// around it, whose normals vary where the surface is rough: one ray per
// pixel sees any of them in a full-detail picture. The copy's vertex
// takes their mean, within reachShare of the mean length of its edges in
// the copy (walked over the original's edges, on its own side of the
// surface), so its shading follows the mean of what it stands for rather
// than one sample of it. Measured against the full-detail picture (pixels
// off by more than 16 grey levels): a 10M-face torus jittered by 1/70 of a
// pixel at 400x300, 0.53% -> 0.33%; the same torus smooth, 0.30% -> 0.31%;
// the shared range scans at 80x60 and 160x120, within 0.02% either way.
// A wider reach blurs what the smooth scans show.
constexpr float reachShare = 0.2f;

// The mean normals (see reachShare) of the vertices that the faces `kept`
// use, appended to `averaged` as (vertex, normal), all indices into
// `positions`. A vertex on the mesh's border (where a cut between pieces
// may run, and another piece hold the rest of what it stands for) keeps its
// own normal.
void averageNormals(const std::vector<vec>& positions, const std::vector<vec>& normals,
                    const unsigned int* indices, size_t indexCount,
                    const std::vector<unsigned int>& kept,
                    std::vector<std::pair<unsigned int, vec>>& averaged)
{
    const size_t count = positions.size();
    // Each vertex's neighbours, once for each face they share.
    std::vector<unsigned int> start(count + 1, 0);
    for (size_t k = 0; k < indexCount; ++k) {
        start[indices[k] + 1] += 2;
    }
    for (size_t v = 0; v < count; ++v) {
        start[v + 1] += start[v];
    }
    std::vector<unsigned int> fill(start.begin(), start.end() - 1);
    std::vector<unsigned int> next(start[count]);
    for (size_t f = 0; f + 2 < indexCount; f += 3) {
        for (size_t c = 0; c < 3; ++c) {
            const unsigned int a = indices[f + c];
            next[fill[a]++] = indices[f + (c + 1) % 3];
            next[fill[a]++] = indices[f + (c + 2) % 3];
        }
    }
    std::vector<unsigned int>().swap(fill);
    // The mean length of each kept vertex's edges in the copy.
    std::vector<float> length(count, 0.0f);
    std::vector<unsigned int> edges(count, 0);
    for (size_t k = 0; k + 2 < kept.size(); k += 3) {
        for (size_t c = 0; c < 3; ++c) {
            const unsigned int a = kept[k + c], b = kept[k + (c + 1) % 3];
            const float l = len(positions[a] - positions[b]);
            length[a] += l;
            length[b] += l;
            ++edges[a];
            ++edges[b];
        }
    }
    std::vector<unsigned int> seen(count, ~0u);
    std::vector<unsigned int> queue, around;
    for (const unsigned int v : kept) {
        if (seen[v] == v) {
            continue; // done already
        }
        seen[v] = v;
        // Inside, each neighbour is met by exactly two faces.
        around.assign(next.begin() + start[v], next.begin() + start[v + 1]);
        std::sort(around.begin(), around.end());
        bool inside = !around.empty() && around.size() % 2 == 0;
        for (size_t k = 0; inside && k < around.size(); k += 2) {
            inside = around[k] == around[k + 1] &&
                     (k + 2 == around.size() || around[k + 2] != around[k]);
        }
        if (!inside) {
            continue;
        }
        const float reach = reachShare * length[v] / float(std::max(edges[v], 1u));
        const float reach2 = reach * reach;
        const vec& p = positions[v];
        const vec& n = normals[v];
        vec sum(0.0f, 0.0f, 0.0f);
        queue.assign(1, v);
        // A bound on the walk, for surfaces folded on themselves.
        for (size_t q = 0; q < queue.size() && q < 1024; ++q) {
            const unsigned int u = queue[q];
            if (dot(normals[u], n) > 0.0f) {
                sum += normals[u];
            }
            for (unsigned int e = start[u]; e < start[u + 1]; ++e) {
                const unsigned int w = next[e];
                if (seen[w] != v && len2(positions[w] - p) <= reach2) {
                    seen[w] = v;
                    queue.push_back(w);
                }
            }
        }
        const float l = len(sum);
        if (l > 0.0f && std::isfinite(l)) {
            averaged.emplace_back(v, sum / l);
        }
    }
}

// The faces of `order` from `begin` to `end` cut at the median of their
// first corners along the widest axis of their box, again and again, until
// no piece has more than `pieceFaces`; the pieces' ranges are appended.
void cutPieces(std::vector<unsigned int>& order, size_t begin, size_t end,
               const unsigned int* indices, const std::vector<vec>& vertices, size_t pieceFaces,
               std::vector<std::pair<size_t, size_t>>& pieces, bool twoThreads)
{
    if (end - begin <= pieceFaces) {
        pieces.emplace_back(begin, end);
        return;
    }
    auto key = [&](unsigned int face) -> const vec& { return vertices[indices[3 * size_t(face)]]; };
    vec low = key(order[begin]), high = low;
    for (size_t k = begin; k < end; ++k) {
        const vec& p = key(order[k]);
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
    const size_t middle = begin + (end - begin) / 2;
    // Ties go by face number, so the cut depends on the mesh alone.
    std::nth_element(order.begin() + long(begin), order.begin() + long(middle),
                     order.begin() + long(end), [&](unsigned int a, unsigned int b) {
                         const float ka = key(a)[axis], kb = key(b)[axis];
                         return ka < kb || (ka == kb && a < b);
                     });
    if (!twoThreads) {
        cutPieces(order, begin, middle, indices, vertices, pieceFaces, pieces, false);
        cutPieces(order, middle, end, indices, vertices, pieceFaces, pieces, false);
        return;
    }
    // The two halves are cut on two threads.
    std::vector<std::pair<size_t, size_t>> second;
    std::exception_ptr failure;
    std::thread other([&] {
        try {
            cutPieces(order, middle, end, indices, vertices, pieceFaces, second, false);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        cutPieces(order, begin, middle, indices, vertices, pieceFaces, pieces, false);
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    pieces.insert(pieces.end(), second.begin(), second.end());
}

// A large mesh is cut into pieces of neighbouring faces (see cutPieces),
// and each piece, with its own copy of the vertices it uses, is simplified
// with its borders (the cuts among them) left in place, so the pieces still
// meet and the surface moves no more than in one piece. Small pieces are
// far quicker to simplify than one large mesh (the simplifier's tables stay
// in the caches; on a 10M-face mesh, 8 pieces take a third of the time one
// does and 64 pieces a quarter), need a fraction of its memory and run on
// every core. The cuts depend on the mesh alone and the pieces are joined
// in order, so the result is the same however many threads run it.
// The normals, when there is one per vertex, are averaged (see
// averageNormals) piece by piece into `averaged`, by the vertices' indices.
std::vector<unsigned int> simplifyPieces(const unsigned int* indices, size_t indexCount,
                                         const std::vector<vec>& vertices,
                                         const std::vector<vec>& normals, size_t target,
                                         float maxError, unsigned threads,
                                         std::vector<std::pair<unsigned int, vec>>& averaged)
{
    const size_t faceCount = indexCount / 3;
    // A border keeps about one face per edge: a square piece of F faces
    // about 2.8 sqrt(F). The pieces are made large enough for their share
    // of the target, T F / N, to be four times that, F >= 125 N^2 / T^2,
    // within the sizes that stay quick; a small target takes the smallest
    // pieces and some more faces along their borders.
    const double ratio = double(faceCount) / std::max(double(target) / 3.0, 1.0);
    const size_t pieceFaces =
        size_t(std::clamp(125.0 * ratio * ratio, double(smallestPiece), double(largestPiece)));
    std::vector<unsigned int> order(faceCount);
    for (size_t f = 0; f < faceCount; ++f) {
        order[f] = unsigned(f);
    }
    std::vector<std::pair<size_t, size_t>> pieces;
    cutPieces(order, 0, faceCount, indices, vertices, pieceFaces, pieces, threads > 1);

    const bool withNormals = normals.size() == vertices.size();
    std::vector<std::vector<unsigned int>> kept(pieces.size());
    std::vector<std::vector<std::pair<unsigned int, vec>>> pieceAveraged(pieces.size());
    std::atomic<size_t> next(0);
    // Each worker takes the next piece until none is left.
    auto work = [&]() {
        std::vector<unsigned int> local(vertices.size(), ~0u);
        std::vector<unsigned int> pieceIndices;
        std::vector<vec> pieceVertices, pieceNormals;
        std::vector<unsigned int> original;
        for (size_t p = next++; p < pieces.size(); p = next++) {
            pieceIndices.clear();
            pieceVertices.clear();
            pieceNormals.clear();
            original.clear();
            for (size_t k = pieces[p].first; k < pieces[p].second; ++k) {
                const size_t f = order[k];
                for (size_t c = 0; c < 3; ++c) {
                    const unsigned int v = indices[3 * f + c];
                    if (local[v] == ~0u) {
                        local[v] = unsigned(pieceVertices.size());
                        pieceVertices.push_back(vertices[v]);
                        if (withNormals) {
                            pieceNormals.push_back(normals[v]);
                        }
                        original.push_back(v);
                    }
                    pieceIndices.push_back(local[v]);
                }
            }
            for (unsigned int v : original) {
                local[v] = ~0u;
            }
            // Each piece's share of the target follows its share of the faces.
            const size_t share =
                size_t(double(target) * double(pieceIndices.size()) / double(indexCount)) / 3 * 3;
            std::vector<unsigned int>& out = kept[p];
            out.resize(pieceIndices.size());
            out.resize(simplifyPart(out.data(), pieceIndices.data(), pieceIndices.size(),
                                    pieceVertices, std::max<size_t>(share, 3), maxError,
                                    meshopt_SimplifyLockBorder));
            if (withNormals) {
                std::vector<std::pair<unsigned int, vec>>& mean = pieceAveraged[p];
                averageNormals(pieceVertices, pieceNormals, pieceIndices.data(),
                               pieceIndices.size(), out, mean);
                for (auto& entry : mean) {
                    entry.first = original[entry.first];
                }
            }
            for (unsigned int& v : out) {
                v = original[v];
            }
            out.shrink_to_fit();
        }
    };
    const size_t workers = std::min<size_t>(pieces.size(), threads);
    std::vector<std::exception_ptr> failures(workers);
    std::vector<std::thread> others;
    for (size_t w = 1; w < workers; ++w) {
        others.emplace_back([&, w] {
            try {
                work();
            } catch (...) {
                failures[w] = std::current_exception();
                next = pieces.size();
            }
        });
    }
    try {
        work();
    } catch (...) {
        failures[0] = std::current_exception();
        next = pieces.size();
    }
    for (std::thread& t : others) {
        t.join();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
    std::vector<unsigned int>().swap(order);
    size_t total = 0;
    for (const std::vector<unsigned int>& piece : kept) {
        total += piece.size();
    }
    std::vector<unsigned int> joined;
    joined.reserve(total);
    for (std::vector<unsigned int>& piece : kept) {
        joined.insert(joined.end(), piece.begin(), piece.end());
        std::vector<unsigned int>().swap(piece);
    }
    for (const auto& mean : pieceAveraged) {
        averaged.insert(averaged.end(), mean.begin(), mean.end());
    }
    return joined;
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
// use; a vertex listed in `averaged` takes the normal given there.
SimplifiedMesh keptMesh(const std::vector<vec>& vertices, const std::vector<vec>& normals,
                        const std::vector<unsigned int>& kept,
                        const std::vector<std::pair<unsigned int, vec>>& averaged = {})
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
    if (withNormals) {
        for (const auto& [vertex, normal] : averaged) {
            if (newIndex[vertex] >= 0) {
                out.normals[size_t(newIndex[vertex])] = normal;
            }
        }
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
                            const std::vector<Face>& faces, size_t targetFaces, float maxError,
                            unsigned threads)
{
    const size_t count = vertices.size();
    std::vector<unsigned int> checked;
    size_t indexCount = 0;
    const unsigned int* indices = checkedIndices(faces, count, checked, indexCount);
    if (indexCount == 0 || count == 0) {
        return SimplifiedMesh();
    }
    const size_t target = std::min(indexCount, 3 * std::max<size_t>(targetFaces, 1));
    std::vector<unsigned int> kept;
    std::vector<std::pair<unsigned int, vec>> averaged;
    if (indexCount / 3 < splitFaces) {
        kept.resize(indexCount);
        kept.resize(simplifyPart(kept.data(), indices, indexCount, vertices, target, maxError, 0));
        if (normals.size() == count) {
            averageNormals(vertices, normals, indices, indexCount, kept, averaged);
        }
    } else {
        if (threads == 0) {
            threads = std::max(1u, std::min(std::thread::hardware_concurrency(), 8u));
        }
        kept = simplifyPieces(indices, indexCount, vertices, normals, target, maxError, threads,
                              averaged);
    }
    std::vector<unsigned int>().swap(checked);
    return keptMesh(vertices, normals, kept, averaged);
}
