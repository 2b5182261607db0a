#include "scene/PovSceneDocument.h"
#include "scene/PovSceneFiles.h"
#include "tests/support/StderrCapture.h"

#include <QGLViewer/camera.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>

#include <sys/stat.h>

namespace {

const QString samples = QStringLiteral(KELVANE_SOURCE_DIR "/samples/");
const QString testData = QStringLiteral(KELVANE_SOURCE_DIR "/tests/data/");

// A camera as the command line makes one, 800 x 600.
void setUpCamera(qglviewer::Camera& camera)
{
    camera.setScreenWidthAndHeight(800, 600);
    camera.setZClippingCoefficient(5.0);
}

bool writeText(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

// An octahedron as ASCII PLY: a smooth mesh that can be subdivided.
QString writePly(const QString& path)
{
    writeText(path, "ply\nformat ascii 1.0\nelement vertex 6\nproperty float x\n"
                    "property float y\nproperty float z\nelement face 8\n"
                    "property list uchar int vertex_indices\nend_header\n"
                    "1 0 0\n-1 0 0\n0 1 0\n0 -1 0\n0 0 1\n0 0 -1\n"
                    "3 0 2 4\n3 2 1 4\n3 1 3 4\n3 3 0 4\n3 2 0 5\n3 1 2 5\n3 3 1 5\n3 0 3 5\n");
    return path;
}

QJsonObject readJson(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(f.readAll()).object();
}

} // namespace

class TestPovSceneDocument : public QObject {
    Q_OBJECT
    QOffscreenSurface surface;
    QOpenGLContext context;
    QTemporaryDir dir;
    QString goodDocument; // a valid document of the torus, made by initTestCase

    // Opens `document` into a fresh scene, expecting failure with a message
    // containing every one of `expected`.
    void expectRefusal(const QString& document, const QStringList& expected)
    {
        PovScene scene;
        qglviewer::Camera camera;
        PovSceneDocument reader;
        StderrCapture quiet;
        QVERIFY2(!reader.open(document, scene, &camera), qPrintable(document));
        for (const QString& part : expected) {
            QVERIFY2(reader.error().contains(part), qPrintable(reader.error() + " lacks " + part));
        }
    }

    // Writes the good document with one change made to its JSON.
    QString edited(const QString& name, const std::function<void(QJsonObject&)>& change)
    {
        QJsonObject root = readJson(goodDocument);
        change(root);
        const QString path = dir.filePath(name);
        writeText(path, QJsonDocument(root).toJson());
        return path;
    }

private slots:
    void initTestCase()
    {
        surface.create();
        QVERIFY(context.create());
        QVERIFY(context.makeCurrent(&surface));
        QVERIFY(dir.isValid());
        QVERIFY(QFile::copy(samples + "torus.off", dir.filePath("torus.off")));
        PovScene scene;
        qglviewer::Camera camera;
        setUpCamera(camera);
        QVERIFY(scene.load(QFile::encodeName(dir.filePath("torus.off")).constData(), &camera));
        goodDocument = dir.filePath("good.kelvane");
        QString error;
        QVERIFY2(PovSceneDocument::save(goodDocument, dir.filePath("torus.off"), scene, &camera,
                                        PovSceneView(), error),
                 qPrintable(error));
        // The checks below edit a document of version 1, as earlier
        // versions wrote it: one "model", and "models" from the ground on.
        QJsonObject root = readJson(goodDocument);
        const QJsonObject file = root["files"].toArray()[0].toObject();
        QJsonArray models{root["groundModel"]};
        for (const QJsonValue& m : file["models"].toArray()) {
            models.append(m);
        }
        for (const char* key : {"files", "groundModel", "groundHeight"}) {
            root.remove(key);
        }
        root["version"] = 1;
        root["model"] = file["path"];
        root["models"] = models;
        QVERIFY(writeText(goodDocument, QJsonDocument(root).toJson()));
    }

