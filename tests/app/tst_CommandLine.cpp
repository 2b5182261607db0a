#include "app/CommandLine.h"

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Runs the real program; `display` false removes every display variable.
Run kelvane(const QStringList& arguments, bool display, const QString& path = QString())
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!display) {
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
    }
    if (!path.isNull()) {
        env.insert("PATH", path);
    }
    process.setProcessEnvironment(env);
    process.start(KELVANE_EXE, arguments);
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// Pixels brighter than the black background. The view antialiases its
// edges and the renderer does not, so the view's silhouette is up to a pixel
// wider all round; the scenes are framed at sizes where that costs little.
QVector<bool> silhouette(const QImage& image)
{
    QVector<bool> mask(image.width() * image.height());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            mask[y * image.width() + x] = qGray(image.pixel(x, y)) > 2;
        }
    }
    return mask;
}

// Mean brightness of the render's model pixels over the preview's, both
// taken where the two silhouettes overlap.
double brightnessRatio(const QImage& preview, const QImage& render)
{
    const QVector<bool> a = silhouette(preview), b = silhouette(render);
    double sumPreview = 0.0, sumRender = 0.0;
    for (int i = 0; i < a.size(); ++i) {
        if (a[i] && b[i]) {
            const int x = i % preview.width(), y = i / preview.width();
            sumPreview += qGray(preview.pixel(x, y));
            sumRender += qGray(render.pixel(x, y));
        }
    }
    return sumRender > 0.0 ? sumPreview / sumRender : 0.0;
}

double intersectionOverUnion(const QVector<bool>& a, const QVector<bool>& b)
{
    int both = 0, either = 0;
    for (int i = 0; i < a.size(); ++i) {
        both += a[i] && b[i];
        either += a[i] || b[i];
    }
    return either ? double(both) / either : 0.0;
}

