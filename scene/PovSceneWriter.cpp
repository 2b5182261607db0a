// The POV-Ray side of PovScene: the scene description and the renderer's
// settings file.

#include "scene/PovCompactMesh.h"
#include "scene/PovDetail.h"
#include "scene/PovFileMaterial.h"
#include "scene/PovEnvironment.h"
#include "scene/PovInk.h"
#include "scene/PovNumber.h"
#include "scene/PovScene.h"
#include "scene/PovTriangles.h"
#include "scene/SaveFile.h"

#include "ln/LnSmoothMesh.h"
#include "trimesh/Simplify.h"

#include <QDir>
#include <QFileInfo>
#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Collects the text; when it writes to a file it hands the text over in
// blocks, so a scene of millions of triangles is never held whole.
class PovOutput final : public PovTextSink {
public:
    explicit PovOutput(QIODevice* file = nullptr) : file(file) { buffer.resize(1 << 21); }

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
    template <typename T> void generalTriple(T a, T b, T c, const char* separator)
    {
        number(a);
        *this += separator;
        number(b);
        *this += separator;
        number(c);
    }
    template <typename T> void fixedTriple(T a, T b, T c, const char* separator)
    {
        fixed(a);
        *this += separator;
        fixed(b);
        *this += separator;
        fixed(c);
    }

    // Room for at least n more characters at the end; write there, then
    // commit() the end of what was written.
    char* room(size_t n) override
    {
        if (used + n > buffer.size()) {
            buffer.resize(std::max(buffer.size() * 2, used + n));
        }
        return buffer.data() + used;
    }
    void commit(char* end) override { used = size_t(end - buffer.data()); }

    // Passes the text gathered so far to the file once it is large.
    void flushIfLarge() override
    {
        if (file && used >= (1u << 20)) {
            flush();
        }
    }
    void flush()
    {
        if (file) {
            if (!failed && !writeWhole(*file, buffer.data(), qint64(used))) {
                failed = true;
            }
            used = 0;
        }
    }
    // Whether a write to the file failed (the file says why).
    bool failed = false;
    QString text() const { return QString::fromLatin1(buffer.data(), int(used)); }

private:
    QIODevice* file;
    std::vector<char> buffer;
    size_t used = 0;
};

template <size_t N> char* put(char* p, const char (&literal)[N])
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
// normal and (when it is textured) its texture coordinates, one index in order of first appearance; corners are equal when
// their bits are. Open addressing in a table kept at most half full, each
// slot holding its corner's hash, so most probes never look at the corner.
class CornerIndex {
public:
    CornerIndex(size_t expected, bool withNormals, bool withUvs = false)
        : withNormals(withNormals), withUvs(withUvs)
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

    int indexOf(const vec& position, const vec& normal, const float* uv = nullptr)
    {
        const std::uint32_t h = hash(position, normal, uv);
        size_t mask = table.size() - 1;
        size_t slot = h & mask;
        while (table[slot].index >= 0) {
            const int index = table[slot].index;
            if (table[slot].hash == h && same(positions[size_t(index)], position) &&
                (!withNormals || same(normals[size_t(index)], normal)) &&
                (!withUvs || std::memcmp(&uvs[2 * size_t(index)], uv, 2 * sizeof(float)) == 0)) {
                return index;
            }
            slot = (slot + 1) & mask;
        }
        const int index = int(positions.size());
        positions.push_back(position);
        if (withNormals) {
            normals.push_back(normal);
        }
        if (withUvs) {
            uvs.insert(uvs.end(), uv, uv + 2);
        }
        table[slot] = Slot{h, index};
        if (2 * positions.size() > table.size()) {
            grow();
        }
        return index;
    }

    std::vector<vec> positions;
    std::vector<vec> normals; // parallel to positions; empty without normals
    std::vector<float> uvs;   // two per position; empty without them

private:
    struct Slot {
        std::uint32_t hash = 0;
        int index = -1;
    };

