// The POV-Ray side of PovScene: the scene description and the renderer's
// settings file.

#include "scene/PovNumber.h"
#include "scene/PovScene.h"

#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>

#include <QFile>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

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
            if (!failed && std::fwrite(buffer.data(), 1, used, file) != used) {
                failed = true;
                failure = errno;
            }
            used = 0;
        }
    }
    // Whether a write to the file failed, and the system's error number then.
    bool failed = false;
    int failure = 0;
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

void writeScene(const PovScene& scene, qglviewer::Camera* camera, PovOutput& out)
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
        out += "\n";
    }

    if (scene.groundVisible) {
        out += "plane {\n\tz, ";
        out.number(scene.groundZ);
        out += "\n\ttexture { TEXTURE0 }\n}\n";
    }

    for (size_t i = 1; i < scene.models.size(); ++i) {
        LnMesh* mesh = scene.models[i]->getMesh();
        const std::string textureLine = "\t\ttexture { TEXTURE" + std::to_string(i) + " }\n\t}\n";
        out += "\nmesh {\n";
        const int faces = mesh->getNumFaces();
        // A triangle takes at most 6 triples of 3 numbers of at most 64
        // characters plus its fixed words.
        const size_t most = 6 * 3 * 64 + 64 + textureLine.size();
        for (int j = 0; j < faces; ++j) {
            vec a, b, c;
            mesh->getFaceVertices(j, a, b, c);
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
}

} // namespace

QString& PovScene::povText(qglviewer::Camera* camera)
{
    text.clear();
    PovOutput out;
    writeScene(*this, camera, out);
    text = out.text();
    return text;
}

namespace {

bool fail(QString* error, const QString& fileName, int number)
{
    if (error) {
        *error = QStringLiteral("cannot write '%1': %2")
                     .arg(fileName, QString::fromLocal8Bit(std::strerror(number)));
    }
    return false;
}

} // namespace

bool PovScene::writePovFile(qglviewer::Camera* camera, const QString& fileName, QString* error)
{
    std::FILE* file = std::fopen(QFile::encodeName(fileName).constData(), "wb");
    if (!file) {
        return fail(error, fileName, errno);
    }
    PovOutput out(file);
    writeScene(*this, camera, out);
    out.flush();
    // The last blocks reach the device only when the file is closed.
    const bool flushed = std::fflush(file) == 0;
    const int flushFailure = errno;
    const bool closed = std::fclose(file) == 0;
    if (out.failed) {
        return fail(error, fileName, out.failure);
    }
    if (!flushed || !closed) {
        return fail(error, fileName, flushed ? errno : flushFailure);
    }
    return true;
}

bool PovScene::writeIniFile(int width, int height, QString* error)
{
    const QString name = QStringLiteral("POVRAY.INI");
    QFile file(name);
    const QByteArray line = QStringLiteral("+W%1 +H%2\n").arg(width).arg(height).toLatin1();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(line) != line.size() || !file.flush()) {
        if (error) {
            *error = QStringLiteral("cannot write '%1': %2").arg(name, file.errorString());
        }
        return false;
    }
    file.close();
    return true;
}
