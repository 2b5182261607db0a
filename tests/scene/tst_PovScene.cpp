#include "scene/PovPick.h"
#include "scene/PovEnvironment.h"
#include "scene/PovScene.h"
#include "tests/support/StderrCapture.h"

#include <QGLViewer/camera.h>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// An NPR file without header: one triangle inside the box lo..hi.
QString writeNpr(const QString& path, vec lo, vec hi)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        return QString();
    }
    QTextStream out(&f);
    out << lo[0] << ' ' << lo[1] << ' ' << lo[2] << ' ' << hi[0] << ' ' << hi[1] << ' ' << hi[2]
        << "\nv 3\n"
        << lo[0] << ' ' << lo[1] << ' ' << lo[2] << '\n'
        << hi[0] << ' ' << lo[1] << ' ' << lo[2] << '\n'
        << lo[0] << ' ' << hi[1] << ' ' << hi[2] << '\n'
        << "f 1\n0 1 2 [1, 0, 0]\nl 0\n";
    return path;
}

} // namespace

Q_DECLARE_METATYPE(vec)

class TestPovScene : public QObject {
    Q_OBJECT
    QOffscreenSurface surface;
    QOpenGLContext context;
    QTemporaryDir dir;

    QString npr(const QString& name)
    {
        return writeNpr(dir.filePath(name), vec(0, 0, 0), vec(2, 2, 2));
    }

private slots:
    void initTestCase()
    {
        surface.create();
        QVERIFY(context.create());
        QVERIFY(context.makeCurrent(&surface));
        QVERIFY(dir.isValid());
    }

    void startsEmpty()
    {
        PovScene scene;
        QCOMPARE(scene.modelCount(), 0);
        QCOMPARE(scene.lightCount(), 0);
        QVERIFY(!scene.groundVisible);
        QVERIFY(scene.text.isEmpty());
        vec c;
        float r;
        scene.lightBounds(c, r);
        QCOMPARE(r, 0.0f);
    }

