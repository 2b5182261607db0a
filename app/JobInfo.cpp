// kelvane --info [--json] SCENE: what a model file or scene document holds,
// read as the renders read it. The JSON form's schema is described in the
// README ("kelvane-info", version 1); a change that breaks a reader of it
// raises the version.

#include "app/CommandLineJobs.h"

#include "ln/LnBoxyMesh.h"
#include "ln/LnSmoothMesh.h"
#include "scene/PovScene.h"
#include "scene/PovSceneDocument.h"
#include "trimesh/TriMesh.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <QGLViewer/camera.h>

#include <cstdio>
#include <limits>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const int schemaVersion = 1;

// Keeps what the readers write on standard error while it lives (they
// write their warnings there), to hand it over as lines.
class StderrCapture {
public:
    StderrCapture()
    {
#ifdef Q_OS_UNIX
        std::fflush(stderr);
        file = std::tmpfile(); // deleted when closed: nothing left behind
        saved = file ? dup(STDERR_FILENO) : -1;
        if (saved >= 0 && dup2(fileno(file), STDERR_FILENO) < 0) {
            close(saved);
            saved = -1;
        }
#endif
    }
    ~StderrCapture() { finish(); }
    // Gives standard error back and returns the lines written meanwhile.
    QStringList finish()
    {
        QStringList lines;
#ifdef Q_OS_UNIX
        if (saved >= 0) {
            std::fflush(stderr);
            dup2(saved, STDERR_FILENO);
            close(saved);
            saved = -1;
            std::rewind(file);
            QByteArray text;
            char buffer[4096];
            size_t n;
            // The readers' lines are short; a flood is cut at 1 MB.
            while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 &&
                   text.size() < (1 << 20)) {
                text.append(buffer, int(n));
            }
            for (const QByteArray& line : text.split('\n')) {
                const QString trimmed = QString::fromLocal8Bit(line).trimmed();
                if (!trimmed.isEmpty()) {
                    lines << trimmed;
                }
            }
        }
        if (file) {
            std::fclose(file);
            file = nullptr;
        }
#endif
        return lines;
    }

private:
    FILE* file = nullptr;
    int saved = -1;
};

// True for the readers' progress lines ("Reading 960 vertices... Done.",
// "2 strips (Avg. length 960.0)"), which are no warnings.
bool isProgress(const QString& line)
{
    static const QRegularExpression facts(QStringLiteral(
        "^(\\d+ strips \\(Avg\\. length [0-9.]+\\)|center = \\(.*\\), radius = .*|"
        "\\d+ triangles|\\d+ faces\\.|None removed\\.|Found indices ranging from .*|"
        "Remapping to .*|CdaScene::load: (Read .*|success!))$"));
    return line.endsWith(QLatin1String("...")) || line.endsWith(QLatin1String("Done.")) ||
           facts.match(line).hasMatch();
}

// The corners of the box around the points.
struct Box {
    static constexpr float big = std::numeric_limits<float>::max();
    vec low = vec(big, big, big);
    vec high = vec(-big, -big, -big);
    void add(const vec& p)
    {
        for (int i = 0; i < 3; ++i) {
            low[i] = std::min(low[i], p[i]);
            high[i] = std::max(high[i], p[i]);
        }
    }
    void add(const Box& other)
    {
        if (!other.empty()) {
            add(other.low);
            add(other.high);
        }
    }
    bool empty() const { return low[0] > high[0]; }
};

struct ModelFacts {
    long long triangles = 0;
    long long vertices = 0;
    Box box;
};

ModelFacts factsOf(LnModel* model)
{
    ModelFacts facts;
    LnMesh* mesh = model->getMesh();
    facts.triangles = mesh->getNumFaces();
    const std::vector<vec>* points = nullptr;
    if (auto* smooth = dynamic_cast<LnSmoothMesh*>(mesh)) {
        points = &smooth->triMesh()->vertices;
    } else if (auto* boxy = dynamic_cast<LnBoxyMesh*>(mesh)) {
        points = &boxy->vertices;
    }
    if (points) {
        facts.vertices = (long long)points->size();
        for (const vec& p : *points) {
            facts.box.add(p);
        }
    }
    return facts;
}

QJsonArray jsonVector(const vec& v) { return QJsonArray{double(v[0]), double(v[1]), double(v[2])}; }

QJsonArray jsonVector(const qglviewer::Vec& v) { return QJsonArray{v.x, v.y, v.z}; }

QJsonObject jsonBox(const Box& box)
{
    if (box.empty()) {
        return QJsonObject();
    }
    return QJsonObject{{"min", jsonVector(box.low)}, {"max", jsonVector(box.high)}};
}

QString textVector(const QJsonArray& v)
{
    return QStringLiteral("%1 %2 %3")
        .arg(v[0].toDouble(), 0, 'g', 7)
        .arg(v[1].toDouble(), 0, 'g', 7)
        .arg(v[2].toDouble(), 0, 'g', 7);
}

QString textBox(const QJsonObject& box)
{
    if (box.isEmpty()) {
        return QStringLiteral("none");
    }
    return QStringLiteral("%1 to %2")
        .arg(textVector(box["min"].toArray()), textVector(box["max"].toArray()));
}

