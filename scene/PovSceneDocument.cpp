#include "scene/PovSceneDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>

#include <QGLViewer/camera.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// A scene document is a few kilobytes; anything far larger is not one.
constexpr qint64 largestDocument = 4 << 20;
// As many lights as the lighting commands allow.
constexpr int mostLights = 4;
// Subdivision multiplies a mesh's triangles by four a step; a document may
// not ask for more steps, nor for more triangles per model, than these.
constexpr int mostSubdivisions = 6;
constexpr double mostSubdividedTriangles = 4e6;
constexpr double unlimited = std::numeric_limits<double>::max();
// A composed scene names a few files; a document naming more is not one a
// person made, and each would take a file's memory.
constexpr int mostFiles = 100;
// Placements: moves and scales as large as the coordinates POV-Ray reads
// well, turns of any number of whole turns a person would type.
constexpr double farthest = 1e15;

// The float as the shortest decimal that reads back as the same float, held
// in the double the JSON writer prints (its own shortest form). Reading
// takes the double and narrows it to the float written.
double jsonFloat(float value)
{
    char text[64];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text - 1, value);
    *end.ptr = '\0';
    const double shortest = std::strtod(text, nullptr);
    return float(shortest) == value ? shortest : double(value);
}

QJsonArray floats(const float* values, int n)
{
    QJsonArray array;
    for (int i = 0; i < n; ++i) {
        array.append(jsonFloat(values[i]));
    }
    return array;
}

QJsonArray doubles(const double* values, int n)
{
    QJsonArray array;
    for (int i = 0; i < n; ++i) {
        array.append(values[i]);
    }
    return array;
}

QJsonObject textureObject(const PovTexture& t)
{
    QJsonObject o;
    o[QStringLiteral("name")] = t.name.isNull() ? QJsonValue() : QJsonValue(t.name);
    const float rgb[3] = {t.red, t.green, t.blue};
    o[QStringLiteral("color")] = floats(rgb, 3);
    o[QStringLiteral("diffuse")] = jsonFloat(t.diffuse);
    o[QStringLiteral("specular")] = jsonFloat(t.specular);
    o[QStringLiteral("ambient")] = jsonFloat(t.ambient);
    o[QStringLiteral("reflection")] = jsonFloat(t.reflection);
    o[QStringLiteral("roughness")] = jsonFloat(t.roughness);
    o[QStringLiteral("metallic")] = t.metallic;
    o[QStringLiteral("normalPattern")] = t.normalPattern;
    o[QStringLiteral("bumpSize")] = jsonFloat(t.bumpSize);
    o[QStringLiteral("normalScale")] = jsonFloat(t.normalScale);
    // The model shows its file material (its image, when it has one), which
    // the model file gives again when the document is opened.
    if (t.fromFile) {
        o[QStringLiteral("fromFile")] = true;
    }
    return o;
}

QJsonObject modelObject(const PovScene& scene, int i)
{
    QJsonObject m;
    m[QStringLiteral("texture")] = i < int(scene.textures.size())
                                       ? textureObject(scene.textures[size_t(i)])
                                       : textureObject(PovTexture());
    m[QStringLiteral("flat")] = scene.models[size_t(i)]->getMesh()->isFlat();
    m[QStringLiteral("subdivisions")] = scene.subdivisions(i);
    return m;
}

// The file's name relative to the document's folder when it lies there or
// below, absolute otherwise.
QString documentPath(const QString& file, const QString& documentFile)
{
    const QDir folder = QFileInfo(documentFile).absoluteDir();
    const QString absolute = QFileInfo(file).absoluteFilePath();
    const QString relative = folder.relativeFilePath(absolute);
    return relative.startsWith(QLatin1String("../")) || QDir::isAbsolutePath(relative) ? absolute
                                                                                       : relative;
}

QJsonObject lightObject(const PovLight& light)
{
    QJsonObject o;
    o[QStringLiteral("position")] = floats(light.position.data(), 3);
    o[QStringLiteral("azimuth")] = jsonFloat(light.azimuth);
    o[QStringLiteral("elevation")] = jsonFloat(light.elevation);
    o[QStringLiteral("distance")] = jsonFloat(light.distance);
    o[QStringLiteral("color")] = floats(light.color.data(), 3);
    o[QStringLiteral("intensity")] = jsonFloat(light.intensity);
    return o;
}

QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString typeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("true or false");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("text");
    case QJsonValue::Array:
        return QStringLiteral("a list");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("missing");
}

// Reads optional fields of the document into values, checking each one's
// type and range. Fields that are absent leave their value alone. The first
// problem is kept, and once there is one nothing more is read; so the whole
// document can be checked by reading it into scratch values before anything
// is loaded, and then read again into the real scene knowing it will pass.
class FieldReader {
public:
    bool ok() const { return problem.isEmpty(); }
    const QString& error() const { return problem; }

    void fail(const QString& where, const QString& what)
    {
        if (ok()) {
            problem = QStringLiteral("%1 %2").arg(where, what);
        }
    }

