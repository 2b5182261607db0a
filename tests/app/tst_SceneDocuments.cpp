// Scene documents in the main window: save and reopen, refused documents,
// the unsaved-changes question, recent files and dropped files.

#include "app/MainWindow.h"
#include "tests/support/FileDialog.h"
#include "tests/support/MainWindowAccess.h"
#include "tests/support/ModalDialog.h"
#include "viewer/GLViewer.h"

#include <QGLViewer/camera.h>

#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Clicks `button` of the next message box named `name` once it is up.
void answerBox(const QString& name, QMessageBox::StandardButton button)
{
    answerModal<QMessageBox>([name, button](QMessageBox* box) {
        if (box->objectName() != name) {
            return false;
        }
        box->button(button)->click();
        return true;
    });
}

void openWindow(MainWindow& w)
{
    w.resize(640, 480);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
}

QImage grab(MainWindow& w)
{
    QCoreApplication::processEvents();
    inside(w).viewer->grabFramebuffer();
    return inside(w).viewer->grabFramebuffer();
}

} // namespace

class TestSceneDocuments : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString torus;
    QString cube;

    // A window with the torus loaded and edited through the panels.
    void editTorus(MainWindow& w)
    {
        w.loadScene(torus);
        QVERIFY(!w.isModified());
        w.on_modelSelected(1);
        inside(w).viewer->selectedModel = 1;
        inside(w).ui.pigmentPresetBox->setCurrentIndex(2); // Red Marble
        inside(w).ui.pigmentPresetButton->click();
        inside(w).ui.pigmentMetallicBox->setChecked(true);
        inside(w).ui.surfaceWavyButton->click();
        inside(w).ui.actionSubdivide->trigger();
        inside(w).ui.actionLighting_Indoor->setChecked(true);
        w.on_lightSelected(2);
        inside(w).ui.lightRedBox->setValue(0.3);
        inside(w).ui.lightAmbientBox->setValue(0.2);
        inside(w).ui.actionShow_Ground_Plane->setChecked(true);
        w.on_modelSelected(0);
        inside(w).ui.pigmentRGBButton->click();
        inside(w).ui.pigmentGreenBox->setValue(0.7);
        inside(w).viewer->camera()->setPosition(qglviewer::Vec(3.1, -9.7, 4.3));
        inside(w).viewer->camera()->lookAt(qglviewer::Vec(0.1, 0.2, -0.4));
        w.on_modelSelected(-1);
        inside(w).viewer->selectedModel = -1;
        w.on_lightSelected(-1);
        // The panels take room from the view (and may make the window
        // taller): closed, the view has the size a window of that size gives.
        inside(w).ui.materialDockWidget->close();
        inside(w).ui.lightDockWidget->close();
        grab(w);
        QVERIFY(w.isModified());
        QCOMPARE(w.windowTitle(), "Kelvane - " + torus + "*");
        QCOMPARE(inside(w).scene.textures[1].name, QString("T_Stone21"));
        QCOMPARE(inside(w).scene.subdivisions(1), 1);
    }