// The plain-text form: one fact a line, "name: value".
QString plainText(const QJsonObject& info)
{
    QString text;
    auto line = [&text](const QString& name, const QString& value) {
        text += name + QStringLiteral(": ") + value + QLatin1Char('\n');
    };
    line(QStringLiteral("file"), info["file"].toString());
    if (info.contains("modelFile")) {
        line(QStringLiteral("model file"), info["modelFile"].toString());
    }
    const QJsonArray models = info["models"].toArray();
    line(QStringLiteral("models"), QString::number(models.size()));
    for (const QJsonValue& value : models) {
        const QJsonObject model = value.toObject();
        QString facts = QStringLiteral("%1 triangles, %2 vertices, bounds %3")
                            .arg(model["triangles"].toVariant().toLongLong())
                            .arg(model["vertices"].toVariant().toLongLong())
                            .arg(textBox(model["bounds"].toObject()));
        const QJsonObject material = model["material"].toObject();
        if (material.contains("colour")) {
            facts += QStringLiteral(", colour %1").arg(material["colour"].toString());
        } else if (material.contains("texture")) {
            facts += QStringLiteral(", texture %1").arg(material["texture"].toString());
        }
        line(QStringLiteral("model '%1'").arg(model["name"].toString()), facts);
    }
    line(QStringLiteral("triangles"), QString::number(info["triangles"].toVariant().toLongLong()));
    line(QStringLiteral("vertices"), QString::number(info["vertices"].toVariant().toLongLong()));
    const QJsonObject bounds = info["bounds"].toObject();
    line(QStringLiteral("bounds"), textBox(bounds));
    line(QStringLiteral("centre"), textVector(bounds["center"].toArray()));
    line(QStringLiteral("radius"), QString::number(bounds["radius"].toDouble(), 'g', 7));
    const QJsonObject camera = info["camera"].toObject();
    line(QStringLiteral("camera position"), textVector(camera["position"].toArray()));
    line(QStringLiteral("camera direction"), textVector(camera["direction"].toArray()));
    line(QStringLiteral("camera up"), textVector(camera["up"].toArray()));
    line(QStringLiteral("camera field of view"),
         QStringLiteral("%1 degrees").arg(camera["fieldOfView"].toDouble(), 0, 'g', 6));
    for (const QJsonValue& warning : info["warnings"].toArray()) {
        line(QStringLiteral("warning"), warning.toString());
    }
    return text;
}

} // namespace

int runInfo(const CommandLineOptions& options)
{
    PovScene scene;
    qglviewer::Camera camera;
    setUpCamera(camera, options.size);
    scene.fileColours = options.fileColours;
    PovSceneView view;
    QStringList read, notes;
    StderrCapture capture;
    const bool loaded = loadScene(scene, options.scene, options.imports, &camera, view, read, &notes);
    const QStringList written = capture.finish();
    if (!loaded) {
        // What the reader said, ending with why nothing was loaded.
        for (const QString& line : written) {
            std::fprintf(stderr, "%s\n", qPrintable(line));
        }
        return 1;
    }
    if (!applyOptions(scene, withDocumentSettings(options, view))) {
        return 1;
    }
    fitCamera(scene, camera, view, options);

    QJsonObject info;
    info["schema"] = QStringLiteral("kelvane-info");
    info["version"] = schemaVersion;
    info["file"] = options.scene;
    const bool document = PovSceneDocument::isDocumentFile(options.scene);
    if (document && read.size() > 1) {
        info["modelFile"] = read[1];
    }
    const QString base = QFileInfo(read.value(document ? 1 : 0)).fileName();
    QJsonArray models;
    long long triangles = 0, vertices = 0;
    Box all;
    // Model 0 is the scene's own ground plane.
    const int count = scene.modelCount() - 1;
    for (int i = 1; i <= count; ++i) {
        const ModelFacts facts = factsOf(scene.models[size_t(i)]);
        QJsonObject model;
        // The readers keep no names of their own for the models.
        model["name"] = count == 1 ? base : QStringLiteral("%1 #%2").arg(base).arg(i);
        model["triangles"] = double(facts.triangles);
        model["vertices"] = double(facts.vertices);
        model["bounds"] = jsonBox(facts.box);
        QJsonObject material;
        const PovTexture& texture = scene.textures[size_t(i)];
        if (!texture.name.isNull()) {
            material["texture"] = texture.name;
        } else if (document || options.fileColours) {
            material["colour"] = QColor::fromRgbF(texture.red, texture.green, texture.blue).name();
        }
        model["material"] = material;
        models.append(model);
        triangles += facts.triangles;
        vertices += facts.vertices;
        all.add(facts.box);
    }
    info["models"] = models;
    info["triangles"] = double(triangles);
    info["vertices"] = double(vertices);
    vec center;
    float radius;
    scene.bounds(center, radius);
    QJsonObject bounds = jsonBox(all);
    bounds["center"] = jsonVector(center);
    bounds["radius"] = double(radius);
    info["bounds"] = bounds;
    info["camera"] = QJsonObject{{"position", jsonVector(camera.position())},
                                 {"direction", jsonVector(camera.viewDirection())},
                                 {"up", jsonVector(camera.upVector())},
                                 {"fieldOfView", camera.fieldOfView() * 180.0 / M_PI},
                                 {"fromDocument", view.hasCamera}};
    QJsonArray warnings;
    for (const QString& line : written + notes) {
        if (!isProgress(line)) {
            warnings.append(line);
        }
    }
    info["warnings"] = warnings;

    const QByteArray out = options.json ? QJsonDocument(info).toJson(QJsonDocument::Indented)
                                        : plainText(info).toUtf8();
    if (std::fwrite(out.constData(), 1, size_t(out.size()), stdout) != size_t(out.size()) ||
        std::fflush(stdout) != 0) {
        say(QStringLiteral("cannot write the facts to standard output"));
        return 1;
    }
    return 0;
}
