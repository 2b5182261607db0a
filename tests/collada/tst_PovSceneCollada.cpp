// The scene's COLLADA branch for files without a "Model" node: plain .dae
// documents, top-level nodes as models, up axes, the "Camera" node and the
// file's colours.
#include "collada/CdaScene.h"
#include "tests/support/SharedData.h"
#include "scene/PovScene.h"
#include "tests/collada/CdaTestUtil.h"

#include <QBuffer>
#include <QDirIterator>
#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace cdatest;

namespace {

const QString shared = QStringLiteral(KELVANE_SHARED_DATA);

// Two triangles spanning the unit cube from (0, 0, 0) to (1, 1, 1), with
// material symbols "r" (the first) and "b" (the second).
QString cubeSpan()
{
    return QStringLiteral(
        "<geometry id=\"span\"><mesh>"
        "<source id=\"p\"><float_array count=\"18\">0 0 0 1 0 0 0 1 0 0 0 1 1 1 1 1 0 1"
        "</float_array><technique_common><accessor stride=\"3\"/></technique_common></source>"
        "<vertices id=\"v\"><input semantic=\"POSITION\" source=\"#p\"/></vertices>"
        "<triangles count=\"1\" material=\"r\"><input semantic=\"VERTEX\" source=\"#v\" "
        "offset=\"0\"/><p>0 1 2</p></triangles>"
        "<triangles count=\"1\" material=\"b\"><input semantic=\"VERTEX\" source=\"#v\" "
        "offset=\"0\"/><p>3 4 5</p></triangles>"
        "</mesh></geometry>");
}

QString withUpAxis(const QString& axis)
{
    return QStringLiteral("<asset><up_axis>%1</up_axis></asset>").arg(axis);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

vec texColor(const PovTexture& t) { return vec(t.red, t.green, t.blue); }

// The corners of every face of a model, in order.
std::vector<vec> corners(LnModel* model)
{
    std::vector<vec> out;
    LnMesh* mesh = model->getMesh();
    for (int f = 0; f < mesh->getNumFaces(); ++f) {
        vec c[3];
        mesh->getFaceVertices(f, c[0], c[1], c[2]);
        out.insert(out.end(), c, c + 3);
    }
    return out;
}

bool near(const std::vector<vec>& got, const std::vector<vec>& want)
{
    if (got.size() != want.size()) {
        return false;
    }
    for (size_t i = 0; i < got.size(); ++i) {
        if (dist(got[i], want[i]) > 1e-5f) {
            return false;
        }
    }
    return true;
}

// The models of a document without a "Model" node, built by the importer;
// its lines go to `lines`.
std::vector<LnModel*> sceneModels(CdaScene& scene, const QByteArray& doc, QStringList& lines,
                                  std::vector<CdaScene::FileColour>* colours = nullptr)
{
    std::vector<LnModel*> models;
    MessageLog log;
    if (scene.load(doc)) {
        scene.buildSceneModels(models, colours);
    }
    lines = MessageLog::lines();
    return models;
}

QByteArray testFile(const QString& name)
{
    QFile file(QStringLiteral(KELVANE_TEST_DATA) + QStringLiteral("/dae/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestPovSceneCollada : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString previous;

    // Loads the document saved as a plain .dae file; the importer's lines
    // are collected into `lines`.
    bool loadDae(PovScene& scene, const QByteArray& doc, qglviewer::Camera* camera = nullptr,
                 QStringList* lines = nullptr)
    {
        const QString file = dir.filePath(QStringLiteral("scene.dae"));
        if (!writeFile(file, doc)) {
            return false;
        }
        MessageLog log;
        const bool loaded = scene.load(QFile::encodeName(file).constData(), camera);
        if (lines) {
            *lines = MessageLog::lines();
        }
        return loaded;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path())); // for any dom_error_dump.txt
    }
    void cleanupTestCase() { QDir::setCurrent(previous); }

    // Every real document: the same scene text whether it is opened as a
    // .dae file or as the one entry of a KMZ archive; a document whose
    // primitives declare triangles loads.
    void realDocumentsAsDaeAndAsArchive_data()
    {
        QTest::addColumn<QString>("path");
        if (!QDir(shared).exists()) {
            QSKIP("the shared regression data (../shared/data) is not here");
        }
        QDirIterator it(shared + QStringLiteral("/dae"), QDir::Files, QDirIterator::Subdirectories);
        QStringList paths;
        while (it.hasNext()) {
            paths.append(it.next());
        }
        paths.sort();
        QVERIFY(paths.size() >= 25);
        for (const QString& path : paths) {
            QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path;
        }
    }
    void realDocumentsAsDaeAndAsArchive()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString archive = dir.filePath(QStringLiteral("one.kmz"));
        QFile::remove(archive);
        QVERIFY(
            writeZip(archive, {{"models/" + QFileInfo(path).fileName().toUtf8(), file.readAll()}}));

        PovScene fromDae, fromKmz;
        qglviewer::Camera daeCamera, kmzCamera;
        bool daeLoaded = false, kmzLoaded = false;
        {
            MessageLog log;
            daeLoaded = fromDae.load(QFile::encodeName(path).constData(), &daeCamera);
            kmzLoaded = fromKmz.load(QFile::encodeName(archive).constData(), &kmzCamera);
        }
        QCOMPARE(kmzLoaded, daeLoaded);
        QCOMPARE(fromKmz.loadError(), fromDae.loadError());
        QCOMPARE(daeLoaded, declaredTriangles(path) > 0);
        if (!daeLoaded) {
            return;
        }
        QCOMPARE(fromKmz.modelCount(), fromDae.modelCount());
        QCOMPARE(fromKmz.triangleCount(), fromDae.triangleCount());
        QCOMPARE(fromKmz.povText(&kmzCamera), fromDae.povText(&daeCamera));
    }

    // A figure four times taller than wide along the document's up axis
    // stands along +z, placed by translate then scale.
    void upAxisTurnsTheFigureUpright_data()
    {
        QTest::addColumn<QString>("asset");
        QTest::addColumn<QString>("place");
        QTest::newRow("Y_UP") << withUpAxis(QStringLiteral("Y_UP"))
                              << "<translate>0 2 0</translate><scale>1 4 1</scale>";
        QTest::newRow("X_UP") << withUpAxis(QStringLiteral("X_UP"))
                              << "<translate>2 0 0</translate><scale>4 1 1</scale>";
        QTest::newRow("Z_UP") << withUpAxis(QStringLiteral("Z_UP"))
                              << "<translate>0 0 2</translate><scale>1 1 4</scale>";
        QTest::newRow("no asset: Z_UP")
            << QString() << "<translate>0 0 2</translate><scale>1 1 4</scale>";
    }
    void upAxisTurnsTheFigureUpright()
    {
        QFETCH(QString, asset);
        QFETCH(QString, place);
        const QByteArray doc = document(
            asset + QStringLiteral("<library_geometries>%1</library_geometries>").arg(cubeSpan()),
            QStringLiteral("<node id=\"figure\">%1<instance_geometry url=\"#span\"/></node>")
                .arg(place));
        PovScene scene;
        QVERIFY(loadDae(scene, doc));
        QCOMPARE(scene.modelCount(), 2);
        // The figure spans 2..6 along the up axis: the ground is at 2 and
        // the ground square (radius-sized) is centred under it.
        QCOMPARE(scene.groundZ, 2.0f);
        LnMesh* mesh = scene.models[1]->getMesh();
        vec lo(1e9f, 1e9f, 1e9f), hi(-1e9f, -1e9f, -1e9f);
        for (int f = 0; f < mesh->getNumFaces(); ++f) {
            vec corner[3];
            mesh->getFaceVertices(f, corner[0], corner[1], corner[2]);
            for (const vec& p : corner) {
                for (int k = 0; k < 3; ++k) {
                    lo[k] = std::min(lo[k], p[k]);
                    hi[k] = std::max(hi[k], p[k]);
                }
            }
        }
        QCOMPARE(hi[2] - lo[2], 4.0f);
        QCOMPARE(std::abs(hi[0] - lo[0]), 1.0f);
        QCOMPARE(std::abs(hi[1] - lo[1]), 1.0f);
    }

    // Top-level nodes with geometry become models, nested and instanced
    // geometry included; camera and light nodes are skipped; a document
    // without <scene> uses its first visual scene, one with <scene> the
    // visual scene it names.
    void topLevelNodesOfTheInstancedVisualScene_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<int>("models");
        // The first scene: "group" and "reuse" (through the node nested in a
        // library node); the second: "one".
        QTest::newRow("no <scene>: the first") << QString() << 2;
        QTest::newRow("<scene> names the second")
            << "<scene><instance_visual_scene url=\"#second\"/></scene>" << 1;
        QTest::newRow("<scene> names none: the first")
            << "<scene><instance_visual_scene url=\"#missing\"/></scene>" << 2;
    }
    void topLevelNodesOfTheInstancedVisualScene()
    {
        QFETCH(QString, scene);
        QFETCH(int, models);
        const QString text =
            QStringLiteral(
                "<?xml version=\"1.0\"?><COLLADA version=\"1.4.1\">"
                "<library_cameras><camera id=\"cam\"/></library_cameras>"
                "<library_lights><light id=\"sun\"/></library_lights>"
                "<library_geometries>%1</library_geometries>"
                "<library_nodes><node id=\"lib\"><node id=\"inner\">"
                "<instance_geometry url=\"#span\"/></node></node></library_nodes>"
                "<library_visual_scenes>"
                "<visual_scene id=\"first\">"
                "<node id=\"eye\"><instance_camera url=\"#cam\"/></node>"
                "<node id=\"group\"><node><instance_geometry url=\"#span\"/></node></node>"
                "<node id=\"lamp\"><instance_light url=\"#sun\"/></node>"
                "<node id=\"reuse\"><translate>5 0 0</translate>"
                "<instance_node url=\"#inner\"/><node/></node>"
                "</visual_scene>"
                "<visual_scene id=\"second\"><node id=\"one\"><instance_node url=\"#lib\"/>"
                "</node></visual_scene>"
                "</library_visual_scenes>%2</COLLADA>")
                .arg(cubeSpan(), scene);
        // Each model is one instance of "span" (two triangles); the ground
        // comes first.
        PovScene povScene;
        QVERIFY(loadDae(povScene, text.toUtf8()));
        QCOMPARE(povScene.modelCount(), 1 + models);
        QCOMPARE(povScene.triangleCount(), 2 + 2ll * models);
    }

