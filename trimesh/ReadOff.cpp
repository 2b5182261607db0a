// OFF reader: "OFF", a line of counts, vertex positions, then polygons given
// as a corner count and the indices; anything after the indices on a face
// line (colours, say) is dropped.

#include "trimesh/ReadCommon.h"

bool readOff(MeshInput& in, TriMesh* mesh)
{
    in.skipSpaceAndComments();
    std::string counts = in.readLine(1024);
    const char* p = counts.c_str();
    const char* end = p + counts.size();
    int n[3] = {0, 0, 0};
    int parsed = 0;
    for (; parsed < 3; ++parsed) {
        while (p < end && isSpaceChar(static_cast<unsigned char>(*p)))
            ++p;
        const char* q = parseInt(p, end, n[parsed]);
        if (q == p)
            break;
        p = q;
    }
    if (parsed < 2)
        return false;
    const int numVertices = n[0], numFaces = n[1];

    AsciiVertexLayout layout;
    layout.values = 3;
    layout.position = 0;
    if (!readAsciiVertices(in, mesh, numVertices, layout))
        return false;

    if (!checkCount("Face", numFaces, 2, in))
        return false;
    mesh->faces.reserve(size_t(numFaces));
    in.skipSpaceAndComments();
    tmMessage("\n  Reading %d faces... ", numFaces);
    std::vector<int> idx;
    for (int f = 0; f < numFaces; ++f) {
        in.skipSpaceAndComments();
        int count;
        if (!in.readInt(count))
            return false;
        if (!checkCount("Polygon corner", count, 2, in))
            return false;
        idx.resize(size_t(count));
        for (int k = 0; k < count; ++k) {
            if (!in.readInt(idx[size_t(k)]))
                return false;
        }
        tessellate(mesh, idx.data(), idx.size());
        // A face line must end in a line break, even the last one.
        if (!in.skipRestOfLine())
            return false;
    }
    return true;
}