    // A number from lo to hi (above lo when lowOpen).
    bool number(const QJsonValue& v, const QString& where, double lo, double hi, double& out,
                bool lowOpen = false)
    {
        if (!ok() || v.isUndefined()) {
            return false;
        }
        if (!v.isDouble()) {
            fail(where, QStringLiteral("must be a number, not %1").arg(typeName(v)));
            return false;
        }
        const double d = v.toDouble();
        if (!std::isfinite(d) || d < lo || d > hi || (lowOpen && d == lo)) {
            if (hi == unlimited) {
                fail(where, QStringLiteral("is %1; it must be %2 %3")
                                .arg(numberText(d),
                                     lowOpen ? QStringLiteral("above") : QStringLiteral("at least"),
                                     numberText(lo)));
            } else if (lo == -unlimited) {
                fail(where, QStringLiteral("is %1; it must be a finite number").arg(numberText(d)));
            } else {
                fail(where, QStringLiteral("is %1; it must be from %2 to %3")
                                .arg(numberText(d), numberText(lo), numberText(hi)));
            }
            return false;
        }
        out = d;
        return true;
    }
    void number(const QJsonValue& v, const QString& where, double lo, double hi, float& out,
                bool lowOpen = false)
    {
        double d = 0.0;
        if (number(v, where, lo, hi, d, lowOpen)) {
            // A finite double beyond the float range would narrow to infinity.
            if (std::fabs(d) > double(std::numeric_limits<float>::max())) {
                fail(where, QStringLiteral("is %1, too large").arg(numberText(d)));
                return;
            }
            out = float(d);
        }
    }
    void integer(const QJsonValue& v, const QString& where, int lo, int hi, int& out)
    {
        double d = 0.0;
        if (number(v, where, lo, hi, d)) {
            if (d != std::floor(d)) {
                fail(where, QStringLiteral("is %1; it must be a whole number").arg(numberText(d)));
                return;
            }
            out = int(d);
        }
    }
    void boolean(const QJsonValue& v, const QString& where, bool& out)
    {
        if (!ok() || v.isUndefined()) {
            return;
        }
        if (!v.isBool()) {
            fail(where, QStringLiteral("must be true or false, not %1").arg(typeName(v)));
            return;
        }
        out = v.toBool();
    }
    // A list of n numbers.
    template <typename T>
    void numbers(const QJsonValue& v, const QString& where, int n, double lo, double hi, T* out)
    {
        if (!ok() || v.isUndefined()) {
            return;
        }
        if (!v.isArray() || v.toArray().size() != n) {
            fail(where, QStringLiteral("must be a list of %1 numbers").arg(n));
            return;
        }
        const QJsonArray array = v.toArray();
        for (int i = 0; i < n; ++i) {
            number(array[i], QStringLiteral("%1[%2]").arg(where).arg(i), lo, hi, out[i]);
        }
    }
    // An object, or an empty one when absent.
    QJsonObject object(const QJsonValue& v, const QString& where)
    {
        if (ok() && !v.isUndefined() && !v.isObject()) {
            fail(where, QStringLiteral("must be an object, not %1").arg(typeName(v)));
        }
        return v.toObject();
    }
    QJsonArray array(const QJsonValue& v, const QString& where)
    {
        if (ok() && !v.isUndefined() && !v.isArray()) {
            fail(where, QStringLiteral("must be a list, not %1").arg(typeName(v)));
        }
        return v.toArray();
    }

private:
    QString problem;
};

