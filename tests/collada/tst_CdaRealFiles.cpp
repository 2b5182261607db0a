// The importer on real archives and documents from other projects, checked
// against facts established independently of this program.
#include "collada/CdaScene.h"
#include "ln/LnModel.h"
#include "tests/collada/CdaTestUtil.h"
#include "tests/support/SharedData.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace cdatest;

namespace {

const QString shared = QStringLiteral(KELVANE_SHARED_DATA);

int totalFaces(const std::vector<LnModel*>& models)
{
    int total = 0;
    for (LnModel* m : models) {
        total += m->getMesh()->getNumFaces();
    }
    return total;
}

} // namespace

class TestCdaRealFiles : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString previous;

private slots:
    void initTestCase()
    {
        if (!QDir(shared).exists()) {
            QSKIP("the shared regression data (../shared/data) is not here");
        }
        QVERIFY(dir.isValid());
        previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path())); // for any dom_error_dump.txt
    }
    void cleanupTestCase() { QDir::setCurrent(previous); }

    void mackyArchive()
    {
        CdaScene scene;
        expectLoadLines(22, 22, 0, 0, 12, 5);
        QVERIFY(scene.load(shared + QStringLiteral("/kmz/kml-samples/macky-normal.kmz")));
        const CdaNode* model = scene.findNode(QStringLiteral("Model"));
        QVERIFY(model);
        QCOMPARE(int(model->children.size()), 13);
        std::vector<LnModel*> models;
        QCOMPARE(scene.buildModels(model, models), 13);
        // 2540 triangles in the geometries; instanced library nodes add 144.
        QCOMPARE(totalFaces(models), 2684);
        QVERIFY(!scene.findNode(QStringLiteral("Camera")));
        vec center, lo, hi;
        float radius = 0.0f;
        scene.boundingSphere(model, center, radius);
        scene.boundingBox(model, lo, hi);
        QVERIFY(radius > 0.0f);
        for (int k = 0; k < 3; ++k) {
            QVERIFY(lo[k] <= hi[k]);
            // The sphere holds the box's corners' extent along each axis.
            QVERIFY(center[k] - radius <= lo[k] + 1e-2f * radius);
            QVERIFY(center[k] + radius >= hi[k] - 1e-2f * radius);
        }
        for (LnModel* m : models) {
            delete m;
        }
    }

    // A real Y-up document stands upright: its y (up) becomes the scene's
    // z, its z (towards the viewer) the scene's -y. Its node places the
    // positions as they are; they span x -1.146, y 1.6575 to 3.1425 and z
    // 1.6055 to 3.0905 (the facts of its OBJ twin).
    void yUpDocumentStandsUpright()
    {
        CdaScene scene;
        MessageLog log;
        QVERIFY(scene.load(shared + QStringLiteral("/dae/assimp/ConcavePolygon.dae")));
        std::vector<LnModel*> models;
        QCOMPARE(scene.buildSceneModels(models), 1);
        qDeleteAll(models);
        vec center, lo, hi;
        float radius = 0.0f;
        scene.sceneBounds(center, radius, lo, hi);
        const vec low(-1.146f, -3.0905f, 1.6575f), high(-1.146f, -1.6055f, 3.1425f);
        for (int k = 0; k < 3; ++k) {
            QVERIFY2(qAbs(lo[k] - low[k]) < 1e-4f && qAbs(hi[k] - high[k]) < 1e-4f,
                     qPrintable(QString("axis %1: %2 to %3").arg(k).arg(lo[k]).arg(hi[k])));
        }
    }

    void archiveWithTwoDocuments()
    {
        CdaScene scene;
        expectLoadLines(4, 4, 0, 0, 2, 0);
        expectLoadLines(8, 8, 0, 0, 4, 0);
        QVERIFY(scene.load(shared + QStringLiteral("/kmz/kml-samples/shared-textures.kmz")));
        std::vector<LnModel*> models;
        // "Model" has two children; the second holds only lines.
        QCOMPARE(scene.buildModels(scene.findNode(QStringLiteral("Model")), models), 1);
        QCOMPARE(totalFaces(models), 12);
        delete models[0];
    }

    void archivesWithoutDocuments_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("placemark: one KML entry") << "kmz/kml-samples/placemark.kmz";
        QTest::newRow("nokml: five other entries") << "kmz/libkml/nokml.kmz";
        QTest::newRow("bad-too-large: huge declared KML entry") << "kmz/libkml/bad-too-large.kmz";
    }
    void archivesWithoutDocuments()
    {
        QFETCH(QString, file);
        CdaScene scene;
        QVERIFY(scene.load(shared + QLatin1Char('/') + file));
        QVERIFY(!scene.root());
    }

    void notAnArchive()
    {
        const QString file = shared + QStringLiteral("/kmz/libkml/bad.kmz");
        CdaScene scene;
        expectLine(QStringLiteral("CdaScene::load: could not open: %1\n").arg(file));
        QVERIFY(!scene.load(file));
    }

    // Documents in the "Model" layout decode only <triangles>; any other
    // decodes every surface primitive.
    void documents_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<int>>("counts"); // effects .. library nodes
        QTest::addColumn<int>("triangles");     // in the geometries
        using L = QList<int>;
        QTest::newRow("saucepan") << "gazebo_models/saucepan.dae" << L{7, 7, 0, 1, 4, 0} << 376;
        QTest::newRow("CU-Macky") << "kml-samples/CU-Macky.dae" << L{22, 22, 0, 0, 12, 5} << 2540;
        QTest::newRow("bldg") << "kml-samples/bldg.dae" << L{4, 4, 0, 0, 2, 0} << 12;
        QTest::newRow("triangles_simple")
            << "collada-cts/triangles_simple.dae" << L{1, 1, 1, 1, 1, 0} << 4;
        QTest::newRow("one_geometry_multi_triangles")
            << "collada-cts/one_geometry_multi_triangles.dae" << L{1, 1, 1, 1, 1, 0} << 6;
        // Quadrilaterals: two triangles each.
        QTest::newRow("polylist_simple")
            << "collada-cts/polylist_simple.dae" << L{1, 1, 1, 1, 1, 0} << 4;
        QTest::newRow("polygons_simple")
            << "collada-cts/polygons_simple.dae" << L{1, 1, 1, 1, 1, 0} << 4;
        // A quadrilateral, a triangle and a hexagon.
        QTest::newRow("polygons_polylist_triangles")
            << "collada-cts/polygons_polylist_triangles.dae" << L{1, 1, 1, 1, 3, 0} << 7;
        QTest::newRow("input_order") << "collada-cts/input_order.dae" << L{1, 1, 1, 1, 3, 0} << 6;
        QTest::newRow("2insts") << "collada-cts/2insts.dae" << L{2, 2, 1, 1, 2, 1} << 3;
        QTest::newRow("1inst2inLN") << "collada-cts/1inst2inLN.dae" << L{2, 2, 1, 1, 2, 1} << 3;
        QTest::newRow("_reference_empty_scene")
            << "collada-cts/_reference_empty_scene.dae" << L{0, 0, 1, 1, 0, 0} << 0;
        QTest::newRow("optics_perspective_xfov_yfov")
            << "collada-cts/optics_perspective_xfov_yfov.dae" << L{1, 1, 1, 1, 1, 0} << 12;
        QTest::newRow("position_without_primitive")
            << "collada-cts/position_without_primitive.dae" << L{1, 1, 1, 1, 1, 0} << 0;
        QTest::newRow("cube_tristrips") << "assimp/cube_tristrips.dae" << L{1, 1, 4, 2, 1, 0} << 12;
        QTest::newRow("teapot_instancenodes")
            << "assimp/teapot_instancenodes.DAE" << L{1, 1, 0, 0, 1, 0} << 1024;
        QTest::newRow("cameras") << "assimp/cameras.dae" << L{0, 0, 0, 3, 0, 0} << 0;
        QTest::newRow("lights") << "assimp/lights.dae" << L{0, 0, 5, 0, 0, 0} << 0;
        QTest::newRow("cube_UTF16LE") << "assimp/cube_UTF16LE.dae" << L{1, 1, 2, 2, 1, 0} << 12;
        QTest::newRow("cube_UTF8BOM") << "assimp/cube_UTF8BOM.dae" << L{1, 1, 2, 2, 1, 0} << 12;
        QTest::newRow("cube_emptyTags") << "assimp/cube_emptyTags.dae" << L{0, 0, 0, 0, 1, 0} << 12;
        // One concave polygon of 66 corners.
        QTest::newRow("ConcavePolygon") << "assimp/ConcavePolygon.dae" << L{1, 1, 0, 0, 1, 0} << 64;
        // One fan of eight corners.
        QTest::newRow("trifans") << "pycollada/trifans.dae" << L{0, 0, 0, 0, 1, 0} << 6;
        QTest::newRow("empty_triangles")
            << "pycollada/empty_triangles.dae" << L{0, 0, 0, 0, 1, 0} << 0;
        QTest::newRow("cube_triangulate")
            << "meshlab/cube_triangulate.dae" << L{1, 1, 2, 2, 1, 0} << 12;
    }
    void documents()
    {
        QFETCH(QString, file);
        QFETCH(QList<int>, counts);
        QFETCH(int, triangles);
        const QString path = shared + QStringLiteral("/dae/") + file;
        QVERIFY(QFile::exists(path));

        CdaScene scene;
        QStringList lines;
        {
            MessageLog log;
            QVERIFY(scene.load(path));
            lines = MessageLog::lines();
        }
        const QStringList kinds = {QStringLiteral("effects"),    QStringLiteral("materials"),
                                   QStringLiteral("lights"),     QStringLiteral("cameras"),
                                   QStringLiteral("geometries"), QStringLiteral("library nodes")};
        // No geometry line: every primitive of these files is decoded, or
        // (lines in the "Model" layout) silently not surfaces.
        QStringList expected = {QStringLiteral("CdaScene::load: Opened %1\n").arg(path)};
        for (int i = 0; i < 6; ++i) {
            expected.append(
                QStringLiteral("CdaScene::load: Read %1 %2\n").arg(counts[i]).arg(kinds[i]));
        }
        expected.append(QStringLiteral("CdaScene::load: Read root node\n"));
        expected.append(QStringLiteral("CdaScene::load: success!\n"));
        QCOMPARE(lines, expected);

        int decoded = 0;
        for (int i = 0; i < scene.geometryCount(); ++i) {
            decoded += scene.geometry(i).triangleCount();
        }
        QCOMPARE(decoded, triangles);
        // Never fewer than the primitives declare: at least one triangle per
        // polygon, strip or fan, the count itself for <triangles>.
        QVERIFY(decoded >= declaredTriangles(path));
    }

    // The teapot is placed twice: by its own node and by a second node's
    // <instance_node> naming the first. Assimp, with its vertices
    // pre-transformed (assimp info -ptv), gives 2048 triangles too.
    void teapotAndItsInstancedCopy()
    {
        CdaScene scene;
        {
            MessageLog log;
            QVERIFY(scene.load(shared + QStringLiteral("/dae/assimp/teapot_instancenodes.DAE")));
        }
        std::vector<LnModel*> models;
        QCOMPARE(scene.buildSceneModels(models), 2);
        QCOMPARE(totalFaces(models), 2048);
        // The copy sits where "hansong"'s matrix moves the original:
        // (-120.80132, 2.58064, 0) further.
        vec lo[2];
        for (int i = 0; i < 2; ++i) {
            LnMesh* mesh = models[size_t(i)]->getMesh();
            lo[i] = vec(1e9f, 1e9f, 1e9f);
            for (int f = 0; f < mesh->getNumFaces(); ++f) {
                vec c[3];
                mesh->getFaceVertices(f, c[0], c[1], c[2]);
                for (const vec& p : c) {
                    for (int k = 0; k < 3; ++k) {
                        lo[i][k] = std::min(lo[i][k], p[k]);
                    }
                }
            }
        }
        QVERIFY(dist(lo[1] - lo[0], vec(-120.80132f, 2.58064f, 0.0f)) < 1e-3f);
        for (LnModel* m : models) {
            delete m;
        }
    }

    void saucepanModelAndCamera()
    {
        CdaScene scene;
        {
            MessageLog log;
            QVERIFY(scene.load(shared + QStringLiteral("/dae/gazebo_models/saucepan.dae")));
        }
        const CdaNode* camera = scene.findNode(QStringLiteral("Camera"));
        QVERIFY(camera);
        // Written row by row: 0.932604 -0.160197 0.3234 594.334749 ...
        QCOMPARE(camera->matrix.at(0, 3), 594.334749);
        QCOMPARE(camera->matrix.at(1, 0), 0.360903);
        QCOMPARE(camera->matrix.at(2, 1), 0.896087);
        std::vector<LnModel*> models;
        // Four children; two of them hold only lines.
        QCOMPARE(scene.buildModels(scene.findNode(QStringLiteral("Model")), models), 2);
        QCOMPARE(totalFaces(models), 376);
        for (LnModel* m : models) {
            delete m;
        }
    }
};

KELVANE_TEST_GUILESS_MAIN(TestCdaRealFiles)
#include "tst_CdaRealFiles.moc"
