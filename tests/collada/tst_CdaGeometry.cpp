#include "collada/CdaGeometry.h"
#include "tests/collada/CdaTestUtil.h"

#include <QtTest>

using namespace cdatest;

namespace {

// A mesh with a 3-position source "pos", a 3-normal source "nor", a
// 2-component texture source "tex", and a <triangles> with the inputs and
// <p> given.
QString mesh(const QString& inputs, const QString& p, int count = 1,
             const QString& extra = QString())
{
    return QStringLiteral(
               "<geometry id=\"g\"><mesh>"
               "<source id=\"pos\"><float_array count=\"9\">0 0 0 1 0 0 0 1 0</float_array>"
               "<technique_common><accessor stride=\"3\"/></technique_common></source>"
               "<source id=\"nor\"><float_array count=\"9\">0 0 1 0 0 1 0 0 1</float_array>"
               "<technique_common><accessor stride=\"3\"/></technique_common></source>"
               "<source id=\"tex\"><float_array count=\"6\">0 0 1 0 0 1</float_array>"
               "<technique_common><accessor stride=\"2\"/></technique_common></source>"
               "<vertices id=\"vtx\"><input semantic=\"POSITION\" source=\"#pos\"/></vertices>"
               "<triangles count=\"%1\" material=\"m\">%2<p>%3</p></triangles>%4"
               "</mesh></geometry>")
        .arg(count)
        .arg(inputs, p, extra);
}

QString input(const char* semantic, const char* source, int offset)
{
    return QStringLiteral("<input semantic=\"%1\" source=\"#%2\" offset=\"%3\"/>")
        .arg(QLatin1String(semantic), QLatin1String(source))
        .arg(offset);
}

CdaGeometry decode(const QString& text)
{
    const QDomDocument document = xml(text);
    return CdaGeometry(document.documentElement());
}

// A source of the given stride and values as the only texture source.
QString texSource(const QString& values, int count, const QString& accessor)
{
    return QStringLiteral(
               "<geometry id=\"g\"><mesh>"
               "<source id=\"t\"><float_array count=\"%1\">%2</float_array>"
               "<technique_common>%3</technique_common></source>"
               "<triangles count=\"0\"><input semantic=\"TEXCOORD\" source=\"#t\" offset=\"0\"/>"
               "</triangles></mesh></geometry>")
        .arg(count)
        .arg(values, accessor);
}

// A geometry in a document without a "Model" node: positions as given (x y z
// ...), one normal source "nor" of one +z normal, and the primitives as
// given; decoded with every surface primitive.
CdaGeometry decodeAll(const QString& positions, const QString& primitives)
{
    const int n = positions.split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
    const QDomDocument document =
        xml(QStringLiteral("<geometry id=\"g\"><mesh>"
                           "<source id=\"pos\"><float_array count=\"%1\">%2</float_array>"
                           "<technique_common><accessor stride=\"3\"/></technique_common></source>"
                           "<source id=\"nor\"><float_array count=\"3\">0 0 1</float_array>"
                           "<technique_common><accessor stride=\"3\"/></technique_common></source>"
                           "<vertices id=\"vtx\"><input semantic=\"POSITION\" source=\"#pos\"/>"
                           "</vertices>%3</mesh></geometry>")
                .arg(n)
                .arg(positions, primitives));
    return CdaGeometry(document.documentElement(), CdaGeometry::Decoding::AllSurfaces);
}

// Every triangle faces +z (counter-clockwise seen from above) and uses only
// the listed corners; the area they cover, summed.
double areaFacingUp(const CdaGeometry& g)
{
    double area = 0.0;
    for (const std::vector<CdaTriangle>& group : g.groups) {
        for (const CdaTriangle& t : group) {
            const vec a = g.positions[size_t(t.vertex[0])];
            const vec b = g.positions[size_t(t.vertex[1])];
            const vec c = g.positions[size_t(t.vertex[2])];
            const double z = cross(b - a, c - a)[2];
            if (!(z > 0.0)) {
                return -1.0;
            }
            area += z / 2.0;
        }
    }
    return area;
}

const QString vertexInput =
    QStringLiteral("<input semantic=\"VERTEX\" source=\"#vtx\" offset=\"0\"/>");

} // namespace

