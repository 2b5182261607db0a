#pragma once
// The format writers behind TriMesh::write. Each writes the whole mesh in
// its form to `out`; the dispatcher has already unpacked strips and computed
// normals where the form needs them. None of them changes the mesh.
// Internal to the toolkit.

#include <string>

#include "trimesh/MeshOutput.h"
#include "trimesh/TriMesh.h"

enum class PlyEncoding { Ascii, BinaryLittleEndian, BinaryBigEndian };

// PLY with optional normals (when `withNormals` and the mesh has them),
// colours and confidences (when they cover every vertex), and strips when
// the mesh has any, faces otherwise.
void writePly(MeshOutput& out, const TriMesh& mesh, PlyEncoding encoding, bool withNormals);
// The ray-tracer form; needs one normal per vertex.
void writeRay(MeshOutput& out, const TriMesh& mesh);
void writeObj(MeshOutput& out, const TriMesh& mesh);
void writeOff(MeshOutput& out, const TriMesh& mesh);
void writeSm(MeshOutput& out, const TriMesh& mesh);
// Binary STL, one record per face.
void writeStl(MeshOutput& out, const TriMesh& mesh);
// C++ source defining `TriMesh *make_<functionName>()`.
void writeSource(MeshOutput& out, const TriMesh& mesh, const std::string& functionName,
                 bool withNormals);

// "x y z" of a vertex, "%.7g" each.
inline char* formatVec(char* p, const vec& v)
{
    p = formatFloat7g(p, v[0]);
    *p++ = ' ';
    p = formatFloat7g(p, v[1]);
    *p++ = ' ';
    return formatFloat7g(p, v[2]);
}
// "a b c" of a face, each index plus `offset`.
inline char* formatFace(char* p, const Face& f, int offset = 0)
{
    p = formatInt(p, f[0] + offset);
    *p++ = ' ';
    p = formatInt(p, f[1] + offset);
    *p++ = ' ';
    return formatInt(p, f[2] + offset);
}
