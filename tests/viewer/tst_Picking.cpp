#include "app/EditWindow.h"
#include "app/MainWindow.h"
#include "app/OutputWindow.h"
#include "tests/support/MainWindowAccess.h"
#include "tests/support/ModalDialog.h"
#include "tests/support/Pixels.h"
#include "tests/support/SharedData.h"
#include "viewer/GLViewer.h"

#include <QGLViewer/camera.h>
#include <QMessageBox>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// An NPR file of `faces` copies of one triangle.
QString writeTriangles(const QString& path, int faces)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        return QString();
    }
    // Small triangles side by side on a square: drawing each frame costs
    // about one screen of fill, however many there are (stacked triangles
    // the size of the view would take software OpenGL minutes a frame).
    const int side = int(std::ceil(std::sqrt(double(faces))));
    QByteArray text = "0 0 0 1 1 0\nv " + QByteArray::number(3 * faces) + "\n";
    for (int i = 0; i < faces; ++i) {
        const QByteArray x = QByteArray::number(i % side), y = QByteArray::number(i / side);
        text += x + " " + y + " 0\n" + x + ".9 " + y + " 0\n" + x + " " + y + ".9 0\n";
    }
    text += "f " + QByteArray::number(faces) + "\n";
    for (int i = 0; i < faces; ++i) {
        text += QByteArray::number(3 * i) + " " + QByteArray::number(3 * i + 1) + " " +
                QByteArray::number(3 * i + 2) + " [1, 1, 1]\n";
    }
    text += "l 0\n";
    f.write(text);
    return path;
}

// Every model file under `folder` of a kind the program opens.
QStringList modelFiles(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder,
                    {"*.npr", "*.off", "*.ply", "*.obj", "*.dae", "*.kmz", "*.kelvane", "*.stl",
                     "*.gltf", "*.glb", "*.3ds", "*.fbx", "*.3mf", "*.OFF", "*.PLY", "*.OBJ",
                     "*.DAE", "*.KMZ", "*.STL", "*.3DS", "*.FBX"},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files << it.next();
    }
    files.sort();
    return files;
}

