#include "scene/PovCompactMesh.h"

#include "ln/LnSmoothMesh.h"
#include "scene/PovNumber.h"
#include "trimesh/TriMesh.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

int compactMeshTriangles = 200000;

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

bool finite(const vec& v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }

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

} // namespace

bool writeCompactSmoothLists(LnMesh* mesh, PovTextSink& out)
{
    auto* smooth = dynamic_cast<LnSmoothMesh*>(mesh);
    if (!smooth) {
        return false;
    }
    const int faceCount = mesh->getNumFaces();
    const bool flat = mesh->isFlat();
    const TriMesh& m = *smooth->triMesh();
    const size_t n = m.vertices.size();
    // A smooth mesh without a normal per vertex gives zero normals, as
    // the smaller form writes them.
    const bool normalsKnown = m.normals.size() == n;
    // The corners a face may use: finite, and with a finite normal.
    std::vector<unsigned char> usable(n);
    for (size_t i = 0; i < n; ++i) {
        usable[i] = finite(m.vertices[i]) && (flat || !normalsKnown || finite(m.normals[i]));
    }
    auto kept = [&](const Face& f) {
        for (int k = 0; k < 3; ++k) {
            if (f[k] < 0 || size_t(f[k]) >= n || !usable[size_t(f[k])]) {
                return false;
            }
        }
        return true;
    };
    size_t faces = 0;
    for (int j = 0; j < faceCount; ++j) {
        faces += kept(m.faces[size_t(j)]) ? 1 : 0;
    }

    writeVectors("vertex_vectors", m.vertices, n, out);
    if (!flat) {
        static const std::vector<vec> none;
        writeVectors("normal_vectors", normalsKnown ? m.normals : none, n, out);
    }
    putText(out, "\tface_indices{");
    putCount(out, faces);
    for (int j = 0; j < faceCount; ++j) {
        const Face& f = m.faces[size_t(j)];
        if (!kept(f)) {
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
