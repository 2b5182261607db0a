#include "collada/CdaScene.h"
#include "ln/LnBoxyModel.h"
#include "tests/collada/CdaTestUtil.h"

#include <QtTest>

#include <memory>

using namespace cdatest;

namespace {

const QString translateX5 = QStringLiteral("<matrix>1 0 0 5 0 1 0 0 0 0 1 0 0 0 0 1</matrix>");

// Loads a document with the geometries and library nodes given and the
// visual scene given; expects its load lines.
std::unique_ptr<CdaScene> loaded(const QString& geometries, int geometryCount,
                                 const QString& libraryNodes, int nodeCount, const QString& scene)
{
    auto s = std::make_unique<CdaScene>();
    expectLoadLines(0, 0, 0, 0, geometryCount, nodeCount);
    QString libraries = QStringLiteral("<library_geometries>") + geometries +
                        QStringLiteral("</library_geometries>");
    if (!libraryNodes.isEmpty()) {
        libraries +=
            QStringLiteral("<library_nodes>") + libraryNodes + QStringLiteral("</library_nodes>");
    }
    s->load(document(libraries, scene));
    return s;
}

} // namespace

class TestCdaNode : public QObject {
    Q_OBJECT
private slots:
    void nodeRecordsItsInstances()
    {
        CdaScene scene;
        expectLoadLines(1, 1, 1, 1, 1, 1);
        QVERIFY(scene.load(document(
            QStringLiteral("<library_effects><effect id=\"e\"/></library_effects>"
                           "<library_materials><material id=\"m\"><instance_effect url=\"#e\"/>"
                           "</material></library_materials>"
                           "<library_lights><light id=\"l\"/></library_lights>"
                           "<library_cameras><camera id=\"c\"/></library_cameras>"
                           "<library_geometries>%1</library_geometries>"
                           "<library_nodes><node id=\"lib\"/></library_nodes>")
                .arg(unitTriangle(QStringLiteral("g"))),
            QStringLiteral("<node id=\"n\" name=\"ignored\"><instance_node url=\"#lib\"/>"
                           "<instance_node url=\"#other\"/>"
                           "<instance_geometry url=\"#g\"><bind_material><technique_common>"
                           "<instance_material symbol=\"s1\" target=\"#m\"/>"
                           "<instance_material symbol=\"s2\" target=\"#missing\"/>"
                           "</technique_common></bind_material></instance_geometry>"
                           "<instance_camera url=\"#c\"/><instance_light url=\"l\"/>"
                           "<translate>1 2 3</translate>"
                           "<matrix>1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16</matrix>"
                           "<node id=\"k1\"/><extra/><node id=\"k2\"/></node>"))));
        const CdaNode* n = scene.findNode(QStringLiteral("n"));
        QVERIFY(n);
        QCOMPARE(n->instanceNode, &scene.libraryNode(0));
        QCOMPARE(n->geometry, &scene.geometry(0));
        QCOMPARE(n->materialSymbols, (QStringList{QStringLiteral("s1"), QStringLiteral("s2")}));
        QCOMPARE(int(n->materials.size()), 2);
        QCOMPARE(n->materials[0], &scene.material(0));
        QVERIFY(!n->materials[1]);
        QCOMPARE(n->camera, &scene.camera(0));
        QCOMPARE(n->light, &scene.light(0)); // a url without '#' is taken as it is
        QCOMPARE(int(n->children.size()), 2);
        QCOMPARE(n->children[1]->id, QStringLiteral("k2"));
        // The text is row by row: the fourth number is row 0, column 3.
        QCOMPARE(n->matrix.at(0, 3), 4.0);
        QCOMPARE(n->matrix.at(3, 0), 13.0);
        QCOMPARE(n->matrix.data()[1], 5.0);
    }

    void shortMatrixTextReadsZeros()
    {
        auto scene = loaded(QString(), 0, QString(), 0,
                            QStringLiteral("<node id=\"n\"><matrix>2 0 x 1</matrix></node>"));
        const Matrix4& m = scene->findNode(QStringLiteral("n"))->matrix;
        QCOMPARE(m.at(0, 0), 2.0);
        QCOMPARE(m.at(0, 2), 0.0);
        QCOMPARE(m.at(1, 1), 0.0);
        QCOMPARE(m.at(3, 3), 0.0);
    }

    void findNodeSearchesChildrenFirst()
    {
        auto scene = loaded(QString(), 0, QString(), 0,
                            QStringLiteral("<node id=\"X\" name=\"child\"><node id=\"a\">"
                                           "<node id=\"X\" name=\"grandchild\"/></node></node>"
                                           "<node id=\"b\"><node id=\"X\"/></node>"));
        const CdaNode* found = scene->findNode(QStringLiteral("X"));
        QVERIFY(found);
        QCOMPARE(found, scene->findNode(QStringLiteral("a"))->children[0].get());
        QVERIFY(!scene->findNode(QStringLiteral("x")));
    }

