#include "ln/LnNprReader.h"
#include "tests/support/StderrCapture.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// One tetrahedron-like patch written in each of the three variants.
const char* const noHeader = "0 0 0 2 2 2 trailing words are skipped\n"
                             "vertices 4\n"
                             "0 0 0\n2 0 0\n0 2 0\n0 0 2\n"
                             "faces 2\n"
                             "0 1 2 [0.25, 0.5, 0.75]\n"
                             "0 2 3 [1,0,0]\n"
                             "lines 2\n"
                             "3 0 7\n0 0 0\n1 1 1\n2 2 2\n"
                             "2 1 0\n5 5 5\n6 6 6\n";

const char* const version1 = "# NPR MODEL V 1\n"
                             "0 0 0 2 2 2\n"
                             "vertices 4\n"
                             "0 0 0\n2 0 0\n0 2 0\n0 0 2\n"
                             "normals 2\n"
                             "0 0 3\n0 0 0\n"
                             "faces 2\n"
                             "0 1 2 0 0 1 [0.25, 0.5, 0.75]\n"
                             "0 2 3 1 1 1  [1,0,0]\n"
                             "lines 2\n"
                             "3 0 7\n0 0 0\n1 1 1\n2 2 2\n"
                             "2 1 0\n5 5 5\n6 6 6\n";

const char* const version2 = "# NPR MODEL V 2\n"
                             "0 0 0 2 2 2\n"
                             "vertices 4\n"
                             "0 0 0\n2 0 0\n0 2 0\n0 0 2\n"
                             "normals 2\n"
                             "0 0 3\n0 0 0\n"
                             "faces 2\n"
                             "0 1 2 0 0 1 [0.25, 0.5, 0.75]\n"
                             "0 2 3 1 1 1 [1,0,0]\n"
                             "lines 2\n"
                             "3 0 7\n0 0 0\n1 1 1\n2 2 2\n4 5\n6 7\n"
                             "2 1 0\n5 5 5\n6 6 6\n8 9\n";

struct Parsed {
    LnBoxyMeshData mesh;
    LnPathList paths;
    std::string error;
    QString stderrText;
    bool ok = false;
};

void parse(const std::string& text, Parsed& out)
{
    StderrCapture err;
    out.ok = readNprModel(text.data(), text.size(), out.mesh, out.paths, out.error);
    out.stderrText = err.text();
}

} // namespace

