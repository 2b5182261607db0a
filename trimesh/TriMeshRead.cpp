// TriMesh::read: opens the file (or standard input), recognises the format
// by its first bytes, hands the bytes to the format's reader, checks the
// indices and renumbers faces that count from another base.

#include "trimesh/ReadCommon.h"
#include "trimesh/Strips.h"
#include "trimesh/TriMesh.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define KELVANE_TRIMESH_MMAP 1
#endif

namespace {

bool loadStream(std::FILE* f, std::vector<unsigned char>& bytes)
{
    // Regular files: size the buffer once. Pipes and terminals fall back to
    // growing it chunk by chunk.
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long size = std::ftell(f);
        if (size > 0 && std::fseek(f, 0, SEEK_SET) == 0)
            bytes.reserve(size_t(size) + 1);
        else
            std::rewind(f);
    }
    std::clearerr(f);
    for (;;) {
        size_t have = bytes.size();
        size_t want = bytes.capacity() > have ? bytes.capacity() - have : 0;
        if (want < 65536)
            want = have < 65536 ? 65536 : have;
        bytes.resize(have + want);
        size_t got = std::fread(bytes.data() + have, 1, want, f);
        bytes.resize(have + got);
        if (got < want)
            break;
    }
    return !std::ferror(f);
}

// The ray-tracer form opens with one of these words after '#' (compared
// without regard to case over the length given).
bool isRayKeyword(const std::string& w)
{
    return startsWithNoCase(w, "material") || startsWithNoCase(w, "vertex") ||
           startsWithNoCase(w, "shape_") || startsWithNoCase(w, "camera") ||
           startsWithNoCase(w, "background") || startsWithNoCase(w, "ambient");
}

// Text saved as UTF-16 has a zero byte in every other place; seen at the
// start (after an optional byte-order mark), it is told apart from the
// binary formats by the printable characters around the zeros.
bool looksLikeUtf16(const MeshInput& in)
{
    const int b0 = in.peekAt(0), b1 = in.peekAt(1), b2 = in.peekAt(2), b3 = in.peekAt(3);
    if ((b0 == 0xFE && b1 == 0xFF) || (b0 == 0xFF && b1 == 0xFE))
        return true;
    auto printable = [](int c) { return c >= 0x20 && c < 0x7F; };
    return (printable(b0) && b1 == 0 && printable(b2) && b3 == 0) ||
           (b0 == 0 && printable(b1) && b2 == 0 && printable(b3));
}

// Whether the cursor stands on the word `word` followed by a blank, a line
// end or the end of the input.
bool atStatement(const MeshInput& in, const char* word)
{
    const size_t n = std::strlen(word);
    for (size_t k = 0; k < n; ++k) {
        if (in.peekAt(k) != static_cast<unsigned char>(word[k]))
            return false;
    }
    const int next = in.peekAt(n);
    return next < 0 || isSpaceChar(next);
}

// Whether the cursor stands on "solid" in any case, followed by a blank, a
// line end or the end of the input: the first word of an ASCII STL, and of
// some binary STL headers.
bool atSolid(const MeshInput& in)
{
    static const char word[] = "solid";
    for (size_t k = 0; k < 5; ++k) {
        const int c = in.peekAt(k);
        if (c < 0 || std::tolower(c) != word[k])
            return false;
    }
    const int next = in.peekAt(5);
    return next < 0 || isSpaceChar(next);
}

// A binary STL's 84-byte header holds its count as four bytes, which have
// a zero byte for any count below 16 million; ASCII text never does.
bool hasZeroByte(const MeshInput& in, size_t length)
{
    for (size_t k = 0; k < length && k < in.remaining(); ++k) {
        if (in.peekAt(k) == 0)
            return true;
    }
    return false;
}

