// OBJ reader: "v" lines give vertices, "f" (and "t") lines give polygons
// whose corners count from 1, or back from the last vertex when negative;
// "1/2/3" corners use their first number. "usemtl" and "mtllib" lines are
// noted (the mesh's material lists); other lines (texture coordinates,
// groups, lines, points) are ignored. Lines may be of any length, and the
// last one needs no line break. Numbers written as one compiler's printf
// writes a not-a-number or an infinity ("1.#IND", "-1.#QNAN", "1.#INF00")
// read as such.

#include "trimesh/ReadCommon.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

bool lineStarts(const char* p, const char* end, char c)
{
    return end - p >= 2 && p[0] == c && (p[1] == ' ' || p[1] == '\t');
}

bool lineStartsWord(const char* p, const char* end, const char* word)
{
    const size_t n = std::strlen(word);
    return size_t(end - p) > n && std::memcmp(p, word, n) == 0 &&
           (p[n] == ' ' || p[n] == '\t');
}

// The rest of the line after its first word, without the blanks around it.
std::string argument(const char* p, const char* end, size_t wordLength)
{
    const char* q = p + wordLength;
    while (q < end && isSpaceChar(static_cast<unsigned char>(*q)))
        ++q;
    const char* r = end;
    while (r > q && isSpaceChar(static_cast<unsigned char>(r[-1])))
        --r;
    return std::string(q, r);
}

bool matchesNoCase(const char* p, const char* end, const char* word)
{
    const size_t n = std::strlen(word);
    if (size_t(end - p) < n)
        return false;
    for (size_t k = 0; k < n; ++k) {
        if (std::toupper(static_cast<unsigned char>(p[k])) != word[k])
            return false;
    }
    return true;
}

// A number as parseFloat reads it, also in the forms "1.#IND", "1.#QNAN",
// "1.#SNAN" (not a number) and "1.#INF" (infinity), with their sign and
// any digits the printf added after them ("-1.#IND00").
const char* parseObjFloat(const char* p, const char* end, float& out)
{
    const char* r = parseFloat(p, end, out);
    if (r == p || r >= end || *r != '#')
        return r;
    const char* q = r + 1;
    float special;
    if (matchesNoCase(q, end, "INF")) {
        special = std::numeric_limits<float>::infinity();
        q += 3;
    } else if (matchesNoCase(q, end, "IND")) {
        special = std::numeric_limits<float>::quiet_NaN();
        q += 3;
    } else if (matchesNoCase(q, end, "QNAN") || matchesNoCase(q, end, "SNAN")) {
        special = std::numeric_limits<float>::quiet_NaN();
        q += 4;
    } else {
        return r;
    }
    while (q < end && *q >= '0' && *q <= '9')
        ++q;
    out = std::signbit(out) ? -special : special;
    return q;
}

} // namespace

bool readObj(MeshInput& in, TriMesh* mesh)
{
    std::vector<int> idx, tex;
    int material = -1;
    for (;;) {
        in.skipSpaceAndComments();
        if (in.atEnd())
            return true;
        // One whole line, however long.
        const char* p = reinterpret_cast<const char*>(in.cursor());
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', in.remaining()));
        const char* end = nl ? nl + 1 : p + in.remaining();
        in.skip(size_t(end - p));

        if (lineStarts(p, end, 'v')) {
            vec v;
            const char* q = p + 1;
            for (int k = 0; k < 3; ++k) {
                while (q < end && isSpaceChar(static_cast<unsigned char>(*q)))
                    ++q;
                const char* r = parseObjFloat(q, end, v[k]);
                if (r == q) {
                    const unsigned char* line = reinterpret_cast<const unsigned char*>(p);
                    tmRefuse("line %lld has a vertex without three numbers",
                             lineNumberAt(in, line));
                    return false;
                }
                q = r;
            }
            mesh->vertices.push_back(v);
        } else if (lineStartsWord(p, end, "vt")) {
            // "vt u [v [w]]"; what does not parse reads as 0.
            float t[2] = {0.0f, 0.0f};
            const char* q = p + 2;
            for (int k = 0; k < 2; ++k) {
                while (q < end && isSpaceChar(static_cast<unsigned char>(*q)))
                    ++q;
                const char* r = parseObjFloat(q, end, t[k]);
                if (r == q || !std::isfinite(t[k]))
                    t[k] = 0.0f;
                q = r;
            }
            mesh->texCoords.push_back(t[0]);
            mesh->texCoords.push_back(t[1]);
        } else if (lineStarts(p, end, 'f') || lineStarts(p, end, 't')) {
            idx.clear();
            tex.clear();
            const long long nv = (long long)mesh->vertices.size();
            const long long nt = (long long)mesh->texCoords.size() / 2;
            const char* q = p + 1;
            for (;;) {
                while (q < end && isSpaceChar(static_cast<unsigned char>(*q)))
                    ++q;
                int i;
                const char* r = parseInt(q, end, i);
                if (r == q)
                    break;
                long long corner = i < 0 ? nv + i : (long long)i - 1;
                idx.push_back(int(std::max<long long>(corner, (long long)INT32_MIN)));
                // "v/vt" or "v/vt/vn": the texture coordinate's index.
                int t = 0;
                long long texCorner = -1;
                if (r < end && *r == '/' && parseInt(r + 1, end, t) != r + 1) {
                    texCorner = t < 0 ? nt + t : (long long)t - 1;
                }
                tex.push_back(texCorner >= 0 && texCorner < nt ? int(texCorner) : -1);
                // Skip the rest of the word ("/2/3").
                while (r < end && !isSpaceChar(static_cast<unsigned char>(*r)))
                    ++r;
                q = r;
            }
            const size_t before = mesh->faces.size();
            tessellate(mesh, idx.data(), idx.size());
            if (!mesh->texCoords.empty()) {
                // Each new face's corners take the texture coordinates of the
                // polygon's corner they came from.
                mesh->faceTexCoords.resize(3 * before, -1);
                for (size_t f = before; f < mesh->faces.size(); ++f) {
                    for (int k = 0; k < 3; ++k) {
                        const auto at = std::find(idx.begin(), idx.end(), mesh->faces[f][k]);
                        mesh->faceTexCoords.push_back(
                            at == idx.end() ? -1 : tex[size_t(at - idx.begin())]);
                    }
                }
            }
            if (!mesh->materialNames.empty())
                mesh->faceMaterials.resize(mesh->faces.size(), material);
        } else if (lineStartsWord(p, end, "usemtl")) {
            const std::string name = argument(p, end, 6);
            auto& names = mesh->materialNames;
            const auto found = std::find(names.begin(), names.end(), name);
            material = int(found - names.begin());
            if (found == names.end()) {
                if (names.empty())
                    mesh->faceMaterials.assign(mesh->faces.size(), -1);
                names.push_back(name);
            }
        } else if (lineStartsWord(p, end, "mtllib")) {
            mesh->materialLibraries.push_back(argument(p, end, 6));
        }
    }
}
