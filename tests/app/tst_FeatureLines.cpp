// Feature lines end to end: in the view of the main window and as ink in
// the POV-Ray picture, through the real program.

#include "app/LinesDialog.h"
#include "app/MainWindow.h"
#include "tests/support/MainWindowAccess.h"
#include "tests/support/Pixels.h"
#include "tests/support/PovrayChildren.h"
#include "tests/support/RunProgram.h"
#include "tests/support/SphereOff.h"
#include "tests/support/SharedData.h"
#include "viewer/GLViewer.h"

#include <QCheckBox>
#include <QTemporaryDir>
#include <QtTest>

#include <QGLViewer/camera.h>

#include <cmath>

namespace {
bool reddish(QRgb p) { return qRed(p) > 80 && qRed(p) > qGreen(p) + 40; }

// Pixels that differ between two pictures of the same scene, one with lines
// and one without.
QVector<bool> changed(const QImage& with, const QImage& without)
{
    QVector<bool> mask(with.width() * with.height());
    for (int y = 0; y < with.height(); ++y) {
        for (int x = 0; x < with.width(); ++x) {
            const QRgb a = with.pixel(x, y), b = without.pixel(x, y);
            const int d = std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                          std::abs(qBlue(a) - qBlue(b));
            mask[y * with.width() + x] = d > 60;
        }
    }
    return mask;
}

QVector<bool> dilate(const QVector<bool>& mask, int w, int h, int r)
{
    QVector<bool> out(mask.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!mask[y * w + x]) {
                continue;
            }
            for (int dy = -r; dy <= r; ++dy) {
                for (int dx = -r; dx <= r; ++dx) {
                    const int X = x + dx, Y = y + dy;
                    if (X >= 0 && Y >= 0 && X < w && Y < h) {
                        out[Y * w + X] = true;
                    }
                }
            }
        }
    }
    return out;
}

// The share of the pixels of `a` that fall on `b` dilated by 2 pixels.
double coveredShare(const QVector<bool>& a, const QVector<bool>& b, int w, int h)
{
    const QVector<bool> wide = dilate(b, w, h, 2);
    int count = 0, hit = 0;
    for (int i = 0; i < a.size(); ++i) {
        count += a[i];
        hit += a[i] && wide[i];
    }
    return count ? double(hit) / count : 0.0;
}

} // namespace

class TestFeatureLines : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    MainWindow* window = nullptr;
    GLViewer* viewer = nullptr;
    QString sphere;

    void waitForLines(int extractions)
    {
        QTRY_VERIFY_WITH_TIMEOUT(viewer->lineExtractionCount() > extractions, 5000);
    }

