// The POV-Ray side of PovScene: the scene description and the renderer's
// settings file.

#include "scene/PovInk.h"
#include "scene/PovNumber.h"
#include "scene/PovScene.h"
#include "scene/PovTriangles.h"

#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>

#include <QFile>

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Collects the text; when it writes to a file it hands the text over in
// blocks, so a scene of millions of triangles is never held whole.
class PovOutput {
public:
    explicit PovOutput(std::FILE* file = nullptr) : file(file) { buffer.resize(1 << 21); }

    void operator+=(const char* literal) { append(literal, std::strlen(literal)); }
    void append(const char* text, size_t n)
    {
        std::memcpy(room(n), text, n);
        used += n;
    }
    void append(const QString& latin1)
    {
        const QByteArray bytes = latin1.toLatin1();
        append(bytes.constData(), size_t(bytes.size()));
    }
    void number(double v)
    {
        std::string text;
        appendGeneral(text, v);
        append(text.data(), text.size());
    }
    void fixed(double v)
    {
        std::string text;
        appendFixed(text, v);
        append(text.data(), text.size());
    }
    void fixed(float v) { commit(writeFixed(room(64), v)); }

    // Three numbers between the separators: "a" sep "b" sep "c".
    template <typename T>
    void generalTriple(T a, T b, T c, const char* separator)
    {
        number(a);
        *this += separator;
        number(b);
        *this += separator;
        number(c);
    }
    template <typename T>
    void fixedTriple(T a, T b, T c, const char* separator)
    {
        fixed(a);
        *this += separator;
        fixed(b);
        *this += separator;
        fixed(c);
    }

    // Room for at least n more characters at the end; write there, then
    // commit() the end of what was written.
    char* room(size_t n)
    {
        if (used + n > buffer.size()) {
            buffer.resize(std::max(buffer.size() * 2, used + n));
        }
        return buffer.data() + used;
    }
    void commit(char* end) { used = size_t(end - buffer.data()); }

    // Passes the text gathered so far to the file once it is large.
    void flushIfLarge()
    {
        if (file && used >= (1u << 20)) {
            flush();
        }
    }
    void flush()
    {
        if (file) {
            std::fwrite(buffer.data(), 1, used, file);
            used = 0;
        }
    }
    QString text() const { return QString::fromLatin1(buffer.data(), int(used)); }

private:
    std::FILE* file;
    std::vector<char> buffer;
    size_t used = 0;
};

template <size_t N>
char* put(char* p, const char (&literal)[N])
{
    std::memcpy(p, literal, N - 1);
    return p + N - 1;
}

// "<x, y, z>" in "%f" form.
char* putTriple(char* p, const vec& v)
{
    *p++ = '<';
    p = writeFixed(p, v[0]);
    p = put(p, ", ");
    p = writeFixed(p, v[1]);
    p = put(p, ", ");
    p = writeFixed(p, v[2]);
    *p++ = '>';
    return p;
}

// Gives each distinct corner, a position and (when the mesh is smooth) its
// normal, one index in order of first appearance; corners are equal when
// their bits are. Open addressing in a table kept at most half full, each
// slot holding its corner's hash, so most probes never look at the corner.
class CornerIndex {
public:
    CornerIndex(size_t expected, bool withNormals) : withNormals(withNormals)
    {
        size_t size = 16;
        while (size < 2 * expected) {
            size *= 2;
        }
        table.assign(size, Slot());
        positions.reserve(expected);
        if (withNormals) {
            normals.reserve(expected);
        }
    }

    int indexOf(const vec& position, const vec& normal)
    {
        const std::uint32_t h = hash(position, normal);
        size_t mask = table.size() - 1;
        size_t slot = h & mask;
        while (table[slot].index >= 0) {
            const int index = table[slot].index;
            if (table[slot].hash == h && same(positions[size_t(index)], position) &&
                (!withNormals || same(normals[size_t(index)], normal))) {
                return index;
            }
            slot = (slot + 1) & mask;
        }
        const int index = int(positions.size());
        positions.push_back(position);
        if (withNormals) {
            normals.push_back(normal);
        }
        table[slot] = Slot{h, index};
        if (2 * positions.size() > table.size()) {
            grow();
        }
        return index;
    }

    std::vector<vec> positions;
    std::vector<vec> normals; // parallel to positions; empty without normals

private:
    struct Slot {
        std::uint32_t hash = 0;
        int index = -1;
    };

