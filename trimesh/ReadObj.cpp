// OBJ reader: "v" lines give vertices, "f" (and "t") lines give polygons
// whose corners count from 1, or back from the last vertex when negative;
// "1/2/3" corners use their first number. Other lines (materials, texture
// coordinates, groups, lines, points) are ignored. Lines may be of any
// length, and the last one needs no line break.

#include "trimesh/ReadCommon.h"

#include <algorithm>
#include <cstdint>

namespace {

bool lineStarts(const char* p, const char* end, char c)
{
    return end - p >= 2 && p[0] == c && (p[1] == ' ' || p[1] == '\t');
}

} // namespace

bool readObj(MeshInput& in, TriMesh* mesh)
{
    std::vector<int> idx;
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
                const char* r = parseFloat(q, end, v[k]);
                if (r == q) {
                    const unsigned char* line = reinterpret_cast<const unsigned char*>(p);
                    tmRefuse("line %lld has a vertex without three numbers",
                             lineNumberAt(in, line));
                    return false;
                }
                q = r;
            }
            mesh->vertices.push_back(v);
        } else if (lineStarts(p, end, 'f') || lineStarts(p, end, 't')) {
            idx.clear();
            const long long nv = (long long)mesh->vertices.size();
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
                // Skip the rest of the word ("/2/3").
                while (r < end && !isSpaceChar(static_cast<unsigned char>(*r)))
                    ++r;
                q = r;
            }
            tessellate(mesh, idx.data(), idx.size());
        }
    }
}
