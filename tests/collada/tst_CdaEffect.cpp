// Effects, materials, cameras and lights: the records read beside the
// geometry and the nodes.
#include "collada/CdaScene.h"
#include "tests/collada/CdaTestUtil.h"

#include <QtTest>

using namespace cdatest;

namespace {

template <class Record> Record read(const QString& text)
{
    const QDomDocument document = xml(text);
    return Record(document.documentElement());
}

QList<float> four(const float (&c)[4]) { return {c[0], c[1], c[2], c[3]}; }

} // namespace

class TestCdaEffect : public QObject {
    Q_OBJECT
private slots:
    void effectColoursAndFactors()
    {
        const CdaEffect e = read<CdaEffect>(QStringLiteral(
            "<effect id=\"fx\"><profile_COMMON><newparam/><technique sid=\"common\"><phong>"
            "<emission><color>0.1 0.2 0.3 0.4</color></emission>"
            "<diffuse><texture texture=\"img\" texcoord=\"uv\"/></diffuse>"
            "<specular><color>1 0.5</color></specular>"
            "<shininess><float>20</float></shininess>"
            "<reflectivity><param ref=\"x\"/></reflectivity>"
            "<transparency><float>half</float></transparency>"
            "<index_of_refraction><float>1.5</float></index_of_refraction>"
            "</phong></technique></profile_COMMON></effect>"));
        QCOMPARE(e.id, QStringLiteral("fx"));
        QCOMPARE(e.shadingModel, QStringLiteral("phong"));
        QCOMPARE(four(e.emission), (QList<float>{0.1f, 0.2f, 0.3f, 0.4f}));
        QCOMPARE(four(e.ambient), (QList<float>{0, 0, 0, 0}));     // absent
        QCOMPARE(four(e.diffuse), (QList<float>{1, 1, 1, 1}));     // a texture is white
        QCOMPARE(four(e.specular), (QList<float>{1, 0.5f, 0, 0})); // short text reads zeros
        QCOMPARE(e.shininess, 20.0f);
        QCOMPARE(four(e.reflective), (QList<float>{0, 0, 0, 0}));
        QCOMPARE(e.reflectivity, 0.0f); // present without <float>
        QCOMPARE(four(e.transparent), (QList<float>{0, 0, 0, 0}));
        QCOMPARE(e.transparency, 0.0f); // not a number
        QCOMPARE(e.indexOfRefraction, 1.5f);
    }

    void effectWithoutTechnique()
    {
        const CdaEffect e = read<CdaEffect>(QStringLiteral("<effect id=\"bare\"/>"));
        QVERIFY(e.shadingModel.isEmpty());
        QCOMPARE(four(e.diffuse), (QList<float>{0, 0, 0, 0}));
        QCOMPARE(e.shininess, 1.0f);
        QCOMPARE(e.indexOfRefraction, 1.0f);
        QCOMPARE(e.transparency, 0.0f);
    }

    void materialsFindTheirEffects()
    {
        CdaScene scene;
        expectLoadLines(2, 3, 0, 0, 0, 0);
        // The materials come first in the file; effects are still read first.
        QVERIFY(scene.load(document(QStringLiteral(
            "<library_materials>"
            "<material id=\"m1\"><instance_effect url=\"#e2\"/></material>"
            "<material id=\"m2\"><instance_effect url=\"#nothere\"/></material>"
            "<material id=\"m3\"/>"
            "</library_materials>"
            "<library_effects><effect id=\"e1\"/><effect id=\"e2\"/></library_effects>"))));
        QCOMPARE(scene.material(0).effect, &scene.effect(1));
        QVERIFY(!scene.material(1).effect);
        QVERIFY(!scene.material(2).effect);
        QCOMPARE(scene.findMaterial(QStringLiteral("m2")), &scene.material(1));
    }

    void cameraOptics()
    {
        const CdaCamera c = read<CdaCamera>(
            QStringLiteral("<camera id=\"cam\"><optics><technique_common><perspective>"
                           "<xfov>37.8</xfov><aspect_ratio>1.5</aspect_ratio><znear>wide</znear>"
                           "<zfar>1000</zfar></perspective></technique_common></optics></camera>"));
        QCOMPARE(c.id, QStringLiteral("cam"));
        QCOMPARE(c.projection, QStringLiteral("perspective"));
        QCOMPARE(c.xfov, 37.8f);
        QCOMPARE(c.yfov, -1.0f);
        QCOMPARE(c.aspectRatio, 1.5f);
        QCOMPARE(c.znear, 0.0f);
        QCOMPARE(c.zfar, 1000.0f);
    }

    void cameraWithoutOptics()
    {
        const CdaCamera c = read<CdaCamera>(QStringLiteral("<camera/>"));
        QVERIFY(c.id.isEmpty());
        QVERIFY(c.projection.isEmpty());
        QCOMPARE(c.xfov, -1.0f);
        QCOMPARE(c.zfar, -1.0f);
    }

    void lightKindAndColour()
    {
        const CdaLight l = read<CdaLight>(QStringLiteral(
            "<light id=\"sun\"><technique_common><directional><color>0.5 0.25 1</color>"
            "</directional></technique_common></light>"));
        QCOMPARE(l.kind, QStringLiteral("directional"));
        QCOMPARE(four(l.color), (QList<float>{0.5f, 0.25f, 1, 1}));
    }

    void lightWithoutColour()
    {
        const CdaLight l = read<CdaLight>(QStringLiteral(
            "<light id=\"amb\"><technique_common><ambient/></technique_common></light>"));
        QCOMPARE(l.kind, QStringLiteral("ambient"));
        QCOMPARE(four(l.color), (QList<float>{0, 0, 0, 1}));
        const CdaLight bare = read<CdaLight>(QStringLiteral("<light/>"));
        QVERIFY(bare.kind.isEmpty());
        QCOMPARE(four(bare.color), (QList<float>{0, 0, 0, 1}));
    }
};

QTEST_GUILESS_MAIN(TestCdaEffect)
#include "tst_CdaEffect.moc"
