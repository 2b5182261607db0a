// The Photo quality's scene text and the background settings: what the
// writer gives POV-Ray for each, and how the settings are stored.

#include "ln/LnBoxyModel.h"
#include "scene/PovScene.h"

#include <QGLViewer/camera.h>

#include <QRegularExpression>
#include <QtTest>

#include <cmath>

namespace {

LnModel* triangle()
{
    LnBoxyMesh* mesh = new LnBoxyMesh;
    mesh->vertices = {vec(-1, -1, 0), vec(1, -1, 0), vec(1, 1, 0)};
    LnFace f;
    f.a = 0;
    f.b = 1;
    f.c = 2;
    mesh->faces.push_back(f);
    return new LnBoxyModel(mesh);
}

// The ground and one triangle, radius 2 about (1, 0, 0), one light at
// (0, 0, 5) (written 10000 times as far), ambient level 0.35.
void fill(PovScene& scene)
{
    scene.models = {triangle(), triangle()};
    scene.resizeTextures(2);
    scene.textures[1].setColor(0.5f, 0.25f, 1.0f);
    scene.center = vec(1, 0, 0);
    scene.radius = 2.0f;
    scene.groundZ = -2.0f;
    scene.groundVisible = true;
    PovLight light;
    light.position = vec(0, 0, 5);
    light.color = vec(1.0f, 0.5f, 1.0f);
    light.intensity = 0.5f;
    scene.lights = {light};
    scene.setAmbientAll(0.35f);
}

// The area light's first axis length, or -1.
double areaLightSize(const QString& text)
{
    const QRegularExpressionMatch m =
        QRegularExpression(
            QStringLiteral("area_light <([0-9.e+]+), 0, 0>, <0, ([0-9.e+]+), 0>, 9, 9\n"
                           "\tadaptive 1\n\tjitter\n\tcircular\n\torient\n"))
            .match(text);
    return m.hasMatch() && m.captured(1) == m.captured(2) ? m.captured(1).toDouble() : -1.0;
}

} // namespace

class TestPovRenderQuality : public QObject {
    Q_OBJECT
    qglviewer::Camera camera;

private slots:
    void init() { camera.setScreenWidthAndHeight(400, 300); }

    void photoText()
    {
        PovScene scene;
        fill(scene);
        PovRenderSettings settings;
        settings.quality = PovQuality::Photo;
        const QString text = scene.povText(&camera, settings);

        // POV-Ray 3.7's own mode, gamma set before the first colour, the
        // flat ambient light off and radiosity on.
        QVERIFY(text.startsWith("#version 3.7;\n\n#include \"colors.inc\"\n"));
        const int gamma = text.indexOf("global_settings {\n\tassumed_gamma 1.0\n"
                                       "\tambient_light rgb <0, 0, 0>\n\tradiosity {\n");
        QVERIFY(gamma > 0 && gamma < text.indexOf("\tcolor"));
        QCOMPARE(text.count("global_settings"), 1);
        QVERIFY(text.contains("\t\tpretrace_end 0.01\n\t\tcount 120\n"));

        // The light: its colour linear (sRGB 0.5 is 0.214041) times the
        // intensity, and an area light 1/20 of its distance from the scene's
        // centre across under the sun.
        QVERIFY2(text.contains("\tcolor rgb <0.500000,0.107021,0.500000>\n\tarea_light"),
                 qPrintable(text));
        const double distance = std::sqrt(50000.0 * 50000.0 + 1.0);
        QVERIFY(std::abs(areaLightSize(text) - 0.05 * distance) < 1.0);
        scene.setIndoorLighting();
        const QString indoor = scene.povText(&camera, settings);
        QCOMPARE(indoor.count("area_light"), 4);
        // Indoor lights sit at three radii, written 10000 times as far.
        const double indoorSize = areaLightSize(indoor);
        QVERIFY2(indoorSize > 0.14 * 3 * 2 * 10000 && indoorSize < 0.16 * 3.2 * 2 * 10000,
                 qPrintable(QString::number(indoorSize)));
        // The size follows the scene's radius.
        scene.radius = 4.0f;
        scene.setIndoorLighting();
        QVERIFY(std::abs(areaLightSize(scene.povText(&camera, settings)) / indoorSize - 2.0) <
                0.05);

        // Pigments as the colours picked; the unseen dome glows with the
        // lights' average colour (linear) times the ambient level (0.1
        // indoors).
        QVERIFY(text.contains("\t\tcolor srgb <0.5, 0.25, 1>\n"));
        QVERIFY(!text.contains("color rgb <0.5, 0.25, 1>"));
        QVERIFY2(
            text.contains("\nsphere {\n\t<1, 0, 0>, 2000\n\thollow\n\tno_image\n\tno_reflection\n"
                          "\tno_shadow\n\ttexture {\n\t\tpigment { color rgb <0.35, 0.0749144, "
                          "0.35> }\n\t\tfinish { emission 1 diffuse 0 }\n"),
            qPrintable(text));
        QVERIFY(!text.contains("background") && !text.contains("sky_sphere"));

        // Draft asks for none of it.
        settings.quality = PovQuality::Draft;
        const QString draft = scene.povText(&camera, settings);
        for (const char* photoOnly :
             {"#version", "assumed_gamma", "radiosity", "area_light", "srgb", "no_image"}) {
            QVERIFY2(!draft.contains(photoOnly), photoOnly);
        }
        QCOMPARE(draft, scene.povText(&camera, PovMeshForm::Auto));
    }