    void loaderChoice_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("loads");
        QTest::addColumn<QString>("reason");
        QTest::newRow("npr") << "scene.npr" << true << "";
        QTest::newRow("ply then npr reads NPR") << "model.ply.npr" << true << "";
        QTest::newRow("upper-case NPR")
            << "scene.NPR" << false << "the file type is not recognised";
        QTest::newRow("folder named a.off goes to the mesh reader")
            << "a.off/model" << false << "the file holds no vertices and no faces";
        QTest::newRow("upper-case KMZ goes to the importer")
            << "archive.KMZ" << false << "the KMZ archive could not be read";
        QTest::newRow("plain text") << "notes.txt" << false << "the file type is not recognised";
    }
    void loaderChoice()
    {
        QFETCH(QString, name);
        QFETCH(bool, loads);
        QFETCH(QString, reason);
        if (name.contains('/')) {
            QVERIFY(QDir(dir.path()).mkpath(name.section('/', 0, 0)));
        }
        const QString path = npr(name);
        PovScene scene;
        StderrCapture err;
        QCOMPARE(scene.load(path.toLocal8Bit().constData(), nullptr), loads);
        const QString printed = err.text();
        if (loads) {
            QCOMPARE(printed, QString());
            QCOMPARE(scene.modelCount(), 2);
            QVERIFY(scene.loadError().isEmpty());
        } else {
            // The loader's own messages, if any, come first.
            QVERIFY2(printed.endsWith(" LN WARNING - PovScene::load - No models loaded.\n\n"),
                     qPrintable(printed));
            QCOMPARE(scene.modelCount(), 0);
            QCOMPARE(int(scene.textures.size()), 0);
            QCOMPARE(scene.lightCount(), 0);
            QVERIFY2(scene.loadError().startsWith(reason), qPrintable(scene.loadError()));
        }
    }

    // The studio backdrop stands under the models and behind them (+y) and
    // reaches well past them, for a tall, a flat and a far-from-origin
    // model; its floor is at the models' lowest point, and the render text
    // has it in place of the ground.
    void studioBackdropEnclosesTheModels_data()
    {
        QTest::addColumn<vec>("lo");
        QTest::addColumn<vec>("hi");
        QTest::newRow("tall") << vec(-0.1f, -0.1f, 0) << vec(0.1f, 0.1f, 10);
        QTest::newRow("flat") << vec(-5, -3, 0) << vec(5, 3, 0);
        QTest::newRow("far from the origin") << vec(1000, -500, 300) << vec(1002, -498, 301);
    }
    void studioBackdropEnclosesTheModels()
    {
        QFETCH(vec, lo);
        QFETCH(vec, hi);
        PovScene scene;
        QVERIFY(scene.load(writeNpr(dir.filePath("studio.npr"), lo, hi).toLocal8Bit().constData(),
                           nullptr));
        scene.groundVisible = true;
        scene.setStudioLighting(QColor(200, 210, 220));
        const PovBackdrop backdrop = studioBackdrop(scene);
        const float size = len(hi - lo) * 0.5f;
        const vec middle = (lo + hi) * 0.5f;
        QCOMPARE(backdrop.low[2], lo[2]);
        for (int k = 0; k < 2; ++k) {
            QVERIFY(backdrop.low[k] <= middle[k] - 3.0f * size);
        }
        QVERIFY(backdrop.high[0] >= middle[0] + 3.0f * size);
        QVERIFY(backdrop.high[1] > hi[1]);
        QVERIFY(backdrop.high[2] >= hi[2] + size);
        // Every corner lies on the floor, the curve or the wall, all behind
        // or under the models: none inside their box.
        for (const vec& p : backdrop.positions) {
            const bool inside = p[0] > lo[0] && p[0] < hi[0] && p[1] > lo[1] && p[1] < hi[1] &&
                                p[2] > lo[2] && p[2] < hi[2];
            QVERIFY(!inside);
            QVERIFY(p[2] >= lo[2]);
            QVERIFY(p[2] == lo[2] || p[1] > hi[1]);
        }
        qglviewer::Camera camera;
        const QString text = scene.povText(&camera);
        QVERIFY(text.contains("// The studio backdrop\nmesh2 {"));
        QVERIFY(text.contains("no_shadow"));
        QVERIFY(!text.contains("plane {"));
    }

    void groundAroundTheModel()
    {
        // Radius 1 around (5, 5, 5): the box spans 5 -+ 1/sqrt(3).
        const float h = 1.0f / std::sqrt(3.0f);
        const QString path = writeNpr(dir.filePath("offset.npr"), vec(5 - h, 5 - h, 5 - h),
                                      vec(5 + h, 5 + h, 5 + h));
        PovScene scene;
        QVERIFY(scene.load(path.toLocal8Bit().constData(), nullptr));
        vec c;
        float r;
        scene.bounds(c, r);
        QCOMPARE(c, vec(5, 5, 5));
        QVERIFY(std::fabs(r - 1.0f) < 1e-6f);
        QCOMPARE(scene.groundZ, -r);

        vec a, b, d;
        LnMesh* ground = scene.models[0]->getMesh();
        QCOMPARE(ground->getNumFaces(), 2);
        QVERIFY(!ground->isSmooth());
        ground->getFaceVertices(1, a, b, d); // corners 0, 2, 3
        QVERIFY(std::fabs(a[0] - 3) < 1e-5f && std::fabs(a[1] - 3) < 1e-5f);
        QVERIFY(std::fabs(b[0] - 7) < 1e-5f && std::fabs(b[1] - 7) < 1e-5f);
        QVERIFY(std::fabs(d[0] - 3) < 1e-5f && std::fabs(d[1] - 7) < 1e-5f);
        QCOMPARE(a[2], -r);
        ground->getFaceNormals(0, a, b, d);
        QCOMPARE(a, vec(0, 0, 1));
        QCOMPARE(d, vec(0, 0, 1));
    }

    void stateAfterLoad()
    {
        PovScene scene;
        scene.groundVisible = true;
        QVERIFY(scene.load(npr("state.npr").toLocal8Bit().constData(), nullptr));
        QVERIFY(!scene.groundVisible);
        QCOMPARE(int(scene.textures.size()), scene.modelCount());
        const PovTexture& ground = scene.textures[0];
        float r, g, b;
        ground.color(r, g, b);
        QCOMPARE(r, 0.3f);
        QCOMPARE(ground.diffuse, 0.6f);
        QCOMPARE(ground.specular, 0.0f);
        QCOMPARE(ground.reflection, 0.0f);
        QCOMPARE(ground.roughness, 0.01f);
        QVERIFY(scene.textures[1].name.isNull());
        QCOMPARE(scene.textures[1].diffuse, 0.7f);
        for (const PovTexture& t : scene.textures) {
            QCOMPARE(t.ambient, 0.35f);
        }
        QCOMPARE(scene.lightCount(), 1);
        QCOMPARE(scene.lights[0].intensity, 1.0f);
        QCOMPARE(scene.lights[0].azimuth, 0.15f);
        QCOMPARE(scene.lights[0].distance, scene.radius * 1000.0f);
        QVERIFY(scene.outdoorLighting);
        QCOMPARE(scene.triangleCount(), 3LL);
        QVERIFY(!scene.canSubdivide(1));
        QVERIFY(!scene.canSubdivide(2));
        QVERIFY(!scene.canSubdivide(-1));

        // A second load replaces everything.
        QVERIFY(scene.load(npr("second.npr").toLocal8Bit().constData(), nullptr));
        QCOMPARE(scene.modelCount(), 2);
        QCOMPARE(scene.lightCount(), 1);
    }

    void failedLoadOfABrokenFile()
    {
        const QString path = dir.filePath("broken.npr");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("0 0 0 1 1 1\nv 1\n0 0 0\nf 1\n0 0 5 [1, 1, 1]\nl 0\n");
        f.close();
        PovScene scene;
        QVERIFY(scene.load(npr("good.npr").toLocal8Bit().constData(), nullptr));
        StderrCapture err;
        QVERIFY(!scene.load(path.toLocal8Bit().constData(), nullptr));
        QCOMPARE(err.text(),
                 QString(" LN ERROR - LnBoxyModel: face 0 uses vertex index 5, but the file has 1 "
                         "vertices\n LN WARNING - PovScene::load - No models loaded.\n\n"));
        QCOMPARE(scene.loadError(),
                 QString("face 0 uses vertex index 5, but the file has 1 vertices"));
        QCOMPARE(scene.modelCount(), 0);
    }

    void modelsWithoutRenderableTriangles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("points and lines")
            << QByteArray("mtllib a.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\np 1 2 3\nl 1 2\n")
            << "the file holds no triangles, only points or lines";
        const QString zero =
            "the file holds no triangles that can be rendered: every face has zero area or a "
            "corner that is not a finite number";
        QTest::newRow("corners on a line")
            << QByteArray("v 0 0 0\nv 1 1 1\nv 2 2 2\nf 1 2 3\n") << zero;
        // Distinct corners that the scene text's six decimals make one.
        QTest::newRow("below the text's precision")
            << QByteArray("v 0 0 0\nv 1e-7 0 0\nv 0 1e-7 0\nf 1 2 3\n") << zero;
        QTest::newRow("corners at infinity")
            << QByteArray("v inf 0 0\nv 1 0 0\nv 0 nan 0\nf 1 2 3\n") << zero;
        QTest::newRow("renderable beside a NaN corner")
            << QByteArray("v 0 0 0\nv 1 0 0\nv 0 1 0\nv nan 0 0\nf 1 2 3\nf 1 2 4\n") << QString();
    }
    void modelsWithoutRenderableTriangles()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        QFile f(dir.filePath("model.obj"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        PovScene scene;
        StderrCapture err;
        QCOMPARE(scene.load(f.fileName().toLocal8Bit().constData(), nullptr), reason.isEmpty());
        QCOMPARE(scene.loadError(), reason);
        if (reason.isEmpty()) {
            // The NaN corner leaves the bounds finite.
            vec c;
            float r;
            scene.bounds(c, r);
            QVERIFY(std::isfinite(c[0]) && std::isfinite(c[1]) && std::isfinite(c[2]));
            QCOMPARE(r, std::sqrt(0.5f));
        } else {
            QCOMPARE(scene.modelCount(), 0);
            QVERIFY(err.text().endsWith(" LN WARNING - PovScene::load - No models loaded.\n\n"));
        }
    }

    void indoorLighting()
    {
        PovScene scene;
        scene.center = vec(2, 3, 4);
        scene.radius = 1.0f;
        scene.resizeTextures(2);
        scene.setIndoorLighting();
        QVERIFY(!scene.outdoorLighting);
        QCOMPARE(scene.lightCount(), 4);
        const vec p = scene.lights[0].position;
        QVERIFY(std::fabs(p[0] - 2.0f) < 1e-5f);
        QVERIFY(std::fabs(p[1] - 4.5f) < 1e-5f);
        QVERIFY(std::fabs(p[2] - 2.598076f) < 1e-5f);
        const vec q = scene.lights[1].position; // azimuth pi/2: along +x
        QVERIFY(std::fabs(q[0] - 3.5f) < 1e-5f);
        QVERIFY(std::fabs(q[1] - 3.0f) < 1e-5f);
        for (const PovLight& light : scene.lights) {
            QCOMPARE(light.intensity, 0.3f);
        }
        for (const PovTexture& t : scene.textures) {
            QCOMPARE(t.ambient, 0.1f);
        }

        scene.setOutdoorLighting();
        QCOMPARE(scene.lightCount(), 1);
        // The sun is not moved by the centre.
        const vec s = scene.lights[0].position;
        QVERIFY(std::fabs(s[2] - 1000.0f) < 0.01f);
        QVERIFY(std::fabs(s[0] - 1000.0f * std::cos(1.57075f) * std::sin(0.15f)) < 1e-3f);
    }

    void placementMaths_data()
    {
        QTest::addColumn<vec>("point");
        QTest::addColumn<vec>("rotate");
        QTest::addColumn<float>("scale");
        QTest::addColumn<vec>("translate");
        QTest::addColumn<vec>("expected");
        QTest::newRow("identity") << vec(1, 2, 3) << vec() << 1.0f << vec() << vec(1, 2, 3);
        // (1, 0, 0) turned 90 degrees about z is (0, 1, 0), doubled (0, 2, 0),
        // moved (10, 22, 30).
        QTest::newRow("turn about z, scale, move")
            << vec(1, 0, 0) << vec(0, 0, 90) << 2.0f << vec(10, 20, 30) << vec(10, 22, 30);
        // x first: (0, 1, 0) to (0, 0, 1); then y: (0, 0, 1) to (1, 0, 0).
        QTest::newRow("x before y")
            << vec(0, 1, 0) << vec(90, 90, 0) << 1.0f << vec() << vec(1, 0, 0);
        // y first would give (0, 1, 0) then x: (0, 0, 1); so the order shows.
        // x: (1, 0, 0) stays; y: to (0, 0, -1); z: stays; half; move.
        QTest::newRow("y then z, half, move")
            << vec(1, 0, 0) << vec(0, 90, 90) << 0.5f << vec(1, 1, 1) << vec(1, 1, 0.5f);
        // (1, 1, 0) turned 180 about x is (1, -1, 0); scaled 3; moved down.
        QTest::newRow("half turn about x")
            << vec(1, 1, 0) << vec(180, 0, 0) << 3.0f << vec(0, 0, -5) << vec(3, -3, -5);
    }
    void placementMaths()
    {
        QFETCH(vec, point);
        QFETCH(vec, rotate);
        QFETCH(float, scale);
        QFETCH(vec, translate);
        QFETCH(vec, expected);
        PovPlacement placement;
        placement.rotate = rotate;
        placement.scale = scale;
        placement.translate = translate;
        const vec placed = placement.apply(point);
        QVERIFY2(
            dist(placed, expected) < 1e-5f,
            qPrintable(QStringLiteral("%1 %2 %3").arg(placed[0]).arg(placed[1]).arg(placed[2])));
        QVERIFY(dist(placement.unapply(placed), point) < 1e-5f);
        // The OpenGL (and POV-Ray) matrix says the same.
        double m[16];
        placement.matrix(m);
        for (int row = 0; row < 3; ++row) {
            const double v =
                m[row] * point[0] + m[4 + row] * point[1] + m[8 + row] * point[2] + m[12 + row];
            QVERIFY(std::fabs(v - expected[row]) < 1e-5);
        }
    }

    // Two files, the second turned, scaled and moved: its mesh is written
    // with its placement, the first's as always; bounds, picking and undoing
    // the import follow.
    void composedScene()
    {
        const QString a = writeNpr(dir.filePath("first.npr"), vec(0, 0, 0), vec(2, 2, 2));
        const QString b = writeNpr(dir.filePath("second.npr"), vec(0, 0, 0), vec(2, 2, 2));
        PovScene scene;
        QVERIFY(scene.load(a.toLocal8Bit().constData(), nullptr));
        qglviewer::Camera camera;
        camera.setScreenWidthAndHeight(400, 300);
        camera.setPosition(qglviewer::Vec(1, -20, 1));
        camera.lookAt(qglviewer::Vec(1, 1, 1));
        const QString alone = scene.povText(&camera, PovMeshForm::Mesh2);
        const float groundZ = scene.groundZ;

        QVERIFY(!scene.importFile(dir.filePath("missing.npr").toLocal8Bit().constData()));
        QCOMPARE(scene.fileCount(), 1);
        QVERIFY(scene.importFile(b.toLocal8Bit().constData()));
        QCOMPARE(scene.fileCount(), 2);
        QCOMPARE(scene.modelCount(), 3);
        QCOMPARE(scene.fileOf(0), -1);
        QCOMPARE(scene.fileOf(2), 1);
        QCOMPARE(scene.textures[2].ambient, scene.textures[1].ambient);
        PovPlacement moved;
        moved.rotate = vec(0, 0, 90);
        moved.scale = 2.0f;
        moved.translate = vec(10, 0, 0);
        scene.setPlacement(1, moved);
        QCOMPARE(scene.groundZ, groundZ); // the floor stays

        // The second mesh: (0,0,0), (2,0,0), (0,2,2) become (10,0,0),
        // (10,4,0), (6,0,4).
        const QString text = scene.povText(&camera, PovMeshForm::Mesh2);
        const QStringList meshes = text.split(QStringLiteral("\nmesh2 {"));
        QCOMPARE(meshes.size(), 3);
        QVERIFY(!meshes[1].contains(QLatin1String("matrix")));
        const QRegularExpression matrixLine(QStringLiteral("\tmatrix <([^>]*)>\n}"));
        const QRegularExpressionMatch match = matrixLine.match(meshes[2]);
        QVERIFY2(match.hasMatch(), qPrintable(meshes[2]));
        const QStringList m = match.captured(1).split(QStringLiteral(", "));
        QCOMPARE(m.size(), 12);
        const QRegularExpression corner(QStringLiteral("<(\\S+), (\\S+), (\\S+)>"));
        const QString vertices = meshes[2].left(
            meshes[2].indexOf(QRegularExpression(QStringLiteral("normal_vectors|face_indices"))));
        vec lo(1e9f, 1e9f, 1e9f), hi(-1e9f, -1e9f, -1e9f);
        for (auto it = corner.globalMatch(vertices); it.hasNext();) {
            const QRegularExpressionMatch c = it.next();
            const double p[3] = {c.captured(1).toDouble(), c.captured(2).toDouble(),
                                 c.captured(3).toDouble()};
            for (int k = 0; k < 3; ++k) {
                const float placed = float(p[0] * m[k].toDouble() + p[1] * m[3 + k].toDouble() +
                                           p[2] * m[6 + k].toDouble() + m[9 + k].toDouble());
                lo[k] = std::min(lo[k], placed);
                hi[k] = std::max(hi[k], placed);
            }
        }
        QVERIFY(dist(lo, vec(6, 0, 0)) < 1e-4f);
        QVERIFY(dist(hi, vec(10, 4, 4)) < 1e-4f);

        // The bounds hold both; a ray down onto the moved mesh picks it.
        vec c;
        float r;
        scene.bounds(c, r);
        for (const vec& p : {vec(0, 0, 0), vec(0, 2, 2), vec(10, 4, 0), vec(6, 0, 4)}) {
            QVERIFY(dist(p, c) <= r * 1.0001f);
        }
        QCOMPARE(pickModel(scene, vec(9, 1, 50), vec(0, 0, -1), false), 2);
        QCOMPARE(pickModel(scene, vec(0.5f, 0.2f, 50), vec(0, 0, -1), false), 1);
        QCOMPARE(scene.lowestPoint(1), 0.0f);
        QCOMPARE(scene.droppedToGround(1).translate, vec(10, 0, groundZ));
        const PovPlacement centred = scene.centredOnOrigin(1);
        QCOMPARE(centred.rotate, moved.rotate);
        QVERIFY(len(centred.apply(scene.files[1].center)) < 1e-5f);

        // Taking the file out gives the scene of one file again; putting it
        // back gives the composed one.
        std::unique_ptr<PovFileContent> taken = scene.takeFile(1);
        QVERIFY(taken);
        QCOMPARE(scene.povText(&camera, PovMeshForm::Mesh2), alone);
        QVERIFY(!scene.takeFile(0)); // the last file stays
        scene.putFile(1, std::move(taken));
        QCOMPARE(scene.povText(&camera, PovMeshForm::Mesh2), text);
    }

    void lightBounds()
    {
        PovScene scene;
        PovLight a, b;
        a.position = vec(0, 2, 0);
        b.position = vec(3, 0, 4);
        scene.lights = {a, b};
        vec c(9, 9, 9);
        float r = 0;
        scene.lightBounds(c, r);
        QCOMPARE(c, vec(0, 0, 0));
        QCOMPARE(r, 6.0f);
    }

    void resizeTextures()
    {
        PovScene scene;
        scene.resizeTextures(3);
        scene.textures[2].diffuse = 0.1f;
        scene.resizeTextures(2);
        QCOMPARE(int(scene.textures.size()), 2);
        scene.resizeTextures(4);
        QCOMPARE(scene.textures[3].diffuse, 0.7f);
    }
};

QTEST_MAIN(TestPovScene)
#include "tst_PovScene.moc"