    // A version 1 document opens as its one file at the identity placement
    // with the picture it always gave, and is saved as version 2 with the
    // same picture.
    void versionOneOpensAndSavesAsTwo()
    {
        PovScene old;
        qglviewer::Camera camera;
        setUpCamera(camera);
        PovSceneDocument reader;
        QVERIFY2(reader.open(goodDocument, old, &camera), qPrintable(reader.error()));
        QVERIFY(reader.warnings().isEmpty());
        QCOMPARE(old.fileCount(), 1);
        QVERIFY(old.files[0].placement.isIdentity());
        PovScene direct;
        qglviewer::Camera directCamera(camera);
        QVERIFY(direct.load(QFile::encodeName(dir.filePath("torus.off")).constData(), nullptr));
        const QString picture = old.povText(&camera);
        QCOMPARE(direct.povText(&directCamera), picture);

        const QString saved = dir.filePath("two.kelvane");
        QString error;
        QVERIFY2(PovSceneDocument::save(saved, QString(), old, &camera, reader.view(), error),
                 qPrintable(error));
        const QJsonObject json = readJson(saved);
        QCOMPARE(json["version"].toInt(), 2);
        QVERIFY(!json.contains("model"));
        const QJsonObject file = json["files"].toArray()[0].toObject();
        QCOMPARE(file["path"].toString(), QString("torus.off"));
        QCOMPARE(file["scale"].toDouble(), 1.0);
        QCOMPARE(file["models"].toArray().size(), 1);
        PovScene reopened;
        qglviewer::Camera fresh;
        setUpCamera(fresh);
        QVERIFY2(reader.open(saved, reopened, &fresh), qPrintable(reader.error()));
        QCOMPARE(reopened.povText(&fresh), picture);
    }

    // Two files, the second placed: saved and reopened, the picture is the
    // same; with the second file gone, the first still opens and the
    // missing one is named.
    void composedDocument()
    {
        const QString ply = writePly(dir.filePath("sub/octahedron.ply"));
        PovScene scene;
        qglviewer::Camera camera;
        setUpCamera(camera);
        QVERIFY(scene.load(QFile::encodeName(dir.filePath("torus.off")).constData(), &camera));
        QVERIFY(scene.importFile(QFile::encodeName(ply).constData()));
        PovPlacement placement;
        placement.translate = vec(3, -1.5f, 0.25f);
        placement.rotate = vec(10, 0, 45);
        placement.scale = 0.5f;
        scene.setPlacement(1, placement);
        // Subdivided as the window does it, into a copy (for undo); the
        // document's in-place subdivision must give the same mesh.
        delete scene.exchangeModel(2, scene.subdividedCopy(2), 1);
        PovTexture red;
        red.setColor(1, 0, 0);
        scene.setTexture(2, red);
        scene.groundVisible = true;
        const QString picture = scene.povText(&camera);
        const QString document = dir.filePath("composed.kelvane");
        QString error;
        QVERIFY2(PovSceneDocument::save(document, QString(), scene, &camera, PovSceneView(), error),
                 qPrintable(error));
        const QJsonArray files = readJson(document)["files"].toArray();
        QCOMPARE(files.size(), 2);
        QCOMPARE(files[1].toObject()["path"].toString(), QString("sub/octahedron.ply"));
        QCOMPARE(files[1].toObject()["rotate"].toArray()[2].toDouble(), 45.0);

        PovScene reopened;
        qglviewer::Camera fresh;
        setUpCamera(fresh);
        PovSceneDocument reader;
        QVERIFY2(reader.open(document, reopened, &fresh), qPrintable(reader.error()));
        QCOMPARE(reader.modelFiles().size(), 2);
        QCOMPARE(reopened.povText(&fresh), picture);

        QVERIFY(QFile::rename(ply, dir.filePath("sub/moved.ply")));
        PovScene partial;
        StderrCapture quiet;
        QVERIFY2(reader.open(document, partial, &fresh), qPrintable(reader.error()));
        QCOMPARE(partial.fileCount(), 1);
        QCOMPARE(reader.warnings().size(), 1);
        QVERIFY2(reader.warnings()[0].contains("\"sub/octahedron.ply\" was not found"),
                 qPrintable(reader.warnings()[0]));
        QVERIFY(QFile::rename(dir.filePath("sub/moved.ply"), ply));

        // Placements and the file list are checked like every other field.
        auto variant = [&](const char* name, const std::function<void(QJsonObject&)>& change) {
            QJsonObject root = readJson(document);
            change(root);
            writeText(dir.filePath(name), QJsonDocument(root).toJson());
            return dir.filePath(name);
        };
        auto fileField = [](const char* key, const QJsonValue& value) {
            return [key, value](QJsonObject& root) {
                QJsonArray files = root["files"].toArray();
                QJsonObject f = files[1].toObject();
                f[key] = value;
                files[1] = f;
                root["files"] = files;
            };
        };
        expectRefusal(variant("scale0.kelvane", fileField("scale", 0)), {"files[1].scale is 0"});
        expectRefusal(variant("move.kelvane", fileField("translate", QJsonArray{1, 2})),
                      {"files[1].translate must be a list of 3 numbers"});
        expectRefusal(variant("path.kelvane", fileField("path", 3)),
                      {"files[1].path must name a model file"});
        expectRefusal(
            variant("nofiles.kelvane", [](QJsonObject& root) { root["files"] = QJsonArray(); }),
            {"files names 0 model files"});
        expectRefusal(variant("allgone.kelvane",
                              [](QJsonObject& root) {
                                  QJsonArray files = root["files"].toArray();
                                  for (int k = 0; k < 2; ++k) {
                                      QJsonObject f = files[k].toObject();
                                      f["path"] = QStringLiteral("gone%1.off").arg(k);
                                      files[k] = f;
                                  }
                                  root["files"] = files;
                              }),
                      {"none of its model files", "\"gone0.off\"", "\"gone1.off\""});
    }

