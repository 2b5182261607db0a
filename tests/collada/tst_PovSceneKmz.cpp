// The scene's KMZ branch: models from the "Model" node's children, bounds
// of that node, the view placed by the "Camera" node.
#include "collada/CdaScene.h"
#include "scene/PovScene.h"
#include "tests/collada/CdaTestUtil.h"

#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>
#include <QTemporaryDir>
#include <QtTest>

using namespace cdatest;

namespace {

// "Model" with two children, each a unit triangle, the second moved by
// (4, 0, -2); a "Camera" node with the matrix text given.
QByteArray sceneDocument(const QString& cameraMatrix, bool withModel = true)
{
    const QString model =
        QStringLiteral("<node id=\"Model\"><node id=\"a\"><instance_geometry url=\"#g\"/></node>"
                       "<node id=\"b\"><matrix>1 0 0 4 0 1 0 0 0 0 1 -2 0 0 0 1</matrix>"
                       "<node><instance_geometry url=\"#g\"/></node></node></node>");
    return document(
        QStringLiteral("<library_geometries>%1</library_geometries>")
            .arg(unitTriangle(QStringLiteral("g"))),
        (withModel ? model : QString()) +
            QStringLiteral("<node id=\"Camera\"><matrix>%1</matrix></node>").arg(cameraMatrix));
}

const QString cameraAt123 = QStringLiteral("1 0 0 1 0 1 0 2 0 0 1 3 0 0 0 1");

} // namespace