class TestCdaGeometry : public QObject {
    Q_OBJECT
private slots:
    void vertexAndNormalReadTwoPerCorner()
    {
        const CdaGeometry g =
            decode(mesh(input("VERTEX", "vtx", 0) + input("NORMAL", "nor", 1), "0 1 1 2 2 0"));
        QCOMPARE(g.id, QStringLiteral("g"));
        QCOMPARE(g.type, QStringLiteral("triangles"));
        QCOMPARE(int(g.positions.size()), 3);
        QCOMPARE(int(g.normals.size()), 3);
        QVERIFY(g.texCoords.empty());
        QCOMPARE(g.positions[1], vec(1, 0, 0));
        QCOMPARE(g.materialSymbols, QStringList{QStringLiteral("m")});
        QCOMPARE(int(g.groups.size()), 1);
        const CdaTriangle& t = g.groups[0][0];
        QCOMPARE(t.vertex[0], 0);
        QCOMPARE(t.vertex[1], 1);
        QCOMPARE(t.vertex[2], 2);
        QCOMPARE(t.normal[0], 1);
        QCOMPARE(t.normal[1], 2);
        QCOMPARE(t.normal[2], 0);
        QCOMPARE(t.texCoord[0], 0);
        QVERIFY(g.indicesInRange());
    }

    void threeInputsReadNinePerTriangle()
    {
        const CdaGeometry g = decode(mesh(input("VERTEX", "vtx", 0) + input("NORMAL", "nor", 1) +
                                              input("TEXCOORD", "tex", 2),
                                          "0 1 2 1 2 0 2 0 1 9", 1));
        QCOMPARE(int(g.texCoords.size()), 3);
        QCOMPARE(g.texCoords[1], vec(1, 0, 0));
        const CdaTriangle& t = g.groups[0][0];
        QCOMPARE(t.vertex[2], 2);
        QCOMPARE(t.normal[2], 0);
        QCOMPARE(t.texCoord[0], 2);
        QCOMPARE(t.texCoord[1], 0);
        QCOMPARE(t.texCoord[2], 1);
    }

    void vertexOnlyReadsThreePerTriangle()
    {
        const CdaGeometry g = decode(mesh(input("VERTEX", "vtx", 0), "2 1 0 0 1 2", 2));
        QCOMPARE(int(g.groups[0].size()), 2);
        QCOMPARE(g.groups[0][1].vertex[0], 0);
        QCOMPARE(g.groups[0][1].vertex[2], 2);
        QVERIFY(g.normals.empty());
        QVERIFY(!g.indicesInRange()); // normal index 0 with no normals
    }

    void gapAtOffsetOneEndsEachCorner()
    {
        const CdaGeometry g =
            decode(mesh(input("VERTEX", "vtx", 0) + input("TEXCOORD", "tex", 2), "0 1 2"));
        const CdaTriangle& t = g.groups[0][0];
        QCOMPARE(t.vertex[0], 0);
        QCOMPARE(t.vertex[1], 1);
        QCOMPARE(t.vertex[2], 2);
        QCOMPARE(t.texCoord[0], 0);
        QCOMPARE(t.texCoord[2], 0);
        QCOMPARE(int(g.texCoords.size()), 3); // the source is still read
    }

    void laterInputTakesTheSlot_data()
    {
        QTest::addColumn<QString>("inputs");
        QTest::addColumn<bool>("normalSlot");
        QTest::newRow("vertex then normal at 0")
            << input("VERTEX", "vtx", 0) + input("NORMAL", "nor", 0) << true;
        QTest::newRow("normal then vertex at 0")
            << input("NORMAL", "nor", 0) + input("VERTEX", "vtx", 0) << false;
    }
    void laterInputTakesTheSlot()
    {
        QFETCH(QString, inputs);
        QFETCH(bool, normalSlot);
        const CdaGeometry g = decode(mesh(inputs, "1 2 1"));
        const CdaTriangle& t = g.groups[0][0];
        QCOMPARE(t.vertex[1], normalSlot ? 0 : 2);
        QCOMPARE(t.normal[1], normalSlot ? 2 : 0);
        QCOMPARE(int(g.positions.size()), 3);
        QCOMPARE(int(g.normals.size()), 3);
    }