    // Every <instance_node> places a copy of the node it names, wherever
    // that node is in the document (a library node defined later, a node of
    // the visual scene), by the transforms above the instance.
    void instanceNodeCopiesInTheirPlaces()
    {
        CdaScene scene;
        QStringList lines;
        const std::vector<LnModel*> models =
            sceneModels(scene, testFile(QStringLiteral("instance_node_copies.dae")), lines);
        QVERIFY(!lines.isEmpty() && lines.last() == QLatin1String("CdaScene::load: success!\n"));
        QCOMPARE(int(models.size()), 4);
        using V = std::vector<vec>;
        QVERIFY(near(corners(models[0]), V{vec(10, 0, 1), vec(11, 0, 1), vec(10, 1, 1)}));
        QVERIFY(near(corners(models[1]), V{vec(0, 0, 2), vec(0, 2, 2), vec(-2, 0, 2)}));
        QVERIFY(near(corners(models[2]), V{vec(10, 0, 6), vec(11, 0, 6), vec(10, 1, 6)}));
        QVERIFY(near(corners(models[3]), V{vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)}));
        for (LnModel* m : models) {
            delete m;
        }
        // Through the scene as the program opens it.
        PovScene povScene;
        const QString file =
            QStringLiteral(KELVANE_TEST_DATA) + QStringLiteral("/dae/instance_node_copies.dae");
        {
            MessageLog log;
            QVERIFY(povScene.load(QFile::encodeName(file).constData(), nullptr));
        }
        QCOMPARE(povScene.modelCount(), 5);
        QCOMPARE(povScene.triangleCount(), 2ll + 4);
    }

    // <instance_controller> shows a skin's mesh in its bind pose: the bind
    // shape matrix, then the node's place, the skin's material bound as for
    // <instance_geometry>; a morph shows its base mesh.
    void skinnedAndMorphedMeshesInTheBindPose()
    {
        CdaScene scene;
        QStringList lines;
        std::vector<CdaScene::FileColour> colours;
        const std::vector<LnModel*> models =
            sceneModels(scene, testFile(QStringLiteral("skin_bind_shape.dae")), lines, &colours);
        QVERIFY(!lines.isEmpty() && lines.last() == QLatin1String("CdaScene::load: success!\n"));
        QCOMPARE(int(models.size()), 2);
        using V = std::vector<vec>;
        QVERIFY(near(corners(models[0]), V{vec(1, 0, 3), vec(3, 0, 3), vec(1, 2, 3)}));
        QVERIFY(near(corners(models[1]), V{vec(0, 5, 0), vec(1, 5, 0), vec(0, 6, 0)}));
        QCOMPARE(int(colours.size()), 2);
        QVERIFY(colours[0].known);
        QCOMPARE(colours[0].rgb, vec(0.8f, 0.1f, 0.1f));
        QVERIFY(!colours[1].known);
        for (LnModel* m : models) {
            delete m;
        }
    }

    // Instances that lead back into a node holding them are left out with a
    // line, the rest of the model kept; nothing runs away.
    void instanceCyclesAreLeftOut()
    {
        const QByteArray doc = document(
            QStringLiteral("<library_geometries>%1</library_geometries>"
                           "<library_nodes>"
                           "<node id=\"A\"><instance_geometry url=\"#g\"/>"
                           "<instance_node url=\"#B\"/></node>"
                           "<node id=\"B\"><translate>0 0 1</translate>"
                           "<instance_node url=\"#A\"/></node>"
                           "</library_nodes>")
                .arg(unitTriangle(QStringLiteral("g"))),
            QStringLiteral("<node id=\"loop\"><instance_node url=\"#A\"/></node>"
                           "<node id=\"self\"><node id=\"inner\"><instance_geometry "
                           "url=\"#g\"/><instance_node url=\"#self\"/></node></node>"));
        CdaScene scene;
        QStringList lines;
        const std::vector<LnModel*> models = sceneModels(scene, doc, lines);
        QVERIFY(lines.contains(QStringLiteral(
            "CdaScene::load: node A is instanced inside itself; that instance is left out\n")));
        QVERIFY(lines.contains(QStringLiteral(
            "CdaScene::load: node self is instanced inside itself; that instance is left out\n")));
        QVERIFY(!lines.join(QString()).contains(QStringLiteral("beyond the importer's limits")));
        QCOMPARE(int(models.size()), 2);
        for (LnModel* m : models) {
            QCOMPARE(m->getMesh()->getNumFaces(), 1);
            delete m;
        }
    }

    // A library node outlives its document's visual scene (the next entry
    // of an archive replaces it), so it never places that scene's nodes;
    // the scene's own nodes do.
    void libraryNodesDoNotPlaceSceneNodes()
    {
        const QString geometry =
            QStringLiteral("<library_geometries>%1</library_geometries>")
                .arg(unitTriangle(QStringLiteral("g")));
        const QByteArray first = document(
            geometry + QStringLiteral("<library_nodes><node id=\"L\"><instance_geometry "
                                      "url=\"#g\"/><instance_node url=\"#S\"/></node>"
                                      "</library_nodes>"),
            QStringLiteral("<node id=\"S\"><instance_geometry url=\"#g\"/>"
                           "<instance_geometry url=\"#g\"/></node>"));
        const QByteArray second =
            document(QString(), QStringLiteral("<node id=\"use\"><instance_node url=\"#L\"/>"
                                               "</node>"));
        const QString archive = dir.filePath(QStringLiteral("two.kmz"));
        QVERIFY(writeZip(archive, {{"a.dae", first}, {"b.dae", second}}));
        CdaScene scene;
        std::vector<LnModel*> models;
        {
            MessageLog log;
            QVERIFY(scene.load(archive));
            QCOMPARE(scene.buildSceneModels(models), 1);
        }
        QCOMPARE(models[0]->getMesh()->getNumFaces(), 1);
        delete models[0];
    }

    void sceneWithOnlyACameraAndALight()
    {
        const QByteArray doc =
            document(QStringLiteral("<library_cameras><camera id=\"cam\"/></library_cameras>"
                                    "<library_lights><light id=\"sun\"/></library_lights>"
                                    "<library_geometries>%1</library_geometries>")
                         .arg(cubeSpan()),
                     QStringLiteral("<node id=\"Camera\"><instance_camera url=\"#cam\"/></node>"
                                    "<node id=\"lamp\"><instance_light url=\"#sun\"/></node>"));
        PovScene scene;
        qglviewer::Camera camera;
        const qglviewer::Vec before = camera.position();
        QVERIFY(!loadDae(scene, doc, &camera));
        QCOMPARE(scene.modelCount(), 0);
        QCOMPARE(scene.loadError(),
                 QStringLiteral("the scene holds no triangles that can be shown (only cameras, "
                                "lights, lines or empty geometry)"));
        QCOMPARE(camera.position().z, before.z);
    }

    void brokenDocumentSaysSo()
    {
        PovScene scene;
        QVERIFY(!loadDae(scene, "<COLLADA><unclosed></COLLADA>"));
        QCOMPARE(scene.loadError(), QStringLiteral("the COLLADA document could not be read: it "
                                                   "is damaged or not a COLLADA document"));
    }

    // The "Camera" node places the view with its whole chain of transforms
    // and the up-axis turn; without one the view is left to be fitted.
    void cameraNodePlacesTheView()
    {
        const QString geometry =
            QStringLiteral("<library_geometries>%1</library_geometries>").arg(cubeSpan());
        const QString model =
            QStringLiteral("<node id=\"m\"><instance_geometry url=\"#span\"/></node>");
        {
            const QByteArray doc = document(
                withUpAxis(QStringLiteral("Y_UP")) + geometry,
                model + QStringLiteral("<node id=\"rig\"><translate>0 10 0</translate>"
                                       "<node id=\"Camera\"><translate>1 2 3</translate></node>"
                                       "</node>"));
            PovScene scene;
            qglviewer::Camera camera;
            QVERIFY(loadDae(scene, doc, &camera));
            // (1, 12, 3) in the file is (1, -3, 12) upright.
            QCOMPARE(camera.position().x, 1.0);
            QCOMPARE(camera.position().y, -3.0);
            QCOMPARE(camera.position().z, 12.0);
            // The file's camera looked along its -z, which is now +y.
            QVERIFY(std::abs(camera.viewDirection().y - 1.0) < 1e-9);
        }
        {
            PovScene scene;
            qglviewer::Camera camera;
            const qglviewer::Vec before = camera.position();
            QVERIFY(loadDae(scene, document(geometry, model), &camera));
            QCOMPARE(camera.position().z, before.z);
        }
    }

    // Colours from File: each model's pigment starts as the diffuse colour
    // of the material bound to most of its triangles; off, the default.
    void fileColoursFromMaterials()
    {
        const QString libraries =
            QStringLiteral(
                "<library_effects>"
                "<effect id=\"red-fx\"><profile_COMMON><technique sid=\"c\"><lambert><diffuse>"
                "<color>1 0 0 1</color></diffuse></lambert></technique></profile_COMMON></effect>"
                "<effect id=\"blue-fx\"><profile_COMMON><technique sid=\"c\"><phong><diffuse>"
                "<color>0 0 1 1</color></diffuse></phong></technique></profile_COMMON></effect>"
                "</library_effects>"
                "<library_materials><material id=\"red\"><instance_effect "
                "url=\"#red-fx\"/></material>"
                "<material id=\"blue\"><instance_effect url=\"#blue-fx\"/></material>"
                "</library_materials>"
                "<library_geometries>%1</library_geometries>")
                .arg(cubeSpan());
        const auto bind = [](const char* r, const char* b) {
            return QStringLiteral("<instance_geometry url=\"#span\"><bind_material>"
                                  "<technique_common>"
                                  "<instance_material symbol=\"r\" target=\"#%1\"/>"
                                  "<instance_material symbol=\"b\" target=\"#%2\"/>"
                                  "</technique_common></bind_material></instance_geometry>")
                .arg(QLatin1String(r), QLatin1String(b));
        };
        // "mostly red": one span as red/blue plus one as red/red; "mostly
        // blue": blue/blue.
        const QByteArray doc =
            document(libraries,
                     QStringLiteral("<node id=\"mostlyRed\"><node>%1</node><node>%2</node></node>"
                                    "<node id=\"mostlyBlue\">%3</node>"
                                    "<node id=\"plain\"><instance_geometry url=\"#span\"/></node>")
                         .arg(bind("red", "blue"), bind("red", "red"), bind("blue", "blue")));
        const vec grey = texColor(PovTexture());
        {
            PovScene scene;
            QVERIFY(loadDae(scene, doc));
            QCOMPARE(scene.modelCount(), 4);
            for (int i = 1; i < 4; ++i) {
                QCOMPARE(texColor(scene.textures[size_t(i)]), grey);
            }
        }
        PovScene scene;
        scene.fileColours = true;
        QVERIFY(loadDae(scene, doc));
        QCOMPARE(texColor(scene.textures[1]), vec(1.0f, 0.0f, 0.0f));
        QCOMPARE(texColor(scene.textures[2]), vec(0.0f, 0.0f, 1.0f));
        QCOMPARE(texColor(scene.textures[3]), grey);                  // no material bound
        QCOMPARE(texColor(scene.textures[0]), vec(0.3f, 0.3f, 0.3f)); // the ground's own
        qglviewer::Camera camera;
        QVERIFY(scene.povText(&camera).contains(QStringLiteral("color rgb <1, 0, 0>")));
        QVERIFY(scene.povText(&camera).contains(QStringLiteral("color rgb <0, 0, 1>")));
        // A later edit wins until the next load.
        PovTexture edited;
        edited.setColor(0.0f, 1.0f, 0.0f);
        scene.setTexture(1, edited);
        QCOMPARE(texColor(scene.textures[1]), vec(0.0f, 1.0f, 0.0f));
    }

    // A textured diffuse takes its image's average colour when the image
    // is inside the archive, white otherwise.
    void fileColoursFromATexture()
    {
        QImage image(4, 2, QImage::Format_RGB32);
        image.fill(qRgb(51, 102, 153));
        image.setPixel(0, 0, qRgb(51 + 80, 102, 153 - 80)); // averages out
        image.setPixel(1, 0, qRgb(51 - 40, 102, 153 + 40));
        image.setPixel(2, 0, qRgb(51 - 40, 102, 153 + 40));
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(image.save(&buffer, "PNG"));
        const QByteArray doc = document(
            QStringLiteral(
                "<library_images><image id=\"img\"><init_from>../images/wall%20tile.png"
                "</init_from></image></library_images>"
                "<library_effects><effect id=\"fx\"><profile_COMMON>"
                "<newparam sid=\"surf\"><surface type=\"2D\"><init_from>img</init_from></surface>"
                "</newparam><newparam sid=\"samp\"><sampler2D><source>surf</source></sampler2D>"
                "</newparam><technique sid=\"c\"><lambert><diffuse>"
                "<texture texture=\"samp\" texcoord=\"uv\"/></diffuse></lambert></technique>"
                "</profile_COMMON></effect></library_effects>"
                "<library_materials><material id=\"mat\"><instance_effect url=\"#fx\"/>"
                "</material></library_materials>"
                "<library_geometries>%1</library_geometries>")
                .arg(cubeSpan()),
            QStringLiteral("<node id=\"n\"><instance_geometry url=\"#span\"><bind_material>"
                           "<technique_common><instance_material symbol=\"r\" target=\"#mat\"/>"
                           "</technique_common></bind_material></instance_geometry></node>"));
        const QString archive = dir.filePath(QStringLiteral("textured.kmz"));
        QVERIFY(writeZip(
            archive,
            {{"doc.kml", "<kml/>"}, {"models/house.dae", doc}, {"images/wall tile.png", png}}));
        PovScene scene;
        scene.fileColours = true;
        {
            MessageLog log;
            QVERIFY(scene.load(QFile::encodeName(archive).constData(), nullptr));
        }
        const vec c = texColor(scene.textures[1]);
        QVERIFY2(dist(c, vec(0.2f, 0.4f, 0.6f)) < 1e-3f,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(c[0]).arg(c[1]).arg(c[2])));
        PovScene plain;
        plain.fileColours = true;
        QVERIFY(loadDae(plain, doc));
        QCOMPARE(texColor(plain.textures[1]), vec(1.0f, 1.0f, 1.0f));
    }

    void fileColoursOfAnNprModel()
    {
        const QByteArray file =
            QFile::encodeName(QStringLiteral(KELVANE_TEST_DATA) + QStringLiteral("/npr/cube.npr"));
        PovScene scene;
        QVERIFY(scene.load(file.constData(), nullptr));
        QCOMPARE(texColor(scene.textures[1]), texColor(PovTexture()));
        scene.fileColours = true;
        QVERIFY(scene.load(file.constData(), nullptr));
        QCOMPARE(texColor(scene.textures[1]), vec(0.9f, 0.1f, 0.1f));
    }

    // Archives in the "Model" layout keep their default textures unless
    // asked, and take their materials' colours when asked.
    void fileColoursOfTheModelLayout()
    {
        const QByteArray file = QFile::encodeName(
            QStringLiteral(KELVANE_TEST_DATA) + QStringLiteral("/kmz/model_camera_instances.kmz"));
        PovScene scene;
        scene.fileColours = true;
        {
            MessageLog log;
            QVERIFY(scene.load(file.constData(), nullptr));
        }
        bool changed = false;
        for (int i = 1; i < scene.modelCount(); ++i) {
            changed = changed || texColor(scene.textures[size_t(i)]) != texColor(PovTexture());
        }
        QVERIFY(changed);
    }
};

KELVANE_TEST_GUILESS_MAIN(TestPovSceneCollada)
#include "tst_PovSceneCollada.moc"
