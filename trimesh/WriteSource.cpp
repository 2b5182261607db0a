// Source-code writer: a C++ function that rebuilds the mesh from static
// arrays copied into a new TriMesh.

#include "trimesh/WriteCommon.h"

namespace {

void vecRows(MeshOutput& out, const char* decl, const std::vector<vec>& rows)
{
    out.text(decl);
    for (const vec& v : rows) {
        char* p = out.room(96);
        std::memcpy(p, "\t\t{ ", 4);
        p += 4;
        for (int k = 0; k < 3; ++k) {
            p = formatFloat7g(p, v[k]);
            std::memcpy(p, k < 2 ? ", " : " },\n", k < 2 ? 2 : 4);
            p += k < 2 ? 2 : 4;
        }
        out.commit(p);
    }
    out.text("\t};\n");
}

template <typename Row>
void intRows(MeshOutput& out, const char* decl, const std::vector<Row>& rows)
{
    out.text(decl);
    for (const Row& r : rows) {
        char* p = out.room(64);
        std::memcpy(p, "\t\t{ ", 4);
        p += 4;
        for (int k = 0; k < 3; ++k) {
            p = formatInt(p, int(r[k]));
            std::memcpy(p, k < 2 ? ", " : " },\n", k < 2 ? 2 : 4);
            p += k < 2 ? 2 : 4;
        }
        out.commit(p);
    }
    out.text("\t};\n");
}

void copyLines(MeshOutput& out, const char* list, size_t n, const char* data)
{
    out.text("\tm->");
    out.text(list);
    out.text(".resize(");
    char num[24];
    out.bytes(num, size_t(formatInt(num, int(n)) - num));
    out.text(");\n\tmemcpy(&m->");
    out.text(list);
    out.text("[0][0], ");
    out.text(data);
    out.text(", sizeof(");
    out.text(data);
    out.text("));\n");
}

} // namespace

void writeSource(MeshOutput& out, const TriMesh& mesh, const std::string& functionName,
                 bool withNormals)
{
    const size_t nv = mesh.vertices.size();
    const bool normals = withNormals && mesh.normals.size() == nv;
    const bool colors = !mesh.colors.empty() && mesh.colors.size() == nv;
    // A mesh without faces gets no face array: an empty array would not compile.
    const bool faces = !mesh.faces.empty();
    out.text("#include <string.h>\n#include \"TriMesh.h\"\n\nTriMesh *make_");
    out.text(functionName.c_str());
    out.text("()\n{");
    vecRows(out, "\tstatic const float vertdata[][3] = {\n", mesh.vertices);
    if (normals)
        vecRows(out, "\tstatic const float normdata[][3] = {\n", mesh.normals);
    if (colors)
        intRows(out, "\tstatic const unsigned char colordata[][3] = {\n", mesh.colors);
    if (faces)
        intRows(out, "\tstatic const int facedata[][3] = {\n", mesh.faces);
    out.text("\n\tTriMesh *m = new TriMesh;\n");
    copyLines(out, "vertices", nv, "vertdata");
    if (colors)
        copyLines(out, "colors", nv, "colordata");
    if (normals)
        copyLines(out, "normals", nv, "normdata");
    if (faces)
        copyLines(out, "faces", mesh.faces.size(), "facedata");
    out.text("\n\treturn m;\n}\n");
}