    void otherSemanticsAreIgnored()
    {
        const CdaGeometry g =
            decode(mesh(input("VERTEX", "vtx", 0) + input("COLOR", "tex", 1), "0 1 2"));
        QCOMPARE(g.groups[0][0].vertex[1], 1);
        QCOMPARE(g.groups[0][0].vertex[2], 2);
    }

    void offsetOutsideTheSlotsIsIgnored_data()
    {
        QTest::addColumn<int>("offset");
        QTest::newRow("offset 3") << 3;
        QTest::newRow("offset -1") << -1;
        QTest::newRow("offset 2147483647") << 2147483647;
    }
    void offsetOutsideTheSlotsIsIgnored()
    {
        QFETCH(int, offset);
        const CdaGeometry g =
            decode(mesh(input("VERTEX", "vtx", 0) + input("NORMAL", "nor", offset), "0 1 2"));
        QCOMPARE(g.groups[0][0].vertex[1], 1);
        QCOMPARE(g.groups[0][0].normal[1], 0);
        QVERIFY(g.normals.empty()); // the ignored input does not name a source
    }

    void sourceNamedTwiceFillsPositionsOnly()
    {
        const CdaGeometry g =
            decode(mesh(input("VERTEX", "vtx", 0) + input("NORMAL", "pos", 1), "0 0 1 1 2 2"));
        QCOMPARE(int(g.positions.size()), 3);
        QVERIFY(g.normals.empty());
    }

    void strides_data()
    {
        QTest::addColumn<QString>("values");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("accessor");
        QTest::addColumn<QList<float>>("entries"); // three per entry
        QTest::newRow("stride 2") << "1 2 3 4" << 4 << "<accessor stride=\"2\"/>"
                                  << QList<float>{1, 2, 0, 3, 4, 0};
        QTest::newRow("stride 3") << "1 2 3 4 5 6" << 6 << "<accessor stride=\"3\"/>"
                                  << QList<float>{1, 2, 3, 4, 5, 6};
        QTest::newRow("stride 4, 8 values") << "1 2 3 4 5 6 7 8" << 8 << "<accessor stride=\"4\"/>"
                                            << QList<float>{1, 2, 0, 3, 4, 0};
        QTest::newRow("stride 3, 7 values")
            << "1 2 3 4 5 6 7" << 7 << "<accessor stride=\"3\"/>" << QList<float>{1, 2, 3, 4, 5, 6};
        QTest::newRow("stride 0") << "1 2 3" << 3 << "<accessor stride=\"0\"/>" << QList<float>{};
        QTest::newRow("no stride") << "1 2 3" << 3 << "<accessor/>" << QList<float>{};
        QTest::newRow("no accessor") << "1 2 3" << 3 << "" << QList<float>{};
        QTest::newRow("negative stride")
            << "1 2 3" << 3 << "<accessor stride=\"-3\"/>" << QList<float>{};
        QTest::newRow("stride not a number")
            << "1 2 3" << 3 << "<accessor stride=\"x\"/>" << QList<float>{};
        // Stride 1 would reach past the values; those read as 0.
        QTest::newRow("stride 1") << "1 2 3" << 3 << "<accessor stride=\"1\"/>"
                                  << QList<float>{1, 2, 0, 3, 0, 0, 0, 0, 0};
    }
    void strides()
    {
        QFETCH(QString, values);
        QFETCH(int, count);
        QFETCH(QString, accessor);
        QFETCH(QList<float>, entries);
        const CdaGeometry g = decode(texSource(values, count, accessor));
        QCOMPARE(int(g.texCoords.size()) * 3, entries.size());
        for (int i = 0; i < int(g.texCoords.size()); ++i) {
            QCOMPARE(g.texCoords[size_t(i)],
                     vec(entries[3 * i], entries[3 * i + 1], entries[3 * i + 2]));
        }
    }

    void shortFloatArrayReadsZeros()
    {
        // count 6, four numbers: six values, the last two 0.
        const CdaGeometry g = decode(texSource("1 2 3 4", 6, "<accessor stride=\"3\"/>"));
        QCOMPARE(int(g.texCoords.size()), 2);
        QCOMPARE(g.texCoords[1], vec(4, 0, 0));
    }

