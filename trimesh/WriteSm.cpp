// SM writer: vertex count, positions, face count, triangles, "0 0".

#include "trimesh/WriteCommon.h"

void writeSm(MeshOutput& out, const TriMesh& mesh)
{
    out.count(mesh.vertices.size());
    out.text("\n");
    for (const vec& v : mesh.vertices) {
        char* p = formatVec(out.room(64), v);
        *p++ = '\n';
        out.commit(p);
    }
    out.count(mesh.faces.size());
    out.text("\n");
    for (const Face& f : mesh.faces) {
        char* p = formatFace(out.room(40), f);
        *p++ = '\n';
        out.commit(p);
    }
    out.text("0 0\n");
}