    // Save, open into a fresh scene and camera: the POV-Ray text is the same
    // byte for byte, and saving the reopened scene gives the same document.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("besideDocument");
        QTest::newRow("npr") << samples + "boxes.npr" << false;
        QTest::newRow("off") << QString("torus.off") << true;
        QTest::newRow("ply") << QString("octahedron.ply") << true;
        QTest::newRow("kmz") << testData + "kmz/model_camera_instances.kmz" << false;
    }
    void roundTrip()
    {
        QFETCH(QString, model);
        QFETCH(bool, besideDocument);
        if (model == "octahedron.ply") {
            model = writePly(dir.filePath(model));
        } else if (QFileInfo(model).isRelative()) {
            model = dir.filePath(model); // beside the documents, copied there
        }
        PovScene scene;
        qglviewer::Camera camera;
        setUpCamera(camera);
        QVERIFY(scene.load(QFile::encodeName(model).constData(), &camera));

        // Edits as the panels make them, with values that do not print
        // exactly in decimal.
        scene.setIndoorLighting();
        scene.groundVisible = true;
        PovTexture wood;
        wood.name = "T_Wood7";
        wood.setFinish(0.1f / 3.0f, 0.7f, 0.1f, 0.7f, 0.0123456789f);
        wood.metallic = true;
        wood.setNormal("bumps", 0.3f, 2.7f);
        scene.setTexture(scene.modelCount() - 1, wood);
        PovTexture ground = scene.textures[0];
        ground.setColor(1.0f / 3.0f, 0.2f, 0.9999999f);
        ground.setNormal("wrinkles", 1e-7f, 0.5f);
        scene.setTexture(0, ground);
        PovLight light = scene.lights[2];
        light.color = vec(0.1f, 0.25f, 2.0f / 3.0f);
        light.setFromAngles(0.3f, 0.7f, 12.345678f);
        scene.setLight(2, light);
        scene.lights.pop_back();
        for (int i = 0; i < scene.modelCount(); ++i) {
            if (scene.canSubdivide(i)) {
                scene.subdivide(i);
                scene.setFlatShading(i, true);
            }
        }
        camera.setPosition(qglviewer::Vec(1.0 / 3.0, -7.1, 2.9e-3));
        camera.setOrientation(qglviewer::Quaternion(qglviewer::Vec(0.2, 0.3, 0.9), 1.1));
        camera.setFieldOfView(0.61);
        const QString before = scene.povText(&camera);

        QDir(dir.path()).mkpath("docs");
        const QString document =
            besideDocument ? dir.filePath(QFileInfo(model).fileName() + ".kelvane")
                           : dir.filePath("docs/" + QFileInfo(model).fileName() + ".kelvane");
        PovSceneView view;
        view.wireframe = true;
        view.hasRender = true;
        view.render.useViewSize = false;
        view.render.size = QSize(320, 200);
        view.render.antialias = true;
        view.render.antialiasThreshold = 0.2;
        view.render.meshForm = PovMeshForm::Mesh2;
        QString error;
        QVERIFY2(PovSceneDocument::save(document, model, scene, &camera, view, error),
                 qPrintable(error));
        // The model is named relative to the document when it lies beside it.
        const QString named =
            readJson(document)["files"].toArray()[0].toObject().value("path").toString();
        QCOMPARE(named, besideDocument ? QFileInfo(model).fileName() : model);

        PovScene reopened;
        qglviewer::Camera fresh;
        setUpCamera(fresh);
        PovSceneDocument reader;
        QVERIFY2(reader.open(document, reopened, &fresh), qPrintable(reader.error()));
        QVERIFY(reader.warnings().isEmpty());
        QCOMPARE(reader.modelFile(), QFileInfo(model).absoluteFilePath());
        QVERIFY(reader.view().wireframe);
        QVERIFY(!reader.view().showLights);
        QVERIFY(reader.view().hasRender);
        QVERIFY(reader.view().render == view.render);
        const QString after = reopened.povText(&fresh);
        QCOMPARE(after.size(), before.size());
        QVERIFY(after == before);
        QCOMPARE(PovSceneDocument::toJson(reopened, &fresh, reader.view(), model, document),
                 PovSceneDocument::toJson(scene, &camera, view, model, document));
    }