void readTexture(FieldReader& r, const QJsonObject& o, const QString& where, PovTexture& t)
{
    const QJsonValue name = o.value(QStringLiteral("name"));
    if (r.ok() && !name.isUndefined()) {
        // The name goes into the POV-Ray text as it stands: only a plain
        // identifier (a texture of woods.inc or stones.inc) is accepted.
        static const QRegularExpression identifier(
            QStringLiteral("^([A-Za-z_][A-Za-z0-9_]{0,63})?$"));
        if (name.isNull()) {
            t.name = QString();
        } else if (!name.isString() || !identifier.match(name.toString()).hasMatch()) {
            r.fail(where + QStringLiteral(".name"),
                   QStringLiteral("must be null or the name of a POV-Ray texture such as T_Wood1"));
        } else {
            // Non-null even when empty.
            t.name = name.toString().isEmpty() ? QStringLiteral("") : name.toString();
        }
    }
    float rgb[3] = {t.red, t.green, t.blue};
    r.numbers(o.value(QStringLiteral("color")), where + QStringLiteral(".color"), 3, 0.0, 1.0, rgb);
    t.red = rgb[0];
    t.green = rgb[1];
    t.blue = rgb[2];
    r.number(o.value(QStringLiteral("diffuse")), where + QStringLiteral(".diffuse"), 0.0, 1.0,
             t.diffuse);
    r.number(o.value(QStringLiteral("specular")), where + QStringLiteral(".specular"), 0.0, 1.0,
             t.specular);
    r.number(o.value(QStringLiteral("ambient")), where + QStringLiteral(".ambient"), 0.0, 1.0,
             t.ambient);
    r.number(o.value(QStringLiteral("reflection")), where + QStringLiteral(".reflection"), 0.0, 1.0,
             t.reflection);
    r.number(o.value(QStringLiteral("roughness")), where + QStringLiteral(".roughness"), 0.0, 1.0,
             t.roughness, true);
    r.boolean(o.value(QStringLiteral("metallic")), where + QStringLiteral(".metallic"), t.metallic);
    const QJsonValue pattern = o.value(QStringLiteral("normalPattern"));
    if (r.ok() && !pattern.isUndefined()) {
        static const QStringList patterns = {QStringLiteral("smooth"), QStringLiteral("bumps"),
                                             QStringLiteral("waves"), QStringLiteral("wrinkles")};
        if (!pattern.isString() || !patterns.contains(pattern.toString())) {
            r.fail(where + QStringLiteral(".normalPattern"),
                   QStringLiteral("must be one of \"smooth\", \"bumps\", \"waves\" and "
                                  "\"wrinkles\""));
        } else {
            t.normalPattern = pattern.toString();
        }
    }
    r.number(o.value(QStringLiteral("bumpSize")), where + QStringLiteral(".bumpSize"), 0.0, 10.0,
             t.bumpSize);
    r.number(o.value(QStringLiteral("normalScale")), where + QStringLiteral(".normalScale"), 0.0,
             1000.0, t.normalScale, true);
    // A model the document does not record with its file material keeps
    // the material recorded, without the file's image.
    bool fromFile = false;
    r.boolean(o.value(QStringLiteral("fromFile")), where + QStringLiteral(".fromFile"), fromFile);
    if (!fromFile || !t.fromFile) {
        t.image.reset();
        t.transmit = 0.0f;
        t.fromFile = false;
    }
}

void readLight(FieldReader& r, const QJsonObject& o, const QString& where, PovLight& light)
{
    const double big = 1e30;
    r.numbers(o.value(QStringLiteral("position")), where + QStringLiteral(".position"), 3, -big,
              big, &light.position[0]);
    r.number(o.value(QStringLiteral("azimuth")), where + QStringLiteral(".azimuth"), -1e6, 1e6,
             light.azimuth);
    r.number(o.value(QStringLiteral("elevation")), where + QStringLiteral(".elevation"), -1e6, 1e6,
             light.elevation);
    r.number(o.value(QStringLiteral("distance")), where + QStringLiteral(".distance"), 0.0,
             unlimited, light.distance);
    r.numbers(o.value(QStringLiteral("color")), where + QStringLiteral(".color"), 3, 0.0, 1.0,
              &light.color[0]);
    r.number(o.value(QStringLiteral("intensity")), where + QStringLiteral(".intensity"), 0.0, 100.0,
             light.intensity);
}

// Everything a document records, read from its JSON into `scene` (whose
// models must already be loaded when `modelsLoaded`), `view` and `indoor`.
// Checked in full on scratch values first (modelsLoaded false), then applied.
struct DocumentReader {
    FieldReader r;
    QJsonObject root;
    // A document from a newer version may hold render settings this version
    // cannot read; they are then left at their defaults.
    bool newer = false;

    void lighting(bool& indoor, bool& ground, double& ambient, bool& hasAmbient)
    {
        const QJsonValue value = root.value(QStringLiteral("lighting"));
        if (r.ok() && !value.isUndefined()) {
            if (value == QJsonValue(QStringLiteral("indoor"))) {
                indoor = true;
            } else if (value == QJsonValue(QStringLiteral("outdoor"))) {
                indoor = false;
            } else {
                r.fail(QStringLiteral("lighting"),
                       QStringLiteral("must be \"outdoor\" or \"indoor\""));
            }
        }
        r.boolean(root.value(QStringLiteral("ground")), QStringLiteral("ground"), ground);
        hasAmbient = r.number(root.value(QStringLiteral("ambient")), QStringLiteral("ambient"), 0.0,
                              1.0, ambient);
    }

    // The environment ("environment": {"file", "turn", "strength"}) or the
    // studio ("studio": {"colour"}); `kind` stays Lamps without either.
    void stage(PovStageKind& kind, QString& file, double& turn, double& strength, QColor& colour)
    {
        const QJsonValue environment = root.value(QStringLiteral("environment"));
        const QJsonValue studio = root.value(QStringLiteral("studio"));
        if (!environment.isUndefined()) {
            const QJsonObject o = r.object(environment, QStringLiteral("environment"));
            const QJsonValue name = o.value(QStringLiteral("file"));
            if (r.ok() && (!name.isString() || name.toString().isEmpty())) {
                r.fail(QStringLiteral("environment.file"),
                       QStringLiteral("must name the panorama image"));
            }
            file = name.toString();
            r.number(o.value(QStringLiteral("turn")), QStringLiteral("environment.turn"), -3600.0,
                     3600.0, turn);
            r.number(o.value(QStringLiteral("strength")), QStringLiteral("environment.strength"),
                     0.0, mostEnvironmentStrength, strength);
            kind = PovStageKind::Environment;
        } else if (!studio.isUndefined()) {
            const QJsonObject o = r.object(studio, QStringLiteral("studio"));
            const QJsonValue value = o.value(QStringLiteral("colour"));
            if (r.ok() && !value.isUndefined()) {
                const QColor c(value.toString());
                if (!value.isString() || !c.isValid()) {
                    r.fail(QStringLiteral("studio.colour"),
                           QStringLiteral("must be a colour such as #ebebeb"));
                } else {
                    colour = c;
                }
            }
            kind = PovStageKind::Studio;
        }
    }