// Pixels of the selection's yellow outline.
int outlinePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            count += qRed(line[x]) > 230 && qGreen(line[x]) > 230 && qBlue(line[x]) < 110;
        }
    }
    return count;
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
        if (QTest::currentTestFunction() == QLatin1String("everyFileCanBePicked")) {
            return;
        }
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
        // 10000 triangles and the hidden ground's two: no question, as the
        // ground is neither drawn nor rendered.
        w->loadScene(writeTriangles(dir.filePath("exact.npr"), 10000));
        QCOMPARE(inside(w).scene.triangleCount(), 10002LL);
        QVERIFY(w->confirmLargeScene());
        inside(w).ui.actionPreview_POV_Ray_Scene->trigger();
        QVERIFY(inside(w).editWindow->isVisible());
        inside(w).editWindow->close();

        w->loadScene(writeTriangles(dir.filePath("over.npr"), 10001));
        QString asked;
        answerMessageBox(QMessageBox::No, &asked);
        inside(w).ui.actionPreview_POV_Ray_Scene->trigger();
        QCOMPARE(asked, QString("Large Scene|This scene has 10,001 triangles. Processing it may take "
                                "a long time. The meshes will be written for "
                                "POV-Ray as separate triangles. Do you want to continue?"));
        QVERIFY(!inside(w).editWindow->isVisible());
        answerMessageBox(QMessageBox::Yes);
        inside(w).ui.actionPreview_POV_Ray_Scene->trigger();
        QVERIFY(inside(w).editWindow->isVisible());
        inside(w).editWindow->close();

        // No to the render question writes nothing.
        QFile::remove(workFile(w, "tempscene.pov"));
        answerMessageBox(QMessageBox::No);
        inside(w).ui.actionRender_Full_Size->trigger();
        QVERIFY(!QFile::exists(workFile(w, "tempscene.pov")));
        QVERIFY(!inside(w).renderThread.isRunning());
    }

    void ctrlRFromTheEditorRendersTheSceneAnew()
    {
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
        QFile pov(workFile(w, "tempscene.pov"));
        QVERIFY(pov.open(QIODevice::ReadOnly));
        const QByteArray text = pov.readAll();
        QVERIFY(!text.contains("an edit that is not rendered"));
        QCOMPARE(text, inside(w).scene.povText(viewer->camera()).toLatin1());
        QVERIFY(finished.wait(60000));
    }

    // Double-clicking a model of every real file that opens selects and
    // outlines it; the background deselects; nothing crashes.
    void everyFileCanBePicked_data()
    {
        QTest::addColumn<QString>("file");
        const QString shared = QStringLiteral(KELVANE_SHARED_DATA);
        QStringList files = modelFiles(QStringLiteral(KELVANE_SOURCE_DIR "/samples"));
        if (QFileInfo(shared).isDir()) {
            files += modelFiles(shared);
        } else {
            qWarning("%s is absent: only the samples are picked", qPrintable(shared));
        }
        for (const QString& file : files) {
            QTest::newRow(qPrintable(file.mid(file.lastIndexOf('/', file.lastIndexOf('/') - 1))))
                << file;
        }
    }
    void everyFileCanBePicked()
    {
        QFETCH(QString, file);
        w->loadScene(file);
        if (!w->windowTitle().endsWith(file)) {
            if (auto* box = w->findChild<QMessageBox*>("loadErrorBox")) {
                box->close();
            }
            QSKIP("the file does not open");
        }
        viewer->update();
        const int before = viewer->drawCount();
        QTRY_VERIFY(viewer->drawCount() > before);

        // A corner of the view that shows the background deselects.
        const QRgb corner = grabView(viewer).pixel(1, 1);
        if (qRed(corner) < 16 && qGreen(corner) < 16 && qBlue(corner) < 16) {
            w->on_modelSelected(1);
            viewer->selectedModel = 1;
            QTest::mouseDClick(viewer, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
            QCOMPARE(viewer->selectedModel, -1);
            QCOMPARE(inside(w).selectedModel, -1);
        }

        // The model face that looks largest from the camera: its middle is
        // on some model, whatever lies in front of it.
        double best = 0.0;
        QPoint target;
        for (int m = 1; m < inside(w).scene.modelCount(); ++m) {
            LnMesh* mesh = inside(w).scene.models[size_t(m)]->getDisplayMesh();
            const int faces = mesh->getNumFaces();
            for (int f = 0; f < faces; f += std::max(1, faces / 2000)) {
                vec a, b, c;
                mesh->getFaceVertices(f, a, b, c);
                auto screen = [this](const vec& v) {
                    return viewer->camera()->projectedCoordinatesOf(
                        qglviewer::Vec(v[0], v[1], v[2]));
                };
                const qglviewer::Vec pa = screen(a), pb = screen(b), pc = screen(c);
                const double area =
                    std::fabs((pb.x - pa.x) * (pc.y - pa.y) - (pc.x - pa.x) * (pb.y - pa.y));
                const QPoint middle(int((pa.x + pb.x + pc.x) / 3.0),
                                    int((pa.y + pb.y + pc.y) / 3.0));
                if (area > best && viewer->rect().adjusted(2, 2, -2, -2).contains(middle)) {
                    best = area;
                    target = middle;
                }
            }
        }
        if (best < 40.0) {
            QSKIP("the models are seen edge-on: no face shows enough to be clicked");
        }
        picks.clear();
        QTest::mouseDClick(viewer, Qt::LeftButton, Qt::NoModifier, target);
        QVERIFY2(viewer->selectedModel >= 1, qPrintable(picks.join(", ")));
        QCOMPARE(inside(w).selectedModel, viewer->selectedModel);
        QVERIFY(inside(w).ui.materialDockWidgetContents->isEnabled());
        QVERIFY(outlinePixels(grabView(viewer)) > 0);
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

KELVANE_TEST_MAIN(TestPicking)
#include "tst_Picking.moc"
