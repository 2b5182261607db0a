#pragma once
// Pieces shared by the format readers: the diagnostic channel, the format
// entry points the dispatcher calls, and the vertex/face routines several
// formats use. Internal to the toolkit.

#include <cstddef>
#include <vector>

#include "trimesh/MeshInput.h"
#include "trimesh/TriMesh.h"

// The toolkit's diagnostic output: printf-style to standard error, flushed at once.
void tmMessage(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Format readers. Each reads from the cursor (placed as the dispatcher
// describes for that format) into `mesh` and returns false on failure,
// after writing any message of its own.
bool readPly(MeshInput& in, TriMesh* mesh);
bool readOff(MeshInput& in, TriMesh* mesh);
bool readObj(MeshInput& in, TriMesh* mesh);
bool readRay(MeshInput& in, TriMesh* mesh);
bool readSm(MeshInput& in, TriMesh* mesh);
bool read3ds(MeshInput& in, TriMesh* mesh);

// Checks a count taken from a file against the bytes left: `minBytesEach`
// is the least number of bytes one item can take. Negative counts and
// counts the rest of the file cannot hold fail with a message naming `what`.
bool checkCount(const char* what, long long count, size_t minBytesEach, const MeshInput& in);

// Cuts a polygon with corners idx[0..n) into triangles appended to
// mesh->faces: a quad along the diagonal through its widest corner, larger
// polygons as a fan from the first corner.
void tessellate(TriMesh* mesh, const int* idx, size_t n);

// Byte order helpers.
bool hostIsBigEndian();
void swapBytes4(void* p, size_t count);

// Binary vertex records: `recordSize` bytes per vertex; the other offsets
// are byte offsets within the record, or -1 when absent (fields that do not
// fit the record or come out of order are dropped before calling).
struct BinaryVertexLayout {
    int recordSize = 0;
    int position = -1;
    int normal = -1;
    int color = -1;
    int confidence = -1;
};
// Reads `count` binary vertices, appending to the mesh lists. `swap` says
// whether 32-bit values need their bytes swapped and may be flipped by the
// byte-order test on the first vertex. Writes "\n  Reading %d vertices... ".
bool readBinaryVertices(MeshInput& in, TriMesh* mesh, int count, const BinaryVertexLayout& layout, bool& swap);

// ASCII vertex records of `valuesEach` values; indices of the fields
// within a record, or -1 when absent.
struct AsciiVertexLayout {
    int values = 0;
    int position = -1;
    int normal = -1;
    int color = -1;
    int confidence = -1;
};
bool readAsciiVertices(MeshInput& in, TriMesh* mesh, int count, const AsciiVertexLayout& layout);
