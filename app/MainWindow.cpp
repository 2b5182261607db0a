#include "app/MainWindow.h"

#include "app/EditWindow.h"
#include "app/OutputWindow.h"
#include "app/RenderSettingsDialog.h"
#include "app/TurntableDialog.h"
#include "app/TurntableRender.h"
#include "viewer/GLViewer.h"

#include <QCloseEvent>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
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
    connect(viewer, &GLViewer::modelSelected, this, &MainWindow::on_modelSelected);
    connect(viewer, &GLViewer::lightSelected, this, &MainWindow::on_lightSelected);

    // The render's progress, in the status bar while a render runs.
    renderStatusLabel = new QLabel;
    renderStatusLabel->setObjectName(QStringLiteral("renderStatusLabel"));
    renderProgressBar = new QProgressBar;
    renderProgressBar->setObjectName(QStringLiteral("renderProgressBar"));
    renderProgressBar->setMaximumWidth(200);
    cancelRenderButton = new QPushButton(QStringLiteral("Cancel"));
    cancelRenderButton->setObjectName(QStringLiteral("cancelRenderButton"));
    cancelRenderButton->setToolTip(QStringLiteral("Stop POV-Ray (Escape)"));
    statusBar()->addPermanentWidget(renderStatusLabel);
    statusBar()->addPermanentWidget(renderProgressBar);
    statusBar()->addPermanentWidget(cancelRenderButton);
    cancelRenderAction = new QAction(QStringLiteral("Cancel Render"), this);
    cancelRenderAction->setObjectName(QStringLiteral("cancelRenderAction"));
    cancelRenderAction->setShortcut(QKeySequence(Qt::Key_Escape));
    addAction(cancelRenderAction);
    connect(cancelRenderAction, &QAction::triggered, this, &MainWindow::cancelRender);
    connect(cancelRenderButton, &QPushButton::clicked, this, &MainWindow::cancelRender);
    connect(&renderThread, &PovRenderThread::progressChanged, this, &MainWindow::showRenderProgress);
    renderStatusTimer.setInterval(1000);
    connect(&renderStatusTimer, &QTimer::timeout, this, &MainWindow::updateRenderStatus);
    setRendering(false);
}