    // A SketchUp archive's models, split by material when its file
    // materials are used, come back split: the document says its models
    // show file materials, so it is reopened with them, with the same
    // models and scene text.
    void fileMaterialModelsReopen()
    {
        const QString model =
            QStringLiteral(KELVANE_SHARED_DATA "/kmz/kml-samples/macky-normal.kmz");
        if (!QFileInfo::exists(model)) {
            QSKIP("the shared real files are absent");
        }
        PovScene plain, scene;
        qglviewer::Camera camera;
        setUpCamera(camera);
        QVERIFY(plain.load(QFile::encodeName(model).constData(), &camera));
        scene.fileColours = true;
        setUpCamera(camera);
        QVERIFY(scene.load(QFile::encodeName(model).constData(), &camera));
        QVERIFY2(scene.modelCount() > plain.modelCount(),
                 qPrintable(QStringLiteral("%1 models, %2 without file materials")
                                .arg(scene.modelCount())
                                .arg(plain.modelCount())));
        const QString before = scene.povText(&camera);
        const QString document = dir.filePath("macky.kelvane");
        QString error;
        QVERIFY2(PovSceneDocument::save(document, model, scene, &camera, PovSceneView(), error),
                 qPrintable(error));

        PovScene reopened;
        qglviewer::Camera fresh;
        setUpCamera(fresh);
        PovSceneDocument reader;
        QVERIFY2(reader.open(document, reopened, &fresh), qPrintable(reader.error()));
        QCOMPARE(reopened.modelCount(), scene.modelCount());
        QVERIFY(reopened.povText(&fresh) == before);
    }

