#include "ln/LnSmoothModel.h"
#include "scene/PovScene.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/SharedData.h"
#include "trimesh/TriMesh.h"

#include <QGLViewer/camera.h>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QTemporaryDir>
#include <QtTest>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// A square of two triangles in the z = 0 plane, from (-1, -1) to (1, 1),
// with optional vertex colours: red, green, blue, white.
TriMesh* square(bool colours)
{
    TriMesh* m = new TriMesh;
    m->vertices = {vec(-1, -1, 0), vec(1, -1, 0), vec(1, 1, 0), vec(-1, 1, 0)};
    m->faces = {Face(0, 1, 2), Face(0, 2, 3)};
    if (colours) {
        m->colors = {Color(255, 0, 0), Color(0, 255, 0), Color(0, 0, 255), Color(255, 255, 255)};
    }
    return m;
}

// An octahedron refined twice and pushed out onto the unit sphere.
TriMesh* ball()
{
    TriMesh* m = new TriMesh;
    m->vertices = {vec(1, 0, 0),  vec(-1, 0, 0), vec(0, 1, 0),
                   vec(0, -1, 0), vec(0, 0, 1),  vec(0, 0, -1)};
    m->faces = {Face(0, 2, 4), Face(2, 1, 4), Face(1, 3, 4), Face(3, 0, 4),
                Face(2, 0, 5), Face(1, 2, 5), Face(3, 1, 5), Face(0, 3, 5)};
    m->subdivide(1);
    m->subdivide(1);
    for (vec& v : m->vertices) {
        normalize(v);
    }
    m->normals.clear();
    m->sphereValid = false;
    return m;
}

QString shared(const QString& relative)
{
    const QString path = QString(KELVANE_SHARED_DATA) + "/" + relative;
    return QFile::exists(path) ? path : QString();
}

// A file of the shared data, or ("samples/...") one bundled with the program.
QString dataFile(const QString& relative)
{
    if (relative.startsWith("samples/")) {
        return QFINDTESTDATA("../../" + relative);
    }
    return shared(relative);
}

} // namespace

class TestLnSmoothMesh : public QObject {
    Q_OBJECT
    QOffscreenSurface surface;
    QOpenGLContext context;

    // Draws a display list of `mesh` unlit, looking down -z at [-1.2, 1.2]^2.
    QImage draw(LnSmoothMesh& mesh, bool shaded)
    {
        QOpenGLFramebufferObject fbo(64, 64);
        fbo.bind();
        glViewport(0, 0, 64, 64);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-1.2, 1.2, -1.2, 1.2, -10, 10);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
        glColor3f(1, 1, 1);
        if (shaded) {
            mesh.drawShaded();
        } else {
            mesh.drawGeometry();
        }
        fbo.release();
        return fbo.toImage();
    }

