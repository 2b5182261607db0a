#include "scene/PovCompactMesh.h"
#include "scene/PovRenderThread.h"
#include "scene/PovScene.h"
#include "tests/support/PovrayChildren.h"
#include "tests/support/SharedData.h"

#include <QGLViewer/camera.h>

#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char* const cubeScene = "#include \"colors.inc\"\n"
                              "camera { location <0, 0, 5> look_at <0, 0, 0> }\n"
                              "light_source { <10, 10, 10> color rgb <1, 1, 1> }\n"
                              "box { <-1, -1, -1>, <1, 1, 1> pigment { color Red } }\n";

void writeFile(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The fraction of pixels whose grey levels differ by more than `tolerance`.
double differingShare(const QImage& a, const QImage& b, int tolerance)
{
    if (a.size() != b.size() || a.isNull()) {
        return 1.0;
    }
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > tolerance) {
                ++differing;
            }
        }
    }
    return double(differing) / double(a.width() * a.height());
}

// Renders tempscene.pov with the settings already in POVRAY.INI.
QImage render(PovRenderThread& thread)
{
    QFile::remove("tempscene.bmp");
    thread.sceneFile = "tempscene.pov";
    thread.start();
    thread.wait();
    return thread.succeeded() ? QImage("tempscene.bmp") : QImage();
}

} // namespace

class TestPovRenderThread : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString previous;