    // An environment (its image relative to the document, its turn and
    // strength) and the studio (its colour and lights) come back as saved,
    // with the same scene text; --scene-files lists the image. A document
    // whose image has gone opens lit by its lights, saying why; wrong
    // values are refused.
    void environmentAndStudio()
    {
        const QString model = dir.filePath("torus.off"), sky = dir.filePath("sky.hdr");
        PovImageRgb image;
        image.width = 8;
        image.height = 4;
        image.rgb.assign(3 * 32, 0.5f);
        image.rgb[0] = 20.0f;
        QVERIFY(writeRadianceHdr(sky, image, 1.0f, nullptr));
        auto reopen = [&](const QString& document, PovScene& reopened, PovSceneDocument& reader,
                          qglviewer::Camera& camera) {
            setUpCamera(camera);
            QVERIFY2(reader.open(document, reopened, &camera), qPrintable(reader.error()));
        };
        for (bool studio : {false, true}) {
            PovScene scene;
            qglviewer::Camera camera;
            setUpCamera(camera);
            QVERIFY(scene.load(QFile::encodeName(model).constData(), &camera));
            if (studio) {
                scene.setStudioLighting(QColor("#123456"));
                scene.lights[1].intensity = 0.123f;
            } else {
                scene.setEnvironmentLighting(sky, PovPanorama::load(sky, nullptr), 37.5, 2.25);
            }
            const QString document = dir.filePath(studio ? "studio.kelvane" : "lit.kelvane");
            QString error;
            QVERIFY2(PovSceneDocument::save(document, model, scene, &camera, PovSceneView(), error),
                     qPrintable(error));
            if (!studio) {
                QCOMPARE(readJson(document)["environment"].toObject()["file"].toString(),
                         QString("sky.hdr"));
                QVERIFY(sceneFiles(document).contains(sky));
            }
            PovScene reopened;
            PovSceneDocument reader;
            qglviewer::Camera fresh;
            reopen(document, reopened, reader, fresh);
            QVERIFY(reader.warnings().isEmpty());
            QVERIFY(reopened.stage.studio() == studio && reopened.stage.environment() == !studio);
            QCOMPARE(reopened.stage.backdrop, scene.stage.backdrop);
            QCOMPARE(reopened.stage.environmentFile, scene.stage.environmentFile);
            QCOMPARE(reopened.stage.turn, scene.stage.turn);
            QCOMPARE(reopened.stage.strength, scene.stage.strength);
            QVERIFY(reopened.povText(&fresh) == scene.povText(&camera));
        }
        QVERIFY(QFile::remove(sky));
        PovScene reopened;
        PovSceneDocument reader;
        qglviewer::Camera fresh;
        reopen(dir.filePath("lit.kelvane"), reopened, reader, fresh);
        QVERIFY(!reopened.stage.environment());
        QCOMPARE(reader.warnings().size(), 1);
        QVERIFY2(reader.warnings()[0].contains("there is no such file"),
                 qPrintable(reader.warnings()[0]));

        expectRefusal(edited("turn.kelvane",
                             [](QJsonObject& root) {
                                 root["environment"] = QJsonObject{{"file", "x.hdr"}, {"turn", "a"}};
                             }),
                      {"environment.turn must be a number"});
        expectRefusal(edited("colour.kelvane",
                             [](QJsonObject& root) { root["studio"] = QJsonObject{{"colour", 5}}; }),
                      {"studio.colour must be a colour"});
    }

    // Floats are written in their shortest exact form, readable by people.
    void floatsAreShortAndExact()
    {
        QFile f(goodDocument);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray json = f.readAll();
        QVERIFY2(json.contains("\"roughness\": 0.01,"), json.constData());
        QVERIFY(json.contains("\"diffuse\": 0.7,"));
        QVERIFY(!json.contains("0.800000011920929"));
    }