    void findNodeDoesNotFollowInstances()
    {
        auto scene =
            loaded(QString(), 0, QStringLiteral("<node id=\"inside\"/>"), 1,
                   QStringLiteral("<node id=\"n\"><instance_node url=\"#inside\"/></node>"));
        QVERIFY(!scene->findNode(QStringLiteral("inside")));
    }

    void nodeWithChildIgnoresItsOwnGeometry()
    {
        auto scene = loaded(unitTriangle(QStringLiteral("g")), 1, QString(), 0,
                            QStringLiteral("<node id=\"n\"><instance_geometry url=\"#g\"/>"
                                           "<node id=\"k\"/></node>"));
        CdaGeometry out;
        scene->concatGeometry(scene->findNode(QStringLiteral("n")), QStringLiteral("triangles"),
                              out);
        QCOMPARE(out.id, QStringLiteral("concat_geom"));
        QCOMPARE(out.type, QStringLiteral("triangles"));
        QVERIFY(out.positions.empty());
        QCOMPARE(out.triangleCount(), 0);
    }

    void instanceNodeIsPlacedByTheInstancingNode()
    {
        auto scene =
            loaded(unitTriangle(QStringLiteral("g")), 1,
                   QStringLiteral("<node id=\"L\">%1<instance_geometry url=\"#g\"/></node>")
                       .arg(translateX5),
                   1,
                   QStringLiteral("<node id=\"Model\"><node id=\"X\">%1<instance_node url=\"#L\"/>"
                                  "</node></node>")
                       .arg(translateX5));
        CdaGeometry out;
        scene->concatGeometry(scene->findNode(QStringLiteral("X")), QStringLiteral("triangles"),
                              out);
        QCOMPARE(int(out.positions.size()), 3);
        QCOMPARE(out.positions[1], vec(6, 0, 0)); // X's translation only, not L's
        scene->concatGeometry(scene->findLibraryNode(QStringLiteral("L")),
                              QStringLiteral("triangles"), out);
        QCOMPARE(out.positions[1], vec(1, 0, 0));
    }

    void leafMatrixIsNotApplied()
    {
        auto scene = loaded(unitTriangle(QStringLiteral("g")), 1, QString(), 0,
                            QStringLiteral("<node id=\"leaf\">%1<instance_geometry url=\"#g\"/>"
                                           "</node>")
                                .arg(translateX5));
        CdaGeometry out;
        scene->concatGeometry(scene->findNode(QStringLiteral("leaf")), QStringLiteral("triangles"),
                              out);
        QCOMPARE(out.positions[1], vec(1, 0, 0));
        vec lo, hi;
        scene->boundingBox(scene->findNode(QStringLiteral("leaf")), lo, hi);
        QCOMPARE(lo, vec(0, 0, 0));
        QCOMPARE(hi, vec(1, 1, 0));
    }

    void twoLeavesAreConcatenatedWithOffsets()
    {
        auto scene = loaded(unitTriangle(QStringLiteral("g")), 1, QString(), 0,
                            QStringLiteral("<node id=\"n\">%1"
                                           "<node id=\"a\"><instance_geometry url=\"#g\"/></node>"
                                           "<node id=\"b\"><instance_geometry url=\"#g\"/></node>"
                                           "</node>")
                                .arg(translateX5));
        CdaGeometry out;
        out.positions.resize(7); // reused output: cleared first
        scene->concatGeometry(scene->findNode(QStringLiteral("n")), QStringLiteral("triangles"),
                              out);
        QCOMPARE(int(out.positions.size()), 6);
        QCOMPARE(int(out.normals.size()), 6);
        QCOMPARE(int(out.groups.size()), 1);
        QCOMPARE(out.triangleCount(), 2);
        const CdaTriangle& second = out.groups[0][1];
        QCOMPARE(second.vertex[0], 3);
        QCOMPARE(second.vertex[1], 4);
        QCOMPARE(second.vertex[2], 5);
        QCOMPARE(second.normal[0], 3);
        QCOMPARE(second.normal[2], 5);
        QCOMPARE(out.positions[4], vec(6, 0, 0));
    }