bool readAnyFormat(MeshInput& in, TriMesh* mesh)
{
    // A binary STL is told by its size alone (84 + 50 bytes per triangle
    // its count announces), whatever its header says, even "solid".
    if (stlBinarySizeMatches(in))
        return readStlBinary(in, mesh);
    if (atSolid(in) && hasZeroByte(in, 84)) {
        // "solid" begins the header of a binary file whose size does not
        // match its count: refused with the sizes.
        return readStlBinary(in, mesh);
    }
    if (looksLikeUtf16(in)) {
        tmMessage("Unknown file type\n");
        tmRefuse("the file is UTF-16 encoded text; save it as UTF-8 or ASCII text to read it");
        return false;
    }
    // A UTF-8 byte-order mark says nothing about the mesh.
    if (in.peekAt(0) == 0xEF && in.peekAt(1) == 0xBB && in.peekAt(2) == 0xBF)
        in.skip(3);
    // Blank lines and blanks before the first word: the text formats whose
    // first word is recognised below (OBJ statements and comments, OFF).
    if (isSpaceChar(in.peek())) {
        const unsigned char* start = in.cursor();
        in.skipSpace();
        const int next = in.peek();
        const bool text = next == '#' || next == 'v' || next == 'u' || next == 'f' || next == 'g' ||
                          next == 's' || next == 'o' || atStatement(in, "mtllib") ||
                          atStatement(in, "l") || atStatement(in, "p") ||
                          (next == 'O' && in.peekAt(1) == 'F' && in.peekAt(2) == 'F') ||
                          ((next == 'C' || next == 'N') && in.peekAt(1) >= 'A');
        if (!text && !atSolid(in))
            in.setCursor(start);
    }
    if (atSolid(in))
        return readStlAscii(in, mesh);
    // The OFF variants with more values per vertex: COFF, NOFF, CNOFF,
    // STOFF, STCOFF and the like.
    {
        size_t k = 0;
        while (k < 4 && std::strchr("STCN", in.peekAt(k) > 0 ? in.peekAt(k) : ' ') != nullptr)
            ++k;
        if (k > 0 && in.peekAt(k) == 'O' && in.peekAt(k + 1) == 'F' && in.peekAt(k + 2) == 'F') {
            in.skip(k + 3);
            return readOff(in, mesh, true);
        }
    }
    const int c = in.get();
    if (c < 0) {
        tmMessage("Can't read header\n");
        tmRefuse("the file is empty");
        return false;
    }
    switch (c) {
    case 'p': {
        // An OBJ point statement ("p 1 2 3"), or PLY: up to three more
        // characters, to the end of the line at most.
        if (in.peek() == ' ' || in.peek() == '\t') {
            in.unget();
            return readObj(in, mesh);
        }
        std::string rest = in.readLine(4);
        if (rest.empty()) {
            tmMessage("Can't read header\n");
            tmRefuse("the file ends after its first character");
            return false;
        }
        if (rest.compare(0, 2, "ly") != 0)
            return false;
        return readPly(in, mesh);
    }
    case 'M':
        if (in.peek() != 'M')
            return false;
        in.unget();
        return read3ds(in, mesh);
    case '#': {
        // The word right after '#' decides between the ray-tracer form
        // ("#vertex", "#camera", ...) and OBJ. An OBJ comment such as
        // "# Vertex list" has a blank first and stays OBJ, and a bare "#"
        // line does not swallow the line after it.
        const unsigned char* hash = in.cursor() - 1;
        std::string word;
        while (in.peek() >= 0 && !isSpaceChar(in.peek()) && word.size() < 1024)
            word.push_back(char(in.get()));
        if (isRayKeyword(word)) {
            in.setCursor(hash);
            return readRay(in, mesh);
        }
        in.skipRestOfLine();
        return readObj(in, mesh);
    }
    case 'v':
    case 'u':
    case 'f':
    case 'g':
    case 's':
    case 'o':
        in.unget();
        return readObj(in, mesh);
    case 'm':
    case 'l':
        // "mtllib", the material library line exporters write first, and
        // the OBJ line statement.
        in.unget();
        if (atStatement(in, "mtllib") || atStatement(in, "l"))
            return readObj(in, mesh);
        tmMessage("Unknown file type\n");
        return false;
    case 'O': {
        int a = in.get(), b = in.get();
        if (a < 0 || b < 0) {
            tmMessage("Can't read header\n");
            tmRefuse("the file ends inside its first word");
            return false;
        }
        if (a != 'F' || b != 'F')
            return false;
        return readOff(in, mesh);
    }
    default:
        if (c >= '0' && c <= '9') {
            in.unget();
            return readSm(in, mesh);
        }
        tmMessage("Unknown file type\n");
        return false;
    }
}

