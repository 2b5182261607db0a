#include "scene/PovCompactMesh.h"

#include "ln/LnSmoothMesh.h"
#include "scene/PovNumber.h"
#include "trimesh/TriMesh.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

int compactMeshTriangles = 200000;
int compactPieceTriangles = 25000;

char* writeCompactFixed(char* out, float v)
{
    char text[64];
    char* end = writeFixed(text, v);
    const char* dot = static_cast<const char*>(std::memchr(text, '.', size_t(end - text)));
    if (!dot) { // not finite: no shorter form
        std::memcpy(out, text, size_t(end - text));
        return out + (end - text);
    }
    while (end > dot + 1 && end[-1] == '0') {
        --end;
    }
    if (end == dot + 1) {
        end = const_cast<char*>(dot); // a whole number
    }
    const char* p = text;
    if (*p == '-') {
        *out++ = *p++;
    }
    // "0.25" reads as ".25"; a lone "0" stays.
    if (p[0] == '0' && p + 1 == dot && end > dot) {
        ++p;
    }
    const size_t n = size_t(end - p);
    std::memcpy(out, p, n);
    return out + n;
}

char* putCompactTriple(char* out, const vec& v)
{
    *out++ = '<';
    out = writeCompactFixed(out, v[0]);
    *out++ = ',';
    out = writeCompactFixed(out, v[1]);
    *out++ = ',';
    out = writeCompactFixed(out, v[2]);
    *out++ = '>';
    return out;
}

char* putCompactIndexTriple(char* out, int a, int b, int c)
{
    *out++ = '<';
    out = std::to_chars(out, out + 16, a).ptr;
    *out++ = ',';
    out = std::to_chars(out, out + 16, b).ptr;
    *out++ = ',';
    out = std::to_chars(out, out + 16, c).ptr;
    *out++ = '>';
    return out;
}

namespace {

bool finite(const vec& v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

void putText(PovTextSink& out, const char* text)
{
    const size_t n = std::strlen(text);
    char* p = out.room(n);
    std::memcpy(p, text, n);
    out.commit(p + n);
}

void putCount(PovTextSink& out, size_t count)
{
    char* p = out.room(24);
    p = std::to_chars(p, p + 20, count).ptr;
    out.commit(p);
}

// "\tname{count,<x,y,z>,...}\n"; a vector that is not finite (no face uses
// it) is written as the origin.
void writeVectors(const char* name, const std::vector<vec>& vectors, size_t count, PovTextSink& out)
{
    putText(out, "\t");
    putText(out, name);
    putText(out, "{");
    putCount(out, count);
    static const vec origin(0.0f, 0.0f, 0.0f);
    for (size_t i = 0; i < count; ++i) {
        const vec& v = i < vectors.size() && finite(vectors[i]) ? vectors[i] : origin;
        char* p = out.room(3 * 64 + 8);
        *p++ = ',';
        out.commit(putCompactTriple(p, v));
        out.flushIfLarge();
    }
    putText(out, "}\n");
}

// The faces of a smooth mesh that POV-Ray gets: those whose corners are
// finite and, when the mesh is smooth and has a normal per vertex, have
// finite normals.
struct SmoothFaces {
    const PovMeshLists m;
    bool flat;
    bool normalsKnown;
    std::vector<unsigned char> usable;

    SmoothFaces(const PovMeshLists& mesh, bool flat)
        : m(mesh), flat(flat), normalsKnown(mesh.normals.size() == mesh.vertices.size()),
          usable(mesh.vertices.size())
    {
        for (size_t i = 0; i < usable.size(); ++i) {
            usable[i] = finite(m.vertices[i]) && (flat || !normalsKnown || finite(m.normals[i]));
        }
    }
    bool kept(const Face& f) const
    {
        for (int k = 0; k < 3; ++k) {
            if (f[k] < 0 || size_t(f[k]) >= usable.size() || !usable[size_t(f[k])]) {
                return false;
            }
        }
        return true;
    }
};

// Spreads the low 21 bits of x to every third bit.
uint64_t spreadBits(uint64_t x)
{
    x &= 0x1fffff;
    x = (x | x << 32) & 0x1f00000000ffffULL;
    x = (x | x << 16) & 0x1f0000ff0000ffULL;
    x = (x | x << 8) & 0x100f00f00f00f00fULL;
    x = (x | x << 4) & 0x10c30c30c30c30c3ULL;
    x = (x | x << 2) & 0x1249249249249249ULL;
    return x;
}

// The kept faces, ordered along a Z-order curve through their centres, so
// that each run of faces lies close together in space. Ties keep the
// faces' own order; the halves are sorted on two threads and merged, which
// gives the same order as one sort.
std::vector<uint32_t> facesInSpaceOrder(const SmoothFaces& faces, int faceCount)
{
    const PovMeshLists& m = faces.m;
    vec lo(0.0f, 0.0f, 0.0f), hi(0.0f, 0.0f, 0.0f);
    bool any = false;
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        if (!faces.usable[i]) {
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            lo[k] = any ? std::min(lo[k], m.vertices[i][k]) : m.vertices[i][k];
            hi[k] = any ? std::max(hi[k], m.vertices[i][k]) : m.vertices[i][k];
        }
        any = true;
    }
    const double extent =
        std::max({double(hi[0]) - lo[0], double(hi[1]) - lo[1], double(hi[2]) - lo[2], 1e-30});
    std::vector<std::pair<uint64_t, uint32_t>> keys;
    keys.reserve(size_t(faceCount));
    for (int j = 0; j < faceCount; ++j) {
        const Face& f = m.faces[size_t(j)];
        if (!faces.kept(f)) {
            continue;
        }
        uint64_t code = 0;
        for (int k = 0; k < 3; ++k) {
            const double centre = (double(m.vertices[size_t(f[0])][k]) +
                                   m.vertices[size_t(f[1])][k] + m.vertices[size_t(f[2])][k]) /
                                  3.0;
            const double t = std::clamp((centre - lo[k]) / extent, 0.0, 1.0);
            code |= spreadBits(uint64_t(t * 2097151.0)) << k;
        }
        keys.emplace_back(code, uint32_t(j));
    }
    const auto middle = keys.begin() + std::ptrdiff_t(keys.size() / 2);
    std::thread first([&] { std::sort(keys.begin(), middle); });
    std::sort(middle, keys.end());
    first.join();
    std::inplace_merge(keys.begin(), middle, keys.end());
    std::vector<uint32_t> order(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        order[i] = keys[i].second;
    }
    return order;
}

} // namespace

