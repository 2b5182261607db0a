#include "collada/CdaScene.h"
#include "tests/collada/CdaTestUtil.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace cdatest;

namespace {

// A document with one effect, one material, one geometry and a "Model"
// node with one child; the ids carry `tag` so two documents differ.
QByteArray smallDocument(const QString& tag)
{
    return document(
        QStringLiteral("<library_effects><effect id=\"e%1\"/></library_effects>"
                       "<library_materials><material id=\"m%1\"><instance_effect url=\"#e%1\"/>"
                       "</material></library_materials>"
                       "<library_geometries>%2</library_geometries>")
            .arg(tag, unitTriangle(QStringLiteral("g") + tag)),
        QStringLiteral("<node id=\"Model\"><node id=\"child%1\">"
                       "<instance_geometry url=\"#g%1\"/></node></node>")
            .arg(tag));
}

} // namespace

class TestCdaScene : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString previous;

    QString path(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        // "dom_error_dump.txt" lands in the current directory.
        previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
    }
    void cleanupTestCase() { QDir::setCurrent(previous); }

    void newSceneIsEmpty()
    {
        CdaScene scene;
        QVERIFY(!scene.root());
        QCOMPARE(scene.effectCount() + scene.materialCount() + scene.lightCount() +
                     scene.cameraCount() + scene.geometryCount() + scene.libraryNodeCount(),
                 0);
        QVERIFY(!scene.findNode(QString()));
    }

    void readerChosenByTheLastThreeLetters_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("line");
        QTest::newRow("model.KMZ is an archive") << "model.KMZ"
                                                 << "CdaScene::load: could not open: %1\n";
        QTest::newRow("modelxkmz is an archive") << "modelxkmz"
                                                 << "CdaScene::load: could not open: %1\n";
        QTest::newRow("model.obj is refused") << "model.obj"
                                              << "CdaScene::load: unrecognized file type: %1\n";
        QTest::newRow("model.kmz.txt is refused") << "model.kmz.txt"
                                                  << "CdaScene::load: unrecognized file type: %1\n";
    }
    void readerChosenByTheLastThreeLetters()
    {
        QFETCH(QString, name);
        QFETCH(QString, line);
        CdaScene scene;
        expectLine(line.arg(path(name)));
        QVERIFY(!scene.load(path(name)));
        QVERIFY(!scene.root());
    }

    void missingDaeFileIsSilent()
    {
        CdaScene scene;
        QVERIFY(!scene.load(path(QStringLiteral("missing.DAE"))));
    }

    void daeFileIsOpenedAndRead()
    {
        const QString file = path(QStringLiteral("small.Dae"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(smallDocument(QStringLiteral("1")));
        f.close();
        CdaScene scene;
        expectLine(QStringLiteral("CdaScene::load: Opened %1\n").arg(file));
        expectLoadLines(1, 1, 0, 0, 1, 0);
        QVERIFY(scene.load(file));
        QVERIFY(scene.findNode(QStringLiteral("child1")));
    }

    void notAZipArchive()
    {
        const QString file = path(QStringLiteral("text.kmz"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("PK\x03\x04 but nothing more than a few bytes of text");
        f.close();
        CdaScene scene;
        expectLine(QStringLiteral("CdaScene::load: could not open: %1\n").arg(file));
        QVERIFY(!scene.loadKmz(file));
    }

    void archiveWithoutDocuments()
    {
        const QString file = path(QStringLiteral("nodae.kmz"));
        QVERIFY(writeZip(file, {{"doc.kml", "<kml/>"}, {"images/a.dae.png", "png"}}));
        CdaScene scene;
        QVERIFY(scene.load(file)); // nothing is written
        QVERIFY(!scene.root());
        QCOMPARE(scene.geometryCount(), 0);
    }

    void emptyArchive()
    {
        const QString file = path(QStringLiteral("empty.kmz"));
        QVERIFY(writeZip(file, {}));
        CdaScene scene;
        // minizip does not open an archive without entries.
        expectLine(QStringLiteral("CdaScene::load: could not open: %1\n").arg(file));
        QVERIFY(!scene.load(file));
        QVERIFY(!scene.root());
    }

    void twoDocumentsAccumulate()
    {
        const QString file = path(QStringLiteral("two.kmz"));
        QVERIFY(writeZip(file, {{"doc.kml", "<kml/>"},
                                {"models/a.dae", smallDocument(QStringLiteral("A"))},
                                {"models/b.dae", smallDocument(QStringLiteral("B"))}}));
        CdaScene scene;
        expectLoadLines(1, 1, 0, 0, 1, 0);
        expectLoadLines(2, 2, 0, 0, 2, 0);
        QVERIFY(scene.load(file));
        QCOMPARE(scene.geometry(0).id, QStringLiteral("gA"));
        QCOMPARE(scene.geometry(1).id, QStringLiteral("gB"));
        QCOMPARE(scene.material(1).effect, &scene.effect(1));
        // The root is the second document's visual scene.
        QVERIFY(scene.findNode(QStringLiteral("childB")));
        QVERIFY(!scene.findNode(QStringLiteral("childA")));
    }

    void entryNamesAreMatchedByTheirEnd()
    {
        const QString file = path(QStringLiteral("names.kmz"));
        QVERIFY(writeZip(file, {{"models/MODEL.DAE", smallDocument(QStringLiteral("up"))},
                                {"models/model.dae.bak", "not even XML"},
                                {"notes.txt", "not even XML"}}));
        CdaScene scene;
        expectLoadLines(1, 1, 0, 0, 1, 0);
        QVERIFY(scene.load(file));
        QCOMPARE(scene.geometryCount(), 1);
    }

    void malformedEntryAmongGoodOnes()
    {
        QFile::remove(QStringLiteral("dom_error_dump.txt"));
        const QByteArray broken = "<COLLADA><library_effects></COLLADA>\n";
        const QString file = path(QStringLiteral("mixed.kmz"));
        QVERIFY(writeZip(file, {{"a.dae", smallDocument(QStringLiteral("A"))},
                                {"broken.dae", broken},
                                {"c.dae", smallDocument(QStringLiteral("C"))}}));
        CdaScene scene;
        expectLoadLines(1, 1, 0, 0, 1, 0);
        expectLine(
            QStringLiteral("CdaScene::load: DOM read failure: tag mismatch at row 1, col 36\n"));
        expectLoadLines(2, 2, 0, 0, 2, 0);
        QVERIFY(scene.load(file));
        QFile dump(QStringLiteral("dom_error_dump.txt"));
        QVERIFY(dump.open(QIODevice::ReadOnly));
        QCOMPARE(dump.readAll(), broken);
        QCOMPARE(scene.geometryCount(), 2);
    }

    void failedParseLeavesTheSceneAlone()
    {
        CdaScene scene;
        expectLoadLines(1, 1, 0, 0, 1, 0);
        QVERIFY(scene.load(smallDocument(QStringLiteral("A"))));
        expectLine(QStringLiteral(
            "CdaScene::load: DOM read failure: unexpected end of file at row 1, col 1\n"));
        QVERIFY(!scene.load(QByteArray()));
        QCOMPARE(scene.geometryCount(), 1);
        QVERIFY(scene.findNode(QStringLiteral("childA")));
    }

    void documentWithoutVisualScene()
    {
        CdaScene scene;
        expectLoadLines(0, 0, 0, 0, 1, 0);
        QVERIFY(scene.load(document(QStringLiteral("<library_geometries>%1</library_geometries>")
                                        .arg(unitTriangle(QStringLiteral("g"))))));
        QVERIFY(scene.root());
        QVERIFY(scene.root()->id.isEmpty());
        QVERIFY(scene.root()->children.empty());
        QVERIFY(!scene.root()->geometry && !scene.root()->instanceNode);
        QCOMPARE(scene.root()->matrix.data()[0], 1.0);
        QCOMPARE(scene.root()->matrix.data()[12], 0.0);
        QCOMPARE(scene.findNode(QString()), scene.root());
    }

    void onlyItemElementsAreRead()
    {
        CdaScene scene;
        expectLoadLines(2, 0, 0, 0, 0, 0);
        QVERIFY(scene.load(document(
            QStringLiteral("<library_effects><extra/><effect id=\"a\"/><asset/><effect id=\"b\"/>"
                           "</library_effects>"
                           "<library_effects><effect id=\"ignored\"/></library_effects>"))));
        QCOMPARE(scene.effect(1).id, QStringLiteral("b"));
        QVERIFY(!scene.findEffect(QStringLiteral("ignored")));
    }

    void lookupsFindTheFirstRecordAndAreExact()
    {
        CdaScene scene;
        expectLoadLines(0, 0, 2, 2, 0, 0);
        QVERIFY(scene.load(document(QStringLiteral(
            "<library_lights><light id=\"L\"><technique_common><point/></technique_common>"
            "</light><light id=\"L\"><technique_common><spot/></technique_common></light>"
            "</library_lights>"
            "<library_cameras><camera id=\"c\"/><camera id=\"C\"/></library_cameras>"))));
        QCOMPARE(scene.findLight(QStringLiteral("L")), &scene.light(0));
        QCOMPARE(scene.findCamera(QStringLiteral("C")), &scene.camera(1));
        QVERIFY(!scene.findCamera(QStringLiteral("#C")));
        QVERIFY(!scene.findLight(QStringLiteral("l")));
    }

    void libraryNodesSeeOnlyEarlierOnes()
    {
        CdaScene scene;
        expectLoadLines(0, 0, 0, 0, 0, 3);
        QVERIFY(scene.load(document(
            QStringLiteral("<library_nodes><node id=\"a\"><instance_node url=\"#c\"/></node>"
                           "<node id=\"b\"><instance_node url=\"#a\"/></node>"
                           "<node id=\"c\"/></library_nodes>"))));
        QVERIFY(!scene.libraryNode(0).instanceNode);
        QCOMPARE(scene.libraryNode(1).instanceNode, &scene.libraryNode(0));
    }

    void oversizedEntryIsSkipped()
    {
        const QString file = path(QStringLiteral("bomb.kmz"));
        QVERIFY(writeLyingZip(file, "bomb.dae", smallDocument(QStringLiteral("A")),
                              600ul * 1024 * 1024));
        CdaScene scene;
        expectLine(QStringLiteral("CdaScene::load: bomb.dae in %1 declares 629145600 bytes, more "
                                  "than the 536870912 read from one entry; skipped\n")
                       .arg(file));
        QVERIFY(scene.load(file));
        QVERIFY(!scene.root());
    }

    void oversizedPlainDocumentIsNotRead()
    {
        // A sparse file: its size is refused before a byte is read.
        const QString file = path(QStringLiteral("huge.dae"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QVERIFY(out.resize(600ll * 1024 * 1024));
        out.close();
        CdaScene scene;
        expectLine(QStringLiteral("CdaScene::load: Opened %1\n").arg(file));
        expectLine(QStringLiteral("CdaScene::load: %1 has 629145600 bytes, more than the 536870912 "
                                  "read from one document; not read\n")
                       .arg(file));
        QVERIFY(!scene.load(file));
        QVERIFY(!scene.root());
        QFile::remove(file);
    }

    void entryShorterThanDeclared()
    {
        // Declares 400 MiB, holds a few hundred bytes: the read ends short,
        // and the buffer only ever held what was read.
        const QString file = path(QStringLiteral("short.kmz"));
        QVERIFY(writeLyingZip(file, "short.dae", smallDocument(QStringLiteral("A")),
                              400ul * 1024 * 1024));
        CdaScene scene;
        expectLine(QStringLiteral("CdaScene::load: error reading short.dae in %1\n").arg(file));
        QVERIFY(!scene.load(file));
        QVERIFY(!scene.root());
    }

    void entryLongerThanDeclared()
    {
        const QByteArray bytes = smallDocument(QStringLiteral("A"));
        const QString file = path(QStringLiteral("long.kmz"));
        QVERIFY(writeLyingZip(file, "long.dae", bytes, unsigned(bytes.size() - 20)));
        CdaScene scene;
        // Only the declared bytes are read: the document is cut and fails.
        expectLine(QStringLiteral(
            "CdaScene::load: DOM read failure: unexpected end of file at row 3, col 911\n"));
        QVERIFY(scene.load(file));
        QVERIFY(!scene.root());
    }

    void truncatedArchive()
    {
        const QString whole = path(QStringLiteral("whole.kmz"));
        QVERIFY(writeZip(whole, {{"a.dae", smallDocument(QStringLiteral("A"))}}));
        QFile in(whole);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QByteArray bytes = in.readAll();
        const QString file = path(QStringLiteral("cut.kmz"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(bytes.left(bytes.size() - 30)); // the directory's end is gone
        out.close();
        CdaScene scene;
        expectLine(QStringLiteral("CdaScene::load: could not open: %1\n").arg(file));
        QVERIFY(!scene.load(file));
    }

    void deeplyNestedDocumentIsRefused()
    {
        QByteArray bytes = "<COLLADA><library_visual_scenes><visual_scene>";
        for (int i = 0; i < 100000; ++i) {
            bytes += "<node>";
        }
        for (int i = 0; i < 100000; ++i) {
            bytes += "</node>";
        }
        bytes += "</visual_scene></library_visual_scenes></COLLADA>";
        CdaScene scene;
        expectLine(QStringLiteral(
            "CdaScene::load: elements nested deeper than 512 levels; document not read\n"));
        QVERIFY(!scene.load(bytes));
        QVERIFY(!scene.root());
    }

    void documentsWithTooManyNodesAreRefused()
    {
        // Seven DOM nodes around the list (five elements, two attributes)
        // and two for each listed node (an element and its id): one over
        // the limit in all.
        const long long listed = (CdaScene::maxDocumentNodes + 1 - 7) / 2;
        QByteArray bytes = "<COLLADA><library_visual_scenes><visual_scene id=\"s\">";
        for (long long i = 0; i < listed; ++i) {
            bytes += "<node id=\"n\"/>";
        }
        bytes += "</visual_scene></library_visual_scenes>"
                 "<scene><instance_visual_scene url=\"#s\"/></scene></COLLADA>";
        CdaScene scene;
        expectLine(QStringLiteral(
            "CdaScene::load: more than 2000000 elements and attributes; document not read\n"));
        QVERIFY(!scene.load(bytes));
        QVERIFY(!scene.root());
    }

    void nestingWithinTheLimitIsRead()
    {
        QByteArray bytes = "<COLLADA><library_visual_scenes><visual_scene>";
        for (int i = 0; i < 500; ++i) {
            bytes += "<node id=\"n" + QByteArray::number(i) + "\">";
        }
        for (int i = 0; i < 500; ++i) {
            bytes += "</node>";
        }
        bytes += "</visual_scene></library_visual_scenes></COLLADA>";
        CdaScene scene;
        expectLoadLines(0, 0, 0, 0, 0, 0);
        QVERIFY(scene.load(bytes));
        QVERIFY(scene.findNode(QStringLiteral("n499")));
    }

    void utf16DocumentIsRead()
    {
        QByteArray bytes("\xff\xfe", 2);
        const QString text = QString::fromUtf8(smallDocument(QStringLiteral("W")))
                                 .replace(QStringLiteral("utf-8"), QStringLiteral("utf-16"));
        bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        CdaScene scene;
        expectLoadLines(1, 1, 0, 0, 1, 0);
        QVERIFY(scene.load(bytes));
        QVERIFY(scene.findNode(QStringLiteral("childW")));
    }
};

QTEST_GUILESS_MAIN(TestCdaScene)
#include "tst_CdaScene.moc"