// Smallest and largest vertex index named by any face; the pair is (0, -1)
// without faces. Faces are three packed ints each (the layout OpenGL index
// arrays rely on too), so the scan runs over them as one flat run of ints,
// a loop the compiler vectorises.
struct IndexRange {
    int lo = 0, hi = -1;
};

IndexRange faceIndexRange(const TriMesh* mesh)
{
    IndexRange r;
    if (mesh->faces.empty())
        return r;
    const int* v = reinterpret_cast<const int*>(mesh->faces.data());
    const size_t n = mesh->faces.size() * 3;
    int lo = v[0], hi = v[0];
    for (size_t i = 0; i < n; ++i) {
        lo = v[i] < lo ? v[i] : lo;
        hi = v[i] > hi ? v[i] : hi;
    }
    r.lo = lo;
    r.hi = hi;
    return r;
}

// Every face corner must name a vertex once renumbering (below) has run;
// every strip must fit the strip list and name vertices.
bool checkIndices(const TriMesh* mesh, IndexRange range)
{
    const long long nv = (long long)mesh->vertices.size();
    if (!mesh->faces.empty()) {
        const bool renumbered = nv == (long long)range.hi - range.lo + 1;
        if (!renumbered && (range.lo < 0 || range.hi >= nv)) {
            for (size_t i = 0; i < mesh->faces.size(); ++i) {
                for (int k = 0; k < 3; ++k) {
                    int v = mesh->faces[i][k];
                    if (v < 0 || v >= nv) {
                        tmMessage("Vertex index %d in face %lu is out of range (%lld vertices)\n",
                                  v, (unsigned long)i, nv);
                        tmRefuse("face %lu uses vertex %d, the file has %lld vertices",
                                 (unsigned long)i, v, nv);
                        return false;
                    }
                }
            }
        }
    }
    const std::vector<int>& s = mesh->strips;
    int badVertex = 0;
    bool badIndex = false;
    const size_t end = forEachStrip(s, [&](const int* indices, size_t length) {
        for (size_t k = 0; k < length; ++k) {
            if (indices[k] < 0 || indices[k] >= nv) {
                badVertex = indices[k];
                badIndex = true;
                return false;
            }
        }
        return true;
    });
    if (badIndex) {
        tmMessage("Vertex index %d in triangle strips is out of range (%lld vertices)\n", badVertex,
                  nv);
        tmRefuse("a triangle strip uses vertex %d, the file has %lld vertices", badVertex, nv);
        return false;
    }
    if (end < s.size()) {
        tmMessage("Bad triangle strip length %d\n", s[end]);
        tmRefuse("a triangle strip has the impossible length %d", s[end]);
        return false;
    }
    return true;
}

// Faces written by a program that counts from another base (such as 1) are
// moved to count from 0 when their indices span exactly the vertex list.
void renumberFaces(TriMesh* mesh, IndexRange range)
{
    if (mesh->faces.empty())
        return;
    const int lo = range.lo, hi = range.hi;
    const long long nv = (long long)mesh->vertices.size();
    if (lo == 0 && nv == (long long)hi + 1)
        return;
    if (nv != (long long)hi - lo + 1)
        return;
    tmMessage("Found indices ranging from %d through %d\n", lo, hi);
    tmMessage("Remapping to %d through %d\n", 0, int(nv - 1));
    for (Face& f : mesh->faces) {
        for (int k = 0; k < 3; ++k)
            f[k] -= lo;
    }
}

