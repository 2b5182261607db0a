#include "app/HelpDialogs.h"
#include "app/MainWindow.h"
#include "scene/PovImporter.h"
#include "tests/support/MainWindowAccess.h"
#include "tests/support/ModalDialog.h"
#include "tests/support/RunProgram.h"
#include "viewer/GLViewer.h"

#include "tests/support/FileDialog.h"

#include <QDialog>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGLViewer/manipulatedCameraFrame.h>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

QStringList warnings;
void collectWarnings(QtMsgType, const QMessageLogContext&, const QString& text)
{
    warnings << text;
}

// A flat grid of quads as an OFF file: 2 (n - 1)^2 triangles.
QString writeGrid(const QString& path, int n)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        return QString();
    }
    QTextStream out(&f);
    out << "OFF\n" << n * n << ' ' << 2 * (n - 1) * (n - 1) << " 0\n";
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            out << x << ' ' << y << " 0\n";
        }
    }
    for (int y = 0; y + 1 < n; ++y) {
        for (int x = 0; x + 1 < n; ++x) {
            const int a = y * n + x;
            out << "3 " << a << ' ' << a + 1 << ' ' << a + n + 1 << '\n';
            out << "3 " << a << ' ' << a + n + 1 << ' ' << a + n << '\n';
        }
    }
    return path;
}

// Answers the next modal file dialog: remembers its caption, filter and
// folder, then picks `name` or (a null name) cancels.
void answerOpenDialog(const QString& name, QString* seen)
{
    answerModal<QFileDialog>([name, seen](QFileDialog* dialog) {
        *seen = dialog->windowTitle() + "|" + dialog->nameFilters().join(";") + "|" +
                dialog->directory().absolutePath();
        typeIntoFileDialog(dialog, name);
    });
}