    static bool same(const vec& a, const vec& b) { return std::memcmp(&a, &b, sizeof(vec)) == 0; }
    std::uint32_t hash(const vec& position, const vec& normal) const
    {
        std::uint32_t bits[6] = {};
        std::memcpy(bits, &position, sizeof(vec));
        if (withNormals) {
            std::memcpy(bits + 3, &normal, sizeof(vec));
        }
        std::uint64_t h = 0x9E3779B97F4A7C15ull;
        for (std::uint32_t b : bits) {
            h = (h ^ b) * 0xFF51AFD7ED558CCDull;
            h ^= h >> 32;
        }
        return std::uint32_t(h);
    }
    void grow()
    {
        std::vector<Slot> bigger(table.size() * 2);
        const size_t mask = bigger.size() - 1;
        for (const Slot& s : table) {
            if (s.index >= 0) {
                size_t slot = s.hash & mask;
                while (bigger[slot].index >= 0) {
                    slot = (slot + 1) & mask;
                }
                bigger[slot] = s;
            }
        }
        table.swap(bigger);
    }

    bool withNormals;
    std::vector<Slot> table;
};

char* putIndexTriple(char* p, int a, int b, int c)
{
    *p++ = '<';
    p = std::to_chars(p, p + 16, a).ptr;
    p = put(p, ", ");
    p = std::to_chars(p, p + 16, b).ptr;
    p = put(p, ", ");
    p = std::to_chars(p, p + 16, c).ptr;
    *p++ = '>';
    return p;
}

// "\tname {\n\t\tcount" then ",\n\t\t<x, y, z>" per vector, then "\n\t}\n".
void writeVectorList(const char* name, const std::vector<vec>& vectors, PovOutput& out)
{
    out += "\t";
    out += name;
    out += " {\n\t\t";
    out += std::to_string(vectors.size()).c_str();
    for (const vec& v : vectors) {
        char* p = out.room(3 * 64 + 16);
        p = put(p, ",\n\t\t");
        out.commit(putTriple(p, v));
        out.flushIfLarge();
    }
    out += "\n\t}\n";
}

void writeIndexList(const char* name, const std::vector<int>& indices, PovOutput& out)
{
    out += "\t";
    out += name;
    out += " {\n\t\t";
    out += std::to_string(indices.size() / 3).c_str();
    for (size_t k = 0; k + 2 < indices.size(); k += 3) {
        char* p = out.room(3 * 16 + 16);
        p = put(p, ",\n\t\t");
        out.commit(putIndexTriple(p, indices[k], indices[k + 1], indices[k + 2]));
        out.flushIfLarge();
    }
    out += "\n\t}\n";
}

// The same faces, corners and normals as the triangle form, as one mesh2:
// each distinct corner (position and normal) is written once and the faces
// refer to it by index, which POV-Ray also uses for the normals; the texture
// is given once for the whole mesh. POV-Ray parses this form many times
// faster than separate triangles.
void writeMesh2(LnMesh* mesh, size_t i, PovOutput& out)
{
    const int faces = mesh->getNumFaces();
    const bool flat = mesh->isFlat();
    CornerIndex corners(size_t(faces) / 2 + 3, !flat);
    std::vector<int> faceIndices;
    faceIndices.reserve(3 * size_t(faces));
    for (int j = 0; j < faces; ++j) {
        vec a, b, c, na, nb, nc;
        mesh->getFaceVertices(j, a, b, c);
        if (!flat) {
            mesh->getFaceNormals(j, na, nb, nc);
        }
        // A corner or normal at infinity or NaN has no text POV-Ray reads.
        if (!povFinite(a, b, c) || (!flat && !povFinite(na, nb, nc))) {
            continue;
        }
        faceIndices.push_back(corners.indexOf(a, na));
        faceIndices.push_back(corners.indexOf(b, nb));
        faceIndices.push_back(corners.indexOf(c, nc));
    }
    out += "\nmesh2 {\n";
    writeVectorList("vertex_vectors", corners.positions, out);
    if (!flat) {
        writeVectorList("normal_vectors", corners.normals, out);
    }
    writeIndexList("face_indices", faceIndices, out);
    out += "\ttexture { TEXTURE";
    out += std::to_string(i).c_str();
    out += " }\n}\n";
}