    void view(PovSceneView& v)
    {
        const QJsonObject o = r.object(root.value(QStringLiteral("view")), QStringLiteral("view"));
        r.boolean(o.value(QStringLiteral("wireframe")), QStringLiteral("view.wireframe"),
                  v.wireframe);
        r.boolean(o.value(QStringLiteral("showLights")), QStringLiteral("view.showLights"),
                  v.showLights);
        const QJsonValue renderValue = root.value(QStringLiteral("render"));
        const QJsonObject render = r.object(renderValue, QStringLiteral("render"));
        if (r.ok() && !renderValue.isUndefined()) {
            QString problem;
            if (PovRenderSettings::fromJson(render, v.render, &problem)) {
                v.hasRender = true;
            } else if (!newer) {
                r.fail(QStringLiteral("in \"render\","), problem);
            }
        }
        const QJsonValue cameraValue = root.value(QStringLiteral("camera"));
        const QJsonObject camera = r.object(cameraValue, QStringLiteral("camera"));
        if (!r.ok() || cameraValue.isUndefined()) {
            return;
        }
        double position[3] = {0.0, 0.0, 0.0};
        double q[4] = {0.0, 0.0, 0.0, 1.0};
        double fov = 3.14159265358979 / 4.0;
        r.numbers(camera.value(QStringLiteral("position")), QStringLiteral("camera.position"), 3,
                  -1e30, 1e30, position);
        r.numbers(camera.value(QStringLiteral("orientation")), QStringLiteral("camera.orientation"),
                  4, -1.0001, 1.0001, q);
        r.number(camera.value(QStringLiteral("fieldOfView")), QStringLiteral("camera.fieldOfView"),
                 0.0, 3.1, fov, true);
        const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        if (r.ok() && std::fabs(norm - 1.0) > 1e-3) {
            r.fail(QStringLiteral("camera.orientation"),
                   QStringLiteral("is not a rotation (a quaternion of length 1)"));
        }
        if (!r.ok()) {
            return;
        }
        v.hasCamera = true;
        v.cameraPosition = qglviewer::Vec(position[0], position[1], position[2]);
        v.cameraOrientation = qglviewer::Quaternion(q[0], q[1], q[2], q[3]);
        v.fieldOfView = fov;
    }

    // The per-model settings; the list's length is checked against the
    // scene once the model file is loaded.
    QJsonArray models()
    {
        const QJsonValue value = root.value(QStringLiteral("models"));
        if (r.ok() && value.isUndefined()) {
            r.fail(QStringLiteral("the field \"models\""), QStringLiteral("is missing"));
        }
        return r.array(value, QStringLiteral("models"));
    }

    void model(const QJsonArray& list, int i, PovTexture& texture, bool& flat, int& steps,
               const QString& prefix = QString())
    {
        model(list[i], prefix + QStringLiteral("models[%1]").arg(i), texture, flat, steps);
    }
    void model(const QJsonValue& value, const QString& where, PovTexture& texture, bool& flat,
               int& steps)
    {
        if (r.ok() && !value.isObject()) {
            r.fail(where, QStringLiteral("must be an object, not %1").arg(typeName(value)));
        }
        const QJsonObject o = value.toObject();
        const QJsonObject t =
            r.object(o.value(QStringLiteral("texture")), where + QStringLiteral(".texture"));
        readTexture(r, t, where + QStringLiteral(".texture"), texture);
        r.boolean(o.value(QStringLiteral("flat")), where + QStringLiteral(".flat"), flat);
        r.integer(o.value(QStringLiteral("subdivisions")), where + QStringLiteral(".subdivisions"),
                  0, mostSubdivisions, steps);
    }

    QJsonArray lights()
    {
        const QJsonArray list =
            r.array(root.value(QStringLiteral("lights")), QStringLiteral("lights"));
        if (r.ok() && list.size() > mostLights) {
            r.fail(QStringLiteral("lights"), QStringLiteral("has %1 lights; a scene has at most %2")
                                                 .arg(list.size())
                                                 .arg(mostLights));
        }
        return list;
    }

