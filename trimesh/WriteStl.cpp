// Binary STL writer: an 80-byte header that does not begin with "solid"
// (so no reader takes it for ASCII), the triangle count, and per face its
// unit normal from the winding, its three corners and two zero bytes; all
// little-endian.

#include "trimesh/ReadCommon.h"
#include "trimesh/WriteCommon.h"

#include <cmath>

void writeStl(MeshOutput& out, const TriMesh& mesh)
{
    char header[80];
    std::memset(header, ' ', sizeof header);
    static const char title[] = "Binary STL written by Kelvane";
    std::memcpy(header, title, sizeof title - 1);
    out.bytes(header, sizeof header);
    const uint32_t count = uint32_t(mesh.faces.size());
    unsigned char countBytes[4] = {(unsigned char)(count & 0xFF),
                                   (unsigned char)((count >> 8) & 0xFF),
                                   (unsigned char)((count >> 16) & 0xFF),
                                   (unsigned char)((count >> 24) & 0xFF)};
    out.bytes(countBytes, 4);
    const bool swap = hostIsBigEndian();
    for (const Face& f : mesh.faces) {
        const vec& a = mesh.vertices[f[0]];
        const vec& b = mesh.vertices[f[1]];
        const vec& c = mesh.vertices[f[2]];
        vec n = cross(b - a, c - a);
        const float l = len(n);
        n = l > 0.0f && std::isfinite(l) ? n / l : vec(0.0f, 0.0f, 0.0f);
        float values[12] = {n[0], n[1], n[2], a[0], a[1], a[2], b[0], b[1], b[2], c[0], c[1], c[2]};
        if (swap)
            swapBytes4(values, 12);
        unsigned char record[50];
        std::memcpy(record, values, 48);
        record[48] = record[49] = 0;
        out.bytes(record, sizeof record);
    }
}
