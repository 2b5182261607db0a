#pragma once
// Pieces shared by the format readers: the reasons for refusing a file,
// the format entry points the dispatcher calls, and the vertex/face
// routines several formats use. Internal to the toolkit.

#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "trimesh/MeshInput.h"
#include "trimesh/Message.h"
#include "trimesh/TriMesh.h"

// Why the read in progress is failing, in words for the user (a sentence
// without its final full stop, such as "face 12 uses vertex 90, the file
// has 50 vertices"). The first cause given during one read is kept; later
// ones, usually the same failure seen from further out, are dropped.
// Nothing goes to standard error: the messages above stay as they are.
void tmRefuse(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Collects the causes given by tmRefuse while it lives (one read on this
// thread at a time); `reason` stays empty when none was given.
class RefusalScope {
public:
    explicit RefusalScope(std::string& reason);
    ~RefusalScope();
    RefusalScope(const RefusalScope&) = delete;
    RefusalScope& operator=(const RefusalScope&) = delete;

private:
    std::string* previous_;
};
// Whether a cause has been given during the read in progress.
bool tmRefused();

// Opens a mesh file for reading. Only a regular file is opened, and only
// one whose bytes this machine can hold: a folder, a device such as
// /dev/zero, a named pipe or a socket would never end or never answer, a
// sparse file claims far more bytes than it stores, and a file larger than
// the memory cannot be read into it. Returns the descriptor (the caller
// closes it) and the file's size, or -1 with the reason in words in
// `reason` (such as "it is a folder, not a file").
// (Unix only.)
int openMeshFile(const char* fileName, size_t& size, std::string& reason);

// Line number (from 1) of the byte at `at` within the input.
long long lineNumberAt(const MeshInput& in, const unsigned char* at);

// Format readers. Each reads from the cursor (placed as the dispatcher
// describes for that format) into `mesh` and returns false on failure,
// after writing any message of its own.
bool readPly(MeshInput& in, TriMesh* mesh);
// `vertexLines`: each vertex is the first three numbers of its own line
// (the OFF variants with colours, normals or texture coordinates).
bool readOff(MeshInput& in, TriMesh* mesh, bool vertexLines = false);
bool readObj(MeshInput& in, TriMesh* mesh);
bool readRay(MeshInput& in, TriMesh* mesh);
bool readSm(MeshInput& in, TriMesh* mesh);
bool read3ds(MeshInput& in, TriMesh* mesh);
// STL: whether the bytes from the cursor are as long as a binary STL whose
// count (at byte 80) they hold; the binary form from the cursor (the whole
// rest of the input); the ASCII form from the cursor on "solid".
bool stlBinarySizeMatches(const MeshInput& in);
bool readStlBinary(MeshInput& in, TriMesh* mesh);
bool readStlAscii(MeshInput& in, TriMesh* mesh);

// Checks a count taken from a file against the bytes left: `minBytesEach`
// is the least number of bytes one item can take. Negative counts and
// counts the rest of the file cannot hold fail with a message naming `what`.
bool checkCount(const char* what, long long count, size_t minBytesEach, const MeshInput& in);

// Cuts a polygon with corners idx[0..n) into triangles appended to
// mesh->faces: a quad along the diagonal through its widest corner, larger
// polygons as a fan from the first corner.
void tessellate(TriMesh* mesh, const int* idx, size_t n);
// The same, with the vertices and the face list given apart.
void tessellate(const std::vector<vec>& vertices, std::vector<Face>& faces, const int* idx,
                size_t n);

// Asks the system to back a large array about to be filled with huge
// pages where it offers them on request (Linux's transparent huge pages in
// "madvise" mode): filling tens of megabytes page by page costs more than
// the work done in them. Only whole 2 MB blocks inside the array are
// advised; a hint, without effect elsewhere or on small arrays.
void adviseLargeArray(const void* data, size_t bytes);

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
bool readBinaryVertices(MeshInput& in, TriMesh* mesh, int count, const BinaryVertexLayout& layout,
                        bool& swap);

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

// Walks fixed-size records in a byte buffer and yields the `T` stored at a
// fixed offset of each, copied byte-wise (the buffer need not be aligned).
// Appending a range of these to a vector reserves once and writes each
// element once, with no zero-fill before the copy.
template <class T> class RecordIterator {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = const T*;
    using reference = T;

    RecordIterator(const unsigned char* record, size_t stride) : p_(record), stride_(stride) {}
    T operator*() const
    {
        T t;
        std::memcpy(static_cast<void*>(&t), p_, sizeof(T));
        return t;
    }
    RecordIterator& operator++()
    {
        p_ += stride_;
        return *this;
    }
    RecordIterator operator++(int)
    {
        RecordIterator old = *this;
        p_ += stride_;
        return old;
    }
    RecordIterator& operator--()
    {
        p_ -= stride_;
        return *this;
    }
    RecordIterator operator--(int)
    {
        RecordIterator old = *this;
        p_ -= stride_;
        return old;
    }
    RecordIterator& operator+=(difference_type n)
    {
        p_ += n * difference_type(stride_);
        return *this;
    }
    RecordIterator& operator-=(difference_type n) { return *this += -n; }
    RecordIterator operator+(difference_type n) const { return RecordIterator(*this) += n; }
    RecordIterator operator-(difference_type n) const { return RecordIterator(*this) += -n; }
    friend RecordIterator operator+(difference_type n, const RecordIterator& i) { return i + n; }
    T operator[](difference_type n) const { return *(*this + n); }
    difference_type operator-(const RecordIterator& o) const
    {
        return (p_ - o.p_) / difference_type(stride_);
    }
    friend bool operator==(const RecordIterator& a, const RecordIterator& b)
    {
        return a.p_ == b.p_;
    }
    friend bool operator!=(const RecordIterator& a, const RecordIterator& b)
    {
        return a.p_ != b.p_;
    }
    friend bool operator<(const RecordIterator& a, const RecordIterator& b) { return a.p_ < b.p_; }
    friend bool operator>(const RecordIterator& a, const RecordIterator& b) { return a.p_ > b.p_; }
    friend bool operator<=(const RecordIterator& a, const RecordIterator& b)
    {
        return a.p_ <= b.p_;
    }
    friend bool operator>=(const RecordIterator& a, const RecordIterator& b)
    {
        return a.p_ >= b.p_;
    }

private:
    const unsigned char* p_;
    size_t stride_;
};

// Appends the `count` values of type T found at `offset` within each of the
// records of `stride` bytes starting at `records`.
template <class T>
void appendRecords(std::vector<T>& list, const unsigned char* records, size_t count, size_t stride,
                   size_t offset)
{
    const unsigned char* first = records + offset;
    list.insert(list.end(), RecordIterator<T>(first, stride),
                RecordIterator<T>(first + count * stride, stride));
}
