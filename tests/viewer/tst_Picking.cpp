#include "app/EditWindow.h"
#include "app/MainWindow.h"
#include "app/OutputWindow.h"
#include "tests/support/MainWindowAccess.h"
#include "viewer/GLViewer.h"

#include <QGLViewer/camera.h>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Answers the next modal message box with `button` and remembers its text.
void answerMessageBox(QMessageBox::StandardButton button, QString* text = nullptr)
{
    QTimer::singleShot(0, [button, text]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            return;
        }
        if (text) {
            *text = box->windowTitle() + "|" + box->text();
        }
        box->button(button)->click();
    });
}

// An NPR file of `faces` copies of one triangle.
QString writeTriangles(const QString& path, int faces)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        return QString();
    }
    QByteArray text =
        "0 0 0 1 1 0\nv 3\n0 0 0\n1 0 0\n0 1 0\nf " + QByteArray::number(faces) + "\n";
    for (int i = 0; i < faces; ++i) {
        text += "0 1 2 [1, 1, 1]\n";
    }
    text += "l 0\n";
    f.write(text);
    return path;
}

} // namespace

class TestPicking : public QObject {
    Q_OBJECT
    MainWindow* w = nullptr;
    GLViewer* viewer = nullptr;
    QStringList picks; // the signals in the order they arrived
    QTemporaryDir dir;

    // Draws once so the camera's matrices are those of the current view,
    // then double-clicks where `world` appears.
    void doubleClickAt(const qglviewer::Vec& world)
    {
        viewer->update();
        const int before = viewer->drawCount();
        QTRY_VERIFY(viewer->drawCount() > before);
        const qglviewer::Vec p = viewer->camera()->projectedCoordinatesOf(world);
        const QPoint pixel(int(p.x + 0.5), int(p.y + 0.5));
        QVERIFY(viewer->rect().contains(pixel));
        picks.clear();
        QTest::mouseDClick(viewer, Qt::LeftButton, Qt::NoModifier, pixel);
    }

    // Shows the lights and double-clicks on the outdoor sun's ray, seen from
    // the side so the almost vertical ray is seen along its length.
    void doubleClickOnTheSunRay()
    {
        inside(w).ui.actionShow_Lights->setChecked(true);
        viewer->camera()->setViewDirection(qglviewer::Vec(0, 1, 0));
        viewer->camera()->setUpVector(qglviewer::Vec(0, 0, 1));
        viewer->camera()->showEntireScene();
        vec c;
        float r;
        inside(w).scene.bounds(c, r);
        vec d = inside(w).scene.lights[0].position;
        normalize(d);
        const vec onRay = c + d * (2.2f * r);
        doubleClickAt(qglviewer::Vec(onRay[0], onRay[1], onRay[2]));
    }

private slots:
    void initTestCase()
    {
        w = new MainWindow;
        w->resize(800, 600);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        viewer = inside(w).viewer;
        connect(viewer, &GLViewer::modelSelected,
                [this](int which) { picks << QString("model %1").arg(which); });
        connect(viewer, &GLViewer::lightSelected,
                [this](int which) { picks << QString("light %1").arg(which); });
    }
    void cleanupTestCase() { delete w; }

    void init()
    {
        w->loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        QCOMPARE(inside(w).scene.modelCount(), 2);
    }

    void modelPick()
    {
        doubleClickAt(qglviewer::Vec(0.3, 0.2, 1.0));
        QCOMPARE(picks, QStringList({"model 1", "light -1"}));
        QCOMPARE(viewer->selectedModel, 1);
        QCOMPARE(inside(w).selectedModel, 1);
        QVERIFY(inside(w).ui.materialDockWidget->isVisible());
        QVERIFY(inside(w).ui.materialDockWidgetContents->isEnabled());

        // Empty space clears the selection; the open panel stays, disabled.
        doubleClickAt(qglviewer::Vec(2.6, 0.0, inside(w).scene.groundZ));
        QCOMPARE(picks, QStringList({"model -1", "light -1"}));
        QCOMPARE(viewer->selectedModel, -1);
        QVERIFY(inside(w).ui.materialDockWidget->isVisible());
        QVERIFY(!inside(w).ui.materialDockWidgetContents->isEnabled());
        QVERIFY(!inside(w).ui.actionSmooth_Shading->isEnabled());
    }