    // Fields a later version adds are ignored; a newer version says so.
    void newerVersionOpensWhatItCan()
    {
        const QString path = edited("newer.kelvane", [](QJsonObject& root) {
            root["version"] = 7;
            root["render"] = QJsonObject{{"quality", 9}, {"antialias", true}};
            QJsonArray models = root["models"].toArray();
            QJsonObject first = models[1].toObject();
            first["glow"] = 3;
            models[1] = first;
            root["models"] = models;
        });
        PovScene scene;
        qglviewer::Camera camera;
        PovSceneDocument reader;
        QVERIFY2(reader.open(path, scene, &camera), qPrintable(reader.error()));
        QCOMPARE(reader.warnings().size(), 1);
        QVERIFY(reader.warnings()[0].contains("newer"));
        QVERIFY(reader.warnings()[0].contains("version 7"));
    }

    void badDocumentsAreRefused()
    {
        // Unreadable JSON.
        const QString broken = dir.filePath("broken.kelvane");
        QFile f(goodDocument);
        QVERIFY(f.open(QIODevice::ReadOnly));
        writeText(broken, f.readAll().left(200));
        expectRefusal(broken, {"not valid JSON", "line"});
        writeText(dir.filePath("empty.kelvane"), "");
        expectRefusal(dir.filePath("empty.kelvane"), {"not valid JSON"});
        writeText(dir.filePath("list.kelvane"), "[1, 2]");
        expectRefusal(dir.filePath("list.kelvane"), {"not a Kelvane scene"});
        writeText(dir.filePath("nan.kelvane"), "{\"version\": 1, \"ambient\": NaN}");
        expectRefusal(dir.filePath("nan.kelvane"), {"not valid JSON"});
        expectRefusal(dir.filePath("absent.kelvane"), {"cannot be read"});
        QVERIFY(QDir(dir.path()).mkdir("folder.kelvane"));
        expectRefusal(dir.filePath("folder.kelvane"), {"not a plain file"});
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("pipe.kelvane")).constData(), 0600), 0);
        expectRefusal(dir.filePath("pipe.kelvane"), {"not a plain file"});
        QByteArray huge(5 << 20, ' ');
        writeText(dir.filePath("huge.kelvane"), huge);
        expectRefusal(dir.filePath("huge.kelvane"), {"too large"});

        // Missing, moved or unusable model files.
        expectRefusal(
            edited("moved.kelvane", [](QJsonObject& root) { root["model"] = "gone/torus.off"; }),
            {"\"gone/torus.off\" was not found", dir.filePath("gone/torus.off")});
        expectRefusal(edited("nomodel.kelvane", [](QJsonObject& root) { root.remove("model"); }),
                      {"model must name the model file"});
        expectRefusal(
            edited("garbage.kelvane", [](QJsonObject& root) { root["model"] = "broken.kelvane"; }),
            {"could not be loaded", "broken.kelvane"});
        expectRefusal(
            edited("noversion.kelvane", [](QJsonObject& root) { root.remove("version"); }),
            {"no \"version\""});

        expectRefusal(edited("render.kelvane",
                             [](QJsonObject& root) {
                                 root["render"] = QJsonObject({{"meshForm", "mesh3"}});
                             }),
                      {"render", "meshForm"});

        // Values out of range, wrong types, the wrong number of models.
        auto texture = [](const char* key, const QJsonValue& value) {
            return [key, value](QJsonObject& root) {
                QJsonArray models = root["models"].toArray();
                QJsonObject m = models[1].toObject();
                QJsonObject t = m["texture"].toObject();
                t[key] = value;
                m["texture"] = t;
                models[1] = m;
                root["models"] = models;
            };
        };
        expectRefusal(edited("color7.kelvane", texture("color", QJsonArray{0.5, 7, 0.5})),
                      {"models[1].texture.color[1] is 7", "from 0 to 1"});
        expectRefusal(edited("color2.kelvane", texture("color", QJsonArray{0.5, 0.5})),
                      {"models[1].texture.color must be a list of 3 numbers"});
        expectRefusal(edited("diffuse.kelvane", texture("diffuse", "high")),
                      {"models[1].texture.diffuse must be a number, not text"});
        expectRefusal(edited("rough.kelvane", texture("roughness", 0)), {"roughness is 0"});
        expectRefusal(edited("name.kelvane", texture("name", "T_Wood1 } sphere {")),
                      {"models[1].texture.name"});
        expectRefusal(edited("pattern.kelvane", texture("normalPattern", "spiky")),
                      {"normalPattern"});
        expectRefusal(edited("metal.kelvane", texture("metallic", 1)),
                      {"metallic must be true or false, not a number"});
        auto light = [](const char* key, const QJsonValue& value) {
            return [key, value](QJsonObject& root) {
                QJsonArray lights = root["lights"].toArray();
                QJsonObject l = lights[0].toObject();
                l[key] = value;
                lights[0] = l;
                root["lights"] = lights;
            };
        };
        expectRefusal(edited("radius.kelvane", light("distance", -2)),
                      {"lights[0].distance is -2", "at least 0"});
        expectRefusal(edited("lightpos.kelvane", light("position", QJsonArray{1, QJsonValue(), 1})),
                      {"lights[0].position[1] must be a number, not null"});
        expectRefusal(edited("lights.kelvane",
                             [](QJsonObject& root) {
                                 QJsonArray lights;
                                 for (int i = 0; i < 5; ++i) {
                                     lights.append(root["lights"].toArray()[0]);
                                 }
                                 root["lights"] = lights;
                             }),
                      {"5 lights"});
        expectRefusal(
            edited("lighting.kelvane", [](QJsonObject& root) { root["lighting"] = "candle"; }),
            {"lighting must be \"outdoor\" or \"indoor\""});
        expectRefusal(edited("ground.kelvane", [](QJsonObject& root) { root["ground"] = "yes"; }),
                      {"ground must be true or false, not text"});
        expectRefusal(edited("fov.kelvane",
                             [](QJsonObject& root) {
                                 QJsonObject c = root["camera"].toObject();
                                 c["fieldOfView"] = -1;
                                 root["camera"] = c;
                             }),
                      {"camera.fieldOfView is -1"});
        expectRefusal(edited("quat.kelvane",
                             [](QJsonObject& root) {
                                 QJsonObject c = root["camera"].toObject();
                                 c["orientation"] = QJsonArray{0, 0, 0, 0};
                                 root["camera"] = c;
                             }),
                      {"camera.orientation is not a rotation"});
        expectRefusal(edited("count.kelvane",
                             [](QJsonObject& root) {
                                 QJsonArray models = root["models"].toArray();
                                 models.append(models[1]);
                                 root["models"] = models;
                             }),
                      {"describes 3 models", "gives 2"});
        expectRefusal(
            edited("models.kelvane", [](QJsonObject& root) { root["models"] = "all of them"; }),
            {"models must be a list, not text"});
        auto subdivide = [](const QJsonValue& steps, int model) {
            return [steps, model](QJsonObject& root) {
                QJsonArray models = root["models"].toArray();
                QJsonObject m = models[model].toObject();
                m["subdivisions"] = steps;
                models[model] = m;
                root["models"] = models;
            };
        };
        expectRefusal(edited("steps.kelvane", subdivide(1.5, 1)), {"whole number"});
        expectRefusal(edited("many.kelvane", subdivide(6, 1)), {"triangles"});
        expectRefusal(edited("boxy.kelvane", subdivide(1, 0)), {"model 0", "cannot be subdivided"});
    }
};

QTEST_MAIN(TestPovSceneDocument)
#include "tst_PovSceneDocument.moc"
