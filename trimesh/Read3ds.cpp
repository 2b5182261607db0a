// 3DS reader: walks the chunk sequence (2-byte id, 4-byte length that
// includes the 6 header bytes, little-endian), entering the main, editor,
// object and triangle-mesh chunks and reading their vertex and face lists.
// Every object's faces are offset by the vertices read before it.

#include "trimesh/ReadCommon.h"

namespace {

bool readU16(MeshInput& in, unsigned& out)
{
    unsigned char b[2];
    if (!in.readBytes(b, 2))
        return false;
    out = unsigned(b[0]) | (unsigned(b[1]) << 8);
    return true;
}

bool readU32(MeshInput& in, uint32_t& out)
{
    unsigned char b[4];
    if (!in.readBytes(b, 4))
        return false;
    out = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    return true;
}

} // namespace

bool read3ds(MeshInput& in, TriMesh* mesh)
{
    bool swap = hostIsBigEndian();
    int indexBase = 0;
    // A file whose last chunk ends exactly at the end of the file is complete.
    while (!in.atEnd()) {
        unsigned id;
        uint32_t length;
        if (!readU16(in, id) || !readU32(in, length))
            return false;
        switch (id) {
        case 0x4D4D:
        case 0x3D3D:
            break;
        case 0x4000: {
            const void* nul = std::memchr(in.cursor(), 0, in.remaining());
            if (!nul)
                return false;
            in.skip(size_t(static_cast<const unsigned char*>(nul) - in.cursor()) + 1);
            break;
        }
        case 0x4100:
            indexBase = int(mesh->vertices.size());
            break;
        case 0x4110: {
            unsigned count;
            if (!readU16(in, count))
                return false;
            if (count == 0)
                break;
            BinaryVertexLayout layout;
            layout.recordSize = 12;
            layout.position = 0;
            if (!readBinaryVertices(in, mesh, int(count), layout, swap))
                return false;
            break;
        }
        case 0x4120: {
            unsigned count;
            if (!readU16(in, count))
                return false;
            tmMessage("\n  Reading %d faces... ", int(count));
            if (!checkCount("Face", count, 8, in))
                return false;
            mesh->faces.reserve(mesh->faces.size() + count);
            for (unsigned f = 0; f < count; ++f) {
                unsigned a, b, c, flags;
                if (!readU16(in, a) || !readU16(in, b) || !readU16(in, c) || !readU16(in, flags))
                    return false;
                mesh->faces.emplace_back(int(a) + indexBase, int(b) + indexBase,
                                         int(c) + indexBase);
            }
            break;
        }
        default:
            if (length < 6) {
                tmMessage("Bad 3DS chunk length %u\n", unsigned(length));
                return false;
            }
            if (!in.skip(size_t(length) - 6))
                return false;
            break;
        }
    }
    return true;
}
