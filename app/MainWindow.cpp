#include "app/MainWindow.h"

#include "app/EditWindow.h"
#include "app/OutputWindow.h"
#include "viewer/GLViewer.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QSurfaceFormat>

MainWindow::MainWindow(QWidget* parent, Qt::WindowFlags flags) : QMainWindow(parent, flags)
{
    // The view's OpenGL format: alpha channel and multisampling. It must be
    // the default before the form creates the viewer.
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setAlphaBufferSize(8);
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);

    ui.setupUi(this); // ends by connecting the on_<object>_<signal> slots

    viewer = ui.viewer;
    ui.materialDockWidget->close();
    ui.lightDockWidget->close();
    viewer->setScene(&scene);
    // The thread's end arrives queued in the GUI thread.
    connect(&renderThread, &QThread::finished, this, &MainWindow::on_render_finished);

    outputWindow = new OutputWindow;
    editWindow = new EditWindow;
    connect(editWindow, &EditWindow::renderRequested, this, &MainWindow::on_render_requested);
}

MainWindow::~MainWindow()
{
    delete outputWindow;
    delete editWindow;
    // A render still running is waited for (at most the renderer's own
    // time-outs), so the thread object is never destroyed while it runs.
    renderThread.wait();
    // The scene's display lists live in the viewer's context, which must be
    // current while they are deleted; the viewer itself outlives this body.
    viewer->makeCurrent();
    scene.clear();
    viewer->doneCurrent();
}

void MainWindow::loadScene(const QString& fileName)
{
    viewer->resetState();
    viewer->makeCurrent();
    const bool loaded = scene.load(QFile::encodeName(fileName).constData(), viewer->camera());
    viewer->doneCurrent();
    viewer->resetCamera();

    ui.materialDockWidget->close();
    selectedModel = -1;
    selectedLight = -1;

    ui.actionShow_Ground_Plane->setChecked(false);
    ui.actionWireframe->setChecked(false);
    ui.actionShow_Lights->setChecked(false);
    ui.actionLighting_Outdoor->setChecked(true);
    ui.actionLighting_Indoor->setChecked(false);

    ui.materialDockWidget->close();
    ui.lightDockWidget->close();
    setWindowTitle(QStringLiteral("Kelvane - %1").arg(fileName));
    viewer->updateGL();

    if (!loaded) {
        if (!loadErrorBox) {
            loadErrorBox = new QMessageBox(QMessageBox::Warning, QStringLiteral("Open Scene"),
                                           QString(), QMessageBox::Ok, this);
            loadErrorBox->setObjectName(QStringLiteral("loadErrorBox"));
        }
        loadErrorBox->setText(QStringLiteral("Could not open \"%1\".").arg(fileName));
        QString reason = scene.loadError();
        if (!reason.isEmpty()) {
            reason[0] = reason[0].toUpper();
        }
        loadErrorBox->setInformativeText(reason + QLatin1Char('.'));
        loadErrorBox->open();
    }
}

void MainWindow::on_actionOpen_Scene_triggered()
{
    const QString fileName =
        QFileDialog::getOpenFileName(this, QStringLiteral("Open Scene"), QStringLiteral("."),
                                     QStringLiteral("Scenes (*.npr *.off *.ply *.obj *.kmz)"));
    if (!fileName.isNull()) {
        loadScene(fileName);
    }
}

void MainWindow::on_actionRender_Full_Size_triggered()
{
    if (renderThread.isRunning()) {
        return;
    }
    scene.writePovFile(viewer->camera(), QStringLiteral("tempscene.pov"));
    on_render_requested();
}

void MainWindow::on_actionPreview_POV_Ray_Scene_triggered()
{
    editWindow->setSceneText(scene.povText(viewer->camera()));
    editWindow->show();
}

void MainWindow::on_render_requested()
{
    if (renderThread.isRunning()) {
        return;
    }
    outputWindow->close();
    editWindow->close();
    scene.writeIniFile(viewer->width(), viewer->height());
    QDir(QStringLiteral(".")).remove(QStringLiteral("tempscene.bmp"));
    renderThread.sceneFile = QStringLiteral("tempscene.pov");
    ui.actionRender_Full_Size->setEnabled(false);
    editWindow->ui.renderButton->setEnabled(false);
    renderThread.start();
}

void MainWindow::on_render_finished()
{
    ui.actionRender_Full_Size->setEnabled(true);
    editWindow->ui.renderButton->setEnabled(true);
    outputWindow->loadImage(QStringLiteral("tempscene.bmp"));
    outputWindow->show();
}

void MainWindow::on_actionWireframe_toggled(bool checked) { viewer->wireframe = checked; }

void MainWindow::on_actionReset_Camera_triggered() { viewer->resetCamera(); }

void MainWindow::on_actionShow_Lights_toggled(bool checked)
{
    if (!checked) {
        selectedLight = -1;
        viewer->selectedLight = -1;
        ui.lightDockWidget->close();
    }
    viewer->showLights = checked;
    viewer->resetCamera();
}

void MainWindow::on_actionShow_Ground_Plane_toggled(bool checked)
{
    scene.groundVisible = checked;
    viewer->updateGL();
}

void MainWindow::on_actionSmooth_Shading_toggled(bool checked)
{
    if (selectedModel >= 0) {
        viewer->makeCurrent();
        scene.setFlatShading(selectedModel, !checked);
        viewer->doneCurrent();
    }
}
