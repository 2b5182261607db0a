#include "app/CommandLine.h"

#include "tests/support/BoxesOff.h"
#include "tests/support/GridPly.h"
#include "tests/support/Pixels.h"
#include "tests/support/PovrayChildren.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SharedData.h"

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QVector3D>
#include <QtTest>

#include <cmath>

namespace {

// Runs the real program; `display` false removes every display variable.
Run kelvane(const QStringList& arguments, bool display, const QString& path = QString())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!display) {
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
    }
    if (!path.isNull()) {
        env.insert("PATH", path);
    }
    return runProgram(KELVANE_EXE, arguments, env);
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
// The line Kelvane itself printed last (the libraries may have said more
// before it).
QString lastLine(const QString& text)
{
    const QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

// Runs the real program without a display under an address-space limit
// of `megabytes` (the shell's ulimit -v).
Run kelvaneLimited(int megabytes, const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    return runProgram("sh",
                      QStringList{"-c", "ulimit -v " + QString::number(megabytes * 1024) +
                                            " && exec \"$0\" \"$@\"",
                                  KELVANE_EXE} +
                          arguments,
                      env);
}

// Everything parsing fills in, as one line to compare.
QString described(const CommandLineOptions& o)
{
    const LnLineSettings& l = o.lines;
    QStringList parts = {o.povFile, o.renderImage, o.previewImage, o.scene,
                         QString("%1x%2").arg(o.size.width()).arg(o.size.height()),
                         QString("%1%2%3").arg(o.ground).arg(o.indoor).arg(o.fileColours),
                         QString("%1%2%3%4%5%6 %7")
                             .arg(l.shown).arg(l.contours).arg(l.suggestive).arg(l.ridges)
                             .arg(l.valleys).arg(l.isophotes).arg(double(l.width)),
                         QJsonDocument(o.render.toJson()).toJson(QJsonDocument::Compact),
                         QJsonDocument(o.renderGiven).toJson(QJsonDocument::Compact)};
    for (int n : {o.timeoutSeconds, o.turntableFrames, o.firstFrame, o.lastFrame, o.band, o.bands,
                  o.threads, int(o.listSceneFiles), int(o.info), int(o.json), o.thumbnailSize}) {
        parts << QString::number(n);
    }
    parts << o.mergeImage << o.mergeParts << o.copyFolder << o.thumbnailImage << o.imports
          << QString::number(o.openWindow)
          << (o.viewGiven ? namedViewName(o.view) : QString("no view"));
    return parts.join('|');
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
        QTest::newRow("no mode")
            << QStringList({"--ground", "a.npr"})
            << "say what to make: --pov FILE, --render IMAGE or --preview IMAGE";
        QTest::newRow("import to a listing")
            << QStringList({"--scene-files", "a.npr", "--import", "b.ply"})
            << "--import goes with --pov, --render, --preview, --info, --thumbnail or the window";
        QTest::newRow("no scene") << QStringList({"--pov", "a.pov"}) << "no scene file given";
        QTest::newRow("two scenes") << QStringList({"--pov", "a.pov", "a.npr", "b.npr"})
                                    << "only one scene can be given ('a.npr' and 'b.npr')";
        QTest::newRow("missing value")
            << QStringList({"a.npr", "--render"}) << "--render needs a file name";
        QTest::newRow("bad size") << QStringList({"--size", "800", "--pov", "a", "a.npr"})
                                  << "--size takes WIDTHxHEIGHT in pixels (1 to 16384), not '800'";
        QTest::newRow("unknown option")
            << QStringList({"--fast", "a.npr"}) << "unknown option '--fast' (see kelvane --help)";
        QTest::newRow("unknown line kind")
            << QStringList({"--lines", "contours,edges", "--pov", "a", "a.npr"})
            << "--lines: unknown line kind 'edges' (kinds: contours, suggestive, ridges, valleys, "
               "isophotes)";
        QTest::newRow("empty line kind")
            << QStringList({"--lines", "contours,", "--pov", "a", "a.npr"})
            << "--lines: an empty line kind in 'contours,' (kinds: "
               "contours, suggestive, ridges, valleys, isophotes)";
        QTest::newRow("line width out of range")
            << QStringList({"--line-width", "0.1", "--pov", "a", "a.npr"})
            << "--line-width takes a width in pixels from 0.5 to 32, not '0.1'";
        QTest::newRow("line width missing")
            << QStringList({"--pov", "a", "a.npr", "--line-width"})
            << "--line-width takes a width in pixels from 0.5 to 32, not ''";
        QTest::newRow("unknown image format")
            << QStringList({"--render", "picture.xyz", "a.npr"})
            << "cannot tell the image format of 'picture.xyz' (use .png, .bmp or .jpg)";
        QTest::newRow("unknown mesh form")
            << QStringList({"--mesh-form", "strips", "--pov", "a", "a.npr"})
            << "--mesh-form takes triangles, mesh2 or auto";
        QTest::newRow("mesh form missing") << QStringList({"--pov", "a", "a.npr", "--mesh-form"})
                                           << "--mesh-form takes triangles, mesh2 or auto";
        QTest::newRow("bad threshold")
            << QStringList({"--antialias-threshold", "4", "--pov", "a", "a.npr"})
            << "--antialias-threshold takes a number from 0 to 3, such as 0.3";
        QTest::newRow("unknown view")
            << QStringList({"--view", "side", "--pov", "a", "a.npr"})
            << "--view takes front, back, left, right, top, bottom or three-quarter, not 'side'";
        QTest::newRow("view for a listing")
            << QStringList({"--view", "front", "--info", "a.npr"})
            << "--view goes with --pov, --render, --preview or --thumbnail";
        QTest::newRow("bad timeout") << QStringList({"--timeout", "0", "--pov", "a", "a.npr"})
                                     << "--timeout takes a whole number of seconds, 1 or more";
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
        QVERIFY(!options.fileColours);
        CommandLineOptions coloured;
        QVERIFY(parseCommandLine({"--file-colours", "--pov", "x.pov", "s.dae"}, coloured, error));
        QVERIFY(coloured.fileColours);
        QCOMPARE(options.povFile, QString("x.pov"));
        QCOMPARE(options.renderImage, QString("x.png"));
        QCOMPARE(options.scene, QString("s.npr"));
        QVERIFY(!options.lines.shown); // feature lines are off unless asked for

        CommandLineOptions lined;
        QVERIFY(parseCommandLine(
            {"--line-width", "3.5", "--lines", " Ridges , isophotes", "--pov", "x.pov", "s.off"},
            lined, error));
        QVERIFY(lined.lines.shown);
        QVERIFY(lined.lines.ridges && lined.lines.isophotes);
        QVERIFY(!lined.lines.contours && !lined.lines.suggestive && !lined.lines.valleys);
        QCOMPARE(lined.lines.width, 3.5f);

        // Render defaults: automatic mesh form, no antialiasing, no limit.
        QVERIFY(options.render == PovRenderSettings());
        QCOMPARE(options.timeoutSeconds, -1);
        options = CommandLineOptions();
        QVERIFY(parseCommandLine({"--mesh-form", "triangles", "--antialias", "--timeout", "90",
                                  "--render", "x.png", "s.npr"},
                                 options, error));
        QCOMPARE(options.render.meshForm, PovMeshForm::Triangles);
        QVERIFY(options.render.antialias);
        QCOMPARE(options.render.antialiasThreshold, 0.3);
        QCOMPARE(options.timeoutSeconds, 90);
        options = CommandLineOptions();
        QVERIFY(parseCommandLine(
            {"--antialias-threshold", "0.1", "--mesh-form", "mesh2", "--pov", "x.pov", "s.npr"},
            options, error));
        QVERIFY(options.render.antialias);
        QCOMPARE(options.render.antialiasThreshold, 0.1);
        QCOMPARE(options.render.meshForm, PovMeshForm::Mesh2);
        QVERIFY(isCommandLineRequest({"--help"}));
        QVERIFY(!isCommandLineRequest({"a.npr", "b.npr"}));
    }

    // Every option --help lists is known and takes its value joined by '='
    // as it takes it after the option, to the same effect.
    void everyOptionInBothForms()
    {
        const QMap<QString, QString> values = {
            {"FILE", "x.pov"}, {"IMAGE", "x.png"}, {"WxH", "320x200"}, {"KINDS", "ridges"},
            {"PIXELS", "3"},   {"FORM", "mesh2"},  {"T", "0.2"},       {"Q", "photo"},
            {"B", "#336699"},  {"SECONDS", "9"},   {"N", "4"},         {"A-B", "1-2"},
            {"I/N", "1/2"},    {"FOLDER", "out"},  {"SIZE", "64"},     {"NAME", "left"},
            {"DETAIL", "full"},
            {"DEGREES", "90"}, {"S", "2"}, {"COLOUR", "white"}};
        // Runs the option fits in, tried in turn.
        const QList<QStringList> runs = {{},
                                         {"--render", "r.png"},
                                         {"--turntable", "4", "--render", "r_%d.png"},
                                         {"--info"}};
        const QRegularExpression entry("^  --([a-z-]+)(?: (\\S+))?");
        int options = 0;
        for (const QString& line : commandLineHelp().split('\n')) {
            const QRegularExpressionMatch match = entry.match(line);
            if (!match.hasMatch()) {
                continue;
            }
            ++options;
            const QString option = "--" + match.captured(1);
            const QString valueName = match.captured(2);
            QVERIFY2(valueName.isEmpty() || values.contains(valueName), qPrintable(line));
            const QStringList spaced =
                valueName.isEmpty() ? QStringList{option} : QStringList{option, values[valueName]};
            const QStringList joined = {spaced.join('=')};
            bool parsed = false;
            for (const QStringList& run : runs) {
                for (const QStringList& files : {QStringList{"s.npr"}, {"s.npr", "t.png"}}) {
                    CommandLineOptions a, b;
                    QString error;
                    if (parsed || !parseCommandLine(run + spaced + files, a, error)) {
                        continue;
                    }
                    parsed = true;
                    if (valueName.isEmpty()) {
                        break;
                    }
                    QVERIFY2(parseCommandLine(run + joined + files, b, error), qPrintable(error));
                    QCOMPARE(described(b), described(a));
                    QVERIFY(described(a) != described(CommandLineOptions()));
                }
            }
            QVERIFY2(parsed, qPrintable(option));
        }
        QVERIFY(options >= 27);
        // A switch takes no value; the one joined to it is refused.
        CommandLineOptions options2;
        QString error;
        QVERIFY(!parseCommandLine({"--ground=yes", "--pov", "x.pov", "s.npr"}, options2, error));
        QCOMPARE(error, QString("--ground takes no value"));
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
        Run run =
            kelvane({"--pov", pov, "--ground", "--indoor", "--size", "640x480", sample}, false);
        QCOMPARE(run.status, 0);
        QFile file(pov);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.startsWith("#include \"colors.inc\"\n"));
        QVERIFY(text.contains("\tright <1.333333, 0, 0,>\n"));
        QCOMPARE(text.count("light_source"), 4);
        QVERIFY(text.contains("plane {\n\tz, "));
        QCOMPARE(text.count("smooth_triangle"), 48);

        // The mesh form as asked.
        run = kelvane({"--pov", pov, "--mesh-form", "mesh2", sample}, false);
        QCOMPARE(run.status, 0);
        QFile again(pov);
        QVERIFY(again.open(QIODevice::ReadOnly));
        const QByteArray compact = again.readAll();
        QVERIFY(!compact.contains("triangle {"));
        QVERIFY(compact.contains("\nmesh2 {\n\tvertex_vectors {\n"));

        // Top is the fit a model file opens with, byte for byte; Front
        // looks from elsewhere.
        for (const QString view : {"top", "front"}) {
            const QString viewed = dir.filePath("boxes-" + view + ".pov");
            run = kelvane({"--pov", viewed, "--view", view, "--ground", "--indoor", "--size",
                           "640x480", sample},
                          false);
            QCOMPARE(run.status, 0);
            QFile other(viewed);
            QVERIFY(other.open(QIODevice::ReadOnly));
            QCOMPARE(other.readAll() == text, view == "top");
        }

        // An imported file's models join the scene's.
        run = kelvane({"--pov", pov, sample, "--import=" + sample}, false);
        QCOMPARE(run.status, 0);
        QFile twice(pov);
        QVERIFY(twice.open(QIODevice::ReadOnly));
        QCOMPARE(twice.readAll().count("smooth_triangle"), 96);

        // A turntable starts from the camera a model file places (a model
        // file without one is circled from Three-Quarter, see tst_Spread).
        const QString cameras = KELVANE_SHARED_DATA "/gltf/assimp/cameras/Cameras.gltf";
        if (!QFileInfo::exists(cameras)) {
            QSKIP("the shared real files (beside the repository) are absent");
        }
        const QString still = dir.filePath("cameras.pov");
        QCOMPARE(kelvane({"--pov", still, cameras}, false).status, 0);
        QCOMPARE(kelvane({"--pov", dir.filePath("cameras_%d.pov"), "--turntable", "2", "--frames",
                          "0-0", cameras},
                         false)
                     .status,
                 0);
        QFile a(still), b(dir.filePath("cameras_0.pov"));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(b.readAll(), a.readAll());
    }

    // A scene document's render settings apply headless; an option given on
    // the command line wins over them.
    void documentRenderSettings()
    {
        QFile showcase(QFINDTESTDATA("../../samples/showcase.kelvane"));
        QVERIFY(showcase.open(QIODevice::ReadOnly));
        QJsonObject root = QJsonDocument::fromJson(showcase.readAll()).object();
        root["model"] = QFileInfo(QFINDTESTDATA("../../samples/showcase.off")).absoluteFilePath();
        root["render"] = QJsonObject({{"meshForm", "mesh2"}});
        const QString document = dir.filePath("mesh2.kelvane");
        QFile out(document);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(root).toJson());
        out.close();
        const QString pov = dir.filePath("document.pov");
        auto text = [&pov]() {
            QFile file(pov);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        Run run = kelvane({"--pov", pov, document}, false);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY(text().contains("\nmesh2 {\n"));
        run = kelvane({"--pov", pov, "--mesh-form", "triangles", document}, false);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY(!text().contains("\nmesh2 {\n"));
        QVERIFY(text().contains("smooth_triangle {"));

        // --view replaces the document's camera: Front looks along +y.
        run = kelvane({"--pov", pov, "--view", "front", document}, false);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QRegularExpression placed(
            "\tlocation <([^>]*)>\n\tsky <([^>]*)>\n\tlook_at <([^>]*)>");
        const QRegularExpressionMatch camera = placed.match(QString::fromLatin1(text()));
        QVERIFY(camera.hasMatch());
        auto vector = [&camera](int i) {
            const QStringList xyz = camera.captured(i).split(',');
            return QVector3D(xyz.value(0).toFloat(), xyz.value(1).toFloat(),
                             xyz.value(2).toFloat());
        };
        QVERIFY(((vector(3) - vector(1)) - QVector3D(0, 1, 0)).length() < 1e-4f);
        QVERIFY((vector(2) - QVector3D(0, 0, 1)).length() < 1e-4f);
    }

    void renderWithSettings()
    {
        if (QStandardPaths::findExecutable("povray").isEmpty()) {
            QSKIP("POV-Ray is not installed (Debian packages povray and povray-includes)");
        }
        // Antialiasing and the mesh2 form give the picture of the plain
        // render but for edge pixels; a generous time limit changes nothing.
        const QString plain = dir.filePath("plain.png");
        const QString smooth = dir.filePath("smooth.png");
        Run run = kelvane({"--render", plain, "--size", "160x120", sample}, false);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        run = kelvane({"--render", smooth, "--size", "160x120", "--antialias", "--mesh-form",
                       "mesh2", "--timeout", "60", sample},
                      false);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        // Not a terminal here: no progress lines.
        QVERIFY2(!run.err.contains("Rendering"), qPrintable(run.err));
        const QImage a(plain), b(smooth);
        QCOMPARE(b.size(), QSize(160, 120));
        int differing = 0;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                differing += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 8;
            }
        }
        // Antialiasing changes edge pixels only, but it does change some.
        QVERIFY2(differing > 0 && differing < 160 * 120 / 10,
                 qPrintable(QString::number(differing)));
    }

    // The preview predicts the render: the background, the silhouette and,
    // where both show the model, the mean brightness within 5% (measured
    // 0.974 to 1.024; without the view's sRGB encoding 0.80 to 0.99), also
    // for a mesh whose stored normals point inwards on half of it and for a
    // real archive whose exporter wrote half its normals against the winding.
    void renderAndPreviewAgree_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QColor>("background");
        const QColor black(0, 0, 0), blue("#3366cc");
        const QStringList large({"--size", "640x480"});
        QTest::newRow("boxes") << "../../samples/boxes.npr" << QStringList() << black;
        QTest::newRow("cube, wide")
            << "../data/npr/cube.npr" << QStringList({"--size", "800x400"}) << black;
        QTest::newRow("boxes, tall, indoor") << "../../samples/boxes.npr"
                                             << QStringList({"--size", "480x640", "--indoor"}) << black;
        QTest::newRow("torus") << "../../samples/torus.off" << QStringList({"--size", "400x300"})
                               << black;
        QTest::newRow("normals reversed on half")
            << "../data/ply/reversed_normals.ply" << QStringList({"--size", "400x300"}) << black;
        QTest::newRow("real archive, normals against the winding")
            << KELVANE_SHARED_DATA "/kmz/kml-samples/macky-normal.kmz"
            << QStringList({"--size", "400x300"}) << black;
        QTest::newRow("torus, mesh2")
            << "../../samples/torus.off" << QStringList({"--mesh-form", "mesh2"}) << black;
        QTest::newRow("draft, colour")
            << "../../samples/boxes.npr" << large + QStringList({"--background", "#3366cc"}) << blue;
        QTest::newRow("photo, colour") << "../../samples/boxes.npr"
                                       << large + QStringList({"--quality", "photo", "--background",
                                                               "#3366cc"})
                                       << blue;
        // Looking down, the view sees the sky below the horizon, which has
        // the horizon's colour.
        QTest::newRow("photo, sky")
            << "../../samples/boxes.npr"
            << large + QStringList({"--quality", "photo", "--background", "sky"})
            << PovRenderSettings::skyHorizon();
        QTest::newRow("photo, black, indoor")
            << "../../samples/boxes.npr" << large + QStringList({"--quality", "photo", "--indoor"})
            << black;
    }
    void renderAndPreviewAgree()
    {
        SKIP_WITHOUT_POVRAY();
        QFETCH(QString, scene);
        QFETCH(QStringList, options);
        QFETCH(QColor, background);
        const QString file = QFileInfo(scene).isAbsolute() ? scene : QFINDTESTDATA(scene);
        if (!QFileInfo::exists(file)) {
            QSKIP(qPrintable(QString("%1 is absent (the shared real files sit beside the "
                                     "repository)")
                                 .arg(scene)));
        }
        const QString render = dir.filePath("render.png");
        const QString preview = dir.filePath("preview.png");
        Run run = kelvane(QStringList({"--render", render, "--preview", preview}) + options +
                              QStringList({file}),
                          true);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QImage a(render), b(preview);
        QCOMPARE(a.size(), b.size());
        for (const QPoint corner : {QPoint(1, 1), QPoint(a.width() - 2, a.height() - 2)}) {
            QVERIFY2(closeColours(a.pixel(corner), background.rgb(), 3) &&
                         closeColours(b.pixel(corner), background.rgb(), 1),
                     qPrintable(QString("render %1, preview %2")
                                    .arg(QColor(a.pixel(corner)).name(), QColor(b.pixel(corner)).name())));
        }
        const double iou = intersectionOverUnion(silhouette(a), silhouette(b));
        QVERIFY2(iou >= 0.97, qPrintable(QString("intersection over union %1").arg(iou)));
        const double ratio = brightnessRatio(b, a);
        QVERIFY2(ratio >= 0.95 && ratio <= 1.05,
                 qPrintable(QString("preview / render brightness %1").arg(ratio)));

        // The headless render frames the scene as the one beside the view.
        const QString headless = dir.filePath("headless.png");
        run = kelvane(QStringList({"--render", headless}) + options + QStringList({file}), false);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY(intersectionOverUnion(silhouette(QImage(headless)), silhouette(a)) > 0.999);
    }

    // Each named view frames a box with a bump on one corner (see
    // boxWithBump) as its conventions say, in the view and in the render
    // alike: the outline's shape (wide for the x-y face seen from above or
    // below, narrow for a side's y-z face) and the side and end the bump
    // shows at (the thinner of the outline's left and right fifths, and
    // where its pixels lie). Three-Quarter shows the tall box upright. The
    // view's and the render's silhouettes overlap with an intersection over
    // union of 0.982 (Top) to 0.998 (Left) at this size.
    void namedViewsFrameTheBox_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<double>("minAspect");
        QTest::addColumn<double>("maxAspect");
        QTest::addColumn<QString>("bump");
        QTest::newRow("front: x-z face, +x right") << "front" << 0.7 << 1.0 << "right up";
        QTest::newRow("back: x-z face, -x right") << "back" << 0.7 << 1.0 << "left up";
        QTest::newRow("left: y-z face, -y right") << "left" << 0.35 << 0.6 << "right up";
        QTest::newRow("right: y-z face, +y right") << "right" << 0.35 << 0.6 << "left up";
        QTest::newRow("top: x-y face, +y up") << "top" << 1.5 << 2.2 << "right down";
        QTest::newRow("bottom: x-y face, -y up") << "bottom" << 1.5 << 2.2 << "right up";
        QTest::newRow("three-quarter: upright") << "three-quarter" << 0.6 << 0.95 << "right up";
    }
    void namedViewsFrameTheBox()
    {
        SKIP_WITHOUT_POVRAY();
        QFETCH(QString, view);
        QFETCH(double, minAspect);
        QFETCH(double, maxAspect);
        QFETCH(QString, bump);
        const QString model = dir.filePath("bumped box.off");
        QVERIFY(writeBoxesOff(model, boxWithBump()));
        const QString render = dir.filePath("view-render.png");
        const QString preview = dir.filePath("view-preview.png");
        const Run run = kelvane(
            {"--render", render, "--preview", preview, "--size", "640x480", "--view", view, model},
            true);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        // The thumbnail, drawn without a display, looks from the same view.
        const QString thumbnail = dir.filePath("view-thumbnail.png");
        const Run small = kelvane({"--thumbnail", "300", "--view", view, model, thumbnail}, false);
        QVERIFY2(small.status == 0, qPrintable(small.err));
        const QImage a(render), b(preview);
        for (const QString& name : {render, preview, thumbnail}) {
            const QImage picture(name);
            const Outline o = outline(picture);
            const QString seen =
                QString("%1 %2, aspect %3, fifths: left %4 right %5, heights %6 %7")
                    .arg(QFileInfo(name).baseName())
                    .arg(view)
                    .arg(o.aspect())
                    .arg(o.left)
                    .arg(o.right)
                    .arg(o.leftHeight)
                    .arg(o.rightHeight);
            // Fitted: inside the picture, and not lost in it.
            QVERIFY2(picture.rect().adjusted(1, 1, -1, -1).contains(o.box) &&
                         std::max(double(o.box.width()) / picture.width(),
                                  double(o.box.height()) / picture.height()) > 0.4,
                     qPrintable(seen));
            QVERIFY2(o.aspect() >= minAspect && o.aspect() <= maxAspect, qPrintable(seen));
            const bool right = o.right < o.left;
            const double height = right ? o.rightHeight : o.leftHeight;
            const QString where =
                QString(right ? "right " : "left ") + (height < 0.5 ? "up" : "down");
            QVERIFY2(where == bump && std::fabs(o.right - o.left) > 0.15, qPrintable(seen));
        }
        const double iou = intersectionOverUnion(silhouette(a), silhouette(b));
        QVERIFY2(iou >= 0.97, qPrintable(QString("intersection over union %1").arg(iou)));
    }

    // Real scans (and a rippled sheet), rendered where the picture has far
    // fewer pixels than the model has triangles: the automatic detail
    // writes a simplified copy that the picture cannot tell from every
    // triangle (mean difference
    // under 1 grey level, at most 0.5% of the pixels off by more than 16),
    // and both renders say which detail they used.
    void automaticDetail_data()
    {
        QTest::addColumn<QString>("scan");
        QTest::addColumn<QString>("size");
        for (const char* scan : {"stanford-range/bun000.ply", "meshlab/Laurana50k.ply",
                                 "meshlab/lato000.ply"}) {
            for (const char* size : {"80x60", "160x120"}) {
                QTest::newRow(qPrintable(QString("%1 at %2").arg(scan, size)))
                    << QString(KELVANE_SHARED_DATA "/ply/") + scan << size;
            }
        }
        // Shading detail the positions hardly show: ripples about half a
        // pixel deep and ten pixels long.
        const QString ripples = dir.filePath("ripples.off");
        QFile off(ripples);
        if (off.open(QIODevice::WriteOnly)) {
            const int n = 300;
            QTextStream out(&off);
            out << "OFF\n" << n * n << ' ' << 2 * (n - 1) * (n - 1) << " 0\n";
            for (int y = 0; y < n; ++y) {
                for (int x = 0; x < n; ++x) {
                    out << x << ' ' << y << ' ' << std::sin(x * 0.3) * std::sin(y * 0.25)
                        << '\n';
                }
            }
            for (int y = 0; y + 1 < n; ++y) {
                for (int x = 0; x + 1 < n; ++x) {
                    const int a = y * n + x;
                    out << "3 " << a << ' ' << a + 1 << ' ' << a + n + 1 << "\n3 " << a << ' '
                        << a + n + 1 << ' ' << a + n << '\n';
                }
            }
        }
        QTest::newRow("rippled sheet at 160x120") << ripples << "160x120";
    }
    void automaticDetail()
    {
        SKIP_WITHOUT_POVRAY();
        QFETCH(QString, scan);
        QFETCH(QString, size);
        if (!QFileInfo::exists(scan)) {
            QSKIP(qPrintable(scan + " is absent (the shared real files sit beside the repository)"));
        }
        const QString full = dir.filePath("detail-full.png"),
                      automatic = dir.filePath("detail-auto.png");
        const QString fullPov = dir.filePath("full.pov"), autoPov = dir.filePath("auto.pov");
        Run run = kelvane({"--render", full, "--pov", fullPov, "--size", size, "--detail", "full",
                           scan},
                          false);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.err.contains("kelvane: Full detail: every triangle is rendered.\n"),
                 qPrintable(run.err));
        run = kelvane({"--render", automatic, "--pov", autoPov, "--size", size, scan}, false);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.err.contains(QRegularExpression(
                     "kelvane: Automatic detail: 1 model of [0-9,]+ triangles is rendered with "
                     "at most [0-9,]+\\.\n")),
                 qPrintable(run.err));
        // Fewer triangles really were written.
        QVERIFY(QFileInfo(autoPov).size() < QFileInfo(fullPov).size() * 3 / 4);

        const QImage a(full), b(automatic);
        QCOMPARE(a.size(), b.size());
        double sum = 0.0;
        int off = 0;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                const int d = std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
                sum += d;
                off += d > 16;
            }
        }
        const double pixels = double(a.width()) * a.height();
        QVERIFY2(sum / pixels < 1.0 && off <= 0.005 * pixels,
                 qPrintable(QString("mean difference %1, %2 pixels off by more than 16")
                                .arg(sum / pixels)
                                .arg(off)));
    }

    // A plain COLLADA document with a red material: grey by default, red in
    // the scene text, the view and the picture with --file-colours.
    void daeInItsFileColours()
    {
        if (QStandardPaths::findExecutable("povray").isEmpty()) {
            QSKIP("POV-Ray is not installed (Debian packages povray and povray-includes)");
        }
        const QString dae = dir.filePath("red square.DAE");
        QFile file(dae);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "<?xml version=\"1.0\"?><COLLADA version=\"1.4.1\"><asset><up_axis>Y_UP</up_axis>"
            "</asset><library_effects><effect id=\"fx\"><profile_COMMON><technique sid=\"c\">"
            "<lambert><diffuse><color>0.9 0.1 0.1 1</color></diffuse></lambert></technique>"
            "</profile_COMMON></effect></library_effects><library_materials><material id=\"red\">"
            "<instance_effect url=\"#fx\"/></material></library_materials><library_geometries>"
            "<geometry id=\"g\"><mesh><source id=\"p\"><float_array count=\"12\">"
            "-1 0 1 1 0 1 1 0 -1 -1 0 -1</float_array><technique_common><accessor stride=\"3\"/>"
            "</technique_common></source><vertices id=\"v\"><input semantic=\"POSITION\" "
            "source=\"#p\"/></vertices><polylist count=\"1\" material=\"m\"><input "
            "semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><vcount>4</vcount><p>0 1 2 3</p>"
            "</polylist></mesh></geometry></library_geometries><library_visual_scenes>"
            "<visual_scene id=\"s\"><node id=\"square\"><instance_geometry url=\"#g\">"
            "<bind_material><technique_common><instance_material symbol=\"m\" target=\"#red\"/>"
            "</technique_common></bind_material></instance_geometry></node></visual_scene>"
            "</library_visual_scenes><scene><instance_visual_scene url=\"#s\"/></scene>"
            "</COLLADA>");
        file.close();
        // The lit pixels' mean colour.
        const auto mean = [](const QImage& image) {
            double sum[3] = {0, 0, 0};
            int n = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QRgb c = image.pixel(x, y);
                    if (qGray(c) > 20) {
                        sum[0] += qRed(c);
                        sum[1] += qGreen(c);
                        sum[2] += qBlue(c);
                        ++n;
                    }
                }
            }
            return n ? QVector<double>{sum[0] / n, sum[1] / n, sum[2] / n} : QVector<double>();
        };
        const QString pov = dir.filePath("square.pov");
        const QString render = dir.filePath("square.png");
        const QString preview = dir.filePath("square-view.png");
        for (bool colours : {false, true}) {
            QStringList arguments = {"--pov", pov,      "--render", render, "--preview",
                                     preview, "--size", "160x120",  dae};
            if (colours) {
                arguments.prepend("--file-colours");
            }
            Run run = kelvane(arguments, true);
            QVERIFY2(run.status == 0, qPrintable(run.err));
            QFile text(pov);
            QVERIFY(text.open(QIODevice::ReadOnly));
            QCOMPARE(text.readAll().contains("color rgb <0.9, 0.1, 0.1>"), colours);
            for (const QString& picture : {render, preview}) {
                const QVector<double> c = mean(QImage(picture));
                QVERIFY2(c.size() == 3, qPrintable(picture));
                // Red well above green and blue, or grey.
                QVERIFY2(
                    (c[0] - std::max(c[1], c[2]) > 60.0) == colours,
                    qPrintable(QString("%1: %2 %3 %4").arg(picture).arg(c[0]).arg(c[1]).arg(c[2])));
            }
        }
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such file") << QStringList({"--pov", "x.pov", "missing.npr"}) << QString()
                                      << "kelvane: no such file: '";
        QTest::newRow("no models") << QStringList({"--pov", "x.pov", "README.txt"}) << QString()
                                   << "kelvane: cannot read '";
        // The mesh reader's own reason for refusing the file ends the line.
        const QString refused =
            QStringLiteral(KELVANE_TEST_DATA "/ply/face_index_out_of_range.ply");
        QTest::newRow("refused mesh") << QStringList({"--pov", "x.pov", refused}) << QString()
                                      << "kelvane: cannot read '" + refused +
                                             "': face 0 uses vertex 90, the file has 3 vertices";
        const QString points = QStringLiteral(KELVANE_TEST_DATA "/obj/points_only.obj");
        QTest::newRow("no triangles") << QStringList({"--pov", "x.pov", points}) << QString()
                                      << "kelvane: cannot read '" + points +
                                             "': the file holds no triangles, only points or lines";
        QTest::newRow("unwritable output")
            << QStringList({"--pov", "/nonexistent/dir/x.pov", "SAMPLE"}) << QString()
            << "kelvane: cannot write '/nonexistent/dir/x.pov'";
        QTest::newRow("unwritable image")
            << QStringList({"--render", "/nonexistent/dir/x.png", "SAMPLE"}) << QString()
            << "kelvane: cannot write the image '/nonexistent/dir/x.png'";
        // Only regular files are written: never a device, nor through a
        // link to one (which the old file would have replaced).
        QTest::newRow("device") << QStringList({"--pov", "/dev/full", "SAMPLE"}) << QString()
                                << "kelvane: will not write '/dev/full': it is a device";
        QTest::newRow("folder is a file")
            << QStringList({"--pov", "README.txt/x.pov", "SAMPLE"}) << QString()
            << "kelvane: cannot write '" + dir.filePath("README.txt/x.pov") + "': Not a directory";
        QTest::newRow("link to a device")
            << QStringList({"--render", "full.png", "SAMPLE"}) << QString()
            << "kelvane: will not write '" + dir.filePath("full.png") +
                   "': it is a symbolic link";
        QTest::newRow("POV-Ray missing")
            << QStringList({"--render", "x.png", "SAMPLE"}) << "/nonexistent"
            << "kelvane: POV-Ray could not be started";
        QTest::newRow("preview without display")
            << QStringList({"--preview", "x.png", "SAMPLE"}) << QString()
            << "kelvane: --preview needs a display";
        QTest::newRow("import missing")
            << QStringList({"--pov", "x.pov", "SAMPLE", "--import", "missing.ply"}) << QString()
            << "kelvane: cannot import '";
        QTest::newRow("bad arguments") << QStringList({"--size", "0x0", "--pov", "x", "SAMPLE"})
                                       << QString() << "kelvane: --size takes";
    }
    // A model that cannot get its memory is refused with a sentence and a
    // failed exit; the process does not abort. The limit is the smallest
    // (in steps of 64 MB) under which the program opens the small sample,
    // with room to spare, far below what the large grid needs.
    void notEnoughMemory()
    {
        const QString pov = dir.filePath("limited.pov");
        int limit = 0;
        for (int mb = 128; mb <= 4096 && !limit; mb += 64) {
            if (kelvaneLimited(mb, {"--pov", pov, sample}).status == 0) {
                limit = mb + 64;
            }
        }
        if (!limit) {
            QSKIP("the program does not start under any address-space limit tried");
        }
        QVERIFY(kelvaneLimited(limit, {"--pov", pov, sample}).status == 0);
        const QString big = dir.filePath("grid.ply");
        // 8 million triangles, about 290 MB once loaded: refused before the
        // reader starts (no progress line), with an honest estimate, more
        // than the file and less than three times it.
        QVERIFY(writeGridPly(big, 2000));
        const Run run = kelvaneLimited(limit, {"--pov", pov, big});
        QVERIFY2(run.status > 0, qPrintable(run.err));
        QVERIFY2(!run.err.contains("Reading"), qPrintable(run.err));
        const QRegularExpression said(
            "^kelvane: cannot read '(.*)': not enough memory to open (.*) \\(needs about (\\d+) "
            "MB\\)$");
        const QRegularExpressionMatch match = said.match(lastLine(run.err));
        QVERIFY2(match.hasMatch(), qPrintable(run.err));
        QCOMPARE(match.captured(1), big);
        QCOMPARE(match.captured(2), big);
        const qint64 needed = match.captured(3).toLongLong() * 1024 * 1024;
        QVERIFY2(needed > QFileInfo(big).size() && needed < 3 * QFileInfo(big).size(),
                 qPrintable(match.captured(3)));
        // Given what it asked for, the same load goes through.
        const int enough = limit + int(needed / (1024 * 1024)) + 64;
        QVERIFY2(kelvaneLimited(enough, {"--pov", pov, big}).status == 0, qPrintable(run.err));
    }

    // A turntable of a large scene writes its meshes once and lets the
    // models go before POV-Ray starts; its frames are those of a run that
    // keeps the models (for the frames' own --pov files).
    void largeTurntableLetsTheModelsGo()
    {
        if (QStandardPaths::findExecutable("povray").isEmpty()) {
            QSKIP("POV-Ray is not installed");
        }
        const QString big = dir.filePath("turn.ply");
        QVERIFY(writeGridPly(big, 318)); // 200978 triangles: compact text
        // Every triangle, as automatic detail would write a smaller copy.
        const QStringList common = {"--turntable", "2", "--size", "80x60", "--detail", "full", big};
        Run run = kelvane(QStringList{"--render", dir.filePath("shared%d.png")} + common, false);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        run = kelvane(QStringList{"--render", dir.filePath("kept%d.png"), "--pov",
                                  dir.filePath("kept%d.pov")} +
                          common,
                      false);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QFile pov(dir.filePath("kept1.pov"));
        QVERIFY(pov.open(QIODevice::ReadOnly) && pov.readAll().contains("\tvertex_vectors{"));
        for (int k = 0; k < 2; ++k) {
            const QImage shared(dir.filePath(QString("shared%1.png").arg(k)));
            QVERIFY(!shared.isNull());
            QCOMPARE(shared, QImage(dir.filePath(QString("kept%1.png").arg(k))));
        }
        QVERIFY(QImage(dir.filePath("shared0.png")) != QImage(dir.filePath("shared1.png")));
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
        // An image name whose suffix says PNG, a link to a device.
        QFile::remove(dir.filePath("full.png"));
        QVERIFY(QFile::link("/dev/full", dir.filePath("full.png")));
        arguments.replaceInStrings(QRegularExpression("^full.png$"), dir.filePath("full.png"));
        Run run = kelvane(arguments, false, path);
        QVERIFY(run.status != 0);
        QVERIFY2(lastLine(run.err).startsWith(message), qPrintable(run.err));
        QCOMPARE(run.err.count("kelvane: "), 1);
    }
};

KELVANE_TEST_MAIN(TestCommandLine)
#include "tst_CommandLine.moc"