    void light(const QJsonArray& list, int i, PovLight& light)
    {
        const QString where = QStringLiteral("lights[%1]").arg(i);
        if (r.ok() && !list[i].isObject()) {
            r.fail(where, QStringLiteral("must be an object, not %1").arg(typeName(list[i])));
        }
        readLight(r, list[i].toObject(), where, light);
    }
};

} // namespace

bool PovSceneDocument::isDocumentFile(const QString& fileName)
{
    return fileName.endsWith(QLatin1Char('.') + suffix(), Qt::CaseInsensitive);
}

QByteArray PovSceneDocument::toJson(const PovScene& scene, const qglviewer::Camera* camera,
                                    const PovSceneView& view, const QString& modelFile,
                                    const QString& documentFile)
{
    QJsonObject root;
    root[QStringLiteral("version")] = formatVersion;

    // Every file with its placement and its models' settings. A scene
    // built by hand, without its file records, is one file: `modelFile`.
    std::vector<PovSceneFile> files = scene.files;
    if (files.empty()) {
        files.resize(1);
        files[0].path = modelFile;
    }
    QJsonArray fileList;
    for (int f = 0; f < int(files.size()); ++f) {
        const PovSceneFile& file = files[size_t(f)];
        QJsonObject o;
        o[QStringLiteral("path")] = documentPath(file.path, documentFile);
        o[QStringLiteral("translate")] = floats(file.placement.translate.data(), 3);
        o[QStringLiteral("rotate")] = floats(file.placement.rotate.data(), 3);
        o[QStringLiteral("scale")] = jsonFloat(file.placement.scale);
        QJsonArray models;
        for (int i = 1; i < scene.modelCount(); ++i) {
            if (scene.files.empty() || scene.fileOf(i) == f) {
                models.append(modelObject(scene, i));
            }
        }
        o[QStringLiteral("models")] = models;
        fileList.append(o);
    }
    root[QStringLiteral("files")] = fileList;
    if (scene.modelCount() > 0) {
        root[QStringLiteral("groundModel")] = modelObject(scene, 0);
    }
    root[QStringLiteral("groundHeight")] = jsonFloat(scene.groundZ);

    root[QStringLiteral("lighting")] =
        scene.outdoorLighting ? QStringLiteral("outdoor") : QStringLiteral("indoor");
    if (!scene.textures.empty()) {
        root[QStringLiteral("ambient")] = jsonFloat(scene.textures[0].ambient);
    }
    root[QStringLiteral("ground")] = scene.groundVisible;
    if (scene.stage.environment()) {
        QJsonObject e;
        e[QStringLiteral("file")] = documentPath(scene.stage.environmentFile, documentFile);
        e[QStringLiteral("turn")] = scene.stage.turn;
        e[QStringLiteral("strength")] = scene.stage.strength;
        root[QStringLiteral("environment")] = e;
    } else if (scene.stage.studio()) {
        QJsonObject studio;
        studio[QStringLiteral("colour")] = scene.stage.backdrop.name();
        root[QStringLiteral("studio")] = studio;
    }

    if (camera) {
        QJsonObject c;
        const qglviewer::Vec p = camera->position();
        const double position[3] = {p.x, p.y, p.z};
        const qglviewer::Quaternion q = camera->orientation();
        const double rotation[4] = {q[0], q[1], q[2], q[3]};
        c[QStringLiteral("position")] = doubles(position, 3);
        c[QStringLiteral("orientation")] = doubles(rotation, 4);
        c[QStringLiteral("fieldOfView")] = camera->fieldOfView();
        root[QStringLiteral("camera")] = c;
    }
    QJsonObject v;
    v[QStringLiteral("wireframe")] = view.wireframe;
    v[QStringLiteral("showLights")] = view.showLights;
    root[QStringLiteral("view")] = v;
    if (view.hasRender) {
        root[QStringLiteral("render")] = view.render.toJson();
    }

    QJsonArray lights;
    for (const PovLight& light : scene.lights) {
        lights.append(lightObject(light));
    }
    root[QStringLiteral("lights")] = lights;
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool PovSceneDocument::save(const QString& documentFile, const QString& modelFile,
                            const PovScene& scene, const qglviewer::Camera* camera,
                            const PovSceneView& view, QString& error)
{
    if ((modelFile.isEmpty() && scene.files.empty()) || scene.modelCount() == 0) {
        error = QStringLiteral("there is no scene to save; open a model first");
        return false;
    }
    QSaveFile file(documentFile);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("the file cannot be written: %1").arg(file.errorString());
        return false;
    }
    file.write(toJson(scene, camera, view, modelFile, documentFile));
    if (!file.commit()) {
        error = QStringLiteral("the file cannot be written: %1").arg(file.errorString());
        return false;
    }
    return true;
}