    void otherTypesAreLeftOut()
    {
        auto scene = loaded(unitTriangle(QStringLiteral("g")), 1, QString(), 0,
                            QStringLiteral("<node id=\"n\"><node><instance_geometry url=\"#g\"/>"
                                           "</node><node><instance_geometry url=\"#none\"/>"
                                           "</node></node>"));
        CdaGeometry out;
        scene->concatGeometry(scene->findNode(QStringLiteral("n")), QStringLiteral("polylist"),
                              out);
        QVERIFY(out.positions.empty());
        QCOMPARE(out.type, QStringLiteral("polylist"));
        scene->concatGeometry(nullptr, QStringLiteral("triangles"), out);
        QVERIFY(out.positions.empty());
    }

    void uniformScaleDoublesPositionsAndHalvesNormals()
    {
        auto scene = loaded(unitTriangle(QStringLiteral("g")), 1, QString(), 0,
                            QStringLiteral("<node id=\"n\"><matrix>2 0 0 0 0 2 0 0 0 0 2 0 0 0 0 "
                                           "1</matrix><node><instance_geometry url=\"#g\"/>"
                                           "</node></node>"));
        CdaGeometry out;
        scene->concatGeometry(scene->findNode(QStringLiteral("n")), QStringLiteral("triangles"),
                              out);
        QCOMPARE(out.positions[2], vec(0, 2, 0));
        QCOMPARE(out.normals[0], vec(0, 0, 0.5f));
    }

    void singularMatrixKeepsNormals()
    {
        auto scene = loaded(unitTriangle(QStringLiteral("g")), 1, QString(), 0,
                            QStringLiteral("<node id=\"n\"><matrix>1 0 0 0 0 1 0 0 0 0 0 0 0 0 0 "
                                           "1</matrix><node><instance_geometry url=\"#g\"/>"
                                           "</node></node>"));
        CdaGeometry out;
        scene->concatGeometry(scene->findNode(QStringLiteral("n")), QStringLiteral("triangles"),
                              out);
        QCOMPARE(out.normals[0], vec(0, 0, 1));
    }

    void boundsOfASubtree()
    {
        auto scene = loaded(
            triangleGeometry(QStringLiteral("g"), QStringLiteral("-1 0 0 1 0 0 0 1 0 0 -1 0"),
                             QStringLiteral("0 0 1"), QStringLiteral("0 0 1 0 2 0"), 1),
            1, QString(), 0,
            QStringLiteral("<node id=\"Model\"><node>%1<node>"
                           "<instance_geometry url=\"#g\"/></node></node></node>")
                .arg(translateX5));
        const CdaNode* model = scene->findNode(QStringLiteral("Model"));
        vec lo, hi;
        scene->boundingBox(model, lo, hi);
        QCOMPARE(lo, vec(4, -1, 0));
        QCOMPARE(hi, vec(6, 1, 0));
        vec center;
        float radius = -1.0f;
        scene->boundingSphere(model, center, radius);
        QVERIFY(std::fabs(center[0] - 5.0f) < 1e-5f);
        QVERIFY(std::fabs(center[1]) < 1e-5f);
        QVERIFY(std::fabs(radius - 1.0f) < 1e-5f);
    }

    void boundsWithoutPoints()
    {
        auto scene = loaded(QString(), 0, QString(), 0, QStringLiteral("<node id=\"n\"/>"));
        vec lo, hi, center(1, 2, 3);
        float radius = 7.0f;
        scene->boundingBox(scene->findNode(QStringLiteral("n")), lo, hi);
        QCOMPARE(lo, vec(10000000, 10000000, 10000000));
        QCOMPARE(hi, vec(-10000000, -10000000, -10000000));
        scene->boundingSphere(scene->findNode(QStringLiteral("n")), center, radius);
        QCOMPARE(center, vec(0, 0, 0));
        QCOMPARE(radius, 0.0f);
        scene->boundingSphere(nullptr, center, radius);
        QCOMPARE(radius, 0.0f);
    }

    void boxyModelFromAGeometry()
    {
        auto scene = loaded(unitTriangle(QStringLiteral("g")), 1, QString(), 0,
                            QStringLiteral("<node id=\"n\"><node><instance_geometry url=\"#g\"/>"
                                           "</node></node>"));
        CdaGeometry out;
        scene->concatGeometry(scene->findNode(QStringLiteral("n")), QStringLiteral("triangles"),
                              out);
        std::unique_ptr<LnBoxyModel> model(CdaScene::makeBoxyModel(out));
        scene.reset(); // the model does not depend on the importer
        LnBoxyMesh* mesh = model->boxyMesh();
        QVERIFY(mesh->hasNormals);
        QCOMPARE(int(mesh->vertices.size()), 3);
        QCOMPARE(int(mesh->normals.size()), 3);
        QCOMPARE(mesh->getNumFaces(), 1);
        const LnFace& f = mesh->faces[0];
        QCOMPARE(f.b, 1u);
        QCOMPARE(f.nc, 2u);
        QCOMPARE(f.red, 0.0f);
        QVERIFY(mesh->faceValid(0));
    }