    void singleClickNeverSelects()
    {
        viewer->update();
        QTest::qWait(50);
        const qglviewer::Vec p = viewer->camera()->projectedCoordinatesOf(qglviewer::Vec(0, 0, 1));
        picks.clear();
        QTest::mouseClick(viewer, Qt::LeftButton, Qt::NoModifier, QPoint(int(p.x), int(p.y)));
        QVERIFY(picks.isEmpty());
        QCOMPARE(viewer->selectedModel, -1);
    }

    void dragsMoveTheCamera_data()
    {
        QTest::addColumn<int>("button");
        QTest::newRow("middle translates") << int(Qt::MiddleButton);
        QTest::newRow("right zooms") << int(Qt::RightButton);
    }
    void dragsMoveTheCamera()
    {
        QFETCH(int, button);
        const Qt::MouseButton b = Qt::MouseButton(button);
        const qglviewer::Vec before = viewer->camera()->position();
        const qglviewer::Vec direction = viewer->camera()->viewDirection();
        const QPoint start = viewer->rect().center();
        QMouseEvent press(QEvent::MouseButtonPress, start, b, b, Qt::NoModifier);
        QApplication::sendEvent(viewer, &press);
        for (int i = 1; i <= 5; ++i) {
            QMouseEvent move(QEvent::MouseMove, start + QPoint(4 * i, 8 * i), Qt::NoButton, b,
                             Qt::NoModifier);
            QApplication::sendEvent(viewer, &move);
        }
        QMouseEvent release(QEvent::MouseButtonRelease, start + QPoint(20, 40), b, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(viewer, &release);
        const qglviewer::Vec moved = viewer->camera()->position() - before;
        QVERIFY(moved.norm() > 1e-3);
        // The view direction is kept either way; a zoom moves along it.
        QVERIFY((viewer->camera()->viewDirection() - direction).norm() < 1e-6);
        const double along = std::fabs(moved * direction) / moved.norm();
        if (b == Qt::RightButton) {
            QVERIFY(along > 0.999);
        } else {
            QVERIFY(along < 0.001);
        }
    }

    void ground()
    {
        const qglviewer::Vec onGround(2.6, 0.0, inside(w).scene.groundZ);
        doubleClickAt(onGround);
        QCOMPARE(picks, QStringList({"model -1", "light -1"}));
        inside(w).ui.actionShow_Ground_Plane->setChecked(true);
        doubleClickAt(onGround);
        QCOMPARE(picks, QStringList({"model 0", "light -1"}));
    }

    void indoorStar()
    {
        inside(w).ui.actionLighting_Indoor->setChecked(true);
        inside(w).ui.actionShow_Lights->setChecked(true);
        doubleClickAt(qglviewer::Vec(inside(w).scene.lights[2].position.data()[0],
                                     inside(w).scene.lights[2].position.data()[1],
                                     inside(w).scene.lights[2].position.data()[2]));
        QCOMPARE(picks, QStringList({"model -1", "light 2"}));
        QVERIFY(inside(w).ui.lightDockWidget->isVisible());
        QVERIFY(!inside(w).ui.lightPositionGroupBox->isEnabled());
        QVERIFY(inside(w).ui.actionRemove_Light->isEnabled());

        // With the lights hidden (same camera) the star cannot be picked.
        const vec p = inside(w).scene.lights[2].position;
        viewer->showLights = false;
        doubleClickAt(qglviewer::Vec(p[0], p[1], p[2]));
        QCOMPARE(picks, QStringList({"model -1", "light -1"}));

        // "Show Lights" off deselects the light in the window only.
        w->on_lightSelected(2);
        inside(w).ui.actionShow_Lights->setChecked(true);
        viewer->selectedLight = 2;
        inside(w).ui.actionShow_Lights->setChecked(false);
        QCOMPARE(inside(w).selectedLight, -1);
        QVERIFY(!inside(w).ui.lightDockWidgetContents->isEnabled());
        QVERIFY(!inside(w).ui.actionRemove_Light->isEnabled());
        QCOMPARE(viewer->selectedLight, 2);
    }

    void outdoorSunRay()
    {
        doubleClickOnTheSunRay();
        QCOMPARE(picks, QStringList({"model -1", "light 0"}));
        QVERIFY(inside(w).ui.lightPositionGroupBox->isEnabled());
    }

    // A light added under outdoor lighting is a star that can be picked
    // and edited like an indoor one.
    void outdoorAddedLight()
    {
        inside(w).ui.actionShow_Lights->setChecked(true);
        inside(w).ui.actionAdd_Light->trigger();
        QCOMPARE(inside(w).scene.lightCount(), 2);
        w->on_lightSelected(-1);
        viewer->selectedLight = -1;
        vec c;
        float r;
        inside(w).scene.bounds(c, r);
        const vec m = markerPosition(inside(w).scene.lights[1].position, c, r, true);
        doubleClickAt(qglviewer::Vec(m[0], m[1], m[2]));
        QCOMPARE(picks, QStringList({"model -1", "light 1"}));
        QCOMPARE(inside(w).selectedLight, 1);
        QVERIFY(inside(w).ui.lightDockWidgetContents->isEnabled());
        inside(w).ui.lightRedBox->setValue(0.5);
        QCOMPARE(inside(w).scene.lights[1].color, vec(0.5f, 1.0f, 1.0f));
    }

    void pickingALightSwapsTheDocks()
    {
        doubleClickAt(qglviewer::Vec(0, 0, 1));
        QVERIFY(inside(w).ui.materialDockWidget->isVisible());
        doubleClickOnTheSunRay();
        QVERIFY(!inside(w).ui.materialDockWidget->isVisible());
        QVERIFY(inside(w).ui.lightDockWidget->isVisible());
    }

    void largeSceneQuestion()
    {
        // 9998 triangles plus the ground's two: no question.
        w->loadScene(writeTriangles(dir.filePath("exact.npr"), 9998));
        QCOMPARE(inside(w).scene.triangleCount(), 10000LL);
        QVERIFY(w->confirmLargeScene());
        inside(w).ui.actionPreview_POV_Ray_Scene->trigger();
        QVERIFY(inside(w).editWindow->isVisible());
        inside(w).editWindow->close();

        w->loadScene(writeTriangles(dir.filePath("over.npr"), 9999));
        QString asked;
        answerMessageBox(QMessageBox::No, &asked);
        inside(w).ui.actionPreview_POV_Ray_Scene->trigger();
        QCOMPARE(asked, QString("Large Scene|This scene has 10001 triangles. Processing may take "
                                "a long time (or forever). The meshes will be written for "
                                "POV-Ray as separate triangles. Do you want to continue?"));
        QVERIFY(!inside(w).editWindow->isVisible());
        answerMessageBox(QMessageBox::Yes);
        inside(w).ui.actionPreview_POV_Ray_Scene->trigger();
        QVERIFY(inside(w).editWindow->isVisible());
        inside(w).editWindow->close();

        // No to the render question writes nothing.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QFile::remove("tempscene.pov");
        answerMessageBox(QMessageBox::No);
        inside(w).ui.actionRender_Full_Size->trigger();
        QVERIFY(!QFile::exists("tempscene.pov"));
        QVERIFY(!inside(w).renderThread.isRunning());
        QDir::setCurrent(previous);
    }

    void ctrlRFromTheEditorRendersTheSceneAnew()
    {
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        inside(w).ui.actionPreview_POV_Ray_Scene->trigger();
        QVERIFY(inside(w).editWindow->isVisible());
        inside(w).editWindow->ui.textEdit->append("// an edit that is not rendered");
        QVERIFY(QTest::qWaitForWindowExposed(inside(w).editWindow));
        // Xvfb has no window manager, so asking the server for focus is a race;
        // make the editor Qt's active window directly, which is all the
        // shortcut map looks at.
        QApplication::setActiveWindow(inside(w).editWindow);
        inside(w).editWindow->ui.textEdit->setFocus();
        QCOMPARE(QApplication::activeWindow(), static_cast<QWidget*>(inside(w).editWindow));
        QSignalSpy finished(&inside(w).renderThread, &QThread::finished);
        QTest::keyClick(inside(w).editWindow->ui.textEdit, Qt::Key_R, Qt::ControlModifier);
        QVERIFY(!inside(w).editWindow->isVisible());
        QFile pov("tempscene.pov");
        QVERIFY(pov.open(QIODevice::ReadOnly));
        const QByteArray text = pov.readAll();
        QVERIFY(!text.contains("an edit that is not rendered"));
        QCOMPARE(text, inside(w).scene.povText(viewer->camera()).toLatin1());
        QVERIFY(finished.wait(60000));
        QDir::setCurrent(previous);
    }

    void closingTheMainWindowClosesTheOthers()
    {
        inside(w).ui.actionPreview_POV_Ray_Scene->trigger();
        inside(w).outputWindow->show();
        w->close();
        QVERIFY(!inside(w).editWindow->isVisible());
        QVERIFY(!inside(w).outputWindow->isVisible());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
};

QTEST_MAIN(TestPicking)
#include "tst_Picking.moc"