TriMesh* readBytes(const unsigned char* data, size_t size, const char* name, std::string& reason)
{
    RefusalScope scope(reason);
    tmMessage("Reading %s... ", name);
    std::unique_ptr<TriMesh> mesh(new TriMesh);
    MeshInput in(data, size);
    bool ok = readAnyFormat(in, mesh.get());
    if (ok && mesh->vertices.empty() && mesh->faces.empty()) {
        tmRefuse("the file holds no vertices and no faces");
        ok = false;
    }
    const IndexRange range = ok ? faceIndexRange(mesh.get()) : IndexRange();
    if (!ok || !checkIndices(mesh.get(), range)) {
        tmMessage("\nError reading file [%s]\n", name);
        tmRefuse("the file is not a triangle mesh Kelvane can read (PLY, OFF, OBJ, STL, "
                 "ray-tracer, SM or 3DS), or it is damaged");
        return nullptr;
    }
    tmMessage("Done.\n");
    renumberFaces(mesh.get(), range);
    return mesh.release();
}

// readBytes, with a failed allocation (a file claiming more than the memory
// holds) refused like any other bad file.
TriMesh* readBytesChecked(const unsigned char* data, size_t size, const char* name,
                          std::string& reason)
{
    try {
        return readBytes(data, size, name, reason);
    } catch (const std::bad_alloc&) {
        tmMessage("\nError reading file [%s]: out of memory\n", name);
        reason = "there is not enough memory to read the file";
        return nullptr;
    }
}

} // namespace

TriMesh* TriMesh::readFromMemory(const void* data, size_t size, const char* displayName)
{
    std::string reason;
    return readFromMemory(data, size, displayName, reason);
}

TriMesh* TriMesh::readFromMemory(const void* data, size_t size, const char* displayName,
                                 std::string& reason)
{
    return readBytesChecked(static_cast<const unsigned char*>(data), size,
                            displayName ? displayName : "", reason);
}

TriMesh* TriMesh::read(const char* fileName)
{
    std::string reason;
    return read(fileName, reason);
}

TriMesh* TriMesh::read(const char* fileName, std::string& reason)
{
    reason.clear();
    if (!fileName || !*fileName) {
        reason = "no file name was given";
        return nullptr;
    }
    std::vector<unsigned char> bytes;
    const char* name = fileName;
    bool loaded;
    if (std::string(fileName) == "-") {
        name = "standard input";
        loaded = loadStream(stdin, bytes);
        std::fclose(stdin);
    } else {
#ifdef KELVANE_TRIMESH_MMAP
        // Only a regular file the machine can hold is opened (see
        // openMeshFile); it is mapped rather than copied: the readers only
        // look at the bytes, and large binary files then cost little more
        // than the page cache already holds.
        size_t size = 0;
        const int fd = openMeshFile(fileName, size, reason);
        if (fd < 0)
            return nullptr;
        if (size > 0) {
            void* map = mmap(nullptr, size, PROT_READ,
                             MAP_PRIVATE
#ifdef MAP_POPULATE
                                 | MAP_POPULATE
#endif
                             ,
                             fd, 0);
            if (map != MAP_FAILED) {
                ::close(fd);
                TriMesh* mesh = readBytesChecked(static_cast<const unsigned char*>(map), size,
                                                 name, reason);
                munmap(map, size);
                return mesh;
            }
        }
        std::FILE* f = fdopen(fd, "rb");
        if (!f) {
            const int cause = errno;
            ::close(fd);
            reason = std::string("the file cannot be read (") + std::strerror(cause) + ")";
            return nullptr;
        }
#else
        std::FILE* f = std::fopen(fileName, "rb");
        if (!f) {
            const int cause = errno;
            std::perror("fopen");
            reason = std::string("the file cannot be read (") + std::strerror(cause) + ")";
            return nullptr;
        }
#endif
        try {
            loaded = loadStream(f, bytes);
        } catch (const std::bad_alloc&) {
            std::fclose(f);
            reason = "there is not enough memory to read the file";
            return nullptr;
        }
        std::fclose(f);
    }
    if (!loaded) {
        // A read error leaves the bytes read so far; the format reader will
        // find the data short and fail with the usual messages.
        std::perror("fread");
    }
    return readBytesChecked(bytes.data(), bytes.size(), name, reason);
}
