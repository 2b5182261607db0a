// OFF writer: the header line, the counts, positions and triangles.

#include "trimesh/WriteCommon.h"

void writeOff(MeshOutput& out, const TriMesh& mesh)
{
    out.text("OFF\n");
    out.count(mesh.vertices.size());
    out.text(" ");
    out.count(mesh.faces.size());
    out.text(" 0\n");
    for (const vec& v : mesh.vertices) {
        char* p = formatVec(out.room(64), v);
        *p++ = '\n';
        out.commit(p);
    }
    for (const Face& f : mesh.faces) {
        char* p = out.room(40);
        *p++ = '3';
        *p++ = ' ';
        p = formatFace(p, f);
        *p++ = '\n';
        out.commit(p);
    }
}
