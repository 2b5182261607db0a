// OBJ writer: "v" lines and "f" lines counting from 1. The indices are
// raised on their way out; the mesh keeps its own.

#include "trimesh/WriteCommon.h"

void writeObj(MeshOutput& out, const TriMesh& mesh)
{
    out.text("# OBJ\n");
    for (const vec& v : mesh.vertices) {
        char* p = out.room(64);
        *p++ = 'v';
        *p++ = ' ';
        p = formatVec(p, v);
        *p++ = '\n';
        out.commit(p);
    }
    for (const Face& f : mesh.faces) {
        char* p = out.room(40);
        *p++ = 'f';
        *p++ = ' ';
        p = formatFace(p, f, 1);
        *p++ = '\n';
        out.commit(p);
    }
}