bool PovSceneDocument::read(const QString& documentFile, PovScene& scene, qglviewer::Camera* camera)
{
    lastError.clear();
    notes.clear();
    model.clear();
    modelPaths.clear();
    environment.clear();
    recordedView = PovSceneView();

    // Only a plain file: reading a pipe or a device could wait forever.
    const QFileInfo info(documentFile);
    if (info.exists() && !info.isFile()) {
        lastError = QStringLiteral("the document is not a plain file");
        return false;
    }
    QFile file(documentFile);
    if (!file.open(QIODevice::ReadOnly)) {
        lastError = QStringLiteral("the document cannot be read: %1").arg(file.errorString());
        return false;
    }
    if (file.size() > largestDocument) {
        lastError = QStringLiteral("the document is %1 bytes long, too large for a scene document")
                        .arg(file.size());
        return false;
    }
    const QByteArray text = file.read(largestDocument + 1);
    QJsonParseError parseError;
    const QJsonDocument json = QJsonDocument::fromJson(text, &parseError);
    if (json.isNull()) {
        const int line = text.left(parseError.offset).count('\n') + 1;
        lastError = QStringLiteral("the document is not valid JSON (%1, line %2)")
                        .arg(parseError.errorString())
                        .arg(line);
        return false;
    }
    if (!json.isObject()) {
        lastError = QStringLiteral("the document is not a Kelvane scene (no JSON object)");
        return false;
    }

    DocumentReader reader;
    reader.root = json.object();
    FieldReader& r = reader.r;
    const QJsonValue version = reader.root.value(QStringLiteral("version"));
    if (version.isUndefined()) {
        lastError = QStringLiteral("the document is not a Kelvane scene (it has no \"version\")");
        return false;
    }
    int documentVersion = 0;
    r.integer(version, QStringLiteral("version"), 1, std::numeric_limits<int>::max(),
              documentVersion);

    // The model files: version 1 names one, "model", whose "models" list
    // starts with the ground; later versions a list of "files", each with
    // its placement and its own models, and the ground apart.
    struct FileEntry {
        QString named;
        PovPlacement placement;
        QJsonArray models;
        QString where; // the prefix of its models' fields in messages
    };
    std::vector<FileEntry> entries;
    QJsonValue groundModel(QJsonValue::Undefined);
    // (A document of a later version without "files" but with "model" is
    // read the first way too.)
    const bool legacy = documentVersion == 1 || (!reader.root.contains(QStringLiteral("files")) &&
                                                 reader.root.contains(QStringLiteral("model")));
    if (legacy) {
        const QJsonValue modelValue = reader.root.value(QStringLiteral("model"));
        if (r.ok() && (!modelValue.isString() || modelValue.toString().isEmpty())) {
            r.fail(QStringLiteral("model"), QStringLiteral("must name the model file"));
        }
        const QJsonArray models = reader.models();
        FileEntry entry;
        entry.named = modelValue.toString();
        for (int i = 0; i < models.size(); ++i) {
            if (i == 0) {
                groundModel = models[0];
            } else {
                entry.models.append(models[i]);
            }
        }
        entries.push_back(entry);
    } else {
        const QJsonValue filesValue = reader.root.value(QStringLiteral("files"));
        if (r.ok() && filesValue.isUndefined()) {
            r.fail(QStringLiteral("the field \"files\""), QStringLiteral("is missing"));
        }
        const QJsonArray files = r.array(filesValue, QStringLiteral("files"));
        if (r.ok() && (files.isEmpty() || files.size() > mostFiles)) {
            r.fail(QStringLiteral("files"),
                   QStringLiteral("names %1 model files; a scene has 1 to %2")
                       .arg(files.size())
                       .arg(mostFiles));
        }
        for (int f = 0; f < files.size() && r.ok(); ++f) {
            const QString where = QStringLiteral("files[%1]").arg(f);
            const QJsonObject o = r.object(files[f], where);
            if (r.ok() && !files[f].isObject()) {
                r.fail(where, QStringLiteral("must be an object"));
            }
            FileEntry entry;
            const QJsonValue path = o.value(QStringLiteral("path"));
            if (r.ok() && (!path.isString() || path.toString().isEmpty())) {
                r.fail(where + QStringLiteral(".path"), QStringLiteral("must name a model file"));
            }
            entry.named = path.toString();
            r.numbers(o.value(QStringLiteral("translate")), where + QStringLiteral(".translate"), 3,
                      -farthest, farthest, entry.placement.translate.data());
            r.numbers(o.value(QStringLiteral("rotate")), where + QStringLiteral(".rotate"), 3,
                      -36000.0, 36000.0, entry.placement.rotate.data());
            r.number(o.value(QStringLiteral("scale")), where + QStringLiteral(".scale"), 0.0,
                     farthest, entry.placement.scale, true);
            if (r.ok() && !(entry.placement.scale > 0.0f)) {
                r.fail(where + QStringLiteral(".scale"), QStringLiteral("is too small"));
            }
            const QJsonValue models = o.value(QStringLiteral("models"));
            if (r.ok() && models.isUndefined()) {
                r.fail(where + QStringLiteral(".models"), QStringLiteral("is missing"));
            }
            entry.models = r.array(models, where + QStringLiteral(".models"));
            entry.where = where + QLatin1Char('.');
            entries.push_back(entry);
        }
        groundModel = reader.root.value(QStringLiteral("groundModel"));
    }

    // Everything checked on scratch values before the model is loaded.
    bool indoor = false, ground = false, hasAmbient = false;
    double ambient = 0.0;
    reader.lighting(indoor, ground, ambient, hasAmbient);
    PovStageKind stageKind = PovStageKind::Lamps;
    QString environmentNamed;
    double turn = 0.0, strength = 1.0;
    QColor backdrop = scene.stage.backdrop;
    reader.stage(stageKind, environmentNamed, turn, strength, backdrop);
    reader.newer = documentVersion > formatVersion;
    reader.view(recordedView);
    // A document whose models show their file materials opens its files
    // with them (an OBJ file is then split by material, as when saved).
    bool fileMaterials = false;
    for (const FileEntry& entry : entries) {
        for (const QJsonValue m : entry.models) {
            fileMaterials = fileMaterials || m.toObject()
                                                 .value(QStringLiteral("texture"))
                                                 .toObject()
                                                 .value(QStringLiteral("fromFile"))
                                                 .toBool();
        }
    }
    scene.fileColours = scene.fileColours || fileMaterials;
    for (const FileEntry& entry : entries) {
        for (int i = 0; i < entry.models.size() && r.ok(); ++i) {
            PovTexture texture;
            bool flat = false;
            int steps = 0;
            // Version 1 numbers the models from the ground.
            reader.model(entry.models[i],
                         legacy ? QStringLiteral("models[%1]").arg(i + 1)
                                : entry.where + QStringLiteral("models[%1]").arg(i),
                         texture, flat, steps);
        }
    }
    PovTexture groundTexture;
    bool groundFlat = false;
    int groundSteps = 0;
    if (!groundModel.isUndefined()) {
        reader.model(groundModel,
                     legacy ? QStringLiteral("models[0]") : QStringLiteral("groundModel"),
                     groundTexture, groundFlat, groundSteps);
    }
    bool hasGroundHeight = false;
    float groundHeight = 0.0f;
    if (!legacy && reader.root.contains(QStringLiteral("groundHeight"))) {
        reader.r.number(reader.root.value(QStringLiteral("groundHeight")),
                        QStringLiteral("groundHeight"), -farthest, farthest, groundHeight);
        hasGroundHeight = true;
    }
    const QJsonArray lights = reader.lights();
    for (int i = 0; i < lights.size() && r.ok(); ++i) {
        PovLight light;
        reader.light(lights, i, light);
    }
    if (!r.ok()) {
        lastError = QStringLiteral("the document's %1").arg(r.error());
        return false;
    }
    if (documentVersion > formatVersion) {
        notes << QStringLiteral("The document was written by a newer Kelvane (format version %1; "
                                "this one reads version %2): what this version does not know "
                                "was left out.")
                     .arg(documentVersion)
                     .arg(formatVersion);
    }

    // The model files, relative to the document's folder. One that is
    // missing or unreadable is left out with a note when others remain.
    const QDir folder = QFileInfo(documentFile).absoluteDir();
    std::vector<const FileEntry*> loaded; // per file of the scene
    QStringList problems;
    for (const FileEntry& entry : entries) {
        const QString path = QDir::cleanPath(folder.absoluteFilePath(entry.named));
        if (model.isEmpty()) {
            model = path;
        }
        const QFileInfo modelInfo(path);
        QString problem;
        if (!modelInfo.exists()) {
            problem = QStringLiteral("its model file \"%1\" was not found (looked for \"%2\")")
                          .arg(entry.named, path);
        } else if (!modelInfo.isFile() || !modelInfo.isReadable()) {
            problem = QStringLiteral("its model file \"%1\" cannot be read").arg(path);
        } else {
            const QByteArray name = QFile::encodeName(path);
            const bool ok = scene.fileCount() == 0 ? scene.load(name.constData(), camera)
                                                   : scene.importFile(name.constData());
            if (!ok && scene.loadFailedForMemory()) {
                lastError = scene.loadError();
                return false;
            }
            if (!ok) {
                problem = QStringLiteral("its model file \"%1\" could not be loaded: %2")
                              .arg(path, scene.loadError());
            }
        }
        if (!problem.isEmpty()) {
            if (entries.size() == 1) {
                lastError = problem;
                return false;
            }
            problems << problem;
            continue;
        }
        const int file = scene.fileCount() - 1;
        const int given = scene.modelCountOf(file);
        if (entry.models.size() != given) {
            lastError = legacy ? QStringLiteral("it describes %1 models (the ground included) but "
                                                "its model file \"%2\" gives %3; the model file "
                                                "has changed since the document was saved")
                                     .arg(entry.models.size() + (groundModel.isUndefined() ? 0 : 1))
                                     .arg(path)
                                     .arg(given + 1)
                               : QStringLiteral("it describes %1 models for its model file \"%2\", "
                                                "which gives %3; the model file has changed since "
                                                "the document was saved")
                                     .arg(entry.models.size())
                                     .arg(path)
                                     .arg(given);
            return false;
        }
        loaded.push_back(&entry);
        modelPaths << path;
    }
    if (scene.fileCount() == 0) {
        lastError = QStringLiteral("none of its model files could be opened; %1")
                        .arg(problems.join(QStringLiteral("; ")));
        return false;
    }
    for (const QString& problem : problems) {
        QString sentence = problem;
        sentence[0] = sentence[0].toUpper();
        notes << sentence + QStringLiteral("; the rest of the scene was opened without it.");
    }
    // Each model's settings by its index in the scene.
    auto modelSettings = [&](int index) -> QJsonValue {
        if (index == 0) {
            return groundModel;
        }
        const int file = scene.fileOf(index);
        return loaded[size_t(file)]->models[index - scene.firstModelOf(file)];
    };
    auto modelField = [&](int index) {
        return legacy || index == 0 ? QStringLiteral("models[%1]").arg(index)
                                    : QStringLiteral("model %1").arg(index);
    };

    // Subdivision steps are checked against the loaded meshes before any is
    // made: only smooth meshes subdivide, and the result must stay bounded.
    for (int i = 0; i < scene.modelCount(); ++i) {
        const QJsonValue settings = modelSettings(i);
        if (settings.isUndefined()) {
            continue;
        }
        PovTexture texture;
        bool flat = false;
        int steps = 0;
        reader.model(settings, modelField(i), texture, flat, steps);
        if (steps == 0) {
            continue;
        }
        if (!scene.canSubdivide(i)) {
            lastError = QStringLiteral("it subdivides model %1, which cannot be subdivided (only "
                                       "smooth meshes can)")
                            .arg(i);
            return false;
        }
        const double triangles =
            double(scene.models[size_t(i)]->getMesh()->getNumFaces()) * std::pow(4.0, steps);
        if (triangles > mostSubdividedTriangles) {
            lastError = QStringLiteral("it subdivides model %1 %2 times, which would make %3 "
                                       "triangles (at most %4 are allowed)")
                            .arg(i)
                            .arg(steps)
                            .arg(triangles, 0, 'f', 0)
                            .arg(mostSubdividedTriangles, 0, 'f', 0);
            return false;
        }
    }

    // Everything is known to be good: apply it. The placements and the
    // ground's height first, so the lighting fits the composed scene.
    for (int f = 0; f < scene.fileCount(); ++f) {
        scene.files[size_t(f)].placement = loaded[size_t(f)]->placement;
    }
    if (hasGroundHeight) {
        scene.groundZ = groundHeight;
    }
    scene.updateBounds();
    if (indoor) {
        scene.setIndoorLighting();
    } else {
        scene.setOutdoorLighting();
    }
    if (hasAmbient) {
        scene.setAmbientAll(float(ambient));
    }
    scene.groundVisible = ground;
    for (int i = 0; i < scene.modelCount(); ++i) {
        const QJsonValue settings = modelSettings(i);
        if (settings.isUndefined()) {
            continue;
        }
        bool flat = scene.models[size_t(i)]->getMesh()->isFlat();
        int steps = 0;
        reader.model(settings, modelField(i), scene.textures[size_t(i)], flat, steps);
        for (int s = 0; s < steps; ++s) {
            scene.subdivide(i);
        }
        if (flat != scene.models[size_t(i)]->getMesh()->isFlat()) {
            scene.setFlatShading(i, flat);
        }
    }
    if (reader.root.contains(QStringLiteral("lights"))) {
        scene.lights.assign(size_t(lights.size()), PovLight());
        for (int i = 0; i < lights.size(); ++i) {
            reader.light(lights, i, scene.lights[size_t(i)]);
        }
    }
    // The studio keeps the document's lights (its key, fill and rim as
    // last changed); an environment image that cannot be read leaves the
    // scene lit by its lights, with a note.
    if (stageKind == PovStageKind::Studio && !reader.root.contains(QStringLiteral("lights"))) {
        scene.setStudioLighting(backdrop);
    } else if (stageKind == PovStageKind::Studio) {
        scene.stage.kind = PovStageKind::Studio;
        scene.stage.backdrop = backdrop;
    } else if (stageKind == PovStageKind::Environment) {
        const QString path = QDir::cleanPath(folder.absoluteFilePath(environmentNamed));
        QString why;
        const std::shared_ptr<const PovPanorama> panorama = PovPanorama::load(path, &why);
        if (panorama) {
            scene.setEnvironmentLighting(path, panorama, turn, strength);
            environment = path;
        } else {
            notes << QStringLiteral("Its environment image \"%1\" cannot be read: %2; the scene "
                                    "is lit by its lights instead.")
                         .arg(path, why);
        }
    }
    if (camera && recordedView.hasCamera) {
        camera->setPosition(recordedView.cameraPosition);
        camera->setOrientation(recordedView.cameraOrientation);
        camera->setFieldOfView(recordedView.fieldOfView);
    }
    return true;
}