// The line Kelvane itself printed last (the libraries may have said more
// before it).
QString lastLine(const QString& text)
{
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString sample;

private slots:
    void initTestCase() { sample = QFINDTESTDATA("../../samples/boxes.npr"); }

    void parsing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("no mode") << QStringList({"--ground", "a.npr"})
                                 << "say what to make: --pov FILE, --render IMAGE or --preview IMAGE";
        QTest::newRow("no scene") << QStringList({"--pov", "a.pov"}) << "no scene file given";
        QTest::newRow("two scenes") << QStringList({"--pov", "a.pov", "a.npr", "b.npr"})
                                    << "only one scene can be given ('a.npr' and 'b.npr')";
        QTest::newRow("missing value") << QStringList({"a.npr", "--render"})
                                       << "--render needs a file name";
        QTest::newRow("bad size") << QStringList({"--size", "800", "--pov", "a", "a.npr"})
                                  << "--size takes WIDTHxHEIGHT in pixels (1 to 16384), not '800'";
        QTest::newRow("unknown option") << QStringList({"--fast", "a.npr"})
                                        << "unknown option '--fast' (see kelvane --help)";
        QTest::newRow("unknown image format")
            << QStringList({"--render", "picture.xyz", "a.npr"})
            << "cannot tell the image format of 'picture.xyz' (use .png, .bmp or .jpg)";
    }
    void parsing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        CommandLineOptions options;
        QString message;
        QVERIFY(!parseCommandLine(arguments, options, message));
        QCOMPARE(message, error);
    }

    void parsedOptions()
    {
        CommandLineOptions options;
        QString error;
        QVERIFY(parseCommandLine({"--size", "320x200", "--indoor", "--ground", "--pov", "x.pov",
                                  "--render", "x.png", "s.npr"},
                                 options, error));
        QCOMPARE(options.size, QSize(320, 200));
        QVERIFY(options.indoor && options.ground);
        QCOMPARE(options.povFile, QString("x.pov"));
        QCOMPARE(options.renderImage, QString("x.png"));
        QCOMPARE(options.scene, QString("s.npr"));
        QVERIFY(isCommandLineRequest({"--help"}));
        QVERIFY(!isCommandLineRequest({"a.npr", "b.npr"}));
    }

    void helpAndVersion()
    {
        Run help = kelvane({"--help"}, false);
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains("--preview IMAGE"));
        QVERIFY(help.out.contains("xvfb-run -a"));
        Run version = kelvane({"--version"}, false);
        QCOMPARE(version.status, 0);
        QVERIFY(version.out.startsWith("kelvane "));
    }

    void povWithoutADisplay()
    {
        const QString pov = dir.filePath("boxes.pov");
        Run run = kelvane({"--pov", pov, "--ground", "--indoor", "--size", "640x480", sample}, false);
        QCOMPARE(run.status, 0);
        QFile file(pov);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.startsWith("#include \"colors.inc\"\n"));
        QVERIFY(text.contains("\tright <1.333333, 0, 0,>\n"));
        QCOMPARE(text.count("light_source"), 4);
        QVERIFY(text.contains("plane {\n\tz, "));
        QCOMPARE(text.count("smooth_triangle"), 48);
    }

    // The preview predicts the render: the same silhouette and, where both
    // show the model, the same mean brightness within 20%, also for a mesh
    // whose stored normals point inwards on half of it and for a real
    // archive whose exporter wrote half its normals against the winding.
    void renderAndPreviewAgree_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("boxes") << "../../samples/boxes.npr" << QStringList();
        QTest::newRow("cube, wide") << "../data/npr/cube.npr" << QStringList({"--size", "800x400"});
        QTest::newRow("boxes, tall, indoor")
            << "../../samples/boxes.npr" << QStringList({"--size", "480x640", "--indoor"});
        QTest::newRow("torus") << "../../samples/torus.off" << QStringList({"--size", "400x300"});
        QTest::newRow("normals reversed on half")
            << "../data/ply/reversed_normals.ply" << QStringList({"--size", "400x300"});
        QTest::newRow("real archive, normals against the winding")
            << KELVANE_SHARED_DATA "/kmz/kml-samples/macky-normal.kmz"
            << QStringList({"--size", "400x300"});
    }
    void renderAndPreviewAgree()
    {
        if (QStandardPaths::findExecutable("povray").isEmpty()) {
            QSKIP("POV-Ray is not installed (Debian packages povray and povray-includes)");
        }
        QFETCH(QString, scene);
        QFETCH(QStringList, options);
        const QString file = QFileInfo(scene).isAbsolute() ? scene : QFINDTESTDATA(scene);
        if (!QFileInfo::exists(file)) {
            QSKIP(qPrintable(QString("%1 is absent (the shared real files sit beside the "
                                     "repository)").arg(scene)));
        }
        const QString render = dir.filePath("render.png");
        const QString preview = dir.filePath("preview.png");
        Run run = kelvane(QStringList({"--render", render, "--preview", preview}) + options +
                              QStringList({file}),
                          true);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QImage a(render), b(preview);
        QCOMPARE(a.size(), b.size());
        const double iou = intersectionOverUnion(silhouette(a), silhouette(b));
        QVERIFY2(iou >= 0.97, qPrintable(QString("intersection over union %1").arg(iou)));
        const double ratio = brightnessRatio(b, a);
        QVERIFY2(ratio >= 0.8 && ratio <= 1.25,
                 qPrintable(QString("preview / render brightness %1").arg(ratio)));

        // The headless render frames the scene as the one beside the view.
        const QString headless = dir.filePath("headless.png");
        run = kelvane(QStringList({"--render", headless}) + options + QStringList({QFINDTESTDATA(scene)}),
                      false);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY(intersectionOverUnion(silhouette(QImage(headless)), silhouette(a)) > 0.999);
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such file") << QStringList({"--pov", "x.pov", "missing.npr"}) << QString()
                                      << "kelvane: no such file: '";
        QTest::newRow("no models") << QStringList({"--pov", "x.pov", "README.txt"}) << QString()
                                   << "kelvane: no models loaded from '";
        QTest::newRow("unwritable output")
            << QStringList({"--pov", "/nonexistent/dir/x.pov", "SAMPLE"}) << QString()
            << "kelvane: cannot write '/nonexistent/dir/x.pov'";
        QTest::newRow("unwritable image")
            << QStringList({"--render", "/nonexistent/dir/x.png", "SAMPLE"}) << QString()
            << "kelvane: cannot write the image '/nonexistent/dir/x.png'";
        // A full disk shows only when the written blocks reach the device.
        QTest::newRow("full disk") << QStringList({"--pov", "/dev/full", "SAMPLE"}) << QString()
                                   << "kelvane: cannot write '/dev/full': No space left on device";
        QTest::newRow("folder is a file")
            << QStringList({"--pov", "README.txt/x.pov", "SAMPLE"}) << QString()
            << "kelvane: cannot write '" + dir.filePath("README.txt/x.pov") + "': Not a directory";
        QTest::newRow("full disk image")
            << QStringList({"--render", "full.png", "SAMPLE"}) << QString()
            << "kelvane: cannot write the image '" + dir.filePath("full.png") +
                   "': No space left on device";
        QTest::newRow("POV-Ray missing") << QStringList({"--render", "x.png", "SAMPLE"})
                                         << "/nonexistent" << "kelvane: POV-Ray could not be started";
        QTest::newRow("preview without display") << QStringList({"--preview", "x.png", "SAMPLE"})
                                                 << QString() << "kelvane: --preview needs a display";
        QTest::newRow("bad arguments") << QStringList({"--size", "0x0", "--pov", "x", "SAMPLE"})
                                       << QString() << "kelvane: --size takes";
    }
    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, path);
        QFETCH(QString, message);
        if (path.isNull() && arguments.contains("--render") &&
            QStandardPaths::findExecutable("povray").isEmpty()) {
            QSKIP("POV-Ray is not installed");
        }
        arguments.replaceInStrings("SAMPLE", sample);
        QFile text(dir.filePath("README.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.close();
        arguments.replaceInStrings("README.txt", dir.filePath("README.txt"));
        // An image name whose suffix says PNG, on a device that is always full.
        QFile::link("/dev/full", dir.filePath("full.png"));
        arguments.replaceInStrings(QRegularExpression("^full.png$"), dir.filePath("full.png"));
        Run run = kelvane(arguments, false, path);
        QVERIFY(run.status != 0);
        QVERIFY2(lastLine(run.err).startsWith(message), qPrintable(run.err));
        QCOMPARE(run.err.count("kelvane: "), 1);
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_CommandLine.moc"
