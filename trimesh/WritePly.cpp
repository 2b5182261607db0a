// PLY writer: ASCII or binary in either byte order. Big-endian values are
// swapped on their way into the output buffer, so the mesh is never touched.

#include "trimesh/ReadCommon.h"
#include "trimesh/Strips.h"
#include "trimesh/WriteCommon.h"

namespace {

// The strips in the file's form: each strip's indices followed by -1
// (3 0 1 2 4 3 4 5 6 becomes 0 1 2 -1 3 4 5 6 -1), the same length as the
// length-prefixed list; a damaged list ends where its walk ends.
std::vector<int> stripsForFile(const std::vector<int>& strips)
{
    std::vector<int> out;
    out.reserve(strips.size());
    forEachStrip(strips, [&](const int* indices, size_t length) {
        out.insert(out.end(), indices, indices + length);
        out.push_back(-1);
    });
    return out;
}

// Appends 4-byte values, swapped when `swap` is set.
char* put4(char* p, const void* v, size_t count, bool swap)
{
    std::memcpy(p, v, 4 * count);
    if (swap)
        swapBytes4(p, count);
    return p + 4 * count;
}

} // namespace

void writePly(MeshOutput& out, const TriMesh& mesh, PlyEncoding encoding, bool withNormals)
{
    const size_t nv = mesh.vertices.size();
    const bool normals = withNormals && mesh.normals.size() == nv;
    const bool colors = !mesh.colors.empty() && mesh.colors.size() == nv;
    const bool conf = !mesh.confidences.empty() && mesh.confidences.size() == nv;
    const bool strips = !mesh.strips.empty();
    const std::vector<int> fileStrips = strips ? stripsForFile(mesh.strips) : std::vector<int>();

    out.text("ply\nformat ");
    out.text(encoding == PlyEncoding::Ascii                ? "ascii"
             : encoding == PlyEncoding::BinaryLittleEndian ? "binary_little_endian"
                                                           : "binary_big_endian");
    out.text(" 1.0\nelement vertex ");
    out.count(nv);
    out.text("\nproperty float x\nproperty float y\nproperty float z\n");
    if (normals)
        out.text("property float nx\nproperty float ny\nproperty float nz\n");
    if (colors)
        out.text("property uchar diffuse_red\nproperty uchar diffuse_green\nproperty uchar "
                 "diffuse_blue\n");
    if (conf)
        out.text("property float confidence\n");
    if (strips) {
        out.text("element tristrips 1\nproperty list int int vertex_indices\n");
    } else {
        out.text("element face ");
        out.count(mesh.faces.size());
        out.text("\nproperty list uchar int vertex_indices\n");
    }
    out.text("end_header\n");

    if (encoding == PlyEncoding::Ascii) {
        for (size_t i = 0; i < nv; ++i) {
            char* p = formatVec(out.room(128), mesh.vertices[i]);
            if (normals) {
                *p++ = ' ';
                p = formatVec(p, mesh.normals[i]);
            }
            if (colors) {
                for (int k = 0; k < 3; ++k) {
                    *p++ = ' ';
                    p = formatInt(p, mesh.colors[i][k]);
                }
            }
            if (conf) {
                *p++ = ' ';
                p = formatFloat7g(p, mesh.confidences[i]);
            }
            *p++ = '\n';
            out.commit(p);
        }
        if (strips) {
            out.count(fileStrips.size());
            out.text(" ");
            for (int s : fileStrips) {
                char* p = formatInt(out.room(16), s);
                *p++ = ' ';
                out.commit(p);
            }
            out.text("\n");
        } else {
            for (const Face& f : mesh.faces) {
                char* p = out.room(40);
                *p++ = '3';
                *p++ = ' ';
                p = formatFace(p, f);
                *p++ = '\n';
                out.commit(p);
            }
        }
        return;
    }

    const bool swap = (encoding == PlyEncoding::BinaryBigEndian) != hostIsBigEndian();
    if (!normals && !colors && !conf && !swap) {
        out.bytes(mesh.vertices.data(), nv * sizeof(vec));
    } else {
        for (size_t i = 0; i < nv; ++i) {
            char* p = put4(out.room(64), &mesh.vertices[i], 3, swap);
            if (normals)
                p = put4(p, &mesh.normals[i], 3, swap);
            if (colors) {
                std::memcpy(p, &mesh.colors[i], 3);
                p += 3;
            }
            if (conf)
                p = put4(p, &mesh.confidences[i], 1, swap);
            out.commit(p);
        }
    }
    if (strips) {
        const int n = int(fileStrips.size());
        out.commit(put4(out.room(4), &n, 1, swap));
        if (!swap) {
            out.bytes(fileStrips.data(), fileStrips.size() * 4);
        } else {
            for (int s : fileStrips)
                out.commit(put4(out.room(4), &s, 1, swap));
        }
        return;
    }
    for (const Face& f : mesh.faces) {
        char* p = out.room(13);
        *p++ = 3;
        out.commit(put4(p, &f, 3, swap));
    }
}