class TestPovSceneKmz : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString archive(const QString& name, const QByteArray& doc)
    {
        const QString file = dir.filePath(name);
        if (!writeZip(file, {{"doc.kml", "<kml/>"}, {"models/scene.dae", doc}})) {
            return QString();
        }
        return file;
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void modelsBoundsAndCamera()
    {
        const QString file = archive(QStringLiteral("scene.KMZ"), sceneDocument(cameraAt123));
        QVERIFY(!file.isEmpty());
        qglviewer::Camera camera;
        PovScene scene;
        expectLoadLines(0, 0, 0, 0, 1, 0);
        QVERIFY(scene.load(QFile::encodeName(file).constData(), &camera));
        QVERIFY(scene.loadError().isEmpty());
        QCOMPARE(scene.modelCount(), 3); // the ground, then one per child
        QCOMPARE(int(scene.textures.size()), 3);
        QCOMPARE(scene.models[1]->getMesh()->getNumFaces(), 1);
        QCOMPARE(scene.models[2]->getMesh()->getNumFaces(), 1);
        QCOMPARE(scene.groundZ, -2.0f);
        // Points (0,0,0) (1,0,0) (0,1,0) and (4,0,-2) (5,0,-2) (4,1,-2).
        vec center;
        float radius = 0.0f;
        scene.bounds(center, radius);
        vec lo(0, 0, -2), hi(5, 1, 0);
        QVERIFY(radius > 0.5f * dist(lo, hi) - 1e-4f);
        QVERIFY(radius <= 0.5f * dist(lo, hi) + 1e-3f);
        QCOMPARE(scene.lightCount(), 1);
        const qglviewer::Vec position = camera.position();
        QVERIFY(std::fabs(position.x - 1.0) < 1e-9);
        QVERIFY(std::fabs(position.y - 2.0) < 1e-9);
        QVERIFY(std::fabs(position.z - 3.0) < 1e-9);
    }

    void checkedInArchive()
    {
        const QString file =
            QStringLiteral(KELVANE_TEST_DATA) + QStringLiteral("/kmz/model_camera_instances.kmz");
        qglviewer::Camera camera;
        PovScene scene;
        expectLine(QStringLiteral(
            "CdaGeometry: geometry outline has unrecognized geometry type polylist\n"));
        expectLoadLines(1, 1, 1, 1, 2, 1);
        QVERIFY(scene.load(QFile::encodeName(file).constData(), &camera));
        // "left" and "right" instance the quad; "lines" gives no model.
        QCOMPARE(scene.modelCount(), 3);
        QCOMPARE(scene.models[1]->getMesh()->getNumFaces(), 2);
        QCOMPARE(scene.models[2]->getMesh()->getNumFaces(), 2);
        vec a, b, c;
        scene.models[2]->getMesh()->getFaceVertices(0, a, b, c);
        QCOMPARE(b, vec(11, 0, 0));
        // The polylist geometry decodes no positions: only the quads bound.
        QCOMPARE(scene.groundZ, 0.0f);
        vec center;
        float radius = 0.0f;
        scene.bounds(center, radius);
        QVERIFY(std::fabs(center[0] - 5.5f) < 1e-3f);
        QVERIFY(radius >= 5.5f);
        QVERIFY(std::fabs(camera.position().x - 5.0) < 1e-9);
        QVERIFY(std::fabs(camera.position().y + 20.0) < 1e-9);
        QVERIFY(std::fabs(camera.position().z - 3.0) < 1e-9);
    }

    void withoutCameraTheModelsStillLoad()
    {
        const QString file = archive(QStringLiteral("nocamera.kmz"), sceneDocument(cameraAt123));
        PovScene scene;
        expectLoadLines(0, 0, 0, 0, 1, 0);
        QVERIFY(scene.load(QFile::encodeName(file).constData(), nullptr));
        QCOMPARE(scene.modelCount(), 3);
    }

    void cameraMatrixThatIsNotFiniteIsIgnored()
    {
        const QString file =
            archive(QStringLiteral("nan.kmz"),
                    sceneDocument(QStringLiteral("nan 0 0 1 0 1 0 2 0 0 1 3 0 0 0 1")));
        qglviewer::Camera camera;
        const qglviewer::Vec before = camera.position();
        PovScene scene;
        expectLoadLines(0, 0, 0, 0, 1, 0);
        QVERIFY(scene.load(QFile::encodeName(file).constData(), &camera));
        QCOMPARE(camera.position().x, before.x);
        QCOMPARE(camera.position().z, before.z);
    }

    // Without "Model" the scene's top-level nodes are read; here only the
    // camera is one, and the geometry is placed nowhere.
    void archiveWithoutModelNodeOrPlacedGeometry()
    {
        const QString file =
            archive(QStringLiteral("nomodel.kmz"), sceneDocument(cameraAt123, false));
        PovScene scene;
        expectLoadLines(0, 0, 0, 0, 1, 0);
        QVERIFY(!scene.load(QFile::encodeName(file).constData(), nullptr));
        QCOMPARE(scene.modelCount(), 0);
        QCOMPARE(int(scene.textures.size()), 0);
        QCOMPARE(scene.loadError(),
                 QStringLiteral("the scene holds no triangles that can be shown (only cameras, "
                                "lights, lines or empty geometry)"));
    }

    void modelWithoutTriangles()
    {
        const QString file = archive(
            QStringLiteral("lines.kmz"),
            document(QString(), QStringLiteral("<node id=\"Model\"><node id=\"empty\"/></node>")));
        PovScene scene;
        expectLoadLines(0, 0, 0, 0, 0, 0);
        QVERIFY(!scene.load(QFile::encodeName(file).constData(), nullptr));
        QCOMPARE(scene.loadError(),
                 QStringLiteral("the archive's model holds no triangles that can be shown"));
    }

    void unreadableArchive()
    {
        const QString file = dir.filePath(QStringLiteral("broken.kmz"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is not a zip archive");
        f.close();
        PovScene scene;
        expectLine(QStringLiteral("CdaScene::load: could not open: %1\n").arg(file));
        QVERIFY(!scene.load(QFile::encodeName(file).constData(), nullptr));
        QCOMPARE(scene.loadError(), QStringLiteral("the KMZ archive could not be read: it is "
                                                   "damaged or not a zip archive"));
    }
};

QTEST_GUILESS_MAIN(TestPovSceneKmz)
#include "tst_PovSceneKmz.moc"