MainWindow::~MainWindow()
{
    delete outputWindow;
    delete editWindow;
    // A render still running is stopped and waited for, so the thread
    // object is never destroyed while it runs.
    renderThread.cancel();
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
    updateMaterialPanel();

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

bool MainWindow::confirmLargeScene(bool writesPovScene)
{
    const long long triangles = scene.triangleCount();
    if (triangles <= 10000) {
        return true;
    }
    QString form;
    if (writesPovScene) {
        form = resolveMeshForm(renderSettings.meshForm, triangles) == PovMeshForm::Mesh2
                   ? QStringLiteral(" The meshes will be written in the compact mesh2 form.")
                   : QStringLiteral(" The meshes will be written as separate triangles, which "
                                    "POV-Ray reads slowly at this size (see File > Render "
                                    "Settings...).");
    }
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        this, QStringLiteral("Large Scene"),
        QStringLiteral("This scene has %1 triangles. Processing may take a long time (or "
                       "forever).%2 Do you want to continue?")
            .arg(triangles)
            .arg(form),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    outputWindow->close();
    editWindow->close();
    QMainWindow::closeEvent(event);
}

void MainWindow::on_actionRender_Full_Size_triggered()
{
    if (renderThread.isRunning() || !confirmLargeScene(true)) {
        return;
    }
    scene.writePovFile(viewer->camera(), QStringLiteral("tempscene.pov"), renderSettings.meshForm);
    on_render_requested();
}

void MainWindow::on_actionPreview_POV_Ray_Scene_triggered()
{
    if (!confirmLargeScene(true)) {
        return;
    }
    editWindow->setSceneText(scene.povText(viewer->camera(), renderSettings.meshForm));
    editWindow->show();
}

void MainWindow::on_render_requested()
{
    if (renderThread.isRunning()) {
        return;
    }
    outputWindow->close();
    editWindow->close();
    QString error;
    if (!renderSettings.writeIniFile(QStringLiteral("POVRAY.INI"), viewer->size(), &error)) {
        outputWindow->showFailure({error});
        outputWindow->show();
        return;
    }
    QDir(QStringLiteral(".")).remove(QStringLiteral("tempscene.bmp"));
    renderThread.sceneFile = QStringLiteral("tempscene.pov");
    setRendering(true);
    renderThread.start();
}

void MainWindow::on_actionRender_Settings_triggered()
{
    if (!renderSettingsDialog) {
        renderSettingsDialog = new RenderSettingsDialog(this);
        connect(renderSettingsDialog, &QDialog::accepted, this,
                [this]() { renderSettings = renderSettingsDialog->settings(); });
    }
    renderSettingsDialog->setSettings(renderSettings);
    renderSettingsDialog->open();
}

void MainWindow::on_actionRender_Turntable_triggered()
{
    if ((turntable && turntable->isRunning()) || !confirmLargeScene(true)) {
        return;
    }
    if (!turntableDialog) {
        turntableDialog = new TurntableDialog(this);
        turntableDialog->setPictureSize(renderSettings.pictureSize(viewer->size()));
        connect(turntableDialog, &QDialog::accepted, this, [this]() {
            startTurntable(turntableDialog->frames(), turntableDialog->folder(),
                           turntableDialog->pictureSize());
        });
    }
    turntableDialog->open();
}

bool MainWindow::startTurntable(int frames, const QString& folder, const QSize& size)
{
    if (!turntable) {
        turntable = new TurntableRender(this);
        turntableProgress = new QProgressDialog(this);
        turntableProgress->setObjectName(QStringLiteral("turntableProgress"));
        turntableProgress->setWindowTitle(QStringLiteral("Render Turntable"));
        turntableProgress->setAutoClose(false);
        turntableProgress->setAutoReset(false);
        turntableProgress->setMinimumDuration(0);
        turntableProgress->reset();
        turntableProgress->hide();
        connect(turntableProgress, &QProgressDialog::canceled, turntable, &TurntableRender::cancel);
        connect(turntable, &TurntableRender::frameProgress, this,
                [this](int frame, int count, const PovProgress& progress) {
                    turntableProgress->setMaximum(100 * count);
                    turntableProgress->setValue(100 * frame + std::max(progress.percent, 0));
                    turntableProgress->setLabelText(QStringLiteral("Frame %1 of %2: %3")
                                                        .arg(frame + 1)
                                                        .arg(count)
                                                        .arg(progress.text()));
                });
        connect(turntable, &TurntableRender::finished, this,
                [this](bool succeeded, const QString& failure) {
                    turntableProgress->hide();
                    if (succeeded) {
                        statusBar()->showMessage(QStringLiteral("Turntable rendered: %1 frames")
                                                     .arg(turntable->saved.size()),
                                                 5000);
                    } else if (failure.isEmpty()) {
                        statusBar()->showMessage(
                            QStringLiteral("Turntable cancelled after %1 frames")
                                .arg(turntable->saved.size()),
                            5000);
                    } else {
                        outputWindow->showFailure({failure});
                        outputWindow->show();
                    }
                });
    }
    const qglviewer::Vec center = viewer->camera()->sceneCenter();
    QString error;
    if (!turntable->start(scene, *viewer->camera(), center, frames, folder, size, renderSettings,
                          &error)) {
        QMessageBox::warning(this, QStringLiteral("Render Turntable"), error);
        return false;
    }
    turntableProgress->setLabelText(QStringLiteral("Frame 1 of %1").arg(frames));
    turntableProgress->show();
    return true;
}

void MainWindow::cancelRender() { renderThread.cancel(); }

void MainWindow::on_render_finished()
{
    setRendering(false);
    if (renderThread.cancelled) {
        statusBar()->showMessage(QStringLiteral("Render cancelled"), 5000);
        return;
    }
    // Only a render that succeeded may show "tempscene.bmp": a failed one
    // could have left a partial picture.
    if (renderThread.succeeded()) {
        outputWindow->loadImage(QStringLiteral("tempscene.bmp"));
        statusBar()->showMessage(QStringLiteral("Rendered in %1 s")
                                     .arg(double(renderClock.elapsed()) / 1000.0, 0, 'f', 1),
                                 5000);
    } else {
        QStringList reasons = renderThread.messages();
        if (!renderThread.started) {
            reasons.prepend(QStringLiteral("POV-Ray could not be started (%1: %2); is it installed?")
                                .arg(renderThread.program, renderThread.errorText));
        } else if (reasons.isEmpty()) {
            reasons << QStringLiteral("POV-Ray ended with exit status %1.").arg(renderThread.exitCode);
        }
        outputWindow->showFailure(reasons);
    }
    outputWindow->show();
}

void MainWindow::setRendering(bool rendering)
{
    ui.actionRender_Full_Size->setEnabled(!rendering);
    editWindow->ui.renderButton->setEnabled(!rendering);
    cancelRenderAction->setEnabled(rendering);
    renderStatusLabel->setVisible(rendering);
    renderProgressBar->setVisible(rendering);
    cancelRenderButton->setVisible(rendering);
    if (rendering) {
        statusBar()->clearMessage();
        renderClock.start();
        renderStatusTimer.start();
        showRenderProgress(PovProgress());
    } else {
        renderStatusTimer.stop();
    }
}

void MainWindow::showRenderProgress(const PovProgress& progress)
{
    renderProgress = progress;
    if (progress.percent < 0) {
        renderProgressBar->setRange(0, 0); // busy: the parser's share is unknown
    } else {
        renderProgressBar->setRange(0, 100);
        renderProgressBar->setValue(progress.percent);
    }
    updateRenderStatus();
}

void MainWindow::updateRenderStatus()
{
    const qint64 seconds = renderClock.isValid() ? renderClock.elapsed() / 1000 : 0;
    renderStatusLabel->setText(QStringLiteral("%1 - %2:%3")
                                   .arg(renderProgress.text())
                                   .arg(seconds / 60)
                                   .arg(seconds % 60, 2, 10, QLatin1Char('0')));
}

void MainWindow::on_actionWireframe_toggled(bool checked) { viewer->wireframe = checked; }

void MainWindow::on_actionReset_Camera_triggered() { viewer->resetCamera(); }

void MainWindow::on_actionShow_Lights_toggled(bool checked)
{
    if (!checked) {
        on_lightSelected(-1);
    }
    viewer->showLights = checked;
    viewer->resetCamera();
}

void MainWindow::on_actionShow_Ground_Plane_toggled(bool checked)
{
    scene.groundVisible = checked;
    viewer->updateGL();
}

void MainWindow::on_actionSubdivide_triggered()
{
    if (!confirmLargeScene()) {
        return;
    }
    viewer->makeCurrent();
    scene.subdivide(selectedModel);
    viewer->doneCurrent();
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

void MainWindow::updateMaterialPanel()
{
    updatingPanels = true;
    if (selectedModel < 0) {
        updatingPanels = false;
        return;
    }
    const PovTexture& t = scene.textures[selectedModel];
    QPixmap swatch(20, 20);
    // The cross-hatch of a preset shows on white.
    swatch.fill(Qt::white);
    QPainter painter(&swatch);
    if (!t.name.isNull()) {
        for (int i = 0; i < ui.pigmentPresetBox->count(); ++i) {
            if (ui.pigmentPresetBox->itemText(i).contains(t.name)) {
                ui.pigmentPresetBox->setCurrentIndex(i);
                break;
            }
        }
        ui.pigmentPresetButton->setChecked(true);
        ui.pigmentRGBButton->setChecked(false);
        painter.setBrush(QBrush(Qt::black, Qt::DiagCrossPattern));
    } else {
        float r, g, b;
        t.color(r, g, b);
        ui.pigmentRedBox->setValue(r);
        ui.pigmentGreenBox->setValue(g);
        ui.pigmentBlueBox->setValue(b);
        ui.pigmentPresetButton->setChecked(false);
        ui.pigmentRGBButton->setChecked(true);
        painter.setBrush(QBrush(QColor(int(r * 255), int(g * 255), int(b * 255), 255)));
    }
    painter.drawRect(0, 0, 19, 19);
    painter.end();
    ui.pigmentColorButton->setIcon(QIcon(swatch));

    float diffuse, specular, ambient, reflection, roughness;
    t.finish(diffuse, specular, ambient, reflection, roughness);
    ui.finishDiffuseBox->setValue(diffuse);
    ui.finishSpecularBox->setValue(specular);
    ui.finishRoughnessBox->setValue(roughness);

    ui.pigmentMetallicBox->setChecked(t.metallic);
    ui.surfaceScaleBox->setValue(t.normalScale);
    ui.surfaceSizeBox->setValue(t.bumpSize);

    ui.surfaceSmoothButton->setChecked(true);
    if (t.normalPattern == QLatin1String("bumps")) {
        ui.surfaceBumpyButton->setChecked(true);
    } else if (t.normalPattern == QLatin1String("waves")) {
        ui.surfaceWavyButton->setChecked(true);
    } else if (t.normalPattern == QLatin1String("wrinkles")) {
        ui.surfaceWrinklyButton->setChecked(true);
    }
    updatingPanels = false;
}

void MainWindow::on_actionUpdate_Texture_triggered()
{
    if (updatingPanels || selectedModel < 0) {
        return;
    }
    PovTexture t;
    if (ui.pigmentRGBButton->isChecked()) {
        t.setColor(float(ui.pigmentRedBox->value()), float(ui.pigmentGreenBox->value()),
                   float(ui.pigmentBlueBox->value()));
    } else {
        // "Yellow Pine (T_Wood7)" gives "T_Wood7".
        const QString entry = ui.pigmentPresetBox->currentText();
        QString name = entry.mid(entry.indexOf(QLatin1Char('(')) + 1);
        name.chop(1);
        t.name = name;
    }
    const float ambient = scene.textures.empty() ? 0.0f : scene.textures[0].ambient;
    const float specular = float(ui.finishSpecularBox->value());
    t.setFinish(float(ui.finishDiffuseBox->value()), specular, ambient, specular,
                float(ui.finishRoughnessBox->value()));
    t.metallic = ui.pigmentMetallicBox->isChecked();
    QString pattern = QStringLiteral("smooth");
    if (ui.surfaceBumpyButton->isChecked()) {
        pattern = QStringLiteral("bumps");
    } else if (ui.surfaceWavyButton->isChecked()) {
        pattern = QStringLiteral("waves");
    } else if (ui.surfaceWrinklyButton->isChecked()) {
        pattern = QStringLiteral("wrinkles");
    }
    t.setNormal(pattern, float(ui.surfaceSizeBox->value()), float(ui.surfaceScaleBox->value()));
    scene.setTexture(selectedModel, t);
    viewer->updateGL();
    updateMaterialPanel();
}

void MainWindow::on_pigmentColorButton_clicked()
{
    if (selectedModel < 0) {
        return;
    }
    const QColor color = QColorDialog::getColor(Qt::white, nullptr);
    if (color.isValid()) {
        applyPigmentColor(color);
    }
}

void MainWindow::applyPigmentColor(const QColor& color)
{
    if (selectedModel < 0) {
        return;
    }
    PovTexture t = scene.textures[selectedModel];
    t.setColor(float(color.redF()), float(color.greenF()), float(color.blueF()));
    t.name = QString();
    scene.setTexture(selectedModel, t);
    viewer->updateGL();
    ui.pigmentRGBButton->setChecked(true);
    updateMaterialPanel();
}

void MainWindow::updateLightPanel()
{
    updatingPanels = true;
    if (selectedLight < 0) {
        updatingPanels = false;
        return;
    }
    const PovLight& light = scene.lights[selectedLight];
    ui.lightRedBox->setValue(light.color[0]);
    ui.lightGreenBox->setValue(light.color[1]);
    ui.lightBlueBox->setValue(light.color[2]);
    QPixmap swatch(50, 50);
    swatch.fill(QColor(int(light.color[0] * 255), int(light.color[1] * 255),
                       int(light.color[2] * 255), 255));
    ui.lightColorButton->setIcon(QIcon(swatch));
    ui.sunElevationSlider->setValue(
        scene.outdoorLighting ? int(light.elevation * 57.29579f) : 90);
    ui.lightAmbientBox->setValue(scene.textures.empty() ? 0.0f : scene.textures[0].ambient);
    updatingPanels = false;
}

void MainWindow::on_actionUpdate_Light_triggered()
{
    if (selectedLight < 0) {
        return;
    }
    if (!updatingPanels) {
        PovLight light = scene.lights[selectedLight];
        const float distance = len(light.position);
        light.color = vec(float(ui.lightRedBox->value()), float(ui.lightGreenBox->value()),
                          float(ui.lightBlueBox->value()));
        if (scene.outdoorLighting) {
            light.setFromAngles(0.0f, float(ui.sunElevationSlider->value()) * 0.017453289f,
                                distance);
        }
        scene.setLight(selectedLight, light);
        scene.setAmbientAll(float(ui.lightAmbientBox->value()));
        viewer->updateGL();
    }
    updateLightPanel();
}

void MainWindow::on_lightColorButton_clicked()
{
    if (selectedLight < 0) {
        return;
    }
    const QColor color = QColorDialog::getColor(Qt::white, nullptr);
    if (color.isValid()) {
        applyLightColor(color);
    }
}

void MainWindow::applyLightColor(const QColor& color)
{
    if (selectedLight < 0) {
        return;
    }
    PovLight light = scene.lights[selectedLight];
    light.color = vec(float(color.redF()), float(color.greenF()), float(color.blueF()));
    scene.setLight(selectedLight, light);
    viewer->updateGL();
    updateLightPanel();
}

void MainWindow::on_actionLighting_Outdoor_toggled(bool checked)
{
    if (scene.outdoorLighting || !checked) {
        return;
    }
    scene.setOutdoorLighting();
    viewer->updateGL();
    ui.actionLighting_Indoor->setChecked(false);
    on_lightSelected(-1);
}

void MainWindow::on_actionLighting_Indoor_toggled(bool checked)
{
    if (!scene.outdoorLighting || !checked) {
        return;
    }
    scene.setIndoorLighting();
    viewer->updateGL();
    ui.actionLighting_Outdoor->setChecked(false);
    on_lightSelected(-1);
}

void MainWindow::on_actionAdd_Light_triggered()
{
    if (scene.lightCount() >= 4) {
        return;
    }
    vec center;
    float radius;
    scene.lightBounds(center, radius);
    PovLight light;
    light.color = vec(1.0f, 1.0f, 1.0f);
    light.intensity = 1.0f;
    light.setFromAngles(0.0f, 1.570795f, radius);
    scene.lights.push_back(light);
    on_lightSelected(scene.lightCount() - 1);
    on_modelSelected(-1);
    viewer->selectedModel = -1;
    viewer->selectedLight = scene.lightCount() - 1;
    viewer->updateGL();
}

void MainWindow::on_actionRemove_Light_triggered()
{
    if (selectedLight <= 0 || selectedLight >= scene.lightCount()) {
        return;
    }
    scene.lights.erase(scene.lights.begin() + selectedLight);
    selectedLight = -1;
    ui.actionRemove_Light->setEnabled(false);
    viewer->selectedLight = -1;
    viewer->selectedModel = -1;
    viewer->updateGL();
}

void MainWindow::on_modelSelected(int which)
{
    selectedModel = which;
    if (which < 0) {
        ui.materialDockWidgetContents->setEnabled(false);
        ui.actionSubdivide->setEnabled(false);
        ui.actionSmooth_Shading->setEnabled(false);
        return;
    }
    ui.materialDockWidgetContents->setEnabled(true);
    ui.lightDockWidget->close();
    ui.materialDockWidget->show();
    updateMaterialPanel();
    ui.actionSubdivide->setEnabled(scene.canSubdivide(which));
    ui.actionSmooth_Shading->setEnabled(true);
    ui.actionSmooth_Shading->setChecked(!scene.models[which]->getDisplayMesh()->isFlat());
}

void MainWindow::on_lightSelected(int which)
{
    selectedLight = which;
    if (which < 0) {
        ui.lightDockWidgetContents->setEnabled(false);
        ui.actionRemove_Light->setEnabled(false);
        return;
    }
    ui.lightDockWidgetContents->setEnabled(true);
    ui.materialDockWidget->close();
    ui.lightDockWidget->show();
    updateLightPanel();
    ui.actionRemove_Light->setEnabled(true);
    ui.lightPositionGroupBox->setEnabled(scene.outdoorLighting);
}
