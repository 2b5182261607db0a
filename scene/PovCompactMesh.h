#pragma once
// The mesh2 text of large meshes, written compactly: POV-Ray spends most of
// a large scene's time parsing its text.
// Each coordinate is the same decimal value as in the "%f" text of smaller
// meshes, so POV-Ray reads the same numbers and draws the same picture, but
// with the fewest characters that say it: no trailing zeros or point, no
// "0" before the point, no blanks between the numbers of a list. A smooth
// mesh is written straight from its own lists of vertices, normals and
// faces, a block at a time, without a copy of them.
//
// A very large mesh is written as several mesh2 objects of at most
// compactPieceTriangles faces each, neighbours in space together: POV-Ray
// builds each mesh's bounding tree by sorting all of its triangles again at
// every level, so ten million triangles in one mesh take it twice as long
// to parse as the same triangles in pieces of a hundred thousand (and
// pieces of 25,000 are quicker still). The pieces are the same triangles
// with the same corners and normals; only the bounding trees differ, which
// can move the odd pixel on an edge by a few grey levels.

#include "ln/LnModel.h"
#include "trimesh/TriMesh.h"

#include <cstddef>
#include <vector>

// Meshes of at least this many triangles (200000) are written compactly;
// smaller ones keep the text they always had. Benchmarks and tests move it
// to compare the two forms on one mesh.
extern int compactMeshTriangles;
// A compact mesh of more faces than this (25000) is written in pieces.
extern int compactPieceTriangles;

// The "%f" text of the float `v`, shortened without changing its value:
// "0.500000" becomes ".5", "-2.000000" "-2", "0.000000" "0" ("-0" stays).
// `out` must have room for 64 characters; returns the end of the text.
char* writeCompactFixed(char* out, float v);
// "<x,y,z>" of compact numbers.
char* putCompactTriple(char* out, const vec& v);
// "<a,b,c>".
char* putCompactIndexTriple(char* out, int a, int b, int c);

// Where the text goes: room for at least n characters at the end, the end
// of what was written there, and a chance to pass full blocks on.
class PovTextSink {
public:
    virtual ~PovTextSink() = default;
    virtual char* room(size_t n) = 0;
    virtual void commit(char* end) = 0;
    virtual void flushIfLarge() = 0;
};

// The vertex_vectors, normal_vectors (when smooth) and face_indices blocks
// of a smooth model's mesh, written from the mesh's own lists; a face with
// a corner or normal that is not finite is left out, as in the smaller
// form. Returns false, writing nothing, when `mesh` is not such a mesh.
bool writeCompactSmoothLists(LnMesh* mesh, PovTextSink& out);

// The whole of a smooth model's mesh: "\nmesh2 {\n", the lists, then
// `modifiers` (its texture and placement) and "}\n"; as pieces of at most
// compactPieceTriangles faces, each a mesh2 with its own lists and the same
// modifiers, when it has more. Returns false, writing nothing, when `mesh`
// is not a smooth model's mesh.
bool writeCompactSmoothMeshes(LnMesh* mesh, const char* modifiers, PovTextSink& out);

// A mesh's lists as the writers read them: a normal per vertex or none.
struct PovMeshLists {
    const std::vector<vec>& vertices;
    const std::vector<vec>& normals;
    const std::vector<Face>& faces;
};

// The mesh as pieces of at most compactPieceTriangles faces of neighbours
// in space, each a mesh2 with its own lists and `modifiers`; faces with a
// corner or normal that is not finite, or a corner out of range, are left
// out.
void writeCompactMeshPieces(const PovMeshLists& mesh, bool flat, const char* modifiers,
                            PovTextSink& out);
