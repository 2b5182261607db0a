// Ray-tracer form: a fixed camera, background, ambient light and material,
// then "#vertex" lines (position and normal) and "#shape_triangle" lines.
// The reader recognises its opening "#camera" line.

#include "trimesh/WriteCommon.h"

void writeRay(MeshOutput& out, const TriMesh& mesh)
{
    out.text("#camera 0 0 1 0 0 -1 0 1 0 0.2\n#background 0 0 0\n#ambient 0 0 0\n#material_num 1\n"
             "#material 0 0 0  1 1 1  0 0 0  0 0 0  0 0 1  -1  !!\n#vertex_num ");
    out.count(mesh.vertices.size());
    out.text("\n");
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
        char* p = out.room(128);
        std::memcpy(p, "#vertex ", 8);
        p = formatVec(p + 8, mesh.vertices[i]);
        *p++ = ' ';
        *p++ = ' ';
        p = formatVec(p, mesh.normals[i]);
        std::memcpy(p, "  0 0\n", 6);
        out.commit(p + 6);
    }
    for (const Face& f : mesh.faces) {
        char* p = out.room(64);
        std::memcpy(p, "#shape_triangle 0  ", 19);
        p = formatFace(p + 19, f);
        *p++ = '\n';
        out.commit(p);
    }
}