bool writeCompactSmoothLists(LnMesh* mesh, PovTextSink& out)
{
    auto* smooth = dynamic_cast<LnSmoothMesh*>(mesh);
    if (!smooth) {
        return false;
    }
    const int faceCount = mesh->getNumFaces();
    const TriMesh& t = *smooth->triMesh();
    const SmoothFaces kept({t.vertices, t.normals, t.faces}, mesh->isFlat());
    const PovMeshLists& m = kept.m;
    size_t faces = 0;
    for (int j = 0; j < faceCount; ++j) {
        faces += kept.kept(m.faces[size_t(j)]) ? 1 : 0;
    }

    // A smooth mesh without a normal per vertex gives zero normals, as the
    // smaller form writes them.
    writeVectors("vertex_vectors", m.vertices, m.vertices.size(), out);
    if (!kept.flat) {
        static const std::vector<vec> none;
        writeVectors("normal_vectors", kept.normalsKnown ? m.normals : none, m.vertices.size(),
                     out);
    }
    putText(out, "\tface_indices{");
    putCount(out, faces);
    for (int j = 0; j < faceCount; ++j) {
        const Face& f = m.faces[size_t(j)];
        if (!kept.kept(f)) {
            continue;
        }
        char* p = out.room(3 * 16 + 8);
        *p++ = ',';
        out.commit(putCompactIndexTriple(p, f[0], f[1], f[2]));
        out.flushIfLarge();
    }
    putText(out, "}\n");
    return true;
}

bool writeCompactSmoothMeshes(LnMesh* mesh, const char* modifiers, PovTextSink& out)
{
    auto* smooth = dynamic_cast<LnSmoothMesh*>(mesh);
    if (!smooth) {
        return false;
    }
    const int faceCount = mesh->getNumFaces();
    if (faceCount <= compactPieceTriangles) {
        putText(out, "\nmesh2 {\n");
        writeCompactSmoothLists(mesh, out);
        putText(out, modifiers);
        putText(out, "}\n");
        return true;
    }
    const TriMesh& t = *smooth->triMesh();
    writeCompactMeshPieces({t.vertices, t.normals, t.faces}, mesh->isFlat(), modifiers, out);
    return true;
}

void writeCompactMeshPieces(const PovMeshLists& mesh, bool flat, const char* modifiers,
                            PovTextSink& out)
{
    const int faceCount = int(mesh.faces.size());
    const SmoothFaces kept(mesh, flat);
    const PovMeshLists& m = kept.m;
    const std::vector<uint32_t> order = facesInSpaceOrder(kept, faceCount);
    static const vec origin(0.0f, 0.0f, 0.0f);
    // Each piece numbers its own corners in the order its faces first use
    // them; `local` is reset after every piece.
    std::vector<int> local(m.vertices.size(), -1);
    std::vector<uint32_t> corners;
    const size_t piece = size_t(std::max(compactPieceTriangles, 1));
    for (size_t start = 0; start < order.size(); start += piece) {
        const size_t end = std::min(order.size(), start + piece);
        corners.clear();
        for (size_t i = start; i < end; ++i) {
            const Face& f = m.faces[order[i]];
            for (int k = 0; k < 3; ++k) {
                if (local[size_t(f[k])] < 0) {
                    local[size_t(f[k])] = int(corners.size());
                    corners.push_back(uint32_t(f[k]));
                }
            }
        }
        putText(out, "\nmesh2 {\n\tvertex_vectors{");
        putCount(out, corners.size());
        for (uint32_t v : corners) {
            char* p = out.room(3 * 64 + 8);
            *p++ = ',';
            out.commit(putCompactTriple(p, m.vertices[v]));
            out.flushIfLarge();
        }
        putText(out, "}\n");
        if (!kept.flat) {
            putText(out, "\tnormal_vectors{");
            putCount(out, corners.size());
            for (uint32_t v : corners) {
                char* p = out.room(3 * 64 + 8);
                *p++ = ',';
                out.commit(putCompactTriple(p, kept.normalsKnown ? m.normals[v] : origin));
                out.flushIfLarge();
            }
            putText(out, "}\n");
        }
        putText(out, "\tface_indices{");
        putCount(out, end - start);
        for (size_t i = start; i < end; ++i) {
            const Face& f = m.faces[order[i]];
            char* p = out.room(3 * 16 + 8);
            *p++ = ',';
            out.commit(putCompactIndexTriple(p, local[size_t(f[0])], local[size_t(f[1])],
                                             local[size_t(f[2])]));
            out.flushIfLarge();
        }
        putText(out, "}\n");
        putText(out, modifiers);
        putText(out, "}\n");
        for (uint32_t v : corners) {
            local[v] = -1;
        }
    }
}
