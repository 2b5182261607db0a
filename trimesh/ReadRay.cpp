// Ray-tracer form reader: "#vertex x y z ..." lines make vertices,
// "#shape_triangle material a b c" lines make faces; every other word
// (camera, material, counts, normals after a vertex) is skipped.

#include "trimesh/ReadCommon.h"

#include <cctype>

namespace {
bool equalsNoCase(const std::string& a, const char* b)
{
    return a.size() == std::strlen(b) && startsWithNoCase(a, b);
}
} // namespace

bool readRay(MeshInput& in, TriMesh* mesh)
{
    for (;;) {
        std::string word = in.readWord(1024);
        if (word.empty())
            return true;
        // Keywords are whole words: "#vertex_num" is not "#vertex".
        if (equalsNoCase(word, "#vertex")) {
            vec v;
            if (!in.readFloat(v[0]) || !in.readFloat(v[1]) || !in.readFloat(v[2]))
                return false;
            mesh->vertices.push_back(v);
        } else if (equalsNoCase(word, "#shape_triangle")) {
            int material;
            Face f;
            if (!in.readInt(material) || !in.readInt(f[0]) || !in.readInt(f[1]) ||
                !in.readInt(f[2]))
                return false;
            mesh->faces.push_back(f);
        }
    }
}
