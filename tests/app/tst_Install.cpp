// The installation: `cmake --install` of this build into an empty prefix, the
// files it lays down checked with the desktop's own validators, and the
// installed program run from there; and the Debian package built by CPack,
// its contents and dependencies listed.

#include "app/AppIcon.h"

#include "tests/support/RunProgram.h"

#include <QDomDocument>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

Run run(const QString& program, const QStringList& arguments,
        const QString& workingDirectory = QString(), int timeoutMs = 60000)
{
    return runProgram(program, arguments, QProcessEnvironment::systemEnvironment(),
                      workingDirectory, timeoutMs);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The values of one key of a desktop entry's main group, split at ';'.
QStringList desktopList(const QByteArray& entry, const QByteArray& key)
{
    for (const QByteArray& line : entry.split('\n')) {
        if (line.startsWith(key + '=')) {
            return QString::fromUtf8(line.mid(key.size() + 1))
                .split(QLatin1Char(';'), Qt::SkipEmptyParts);
        }
    }
    return {};
}

// type -> glob patterns of a shared-mime-info package.
QMap<QString, QStringList> mimeTypes(const QString& path, QString* error = nullptr)
{
    QMap<QString, QStringList> types;
    QDomDocument document;
    QString message;
    int line = 0;
    if (!document.setContent(readFile(path), true, &message, &line)) {
        if (error) {
            *error = QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(message);
        }
        return types;
    }
    const QDomElement root = document.documentElement();
    if (root.localName() != QLatin1String("mime-info") ||
        root.namespaceURI() !=
            QLatin1String("http://www.freedesktop.org/standards/shared-mime-info")) {
        if (error) {
            *error = QStringLiteral("%1 is not a shared-mime-info package").arg(path);
        }
        return types;
    }
    for (QDomElement type = root.firstChildElement(QStringLiteral("mime-type")); !type.isNull();
         type = type.nextSiblingElement(QStringLiteral("mime-type"))) {
        QStringList& globs = types[type.attribute(QStringLiteral("type"))];
        for (QDomElement glob = type.firstChildElement(QStringLiteral("glob")); !glob.isNull();
             glob = glob.nextSiblingElement(QStringLiteral("glob"))) {
            globs << glob.attribute(QStringLiteral("pattern"));
        }
    }
    return types;
}

const QString appId = QStringLiteral("org.kelvane.Kelvane");
const QList<int> iconSizes = {16, 24, 32, 48, 64, 128, 256};

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir work;
    QString prefix; // the installation, moved away from where it was installed

    QString installed(const QString& relative) const
    {
        return prefix + QLatin1Char('/') + relative;
    }

private slots:
    // Installs once into an empty prefix, then moves the whole tree: the
    // program must find its files relative to itself, wherever it now is.
    void initTestCase()
    {
        QVERIFY(work.isValid());
        const QString first = work.filePath(QStringLiteral("installed-here"));
        Run install = run(QStringLiteral(CMAKE_COMMAND),
                          {QStringLiteral("--install"), QStringLiteral(KELVANE_BUILD_DIR),
                           QStringLiteral("--prefix"), first});
        QVERIFY2(install.status == 0, qPrintable(install.out + install.err));
        prefix = work.filePath(QStringLiteral("moved-there"));
        QVERIFY(QDir().rename(first, prefix));
    }

    void installedFiles()
    {
        const QStringList expected = {
            QStringLiteral("bin/kelvane"),
            QStringLiteral("share/applications/%1.desktop").arg(appId),
            QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId),
            QStringLiteral("share/mime/packages/kelvane.xml"),
            QStringLiteral("share/man/man1/kelvane.1.gz"),
            QStringLiteral("share/bash-completion/completions/kelvane"),
            QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(appId),
        };
        for (const QString& file : expected) {
            QVERIFY2(QFileInfo(installed(file)).isFile(), qPrintable(file));
        }
        QVERIFY(QFileInfo(installed(QStringLiteral("bin/kelvane"))).isExecutable());

        // Every sample of the source tree, whatever is added to it later.
        const QDir source(QStringLiteral(KELVANE_SOURCE_DIR "/samples"));
        const QStringList samples = source.entryList(QDir::Files);
        QVERIFY(samples.contains(QStringLiteral("boxes.npr")));
        for (const QString& sample : samples) {
            QCOMPARE(readFile(installed(QStringLiteral("share/kelvane/samples/") + sample)),
                     readFile(source.filePath(sample)));
        }

        // The icon theme's sizes are real pictures of the size their folder
        // says, and the drawing they come from is a well-formed SVG.
        for (int size : iconSizes) {
            const QString path = installed(
                QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(appId));
            const QImage image(path);
            QVERIFY2(!image.isNull(), qPrintable(path));
            QCOMPARE(image.size(), QSize(size, size));
            QVERIFY(image.hasAlphaChannel());
        }
        QDomDocument svg;
        QVERIFY(svg.setContent(
            readFile(
                installed(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(appId))),
            true));
        QCOMPARE(svg.documentElement().localName(), QStringLiteral("svg"));

        // The manual page formats without a warning.
        const QString man = QStandardPaths::findExecutable(QStringLiteral("man"));
        if (man.isEmpty()) {
            QSKIP("man is not installed (Debian package man-db)");
        }
        Run page = run(man, {QStringLiteral("--warnings"), QStringLiteral("-l"),
                             installed(QStringLiteral("share/man/man1/kelvane.1.gz"))});
        QVERIFY2(page.status == 0 && page.err.isEmpty(), qPrintable(page.err));
        QVERIFY(page.out.contains(QStringLiteral("--render")));
    }

    // The MIME package declares the types no standard package has, with the
    // patterns file managers match, and shared-mime-info accepts it.
    void mimePackage()
    {
        const QString package = installed(QStringLiteral("share/mime/packages/kelvane.xml"));
        QString error;
        const QMap<QString, QStringList> types = mimeTypes(package, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(types.value(QStringLiteral("model/x-npr")), QStringList{QStringLiteral("*.npr")});
        QCOMPARE(types.value(QStringLiteral("application/x-kelvane-scene")),
                 QStringList{QStringLiteral("*.kelvane")});

        const QString update =
            QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
        if (update.isEmpty()) {
            QSKIP("update-mime-database is not installed (Debian package shared-mime-info)");
        }
        const QString database = installed(QStringLiteral("share/mime"));
        Run built = run(update, {QStringLiteral("-V"), database});
        QVERIFY2(built.status == 0, qPrintable(built.err));
        QVERIFY2(!built.err.contains(QLatin1String("rror")), qPrintable(built.err));
        const QByteArray globs = readFile(database + QStringLiteral("/globs2"));
        QVERIFY(globs.contains(":model/x-npr:*.npr\n"));
        QVERIFY(globs.contains(":application/x-kelvane-scene:*.kelvane\n"));
        QVERIFY(QFileInfo(database + QStringLiteral("/model/x-npr.xml")).isFile());
    }

    // The menu entry starts the installed program on a file, shows the
    // installed icon and offers only types that some MIME package defines.
    void desktopEntry()
    {
        const QString path = installed(QStringLiteral("share/applications/%1.desktop").arg(appId));
        const QByteArray entry = readFile(path);
        QCOMPARE(desktopList(entry, "Exec"), QStringList{QStringLiteral("kelvane %f")});
        QCOMPARE(desktopList(entry, "Icon"), QStringList{appId});
        QCOMPARE(desktopList(entry, "Categories"),
                 QStringList({QStringLiteral("Graphics"), QStringLiteral("3DGraphics")}));

        // OBJ and KMZ have standard types, defined by the system's database.
        const QStringList offered = desktopList(entry, "MimeType");
        QMap<QString, QStringList> known =
            mimeTypes(installed(QStringLiteral("share/mime/packages/kelvane.xml")));
        QStringList suffixes = {"*.npr", "*.kelvane", "*.ply", "*.off", "*.dae", "*.fbx"};
        const QString system = QStringLiteral("/usr/share/mime/packages/freedesktop.org.xml");
        const bool haveSystem = QFileInfo::exists(system);
        if (haveSystem) {
            const QMap<QString, QStringList> standard = mimeTypes(system);
            for (auto it = standard.begin(); it != standard.end(); ++it) {
                known[it.key()] += it.value();
            }
            suffixes << QStringLiteral("*.obj") << QStringLiteral("*.kmz") << QStringLiteral("*.stl")
                     << QStringLiteral("*.gltf") << QStringLiteral("*.glb")
                     << QStringLiteral("*.3mf") << QStringLiteral("*.3ds");
            for (const QString& type : offered) {
                QVERIFY2(known.contains(type),
                         qPrintable(QStringLiteral("%1 is defined by no MIME package").arg(type)));
            }
        }
        for (const QString& suffix : suffixes) {
            bool covered = false;
            for (const QString& type : offered) {
                covered = covered || known.value(type).contains(suffix);
            }
            QVERIFY2(covered, qPrintable(QStringLiteral("no offered type matches %1").arg(suffix)));
        }

        const QString validate =
            QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validate.isEmpty()) {
            QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
        }
        Run valid = run(validate, {path});
        QVERIFY2(valid.status == 0 && valid.out.isEmpty(), qPrintable(valid.out + valid.err));
    }

    void metainfo()
    {
        const QString path = installed(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(appId));
        QDomDocument document;
        QVERIFY(document.setContent(readFile(path)));
        const QDomElement component = document.documentElement();
        QCOMPARE(component.firstChildElement(QStringLiteral("id")).text(), appId);
        QCOMPARE(component.firstChildElement(QStringLiteral("launchable")).text(),
                 appId + QStringLiteral(".desktop"));
        // The software centre offers Kelvane for the same types as the menu.
        QStringList mediaTypes;
        const QDomElement provides = component.firstChildElement(QStringLiteral("provides"));
        for (QDomElement type = provides.firstChildElement(QStringLiteral("mediatype"));
             !type.isNull(); type = type.nextSiblingElement(QStringLiteral("mediatype"))) {
            mediaTypes << type.text();
        }
        const QByteArray entry =
            readFile(installed(QStringLiteral("share/applications/%1.desktop").arg(appId)));
        QCOMPARE(mediaTypes, desktopList(entry, "MimeType"));

        const QString appstream = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
        if (appstream.isEmpty()) {
            QSKIP("appstreamcli is not installed (Debian package appstream)");
        }
        Run valid = run(appstream, {QStringLiteral("validate"), QStringLiteral("--no-net"), path});
        QVERIFY2(valid.status == 0, qPrintable(valid.out + valid.err));
    }

    // The installed program runs from the moved prefix, names its samples
    // there, and writes for an installed sample exactly the scene the
    // program in the build folder writes for the same sample.
    void installedProgram()
    {
        const QString kelvane = installed(QStringLiteral("bin/kelvane"));
        QTemporaryDir elsewhere;
        Run version = run(kelvane, {QStringLiteral("--version")}, elsewhere.path());
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QStringLiteral("kelvane " KELVANE_VERSION "\n"));

        Run help = run(kelvane, {QStringLiteral("--help")}, elsewhere.path());
        QCOMPARE(help.status, 0);
        const QString samples =
            QFileInfo(installed(QStringLiteral("share/kelvane/samples"))).canonicalFilePath();
        QVERIFY2(help.out.contains(QStringLiteral("Sample scenes are in %1\n").arg(samples)),
                 qPrintable(help.out));

        const QString installedPov = elsewhere.filePath(QStringLiteral("installed.pov"));
        Run pov =
            run(kelvane,
                {QStringLiteral("--pov"), installedPov, samples + QStringLiteral("/boxes.npr")},
                elsewhere.path());
        QVERIFY2(pov.status == 0, qPrintable(pov.err));
        const QString builtPov = elsewhere.filePath(QStringLiteral("built.pov"));
        Run reference = run(QStringLiteral(KELVANE_EXE),
                            {QStringLiteral("--pov"), builtPov,
                             QStringLiteral(KELVANE_SOURCE_DIR "/samples/boxes.npr")},
                            elsewhere.path());
        QVERIFY2(reference.status == 0, qPrintable(reference.err));
        const QByteArray text = readFile(installedPov);
        QVERIFY(text.contains("mesh"));
        QCOMPARE(text, readFile(builtPov));
    }

    // The installed thumbnailer, run as a file manager runs it (its Exec line
    // with the size, the file and the picture's name) with no display: a
    // square picture of the size asked, transparent in the corners, the
    // model in the middle, and no other file left behind. The entry is
    // well formed and names the types the menu entry offers, every type of
    // the MIME package among them.
    void thumbnailer_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("NPR") << QStringLiteral(KELVANE_SOURCE_DIR "/samples/boxes.npr");
        QTest::newRow("scene document")
            << QStringLiteral(KELVANE_SOURCE_DIR "/samples/showcase.kelvane");
        QTest::newRow("OFF") << QStringLiteral(KELVANE_SOURCE_DIR "/samples/torus.off");
        const QString shared = QStringLiteral(KELVANE_SOURCE_DIR "/../shared/data/");
        QTest::newRow("PLY") << shared + "ply/threejs-examples/dolphins_colored.ply";
        QTest::newRow("STL") << shared + "stl/admesh/examples/block.stl";
        QTest::newRow("OBJ") << shared + "obj-mtl/tinyobjloader/cornell_box.obj";
        QTest::newRow("3DS") << shared + "3ds/assimp/RotatingCube.3DS";
        QTest::newRow("COLLADA") << shared + "dae/kml-samples/bldg.dae";
        QTest::newRow("KMZ") << shared + "kmz/kml-samples/macky-normal.kmz";
        QTest::newRow("glTF binary") << shared + "gltf/python-trimesh/CesiumMilkTruck.glb";
        QTest::newRow("3MF") << shared + "3mf/3mf-samples/core/box.3mf";
        QTest::newRow("FBX") << shared + "fbx/magnum-plugins/blender-default.fbx";
    }
    void thumbnailer()
    {
        QFETCH(QString, file);
        const QByteArray entry = readFile(installed(QStringLiteral("share/thumbnailers/kelvane.thumbnailer")));
        const QList<QByteArray> lines = entry.trimmed().split('\n');
        QCOMPARE(lines.value(0), QByteArray("[Thumbnailer Entry]"));
        QSet<QByteArray> keys;
        for (const QByteArray& line : lines.mid(1)) {
            const int equals = line.indexOf('=');
            QVERIFY2(equals > 0, line.constData());
            keys << line.left(equals);
        }
        QCOMPARE(keys, QSet<QByteArray>({"TryExec", "Exec", "MimeType"}));
        QCOMPARE(desktopList(entry, "TryExec"), QStringList{QStringLiteral("kelvane")});
        const QStringList types = desktopList(entry, "MimeType");
        QCOMPARE(types, desktopList(readFile(installed(
                                        QStringLiteral("share/applications/%1.desktop").arg(appId))),
                                    "MimeType"));
        for (const QString& type :
             mimeTypes(installed(QStringLiteral("share/mime/packages/kelvane.xml"))).keys()) {
            QVERIFY2(types.contains(type), qPrintable(type));
        }
        QStringList exec = QString::fromUtf8(desktopList(entry, "Exec").join(';').toUtf8())
                               .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(exec.value(0), QStringLiteral("kelvane"));

        if (!QFileInfo::exists(file)) {
            QSKIP("../shared/data is absent");
        }
        // The file manager's own names: an input whose type it knows and an
        // output of its choosing.
        QTemporaryDir folder;
        const QString picture = folder.filePath(QStringLiteral("thumbnail.png"));
        exec[0] = installed(QStringLiteral("bin/kelvane"));
        exec.replaceInStrings(QStringLiteral("%s"), QStringLiteral("96"));
        exec.replaceInStrings(QStringLiteral("%i"), file);
        exec.replaceInStrings(QStringLiteral("%o"), picture);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        const Run made = runProgram(exec.takeFirst(), exec, env, folder.path());
        QVERIFY2(made.status == 0, qPrintable(made.err));
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{QStringLiteral("thumbnail.png")});
        const QImage image(picture);
        QCOMPARE(image.size(), QSize(96, 96));
        QVERIFY(image.hasAlphaChannel());
        for (const QPoint corner : {QPoint(0, 0), QPoint(95, 0), QPoint(0, 95), QPoint(95, 95)}) {
            QCOMPARE(qAlpha(image.pixel(corner)), 0);
        }
        // The model covers a good part of the middle.
        int opaque = 0;
        for (int y = 24; y < 72; ++y) {
            for (int x = 24; x < 72; ++x) {
                opaque += qAlpha(image.pixel(x, y)) == 255;
            }
        }
        QVERIFY2(opaque > 48 * 48 / 10, qPrintable(QString::number(opaque)));

        // Never over a file the scene is read from, such as a document's
        // model.
        if (file.endsWith(QLatin1String(".kelvane"))) {
            const QString model = installed(QStringLiteral("share/kelvane/samples/showcase.off"));
            const QByteArray before = readFile(model);
            const Run refused = runProgram(installed(QStringLiteral("bin/kelvane")),
                                           {QStringLiteral("--thumbnail"), QStringLiteral("96"),
                                            installed(QStringLiteral("share/kelvane/samples/"
                                                                     "showcase.kelvane")),
                                            model},
                                           env);
            QCOMPARE(refused.status, 1);
            QCOMPARE(readFile(model), before);
        }
    }

    // The window's icon is the installed icon, size for size.
    void windowIcon()
    {
        const QIcon icon = kelvaneIcon();
        QVERIFY(!icon.isNull());
        for (int size : iconSizes) {
            const QImage shown = icon.pixmap(QSize(size, size))
                                     .toImage()
                                     .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            const QImage theme =
                QImage(installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png")
                                     .arg(size)
                                     .arg(appId)))
                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
            QCOMPARE(shown, theme);
        }
    }

    // The Debian package: built by CPack from this build folder, it holds
    // the installation under /usr and depends on the libraries the program
    // links and on POV-Ray. The listing is printed for the record.
    void debianPackage()
    {
        for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                QSKIP(qPrintable(
                    QStringLiteral("%1 is not installed (Debian package dpkg-dev)").arg(tool)));
            }
        }
        QTemporaryDir out;
        Run cpack = run(QStringLiteral(CPACK_COMMAND),
                        {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"),
                         out.path(), QStringLiteral("--config"),
                         QStringLiteral(KELVANE_BUILD_DIR "/CPackConfig.cmake")},
                        QStringLiteral(KELVANE_BUILD_DIR), 300000);
        QVERIFY2(cpack.status == 0, qPrintable(cpack.out + cpack.err));
        const QStringList debs = QDir(out.path()).entryList({QStringLiteral("kelvane_*.deb")});
        QCOMPARE(debs.size(), 1);
        QVERIFY2(debs.first().startsWith(QStringLiteral("kelvane_" KELVANE_VERSION "_")),
                 qPrintable(debs.first()));
        const QString deb = out.filePath(debs.first());

        Run fields =
            run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Package"),
                                             QStringLiteral("Version"), QStringLiteral("Depends")});
        QCOMPARE(fields.status, 0);
        qInfo().noquote() << fields.out.trimmed();
        QVERIFY(fields.out.contains(QStringLiteral("Package: kelvane\n")));
        QVERIFY(fields.out.contains(QStringLiteral("Version: " KELVANE_VERSION "\n")));
        QString depends = fields.out.mid(fields.out.indexOf(QStringLiteral("Depends:")));
        QSet<QString> packages;
        for (const QString& alternatives : depends.mid(8).split(QLatin1Char(','))) {
            packages << alternatives.trimmed().section(QLatin1Char(' '), 0, 0);
        }
        for (const char* needed : {"povray", "povray-includes", "libqt5widgets5", "libqt5xml5",
                                   "libqglviewer2-qt5", "libminizip1"}) {
            QVERIFY2(packages.contains(QString::fromLatin1(needed)),
                     qPrintable(QStringLiteral("%1 is missing from %2").arg(needed, depends)));
        }

        Run contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
        QCOMPARE(contents.status, 0);
        qInfo().noquote() << contents.out.trimmed();
        QStringList files;
        for (const QString& line : contents.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString file = line.section(QLatin1Char(' '), -1);
            QVERIFY2(file.startsWith(QLatin1String("./usr/")), qPrintable(line));
            files << file;
        }
        for (const QString& file :
             {QStringLiteral("./usr/bin/kelvane"),
              QStringLiteral("./usr/share/applications/%1.desktop").arg(appId),
              QStringLiteral("./usr/share/mime/packages/kelvane.xml"),
              QStringLiteral("./usr/share/metainfo/%1.metainfo.xml").arg(appId),
              QStringLiteral("./usr/share/icons/hicolor/48x48/apps/%1.png").arg(appId),
              QStringLiteral("./usr/share/man/man1/kelvane.1.gz"),
              QStringLiteral("./usr/share/kelvane/samples/boxes.npr")}) {
            QVERIFY2(files.contains(file), qPrintable(file));
        }
    }
};

QTEST_MAIN(TestInstall)
#include "tst_Install.moc"
