#include "app/MainWindow.h"
#include "ln/LnBoxyMesh.h"
#include "ln/LnSmoothMesh.h"
#include "scene/PovNamedView.h"
#include "scene/PovPictureFrame.h"
#include "tests/support/Drag.h"
#include "tests/support/MainWindowAccess.h"
#include "tests/support/Pixels.h"
#include "tests/support/PovrayChildren.h"
#include "app/OutputWindow.h"
#include "scene/PovPictureFrame.h"
#include "scene/PovSwatch.h"
#include "tests/support/SphereOff.h"
#include "trimesh/TriMesh.h"
#include "viewer/GLStandIn.h"
#include "viewer/GLViewer.h"

#include <QMenu>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>

namespace {

QPoint project(GLViewer* viewer, const qglviewer::Vec& world)
{
    const qglviewer::Vec p = viewer->camera()->projectedCoordinatesOf(world);
    return QPoint(int(p.x + 0.5), int(p.y + 0.5));
}

bool near(QRgb pixel, int r, int g, int b, int tolerance = 2)
{
    return std::abs(qRed(pixel) - r) <= tolerance && std::abs(qGreen(pixel) - g) <= tolerance &&
           std::abs(qBlue(pixel) - b) <= tolerance;
}

// The pixels within `reach` of `at` (a square) that show the colour.
int count(const QImage& image, QPoint at, int reach, int r, int g, int b)
{
    int n = 0;
    for (int y = at.y() - reach; y <= at.y() + reach; ++y) {
        for (int x = at.x() - reach; x <= at.x() + reach; ++x) {
            n += image.rect().contains(x, y) && near(image.pixel(x, y), r, g, b, 3);
        }
    }
    return n;
}

QString describe(QRgb pixel)
{
    return QString("(%1, %2, %3)").arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel));
}

// A material that shows its base colour under a white light: ambient only.
// The view shows it sRGB-encoded, as the renderer writes it:
// 0.2, 0.6, 0.4 gives (124, 203, 170).
PovTexture flat(float r, float g, float b)
{
    PovTexture t;
    t.setColor(r, g, b);
    t.setFinish(0.0f, 0.0f, 1.0f, 0.0f, 0.01f);
    return t;
}

} // namespace

class TestGLViewer : public QObject {
    Q_OBJECT
    MainWindow* window = nullptr;
    GLViewer* viewer = nullptr;
    QTemporaryDir cache;

    // A left-button drag on the view from `from` in `moves` steps of `step`.
    void drag(QPoint from, QPoint step, int moves) { dragLeft(viewer, from, step, moves); }