private slots:
    void initTestCase()
    {
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
    }
    void cleanupTestCase() { QDir::setCurrent(previous); }

    void arguments()
    {
        const QStringList args = PovRenderThread::arguments("/work/tempscene.pov");
#ifdef Q_OS_WIN
        QCOMPARE(args, QStringList({"/RENDER", "/work/tempscene.pov", "/EXIT"}));
#else
        QCOMPARE(args.mid(0, 2), QStringList({"POVRAY.INI", "/work/tempscene.pov"}));
        QVERIFY(args.contains("+FB"));
        QVERIFY(args.contains("-D"));
#endif
        // What a renderer really gets: a stand-in that writes down its
        // arguments, started on a scene named relative to the current
        // directory. The scene in the working directory is named alone, so
        // a folder name POV-Ray would split (blanks, '=', ';') never
        // reaches it.
        writeFile("standin", "#!/bin/sh\nprintf '%s\\n' \"$@\" > arguments.txt\n");
        QFile::setPermissions("standin", QFile::permissions("standin") | QFile::ExeOwner);
        PovRenderThread thread;
        thread.program = dir.filePath("standin");
        thread.sceneFile = "tempscene.pov";
        thread.start();
        QVERIFY(thread.wait(10000));
        QVERIFY(thread.started);
        QCOMPARE(thread.exitCode, 0);
        QFile written("arguments.txt");
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromLocal8Bit(written.readAll()).split('\n', Qt::SkipEmptyParts),
            PovRenderThread::arguments("tempscene.pov"));
    }

    // An interruption stops a renderer at once (here a stand-in that would
    // take 30 seconds); it is not reported as a time-out.
    void interruptionStopsTheRenderer()
    {
        writeFile("slow", "#!/bin/sh\nexec sleep 30\n");
        QFile::setPermissions("slow", QFile::permissions("slow") | QFile::ExeOwner);
        PovRenderThread thread;
        thread.program = dir.filePath("slow");
        thread.sceneFile = "tempscene.pov";
        thread.start();
        QTest::qWait(300);
        QElapsedTimer timer;
        timer.start();
        thread.requestInterruption();
        QVERIFY(thread.wait(5000));
        QVERIFY(timer.elapsed() < 2000);
        QVERIFY(thread.started);
        QVERIFY(!thread.timedOut);
        QCOMPARE(thread.exitCode, -1);

        // The next start is not interrupted.
        writeFile("quick", "#!/bin/sh\nsleep 0.3\nexit 3\n");
        QFile::setPermissions("quick", QFile::permissions("quick") | QFile::ExeOwner);
        thread.program = dir.filePath("quick");
        thread.start();
        QVERIFY(thread.wait(10000));
        QCOMPARE(thread.exitCode, 3);
    }

    void rendersTheRequestedSize()
    {
        SKIP_WITHOUT_POVRAY();
        writeFile("tempscene.pov", cubeScene);
        PovScene scene;
        scene.writeIniFile(96, 64);
        QFile::remove("tempscene.bmp");
        PovRenderThread thread;
        thread.sceneFile = "tempscene.pov";
        QSignalSpy finished(&thread, &QThread::finished);
        thread.start();
        QVERIFY(finished.wait(60000));
        QVERIFY(thread.started);
        QCOMPARE(thread.exitCode, 0);
        const QImage image("tempscene.bmp");
        QCOMPARE(image.size(), QSize(96, 64));
        // The red box fills the middle.
        const QRgb centre = image.pixel(48, 32);
        QVERIFY(qRed(centre) > 100 && qGreen(centre) < 50);

        // A second render with another size overwrites both files.
        scene.writeIniFile(40, 30);
        QFile::remove("tempscene.bmp");
        thread.start();
        QVERIFY(finished.wait(60000));
        QCOMPARE(QImage("tempscene.bmp").size(), QSize(40, 30));
    }

    void writtenSceneRenders()
    {
        SKIP_WITHOUT_POVRAY();
        // The writer's own text, with its camera, through the real renderer.
        PovScene scene;
        qglviewer::Camera camera;
        camera.setScreenWidthAndHeight(64, 48);
        QVERIFY(
            scene.load(QFINDTESTDATA("../data/npr/cube.npr").toLocal8Bit().constData(), &camera));
        camera.setSceneRadius(2);
        camera.showEntireScene();
        scene.groundVisible = true;
        scene.textures[1].name = "T_Wood7";
        scene.textures[1].setNormal("bumps", 0.5f, 1.0f);
        scene.writePovFile(&camera, "tempscene.pov");
        scene.writeIniFile(64, 48);
        QFile::remove("tempscene.bmp");
        PovRenderThread thread;
        thread.sceneFile = "tempscene.pov";
        thread.start();
        QVERIFY(thread.wait(60000));
        QVERIFY2(thread.exitCode == 0, thread.output.constData());
        QCOMPARE(QImage("tempscene.bmp").size(), QSize(64, 48));
    }

    void progressAndSettingsReachPovRay()
    {
        // Fixed size and antialiasing go into POVRAY.INI as POV-Ray takes
        // them, and POV-Ray reports using them.
        writeFile("tempscene.pov", cubeScene);
        PovRenderSettings settings;
        settings.useViewSize = false;
        settings.size = QSize(90, 60);
        settings.antialias = true;
        settings.antialiasThreshold = 0.2;
        QVERIFY(settings.writeIniFile("POVRAY.INI", QSize(500, 400)));
        QCOMPARE(readFile("POVRAY.INI"), QByteArray("+W90 +H60\n+A0.2\n"));
        PovRenderThread thread;
        QSignalSpy progress(&thread, &PovRenderThread::progressChanged);
        const QImage image = render(thread);
        QCOMPARE(image.size(), QSize(90, 60));
        QVERIFY2(thread.output.contains("Antialiasing.........On  (Method 1, Threshold 0.200"),
                 thread.output.constData());
        // Reported from the thread: starting, parsing, rendering up to 100 %,
        // finished.
        QVERIFY(progress.size() >= 4);
        QCOMPARE(progress.first().at(0).value<PovProgress>().stage, PovRenderStage::Starting);
        QCOMPARE(progress.last().at(0).value<PovProgress>().stage, PovRenderStage::Finished);
        int lastPercent = -1;
        for (const QList<QVariant>& args : progress) {
            const PovProgress p = args.at(0).value<PovProgress>();
            if (p.stage == PovRenderStage::Rendering) {
                QVERIFY(p.percent >= lastPercent);
                lastPercent = p.percent;
            }
        }
        QCOMPARE(lastPercent, 100);

        // Off again: one line, as before antialiasing existed.
        settings.antialias = false;
        settings.useViewSize = true;
        QVERIFY(settings.writeIniFile("POVRAY.INI", QSize(40, 30)));
        QCOMPARE(readFile("POVRAY.INI"), QByteArray("+W40 +H30\n"));
        QCOMPARE(render(thread).size(), QSize(40, 30));
        QVERIFY(thread.output.contains("Antialiasing.........Off"));
    }

    // A scene POV-Ray cannot parse: a failure with its message, no picture.
    void brokenSceneGivesPovRaysMessage()
    {
        SKIP_WITHOUT_POVRAY();
        writeFile("tempscene.pov", "camera { location <0, 0, 5> look_at <0, 0, 0> }\n"
                                   "box {\n  <1, 2, 3> <4, 5, 6> foo\n}\n");
        PovScene().writeIniFile(32, 24);
        PovRenderThread thread;
        QVERIFY(render(thread).isNull());
        QVERIFY(thread.started && thread.exitCode != 0 && !thread.succeeded());
        QVERIFY(!QFile::exists("tempscene.bmp"));
        const QStringList messages = thread.messages();
        QVERIFY2(!messages.isEmpty() &&
                     messages[0].contains("tempscene.pov' line 3: Parse Error:") &&
                     messages[0].contains("undeclared identifier 'foo' found instead"),
                 qPrintable(messages.join('|')));
    }

    // A time limit ends POV-Ray at once (Cancel does the same: the window
    // tests press it); a cancel when nothing runs does nothing to the next
    // render.
    void timeLimitEndsPovRayAtOnce()
    {
        SKIP_WITHOUT_POVRAY();
        writeFile("tempscene.pov", slowScene);
        PovScene().writeIniFile(32, 24);
        PovRenderThread thread;
        QSignalSpy finished(&thread, &QThread::finished);
        thread.sceneFile = "tempscene.pov";
        thread.finishTimeout = 500;
        QElapsedTimer clock;
        clock.start();
        thread.start();
        QVERIFY(finished.wait(10000));
        QVERIFY(thread.timedOut && !thread.cancelled && !thread.succeeded());
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(povrayChildren(), QStringList());
        thread.cancel();
        thread.finishTimeout = -1;
        writeFile("tempscene.pov", cubeScene);
        QCOMPARE(render(thread).size(), QSize(32, 24));
    }

    void meshFormsRenderAlike_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("flat");
        const QString shared = QStringLiteral(KELVANE_SHARED_DATA);
        QTest::newRow("cow, smooth") << shared + "/ply/common3d/cow.ply" << false;
        QTest::newRow("cow, flat") << shared + "/ply/common3d/cow.ply" << true;
        QTest::newRow("range scan, smooth") << shared + "/ply/stanford-range/bun000.ply" << false;
        QTest::newRow("KMZ, several models")
            << shared + "/kmz/kml-samples/macky-normal.kmz" << false;
        QTest::newRow("boxy NPR") << QFINDTESTDATA("../../samples/boxes.npr") << false;
    }
    void meshFormsRenderAlike()
    {
        // The same scene written both ways renders the same picture, and
        // the compact mesh2 text of large meshes the very same pixels as
        // the mesh2 text of small ones.
        QFETCH(QString, file);
        QFETCH(bool, flat);
        if (!QFileInfo::exists(file)) {
            QSKIP(qPrintable("test data not found: " + file));
        }
        PovScene scene;
        qglviewer::Camera camera;
        camera.setScreenWidthAndHeight(120, 90);
        QVERIFY(scene.load(file.toLocal8Bit().constData(), &camera));
        vec center;
        float radius;
        scene.viewSphere(false, center, radius);
        camera.setSceneRadius(radius);
        camera.setSceneCenter(qglviewer::Vec(center[0], center[1], center[2]));
        camera.showEntireScene();
        scene.groundVisible = true;
        for (int i = 1; i < scene.modelCount(); ++i) {
            scene.setFlatShading(i, flat);
        }
        scene.writeIniFile(120, 90);
        PovRenderThread thread;
        scene.writePovFile(&camera, "tempscene.pov", PovMeshForm::Triangles);
        const QByteArray trianglesText = readFile("tempscene.pov");
        QVERIFY(trianglesText.contains(flat ? "\ttriangle {" : "\tsmooth_triangle {"));
        const QImage triangles = render(thread);
        QVERIFY2(!triangles.isNull(), thread.output.constData());
        scene.writePovFile(&camera, "tempscene.pov", PovMeshForm::Mesh2);
        const QByteArray mesh2Text = readFile("tempscene.pov");
        QVERIFY(mesh2Text.contains("\nmesh2 {\n") && !mesh2Text.contains("triangle {"));
        QCOMPARE(mesh2Text.contains("normal_vectors"), !flat);
        // POV-Ray turns every normal towards the eye, so their sign never
        // shows in the pictures (negated mesh2 normals differ in no pixel):
        // the first corner's normal is compared in the two texts.
        const QRegularExpression firstNormal("(?:smooth_triangle|normal_vectors) \\{\\s*(?:\\d+,|<[^>]*>,)\\s*(<[^>]*>)");
        const QString normal = firstNormal.match(trianglesText).captured(1);
        QCOMPARE(normal.isEmpty(), flat);
        QCOMPARE(firstNormal.match(mesh2Text).captured(1), normal);
        const QImage mesh2 = render(thread);
        QVERIFY2(!mesh2.isNull(), thread.output.constData());
        // Something was drawn, and the two agree but for rounding at a few
        // edge pixels.
        QVERIFY(differingShare(triangles, QImage(120, 90, QImage::Format_RGB32), 10) > 0.05);
        const double share = differingShare(triangles, mesh2, 8);
        QVERIFY2(share < 0.002, qPrintable(QString::number(share)));

        const int threshold = compactMeshTriangles;
        compactMeshTriangles = 0;
        scene.writePovFile(&camera, "tempscene.pov", PovMeshForm::Mesh2);
        compactMeshTriangles = threshold;
        const QByteArray compactText = readFile("tempscene.pov");
        QVERIFY(compactText.contains("\tvertex_vectors{"));
        QVERIFY2(compactText.size() < mesh2Text.size() * 9 / 10,
                 qPrintable(QString("%1 %2").arg(compactText.size()).arg(mesh2Text.size())));
        const QImage compact = render(thread);
        QVERIFY2(!compact.isNull(), thread.output.constData());
        QCOMPARE(compact.convertToFormat(QImage::Format_RGB32),
                 mesh2.convertToFormat(QImage::Format_RGB32));

        // In pieces of a thousand faces, a model is several mesh2 objects
        // of the same triangles: only POV-Ray's bounding trees differ, which
        // may move a pixel on an edge by a few levels.
        const int piece = compactPieceTriangles;
        compactMeshTriangles = 0;
        compactPieceTriangles = 1000;
        scene.writePovFile(&camera, "tempscene.pov", PovMeshForm::Mesh2);
        compactMeshTriangles = threshold;
        compactPieceTriangles = piece;
        const QByteArray piecesText = readFile("tempscene.pov");
        // The cow has some 5800 faces; the range scan's 79,000 are written
        // as the simplified copy the picture's size calls for, which is
        // split too.
        if (file.endsWith(".ply")) {
            QVERIFY(piecesText.count("\nmesh2 {\n") > compactText.count("\nmesh2 {\n") + 4);
        }
        const QImage pieces = render(thread);
        QVERIFY2(!pieces.isNull(), thread.output.constData());
        const double piecesShare = differingShare(compact, pieces, 8);
        QVERIFY2(piecesShare < 0.002, qPrintable(QString::number(piecesShare)));
    }
};

KELVANE_TEST_GUILESS_MAIN(TestPovRenderThread)
#include "tst_PovRenderThread.moc"
