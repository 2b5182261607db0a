// STL reader: binary (an 80-byte header, a little-endian triangle count,
// then 50 bytes per triangle: a facet normal, three corners and two
// attribute bytes) and ASCII ("solid name", facets of "outer loop" with
// three "vertex x y z" lines, "endsolid"). The facets are a soup of
// separate triangles; corners at exactly the same position are welded into
// one vertex so the mesh has connectivity. Stored facet normals are not
// kept: the toolkit computes vertex normals from the faces.

#include "trimesh/ReadCommon.h"

#include <cmath>
#include <cstdint>
#include <memory>

namespace {

uint32_t loadU32le(const unsigned char* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// A corner's position as the bit patterns of its three floats, with -0
// taken as +0 so that positions that compare equal weld.
struct Key {
    uint32_t x, y, z;
};

inline uint32_t zeroToPositive(uint32_t bits) { return bits == 0x80000000u ? 0u : bits; }

inline bool operator==(const Key& a, const Key& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// The three bit patterns folded into 64 bits and multiplied by an odd
// constant: the top bits of the product, which pick the slot, depend on
// every bit of the position, so nearby positions land far apart.
inline uint64_t hashKey(const Key& k)
{
    const uint64_t xy = uint64_t(k.x) << 32 | k.y;
    return (xy ^ (uint64_t(k.z) * 0x9E3779B97F4A7C15ull)) * 0xD6E8FEB86659FD93ull;
}

// Open-addressing table from positions to vertex indices. Each slot keeps
// the key beside the index so a probe touches one cache line; the table
// doubles when half full. A large mesh's table is far bigger than the
// caches and its probes land at random, so the binary reader asks for each
// corner's slot some facets before it needs it (prefetch) and the misses
// overlap instead of coming one after another.
class Welder {
public:
    explicit Welder(size_t expectedVertices)
    {
        int bits = 10;
        while ((size_t(1) << bits) < expectedVertices * 2)
            ++bits;
        allocate(bits);
    }

    static Key keyOf(const float* position)
    {
        Key k;
        std::memcpy(&k, position, sizeof k);
        k.x = zeroToPositive(k.x);
        k.y = zeroToPositive(k.y);
        k.z = zeroToPositive(k.z);
        return k;
    }

    void prefetch(uint64_t hash) const { __builtin_prefetch(&slots_[hash >> shift_]); }

    int vertexFor(const Key& k, uint64_t hash, std::vector<vec>& vertices, const float* position)
    {
        size_t i = size_t(hash >> shift_);
        for (;;) {
            Slot& s = slots_[i];
            if (s.index < 0) {
                s.key = k;
                s.index = int(vertices.size());
                vertices.emplace_back(position[0], position[1], position[2]);
                if (++used_ * 2 > capacity_)
                    grow();
                return int(vertices.size()) - 1;
            }
            if (s.key == k)
                return s.index;
            i = (i + 1) & mask_;
        }
    }

    int vertexFor(const Key& k, std::vector<vec>& vertices, const float* position)
    {
        return vertexFor(k, hashKey(k), vertices, position);
    }

private:
    struct Slot {
        Key key;
        int index;
    };
    void allocate(int bits)
    {
        const size_t cap = size_t(1) << bits;
        slots_.reset(new Slot[cap]);
        adviseLargeArray(slots_.get(), cap * sizeof(Slot));
        for (size_t i = 0; i < cap; ++i)
            slots_[i].index = -1;
        capacity_ = cap;
        mask_ = cap - 1;
        shift_ = 64 - bits;
    }
    void grow()
    {
        std::unique_ptr<Slot[]> old(slots_.release());
        const size_t oldCapacity = capacity_;
        allocate(64 - shift_ + 1);
        for (size_t j = 0; j < oldCapacity; ++j) {
            const Slot& s = old[j];
            if (s.index < 0)
                continue;
            size_t i = size_t(hashKey(s.key) >> shift_);
            while (slots_[i].index >= 0)
                i = (i + 1) & mask_;
            slots_[i] = s;
        }
    }

    std::unique_ptr<Slot[]> slots_;
    size_t capacity_ = 0;
    size_t mask_ = 0;
    int shift_ = 64;
    size_t used_ = 0;
};

// Appends one facet whose corners are the nine floats at `p`.
inline void addFacet(Welder& welder, TriMesh* mesh, const float* p)
{
    Face f;
    for (int c = 0; c < 3; ++c)
        f[c] = welder.vertexFor(Welder::keyOf(p + 3 * c), mesh->vertices, p + 3 * c);
    mesh->faces.push_back(f);
}

// Closed meshes have about half as many vertices as faces; soups and open
// sheets more. The welder grows past this guess when needed.
size_t expectedVertices(size_t faces) { return faces / 2 + 16; }

bool wordIs(const std::string& word, const char* expected)
{
    return word.size() == std::strlen(expected) && startsWithNoCase(word, expected);
}

} // namespace

bool stlBinarySizeMatches(const MeshInput& in)
{
    if (in.remaining() < 84)
        return false;
    const uint64_t count = loadU32le(in.cursor() + 80);
    return uint64_t(in.remaining()) == 84 + 50 * count;
}

bool readStlBinary(MeshInput& in, TriMesh* mesh)
{
    const unsigned char* data = in.cursor();
    const size_t size = in.remaining();
    if (size < 84) {
        tmMessage("Truncated STL header\n");
        tmRefuse("the file is too short for a binary STL (%lu bytes, the header alone takes 84)",
                 (unsigned long)size);
        return false;
    }
    const uint64_t count = loadU32le(data + 80);
    const uint64_t needed = 84 + 50 * count;
    if (needed != size) {
        tmMessage("STL triangle count %llu does not match the file size\n",
                  (unsigned long long)count);
        tmRefuse("the binary STL header announces %llu triangles, which take %llu bytes, but the "
                 "file has %lu bytes",
                 (unsigned long long)count, (unsigned long long)needed, (unsigned long)size);
        return false;
    }
    if (count > uint64_t(INT32_MAX) / 3) {
        tmRefuse("the binary STL holds more triangles (%llu) than Kelvane can index",
                 (unsigned long long)count);
        return false;
    }
    tmMessage("\n  Reading %llu binary STL facets... ", (unsigned long long)count);
    mesh->faces.reserve(size_t(count));
    mesh->vertices.reserve(expectedVertices(size_t(count)));
    adviseLargeArray(mesh->faces.data(), mesh->faces.capacity() * sizeof(Face));
    adviseLargeArray(mesh->vertices.data(), mesh->vertices.capacity() * sizeof(vec));
    Welder welder(expectedVertices(size_t(count)));
    const bool swap = hostIsBigEndian();
    // The corners of the next kAhead facets, read and hashed, their slots
    // already requested: facet i's corners sit at ring entries 3 (i mod
    // kAhead) and after. Facets written along strips or fans share corners
    // with the facet before them; such a corner notes which one (`same`)
    // and needs no lookup.
    constexpr size_t kAhead = 16;
    struct Corner {
        float position[3];
        Key key;
        int same;
        uint64_t hash;
    };
    Corner ring[3 * kAhead];
    auto fetch = [&](uint64_t facet) {
        Corner* c = ring + 3 * (facet % kAhead);
        const Corner* before = facet > 0 ? ring + 3 * ((facet - 1) % kAhead) : nullptr;
        const unsigned char* record = data + 84 + 50 * facet + 12;
        for (int k = 0; k < 3; ++k, ++c, record += 12) {
            std::memcpy(c->position, record, sizeof c->position);
            if (swap)
                swapBytes4(c->position, 3);
            c->key = Welder::keyOf(c->position);
            c->same = -1;
            if (before) {
                for (int j = 0; j < 3; ++j) {
                    if (c->key == before[j].key) {
                        c->same = j;
                        break;
                    }
                }
            }
            if (c->same < 0) {
                c->hash = hashKey(c->key);
                welder.prefetch(c->hash);
            }
        }
    };
    for (uint64_t i = 0; i < count && i < kAhead; ++i)
        fetch(i);
    Face previous;
    for (uint64_t i = 0; i < count; ++i) {
        const Corner* c = ring + 3 * (i % kAhead);
        Face f;
        for (int k = 0; k < 3; ++k) {
            f[k] = c[k].same >= 0
                       ? previous[c[k].same]
                       : welder.vertexFor(c[k].key, c[k].hash, mesh->vertices, c[k].position);
        }
        mesh->faces.push_back(f);
        previous = f;
        if (i + kAhead < count)
            fetch(i + kAhead);
    }
    in.skip(size);
    return true;
}

bool readStlAscii(MeshInput& in, TriMesh* mesh)
{
    // The cursor is on "solid". Facets until the end; further solid blocks
    // are read into the same mesh.
    Welder welder(1024);
    bool inSolid = false;
    long long facets = 0;
    auto refuseAt = [&](const char* what) {
        const long long line = lineNumberAt(in, in.cursor());
        tmMessage("STL error: %s (line %lld)\n", what, line);
        tmRefuse("line %lld of the ASCII STL: %s", line, what);
        return false;
    };
    for (;;) {
        in.skipSpace();
        if (in.atEnd())
            break;
        const unsigned char* wordStart = in.cursor();
        std::string word = in.readWord(64);
        if (wordIs(word, "solid")) {
            if (inSolid) {
                in.setCursor(wordStart);
                return refuseAt("a new solid begins before \"endsolid\"");
            }
            inSolid = true;
            in.skipRestOfLine(); // the solid's name
            continue;
        }
        if (wordIs(word, "endsolid")) {
            if (!inSolid) {
                in.setCursor(wordStart);
                return refuseAt("\"endsolid\" without \"solid\"");
            }
            inSolid = false;
            in.skipRestOfLine();
            continue;
        }
        if (!wordIs(word, "facet")) {
            in.setCursor(wordStart);
            return refuseAt(inSolid ? "expected \"facet\" or \"endsolid\""
                                    : "expected \"solid\" (this is not an ASCII STL)");
        }
        if (!inSolid) {
            in.setCursor(wordStart);
            return refuseAt("a facet outside \"solid\" ... \"endsolid\"");
        }
        // "facet normal nx ny nz": the normal is not kept.
        std::string outer = in.readWord(64);
        if (wordIs(outer, "normal")) {
            float n;
            for (int k = 0; k < 3; ++k) {
                if (!in.readFloat(n))
                    return refuseAt("a facet normal without three numbers");
            }
            outer = in.readWord(64);
        }
        std::string loop = in.readWord(64);
        if (!wordIs(outer, "outer") || !wordIs(loop, "loop"))
            return refuseAt("expected \"outer loop\"");
        float corners[9];
        for (int c = 0; c < 3; ++c) {
            std::string v = in.readWord(64);
            if (!wordIs(v, "vertex"))
                return refuseAt(in.atEnd() ? "the file ends inside a facet"
                                           : "expected a \"vertex\" line (facets have three)");
            for (int k = 0; k < 3; ++k) {
                if (!in.readFloat(corners[3 * c + k]))
                    return refuseAt("a vertex without three numbers");
            }
        }
        std::string endloop = in.readWord(64), endfacet = in.readWord(64);
        if (!wordIs(endloop, "endloop") || !wordIs(endfacet, "endfacet"))
            return refuseAt(in.atEnd() ? "the file ends inside a facet"
                                       : "expected \"endloop\" and \"endfacet\" after three "
                                         "vertices");
        if (facets >= INT32_MAX / 3)
            return refuseAt("too many facets");
        addFacet(welder, mesh, corners);
        ++facets;
    }
    if (inSolid)
        tmMessage("\n  The STL ends without \"endsolid\"; its %lld complete facets are kept ",
                  facets);
    return true;
}