    QRgb centrePixel()
    {
        const QImage image = grabView(viewer);
        return image.pixel(image.width() / 2, image.height() / 2);
    }

private slots:
    void initTestCase()
    {
        // The swatches are kept in a cache of the test's own.
        QVERIFY(cache.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        window = new MainWindow;
        window->resize(800, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        viewer = inside(window).viewer;
        window->loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        QCOMPARE(inside(window).scene.modelCount(), 2);
    }

    void cleanupTestCase() { delete window; }

    void init()
    {
        // Every case starts from the loaded state: outdoor sun, shaded view.
        inside(window).scene.setOutdoorLighting();
        inside(window).scene.groundVisible = false;
        viewer->wireframe = false;
        viewer->showLights = false;
        viewer->selectedModel = -1;
        viewer->resetCamera();
    }

    void cameraSettings()
    {
        QCOMPARE(viewer->camera()->zClippingCoefficient(), 5.0);
        QCOMPARE(viewer->mouseAction(Qt::Key(0), Qt::NoModifier, Qt::MiddleButton),
                 QGLViewer::TRANSLATE);
        QCOMPARE(viewer->mouseAction(Qt::Key(0), Qt::NoModifier, Qt::RightButton), QGLViewer::ZOOM);
        QCOMPARE(viewer->clickAction(Qt::Key(0), Qt::NoModifier, Qt::LeftButton, true),
                 QGLViewer::SELECT);
    }

    // A left drag orbits about +z: the horizon stays level (the camera's
    // x axis stays horizontal) and +z stays up on the screen, whatever the
    // drag; the trackball, when chosen, rolls freely. A quick release never
    // leaves the view spinning.
    void orbitKeepsZUp()
    {
        const QPoint centre = viewer->rect().center();
        const qglviewer::Quaternion start = viewer->camera()->orientation();
        viewer->camera()->setViewDirection(qglviewer::Vec(0.3, 1.0, -0.4));
        viewer->camera()->setUpVector(qglviewer::Vec(0, 0, 1));

        // The trackball, when chosen, rolls freely.
        inside(window).ui.actionTrackball->setChecked(true);
        QVERIFY(viewer->isTrackball());
        drag(centre, QPoint(25, 10), 8);
        QVERIFY(std::fabs(viewer->camera()->rightVector().z) > 1e-2);
        QVERIFY(!viewer->camera()->frame()->isSpinning());

        // Back to the orbit, the horizon is levelled and stays level.
        const qglviewer::Vec looking = viewer->camera()->viewDirection();
        inside(window).ui.actionTrackball->setChecked(false);
        QVERIFY((viewer->camera()->viewDirection() - looking).norm() < 1e-9);
        QVERIFY(std::fabs(viewer->camera()->rightVector().z) < 1e-6);
        drag(centre, QPoint(25, 0), 8);
        drag(centre, QPoint(0, 9), 5);
        drag(centre, QPoint(-20, 14), 8);
        QVERIFY((viewer->camera()->viewDirection() - looking).norm() > 0.1);
        const qglviewer::Vec x = viewer->camera()->rightVector();
        QVERIFY2(std::fabs(x.z) < 1e-6, qPrintable(QString::number(x.z)));
        QVERIFY(viewer->camera()->upVector().z > 0.0);
        QVERIFY(!viewer->camera()->frame()->isSpinning());
        viewer->camera()->setOrientation(start);
    }

    // View > Views and their keys turn the camera to each named view,
    // fitted as the command line fits it (the keypad's digits too); a view
    // is no edit. The orbit turns about +z after Top and after a load,
    // which turn the camera's up vector to +y.
    void namedViewsFromTheMenu()
    {
        const qglviewer::Quaternion start = viewer->camera()->orientation();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QMenu* views = window->findChild<QMenu*>("menuViews");
        QVERIFY(views);
        const QList<QAction*> entries = inside(window).ui.menuView->actions();
        QCOMPARE(entries.indexOf(views->menuAction()),
                 entries.indexOf(inside(window).ui.actionReset_Camera) + 1);
        const QList<QPair<QKeySequence, Qt::KeyboardModifiers>> keys = {
            {QKeySequence(Qt::Key_1), Qt::KeypadModifier},
            {QKeySequence("Ctrl+1"), {}},
            {QKeySequence("Ctrl+3"), {}},
            {QKeySequence(Qt::Key_3), {}},
            {QKeySequence(Qt::Key_7), {}},
            {QKeySequence("Ctrl+7"), {}},
            {QKeySequence(Qt::Key_0), {}}};
        QCOMPARE(views->actions().size(), int(namedViews().size()));
        vec c;
        float r;
        inside(window).scene.viewSphere(false, c, r);
        const qglviewer::Vec center(c[0], c[1], c[2]);
        for (int i = 0; i < views->actions().size(); ++i) {
            const PovNamedView view = namedViews()[size_t(i)];
            QAction* action = views->actions()[i];
            QCOMPARE(action->text(), namedViewTitle(view));
            QCOMPARE(action->shortcut(), keys[i].first);
            viewer->camera()->setOrientation(start);
            viewer->camera()->setPosition(qglviewer::Vec(5, 5, 5));
            const int key = keys[i].first[0];
            QTest::keyClick(window, Qt::Key(key & ~Qt::KeyboardModifierMask),
                            Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask) | keys[i].second);
            const PovViewAxes axes = namedViewAxes(view);
            QVERIFY2((viewer->camera()->viewDirection() - axes.direction).norm() < 1e-9,
                     qPrintable(action->text()));
            QVERIFY((viewer->camera()->upVector() - axes.up).norm() < 1e-9);
            QVERIFY(
                (viewer->camera()->position() -
                 fittedCameraPosition(axes.direction, center, r, viewer->camera()->fieldOfView(),
                                      viewer->camera()->aspectRatio()))
                    .norm() < 1e-9);
            QVERIFY(qFuzzyCompare(viewer->sceneRadius(), double(r)));
            QVERIFY(qGray(centrePixel()) > 10);
        }
        QVERIFY(!window->isModified());
        QCOMPARE(window->undoStack()->count(), 0);

        // The orbit after Top, and after a load (which looks from the top
        // too), turns about +z, with the horizon level.
        for (bool load : {false, true}) {
            if (load) {
                window->loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
            } else {
                QTest::keyClick(window, Qt::Key_7);
            }
            drag(viewer->rect().center(), QPoint(25, 0), 8);
            drag(viewer->rect().center(), QPoint(0, -10), 4);
            QVERIFY((viewer->camera()->viewDirection() - qglviewer::Vec(0, 0, -1)).norm() > 0.1);
            QVERIFY2(std::fabs(viewer->camera()->rightVector().z) < 1e-6,
                     load ? "after a load" : "after Top");
        }
        viewer->camera()->setOrientation(start);
    }

    // A selected light's marker can be dragged: an indoor light keeps its
    // distance from the origin; the sun turns and stays above the ground.
    void lightsCanBeDragged()
    {
        const qglviewer::Quaternion start = viewer->camera()->orientation();
        inside(window).ui.actionLighting_Indoor->setChecked(true);
        inside(window).ui.actionShow_Lights->setChecked(true);
        viewer->camera()->setViewDirection(qglviewer::Vec(0.2, 1.0, -0.5));
        viewer->camera()->setUpVector(qglviewer::Vec(0, 0, 1));
        viewer->resetCamera();
        window->on_lightSelected(1);
        viewer->selectedLight = 1;
        viewer->update();
        QTest::qWait(20);
        const vec before = inside(window).scene.lights[1].position;
        const qglviewer::Vec cameraBefore = viewer->camera()->position();
        const QPoint at = project(viewer, qglviewer::Vec(before[0], before[1], before[2]));
        QVERIFY(viewer->rect().contains(at));
        drag(at, QPoint(12, 6), 5);
        const vec after = inside(window).scene.lights[1].position;
        QVERIFY(len(after - before) > 0.05f * len(before));
        QVERIFY(std::fabs(len(after) - len(before)) < 1e-4f * len(before));
        QVERIFY((viewer->camera()->position() - cameraBefore).norm() < 1e-9);
        QVERIFY(window->isModified());

        inside(window).ui.actionLighting_Outdoor->setChecked(true);
        window->on_lightSelected(0);
        viewer->selectedLight = 0;
        vec c;
        float r;
        inside(window).scene.bounds(c, r);
        vec d = inside(window).scene.lights[0].position;
        normalize(d);
        const vec onRay = c + d * (1.5f * r);
        const QPoint sun = project(viewer, qglviewer::Vec(onRay[0], onRay[1], onRay[2]));
        QVERIFY(viewer->rect().contains(sun));
        const float azimuth = inside(window).scene.lights[0].azimuth;
        drag(sun, QPoint(15, 40), 4);
        const PovLight& moved = inside(window).scene.lights[0];
        QVERIFY(std::fabs(moved.azimuth - azimuth) > 0.05f);
        QVERIFY(moved.elevation >= 0.0f && moved.position[2] >= -1e-3f);
        // The panel follows the drag.
        QCOMPARE(inside(window).ui.sunElevationSlider->value(),
                 int(moved.elevation * 57.29579f));
        inside(window).ui.actionShow_Lights->setChecked(false);
        window->on_lightSelected(-1);
        viewer->selectedLight = -1;
        viewer->camera()->setOrientation(start);
    }

    // With a fixed picture size of another shape, the view dims what lies
    // outside the picture's frame and leaves the frame as it was.
    void pictureFrameGuide()
    {
        viewer->background = QColor(200, 200, 200);
        const QImage plain = grabView(viewer);
        viewer->setPictureSize(QSize(viewer->width() * 3, viewer->height())); // wider
        const QImage framed = grabView(viewer);
        const QRect frame = pictureFrame(viewer->size(), viewer->pictureSize());
        QCOMPARE(frame.width(), viewer->width());
        QVERIFY(frame.height() < viewer->height() / 2);
        const QPoint inside(frame.center().x(), frame.top() + 3);
        const QPoint outside(frame.center().x(), frame.top() / 2);
        QCOMPARE(framed.pixel(inside), plain.pixel(inside));
        QVERIFY(qRed(framed.pixel(outside)) < qRed(plain.pixel(outside)) - 40);
        viewer->setPictureSize(QSize());
        QCOMPARE(grabView(viewer).pixel(outside), plain.pixel(outside));
        viewer->background = QColor(0, 0, 0);
    }

    void cameraFitsTheScene()
    {
        const float r = std::sqrt(3.0f);
        QVERIFY(std::fabs(viewer->sceneRadius() - 1.1 * r) < 1e-4);
        viewer->showLights = true; // outdoor: three times the models' sphere
        viewer->resetCamera();
        QVERIFY(std::fabs(viewer->sceneRadius() - 3.0 * r) < 1e-4);
        inside(window).scene.setIndoorLighting(); // indoor: the lights' sphere
        viewer->resetCamera();
        vec c;
        float lr;
        inside(window).scene.lightBounds(c, lr);
        QVERIFY(std::fabs(viewer->sceneRadius() - 1.1 * lr) < 1e-3);
        QCOMPARE(viewer->sceneCenter(), qglviewer::Vec(0, 0, 0));
    }

    void blackBackgroundAndMaterialColour()
    {
        inside(window).scene.setTexture(1, flat(0.2f, 0.6f, 0.4f));
        const QImage image = grabView(viewer);
        QVERIFY2(near(image.pixel(2, 2), 0, 0, 0), qPrintable(describe(image.pixel(2, 2))));
        const QRgb centre = image.pixel(image.width() / 2, image.height() / 2);
        QVERIFY2(near(centre, 124, 203, 170), qPrintable(describe(centre)));
    }

    void namedTextureIsMidGrey()
    {
        PovTexture t = flat(0.9f, 0.1f, 0.1f);
        t.name = "T_Wood7";
        inside(window).scene.setTexture(1, t);
        const QRgb centre = centrePixel();
        QVERIFY2(near(centre, 188, 188, 188), qPrintable(describe(centre)));
    }

    void lightIntensityScalesTheLight()
    {
        // Diffuse white under the sun straight above: the light's intensity
        // 0.3, encoded, gives 149; the ambient light ignores intensities,
        // as the renderer's does.
        PovTexture t;
        t.setColor(1.0f, 1.0f, 1.0f);
        t.setFinish(1.0f, 0.0f, 0.0f, 0.0f, 0.01f);
        inside(window).scene.setTexture(1, t);
        inside(window).scene.lights[0].intensity = 0.3f;
        QRgb centre = centrePixel();
        QVERIFY2(near(centre, 149, 149, 149), qPrintable(describe(centre)));
        inside(window).scene.setTexture(1, flat(1.0f, 1.0f, 1.0f));
        centre = centrePixel();
        QVERIFY2(near(centre, 255, 255, 255), qPrintable(describe(centre)));
    }

    void reversedNormalsAreLitLikeTheOthers()
    {
        // The top face's triangles get normals pointing into the cube on
        // every other face, as some exporters write them: the view lights
        // each face from the side the eye sees, as the renderer does, so the
        // whole top face is evenly lit (diffuse only, the sun overhead).
        LnBoxyMesh* mesh =
            dynamic_cast<LnBoxyMesh*>(inside(window).scene.models[1]->getDisplayMesh());
        QVERIFY(mesh);
        const std::vector<vec> oldNormals = mesh->normals;
        const std::vector<LnFace> oldFaces = mesh->faces;
        const bool oldHasNormals = mesh->hasNormals;
        mesh->hasNormals = true;
        mesh->normals.clear();
        for (int i = 0; i < mesh->getNumFaces(); ++i) {
            const vec n = mesh->faceNormal(i) * (i % 2 ? -1.0f : 1.0f);
            mesh->normals.push_back(n);
            LnFace& f = mesh->faces[i];
            f.na = f.nb = f.nc = uint32_t(i);
        }
        viewer->makeCurrent();
        mesh->makeDisplayLists();
        viewer->doneCurrent();

        PovTexture t;
        t.setColor(0.8f, 0.8f, 0.8f);
        t.setFinish(0.7f, 0.0f, 0.1f, 0.0f, 0.01f);
        inside(window).scene.setTexture(1, t);
        grabView(viewer);
        const QImage image = grabView(viewer);
        int darkest = 255, brightest = 0;
        for (double x = -0.8; x <= 0.81; x += 0.2) {
            for (double y = -0.8; y <= 0.81; y += 0.2) {
                const int grey = qGray(image.pixel(project(viewer, qglviewer::Vec(x, y, 1.0))));
                darkest = std::min(darkest, grey);
                brightest = std::max(brightest, grey);
            }
        }
        mesh->normals = oldNormals;
        mesh->faces = oldFaces;
        mesh->hasNormals = oldHasNormals;
        viewer->makeCurrent();
        mesh->makeDisplayLists();
        viewer->doneCurrent();
        QVERIFY2(brightest - darkest <= 3 && darkest > 150,
                 qPrintable(QString("top face greys from %1 to %2").arg(darkest).arg(brightest)));
    }


    // A model given a POV-Ray preset shows it in the view as the render
    // does: once its swatch is ready, the mean colour of the model agrees
    // with the render's channel by channel, and the top face shows the
    // pattern (the plain colour is one colour there). The swatch is kept in
    // the cache folder.
    void presetsShowAsRendered_data()
    {
        QTest::addColumn<QString>("preset");
        QTest::newRow("oak") << "T_Wood1";
        QTest::newRow("red marble") << "T_Stone21";
        QTest::newRow("plain colour") << QString();
    }
    void presetsShowAsRendered()
    {
        SKIP_WITHOUT_POVRAY();
        QFETCH(QString, preset);
        PovTexture t;
        t.setColor(0.7f, 0.5f, 0.3f);
        t.name = preset;
        t.setFinish(0.7f, 0.0f, inside(window).scene.textures[0].ambient, 0.0f, 0.01f);
        inside(window).scene.setTexture(1, t);
        // Seen from aside: the sun stands almost straight above, and the
        // marble's highlight (a phong of its own, which the view does not
        // draw) stays out of the picture.
        const qglviewer::Quaternion start = viewer->camera()->orientation();
        const auto restore = qScopeGuard([&]() {
            viewer->camera()->setOrientation(start);
            inside(window).scene.setTexture(1, PovTexture());
        });
        viewer->camera()->setViewDirection(qglviewer::Vec(0.5, 0.6, -0.7));
        viewer->showEntireScene();
        const int before = viewer->drawCount();
        viewer->updateGL();
        const int shown = preset.isNull() ? 0 : 1;
        QTRY_VERIFY_WITH_TIMEOUT(viewer->drawCount() > before && viewer->swatchesDrawn() == shown,
                                 60000);
        const QImage view = grabView(viewer);
        if (shown) {
            const QString folder = PovSwatches::defaultCacheFolder();
            QVERIFY2(folder.startsWith(cache.path()), qPrintable(folder));
            QVERIFY(!QDir(folder).entryList({"*.png"}, QDir::Files).isEmpty());
        }

        QSignalSpy finished(&inside(window).renderThread, &QThread::finished);
        inside(window).ui.actionRender_Full_Size->trigger();
        QVERIFY(finished.wait(60000));
        QTRY_VERIFY(!inside(window).outputWindow->image.isNull());
        const QImage render = inside(window).outputWindow->image.convertToFormat(QImage::Format_RGB32);
        inside(window).outputWindow->close();
        QCOMPARE(render.size(), view.size());

        // Medians, not means: the marble's veins have a highlight of their
        // own (phong) that the view does not draw.
        const QVector<bool> a = silhouette(view), b = silhouette(render);
        std::vector<int> channels[2][3];
        for (int i = 0; i < a.size(); ++i) {
            if (a[i] && b[i]) {
                const int x = i % view.width(), y = i / view.width();
                for (int k = 0; k < 2; ++k) {
                    const QRgb p = (k ? render : view).pixel(x, y);
                    channels[k][0].push_back(qRed(p));
                    channels[k][1].push_back(qGreen(p));
                    channels[k][2].push_back(qBlue(p));
                }
            }
        }
        QVERIFY(channels[0][0].size() > 1000);
        for (int c = 0; c < 3; ++c) {
            double medians[2];
            for (int k = 0; k < 2; ++k) {
                std::vector<int>& values = channels[k][c];
                std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
                medians[k] = values[values.size() / 2];
            }
            const double ratio = medians[1] > 0.0 ? medians[0] / medians[1] : 0.0;
            QVERIFY2(ratio >= 0.8 && ratio <= 1.25,
                     qPrintable(QString("channel %1: view / render %2").arg(c).arg(ratio)));
        }

        // The top face is evenly lit: its spread of colour is the texture's.
        int spread = 0;
        QRgb first = 0;
        for (double x = -0.8; x <= 0.81; x += 0.1) {
            for (double y = -0.8; y <= 0.81; y += 0.1) {
                const QRgb p = view.pixel(project(viewer, qglviewer::Vec(x, y, 1.0)));
                if (x == -0.8 && y == -0.8) {
                    first = p;
                }
                spread = std::max({spread, std::abs(qRed(p) - qRed(first)),
                                   std::abs(qGreen(p) - qGreen(first)),
                                   std::abs(qBlue(p) - qBlue(first))});
            }
        }
        if (shown) {
            QVERIFY2(spread > 24, qPrintable(QString("top face spread %1").arg(spread)));
        } else {
            QVERIFY2(spread <= 2, qPrintable(QString("top face spread %1").arg(spread)));
        }
    }

    void highlightColour()
    {
        // The sun stands almost straight above and so does the camera: the
        // top face reflects the full specular colour.
        PovTexture t;
        t.setColor(0.2f, 0.6f, 0.4f);
        t.setFinish(0.0f, 1.0f, 0.0f, 0.0f, 1.0f);
        inside(window).scene.setTexture(1, t);
        QRgb centre = centrePixel();
        QVERIFY2(near(centre, 255, 255, 255, 4), qPrintable(describe(centre)));
        t.metallic = true;
        inside(window).scene.setTexture(1, t);
        centre = centrePixel();
        QVERIFY2(near(centre, 124, 203, 170, 4), qPrintable(describe(centre)));
    }

    void groundOnlyWhenVisible()
    {
        inside(window).scene.setTexture(0, flat(0.0f, 0.0f, 1.0f));
        grabView(viewer); // draws, so the camera's matrices are current
        const QPoint p = project(viewer, qglviewer::Vec(2.5, 0.0, inside(window).scene.groundZ));
        QImage image = grabView(viewer);
        QVERIFY(image.rect().contains(p));
        QVERIFY2(near(image.pixel(p), 0, 0, 0), qPrintable(describe(image.pixel(p))));
        inside(window).scene.groundVisible = true;
        image = grabView(viewer);
        QVERIFY2(near(image.pixel(p), 0, 0, 255), qPrintable(describe(image.pixel(p))));
    }

    void selectedModelHasAYellowRim()
    {
        inside(window).scene.setTexture(1, flat(0.2f, 0.6f, 0.4f));
        grabView(viewer);
        // Just outside the top face's edge.
        const QPoint edge = project(viewer, qglviewer::Vec(1.0, 0.0, 1.0));
        const QPoint outside = edge + QPoint(2, 0);
        QVERIFY2(near(grabView(viewer).pixel(outside), 0, 0, 0),
                 qPrintable(describe(grabView(viewer).pixel(outside))));
        viewer->selectedModel = 1;
        // The line is antialiased at its borders: look for a fully covered
        // pixel across the rim.
        const QImage image = grabView(viewer);
        bool yellow = false;
        for (int dx = 1; dx <= 3; ++dx) {
            yellow = yellow || near(image.pixel(edge + QPoint(dx, 0)), 255, 255, 64, 3);
        }
        QVERIFY2(yellow, qPrintable(describe(image.pixel(outside))));
    }

    void wireframeDrawsGreenEdges()
    {
        viewer->wireframe = true;
        grabView(viewer);
        const QPoint edge = project(viewer, qglviewer::Vec(1.0, 0.0, 1.0));
        const QImage image = grabView(viewer);
        bool bright = false;
        for (int dx = -2; dx <= 2; ++dx) {
            bright = bright || near(image.pixel(edge + QPoint(dx, 0)), 64, 255, 64, 3);
        }
        QVERIFY(bright);
        // Inside the top face no fill is drawn.
        const QRgb centre = image.pixel(image.width() / 2 + 7, image.height() / 2 + 3);
        QVERIFY2(near(centre, 0, 0, 0), qPrintable(describe(centre)));
    }

    // Indoors every light is a star in its colour; the selected star has a
    // yellow border; hidden lights draw nothing.
    void indoorStars()
    {
        inside(window).scene.setIndoorLighting();
        for (PovLight& light : inside(window).scene.lights) {
            light.color = vec(0.0f, 1.0f, 1.0f);
        }
        viewer->showLights = true;
        viewer->selectedLight = -1;
        viewer->resetCamera();
        grabView(viewer);
        const vec p = inside(window).scene.lights[2].position;
        const QPoint at = project(viewer, qglviewer::Vec(p[0], p[1], p[2]));
        QImage image = grabView(viewer);
        QVERIFY(image.rect().contains(at));
        QVERIFY(count(image, at, 2, 0, 255, 255) > 0);
        QCOMPARE(count(image, at, 30, 255, 255, 0), 0);

        viewer->selectedLight = 2;
        image = grabView(viewer);
        QVERIFY(count(image, at, 2, 0, 255, 255) > 0);
        QVERIFY(count(image, at, 30, 255, 255, 0) > 20);

        viewer->showLights = false;
        image = grabView(viewer);
        QCOMPARE(count(image, at, 30, 0, 255, 255), 0);
        QCOMPARE(count(image, at, 30, 255, 255, 0), 0);
        viewer->selectedLight = -1;
    }

    // Outdoors the sun is a ray from the models' centre towards it, in its
    // colour, with a yellow border when selected; a light added beside it
    // is a star, shown in its direction.
    void outdoorSunRayAndAddedStar()
    {
        inside(window).scene.lights[0].color = vec(1.0f, 0.0f, 1.0f);
        viewer->showLights = true;
        viewer->selectedLight = -1;
        viewer->resetCamera();
        // Seen from the side, so the almost vertical ray shows its length.
        viewer->camera()->setViewDirection(qglviewer::Vec(0, 1, 0));
        viewer->camera()->setUpVector(qglviewer::Vec(0, 0, 1));
        viewer->camera()->showEntireScene();
        grabView(viewer);
        vec c;
        float r;
        inside(window).scene.bounds(c, r);
        vec d = inside(window).scene.lights[0].position;
        normalize(d);
        const vec onRay = c + d * (2.2f * r);
        const QPoint ray = project(viewer, qglviewer::Vec(onRay[0], onRay[1], onRay[2]));
        QImage image = grabView(viewer);
        QVERIFY(image.rect().contains(ray));
        QVERIFY(count(image, ray, 2, 255, 0, 255) > 0);
        QCOMPARE(count(image, ray, 20, 255, 255, 0), 0);
        viewer->selectedLight = 0;
        image = grabView(viewer);
        QVERIFY(count(image, ray, 2, 255, 0, 255) > 0);
        QVERIFY(count(image, ray, 20, 255, 255, 0) > 10);

        // Add Light places the light far above (beyond the sun); its star
        // is drawn in its direction, selected.
        inside(window).ui.actionAdd_Light->trigger();
        QCOMPARE(viewer->selectedLight, 1);
        inside(window).scene.lights[1].color = vec(0.0f, 1.0f, 1.0f);
        const vec m = markerPosition(inside(window).scene.lights[1].position, c, r, true);
        QVERIFY(std::fabs(len(m - c) - 2.0f * r) < 1e-3f * r);
        grabView(viewer);
        const QPoint star = project(viewer, qglviewer::Vec(m[0], m[1], m[2]));
        image = grabView(viewer);
        QVERIFY(image.rect().contains(star));
        QVERIFY(count(image, star, 2, 0, 255, 255) > 0);
        QVERIFY(count(image, star, 30, 255, 255, 0) > 20);
        viewer->selectedLight = -1;
        inside(window).scene.lights.resize(1);
    }

    // A large model: its stand-in is built in the background, drawn for
    // every frame of a drag and never at rest, before or after; at rest
    // (selected too) the full mesh is drawn from vertex buffers, without
    // strips or display lists. (Last: it replaces the cube, which it puts
    // back.)
    void standInOnlyWhileMoving()
    {
        QTemporaryDir dir;
        const QString sphere = dir.filePath("sphere.off");
        QVERIFY(writeSphereOff(sphere, 8)); // 524,288 triangles
        window->loadScene(sphere);
        PovScene& scene = inside(window).scene;
        QCOMPARE(scene.modelCount(), 2);
        LnModel* model = scene.models[1];
        GLStandIns& standIns = viewer->standInModels();
        grabView(viewer); // the first draw starts the build
        QTRY_VERIFY_WITH_TIMEOUT(standIns.ready(model), 40000);
        const QImage rest = grabView(viewer);
        const int standInBefore = standIns.standInDraws, fullBefore = standIns.fullDraws;

        const QPoint from(viewer->width() / 2, viewer->height() / 2), step(6, 2);
        QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewer, &press);
        QImage moving;
        for (int i = 1; i <= 5; ++i) {
            QMouseEvent move(QEvent::MouseMove, from + step * i, Qt::LeftButton, Qt::LeftButton,
                             Qt::NoModifier);
            QApplication::sendEvent(viewer, &move);
            moving = grabView(viewer);
        }
        QCOMPARE(standIns.standInDraws - standInBefore, 5);
        QCOMPARE(standIns.fullDraws, fullBefore);
        // The stand-in shows the same sphere.
        QVERIFY(intersectionOverUnion(silhouette(moving), silhouette(rest)) > 0.97);

        QMouseEvent release(QEvent::MouseButtonRelease, from + step * 5, Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewer, &release);
        grabView(viewer);
        grabView(viewer);
        QCOMPARE(standIns.standInDraws - standInBefore, 5);
        QCOMPARE(standIns.fullDraws - fullBefore, 2);
        QVERIFY(!standIns.moving());

        const int wholeBefore = standIns.wholeDraws;
        viewer->selectedModel = 1;
        const QImage selected = grabView(viewer);
        // The surface and the selection's rim.
        QCOMPARE(standIns.wholeDraws - wholeBefore, 2);
        QVERIFY(count(selected, from, viewer->width() / 2, 255, 255, 64) > 100);
        auto* smooth = dynamic_cast<LnSmoothMesh*>(model->getMesh());
        QVERIFY(smooth);
        QCOMPARE(smooth->shadedListName(), -1);
        QVERIFY(smooth->triMesh()->strips.empty());
        viewer->selectedModel = -1;

        window->loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
    }
};

QTEST_MAIN(TestGLViewer)
#include "tst_GLViewer.moc"