private slots:
    void initTestCase()
    {
        surface.create();
        QVERIFY(context.create());
        QVERIFY(context.makeCurrent(&surface));
    }

    void preparedAtConstruction()
    {
        StderrCapture err;
        LnSmoothMesh mesh(ball());
        err.text();
        TriMesh* m = mesh.triMesh();
        QCOMPARE(m->normals.size(), m->vertices.size());
        QVERIFY(!m->strips.empty());
        QVERIFY(m->sphereValid);
        QVERIFY(mesh.isSmooth());
        QVERIFY(!mesh.isFlat());
        QVERIFY(mesh.geometryListName() > 0 && mesh.shadedListName() > 0);
        QCOMPARE(mesh.smoothingWidth(), 0.5f * m->medianEdgeLength());
        vec c;
        float r;
        mesh.getBoundingSphere(c, r);
        QVERIFY(std::fabs(r - 1.0f) < 1e-3f);
        QVERIFY(len(c) < 1e-3f);
        QCOMPARE(mesh.getNumFaces(), 128);
    }

    void coloursInBothModes()
    {
        StderrCapture err;
        LnSmoothMesh plain(square(false));
        QImage image = draw(plain, true);
        QCOMPARE(image.pixelColor(32, 32), QColor(Qt::white));
        plain.setFlat(true);
        image = draw(plain, true);
        QCOMPARE(image.pixelColor(32, 32), QColor(Qt::white));

        LnSmoothMesh coloured(square(true));
        coloured.setFlat(true);
        image = draw(coloured, true);
        // Both faces start at vertex 0 (red): flat mode paints them red.
        QCOMPARE(image.pixelColor(40, 30), QColor(Qt::red));
        QCOMPARE(image.pixelColor(25, 40), QColor(Qt::red));
        coloured.setFlat(false);
        image = draw(coloured, true);
        // Smooth mode interpolates the vertex colours.
        const QColor middle = image.pixelColor(32, 32);
        QVERIFY(middle != QColor(Qt::red));
        QVERIFY(middle.green() > 0 || middle.blue() > 0);
        QCOMPARE(glGetError(), GLenum(GL_NO_ERROR));
    }

    void flatAndSmoothCoverTheSamePixels()
    {
        StderrCapture err;
        LnSmoothMesh mesh(ball());
        const QImage strips = draw(mesh, true);
        const QImage geometry = draw(mesh, false);
        mesh.setFlat(true);
        const QImage faces = draw(mesh, true);
        int covered = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const bool a = qGray(strips.pixel(x, y)) > 0;
                QCOMPARE(qGray(faces.pixel(x, y)) > 0, a);
                QCOMPARE(qGray(geometry.pixel(x, y)) > 0, a);
                covered += a;
            }
        }
        QVERIFY(covered > 1500);
    }

    void smoothingWidensAndShowsToTheWriterFirst()
    {
        StderrCapture err;
        LnSmoothMesh mesh(ball());
        const float w = mesh.smoothingWidth();
        QVERIFY(w > 0);
        const int shaded = mesh.shadedListName();
        vec a0, b0, c0;
        mesh.getFaceNormals(5, a0, b0, c0);
        mesh.smoothNormals();
        QCOMPARE(mesh.smoothingWidth(), w * 1.2f);
        mesh.smoothCurvatures();
        QCOMPARE(mesh.smoothingWidth(), w * 1.2f * 1.2f);
        mesh.smoothCurvatureDerivatives();
        QCOMPARE(mesh.smoothingWidth(), w * 1.2f * 1.2f * 1.2f);
        // The lists are not rebuilt; the writer's normals changed at once.
        QCOMPARE(mesh.shadedListName(), shaded);
        vec a1, b1, c1;
        mesh.getFaceNormals(5, a1, b1, c1);
        QVERIFY(a1 != a0 || b1 != b0 || c1 != c0);
        QVERIFY(!mesh.triMesh()->majorCurvatures.empty());
    }

    void degenerateMeshDoesNotSmooth()
    {
        TriMesh* m = new TriMesh;
        m->vertices = {vec(0, 0, 0), vec(1, 0, 0), vec(0, 1, 0)};
        m->faces = {Face(0, 1, 2)};
        StderrCapture err;
        LnSmoothMesh mesh(m);
        QCOMPARE(mesh.smoothingWidth(), 0.0f);
        const std::vector<vec> normals = m->normals;
        mesh.smoothNormals();
        mesh.smoothCurvatures();
        mesh.smoothCurvatureDerivatives();
        QCOMPARE(mesh.smoothingWidth(), 0.0f);
        QCOMPARE(m->normals, normals);
    }

    void subdivideRebuilds()
    {
        StderrCapture err;
        LnSmoothMesh mesh(ball());
        const float w = mesh.smoothingWidth();
        mesh.subdivide();
        QCOMPARE(mesh.getNumFaces(), 512);
        TriMesh* m = mesh.triMesh();
        QCOMPARE(m->normals.size(), m->vertices.size());
        QVERIFY(!m->strips.empty());
        QVERIFY(mesh.geometryListName() > 0);
        QCOMPARE(mesh.smoothingWidth(), w);
        mesh.computeConnectivity();
        QCOMPARE(m->neighbors.size(), m->vertices.size());
        QCOMPARE(m->acrossEdge.size(), m->faces.size());
    }

    void writesAndReadsBack()
    {
        QTemporaryDir dir;
        StderrCapture err;
        LnSmoothMesh mesh(ball());
        const QByteArray path = dir.filePath("ball.ply").toLocal8Bit();
        QVERIFY(mesh.write(path.constData()));
        QVERIFY(!mesh.write(dir.filePath("no/dir/ball.ply").toLocal8Bit().constData()));
        std::unique_ptr<TriMesh> back(TriMesh::read(path.constData()));
        QVERIFY(back);
        back->unpackStrips();
        QCOMPARE(back->faces.size(), mesh.triMesh()->faces.size());
        QCOMPARE(back->vertices, mesh.triMesh()->vertices);
    }

    void unreadableFiles()
    {
        QTemporaryDir dir;
        std::string error;
        {
            StderrCapture err;
            QVERIFY(!LnSmoothModel::readFile(dir.filePath("missing.ply").toLocal8Bit().constData(),
                                             &error));
            QVERIFY(err.text().contains("fopen"));
        }
        QCOMPARE(QString::fromStdString(error),
                 QString("the file cannot be read (No such file or directory)"));
        QFile f(dir.filePath("broken.off"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("OFF\n3 1 0\n0 0 0\n1 0 0\n");
        f.close();
        StderrCapture err;
        QVERIFY(!LnSmoothModel::readFile(f.fileName().toLocal8Bit().constData(), &error));
        QVERIFY(err.text().contains("Error reading file"));
        // The toolkit's own reason is handed on.
        QCOMPARE(
            QString::fromStdString(error),
            QString("the vertex count 3 is more than the rest of the file can hold (the file is "
                    "truncated or damaged)"));
    }

    void realFilesInTheScene_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("faces");
        QTest::newRow("bundled OFF") << "samples/torus.off" << 2304;
        QTest::newRow("PLY strips") << "ply/common3d/cow.ply" << 5804;
        QTest::newRow("OBJ") << "obj/common3d/cow.obj" << 5804;
        QTest::newRow("OFF") << "off/common3d/rocker-arm.off" << 20088;
    }
    // A model loaded without a current OpenGL context computes no strips and
    // no curvatures for the export; what it computes later, when lines are
    // extracted after smoothing, equals what computing everything up front
    // (the extractor prepared at creation, then the same smoothing) gives.
    void realFilesInTheScene()
    {
        QFETCH(QString, file);
        QFETCH(int, faces);
        const QString path = dataFile(file);
        if (path.isEmpty()) {
            QSKIP("the shared regression data (../shared/data) is not here");
        }
        context.doneCurrent();
        PovScene scene;
        StderrCapture err;
        QVERIFY(scene.load(path.toLocal8Bit().constData(), nullptr));
        QCOMPARE(scene.modelCount(), 2);
        LnMesh* mesh = scene.models[1]->getMesh();
        QVERIFY(mesh->isSmooth());
        QVERIFY(scene.canSubdivide(1));
        QCOMPARE(mesh->getNumFaces(), faces);
        LnModel* model = scene.models[1];
        QVERIFY(model->getExtractor());
        TriMesh* triMesh = static_cast<LnSmoothMesh*>(mesh)->triMesh();
        const bool fileStrips = !triMesh->strips.empty();

        qglviewer::Camera camera;
        camera.setScreenWidthAndHeight(320, 240);
        QString text = scene.povText(&camera);
        QCOMPARE(text.count("smooth_triangle {"), mesh->getNumFaces());
        QVERIFY(!text.contains("nan"));
        scene.setFlatShading(1, true);
        text = scene.povText(&camera);
        QCOMPARE(text.count("\ttriangle {"), mesh->getNumFaces());
        QCOMPARE(text.count("smooth_triangle"), 0);
        QCOMPARE(triMesh->strips.empty(), !fileStrips);
        QVERIFY(triMesh->majorCurvatures.empty() && triMesh->dcurv.empty());
        QVERIFY(!err.text().contains("Computing curvatures"));
        // The same mesh, untouched by the export, with everything computed at once.
        TriMesh upFront = *triMesh;
        upFront.buildStrips();
        LnSmoothExtractor reference(&upFront, vec(), vec());

        // Smoothing takes the curvatures of the normals as loaded first.
        const float width = static_cast<LnSmoothMesh*>(mesh)->smoothingWidth();
        StderrCapture smoothing;
        mesh->smoothNormals();
        const QString said = smoothing.text();
        const int curvatures =
            said.indexOf("Computing curvatures... Done.\nComputing dcurv... Done.\n");
        QVERIFY2(curvatures >= 0 && curvatures < said.indexOf("Smoothing normals"),
                 qPrintable(said));
        upFront.diffuseNormals(width);
        static_cast<LnSmoothMesh*>(mesh)->needStrips();
        QCOMPARE(triMesh->strips, upFront.strips);
        QCOMPARE(triMesh->normals, upFront.normals);
        QCOMPARE(triMesh->majorCurvatures, upFront.majorCurvatures);
        QCOMPARE(triMesh->minorCurvatures, upFront.minorCurvatures);
        QCOMPARE(triMesh->majorDirections, upFront.majorDirections);
        QVERIFY(std::equal(triMesh->dcurv.begin(), triMesh->dcurv.end(), upFront.dcurv.begin(),
                           upFront.dcurv.end(), [](const auto& a, const auto& b) {
                               return std::equal(a.d, a.d + 4, b.d);
                           }));

        // Every kind of line, at thresholds that do not depend on the feature
        // size (which the two draw from different turns of the shared sample
        // sequence), point for point.
        vec c;
        float r;
        model->getBoundingSphere(c, r);
        const vec eye = c + vec(0.3f, -0.5f, 0.8f) * (5.0f * r);
        const vec light(0.6f, 0.0f, 0.8f);
        for (LnExtractor* e : {model->getExtractor(), static_cast<LnExtractor*>(&reference)}) {
            e->setRidges(true);
            e->setValleys(true);
            e->setIsophotes(true, 4);
            e->setDerivativeThreshold(0.0f);
            e->setRidgeThreshold(0.0f);
        }
        reference.setViewpoint(eye);
        reference.setLightDirection(light);
        LnPathList expected;
        reference.extract(expected);
        const LnPathList& lines = model->extractLines(eye, light);
        QVERIFY(lines.size() > 0);
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < lines.size(); ++i) {
            QCOMPARE(lines[i]->kind, expected[i]->kind);
            QCOMPARE(lines[i]->points, expected[i]->points);
        }
        QVERIFY(
            std::equal(triMesh->acrossEdge.begin(), triMesh->acrossEdge.end(),
                       upFront.acrossEdge.begin(), upFront.acrossEdge.end(),
                       [](const auto& a, const auto& b) { return std::equal(a.f, a.f + 3, b.f); }));
        QVERIFY(std::isfinite(
            static_cast<LnSmoothExtractor*>(model->getExtractor())->getFeatureSize()));
        QVERIFY(context.makeCurrent(&surface));
    }
};

KELVANE_TEST_MAIN(TestLnSmoothMesh)
#include "tst_LnSmoothMesh.moc"
