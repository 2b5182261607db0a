// Feature lines as ink in the POV-Ray scene text.

#include "ln/LnLineSettings.h"
#include "scene/PovInk.h"
#include "scene/PovScene.h"
#include "tests/support/SphereOff.h"

#include <QGLViewer/camera.h>

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

struct Ball {
    vec centre;
    double radius;
};

vec toVec(const qglviewer::Vec& v) { return vec(float(v.x), float(v.y), float(v.z)); }

// The spheres of the ink union.
std::vector<Ball> inkSpheres(const QString& text)
{
    static const QRegularExpression sphere("\tsphere \\{ <([^,]+),([^,]+),([^>]+)>, ([^ ]+) \\}\n");
    std::vector<Ball> balls;
    auto it = sphere.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        balls.push_back(
            {vec(m.captured(1).toFloat(), m.captured(2).toFloat(), m.captured(3).toFloat()),
             m.captured(4).toDouble()});
    }
    return balls;
}

QString writeNpr(const QString& path)
{
    // A triangle and two lines, the second hidden.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return QString();
    }
    file.write("0 0 0 1 1 0\nv 3\n0 0 0\n1 0 0\n0 1 0\nf 1\n0 1 2 [1, 1, 1]\nl 2\n"
               "3 0 0\n0.1 0.1 0\n0.5 0.1 0\n0.5 0.4 0\n"
               "2 1 0\n0.2 0.2 0\n0.3 0.3 0\n");
    return path;
}

} // namespace

class TestPovInk : public QObject {
    Q_OBJECT
    QOffscreenSurface surface;
    QOpenGLContext context;
    QTemporaryDir dir;
    qglviewer::Camera camera;
    PovScene scene;

private slots:
    void initTestCase()
    {
        surface.create();
        QVERIFY(context.create());
        QVERIFY(context.makeCurrent(&surface));
        QVERIFY(writeSphereOff(dir.filePath("sphere.off"), 4));
        QVERIFY(scene.load(QFile::encodeName(dir.filePath("sphere.off")).constData(), &camera));
        camera.setScreenWidthAndHeight(400, 300);
        camera.setPosition(qglviewer::Vec(0.5, -1.0, 4.0));
        camera.lookAt(qglviewer::Vec(0, 0, 0));
    }

    void cleanupTestCase() { scene.clear(); }

    // Lines off, whatever their other settings, leave the text as it was;
    // lines on only append the ink after it.
    void inkIsAppendedOnlyWhenShown()
    {
        scene.lines = LnLineSettings();
        const QString before = scene.povText(&camera);
        scene.lines.color = vec(1, 0, 0);
        scene.lines.width = 5.0f;
        scene.lines.ridges = true;
        QCOMPARE(scene.povText(&camera), before);
        QVERIFY(!before.contains("INK"));

        scene.lines.shown = true;
        const QString with = scene.povText(&camera);
        QVERIFY(with.startsWith(before));
        const QString ink = with.mid(before.size());
        QVERIFY2(ink.startsWith("\n#declare INK = texture {\n\tpigment { rgb <1, 0, 0> }\n\tfinish "
                                "{ ambient 0 diffuse 0 specular 0 phong 0 reflection 0 emission 1 "
                                "}\n}\nunion {\n\tsphere { "),
                 qPrintable(ink.left(300)));
        QVERIFY(ink.endsWith("\ttexture { INK }\n\tno_shadow\n}\n"));
        QVERIFY(!ink.contains("nan") && !ink.contains("inf"));
        scene.lines = LnLineSettings();
    }

