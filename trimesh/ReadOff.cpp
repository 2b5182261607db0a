// OFF reader: "OFF", a line of counts, vertex positions, then polygons given
// as a corner count and the indices; anything after the indices on a face
// line (colours, say) is dropped. The counts may follow "OFF" on its own
// line, and the last face line needs no line break. The variants COFF,
// NOFF, CNOFF, STOFF (and their mixes) carry more values on each vertex
// line; only the position is kept.

#include "trimesh/ReadCommon.h"
#include "trimesh/ReadInTwo.h"

namespace {

// Vertex lines of the OFF variants that add values after the position
// (normals, colours, texture coordinates): the first three numbers of each
// line are the position, the rest of the line is dropped.
bool readVertexLines(MeshInput& in, TriMesh* mesh, int count)
{
    if (!checkCount("Vertex", count, 6, in))
        return false;
    tmMessage("\n  Reading %d vertices... ", count);
    mesh->vertices.reserve(mesh->vertices.size() + size_t(count));
    for (int i = 0; i < count; ++i) {
        in.skipSpaceAndComments();
        const unsigned char* at = in.cursor();
        vec v;
        if (!in.readFloat(v[0]) || !in.readFloat(v[1]) || !in.readFloat(v[2])) {
            if (in.atEnd())
                tmRefuse("the file ends at vertex %d of %d (it is truncated)", i + 1, count);
            else
                tmRefuse("vertex %d of %d (line %lld) does not start with three numbers", i + 1,
                         count, lineNumberAt(in, at));
            return false;
        }
        mesh->vertices.push_back(v);
        in.skipRestOfLine();
    }
    return true;
}

// The face lines on two threads (see ReadInTwo.h): the first half appended
// to the mesh's faces, the second gathered apart and appended after it.
// False, the faces as they were, when the caller must read them itself.
bool readFacesInTwo(MeshInput& in, TriMesh* mesh, int numFaces)
{
    if (!worthTwoThreads(size_t(numFaces)))
        return false;
    const size_t before = mesh->faces.size();
    std::vector<Face> secondHalf;
    std::vector<int> idx[2];
    auto readFace = [&](MeshInput& at, size_t f, int part) {
        at.skipSpaceAndComments();
        int count;
        if (!at.readInt(count) || count < 0 ||
            static_cast<unsigned long long>(count) * 2 > at.remaining() + 1ull)
            return false;
        std::vector<int>& corners = idx[part];
        corners.resize(size_t(count));
        for (int k = 0; k < count; ++k) {
            if (!at.readInt(corners[size_t(k)]))
                return false;
        }
        tessellate(mesh->vertices, part == 0 ? mesh->faces : secondHalf, corners.data(),
                   corners.size());
        return at.skipRestOfLine() || f + 1 == size_t(numFaces);
    };
    if (readInTwo(in, size_t(numFaces), readFace)) {
        mesh->faces.insert(mesh->faces.end(), secondHalf.begin(), secondHalf.end());
        return true;
    }
    mesh->faces.resize(before);
    return false;
}

} // namespace

bool readOff(MeshInput& in, TriMesh* mesh, bool vertexLines)
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
    if (parsed < 2) {
        tmRefuse("the OFF header has no vertex and face counts");
        return false;
    }
    const int numVertices = n[0], numFaces = n[1];

    if (vertexLines) {
        if (!readVertexLines(in, mesh, numVertices))
            return false;
    } else {
        AsciiVertexLayout layout;
        layout.values = 3;
        layout.position = 0;
        if (!readAsciiVertices(in, mesh, numVertices, layout))
            return false;
    }

    if (!checkCount("Face", numFaces, 2, in))
        return false;
    mesh->faces.reserve(size_t(numFaces));
    in.skipSpaceAndComments();
    tmMessage("\n  Reading %d faces... ", numFaces);
    std::vector<int> idx;
    // A face that does not convert names itself and its line.
    auto refuse = [&](int f) {
        const unsigned char* at = in.cursor();
        std::string word = in.readWord(24);
        if (word.empty())
            tmRefuse("the file ends at face %d of %d (it is truncated)", f + 1, numFaces);
        else
            tmRefuse("face %d of %d (line %lld) has \"%s\" where a number should be", f + 1,
                     numFaces, lineNumberAt(in, at), word.c_str());
        return false;
    };
    if (readFacesInTwo(in, mesh, numFaces))
        return true;
    for (int f = 0; f < numFaces; ++f) {
        in.skipSpaceAndComments();
        int count;
        if (!in.readInt(count))
            return refuse(f);
        if (!checkCount("Polygon corner", count, 2, in))
            return false;
        idx.resize(size_t(count));
        for (int k = 0; k < count; ++k) {
            if (!in.readInt(idx[size_t(k)]))
                return refuse(f);
        }
        tessellate(mesh, idx.data(), idx.size());
        // The rest of the line goes; the last line may end with the file.
        if (!in.skipRestOfLine() && f + 1 < numFaces)
            return refuse(f + 1);
    }
    return true;
}
