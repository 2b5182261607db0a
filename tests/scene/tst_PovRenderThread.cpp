#include "scene/PovRenderThread.h"
#include "scene/PovScene.h"

#include <QGLViewer/camera.h>

#include <QImage>
#include <QSignalSpy>
#include <QStandardPaths>
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

} // namespace

// The cases that run the real renderer.
#define SKIP_WITHOUT_POVRAY()                                                                  \
    if (QStandardPaths::findExecutable("povray").isEmpty()) {                                  \
        QSKIP("POV-Ray is not installed (Debian packages povray and povray-includes)");        \
    }

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
        // directory.
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
        QCOMPARE(QString::fromLocal8Bit(written.readAll()).split('\n', Qt::SkipEmptyParts),
                 PovRenderThread::arguments(QDir::toNativeSeparators(dir.filePath("tempscene.pov"))));
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
        QVERIFY(scene.load(QFINDTESTDATA("../data/npr/cube.npr").toLocal8Bit().constData(), &camera));
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

    void brokenSceneLeavesNoImage()
    {
        SKIP_WITHOUT_POVRAY();
        writeFile("tempscene.pov", "camera { location <0, 0, 5> look_at <0, 0, 0> }\nbox {\n");
        PovScene().writeIniFile(32, 24);
        QFile::remove("tempscene.bmp");
        PovRenderThread thread;
        thread.sceneFile = "tempscene.pov";
        thread.start();
        QVERIFY(thread.wait(60000));
        QVERIFY(thread.started);
        QVERIFY(thread.exitCode != 0);
        QVERIFY(QImage("tempscene.bmp").isNull());
        QVERIFY(!thread.output.isEmpty());
    }

    void missingRendererIsReported()
    {
        PovRenderThread thread;
        thread.program = dir.filePath("no-such-renderer");
        thread.sceneFile = "tempscene.pov";
        QSignalSpy finished(&thread, &QThread::finished);
        thread.start();
        QVERIFY(finished.wait(10000));
        QVERIFY(!thread.started);
        QVERIFY(!thread.errorText.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPovRenderThread)
#include "tst_PovRenderThread.moc"