void writeScene(const PovScene& scene, qglviewer::Camera* camera, PovMeshForm form,
                PovOutput& out)
{
    out += "#include \"colors.inc\"\n#include \"woods.inc\"\n#include \"stones.inc\"\n\n";

    // Camera: a right-handed frame looking down -z, then placed by the
    // camera frame's world matrix.
    out += "camera {\n\tlocation <0, 0, 0>\n\tdirection <0, 0, -1>\n\tup <0, 1, 0>\n";
    const float aspect = float(double(camera->screenWidth()) / double(camera->screenHeight()));
    out += "\tright <";
    out.fixed(aspect);
    out += ", 0, 0,>\n\tangle ";
    out.number(camera->horizontalFieldOfView() * 180.0 / 3.14159);
    out += "\n";
    const double* m = camera->frame()->worldMatrix();
    auto transformed = [m](double x, double y, double z, bool translate) {
        const double t = translate ? 1.0 : 0.0;
        return std::array<double, 3>{m[0] * x + m[4] * y + m[8] * z + t * m[12],
                                     m[1] * x + m[5] * y + m[9] * z + t * m[13],
                                     m[2] * x + m[6] * y + m[10] * z + t * m[14]};
    };
    auto writePoint = [&out](const char* keyword, const std::array<double, 3>& p) {
        out += keyword;
        out += " <";
        out.generalTriple(p[0], p[1], p[2], ",");
        out += ">\n";
    };
    writePoint("\tlocation", transformed(0, 0, 0, true));
    writePoint("\tsky", transformed(0, 1, 0, false));
    writePoint("\tlook_at", transformed(0, 0, -1, true));
    out += "}\n";

    for (const PovLight& light : scene.lights) {
        const vec c = light.color * light.intensity;
        out += "\nlight_source { \n\t<";
        out.fixedTriple(double(light.position[0]) * 10000.0, double(light.position[1]) * 10000.0,
                        double(light.position[2]) * 10000.0, ", ");
        out += ">\n\tcolor rgb <";
        out.fixedTriple(c[0], c[1], c[2], ",");
        out += ">\n}\n\n";
    }
    const vec ambient = scene.ambientLight();
    out += "global_settings {\n\tambient_light rgb <";
    out.generalTriple(double(ambient[0]), double(ambient[1]), double(ambient[2]), ", ");
    out += ">\n}\n";

    for (size_t i = scene.groundVisible ? 0 : 1; i < scene.textures.size(); ++i) {
        out += "\n#declare TEXTURE";
        out += std::to_string(i).c_str();
        out += " = ";
        out.append(scene.textures[i].povText(scene.radius));
    }

    if (scene.groundVisible) {
        out += "plane {\n\tz, ";
        out.number(scene.groundZ);
        out += "\n\ttexture { TEXTURE0 }\n}\n";
    }

    const PovMeshForm written = resolveMeshForm(form, scene.triangleCount());
    for (size_t i = 1; i < scene.models.size(); ++i) {
        LnMesh* mesh = scene.models[i]->getMesh();
        // POV-Ray refuses a mesh block without a triangle it keeps.
        if (!povAcceptsMesh(*mesh)) {
            continue;
        }
        if (written == PovMeshForm::Mesh2) {
            writeMesh2(mesh, i, out);
            continue;
        }
        const std::string textureLine = "\t\ttexture { TEXTURE" + std::to_string(i) + " }\n\t}\n";
        out += "\nmesh {\n";
        const int faces = mesh->getNumFaces();
        // A triangle takes at most 6 triples of 3 numbers of at most 64
        // characters plus its fixed words.
        const size_t most = 6 * 3 * 64 + 64 + textureLine.size();
        for (int j = 0; j < faces; ++j) {
            vec a, b, c;
            mesh->getFaceVertices(j, a, b, c);
            if (!povFinite(a, b, c)) {
                continue; // a corner at infinity or NaN has no text POV-Ray reads
            }
            char* p = out.room(most);
            if (mesh->isFlat()) {
                p = put(p, "\ttriangle {\n\t\t");
                p = putTriple(p, a);
                p = put(p, "\n\t\t");
                p = putTriple(p, b);
                p = put(p, "\n\t\t");
                p = putTriple(p, c);
                *p++ = '\n';
            } else {
                vec na, nb, nc;
                mesh->getFaceNormals(j, na, nb, nc);
                if (!povFinite(na, nb, nc)) {
                    continue;
                }
                p = put(p, "\tsmooth_triangle {\n\t\t");
                p = putTriple(p, a);
                p = put(p, ", ");
                p = putTriple(p, na);
                p = put(p, ",\n\t\t");
                p = putTriple(p, b);
                p = put(p, ", ");
                p = putTriple(p, nb);
                p = put(p, ",\n\t\t");
                p = putTriple(p, c);
                p = put(p, ", ");
                p = putTriple(p, nc);
                *p++ = '\n';
            }
            std::memcpy(p, textureLine.data(), textureLine.size());
            out.commit(p + textureLine.size());
            out.flushIfLarge();
        }
        out += "}\n";
    }

    if (scene.lines.shown) {
        std::string ink;
        appendInk(ink, scene, inkView(*camera));
        out.append(ink.data(), ink.size());
    }
}

} // namespace

QString& PovScene::povText(qglviewer::Camera* camera, PovMeshForm form)
{
    text.clear();
    PovOutput out;
    writeScene(*this, camera, form, out);
    text = out.text();
    return text;
}

void PovScene::writePovFile(qglviewer::Camera* camera, const QString& fileName, PovMeshForm form)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen(QFile::encodeName(fileName).constData(), "wb"), &std::fclose);
    if (!file) {
        return;
    }
    PovOutput out(file.get());
    writeScene(*this, camera, form, out);
    out.flush();
}

void PovScene::writeIniFile(int width, int height)
{
    QFile file(QStringLiteral("POVRAY.INI"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return;
    }
    file.write(QStringLiteral("+W%1 +H%2\n").arg(width).arg(height).toLatin1());
}