    static bool same(const vec& a, const vec& b) { return std::memcmp(&a, &b, sizeof(vec)) == 0; }
    std::uint32_t hash(const vec& position, const vec& normal, const float* uv) const
    {
        std::uint32_t bits[8] = {};
        std::memcpy(bits, &position, sizeof(vec));
        if (withNormals) {
            std::memcpy(bits + 3, &normal, sizeof(vec));
        }
        if (withUvs) {
            std::memcpy(bits + 6, uv, 2 * sizeof(float));
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
    bool withUvs;
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

// "\tname {\n\t\tcount" then ",\n\t\t<x, y, z>" per vector, then "\n\t}\n";
// compactly "\tname{count,<x,y,z>,...}\n".
void writeVectorList(const char* name, const std::vector<vec>& vectors, bool compact,
                     PovOutput& out)
{
    if (compact) {
        out += "\t";
        out += name;
        out += "{";
        out += std::to_string(vectors.size()).c_str();
        for (const vec& v : vectors) {
            char* p = out.room(3 * 64 + 8);
            *p++ = ',';
            out.commit(putCompactTriple(p, v));
            out.flushIfLarge();
        }
        out += "}\n";
        return;
    }
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

void writeIndexList(const char* name, const std::vector<int>& indices, bool compact,
                    PovOutput& out)
{
    if (compact) {
        out += "\t";
        out += name;
        out += "{";
        out += std::to_string(indices.size() / 3).c_str();
        for (size_t k = 0; k + 2 < indices.size(); k += 3) {
            char* p = out.room(3 * 16 + 8);
            *p++ = ',';
            out.commit(putCompactIndexTriple(p, indices[k], indices[k + 1], indices[k + 2]));
            out.flushIfLarge();
        }
        out += "}\n";
        return;
    }
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

// "\tmatrix <...>\n", the placement of a placed model's file: POV-Ray's
// rows are the images of x, y and z, then the move (each number the
// shortest that reads back the same). Nothing at the identity placement,
// so such a model's text is as it always was.
void writePlacement(const PovPlacement& placement, PovOutput& out)
{
    if (placement.isIdentity()) {
        return;
    }
    double m[16];
    placement.matrix(m);
    out += "\tmatrix <";
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 3; ++row) {
            const double v = m[4 * column + row] == 0.0 ? 0.0 : m[4 * column + row]; // no "-0"
            char* p = out.room(64);
            out.commit(std::to_chars(p, p + 64, v).ptr);
            if (column < 3 || row < 2) {
                out += ", ";
            }
        }
    }
    out += ">\n";
}

// "\tuv_vectors {\n\t\tcount" then ",\n\t\t<u, v>" per pair, then "\n\t}\n".
void writeUvList(const std::vector<float>& uvs, PovOutput& out)
{
    out += "\tuv_vectors {\n\t\t";
    out += std::to_string(uvs.size() / 2).c_str();
    for (size_t k = 0; k + 1 < uvs.size(); k += 2) {
        char* p = out.room(2 * 64 + 16);
        p = put(p, ",\n\t\t<");
        p = writeFixed(p, uvs[k]);
        p = put(p, ", ");
        p = writeFixed(p, uvs[k + 1]);
        *p++ = '>';
        out.commit(p);
        out.flushIfLarge();
    }
    out += "\n\t}\n";
}

// The same faces, corners and normals as the triangle form, as one mesh2:
// each distinct corner (position, normal and, for a `textured` mesh, its
// texture coordinates) is written once and the faces refer to it by index,
// which POV-Ray also uses for the normals and texture coordinates; the
// texture is given once for the whole mesh. POV-Ray parses this form many
// times faster than separate triangles. A large mesh is written compactly,
// an untextured smooth one straight from its own lists.
void writeMesh2(LnMesh* mesh, size_t i, const PovPlacement& placement, PovOutput& out,
                bool textured = false)
{
    const int faces = mesh->getNumFaces();
    const bool flat = mesh->isFlat();
    const bool compact = faces >= compactMeshTriangles;
    // A simplified copy for automatic detail is written in pieces as well.
    const SimplifiedMesh* copy = compact && !textured ? povDetailCopy(mesh) : nullptr;
    if (compact && !textured && (copy || dynamic_cast<LnSmoothMesh*>(mesh))) {
        PovOutput modifiers;
        modifiers += "\ttexture { TEXTURE";
        modifiers += std::to_string(i).c_str();
        modifiers += " }\n";
        writePlacement(placement, modifiers);
        const QByteArray text = modifiers.text().toLatin1();
        if (copy) {
            writeCompactMeshPieces({copy->vertices, copy->normals, copy->faces}, flat,
                                   text.constData(), out);
        } else {
            writeCompactSmoothMeshes(mesh, text.constData(), out);
        }
        return;
    }
    CornerIndex corners(size_t(faces) / 2 + 3, !flat, textured);
    std::vector<int> faceIndices;
    faceIndices.reserve(3 * size_t(faces));
    for (int j = 0; j < faces; ++j) {
        vec a, b, c, na, nb, nc;
        float uv[6] = {0, 0, 0, 0, 0, 0};
        mesh->getFaceVertices(j, a, b, c);
        if (!flat) {
            mesh->getFaceNormals(j, na, nb, nc);
        }
        // A corner or normal at infinity or NaN has no text POV-Ray reads.
        if (!povFinite(a, b, c) || (!flat && !povFinite(na, nb, nc))) {
            continue;
        }
        if (textured) {
            mesh->getFaceTextureCoordinates(j, uv);
            for (float& t : uv) {
                t = std::isfinite(t) ? t : 0.0f;
            }
        }
        faceIndices.push_back(corners.indexOf(a, na, uv));
        faceIndices.push_back(corners.indexOf(b, nb, uv + 2));
        faceIndices.push_back(corners.indexOf(c, nc, uv + 4));
    }
    out += "\nmesh2 {\n";
    writeVectorList("vertex_vectors", corners.positions, compact, out);
    if (!flat) {
        writeVectorList("normal_vectors", corners.normals, compact, out);
    }
    if (textured) {
        writeUvList(corners.uvs, out);
    }
    writeIndexList("face_indices", faceIndices, compact, out);
    out += "\ttexture { TEXTURE";
    out += std::to_string(i).c_str();
    out += " }\n";
    writePlacement(placement, out);
    out += "}\n";
}

// "rgb <r, g, b>" or "srgb <r, g, b>" for a colour picked on screen (sRGB).
// Draft scenes get the linear values, which POV-Ray encodes back to the
// picked colour; Photo scenes say "srgb" and let POV-Ray decode it.
void writePickedColour(const QColor& colour, bool photo, PovOutput& out)
{
    if (photo) {
        out += "srgb <";
        out.generalTriple(colour.redF(), colour.greenF(), colour.blueF(), ", ");
    } else {
        out += "rgb <";
        out.generalTriple(srgbToLinear(colour.redF()), srgbToLinear(colour.greenF()),
                          srgbToLinear(colour.blueF()), ", ");
    }
    out += ">";
}

// The background statement; nothing for black, POV-Ray's own background.
void writeBackground(const PovScene& scene, const PovRenderSettings& settings, PovOutput& out)
{
    const bool photo = settings.quality == PovQuality::Photo;
    switch (settings.background) {
    case PovBackgroundKind::Black:
        return;
    case PovBackgroundKind::Transparent:
        // With alpha output on, the background's transmit becomes alpha 0.
        // Reflections would carry that transmit onto the models, so they
        // see a black sphere instead, which the camera (and radiosity)
        // does not see.
        out += "\nbackground { color rgbt <0, 0, 0, 1> }\n\nsphere {\n\t<";
        out.generalTriple(double(scene.center[0]), double(scene.center[1]), double(scene.center[2]),
                          ", ");
        out += ">, ";
        out.number(double(std::max(scene.radius, 1e-6f)) * 999.0);
        out += photo ? "\n\thollow\n\tno_image\n\tno_shadow\n\tno_radiosity\n"
                     : "\n\thollow\n\tno_image\n\tno_shadow\n";
        out += "\ttexture {\n\t\tpigment { color rgb <0, 0, 0> }\n"
               "\t\tfinish { ambient 0 diffuse 0 }\n\t}\n}\n";
        return;
    case PovBackgroundKind::Colour:
        out += "\nbackground { color ";
        writePickedColour(settings.backgroundColour, photo, out);
        out += " }\n";
        return;
    case PovBackgroundKind::Sky:
        // The sky's z (up) component picks the colour: the horizon colour
        // at and below the horizon, the zenith colour straight up.
        out += "\nsky_sphere {\n\tpigment {\n\t\tfunction { max(0, min(1, z)) }\n"
               "\t\tcolor_map {\n\t\t\t[0 color ";
        writePickedColour(PovRenderSettings::skyHorizon(), photo, out);
        out += "]\n\t\t\t[1 color ";
        writePickedColour(PovRenderSettings::skyZenith(), photo, out);
        out += "]\n\t\t}\n\t}\n}\n";
        return;
    }
}

// Radiosity tuned for quick, stable pictures at preview sizes: a pretrace
// down to a few pixels, enough samples per gather that a plain ground shows
// no blotches, one bounce.
const char* const photoRadiosity = "\tradiosity {\n"
                                   "\t\tpretrace_start 0.08\n"
                                   "\t\tpretrace_end 0.01\n"
                                   "\t\tcount 120\n"
                                   "\t\tnearest_count 10\n"
                                   "\t\terror_bound 0.5\n"
                                   "\t\tlow_error_factor 0.5\n"
                                   "\t\trecursion_limit 1\n"
                                   "\t\tgray_threshold 0\n"
                                   "\t\tminimum_reuse 0.015\n"
                                   "\t\tbrightness 1\n"
                                   "\t\tadc_bailout 0.01\n"
                                   "\t}\n";

// One mesh block per model but the ground, in the form the settings and
// the scene's size call for.
void writeModels(const PovScene& scene, qglviewer::Camera* camera,
                 const PovRenderSettings& settings, PovOutput& out)
{
    const PovMeshForm written = resolveMeshForm(settings.meshForm, scene.triangleCount());
    const std::vector<PovDetailPlan> detail = povDetailPlan(scene, camera, settings);
    for (size_t i = 1; i < scene.models.size(); ++i) {
        LnMesh* mesh = scene.models[i]->getMesh();
        // A model drawn with its file's image needs its texture
        // coordinates, which only the mesh2 form carries.
        const bool textured = i < scene.textures.size() && scene.textures[i].image &&
                              scene.textures[i].name.isNull() && mesh->hasTextureCoordinates();
        // A model with more triangles than the picture can show is written
        // as a simplified copy (PovDetail.h), made for this text only.
        std::unique_ptr<LnMesh> simpler;
        for (const PovDetailPlan& plan : detail) {
            if (plan.model == int(i) && (simpler = povDetailMesh(scene, plan))) {
                mesh = simpler.get();
            }
        }
        // POV-Ray refuses a mesh block without a triangle it keeps.
        if (!povAcceptsMesh(*mesh)) {
            continue;
        }
        if (written == PovMeshForm::Mesh2 || textured) {
            writeMesh2(mesh, i, scene.placementOf(int(i)), out, textured);
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
        writePlacement(scene.placementOf(int(i)), out);
        out += "}\n";
    }
}

// The environment panorama as the sky: the render's copy of the image
// (strength applied) on POV-Ray's sphere map, stood upright and turned.
void writeEnvironmentSky(const PovStage& stage, PovOutput& out)
{
    out += "\nsky_sphere {\n\tpigment {\n\t\timage_map { hdr \"";
    out += environmentCopyName();
    out += "\" map_type 1 interpolate 2 }\n\t}\n\trotate x*90\n\trotate z*";
    out.number(stage.turn);
    out += "\n}\n";
}

// Draft's stand-in for the panorama's light: a few parallel lights, each
// the light of a region of the sky.
void writeEnvironmentLights(const PovScene& scene, PovOutput& out)
{
    const PovEnvironmentLighting lighting =
        scene.stage.panorama->lighting(float(scene.stage.turn), float(scene.stage.strength));
    const double far = double(std::max(scene.radius, 1e-6f)) * 1000.0;
    for (const PovEnvironmentLight& light : lighting.lights) {
        out += "\nlight_source {\n\t<";
        out.generalTriple(double(scene.center[0]) + far * double(light.direction[0]),
                          double(scene.center[1]) + far * double(light.direction[1]),
                          double(scene.center[2]) + far * double(light.direction[2]), ", ");
        out += ">\n\tcolor rgb <";
        out.generalTriple(double(light.colour[0]), double(light.colour[1]), double(light.colour[2]),
                          ", ");
        out += ">\n\tparallel\n\tpoint_at <";
        out.generalTriple(double(scene.center[0]), double(scene.center[1]),
                          double(scene.center[2]), ", ");
        out += ">\n}\n";
    }
}

// The studio's backdrop: a mesh2 that casts no shadow (so lights from
// behind it reach the models).
void writeBackdrop(const PovScene& scene, bool photo, PovOutput& out)
{
    const PovBackdrop backdrop = studioBackdrop(scene);
    const float ambient = scene.textures.empty() ? 0.0f : scene.textures[0].ambient;
    std::vector<int> faces(backdrop.positions.size());
    for (size_t i = 0; i < faces.size(); ++i) {
        faces[i] = int(i);
    }
    out += "\n// The studio backdrop\nmesh2 {\n";
    writeVectorList("vertex_vectors", backdrop.positions, false, out);
    writeVectorList("normal_vectors", backdrop.normals, false, out);
    writeIndexList("face_indices", faces, false, out);
    out += "\t";
    out.append(backdropTexture(scene.stage, ambient).povText(scene.radius, photo));
    out += "\n\tno_shadow\n}\n";
}

void writeScene(const PovScene& scene, qglviewer::Camera* camera, const PovRenderSettings& settings,
                PovOutput& out)
{
    const bool environment = scene.stage.environment();
    const bool studio = scene.stage.studio();
    const bool photo = settings.quality == PovQuality::Photo;
    if (photo) {
        out += "#version 3.7;\n\n";
    }
    out += "#include \"colors.inc\"\n#include \"woods.inc\"\n#include \"stones.inc\"\n\n";
    if (photo) {
        // The gamma comes before any sRGB colour. Radiosity takes the flat
        // ambient term's place: the finishes' ambient is switched off.
        out += "global_settings {\n\tassumed_gamma 1.0\n\tambient_light rgb <0, 0, 0>\n";
        out += photoRadiosity;
        out += "}\n\n";
    }

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

    if (environment && !photo) {
        writeEnvironmentLights(scene, out);
    }
    // Under an environment the panorama is the light; the lights wait.
    const std::vector<PovLight> none;
    for (const PovLight& light : environment ? none : scene.lights) {
        const vec c = light.color * light.intensity;
        const std::array<double, 3> at = {double(light.position[0]) * 10000.0,
                                          double(light.position[1]) * 10000.0,
                                          double(light.position[2]) * 10000.0};
        out += "\nlight_source { \n\t<";
        out.fixedTriple(at[0], at[1], at[2], ", ");
        if (photo) {
            // The panel's colour as seen, in linear light, times the
            // intensity.
            const double i = double(light.intensity);
            out += ">\n\tcolor rgb <";
            out.fixedTriple(srgbToLinear(double(light.color[0])) * i,
                            srgbToLinear(double(light.color[1])) * i,
                            srgbToLinear(double(light.color[2])) * i, ",");
            out += ">\n";
            // A round light facing the scene, its size a share of its
            // distance from the scene's centre, so the penumbra's width
            // follows the scene's size; 9 x 9 samples, of which adaptive
            // sampling takes only the corners where the light is wholly
            // seen or wholly hidden, jittered against banding.
            const double dx = at[0] - scene.center[0], dy = at[1] - scene.center[1],
                         dz = at[2] - scene.center[2];
            // (Never zero: a light at the centre of a point-sized scene.)
            const double size = std::max(
                double(scene.photoLightSpread()) * std::sqrt(dx * dx + dy * dy + dz * dz), 1e-6);
            out += "\tarea_light <";
            out.number(size);
            out += ", 0, 0>, <0, ";
            out.number(size);
            out += ", 0>, 9, 9\n\tadaptive 1\n\tjitter\n\tcircular\n\torient\n}\n\n";
        } else {
            out += ">\n\tcolor rgb <";
            out.fixedTriple(c[0], c[1], c[2], ",");
            out += ">\n}\n\n";
        }
    }
    const vec ambient = scene.ambientLight();
    if (photo) {
        // The light that fills the shadows comes from the sky, or from a
        // dome the camera does not see that glows with the ambient light's
        // colour times the scene's ambient level, so occluded places get
        // less of it.
        if (settings.background != PovBackgroundKind::Sky && !environment) {
            const double level = scene.textures.empty() ? 0.0 : double(scene.textures[0].ambient);
            out += "\nsphere {\n\t<";
            out.generalTriple(double(scene.center[0]), double(scene.center[1]),
                              double(scene.center[2]), ", ");
            out += ">, ";
            out.number(double(std::max(scene.radius, 1e-6f)) * 1000.0);
            out += "\n\thollow\n\tno_image\n\tno_reflection\n\tno_shadow\n"
                   "\ttexture {\n\t\tpigment { color rgb <";
            out.generalTriple(srgbToLinear(double(ambient[0])) * level,
                              srgbToLinear(double(ambient[1])) * level,
                              srgbToLinear(double(ambient[2])) * level, ", ");
            out += "> }\n\t\tfinish { emission 1 diffuse 0 }\n\t}\n}\n";
        }
    } else if (environment) {
        // The lights stand for all of the panorama's light.
        out += "global_settings {\n\tambient_light rgb <0, 0, 0>\n}\n";
    } else {
        out += "global_settings {\n\tambient_light rgb <";
        out.generalTriple(double(ambient[0]), double(ambient[1]), double(ambient[2]), ", ");
        out += ">\n}\n";
    }
    if (environment) {
        writeEnvironmentSky(scene.stage, out);
    } else {
        writeBackground(scene, settings, out);
    }

    for (size_t i = scene.groundVisible ? 0 : 1; i < scene.textures.size(); ++i) {
        out += "\n#declare TEXTURE";
        out += std::to_string(i).c_str();
        out += " = ";
        out.append(scene.textures[i].povText(scene.radius, photo));
        out += "\n";
    }

    // The studio's floor takes the ground's place.
    if (scene.groundVisible && !studio) {
        out += "plane {\n\tz, ";
        out.number(scene.groundZ);
        out += "\n\ttexture { TEXTURE0 }\n}\n";
    }
    if (studio) {
        writeBackdrop(scene, photo, out);
    }

    if (!scene.modelsFile.isEmpty()) {
        out += "\n#include \"";
        out.append(scene.modelsFile);
        out += "\"\n";
    } else {
        writeModels(scene, camera, settings, out);
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
    PovRenderSettings settings;
    settings.meshForm = form;
    return povText(camera, settings);
}

QString& PovScene::povText(qglviewer::Camera* camera, const PovRenderSettings& settings)
{
    text.clear();
    PovOutput out;
    writeScene(*this, camera, settings, out);
    text = out.text();
    return text;
}

namespace {

bool fail(QString* error, const QString& fileName, const QString& reason)
{
    if (error) {
        *error = QStringLiteral("cannot write '%1': %2").arg(fileName, reason);
    }
    return false;
}

} // namespace

bool PovScene::writePovFile(qglviewer::Camera* camera, const QString& fileName, QString* error)
{
    return writePovFile(camera, fileName, PovRenderSettings(), error);
}

bool PovScene::writePovFile(qglviewer::Camera* camera, const QString& fileName, PovMeshForm form,
                            QString* error)
{
    PovRenderSettings settings;
    settings.meshForm = form;
    return writePovFile(camera, fileName, settings, error);
}

bool PovScene::writePovFile(qglviewer::Camera* camera, const QString& fileName,
                            const PovRenderSettings& settings, QString* error)
{
    // Written whole beside the old file and put in its place at the end,
    // the text handed over in blocks as it grows.
    QString reason;
    const bool written = saveWith(
        fileName,
        [&](QIODevice& file) {
            PovOutput out(&file);
            writeScene(*this, camera, settings, out);
            out.flush();
            return !out.failed;
        },
        &reason);
    if (!written) {
        return fail(error, fileName, reason);
    }
    // The panorama goes beside the scene text, where POV-Ray (started in
    // the scene's folder) finds it by name: decoded again and written as
    // a Radiance image with the strength applied.
    if (stage.environment()) {
        const QString copy =
            QFileInfo(fileName).absoluteDir().filePath(QLatin1String(environmentCopyName()));
        PovImageRgb image;
        QString why;
        if (!readPanoramaImage(stage.environmentFile, image, &why)) {
            if (error) {
                *error = QStringLiteral("cannot read the environment image '%1': %2")
                             .arg(stage.environmentFile, why);
            }
            return false;
        }
        if (!writeRadianceHdr(copy, image, float(stage.strength), error)) {
            return false;
        }
    }
    // The images of file materials go beside the scene, where it names them.
    return writeSceneImages(*this, QFileInfo(fileName).absolutePath(), error);
}

bool PovScene::moveModelsToFile(const QString& fileName, qglviewer::Camera* camera,
                                 const PovRenderSettings& settings,
                                QString* error)
{
    QString reason;
    const bool written = saveWith(
        fileName,
        [&](QIODevice& file) {
            PovOutput out(&file);
            writeModels(*this, camera, settings, out);
            out.flush();
            return !out.failed;
        },
        &reason);
    if (!written) {
        return fail(error, fileName, reason);
    }
    for (size_t i = 1; i < models.size(); ++i) {
        delete models[i];
    }
    models.resize(std::min(models.size(), size_t(1)));
    modelsFile = fileName;
    return true;
}

bool PovScene::writeIniFile(int width, int height, QString* error)
{
    const QString name = QStringLiteral("POVRAY.INI");
    const QByteArray line = QStringLiteral("+W%1 +H%2\n").arg(width).arg(height).toLatin1();
    QString reason;
    return saveBytes(name, line, &reason) || fail(error, name, reason);
}