QStringList menuEntries(QMenu* menu)
{
    QStringList entries;
    for (QAction* action : menu->actions()) {
        entries << (action->isSeparator() ? QString("-") : action->objectName());
    }
    return entries;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void startState()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QString("Kelvane"));
        QCOMPARE(w.objectName(), QString("MainWindow"));
        QVERIFY(!inside(w).ui.materialDockWidget->isVisible());
        QVERIFY(!inside(w).ui.lightDockWidget->isVisible());
        QCOMPARE(inside(w).selectedModel, -1);
        QCOMPARE(inside(w).selectedLight, -1);
        QCOMPARE(inside(w).scene.modelCount(), 0);
        QVERIFY(inside(w).viewer == w.findChild<GLViewer*>("viewer"));

        // The docks sit in the central layout beside the view.
        QLayout* layout = inside(w).ui.centralwidget->layout();
        QCOMPARE(layout->objectName(), QString("hboxLayout"));
        QCOMPARE(layout->indexOf(inside(w).viewer), 0);
        QCOMPARE(layout->indexOf(inside(w).ui.lightDockWidget), 1);
        QCOMPARE(layout->indexOf(inside(w).ui.materialDockWidget), 2);
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(inside(w).ui.lightDockWidgetContents->layout()->objectName(),
                 QString("vboxLayout"));
        QCOMPARE(inside(w).ui.materialDockWidgetContents->layout()->objectName(),
                 QString("vboxLayout1"));
        QCOMPARE(inside(w).ui.materialDockWidget->features(), QDockWidget::DockWidgetClosable);
        QCOMPARE(inside(w).ui.materialDockWidget->sizePolicy().horizontalPolicy(),
                 QSizePolicy::Fixed);
        QCOMPARE(inside(w).ui.materialDockWidget->sizePolicy().verticalPolicy(),
                 QSizePolicy::Minimum);
        QCOMPARE(inside(w).ui.lightDockWidget->sizePolicy().verticalPolicy(),
                 QSizePolicy::Preferred);
        QCOMPARE(inside(w).viewer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);

        // Menus and their entries, in order.
        QStringList menus;
        for (QAction* a : inside(w).ui.menubar->actions()) {
            menus << a->menu()->objectName() + ":" + a->text();
        }
        QCOMPARE(menus, QStringList({"menuFile:File", "menuEdit:Edit", "menuView:View",
                                     "menuModel:Model", "menuLighting:Lighting", "menuHelp:Help"}));
        QCOMPARE(menuEntries(inside(w).ui.menuFile),
                 QStringList({"actionOpen_Scene",
                              inside(w).ui.menuOpen_Recent->menuAction()->objectName(),
                              "actionImport", "-", "actionSave_Scene", "actionSave_Scene_As", "-",
                              "actionRender_Full_Size", "actionPreview_POV_Ray_Scene",
                              "actionRender_Settings", "actionRender_Turntable",
                              "actionShow_Last_Render", "-", "actionQuit"}));
        QMenu* views = w.findChild<QMenu*>("menuViews");
        QVERIFY(views);
        QCOMPARE(menuEntries(inside(w).ui.menuView).mid(0, 8),
                 QStringList({"actionReset_Camera", views->menuAction()->objectName(),
                              "actionTrackball", "-", "actionShow_Lights",
                              "actionShow_Ground_Plane", "-", "actionWireframe"}));
        QCOMPARE(views->title(), QString("Views"));
        QCOMPARE(menuEntries(views),
                 QStringList({"actionView_Front", "actionView_Back", "actionView_Left",
                              "actionView_Right", "actionView_Top", "actionView_Bottom",
                              "actionView_Three_Quarter"}));
        QVERIFY(menuEntries(inside(w).ui.menuView)
                    .join(' ')
                    .contains("- actionShow_Feature_Lines actionFeature_Lines"));
        QCOMPARE(menuEntries(inside(w).ui.menuModel),
                 QStringList({"actionSubdivide", "-", "actionSmooth_Shading", "-",
                              "actionColours_from_File", "-", "actionPlacement", "actionMove_Mode",
                              "actionDrop_to_Ground", "actionCentre_on_Origin", "actionDuplicate",
                              "actionRemove"}));
        QCOMPARE(menuEntries(w.findChild<QMenu*>("menuEdit")),
                 QStringList({"actionUndo", "actionRedo"}));
        QCOMPARE(menuEntries(inside(w).ui.menuLighting).mid(0, 2),
                 QStringList({"actionLighting_Outdoor", "actionLighting_Indoor"}));

        QCOMPARE(
            menuEntries(inside(w).ui.menuHelp),
            QStringList({"actionKelvane_Help", "actionKeyboard_Shortcuts", "-", "actionAbout"}));
        QCOMPARE(inside(w).ui.actionRender_Full_Size->shortcut(), QKeySequence("Ctrl+R"));
        QCOMPARE(inside(w).ui.actionRender_Full_Size->shortcutContext(), Qt::ApplicationShortcut);
        QCOMPARE(inside(w).ui.actionOpen_Scene->text(), QString("Open..."));
        QCOMPARE(inside(w).ui.actionWireframe->text(), QString("Show Wireframe"));
        QCOMPARE(inside(w).ui.actionUpdate_Light->text(), QString("update current light"));
        QCOMPARE(inside(w).ui.actionUpdate_Texture->text(), QString("Update_Texture"));
    }

    void noConnectionWarningsAtStart()
    {
        // The render slots are connected explicitly; the form's connection
        // by name must not look for objects "render".
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        {
            MainWindow w;
        }
        qInstallMessageHandler(previous);
        const QStringList byName = warnings.filter("connectSlotsByName");
        QVERIFY2(byName.isEmpty(), qPrintable(byName.join('\n')));
    }

    // A load clears the selection, and the commands that work on the
    // selection follow: nothing to subdivide or shade until a pick.
    void loadResetsTheSelectionCommands()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QString grid = writeGrid(dir.filePath("grid.off"), 75);
        w.loadScene(grid);
        QCOMPARE(inside(w).scene.triangleCount(), 2 * 74 * 74 + 2LL);
        w.on_modelSelected(1);
        QVERIFY(inside(w).ui.actionSubdivide->isEnabled());
        QVERIFY(inside(w).ui.actionSmooth_Shading->isEnabled());
        QVERIFY(inside(w).ui.materialDockWidgetContents->isEnabled());
        w.on_lightSelected(0);
        QVERIFY(inside(w).ui.lightDockWidgetContents->isEnabled());

        w.loadScene(grid);
        QCOMPARE(inside(w).selectedModel, -1);
        QVERIFY(!inside(w).ui.actionSubdivide->isEnabled());
        QVERIFY(!inside(w).ui.actionSmooth_Shading->isEnabled());
        QVERIFY(!inside(w).ui.materialDockWidgetContents->isEnabled());
        QVERIFY(!inside(w).ui.lightDockWidgetContents->isEnabled());
        QVERIFY(!inside(w).ui.actionRemove_Light->isEnabled());

        // Without a selection Subdivide asks nothing and changes nothing.
        bool asked = false;
        QTimer::singleShot(100, [&asked]() {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = true;
                box->reject();
            }
        });
        w.on_actionSubdivide_triggered();
        QTest::qWait(200);
        QVERIFY(!asked);
        QCOMPARE(inside(w).scene.triangleCount(), 2 * 74 * 74 + 2LL);
    }

    // Subdivide and Smooth Shading on a picked smooth model, through the
    // menu entries.
    void subdivideAndSmoothShading()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(QFINDTESTDATA("../../samples/torus.off"));
        QCOMPARE(inside(w).scene.modelCount(), 2);
        const long long before = inside(w).scene.triangleCount();
        w.on_modelSelected(1);
        QVERIFY(inside(w).ui.actionSmooth_Shading->isChecked());
        QVERIFY(!inside(w).scene.models[1]->getMesh()->isFlat());
        inside(w).ui.actionSmooth_Shading->trigger();
        QVERIFY(inside(w).scene.models[1]->getMesh()->isFlat());
        QVERIFY(inside(w).scene.povText(inside(w).viewer->camera()).contains("\ttriangle {\n"));
        inside(w).ui.actionSmooth_Shading->trigger();
        QVERIFY(!inside(w).scene.models[1]->getMesh()->isFlat());

        inside(w).ui.actionSubdivide->trigger();
        QCOMPARE(inside(w).scene.triangleCount(), 4 * (before - 2) + 2);
        // The ground (a boxy model) cannot be subdivided.
        w.on_modelSelected(0);
        QVERIFY(!inside(w).ui.actionSubdivide->isEnabled());
        QVERIFY(inside(w).ui.actionSmooth_Shading->isEnabled());
    }

    void openDialog()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QString seen;
        answerOpenDialog(QString(), &seen);
        inside(w).ui.actionOpen_Scene->trigger();
        // The filters come from the importers: every readable file first,
        // then one per format family.
        QCOMPARE(seen, "Open Scene|" + PovImporters::openDialogFilter().replace(";;", ";") + "|" +
                           QDir::currentPath());
        QVERIFY(
            seen.startsWith("Open Scene|Scenes and models (*.kelvane *.npr *.off *.ply *.obj "));
        for (const char* pattern :
             {"*.stl", "*.gltf", "*.glb", "*.dae", "*.kmz", "*.3ds", "*.fbx", "*.3mf"}) {
            QVERIFY2(seen.section('|', 1, 1).section(';', 0, 0).contains(pattern), pattern);
        }
        QCOMPARE(w.windowTitle(), QString("Kelvane")); // cancelled: nothing loaded
        QCOMPARE(inside(w).scene.modelCount(), 0);

        const QString cube = QFileInfo(QFINDTESTDATA("../data/npr/cube.npr")).canonicalFilePath();
        answerOpenDialog(cube, &seen);
        inside(w).ui.actionOpen_Scene->trigger();
        QCOMPARE(inside(w).scene.modelCount(), 2);
        QVERIFY(w.windowTitle().endsWith("cube.npr"));
    }

    void actionStates_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("Open") << "actionOpen_Scene" << false << false << true;
        QTest::newRow("Render") << "actionRender_Full_Size" << false << false << true;
        QTest::newRow("Preview") << "actionPreview_POV_Ray_Scene" << false << false << true;
        QTest::newRow("Reset Camera") << "actionReset_Camera" << false << false << true;
        QTest::newRow("Show Lights") << "actionShow_Lights" << true << false << true;
        QTest::newRow("Show Ground") << "actionShow_Ground_Plane" << true << false << true;
        QTest::newRow("Wireframe") << "actionWireframe" << true << false << true;
        QTest::newRow("Subdivide") << "actionSubdivide" << false << false << false;
        QTest::newRow("Smooth Shading") << "actionSmooth_Shading" << true << true << false;
        QTest::newRow("Colours from File") << "actionColours_from_File" << true << false << true;
        QTest::newRow("Outdoor") << "actionLighting_Outdoor" << true << true << true;
        QTest::newRow("Indoor") << "actionLighting_Indoor" << true << false << true;
        QTest::newRow("Update Texture") << "actionUpdate_Texture" << false << false << true;
        QTest::newRow("Update Light") << "actionUpdate_Light" << false << false << true;
        QTest::newRow("Add Light") << "actionAdd_Light" << false << false << true;
        QTest::newRow("Remove Light") << "actionRemove_Light" << false << false << false;
        QTest::newRow("Show Feature Lines") << "actionShow_Feature_Lines" << true << false << true;
        QTest::newRow("Feature Lines") << "actionFeature_Lines" << false << false << true;
    }
    void actionStates()
    {
        QFETCH(QString, name);
        QFETCH(bool, checkable);
        QFETCH(bool, checked);
        QFETCH(bool, enabled);
        MainWindow w;
        QAction* action = w.findChild<QAction*>(name);
        QVERIFY(action);
        QCOMPARE(action->parent(), &w);
        QCOMPARE(action->isCheckable(), checkable);
        QCOMPARE(action->isChecked(), checked);
        QCOMPARE(action->isEnabled(), enabled);
    }

    // Model > Colours from File applies to the scenes opened after it: an
    // NPR model's face colour, a COLLADA document's material colour.
    void coloursFromFile()
    {
        const QString cube = QFINDTESTDATA("../data/npr/cube.npr");
        const QString dae = QFINDTESTDATA("../data/dae/model_camera_instances.dae");
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(cube);
        QCOMPARE(inside(w).scene.modelCount(), 2);
        QCOMPARE(inside(w).scene.textures[1].red, PovTexture().red);
        inside(w).ui.actionColours_from_File->trigger();
        QVERIFY(inside(w).scene.fileColours);
        QCOMPARE(inside(w).scene.textures[1].red, PovTexture().red); // the open scene keeps its own
        w.loadScene(cube);
        QCOMPARE(inside(w).scene.modelCount(), 2);
        QCOMPARE(inside(w).scene.textures[1].red, 0.9f);
        QCOMPARE(inside(w).scene.textures[1].green, 0.1f);
        w.loadScene(dae);
        QVERIFY(inside(w).scene.modelCount() > 1);
        QCOMPARE(inside(w).scene.textures[1].red, 0.5f);
        inside(w).ui.actionColours_from_File->trigger();
        w.loadScene(dae);
        QVERIFY(inside(w).scene.modelCount() > 1);
        QCOMPARE(inside(w).scene.textures[1].red, PovTexture().red);
    }

    void loadSetsTitleAndResetsState()
    {
        const QString cube = QFINDTESTDATA("../data/npr/cube.npr");
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(cube);
        QCOMPARE(w.windowTitle(), "Kelvane - " + cube);
        QCOMPARE(inside(w).scene.modelCount(), 2);
        QVERIFY(!w.findChild<QMessageBox*>("loadErrorBox"));

        // Put the window in a busy state, then load again.
        inside(w).selectedModel = 1;
        inside(w).viewer->selectedModel = 1;
        inside(w).ui.materialDockWidget->show();
        inside(w).ui.actionShow_Ground_Plane->setChecked(true);
        QVERIFY(inside(w).scene.groundVisible);
        inside(w).ui.actionWireframe->setChecked(true);
        QVERIFY(inside(w).viewer->wireframe);
        inside(w).ui.actionShow_Lights->setChecked(true);
        QVERIFY(inside(w).viewer->showLights);
        inside(w).ui.actionLighting_Outdoor->setChecked(false);

        w.loadScene(cube);
        QCOMPARE(inside(w).selectedModel, -1);
        QCOMPARE(inside(w).selectedLight, -1);
        QCOMPARE(inside(w).viewer->selectedModel, -1);
        QVERIFY(!inside(w).ui.materialDockWidget->isVisible());
        QVERIFY(!inside(w).ui.lightDockWidget->isVisible());
        QVERIFY(!inside(w).ui.actionShow_Ground_Plane->isChecked());
        QVERIFY(!inside(w).ui.actionWireframe->isChecked());
        QVERIFY(!inside(w).ui.actionShow_Lights->isChecked());
        QVERIFY(inside(w).ui.actionLighting_Outdoor->isChecked());
        QVERIFY(!inside(w).ui.actionLighting_Indoor->isChecked());
        QVERIFY(!inside(w).scene.groundVisible);
        QVERIFY(!inside(w).viewer->wireframe);
        QVERIFY(!inside(w).viewer->showLights);
    }

    // A file that cannot be opened, of any kind, is reported and leaves
    // the scene, its title and its view as they were.
    void failedOpenKeepsTheScene_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("NPR with a bad index")
            << "broken.npr"
            << QByteArray("0 0 0 1 1 1\nvertices 1\n0 0 0\nfaces 1\n0 1 2 [1, "
                          "0, 0]\nlines 0\n");
        QTest::newRow("truncated binary PLY")
            << "truncated.ply"
            << QByteArray("ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty "
                          "float x\nproperty float y\nproperty float z\nelement face 1\nproperty "
                          "list uchar int vertex_indices\nend_header\n\0\0\0\0",
                          170);
        QTest::newRow("text named .kmz") << "notes.kmz" << QByteArray("just some words\n");
        QTest::newRow("text named .dae") << "notes.dae" << QByteArray("<notcollada/>\n");
        QTest::newRow("unknown type") << "picture.xyz" << QByteArray("1 2 3\n");
        QTest::newRow("missing file") << "missing.off" << QByteArray();
        QTest::newRow("damaged document") << "damaged.kelvane" << QByteArray("{ \"version\": ");
        QTest::newRow("named pipe") << "pipe.npr" << QByteArray("fifo");
        QTest::newRow("folder") << "folder.dae" << QByteArray("folder");
    }
    void failedOpenKeepsTheScene()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const QString path = dir.filePath(name);
        QFile::remove(path);
        QDir(path).removeRecursively();
        if (bytes == "fifo") {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (bytes == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (!bytes.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        const QString cube = QFINDTESTDATA("../data/npr/cube.npr");
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(cube);
        inside(w).ui.actionLighting_Indoor->setChecked(true);
        const long long triangles = inside(w).scene.triangleCount();
        const QImage before = inside(w).viewer->grabFramebuffer();

        w.loadScene(path);
        QMessageBox* box = w.findChild<QMessageBox*>("loadErrorBox");
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QCOMPARE(box->text(), "Could not open \"" + path + "\".");
        QVERIFY(!box->informativeText().isEmpty());
        box->accept();
        QCOMPARE(w.windowTitle(), "Kelvane - " + cube + "*");
        QCOMPARE(inside(w).scene.triangleCount(), triangles);
        QVERIFY(!inside(w).scene.outdoorLighting);
        QCOMPARE(inside(w).viewer->grabFramebuffer(), before);
        QVERIFY(!MainWindow::recentFiles().contains(QFileInfo(path).absoluteFilePath()));

        // An empty window stays empty and untitled.
        MainWindow empty;
        empty.show();
        QVERIFY(QTest::qWaitForWindowExposed(&empty));
        empty.loadScene(path);
        QCOMPARE(empty.windowTitle(), QString("Kelvane"));
        QCOMPARE(inside(empty).scene.modelCount(), 0);
    }

    // Escape is for dismissing things: with or without changes it leaves
    // the window open and asks nothing.
    // Lighting > Environment... takes a panorama, its turn and strength:
    // the view shows it behind the model (turned 90 degrees, its red half
    // on the +x side, the screen's right from above), Undo and Redo take it
    // away and back; an image that is not one is refused in a box saying
    // why. Lighting > Studio gives the key, fill and rim lights; Outdoor
    // leaves it.
    void environmentAndStudioFromTheMenu()
    {
        const QString sky = dir.filePath("halves.hdr"), junk = dir.filePath("junk.hdr");
        PovImageRgb image;
        image.width = 64;
        image.height = 32;
        for (int i = 0; i < 64 * 32; ++i) {
            const bool red = i % 64 < 32;
            image.rgb.insert(image.rgb.end(), {red ? 1.0f : 0.0f, 0.0f, red ? 0.0f : 1.0f});
        }
        QVERIFY(writeRadianceHdr(sky, image, 1.0f, nullptr));
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#?RADIANCE\nbroken");
        f.close();
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        PovScene& scene = inside(w).scene;
        auto choose = [&](const QString& file) {
            answerModal<QDialog>([file](QDialog* dialog) {
                dialog->findChild<QLineEdit*>("environmentFileEdit")->setText(file);
                dialog->findChild<QDoubleSpinBox*>("environmentTurnSpinBox")->setValue(90.0);
                dialog->accept();
            });
            w.findChild<QAction*>("actionLighting_Environment")->trigger();
        };
        choose(sky);
        QVERIFY(scene.stage.environment());
        QCOMPARE(scene.stage.turn, 90.0);
        QVERIFY(w.findChild<QAction*>("actionLighting_Environment")->isChecked());
        QVERIFY(!inside(w).ui.actionLighting_Outdoor->isChecked());
        auto edges = [&]() {
            inside(w).viewer->repaint();
            const QImage view = inside(w).viewer->grabFramebuffer();
            const QRgb left = view.pixel(2, view.height() / 2);
            const QRgb right = view.pixel(view.width() - 3, view.height() / 2);
            return qRed(right) > qBlue(right) + 100 && qBlue(left) > qRed(left) + 100;
        };
        QVERIFY(edges());
        w.findChild<QAction*>("actionUndo")->trigger();
        QVERIFY(!scene.stage.environment());
        QVERIFY(inside(w).ui.actionLighting_Outdoor->isChecked());
        QVERIFY(!edges());
        w.findChild<QAction*>("actionRedo")->trigger();
        QVERIFY(scene.stage.environment());
        QVERIFY(edges());

        choose(junk);
        auto* box = w.findChild<QMessageBox*>("environmentErrorBox");
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        QVERIFY2(box->informativeText().contains("Radiance"), qPrintable(box->informativeText()));
        box->accept();
        QCOMPARE(scene.stage.environmentFile, sky);

        w.findChild<QAction*>("actionLighting_Studio")->trigger();
        QVERIFY(scene.stage.studio());
        QCOMPARE(scene.lightCount(), 3);
        QVERIFY(w.findChild<QAction*>("actionLighting_Studio")->isChecked());
        QVERIFY(!w.findChild<QAction*>("actionLighting_Environment")->isChecked());
        inside(w).ui.actionLighting_Outdoor->trigger();
        QVERIFY(!scene.stage.studio());
        QVERIFY(inside(w).ui.actionLighting_Outdoor->isChecked());
        QVERIFY(!w.findChild<QAction*>("actionLighting_Studio")->isChecked());
    }

    void escapeNeverCloses()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QApplication::setActiveWindow(&w);
        inside(w).viewer->setFocus();
        QTest::keyClick(inside(w).viewer, Qt::Key_Escape);
        QTest::qWait(50);
        QVERIFY(w.isVisible());

        w.loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        w.setModified();
        inside(w).viewer->setFocus();
        QTest::keyClick(inside(w).viewer, Qt::Key_Escape);
        QTest::keyClick(&w, Qt::Key_Escape);
        QTest::qWait(50);
        QVERIFY(w.isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(w.isModified());
    }

    // Turning the view is not an edit; a new file is seen from the view's
    // first direction, and Reset Camera stops any motion.
    void cameraMovesAreNotEdits()
    {
        MainWindow w;
        w.resize(800, 600);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        GLViewer* viewer = inside(w).viewer;
        const qglviewer::Quaternion first = viewer->camera()->orientation();
        w.loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        const QPoint c = viewer->rect().center();
        QTest::mousePress(viewer, Qt::LeftButton, Qt::NoModifier, c);
        for (int i = 1; i <= 6; ++i) {
            QMouseEvent move(QEvent::MouseMove, c + QPoint(30 * i, 10 * i), Qt::LeftButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(viewer, &move);
        }
        QTest::mouseRelease(viewer, Qt::LeftButton, Qt::NoModifier, c + QPoint(180, 60), 1);
        QVERIFY((viewer->camera()->orientation().axis() - first.axis()).norm() > 1e-3 ||
                std::fabs(viewer->camera()->orientation().angle() - first.angle()) > 1e-3);
        QVERIFY(!w.isModified());
        QVERIFY(!w.windowTitle().endsWith('*'));
        QVERIFY(!viewer->camera()->frame()->isSpinning());

        viewer->camera()->frame()->startSpinning(20);
        inside(w).ui.actionReset_Camera->trigger();
        QVERIFY(!viewer->camera()->frame()->isSpinning());
        QVERIFY(!w.isModified());

        w.loadScene(QFINDTESTDATA("../../samples/torus.off"));
        const qglviewer::Quaternion now = viewer->camera()->orientation();
        QVERIFY(std::fabs(now[0] * first[0] + now[1] * first[1] + now[2] * first[2] +
                          now[3] * first[3]) > 0.99999);
    }

    // The standard keys and the Help menu.
    void helpAndShortcuts()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(inside(w).ui.actionOpen_Scene->shortcut(), QKeySequence(QKeySequence::Open));
        QCOMPARE(inside(w).ui.actionQuit->shortcut(), QKeySequence(QKeySequence::Quit));
        QApplication::setActiveWindow(&w);
        QTest::keyClick(&w, Qt::Key_F1);
        auto* help = w.findChild<QMessageBox*>("helpBox");
        QVERIFY(help);
        QTRY_VERIFY(help->isVisible());
        QVERIFY(help->text().contains("Render Settings"));
        help->close();

        inside(w).ui.actionAbout->trigger();
        auto* about = w.findChild<QMessageBox*>("aboutBox");
        QVERIFY(about);
        QVERIFY(about->text().contains("Kelvane " KELVANE_VERSION));
        QVERIFY2(about->text().contains(QRegularExpression("Renderer: POV-Ray 3\\.7")),
                 qPrintable(about->text()));
        QVERIFY(about->text().contains("General Public License"));
        about->close();
        QVERIFY(povrayVersion("/nonexistent/povray").contains("not found"));

        inside(w).ui.actionKeyboard_Shortcuts->trigger();
        auto* keys = w.findChild<QMessageBox*>("shortcutsBox");
        QVERIFY(keys);
        for (QAction* action : {inside(w).ui.actionOpen_Scene, inside(w).ui.actionSave_Scene,
                                inside(w).ui.actionRender_Full_Size, inside(w).ui.actionQuit}) {
            QVERIFY2(keys->text().contains(action->shortcut().toString()),
                     qPrintable(action->shortcut().toString()));
        }
        keys->close();

        // Ctrl+Q closes the window (nothing unsaved to ask about).
        QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!w.isVisible());
    }

    // Render with nothing open says so instead of rendering black.
    void renderingNothingIsRefused()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        inside(w).ui.actionRender_Full_Size->trigger();
        QVERIFY(!inside(w).renderThread.isRunning());
        QVERIFY(w.statusBar()->currentMessage().startsWith("Nothing to render"));
    }

    void meshReaderReasonsAreShown()
    {
        // The mesh reader's own reason, and a model POV-Ray could not render.
        const QList<QPair<QByteArray, QString>> cases = {
            {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 9\n",
             "Face 0 uses vertex 9, the file has 3 vertices."},
            {"mtllib a.mtl\nv 0 0 0\nv 1 0 0\nl 1 2\n",
             "The file holds no triangles, only points or lines."},
        };
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (const auto& c : cases) {
            const QString path =
                dir.filePath(c.first.startsWith("OFF") ? "refused.off" : "refused.obj");
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(c.first);
            f.close();
            w.loadScene(path);
            QCOMPARE(inside(w).scene.modelCount(), 0);
            QMessageBox* box = w.findChild<QMessageBox*>("loadErrorBox");
            QVERIFY(box);
            QTRY_VERIFY(box->isVisible());
            QCOMPARE(box->informativeText(), c.second);
            box->accept();
        }
    }

    void unknownFileTypeIsReported()
    {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.loadScene(dir.filePath("scene.NPR"));
        QMessageBox* box = w.findChild<QMessageBox*>("loadErrorBox");
        QVERIFY(box);
        QVERIFY(box->informativeText().startsWith("The file type is not recognised"));
        box->accept();
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("stderrStart");
        QTest::newRow("two arguments")
            << QStringList({"a.npr", "b.npr"}) << "Usage: kelvane [scene]\n";
        QTest::newRow("file without a model")
            << QStringList({"missing.npr"})
            << " LN ERROR -  LnBoxyModel: failed to open 'missing.npr'\n";
    }
    void commandLine()
    {
        // The real program: it keeps running after the message, so stop it.
        QFETCH(QStringList, arguments);
        QFETCH(QString, stderrStart);
        QProcess kelvane;
        kelvane.setWorkingDirectory(dir.path());
        kelvane.start(KELVANE_EXE, arguments);
        QVERIFY(kelvane.waitForStarted(10000));
        QByteArray printed;
        QTRY_VERIFY_WITH_TIMEOUT(
            (printed += kelvane.readAllStandardError(), printed.contains(stderrStart.toLatin1())) ||
                kelvane.state() != QProcess::Running,
            15000);
        QCOMPARE(kelvane.state(), QProcess::Running);
        kelvane.terminate();
        QVERIFY(kelvane.waitForFinished(10000));
    }

    void noDisplay()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        const Run run = runProgram(KELVANE_EXE, QStringList(), env);
        QCOMPARE(run.status, 1);
        QVERIFY(run.err.contains("needs an X11 or Wayland display"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
