#include "trimesh/ReadCommon.h"
#include "trimesh/ReadInTwo.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
thread_local std::string* refusal = nullptr;
}

void tmRefuse(const char* format, ...)
{
    if (!refusal || !refusal->empty())
        return;
    char text[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    *refusal = text;
}

RefusalScope::RefusalScope(std::string& reason) : previous_(refusal)
{
    reason.clear();
    refusal = &reason;
}

RefusalScope::~RefusalScope() { refusal = previous_; }

bool tmRefused() { return refusal && !refusal->empty(); }

void adviseLargeArray(const void* data, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const uintptr_t block = uintptr_t(2) << 20;
    const uintptr_t begin = (uintptr_t(data) + block - 1) & ~(block - 1);
    const uintptr_t end = (uintptr_t(data) + bytes) & ~(block - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

#if defined(__unix__) || defined(__APPLE__)
namespace {

// What a file that is not a regular file is, for the reason given.
const char* fileKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return "it is a folder, not a file";
    if (S_ISFIFO(mode))
        return "it is a named pipe (FIFO), not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a file";
    if (S_ISSOCK(mode))
        return "it is a socket, not a file";
    return "it is not a regular file";
}

// The bytes of the file actually stored, walking its data extents; the
// file's size when the system cannot tell holes from data or the file has
// too many extents to walk quickly.
long long storedBytes(int fd, long long size)
{
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
    long long stored = 0;
    off_t at = 0;
    for (int extents = 0; at < size; ++extents) {
        if (extents == 4096)
            return size;
        const off_t data = lseek(fd, at, SEEK_DATA);
        if (data < 0)
            return errno == ENXIO ? stored : size; // ENXIO: only a hole is left
        const off_t hole = lseek(fd, data, SEEK_HOLE);
        if (hole < 0)
            return size;
        stored += hole - data;
        at = hole;
    }
    return stored;
#else
    (void)fd;
    return size;
#endif
}

std::string megabytes(long long bytes)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.0f MB", double(bytes) / 1e6);
    return text;
}

} // namespace

int openMeshFile(const char* fileName, size_t& size, std::string& reason)
{
    // Opening a named pipe would wait for a writer: O_NONBLOCK returns at
    // once, and the type is checked before anything is read.
    const int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int cause = errno;
        tmMessage("fopen: %s\n", std::strerror(cause));
        reason = std::string("the file cannot be read (") + std::strerror(cause) + ")";
        return -1;
    }
    auto refuse = [&](const std::string& why) {
        tmMessage("Cannot read %s: %s\n", fileName, why.c_str());
        reason = why;
        ::close(fd);
        return -1;
    };
    struct stat st;
    if (fstat(fd, &st) != 0)
        return refuse(std::string("the file cannot be read (") + std::strerror(errno) + ")");
    if (!S_ISREG(st.st_mode))
        return refuse(fileKind(st.st_mode));
    const long long length = st.st_size;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    const long long memory = pages > 0 && pageSize > 0 ? (long long)pages * pageSize : 0;
    if (memory > 0 && length > memory)
        return refuse("the file is " + megabytes(length) + " long, more than this machine's memory (" +
                      megabytes(memory) + ") can hold");
    // Holes read as zeros without being stored; a file that is mostly holes
    // is not a mesh, and reading it would make up what it claims to hold.
    if (length > (1 << 20)) {
        const long long stored = storedBytes(fd, length);
        if (stored < length / 2)
            return refuse("the file is sparse: it claims " + megabytes(length) + " but stores " +
                          megabytes(stored) + " (the rest are holes)");
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    size = size_t(length);
    return fd;
}
#endif

long long lineNumberAt(const MeshInput& in, const unsigned char* at)
{
    const unsigned char* p = in.cursor() - in.offset();
    long long line = 1;
    for (; p < at; ++p)
        line += *p == '\n';
    return line;
}

static std::string lowerWord(const char* what)
{
    std::string w(what);
    if (!w.empty() && w[0] >= 'A' && w[0] <= 'Z')
        w[0] = char(w[0] - 'A' + 'a');
    return w;
}

bool checkCount(const char* what, long long count, size_t minBytesEach, const MeshInput& in)
{
    if (count < 0) {
        tmMessage("%s count %lld is negative\n", what, count);
        tmRefuse("the %s count %lld is negative", lowerWord(what).c_str(), count);
        return false;
    }
    // One byte of slack: the last item of a text file needs no separator.
    unsigned long long need = static_cast<unsigned long long>(count) * minBytesEach;
    if (minBytesEach > 0 && need > static_cast<unsigned long long>(in.remaining()) + 1) {
        tmMessage("%s count %lld is more than the file can hold\n", what, count);
        tmRefuse("the %s count %lld is more than the rest of the file can hold (the file is "
                 "truncated or "
                 "damaged)",
                 lowerWord(what).c_str(), count);
        return false;
    }
    return true;
}

size_t recordsWorthTwoThreads = 200000;
std::atomic<long> runsReadInTwo{0};

void tessellate(const std::vector<vec>& vertices, std::vector<Face>& faces, const int* idx,
                size_t n)
{
    if (n < 3)
        return;
    if (n == 3) {
        faces.emplace_back(idx[0], idx[1], idx[2]);
        return;
    }
    if (n == 4) {
        // Split along the diagonal through the widest corner: the corner
        // whose entering and leaving edge directions have the largest dot
        // product (corner 3 is not examined; ties keep the lowest corner).
        // Indices that do not name a vertex (yet) leave the split at corner 0;
        // such a face is refused after reading unless renumbering fixes it.
        int k = 0;
        const int nv = int(vertices.size());
        bool known = true;
        for (int i = 0; i < 4; ++i)
            known = known && idx[i] >= 0 && idx[i] < nv;
        if (known) {
            const std::vector<vec>& v = vertices;
            vec e[4];
            for (int i = 0; i < 4; ++i) {
                e[i] = v[idx[(i + 1) % 4]] - v[idx[i]];
                normalize(e[i]);
            }
            float best = dot(e[3], e[0]);
            for (int c = 1; c < 3; ++c) {
                float d = dot(e[c - 1], e[c]);
                if (d > best) {
                    best = d;
                    k = c;
                }
            }
        }
        faces.emplace_back(idx[k], idx[(k + 1) % 4], idx[(k + 2) % 4]);
        faces.emplace_back(idx[k], idx[(k + 2) % 4], idx[(k + 3) % 4]);
        return;
    }
    for (size_t i = 2; i < n; ++i)
        faces.emplace_back(idx[0], idx[i - 1], idx[i]);
}

void tessellate(TriMesh* mesh, const int* idx, size_t n)
{
    tessellate(mesh->vertices, mesh->faces, idx, n);
}

bool hostIsBigEndian()
{
    const uint32_t one = 1;
    unsigned char b;
    std::memcpy(&b, &one, 1);
    return b == 0;
}

void swapBytes4(void* p, size_t count)
{
    unsigned char* b = static_cast<unsigned char*>(p);
    for (size_t i = 0; i < count; ++i, b += 4) {
        std::swap(b[0], b[3]);
        std::swap(b[1], b[2]);
    }
}

static bool inSaneRange(const vec& v)
{
    for (int i = 0; i < 3; ++i) {
        if (!(v[i] > -1e10f && v[i] < 1e10f))
            return false;
    }
    return true;
}

bool readBinaryVertices(MeshInput& in, TriMesh* mesh, int count, const BinaryVertexLayout& layout,
                        bool& swap)
{
    if (layout.recordSize < 12 || layout.position < 0)
        return false;
    if (!checkCount("Vertex", count, size_t(layout.recordSize), in))
        return false;
    if (count == 0) {
        tmRefuse("the file holds no vertices");
        return false;
    }
    if (size_t(count) * size_t(layout.recordSize) > in.remaining()) {
        tmMessage("Vertex count %d is more than the file can hold\n", count);
        tmRefuse("the vertex count %d is more than the rest of the file can hold (the file is "
                 "truncated or "
                 "damaged)",
                 count);
        return false;
    }
    // Each list is filled straight from the records, written once. The
    // byte-order test on the first vertex comes before anything is swapped
    // in bulk.
    const size_t base = mesh->vertices.size();
    const size_t n = size_t(count);
    const size_t rec = size_t(layout.recordSize);
    const unsigned char* records = in.cursor();
    appendRecords(mesh->vertices, records, n, rec, size_t(layout.position));
    if (layout.normal >= 0)
        appendRecords(mesh->normals, records, n, rec, size_t(layout.normal));
    if (layout.color >= 0)
        appendRecords(mesh->colors, records, n, rec, size_t(layout.color));
    if (layout.confidence >= 0)
        appendRecords(mesh->confidences, records, n, rec, size_t(layout.confidence));
    in.skip(n * rec);

    // Coordinates far outside any sane range that become sane when swapped
    // mean the file's declared byte order is wrong.
    vec declared = mesh->vertices[base], other = declared;
    swapBytes4(swap ? &declared : &other, 3);
    if (!inSaneRange(declared) && inSaneRange(other)) {
        tmMessage("Compensating for bogus endianness.\n");
        swap = !swap;
    }
    tmMessage("\n  Reading %d vertices... ", count);
    if (swap) {
        swapBytes4(&mesh->vertices[base], n * 3);
        if (layout.normal >= 0)
            swapBytes4(&mesh->normals[base], n * 3);
        if (layout.confidence >= 0)
            swapBytes4(&mesh->confidences[base], n);
    }
    return true;
}

bool readAsciiVertices(MeshInput& in, TriMesh* mesh, int count, const AsciiVertexLayout& given)
{
    if (given.values < 3 || given.position < 0)
        return false;
    // Keep only the fields that a walk over one record actually reaches and
    // that fit inside the record; a field that overlaps another (a header
    // naming nx right after x, say) is dropped instead of left unfilled.
    AsciiVertexLayout layout;
    layout.values = given.values;
    for (int j = 0; j < given.values;) {
        auto fits = [&](int span) { return j + span <= given.values; };
        if (j == given.position && fits(3)) {
            layout.position = j;
            j += 3;
        } else if (j == given.normal && fits(3)) {
            layout.normal = j;
            j += 3;
        } else if (j == given.color && fits(3)) {
            layout.color = j;
            j += 3;
        } else if (j == given.confidence) {
            layout.confidence = j;
            j += 1;
        } else {
            ++j;
        }
    }
    if (layout.position < 0)
        return false;
    if (!checkCount("Vertex", count, size_t(layout.values) * 2, in))
        return false;

    const size_t base = mesh->vertices.size();
    const size_t n = base + size_t(count);
    mesh->vertices.resize(n);
    if (layout.normal >= 0)
        mesh->normals.resize(n);
    if (layout.color >= 0)
        mesh->colors.resize(n);
    if (layout.confidence >= 0)
        mesh->confidences.resize(n);

    in.skipSpaceAndComments();
    tmMessage("\n  Reading %d vertices... ", count);
    // A value that does not convert names the vertex and the line.
    auto refuse = [&](size_t i) {
        const unsigned char* at = in.cursor();
        std::string word = in.readWord(24);
        if (word.empty())
            tmRefuse("the file ends at vertex %lu of %d (it is truncated)",
                     (unsigned long)(i - base + 1), count);
        else
            tmRefuse("vertex %lu of %d (line %lld) has \"%s\" where a number should be",
                     (unsigned long)(i - base + 1), count, lineNumberAt(in, at), word.c_str());
        return false;
    };
    // One record from `at`, false where a value does not convert.
    auto readVertex = [&](MeshInput& at, size_t i) {
        at.skipSpaceAndComments();
        for (int j = 0; j < layout.values;) {
            if (j == layout.position) {
                vec& v = mesh->vertices[i];
                if (!at.readFloat(v[0]) || !at.readFloat(v[1]) || !at.readFloat(v[2]))
                    return false;
                j += 3;
            } else if (j == layout.normal) {
                vec& v = mesh->normals[i];
                if (!at.readFloat(v[0]) || !at.readFloat(v[1]) || !at.readFloat(v[2]))
                    return false;
                j += 3;
            } else if (j == layout.color) {
                for (int k = 0; k < 3; ++k) {
                    int c;
                    if (!at.readInt(c))
                        return false;
                    mesh->colors[i][k] = static_cast<unsigned char>(std::min(255, std::max(0, c)));
                }
                j += 3;
            } else if (j == layout.confidence) {
                if (!at.readFloat(mesh->confidences[i]))
                    return false;
                j += 1;
            } else {
                if (!at.skipWord())
                    return false;
                j += 1;
            }
        }
        return true;
    };
    if (readInTwo(in, size_t(count),
                  [&](MeshInput& at, size_t i, int) { return readVertex(at, base + i); }))
        return true;
    for (size_t i = base; i < n; ++i) {
        if (!readVertex(in, i))
            return refuse(i);
    }
    return true;
}
