#include "scene/ImportedScene.h"

#include <cstring>

uint64_t ImportedScene::triangleCount() const
{
    uint64_t n = 0;
    for (const ImportedMesh& m : meshes) {
        n += m.triangles.size() / 3;
    }
    return n;
}

uint64_t ImportedScene::positionCount() const
{
    uint64_t n = 0;
    for (const ImportedMesh& m : meshes) {
        n += m.positions.size();
    }
    return n;
}

namespace {

void putBytes(std::string& out, const void* p, size_t n)
{
    out.append(static_cast<const char*>(p), n);
}

void putU64(std::string& out, uint64_t v)
{
    unsigned char b[8];
    for (int k = 0; k < 8; ++k) {
        b[k] = static_cast<unsigned char>(v >> (8 * k));
    }
    putBytes(out, b, 8);
}

// A bounded cursor over the serialized bytes.
class Reader {
public:
    explicit Reader(const std::string& bytes) : p(bytes.data()), end(bytes.data() + bytes.size()) {}
    bool take(void* out, size_t n)
    {
        if (size_t(end - p) < n) {
            return false;
        }
        // An empty vector's data() may be null, which memcpy must not be
        // given even for no bytes.
        if (n > 0) {
            std::memcpy(out, p, n);
        }
        p += n;
        return true;
    }
    bool u64(uint64_t& v)
    {
        unsigned char b[8];
        if (!take(b, 8)) {
            return false;
        }
        v = 0;
        for (int k = 0; k < 8; ++k) {
            v |= uint64_t(b[k]) << (8 * k);
        }
        return true;
    }
    // A count of items of `each` bytes that the rest can hold.
    bool count(uint64_t& n, size_t each)
    {
        return u64(n) && each > 0 && n <= uint64_t(end - p) / each;
    }
    bool atEnd() const { return p == end; }

private:
    const char* p;
    const char* end;
};

} // namespace

// The float data is copied as it lies in memory: parent and child are the
// same program on the same machine.
std::string ImportedScene::serialize() const
{
    std::string out;
    putU64(out, reason.size());
    putBytes(out, reason.data(), reason.size());
    putU64(out, cameraKnown ? 1 : 0);
    putBytes(out, camera, sizeof camera);
    putU64(out, meshes.size());
    for (const ImportedMesh& m : meshes) {
        putU64(out, m.positions.size());
        putBytes(out, m.positions.data(), m.positions.size() * sizeof(vec));
        putU64(out, m.normals.size());
        putBytes(out, m.normals.data(), m.normals.size() * sizeof(vec));
        putU64(out, m.triangles.size());
        putBytes(out, m.triangles.data(), m.triangles.size() * sizeof(uint32_t));
        putU64(out, m.colourKnown ? 1 : 0);
        putBytes(out, &m.colour, sizeof(vec));
        putU64(out, m.uvs.size());
        putBytes(out, m.uvs.data(), m.uvs.size() * sizeof(float));
        const ImportedMaterial& f = m.material;
        putU64(out, f.imageName.size());
        putBytes(out, f.imageName.data(), f.imageName.size());
        putU64(out, f.imageBytes.size());
        putBytes(out, f.imageBytes.data(), f.imageBytes.size());
        putU64(out, (f.pbr ? 1 : 0) | (f.phong ? 2 : 0) | uint64_t(f.wrapU) << 2 |
                        uint64_t(f.wrapV) << 4);
        const float factors[5] = {f.metallic, f.roughness, f.specular, f.shininess, f.opacity};
        putBytes(out, factors, sizeof factors);
    }
    return out;
}

bool ImportedScene::deserialize(const std::string& bytes)
{
    *this = ImportedScene();
    Reader in(bytes);
    uint64_t n = 0, flag = 0;
    ImportedScene s;
    if (!in.count(n, 1)) {
        return false;
    }
    s.reason.resize(size_t(n));
    if (!in.take(&s.reason[0], size_t(n)) || !in.u64(flag) || !in.take(s.camera, sizeof s.camera)) {
        return false;
    }
    s.cameraKnown = flag != 0;
    // Each mesh takes at least its eight counts and flags, its colour and
    // its five material factors.
    if (!in.count(n, 8 * 8 + sizeof(vec) + 5 * sizeof(float))) {
        return false;
    }
    s.meshes.resize(size_t(n));
    uint64_t positions = 0, triangles = 0;
    for (ImportedMesh& m : s.meshes) {
        if (!in.count(n, sizeof(vec)) || (positions += n) > maxPositions) {
            return false;
        }
        m.positions.resize(size_t(n));
        in.take(m.positions.data(), size_t(n) * sizeof(vec));
        if (!in.count(n, sizeof(vec)) || (n != 0 && n != m.positions.size())) {
            return false;
        }
        m.normals.resize(size_t(n));
        in.take(m.normals.data(), size_t(n) * sizeof(vec));
        if (!in.count(n, sizeof(uint32_t)) || n % 3 != 0 || (triangles += n / 3) > maxTriangles) {
            return false;
        }
        m.triangles.resize(size_t(n));
        in.take(m.triangles.data(), size_t(n) * sizeof(uint32_t));
        for (uint32_t i : m.triangles) {
            if (i >= m.positions.size()) {
                return false;
            }
        }
        if (!in.u64(flag) || !in.take(&m.colour, sizeof(vec))) {
            return false;
        }
        m.colourKnown = flag != 0;
        if (!in.count(n, sizeof(float)) || (n != 0 && n != 2 * m.positions.size())) {
            return false;
        }
        m.uvs.resize(size_t(n));
        in.take(m.uvs.data(), size_t(n) * sizeof(float));
        ImportedMaterial& f = m.material;
        if (!in.count(n, 1) || n > 4096) {
            return false;
        }
        f.imageName.resize(size_t(n));
        in.take(&f.imageName[0], size_t(n));
        if (!in.count(n, 1) || n > maxImageBytes) {
            return false;
        }
        f.imageBytes.resize(size_t(n));
        in.take(&f.imageBytes[0], size_t(n));
        float factors[5];
        if (!in.u64(flag) || !in.take(factors, sizeof factors)) {
            return false;
        }
        f.pbr = (flag & 1) != 0;
        f.phong = (flag & 2) != 0;
        auto wrap = [](uint64_t bits) {
            return bits == 1 ? ImageWrap::Clamp : bits == 2 ? ImageWrap::Mirror : ImageWrap::Repeat;
        };
        f.wrapU = wrap((flag >> 2) & 3);
        f.wrapV = wrap((flag >> 4) & 3);
        f.metallic = factors[0];
        f.roughness = factors[1];
        f.specular = factors[2];
        f.shininess = factors[3];
        f.opacity = factors[4];
    }
    if (!in.atEnd()) {
        return false;
    }
    *this = std::move(s);
    return true;
}