private slots:
    void initTestCase()
    {
        // Settings of their own, never the user's.
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName("KelvaneTests");
        QCoreApplication::setApplicationName("tst_SceneDocuments");
        QVERIFY(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("settings"));
        QSettings().clear();
        torus = dir.filePath("torus.off");
        cube = dir.filePath("cube.npr");
        QVERIFY(QFile::copy(QStringLiteral(KELVANE_SOURCE_DIR "/samples/torus.off"), torus));
        QVERIFY(QFile::copy(QStringLiteral(KELVANE_SOURCE_DIR "/tests/data/npr/cube.npr"), cube));
    }

    void init() { QSettings().clear(); }

    // A scene edited in the window, saved and reopened in a fresh window,
    // gives the same POV-Ray text and the same preview; so does the command
    // line on the saved document.
    void savedSceneReopensTheSame()
    {
        const QString document = dir.filePath("edited.kelvane");
        QString povBefore;
        QImage viewBefore;
        QSize windowSize;
        {
            MainWindow w;
            openWindow(w);
            editTorus(w);
            povBefore = inside(w).scene.povText(inside(w).viewer->camera());
            viewBefore = grab(w);
            windowSize = w.size();
            QVERIFY(w.saveDocument(document));
            QVERIFY(!w.isModified());
            QCOMPARE(w.windowTitle(), "Kelvane - " + document);
            QCOMPARE(MainWindow::recentFiles(), QStringList({document, torus}));
            // Saved again, unchanged, under another name: the title follows.
            const QString copy = dir.filePath("copy.kelvane");
            QVERIFY(w.saveDocument(copy));
            QCOMPARE(w.windowTitle(), "Kelvane - " + copy);
        }
        MainWindow w;
        openWindow(w);
        w.resize(windowSize);
        QTRY_COMPARE(w.size(), windowSize);
        w.loadScene(document);
        QVERIFY(!w.findChild<QMessageBox*>("loadErrorBox"));
        QCOMPARE(w.windowTitle(), "Kelvane - " + document);
        QVERIFY(!w.isModified());
        QVERIFY(inside(w).ui.actionShow_Ground_Plane->isChecked());
        QVERIFY(inside(w).ui.actionLighting_Indoor->isChecked());
        QVERIFY(!inside(w).ui.actionLighting_Outdoor->isChecked());
        QCOMPARE(inside(w).documentFile, document);
        QCOMPARE(inside(w).modelFile, torus);
        const QImage viewAfter = grab(w);
        const QString povAfter = inside(w).scene.povText(inside(w).viewer->camera());
        QVERIFY(povAfter == povBefore);
        QCOMPARE(viewAfter.size(), viewBefore.size());
        QVERIFY(viewAfter == viewBefore);

        // Headless, at the view's size.
        const QString pov = dir.filePath("cli.pov");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        process.setProcessEnvironment(env);
        process.start(
            KELVANE_EXE,
            {"--pov", pov, "--size",
             QString("%1x%2").arg(inside(w).viewer->width()).arg(inside(w).viewer->height()),
             document});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QFile written(pov);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll() == povBefore.toLatin1());
    }

    // A damaged document is refused with its name and the problem, and the
    // scene in the window, its edits and its title stay as they were.
    void refusedDocumentLosesNothing()
    {
        const QString damaged = dir.filePath("damaged.kelvane");
        {
            MainWindow w;
            openWindow(w);
            editTorus(w);
            QVERIFY(w.saveDocument(damaged));
        }
        QFile f(damaged);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray text = f.readAll();
        text.replace("\"intensity\": 0.3", "\"intensity\": -0.3");
        f.resize(0);
        f.write(text);
        f.close();

        MainWindow w;
        openWindow(w);
        editTorus(w);
        const QString pov = inside(w).scene.povText(inside(w).viewer->camera());
        const QString title = w.windowTitle();
        w.loadScene(damaged);
        QMessageBox* box = w.findChild<QMessageBox*>("loadErrorBox");
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QCOMPARE(box->text(), "Could not open \"" + damaged + "\".");
        QVERIFY2(box->informativeText().contains("lights[0].intensity is -0.3"),
                 qPrintable(box->informativeText()));
        box->accept();
        QCOMPARE(w.windowTitle(), title);
        QVERIFY(w.isModified());
        QVERIFY(inside(w).ui.actionLighting_Indoor->isChecked());
        QVERIFY(inside(w).scene.povText(inside(w).viewer->camera()) == pov);
        QVERIFY(inside(w).documentFile.isEmpty());

        // Refused after its model file was loaded: the document lists one
        // model too many for it.
        QJsonObject root = QJsonDocument::fromJson(text).object();
        QJsonArray files = root["files"].toArray();
        QJsonObject file = files[0].toObject();
        QJsonArray models = file["models"].toArray();
        models.append(models[0]);
        file["models"] = models;
        files[0] = file;
        root["files"] = files;
        root["lights"] = QJsonArray();
        const QString mismatched = dir.filePath("mismatched.kelvane");
        QFile g(mismatched);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write(QJsonDocument(root).toJson());
        g.close();
        w.loadScene(mismatched);
        QTRY_VERIFY(box->isVisible());
        QCOMPARE(box->text(), "Could not open \"" + mismatched + "\".");
        QVERIFY2(box->informativeText().contains("describes 2 models"),
                 qPrintable(box->informativeText()));
        box->accept();
        QCOMPARE(w.windowTitle(), title);
        QVERIFY(inside(w).scene.povText(inside(w).viewer->camera()) == pov);
        // A document that cannot be written says so and keeps the changes
        // marked unsaved.
        const QString nowhere = dir.filePath("no/such/folder/scene.kelvane");
        QVERIFY(!w.saveDocument(nowhere));
        QMessageBox* saveBox = w.findChild<QMessageBox*>("saveErrorBox");
        QVERIFY(saveBox);
        QTRY_VERIFY(saveBox->isVisible());
        QCOMPARE(saveBox->text(), "Could not save \"" + nowhere + "\".");
        saveBox->accept();
        QCOMPARE(w.windowTitle(), title);
        QVERIFY(w.isModified());

        const QImage view = grab(w);
        w.loadScene(torus);
        QVERIFY(grab(w) != view); // the kept scene was still drawn, edited
    }

    // Opening another scene or closing the window with unsaved changes asks
    // first; each answer does what it says.
    void unsavedChangesQuestion()
    {
        MainWindow w;
        openWindow(w);
        editTorus(w);
        const int triangles = int(inside(w).scene.triangleCount());

        answerBox("unsavedChangesBox", QMessageBox::Cancel);
        QVERIFY(!w.openScene(cube));
        QCOMPARE(int(inside(w).scene.triangleCount()), triangles);
        QVERIFY(w.isModified());

        answerBox("unsavedChangesBox", QMessageBox::Cancel);
        QVERIFY(!w.close());
        QVERIFY(w.isVisible());

        // Save: the scene has no document yet, so Save As asks for a name.
        const QString document = dir.filePath("answered.kelvane");
        answerBox("unsavedChangesBox", QMessageBox::Save);
        answerFileDialog(document);
        QVERIFY(w.openScene(cube));
        QVERIFY(QFileInfo::exists(document));
        QCOMPARE(w.windowTitle(), "Kelvane - " + cube);
        QVERIFY(!w.isModified());

        // Discard: nothing written.
        inside(w).ui.actionShow_Ground_Plane->setChecked(true);
        QVERIFY(w.isModified());
        answerBox("unsavedChangesBox", QMessageBox::Discard);
        QVERIFY(w.openScene(document));
        QCOMPARE(int(inside(w).scene.triangleCount()), triangles);
        QCOMPARE(w.windowTitle(), "Kelvane - " + document);

        // Unchanged: no question at all.
        QVERIFY(w.openScene(cube));
        QVERIFY(!w.isModified());
        // Zooming with the wheel moves the camera, which a save keeps, but
        // is no change to ask about.
        const QPoint middle = inside(w).viewer->rect().center();
        const qglviewer::Vec before = inside(w).viewer->camera()->position();
        QWheelEvent wheel(middle, inside(w).viewer->mapToGlobal(middle), QPoint(), QPoint(0, 120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(inside(w).viewer, &wheel);
        QVERIFY((inside(w).viewer->camera()->position() - before).norm() > 1e-6);
        QVERIFY(!w.isModified());
        QCOMPARE(w.windowTitle(), "Kelvane - " + cube);
        QVERIFY(w.close());
    }

    // A document saved with a sky and Photo quality opens looking so: the
    // view clears to the sky and lights colours as Photo renders them, and
    // a fixed picture size shows its frame.
    void reopenedDocumentViewFollowsItsSettings()
    {
        const QString document = dir.filePath("sky.kelvane");
        {
            MainWindow w;
            openWindow(w);
            w.loadScene(cube);
            inside(w).renderSettings.background = PovBackgroundKind::Sky;
            inside(w).renderSettings.quality = PovQuality::Photo;
            inside(w).renderSettings.useViewSize = false;
            inside(w).renderSettings.size = QSize(400, 100);
            QVERIFY(w.saveDocument(document));
        }
        MainWindow w;
        openWindow(w);
        QCOMPARE(inside(w).viewer->background, QColor(0, 0, 0));
        w.loadScene(document);
        QCOMPARE(inside(w).viewer->background, PovRenderSettings::skyHorizon());
        QVERIFY(inside(w).viewer->srgbColours);
        QCOMPARE(inside(w).viewer->pictureSize(), QSize(400, 100));
    }

    // The last 8 files, newest first; one reopened moves to the top; one
    // that has gone is dropped when chosen, with a message.
    void recentFiles()
    {
        MainWindow w;
        openWindow(w);
        QStringList copies;
        for (int i = 0; i < 10; ++i) {
            copies << dir.filePath(QString("cube%1.npr").arg(i));
            QFile::remove(copies.last());
            QVERIFY(QFile::copy(cube, copies.last()));
            w.loadScene(copies.last());
        }
        QStringList expected;
        for (int i = 9; i >= 2; --i) {
            expected << copies[i];
        }
        QCOMPARE(MainWindow::recentFiles(), expected);
        QCOMPARE(inside(w).ui.menuFile->actions().value(1),
                 inside(w).ui.menuOpen_Recent->menuAction());
        QCOMPARE(inside(w).ui.menuOpen_Recent->actions().size(), 8);
        QCOMPARE(inside(w).ui.menuOpen_Recent->actions()[0]->text(), copies[9]);

        // Choosing an entry opens it and moves it to the top.
        inside(w).ui.menuOpen_Recent->actions()[3]->trigger();
        QCOMPARE(w.windowTitle(), "Kelvane - " + copies[6]);
        QCOMPARE(MainWindow::recentFiles().first(), copies[6]);
        QCOMPARE(MainWindow::recentFiles().size(), 8);

        // A file that is gone.
        QVERIFY(QFile::remove(copies[8]));
        const int index = MainWindow::recentFiles().indexOf(copies[8]);
        inside(w).ui.menuOpen_Recent->actions()[index]->trigger();
        QMessageBox* box = w.findChild<QMessageBox*>("recentGoneBox");
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QVERIFY(box->text().contains(copies[8]));
        box->accept();
        QVERIFY(!MainWindow::recentFiles().contains(copies[8]));
        QCOMPARE(MainWindow::recentFiles().size(), 7);
        QCOMPARE(inside(w).ui.menuOpen_Recent->actions().size(), 7);
        QCOMPARE(w.windowTitle(), "Kelvane - " + copies[6]);

        // A fresh window shows the kept list.
        MainWindow other;
        QCOMPARE(inside(other).ui.menuOpen_Recent->actions().size(), 7);
    }

    // The command line refuses a damaged document, naming it and the problem.
    void commandLineRefusesDamagedDocument()
    {
        const QString moved = dir.filePath("moved.kelvane");
        QFile f(moved);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"version\": 1, \"model\": \"elsewhere/torus.off\", \"models\": []}");
        f.close();
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        process.setProcessEnvironment(env);
        process.start(KELVANE_EXE, {"--pov", dir.filePath("moved.pov"), moved});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 1);
        const QString error = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(error.contains("cannot open the scene document '" + moved + "'"),
                 qPrintable(error));
        QVERIFY2(error.contains(dir.filePath("elsewhere/torus.off")), qPrintable(error));
        QVERIFY(!QFileInfo::exists(dir.filePath("moved.pov")));
    }

    // The bundled showcase renders headless into a picture with its
    // materials and lights, not a flat silhouette.
    void showcaseRenders()
    {
        const QString image = dir.filePath("showcase.png");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        process.setProcessEnvironment(env);
        process.start(KELVANE_EXE, {"--render", image, "--size", "160x120",
                                    KELVANE_SOURCE_DIR "/samples/showcase.kelvane"});
        QVERIFY(process.waitForFinished(120000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        const QImage picture(image);
        QCOMPARE(picture.size(), QSize(160, 120));
        QSet<QRgb> colors;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                colors.insert(picture.pixel(x, y));
            }
        }
        QVERIFY2(colors.size() > 500, qPrintable(QString::number(colors.size())));
        // The floor fills the corners: nothing is left black.
        QVERIFY(qGray(picture.pixel(2, 2)) > 40);
        QVERIFY(qGray(picture.pixel(157, 117)) > 40);
    }

    // A version 2 document written by hand with two meshes, the second
    // turned, scaled and moved along x: the picture shows it on the side
    // its placement says (+x is to the right in the fitted view).
    void composedDocumentRenders_data()
    {
        QTest::addColumn<double>("x");
        QTest::newRow("right") << 8.0;
        QTest::newRow("left") << -8.0;
    }
    void composedDocumentRenders()
    {
        QFETCH(double, x);
        const QString shared = QStringLiteral(KELVANE_SHARED_DATA "/ply/");
        if (!QFileInfo::exists(shared + "common3d/cow.ply") ||
            !QFileInfo::exists(shared + "geometry-central/bob_small.ply")) {
            QSKIP("the shared data is not here");
        }
        QJsonObject cow{{"path", shared + "common3d/cow.ply"},
                        {"models", QJsonArray{QJsonObject{
                                       {"texture", QJsonObject{{"color", QJsonArray{1, 0, 0}}}}}}}};
        QJsonObject bob{{"path", shared + "geometry-central/bob_small.ply"},
                        {"translate", QJsonArray{x, 0, 0.5}},
                        {"rotate", QJsonArray{0, 30, 90}},
                        {"scale", 1.5},
                        {"models", QJsonArray{QJsonObject{
                                       {"texture", QJsonObject{{"color", QJsonArray{0, 0, 1}}}}}}}};
        const QString document = dir.filePath("composed.kelvane");
        QFile f(document);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            QJsonDocument(QJsonObject{{"version", 2}, {"files", QJsonArray{cow, bob}}}).toJson());
        f.close();
        const QString image = dir.filePath("composed.png");
        QProcess process;
        process.start(KELVANE_EXE, {"--render", image, "--size", "200x150", document});
        QVERIFY(process.waitForFinished(120000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        const QImage picture(image);
        // The middle column of the red and of the blue pixels.
        double red = 0, blue = 0;
        int reds = 0, blues = 0;
        for (int py = 0; py < picture.height(); ++py) {
            for (int px = 0; px < picture.width(); ++px) {
                const QColor c = picture.pixelColor(px, py);
                if (c.red() > 2 * c.blue() + 20 && c.red() > 2 * c.green() + 20) {
                    red += px;
                    ++reds;
                } else if (c.blue() > 2 * c.red() + 20 && c.blue() > 2 * c.green() + 20) {
                    blue += px;
                    ++blues;
                }
            }
        }
        QVERIFY2(reds > 200 && blues > 50,
                 qPrintable(QStringLiteral("%1 %2").arg(reds).arg(blues)));
        QVERIFY((blue / blues > red / reds + 20) == (x > 0));
    }

    // A file dropped on the window opens.
    void droppedFileOpens()
    {
        MainWindow w;
        openWindow(w);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(cube)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &drop);
        QTRY_COMPARE(w.windowTitle(), "Kelvane - " + cube);
        QCOMPARE(inside(w).scene.modelCount(), 2);

        QMimeData text;
        text.setText("not a file");
        QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton,
                                Qt::NoModifier);
        refused.setAccepted(false);
        QApplication::sendEvent(&w, &refused);
        QVERIFY(!refused.isAccepted());
    }
};

QTEST_MAIN(TestSceneDocuments)
#include "tst_SceneDocuments.moc"