    // One sphere per point of the lines, one cone per segment; each centre
    // on the line of sight of its point, pulled toward the camera, and
    // each radius covering half the width in pixels.
    void tubesFollowTheWidthRule_data()
    {
        QTest::addColumn<float>("width");
        QTest::newRow("1 pixel") << 1.0f;
        QTest::newRow("3 pixels") << 3.0f;
    }
    void tubesFollowTheWidthRule()
    {
        QFETCH(float, width);
        scene.lines = LnLineSettings();
        scene.lines.shown = true;
        scene.lines.fade = false;
        scene.lines.width = width;
        const QString text = scene.povText(&camera);
        const vec eye = toVec(camera.position());
        LnPathList& paths =
            featureLines(*scene.models[1], scene.lines, eye, lineLightDirection(scene));
        int points = 0, segments = 0;
        for (int i = 0; i < paths.size(); ++i) {
            points += int(paths[i]->points.size());
            segments += int(paths[i]->points.size()) - 1;
        }
        QVERIFY(points > 50);
        const std::vector<Ball> balls = inkSpheres(text);
        QCOMPARE(int(balls.size()), points);
        const int cones = text.count("\tcone { ");
        QVERIFY(cones <= segments && cones >= segments * 9 / 10);

        const qglviewer::Vec right = camera.rightVector();
        camera.computeProjectionMatrix();
        camera.computeModelViewMatrix();
        int k = 0;
        for (int i = 0; i < paths.size(); ++i) {
            for (const vec& p : paths[i]->points) {
                const Ball& b = balls[size_t(k++)];
                // On the line of sight, 1% nearer.
                const vec expected = eye + (p - eye) * (1.0f - inkPull);
                QVERIFY2(dist(b.centre, expected) < 1e-4f * dist(p, eye),
                         qPrintable(QString("point %1").arg(k)));
                // Half the width in pixels at the centre's distance: moved
                // that far from the middle of the picture, at that
                // distance, a point moves by width / 2 pixels.
                const double distance = dist(b.centre, eye);
                const qglviewer::Vec ahead = camera.position() + camera.viewDirection() * distance;
                const qglviewer::Vec a = camera.projectedCoordinatesOf(ahead);
                const qglviewer::Vec e = camera.projectedCoordinatesOf(ahead + right * b.radius);
                const double pixels = std::hypot(e.x - a.x, e.y - a.y);
                QVERIFY2(std::fabs(pixels - width / 2.0) < 0.01 * width,
                         qPrintable(QString("point %1: %2 pixels").arg(k).arg(pixels)));
                // ... and across the picture at the centre's own depth, no
                // less than that.
                const qglviewer::Vec c(b.centre[0], b.centre[1], b.centre[2]);
                const qglviewer::Vec ca = camera.projectedCoordinatesOf(c);
                const qglviewer::Vec ce = camera.projectedCoordinatesOf(c + right * b.radius);
                QVERIFY(std::hypot(ce.x - ca.x, ce.y - ca.y) >= width / 2.0 - 1e-3);
            }
        }
        scene.lines = LnLineSettings();
    }

    // Fading thins a tube with its strength and drops the faintest points:
    // the suggestive contours of a torus seen from the side fade out at
    // their ends.
    void fadingScalesTheRadius()
    {
        PovScene torus;
        QVERIFY(torus.load(KELVANE_SOURCE_DIR "/samples/torus.off", &camera));
        torus.lines.shown = true;
        torus.lines.contours = false;
        qglviewer::Camera side;
        side.setScreenWidthAndHeight(300, 300);
        side.setPosition(qglviewer::Vec(0.0, -6.0, 2.5));
        side.lookAt(qglviewer::Vec(0, 0, 0));
        torus.lines.fade = false;
        const std::vector<Ball> plain = inkSpheres(torus.povText(&side));
        torus.lines.fade = true;
        const std::vector<Ball> faded = inkSpheres(torus.povText(&side));

        LnPathList& paths = featureLines(*torus.models[1], torus.lines, toVec(side.position()),
                                         lineLightDirection(torus));
        size_t k = 0, f = 0;
        int thinner = 0, dropped = 0;
        for (int i = 0; i < paths.size(); ++i) {
            for (size_t j = 0; j < paths[i]->points.size(); ++j, ++k) {
                QVERIFY(k < plain.size());
                const float s = pointStrength(*paths[i], j);
                if (s < inkFadeCut) {
                    ++dropped;
                    continue;
                }
                QVERIFY(f < faded.size());
                QVERIFY(dist(faded[f].centre, plain[k].centre) < 1e-5f);
                QVERIFY(std::fabs(faded[f].radius - plain[k].radius * s) <= 1e-5 * plain[k].radius);
                thinner += s < 0.99f;
                ++f;
            }
        }
        QCOMPARE(k, plain.size());
        QCOMPARE(f, faded.size());
        QVERIFY2(
            thinner > 0 && dropped > 0,
            qPrintable(QString("%1 thinner, %2 dropped of %3").arg(thinner).arg(dropped).arg(k)));
        torus.clear();
    }

    // A boxy model's lines go in as read; its hidden lines stay out.
    void boxyLinesWithoutTheHiddenOnes()
    {
        PovScene boxy;
        QVERIFY(
            boxy.load(QFile::encodeName(writeNpr(dir.filePath("lines.npr"))).constData(), &camera));
        boxy.lines.shown = true;
        boxy.lines.contours = boxy.lines.suggestive = false; // not for file lines
        qglviewer::Camera above;
        above.setScreenWidthAndHeight(200, 200);
        above.setPosition(qglviewer::Vec(0.5, 0.5, 3));
        above.lookAt(qglviewer::Vec(0.5, 0.5, 0));
        const QString text = boxy.povText(&above);
        QCOMPARE(int(inkSpheres(text).size()), 3);
        QCOMPARE(text.count("\tcone { "), 2);

        // A camera that sees the lines from behind (all depths negative)
        // writes no ink at all.
        above.setPosition(qglviewer::Vec(0.5, 0.5, -3));
        above.lookAt(qglviewer::Vec(0.5, 0.5, -6));
        QVERIFY(!boxy.povText(&above).contains("INK"));
        boxy.clear();
    }
};

QTEST_MAIN(TestPovInk)
#include "tst_PovInk.moc"