    void malformedNumberReadsZero()
    {
        const CdaGeometry g = decode(texSource("1 x 3 4 5 6", 6, "<accessor stride=\"3\"/>"));
        QCOMPARE(g.texCoords[0], vec(1, 0, 0));
    }

    void countBeyondTheTextIsCut()
    {
        expectLine("CdaGeometry: source t declares 2000000000 values, more than its float_array "
                   "holds; reading 20\n");
        const CdaGeometry g = decode(texSource("1 2 3 4", 2000000000, "<accessor stride=\"3\"/>"));
        QCOMPARE(int(g.texCoords.size()), 6); // 20 values: the four, then zeros
    }

    void triangleCountBeyondTheTextIsCut()
    {
        expectLine("CdaGeometry: triangles of geometry g declare 1000000000 triangles, more than "
                   "its p holds; reading 17\n");
        const CdaGeometry g = decode(mesh(input("VERTEX", "vtx", 0), "0 1 2", 1000000000));
        QCOMPARE(int(g.groups[0].size()), 17);
        QCOMPARE(g.groups[0][0].vertex[2], 2);
        QCOMPARE(g.groups[0][16].vertex[2], 0);
    }

    void shortTriangleListReadsZeros()
    {
        const CdaGeometry g = decode(mesh(input("VERTEX", "vtx", 0), "0 1 2 2", 2));
        QCOMPARE(int(g.groups[0].size()), 2);
        QCOMPARE(g.groups[0][1].vertex[0], 2);
        QCOMPARE(g.groups[0][1].vertex[1], 0);
    }

