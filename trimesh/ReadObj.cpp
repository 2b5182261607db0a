// OBJ reader: "v" lines give vertices, "f" (and "t") lines give polygons
// whose corners count from 1, or back from the last vertex when negative;
// "1/2/3" corners use their first number. Other lines are ignored.

#include "trimesh/ReadCommon.h"

#include <algorithm>

namespace {

bool lineStarts(const char* p, const char* end, char c)
{
    return end - p >= 2 && p[0] == c && (p[1] == ' ' || p[1] == '\t');
}

}  // namespace

bool readObj(MeshInput& in, TriMesh* mesh)
{
    std::vector<int> idx;
    for (;;) {
        in.skipSpaceAndComments();
        if (in.atEnd())
            return true;
        // One line of at most 1023 bytes, as a 1024-byte line buffer holds;
        // a longer line goes on as the next one.
        const char* p = reinterpret_cast<const char*>(in.cursor());
        size_t max = std::min<size_t>(in.remaining(), 1023);
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', max));
        const char* end = nl ? nl + 1 : p + max;
        in.skip(size_t(end - p));

        if (lineStarts(p, end, 'v')) {
            vec v;
            const char* q = p + 1;
            for (int k = 0; k < 3; ++k) {
                while (q < end && isSpaceChar(static_cast<unsigned char>(*q)))
                    ++q;
                const char* r = parseFloat(q, end, v[k]);
                if (r == q)
                    return false;
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