class TestLnNprReader : public QObject {
    Q_OBJECT
private slots:
    void threeVariants_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hasNormals");
        QTest::newRow("no header") << QString(noHeader) << false;
        QTest::newRow("version 1") << QString(version1) << true;
        QTest::newRow("version 2") << QString(version2) << true;
        QTest::newRow("version 1, Windows line ends")
            << QString(version1).replace("\n", "\r\n") << true;
    }
    void threeVariants()
    {
        QFETCH(QString, text);
        QFETCH(bool, hasNormals);
        Parsed p;
        parse(text.toStdString(), p);
        QVERIFY2(p.ok, p.error.c_str());
        QCOMPARE(p.stderrText, QString());
        QCOMPARE(p.mesh.hasNormals, hasNormals);
        QCOMPARE(int(p.mesh.vertices.size()), 4);
        QCOMPARE(p.mesh.vertices[3], vec(0, 0, 2));
        QCOMPARE(p.mesh.numFaces(), 2);
        const LnFace& f = p.mesh.faces[0];
        QCOMPARE(f.a, 0u);
        QCOMPARE(f.b, 1u);
        QCOMPARE(f.c, 2u);
        QCOMPARE(f.red, 0.25f);
        QCOMPARE(f.green, 0.5f);
        QCOMPARE(f.blue, 0.75f);
        QCOMPARE(p.mesh.faces[1].red, 1.0f);
        if (hasNormals) {
            QCOMPARE(int(p.mesh.normals.size()), 2);
            QCOMPARE(p.mesh.normals[0], vec(0, 0, 1)); // normalised on reading
            QCOMPARE(p.mesh.normals[1], vec(1, 0, 0)); // zero length
            QCOMPARE(p.mesh.faces[0].nc, 1u);
        } else {
            QVERIFY(p.mesh.normals.empty());
            QCOMPARE(p.mesh.faces[0].nc, 0u);
        }
        // Bounding sphere from the box line, not from the vertices.
        QCOMPARE(p.mesh.center, vec(1, 1, 1));
        QCOMPARE(p.mesh.radius, std::sqrt(3.0f));
        // The hidden second line is dropped.
        QCOMPARE(p.paths.size(), 1);
        const LnPath* path = p.paths[0];
        QCOMPARE(path->kind, 0);
        QCOMPARE(int(path->points.size()), 3);
        QCOMPARE(int(path->attributes.size()), 3);
        QCOMPARE(path->points[2], vec(2, 2, 2));
        const int strength = attributeSlot(nameHash("strength"));
        for (const LnAttributeRecord& r : path->attributes) {
            for (int s = 0; s < 8; ++s) {
                QCOMPARE(r.values[s], s == strength ? 1.0f : 0.0f);
            }
        }
    }

    void hiddenLineFollowedByVisibleLine()
    {
        Parsed p;
        parse("# NPR MODEL V 2\n0 0 0 1 1 1\nv 0\nn 0\nf 0\nl 3\n"
              "2 1 0\n0 0 0\n1 0 0\n3 4\n"
              "2 0 0\n0 1 0\n1 1 0\n5 6\n"
              "1 0 0\n9 9 9\n",
              p);
        QVERIFY2(p.ok, p.error.c_str());
        QCOMPARE(p.paths.size(), 2);
        QCOMPARE(p.paths[0]->points[0], vec(0, 1, 0));
        QCOMPARE(p.paths[1]->points[0], vec(9, 9, 9)); // one point: no pairs
    }

    void emptyModelKeepsTheBoxSphere()
    {
        Parsed p;
        parse("-1 -1 -1 1 1 1\nv 0\nf 0\nl 0\n", p);
        QVERIFY(p.ok);
        QCOMPARE(p.mesh.numFaces(), 0);
        QCOMPARE(p.mesh.center, vec(0, 0, 0));
        QCOMPARE(p.mesh.radius, std::sqrt(3.0f));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QString>("reason");
        const QString box = "0 0 0 1 1 1\n";
        const QString three = "v 3\n0 0 0\n1 0 0\n0 1 0\n";
        QTest::newRow("blank before a comma")
            << box + three + "f 1\n0 1 2 [0.5 , 0.5, 0.5]\nl 0\n"
            << " LN ERROR - LnBoxyModel::LnBoxyModel-parse error 1\n\n"
            << "face 0 is malformed (parse error 1)";
        QTest::newRow("face with too few values")
            << box + three + "f 1\n0 1 [0.5, 0.5, 0.5]\nl 0\n"
            << " LN ERROR - LnBoxyModel::LnBoxyModel-parse error 1\n\n"
            << "face 0 is malformed (parse error 1)";
        QTest::newRow("face without brackets")
            << box + three + "f 1\n0 1 2 0.5, 0.5, 0.5\nl 0\n"
            << " LN ERROR - LnBoxyModel::LnBoxyModel-parse error 1\n\n"
            << "face 0 is malformed (parse error 1)";
        QTest::newRow("header face in the short form")
            << "# NPR MODEL V 1\n" + box + three + "n 1\n0 0 1\nf 1\n0 1 2 [1, 1, 1]\nl 0\n"
            << " LN ERROR - LnBoxyModel::LnBoxyModel-parse error 1\n\n"
            << "face 0 is malformed (parse error 1)";
        QTest::newRow("line header too short")
            << box + three + "f 0\nl 1\n2 0\n"
            << " LN ERROR - LnBoxyModel::LnBoxyModel-parse error 3\n\n"
            << "line 0 has a malformed header (parse error 3)";
        QTest::newRow("line point too short")
            << box + three + "f 0\nl 1\n2 0 0\n0 0 0\n1 1\n"
            << " LN ERROR - LnBoxyModel::LnBoxyModel-parse error 3\n\n"
            << "point 1 of line 0 is malformed (parse error 3)";
        QTest::newRow("segment pair missing")
            << "# NPR MODEL V 2\n" + box + three +
                   "n 0\nf 0\nl 1\n3 0 0\n0 0 0\n1 1 1\n2 2 2\n1 2\n"
            << " LN ERROR - LnBoxyModel::LnBoxyModel-parse error 4\n\n"
            << "segment 1 of line 0 is malformed (parse error 4)";
        QTest::newRow("vertex index out of range")
            << box + three + "f 1\n0 1 3 [1, 1, 1]\nl 0\n"
            << " LN ERROR - LnBoxyModel: face 0 uses vertex index 3, but the file has 3 vertices\n"
            << "face 0 uses vertex index 3, but the file has 3 vertices";
        QTest::newRow("negative vertex index")
            << box + three + "f 1\n0 -1 2 [1, 1, 1]\nl 0\n"
            << " LN ERROR - LnBoxyModel: face 0 uses vertex index -1, but the file has 3 vertices\n"
            << "face 0 uses vertex index -1, but the file has 3 vertices";
        QTest::newRow("normal index out of range")
            << "# NPR MODEL V 1\n" + box + three + "n 1\n0 0 1\nf 1\n0 1 2 0 0 1 [1, 1, 1]\nl 0\n"
            << " LN ERROR - LnBoxyModel: face 0 uses normal index 1, but the file has 1 normals\n"
            << "face 0 uses normal index 1, but the file has 1 normals";
        QTest::newRow("bounding box not numbers")
            << "0 0 zero 1 1 1\nv 0\nf 0\nl 0\n"
            << " LN ERROR - LnBoxyModel: the bounding box is not six numbers\n"
            << "the bounding box is not six numbers";
        QTest::newRow("file ends on the box line")
            << "0 0 0 1 1 1"
            << " LN ERROR - LnBoxyModel: the file ends after the bounding box\n"
            << "the file ends after the bounding box";
        QTest::newRow("vertex count not a number")
            << box + "v many\n"
            << " LN ERROR - LnBoxyModel: the vertex count is not a valid number\n"
            << "the vertex count is not a valid number";
        QTest::newRow("vertex not numbers")
            << box + "v 2\n0 0 0\n1 x 0\n"
            << " LN ERROR - LnBoxyModel: vertex 1 of 2 is not three numbers\n"
            << "vertex 1 of 2 is not three numbers";
        QTest::newRow("normal not numbers")
            << "# NPR MODEL V 1\n" + box + three + "n 1\n0 0\n"
            << " LN ERROR - LnBoxyModel: normal 0 of 1 is not three numbers\n"
            << "normal 0 of 1 is not three numbers";
        QTest::newRow("file ends before the faces")
            << box + three << " LN ERROR - LnBoxyModel: the file ends before the face section\n"
            << "the file ends before the face section";
        QTest::newRow("file ends before the lines")
            << box + three + "f 0\n"
            << " LN ERROR - LnBoxyModel: the file ends before the line section\n"
            << "the file ends before the line section";
        QTest::newRow("huge vertex count in a tiny file")
            << box + "v 2000000000\n0 0 0\n"
            << " LN ERROR - LnBoxyModel: vertex 1 of 2000000000 is not three numbers\n"
            << "vertex 1 of 2000000000 is not three numbers";
        QTest::newRow("count beyond 32 bits")
            << box + "v 99999999999\n"
            << " LN ERROR - LnBoxyModel: the vertex count is not a valid number\n"
            << "the vertex count is not a valid number";
        QTest::newRow("huge line point count")
            << box + three + "f 0\nl 1\n4000000000 0 0\n1 2 3\n"
            << " LN ERROR - LnBoxyModel::LnBoxyModel-parse error 3\n\n"
            << "point 1 of line 0 is malformed (parse error 3)";
        QTest::newRow("empty file")
            << ""
            << " LN ERROR - LnBoxyModel: the bounding box is not six numbers\n"
            << "the bounding box is not six numbers";
    }
    void failures()
    {
        QFETCH(QString, text);
        QFETCH(QString, printed);
        QFETCH(QString, reason);
        Parsed p;
        parse(text.toStdString(), p);
        QVERIFY(!p.ok);
        QCOMPARE(p.stderrText, printed);
        QCOMPARE(QString::fromStdString(p.error), reason);
    }

    void colourBrackets_data()
    {
        QTest::addColumn<QString>("face");
        QTest::newRow("no blanks") << "0 1 2 [0.1,0.2,0.3]";
        QTest::newRow("blanks after commas") << "0 1 2 [0.1, 0.2,  0.3]";
        QTest::newRow("blank before the bracket") << "0 1 2   [0.1,0.2,0.3]";
        QTest::newRow("no blank before the bracket") << "0 1 2[0.1,0.2,0.3]";
        QTest::newRow("blank before the closing bracket") << "0 1 2 [0.1,0.2,0.3 ]";
    }
    void colourBrackets()
    {
        QFETCH(QString, face);
        Parsed p;
        parse(("0 0 0 1 1 1\nv 3\n0 0 0\n1 0 0\n0 1 0\nf 1\n" + face + "\nl 0\n").toStdString(), p);
        QVERIFY2(p.ok, p.error.c_str());
        QCOMPARE(p.mesh.faces[0].red, 0.1f);
        QCOMPARE(p.mesh.faces[0].green, 0.2f);
        QCOMPARE(p.mesh.faces[0].blue, 0.3f);
    }

    void numbersIgnoreTheLocale()
    {
        // Decimal points are '.', whatever LC_NUMERIC says.
        const char* previous = setlocale(LC_NUMERIC, "de_DE.UTF-8");
        Parsed p;
        parse("0 0 0 1.5 1.5 1.5\nv 0\nf 0\nl 0\n", p);
        if (previous) {
            setlocale(LC_NUMERIC, "C");
        }
        QVERIFY(p.ok);
        QCOMPARE(p.mesh.center, vec(0.75f, 0.75f, 0.75f));
    }

    void missingFile()
    {
        QTemporaryDir dir;
        const QByteArray path = (dir.path() + "/absent.npr").toLocal8Bit();
        std::string bytes, error;
        StderrCapture err;
        QVERIFY(!readNprFileBytes(path.constData(), bytes, error));
        QCOMPARE(err.text(), " LN ERROR -  LnBoxyModel: failed to open '" + QString(path) + "'\n");
        QCOMPARE(QString::fromStdString(error),
                 QString("the file cannot be read (No such file or directory)"));
    }

    void directoryIsRefused()
    {
        QTemporaryDir dir;
        std::string bytes, error;
        StderrCapture err;
        QVERIFY(!readNprFileBytes(dir.path().toLocal8Bit().constData(), bytes, error));
        QVERIFY(err.text().contains("failed to open"));
    }
};

QTEST_GUILESS_MAIN(TestLnNprReader)
#include "tst_LnNprReader.moc"