    void buildModelsOnePerChild()
    {
        auto scene = loaded(
            unitTriangle(QStringLiteral("g")) +
                triangleGeometry(QStringLiteral("bad"), QStringLiteral("0 0 0 1 0 0 0 1 0"),
                                 QStringLiteral("0 0 1"), QStringLiteral("0 0 1 0 3 0"), 1) +
                triangleGeometry(QStringLiteral("nonormals"), QStringLiteral("0 0 0 1 0 0 0 1 0"),
                                 QString(), QStringLiteral("0 0 1 0 2 0"), 1),
            3, QString(), 0,
            QStringLiteral("<node id=\"Model\">"
                           "<node id=\"first\"><instance_geometry url=\"#g\"/></node>"
                           "<node id=\"empty\"/>"
                           "<node id=\"broken\"><instance_geometry url=\"#bad\"/></node>"
                           "<node id=\"flat\"><instance_geometry url=\"#nonormals\"/></node>"
                           "<node id=\"last\"><node><instance_geometry url=\"#g\"/></node>"
                           "<node><instance_geometry url=\"#g\"/></node></node>"
                           "</node>"));
        std::vector<LnModel*> models;
        expectLine(QStringLiteral("CdaScene::load: model node broken has triangle indices outside "
                                  "its positions or normals; it is left out\n"));
        expectLine(QStringLiteral("CdaScene::load: model node flat has triangle indices outside "
                                  "its positions or normals; it is left out\n"));
        QCOMPARE(scene->buildModels(scene->findNode(QStringLiteral("Model")), models), 2);
        QCOMPARE(int(models.size()), 2);
        QCOMPARE(models[0]->getMesh()->getNumFaces(), 1);
        QCOMPARE(models[1]->getMesh()->getNumFaces(), 2);
        for (LnModel* m : models) {
            delete m;
        }
        QCOMPARE(scene->buildModels(nullptr, models), 0);
    }

    void instancingCannotMultiplyWithoutBound()
    {
        // Each library node instances the previous one twice (through two
        // children): 40 levels would mean 2^40 leaves.
        QString nodes = QStringLiteral("<node id=\"L0\"><instance_geometry url=\"#g\"/></node>");
        for (int i = 1; i <= 40; ++i) {
            nodes += QStringLiteral("<node id=\"L%1\"><node><instance_node url=\"#L%2\"/></node>"
                                    "<node><instance_node url=\"#L%2\"/></node></node>")
                         .arg(i)
                         .arg(i - 1);
        }
        auto scene = loaded(unitTriangle(QStringLiteral("g")), 1, nodes, 41,
                            QStringLiteral("<node id=\"Model\"><node id=\"huge\">"
                                           "<instance_node url=\"#L40\"/></node></node>"));
        std::vector<LnModel*> models;
        expectLine(QStringLiteral("CdaScene::load: node huge is nested, instanced or sized beyond "
                                  "the importer's limits; part of it is left out\n"));
        QCOMPARE(scene->buildModels(scene->findNode(QStringLiteral("Model")), models), 1);
        QVERIFY(models[0]->getMesh()->getNumFaces() > 0);
        QVERIFY(models[0]->getMesh()->getNumFaces() <= (1 << 22));
        delete models[0];
        vec lo, hi;
        scene->boundingBox(scene->findNode(QStringLiteral("Model")), lo, hi);
        QCOMPARE(lo, vec(0, 0, 0));
        QCOMPARE(hi, vec(1, 1, 0));
    }

    void instanceChainsAreFollowedOnlySoDeep()
    {
        QString nodes = QStringLiteral("<node id=\"L0\"><instance_geometry url=\"#g\"/></node>");
        for (int i = 1; i <= 1100; ++i) {
            nodes += QStringLiteral("<node id=\"L%1\"><instance_node url=\"#L%2\"/></node>")
                         .arg(i)
                         .arg(i - 1);
        }
        auto scene = loaded(unitTriangle(QStringLiteral("g")), 1, nodes, 1101,
                            QStringLiteral("<node id=\"Model\"><node id=\"near\">"
                                           "<instance_node url=\"#L1000\"/></node>"
                                           "<node id=\"far\"><instance_node url=\"#L1100\"/>"
                                           "</node></node>"));
        std::vector<LnModel*> models;
        expectLine(QStringLiteral("CdaScene::load: node far is nested, instanced or sized beyond "
                                  "the importer's limits; part of it is left out\n"));
        QCOMPARE(scene->buildModels(scene->findNode(QStringLiteral("Model")), models), 1);
        delete models[0];
    }
};

QTEST_GUILESS_MAIN(TestCdaNode)
#include "tst_CdaNode.moc"