private slots:
    void initTestCase()
    {
        sphere = dir.filePath("sphere.off");
        QVERIFY(writeSphereOff(sphere, 4)); // 2048 triangles
        window = new MainWindow;
        window->resize(700, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        viewer = inside(window).viewer;
    }

    void cleanupTestCase() { delete window; }

    // Lines off (the default) change nothing; on, the silhouette of a
    // sphere is drawn in the line colour and the face-on disc has none.
    void sphereInTheView()
    {
        window->loadScene(sphere);
        QVERIFY(!inside(window).ui.actionShow_Feature_Lines->isChecked());
        QVERIFY(!inside(window).scene.lines.shown);
        const QImage plain = grabView(viewer);

        inside(window).ui.actionFeature_Lines->trigger();
        QVERIFY(inside(window).linesDialog->isVisible());
        QVERIFY(inside(window).linesDialog->contoursBox->isChecked());
        QVERIFY(inside(window).linesDialog->suggestiveBox->isChecked());
        QVERIFY(!inside(window).linesDialog->ridgesBox->isChecked());
        LnLineSettings red = inside(window).scene.lines;
        red.color = vec(1.0f, 0.0f, 0.0f);
        red.width = 3.0f;
        red.fade = false;
        inside(window).linesDialog->setSettings(red);
        inside(window).linesDialog->fadeBox->setChecked(true);
        inside(window).linesDialog->fadeBox->setChecked(false); // announces the dialog's settings
        QCOMPARE(inside(window).scene.lines.color, red.color);
        QVERIFY(!inside(window).scene.lines.shown);
        QCOMPARE(grabView(viewer), plain);

        const int before = viewer->lineExtractionCount();
        inside(window).ui.actionShow_Feature_Lines->setChecked(true);
        const QImage lined = grabView(viewer);
        QVERIFY(viewer->lineExtractionCount() > before); // a small mesh follows in the paint

        // The contour of a unit sphere seen from distance D lies on a circle
        // of radius sqrt(1 - 1/D^2) around the line of sight, which projects
        // to the sphere's outline.
        qglviewer::Camera* camera = viewer->camera();
        const qglviewer::Vec c = camera->projectedCoordinatesOf(qglviewer::Vec(0, 0, 0));
        const qglviewer::Vec eye = camera->position();
        const double D = eye.norm();
        const qglviewer::Vec up = camera->upVector(), right = camera->rightVector();
        const qglviewer::Vec toward = eye / D * (1.0 / D);
        const double r = std::sqrt(1.0 - 1.0 / (D * D));
        int onOutline = 0, samples = 0, redInside = 0;
        for (int k = 0; k < 72; ++k) {
            const double a = 2.0 * M_PI * k / 72;
            const qglviewer::Vec p = toward + (right * std::cos(a) + up * std::sin(a)) * r;
            const qglviewer::Vec s = camera->projectedCoordinatesOf(p);
            const QPoint q(int(std::lround(s.x)), int(std::lround(s.y)));
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy) {
                for (int dx = -1; dx <= 1 && !found; ++dx) {
                    found = reddish(lined.pixel(q + QPoint(dx, dy)));
                }
            }
            onOutline += found;
            ++samples;
        }
        const double outline =
            std::hypot(camera->projectedCoordinatesOf(toward + right * r).x - c.x,
                       camera->projectedCoordinatesOf(toward + right * r).y - c.y);
        for (int y = 0; y < lined.height(); ++y) {
            for (int x = 0; x < lined.width(); ++x) {
                if (std::hypot(x - c.x, y - c.y) < 0.85 * outline) {
                    redInside += reddish(lined.pixel(x, y));
                }
            }
        }
        QVERIFY2(onOutline >= samples * 95 / 100,
                 qPrintable(QString("%1 of %2").arg(onOutline).arg(samples)));
        QCOMPARE(redInside, 0);

        inside(window).ui.actionShow_Feature_Lines->setChecked(false);
        QCOMPARE(grabView(viewer), plain);
        inside(window).linesDialog->close();
    }

    // The lines follow the camera, and a mesh too large to extract during a
    // drag unseen is extracted only once the view rests.
    void extractionFollowsTheCamera()
    {
        window->loadScene(sphere);
        inside(window).ui.actionShow_Feature_Lines->setChecked(true);
        grabView(viewer);
        int count = viewer->lineExtractionCount();
        viewer->camera()->setPosition(qglviewer::Vec(0, 4, 0));
        viewer->camera()->lookAt(qglviewer::Vec(0, 0, 0));
        grabView(viewer);
        QCOMPARE(viewer->lineExtractionCount(), count + 1);
        grabView(viewer); // nothing moved: nothing extracted
        QCOMPARE(viewer->lineExtractionCount(), count + 1);

        const QString big = dir.filePath("big.off");
        QVERIFY(writeSphereOff(big, 7)); // 131072 triangles
        window->loadScene(big);
        inside(window).ui.actionShow_Feature_Lines->setChecked(true);
        count = viewer->lineExtractionCount();
        const QImage first = grabView(viewer);
        QCOMPARE(viewer->lineExtractionCount(), count); // the paint did not wait
        waitForLines(count);
        const QImage rested = grabView(viewer);
        QVERIFY(rested != first);
        inside(window).ui.actionShow_Feature_Lines->setChecked(false);
    }

    // The boxy model's non-hidden NPR lines are drawn too.
    void boxyModelLines()
    {
        window->loadScene(QString(KELVANE_SOURCE_DIR "/samples/boxes.npr"));
        const QImage plain = grabView(viewer);
        LnLineSettings red = inside(window).scene.lines;
        red.color = vec(1.0f, 0.0f, 0.0f);
        inside(window).scene.lines = red;
        inside(window).ui.actionShow_Feature_Lines->setChecked(true);
        const QImage lined = grabView(viewer);
        int count = 0;
        for (int y = 0; y < lined.height(); ++y) {
            for (int x = 0; x < lined.width(); ++x) {
                count += reddish(lined.pixel(x, y)) && !reddish(plain.pixel(x, y));
            }
        }
        QVERIFY2(count > 200, qPrintable(QString::number(count)));
        inside(window).ui.actionShow_Feature_Lines->setChecked(false);
        inside(window).scene.lines = LnLineSettings();
    }

    // The ink of the render lies on the lines of the preview, both found as
    // the pixels the lines change.
    void renderInkMatchesThePreview_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("torus over the ground")
            << QString(KELVANE_SOURCE_DIR "/samples/torus.off") << QStringList({"--ground"});
        QTest::newRow("sphere over the ground, wide lines")
            << QString() << QStringList({"--ground", "--line-width", "4"});
        const QString shared = KELVANE_SHARED_DATA;
        QTest::newRow("bunny, suggestive contours and ridges")
            << shared + "/off/libigl/bunny.off"
            << QStringList({"--ground", "--indoor", "--lines", "contours,suggestive,ridges"});
        QTest::newRow("boxes, the lines of the file")
            << QString(KELVANE_SOURCE_DIR "/samples/boxes.npr") << QStringList({"--ground"});
        QTest::newRow("cow") << shared + "/ply/common3d/cow.ply" << QStringList({"--ground"});
    }
    void renderInkMatchesThePreview()
    {
        SKIP_WITHOUT_POVRAY();
        QFETCH(QString, scene);
        QFETCH(QStringList, options);
        if (scene.isEmpty()) {
            scene = sphere;
        }
        if (!QFileInfo::exists(scene)) {
            QSKIP(qPrintable("shared test data not present: " + scene));
        }
        if (!options.contains("--lines")) {
            options << "--lines"
                    << "contours,suggestive";
        }
        QStringList plainOptions = options;
        const int at = plainOptions.indexOf("--lines");
        plainOptions.removeAt(at);
        plainOptions.removeAt(at);
        const QStringList size({"--size", "240x180"});
        Run run = runProgram(KELVANE_EXE, QStringList({"--render", dir.filePath("r0.png"), "--preview",
                                                       dir.filePath("p0.png")}) +
                                              size + plainOptions + QStringList(scene));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        run = runProgram(KELVANE_EXE, QStringList({"--render", dir.filePath("r1.png"), "--preview",
                                                   dir.filePath("p1.png"), "--pov", dir.filePath("s1.pov")}) +
                                          size + options + QStringList(scene));
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QImage r0(dir.filePath("r0.png")), r1(dir.filePath("r1.png"));
        const QImage p0(dir.filePath("p0.png")), p1(dir.filePath("p1.png"));
        const int w = r0.width(), h = r0.height();
        const QVector<bool> ink = changed(r1, r0), drawn = changed(p1, p0);
        const int inkCount = ink.count(true), drawnCount = drawn.count(true);
        QVERIFY2(inkCount > 100 && drawnCount > 100,
                 qPrintable(QString("ink %1, drawn %2 pixels").arg(inkCount).arg(drawnCount)));
        const double inkOnLines = coveredShare(ink, drawn, w, h);
        const double linesInInk = coveredShare(drawn, ink, w, h);
        const QString report =
            QString("ink %1 px (%2 on the drawn lines), drawn %3 px (%4 under ink)")
                .arg(inkCount)
                .arg(inkOnLines)
                .arg(drawnCount)
                .arg(linesInInk);
        qInfo("%s", qPrintable(report));
        QVERIFY2(inkOnLines >= 0.8 && linesInInk >= 0.8, qPrintable(report));
    }
};

KELVANE_TEST_MAIN(TestFeatureLines)
#include "tst_FeatureLines.moc"