    void backgrounds_data()
    {
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("expected");
        const int draft = int(PovQuality::Draft), photo = int(PovQuality::Photo);
        // #4080ff: 0x40 is 0.0512695 in linear light, 0x80 is 0.215861.
        QTest::newRow("draft colour") << draft << int(PovBackgroundKind::Colour)
                                      << "\nbackground { color rgb <0.0512695, 0.215861, 1> }\n";
        QTest::newRow("photo colour") << photo << int(PovBackgroundKind::Colour)
                                      << "\nbackground { color srgb <0.25098, 0.501961, 1> }\n";
        QTest::newRow("transparent")
            << draft << int(PovBackgroundKind::Transparent)
            << "\nbackground { color rgbt <0, 0, 0, 1> }\n\nsphere {\n"
               "\t<1, 0, 0>, 1998\n\thollow\n\tno_image\n\tno_shadow\n\ttexture {\n"
               "\t\tpigment { color rgb <0, 0, 0> }\n";
        QTest::newRow("photo transparent")
            << photo << int(PovBackgroundKind::Transparent)
            << "\n\tno_image\n\tno_shadow\n\tno_radiosity\n\ttexture {\n\t\tpigment { color rgb "
               "<0, 0, 0> }\n";
        QTest::newRow("photo sky")
            << photo << int(PovBackgroundKind::Sky)
            << "\nsky_sphere {\n\tpigment {\n\t\tfunction { max(0, min(1, z)) }\n\t\tcolor_map {\n"
               "\t\t\t[0 color srgb <0.870588, 0.909804, 0.960784>]\n"
               "\t\t\t[1 color srgb <0.376471, 0.572549, 0.839216>]\n\t\t}\n\t}\n}\n";
        QTest::newRow("draft sky") << draft << int(PovBackgroundKind::Sky)
                                   << "\t\t\t[0 color rgb <0.730461, 0.806952, 0.913099>]\n";
    }
    void backgrounds()
    {
        QFETCH(int, quality);
        QFETCH(int, kind);
        QFETCH(QString, expected);
        PovScene scene;
        fill(scene);
        PovRenderSettings settings;
        settings.quality = PovQuality(quality);
        settings.background = PovBackgroundKind(kind);
        settings.backgroundColour = QColor(0x40, 0x80, 0xff);
        const QString text = scene.povText(&camera, settings);
        QVERIFY2(text.contains(expected), qPrintable(text));
        // The sky lights a Photo scene instead of the dome.
        QCOMPARE(text.contains("no_reflection"), settings.quality == PovQuality::Photo &&
                                                     settings.background != PovBackgroundKind::Sky);
        // What the view clears to.
        const QColor view = settings.viewBackground();
        if (settings.background == PovBackgroundKind::Colour) {
            QCOMPARE(view, QColor(0x40, 0x80, 0xff));
        } else if (settings.background == PovBackgroundKind::Sky) {
            QCOMPARE(view, PovRenderSettings::skyHorizon());
        } else {
            QCOMPARE(view, QColor(0, 0, 0));
        }
        QCOMPARE(settings.alphaOutput(), settings.background == PovBackgroundKind::Transparent);
    }

    void settingsStored()
    {
        PovRenderSettings settings;
        QCOMPARE(settings.quality, PovQuality::Draft);
        QCOMPARE(settings.background, PovBackgroundKind::Black);
        // Photo always antialiases, at the threshold set.
        settings.quality = PovQuality::Photo;
        settings.antialiasThreshold = 0.2;
        QCOMPARE(settings.iniText(QSize(40, 30)), QByteArray("+W40 +H30\n+A0.2\n"));

        settings.background = PovBackgroundKind::Colour;
        settings.backgroundColour = QColor(0x33, 0x66, 0x99);
        PovRenderSettings read;
        QVERIFY(PovRenderSettings::fromJson(settings.toJson(), read));
        QVERIFY(read == settings);
        QCOMPARE(settings.toJson().value("backgroundColour").toString(), QString("#336699"));
        for (const QJsonObject& bad :
             {QJsonObject{{"quality", "best"}}, QJsonObject{{"quality", 1}},
              QJsonObject{{"background", "white"}}, QJsonObject{{"backgroundColour", "#12"}},
              QJsonObject{{"backgroundColour", 255}}}) {
            PovRenderSettings kept = settings;
            QString error;
            QVERIFY(!PovRenderSettings::fromJson(bad, kept, &error));
            QVERIFY(kept == settings);
            QVERIFY2(error.startsWith("render setting '"), qPrintable(error));
        }
    }
};

QTEST_GUILESS_MAIN(TestPovRenderQuality)
#include "tst_PovRenderQuality.moc"
