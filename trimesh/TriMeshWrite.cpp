// TriMesh::write: picks the form from the name's prefixes or extension,
// opens the file (or standard output), and hands over to the form's writer.

#include "trimesh/Message.h"
#include "trimesh/WriteCommon.h"

#include <cctype>
#include <cstdio>

namespace {

enum class Form { Ply, Ray, Obj, Off, Sm, Stl, Source };

bool startsNoCase(const char* s, const char* prefix)
{
    for (; *prefix; ++s, ++prefix)
        if (std::tolower((unsigned char)*s) != std::tolower((unsigned char)*prefix))
            return false;
    return true;
}

// Removes `prefix` from the front of `name` when it is there.
bool takePrefix(const char*& name, const char* prefix)
{
    if (!startsNoCase(name, prefix))
        return false;
    name += std::strlen(prefix);
    return true;
}

// The function name for the source-code form: the file name without its
// directory and last extension, with every character that cannot stand in
// an identifier replaced by '_'.
std::string functionNameFor(const char* file)
{
    std::string name(file);
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    for (char& c : name)
        if (!std::isalnum((unsigned char)c) && c != '_')
            c = '_';
    return name;
}

} // namespace

bool TriMesh::write(const char* fileName)
{
    if (fileName == nullptr || *fileName == '\0')
        return false;
    if (vertices.empty()) {
        tmMessage("Empty mesh - nothing to write!\n");
        return false;
    }

    Form form = Form::Ply;
    PlyEncoding encoding = PlyEncoding::BinaryLittleEndian;
    if (const char* dot = std::strrchr(fileName, '.')) {
        if (startsNoCase(dot, ".ply"))
            form = Form::Ply;
        else if (startsNoCase(dot, ".ray"))
            form = Form::Ray;
        else if (startsNoCase(dot, ".obj"))
            form = Form::Obj;
        else if (startsNoCase(dot, ".off"))
            form = Form::Off;
        else if (startsNoCase(dot, ".sm"))
            form = Form::Sm;
        else if (startsNoCase(dot, ".stl"))
            form = Form::Stl;
        else if (startsNoCase(dot, ".c")) // .cc, .c++, .cpp and the like
            form = Form::Source;
    }

    const char* name = fileName;
    const bool withNormals = takePrefix(name, "norm:");
    static const struct {
        const char* prefix;
        Form form;
        PlyEncoding encoding;
    } prefixes[] = {
        {"ply:", Form::Ply, PlyEncoding::BinaryLittleEndian},
        {"ply_binary:", Form::Ply, PlyEncoding::BinaryLittleEndian},
        {"ply_binary_be:", Form::Ply, PlyEncoding::BinaryBigEndian},
        {"ply_binary_le:", Form::Ply, PlyEncoding::BinaryLittleEndian},
        {"ply_ascii:", Form::Ply, PlyEncoding::Ascii},
        {"ply_asc:", Form::Ply, PlyEncoding::Ascii},
        {"ascii:", Form::Ply, PlyEncoding::Ascii},
        {"asc:", Form::Ply, PlyEncoding::Ascii},
        {"be:", Form::Ply, PlyEncoding::BinaryBigEndian},
        {"le:", Form::Ply, PlyEncoding::BinaryLittleEndian},
        {"ray:", Form::Ray, PlyEncoding::BinaryLittleEndian},
        {"obj:", Form::Obj, PlyEncoding::BinaryLittleEndian},
        {"off:", Form::Off, PlyEncoding::BinaryLittleEndian},
        {"sm:", Form::Sm, PlyEncoding::BinaryLittleEndian},
        {"stl:", Form::Stl, PlyEncoding::BinaryLittleEndian},
    };
    for (const auto& p : prefixes) {
        if (takePrefix(name, p.prefix)) {
            form = p.form;
            encoding = p.encoding;
            break;
        }
    }

    // What the form needs from the mesh: faces (unless PLY keeps strips)
    // and normals.
    if (!(form == Form::Ply && !strips.empty()))
        unpackStrips();
    if (form == Form::Ray || (withNormals && (form == Form::Ply || form == Form::Source)))
        computeNormals();

    const bool toStdout = std::strcmp(name, "-") == 0;
    const char* shown = toStdout ? "standard output" : name;
    std::FILE* f = toStdout ? stdout : std::fopen(name, "wb");
    if (f == nullptr) {
        std::perror("fopen");
        tmMessage("Error opening %s for writing.\n", name);
        return false;
    }

    tmMessage("Writing %s... ", shown);
    MeshOutput out(f);
    switch (form) {
    case Form::Ply:
        writePly(out, *this, encoding, withNormals);
        break;
    case Form::Ray:
        writeRay(out, *this);
        break;
    case Form::Obj:
        writeObj(out, *this);
        break;
    case Form::Off:
        writeOff(out, *this);
        break;
    case Form::Sm:
        writeSm(out, *this);
        break;
    case Form::Stl:
        writeStl(out, *this);
        break;
    case Form::Source:
        writeSource(out, *this, functionNameFor(name), withNormals);
        break;
    }
    if (!out.finish()) {
        tmMessage("\nError writing file [%s]\n", shown);
        return false;
    }
    tmMessage("Done.\n");
    return true;
}