    void twoTrianglesGroupsShareTheFirstLayout()
    {
        const QString second = QStringLiteral(
            "<triangles count=\"1\" material=\"B\"><input semantic=\"VERTEX\" source=\"#vtx\" "
            "offset=\"0\"/><p>2 1 0</p></triangles>");
        QString text =
            mesh(input("VERTEX", "vtx", 0) + input("NORMAL", "nor", 1), "0 0 1 1 2 2", 1, second);
        text.replace(QStringLiteral("material=\"m\""), QStringLiteral("material=\"A\""));
        const CdaGeometry g = decode(text);
        QCOMPARE(g.materialSymbols, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        QCOMPARE(int(g.groups.size()), 2);
        // Read as vertex, normal pairs: (2, 1) then 0 then nothing.
        const CdaTriangle& t = g.groups[1][0];
        QCOMPARE(t.vertex[0], 2);
        QCOMPARE(t.normal[0], 1);
        QCOMPARE(t.vertex[1], 0);
        QCOMPARE(t.normal[1], 0);
        QCOMPARE(g.triangleCount(), 2);
    }

    void triangleWithoutMaterialHasEmptySymbol()
    {
        QString text = mesh(input("VERTEX", "vtx", 0), "0 1 2");
        text.remove(QStringLiteral(" material=\"m\""));
        const CdaGeometry g = decode(text);
        QCOMPARE(g.materialSymbols, QStringList{QString()});
    }

    void triangleWithPolylistReportsIt()
    {
        expectLine("CdaGeometry: geometry g has unrecognized geometry type polylist\n");
        const CdaGeometry g = decode(
            mesh(input("VERTEX", "vtx", 0), "0 1 2", 1, QStringLiteral("<polylist count=\"1\"/>")));
        QCOMPARE(g.type, QStringLiteral("triangles"));
        QCOMPARE(g.triangleCount(), 1);
    }

    void unsupportedPrimitivesOnly()
    {
        expectLine("CdaGeometry: geometry g has unrecognized geometry type tristrips\n");
        const CdaGeometry g = decode(QStringLiteral(
            "<geometry id=\"g\"><mesh>"
            "<source id=\"pos\"><float_array count=\"3\">0 0 0</float_array>"
            "<technique_common><accessor stride=\"3\"/></technique_common></source>"
            "<vertices id=\"v\"><input semantic=\"POSITION\" source=\"#pos\"/></vertices>"
            "<tristrips count=\"1\"/><polylist count=\"1\"/></mesh></geometry>"));
        QVERIFY(g.type.isEmpty());
        QVERIFY(g.positions.empty());
        QVERIFY(g.normals.empty());
        QVERIFY(g.groups.empty());
        QVERIFY(g.materialSymbols.isEmpty());
    }

    void withoutMeshNothingIsFound()
    {
        const CdaGeometry g =
            decode(QStringLiteral("<geometry id=\"spline\"><spline/></geometry>"));
        QCOMPARE(g.id, QStringLiteral("spline"));
        QVERIFY(g.type.isEmpty());
        QVERIFY(g.positions.empty());
    }

    void transformAndAppend()
    {
        CdaGeometry a = decode(mesh(input("VERTEX", "vtx", 0) + input("NORMAL", "nor", 1) +
                                        input("TEXCOORD", "tex", 2),
                                    "0 0 0 1 1 1 2 2 2"));
        const CdaGeometry b = a;
        Matrix4 scale;
        scale.at(0, 0) = scale.at(1, 1) = scale.at(2, 2) = 2.0;
        scale.at(0, 3) = 1.0;
        a.transform(scale);
        QCOMPARE(a.positions[1], vec(3, 0, 0));
        QCOMPARE(a.normals[0], vec(0, 0, 0.5f));
        QCOMPARE(a.texCoords[1], b.texCoords[1]);

        CdaGeometry out;
        out.append(b);
        out.append(a);
        QCOMPARE(int(out.groups.size()), 1);
        QCOMPARE(int(out.positions.size()), 6);
        QCOMPARE(int(out.normals.size()), 6);
        QCOMPARE(int(out.texCoords.size()), 6);
        const CdaTriangle& t = out.groups[0][1];
        QCOMPARE(t.vertex[0], 3);
        QCOMPARE(t.vertex[2], 5);
        QCOMPARE(t.normal[0], 3);
        QCOMPARE(t.texCoord[0], 3); // offsets are added even to unused indices
        QVERIFY(out.indicesInRange());
    }

    void appendKeepsIndicesInTheir32BitRange()
    {
        CdaGeometry big;
        big.positions.resize(10);
        big.groups.resize(1);
        CdaTriangle t;
        t.vertex[0] = 2147483647;
        t.vertex[1] = -2147483647 - 1;
        big.groups[0].push_back(t);
        CdaGeometry out;
        out.positions.resize(5);
        out.append(big);
        QCOMPARE(out.groups[0][0].vertex[0], -1);
        QCOMPARE(out.groups[0][0].vertex[1], -2147483647 - 1 + 5);
        QVERIFY(!out.indicesInRange());
    }

    // Documents without a "Model" node: every surface primitive becomes
    // triangles with the winding of the file.
    void stripsFansAndPolygons_data()
    {
        QTest::addColumn<QString>("primitive");
        QTest::addColumn<int>("triangles");
        QTest::addColumn<double>("area");
        // The unit square's corners 0..3 counter-clockwise, 4 its centre,
        // 5 = (2, 0), 6 = (2, 1) to the right of it.
        QTest::newRow("tristrips: alternate windings kept upward")
            << "<tristrips count=\"1\">" + vertexInput + "<p>0 1 3 2</p></tristrips>" << 2 << 1.0;
        QTest::newRow("tristrips: two strips")
            << "<tristrips count=\"2\">" + vertexInput + "<p>0 1 3 2</p><p>1 5 2 6</p></tristrips>"
            << 4 << 2.0;
        QTest::newRow("trifans: around the centre")
            << "<trifans count=\"1\">" + vertexInput + "<p>4 0 1 2 3 0</p></trifans>" << 4 << 1.0;
        QTest::newRow("polylist: square and triangle")
            << "<polylist count=\"2\">" + vertexInput +
                   "<vcount>4 3</vcount><p>0 1 2 3 1 5 2</p></polylist>"
            << 3 << 1.5;
        QTest::newRow("polylist: vcount beyond p stops there")
            << "<polylist count=\"2\">" + vertexInput +
                   "<vcount>4 9</vcount><p>0 1 2 3 1 5 2</p></polylist>"
            << 2 << 1.0;
        // A fan from its first corner would cross the notch.
        QTest::newRow("polygons: concave L cut by ears")
            << "<polygons count=\"1\">" + vertexInput + "<p>5 6 2 7 8 0</p></polygons>" << 4 << 3.0;
        QTest::newRow("triangles: index outside positions dropped")
            << "<triangles count=\"2\">" + vertexInput + "<p>0 1 2 0 2 99</p></triangles>" << 1
            << 0.5;
    }
    void stripsFansAndPolygons()
    {
        QFETCH(QString, primitive);
        QFETCH(int, triangles);
        QFETCH(double, area);
        // 7 = (1, 2), 8 = (0, 2): with 5, 6, 2 and 0 an L of area 3.
        const CdaGeometry g = decodeAll(
            QStringLiteral("0 0 0 1 0 0 1 1 0 0 1 0 0.5 0.5 0 2 0 0 2 1 0 1 2 0 0 2 0"), primitive);
        QCOMPARE(g.type, QStringLiteral("triangles"));
        QCOMPARE(g.triangleCount(), triangles);
        QVERIFY(g.indicesInRange());
        QCOMPARE(areaFacingUp(g), area);
    }

    void polygonHolesAreDroppedWithALine()
    {
        const QString primitive =
            QStringLiteral("<polygons count=\"2\">") + vertexInput +
            QStringLiteral(
                "<ph><p>0 1 2 3</p><h>4 5 6</h><h>4 6 7</h></ph><p>1 8 2</p></polygons>");
        expectLine(QStringLiteral("CdaGeometry: polygons of geometry g have holes; the holes are "
                                  "left out\n"));
        const CdaGeometry g = decodeAll(
            QStringLiteral("0 0 0 4 0 0 4 4 0 0 4 0 1 1 0 2 1 0 2 2 0 1 2 0 5 0 0"), primitive);
        // The outer square (two triangles) and the separate triangle.
        QCOMPARE(g.triangleCount(), 3);
        QCOMPARE(areaFacingUp(g), 16.0 + 2.0);
    }

    void linesAreSkippedOtherPrimitivesKept()
    {
        expectLine(QStringLiteral("CdaGeometry: geometry g has lines, which are not surfaces; "
                                  "skipped\n"));
        const CdaGeometry g =
            decodeAll(QStringLiteral("0 0 0 1 0 0 0 1 0"),
                      QStringLiteral("<lines count=\"1\">") + vertexInput +
                          QStringLiteral("<p>0 1</p></lines><triangles count=\"1\" "
                                         "material=\"m\">") +
                          vertexInput + QStringLiteral("<p>0 1 2</p></triangles>"));
        QCOMPARE(g.triangleCount(), 1);
        QCOMPARE(g.materialSymbols, QStringList{QStringLiteral("m")});
    }

    void normalsFromTheFileOrFlat()
    {
        // The first triangle has file normals at offset 1; the second has
        // none, so it gets its own flat normal (+z from its winding).
        const CdaGeometry g =
            decodeAll(QStringLiteral("0 0 0 1 0 0 0 1 0"),
                      QStringLiteral("<triangles count=\"1\">") + vertexInput +
                          QStringLiteral("<input semantic=\"NORMAL\" source=\"#nor\" offset=\"1\"/>"
                                         "<p>0 0 1 0 2 0</p></triangles>"
                                         "<trifans count=\"1\">") +
                          vertexInput + QStringLiteral("<p>0 2 1</p></trifans>"));
        QCOMPARE(g.triangleCount(), 2);
        QVERIFY(g.indicesInRange());
        QCOMPARE(int(g.normals.size()), 2);
        QCOMPARE(g.normals[size_t(g.groups[0][0].normal[0])], vec(0.0f, 0.0f, 1.0f));
        QCOMPARE(g.normals[size_t(g.groups[1][0].normal[0])], vec(0.0f, 0.0f, -1.0f));
    }

    void polylistStaysUnreadInTheModelLayout()
    {
        expectLine(QStringLiteral("CdaGeometry: geometry g has unrecognized geometry type "
                                  "polylist\n"));
        const QDomDocument document = xml(QStringLiteral(
            "<geometry id=\"g\"><mesh><polylist count=\"1\"><vcount>3</vcount><p>0 1 2</p>"
            "</polylist></mesh></geometry>"));
        QCOMPARE(CdaGeometry(document.documentElement()).triangleCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCdaGeometry)
#include "tst_CdaGeometry.moc"
