// SM reader: a vertex count, the positions, a face count and triangles of
// exactly three indices; a missing face count leaves a point set.

#include "trimesh/ReadCommon.h"

bool readSm(MeshInput& in, TriMesh* mesh)
{
    int numVertices;
    if (!in.readInt(numVertices))
        return false;
    AsciiVertexLayout layout;
    layout.values = 3;
    layout.position = 0;
    if (!readAsciiVertices(in, mesh, numVertices, layout))
        return false;

    in.skipSpaceAndComments();
    int numFaces;
    if (!in.readInt(numFaces))
        return true;
    if (!checkCount("Face", numFaces, 6, in))
        return false;
    mesh->faces.reserve(size_t(numFaces));
    tmMessage("\n  Reading %d faces... ", numFaces);
    for (int f = 0; f < numFaces; ++f) {
        Face face;
        if (!in.readInt(face[0]) || !in.readInt(face[1]) || !in.readInt(face[2]))
            return false;
        mesh->faces.push_back(face);
    }
    return true;
}
