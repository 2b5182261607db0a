#include "app/MainWindow.h"

#include "app/EditWindow.h"
#include "app/ErrorBox.h"
#include "app/OutputWindow.h"
#include "viewer/GLViewer.h"

#include <QCloseEvent>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
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
}

MainWindow::~MainWindow()
{
    delete outputWindow;
    delete editWindow;
    // A render still running is stopped and waited for, so the thread
    // object is never destroyed while it runs.
    renderThread.requestInterruption();
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
    // The view's selection was reset above; the window's follows it.
    selectedModel = -1;
    selectedLight = -1;
    updateSelectionStates();

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
        showErrorBox(this, QStringLiteral("loadErrorBox"), QStringLiteral("Open Scene"),
                     QStringLiteral("Could not open \"%1\".").arg(fileName), scene.loadError());
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

bool MainWindow::confirmLargeScene()
{
    const long long triangles = scene.triangleCount();
    if (triangles <= 10000) {
        return true;
    }
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        this, QStringLiteral("Large Scene"),
        QStringLiteral("This scene has %1 triangles. Processing may take a long time (or "
                       "forever). Do you want to continue?")
            .arg(triangles),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The thread stops the renderer as soon as it sees the request.
    renderThread.requestInterruption();
    outputWindow->close();
    editWindow->close();
    QMainWindow::closeEvent(event);
}

void MainWindow::on_actionRender_Full_Size_triggered()
{
    if (renderThread.isRunning() || !confirmLargeScene()) {
        return;
    }
    QString error;
    if (!scene.writePovFile(viewer->camera(), QStringLiteral("tempscene.pov"), &error)) {
        showErrorBox(this, QStringLiteral("renderErrorBox"), QStringLiteral("Render"),
                     QStringLiteral("The scene could not be written, so it is not rendered."),
                     error);
        return;
    }
    on_render_requested();
}

void MainWindow::on_actionPreview_POV_Ray_Scene_triggered()
{
    if (!confirmLargeScene()) {
        return;
    }
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
    QString error;
    if (!scene.writeIniFile(viewer->width(), viewer->height(), &error)) {
        showErrorBox(this, QStringLiteral("renderErrorBox"), QStringLiteral("Render"),
                     QStringLiteral("POV-Ray's settings could not be written, so the scene is "
                                    "not rendered."),
                     error);
        return;
    }
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
    if (!scene.canSubdivide(selectedModel) || !confirmLargeScene()) {
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
    shownAmbient = ui.lightAmbientBox->value();
    shownLightColor[0] = ui.lightRedBox->value();
    shownLightColor[1] = ui.lightGreenBox->value();
    shownLightColor[2] = ui.lightBlueBox->value();
    shownElevation = ui.sunElevationSlider->value();
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
        const QDoubleSpinBox* boxes[3] = {ui.lightRedBox, ui.lightGreenBox, ui.lightBlueBox};
        for (int k = 0; k < 3; ++k) {
            if (boxes[k]->value() != shownLightColor[k]) {
                light.color[k] = float(boxes[k]->value());
            }
        }
        if (scene.outdoorLighting && ui.sunElevationSlider->value() != shownElevation) {
            light.setFromAngles(0.0f, float(ui.sunElevationSlider->value()) * 0.017453289f,
                                distance);
        }
        scene.setLight(selectedLight, light);
        if (ui.lightAmbientBox->value() != shownAmbient) {
            scene.setAmbientAll(float(ui.lightAmbientBox->value()));
        }
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
    updateSelectionStates();
    viewer->selectedLight = -1;
    viewer->selectedModel = -1;
    viewer->updateGL();
}

void MainWindow::on_modelSelected(int which)
{
    selectedModel = which;
    if (which >= 0) {
        ui.lightDockWidget->close();
        ui.materialDockWidget->show();
        updateMaterialPanel();
    }
    updateSelectionStates();
}

void MainWindow::on_lightSelected(int which)
{
    selectedLight = which;
    if (which >= 0) {
        ui.materialDockWidget->close();
        ui.lightDockWidget->show();
        updateLightPanel();
    }
    updateSelectionStates();
}

void MainWindow::updateSelectionStates()
{
    const bool model = selectedModel >= 0 && selectedModel < scene.modelCount();
    ui.materialDockWidgetContents->setEnabled(model);
    ui.actionSubdivide->setEnabled(model && scene.canSubdivide(selectedModel));
    ui.actionSmooth_Shading->setEnabled(model);
    if (model) {
        ui.actionSmooth_Shading->setChecked(
            !scene.models[selectedModel]->getDisplayMesh()->isFlat());
    }
    const bool light = selectedLight >= 0 && selectedLight < scene.lightCount();
    ui.lightDockWidgetContents->setEnabled(light);
    ui.actionRemove_Light->setEnabled(light);
    ui.lightPositionGroupBox->setEnabled(light && scene.outdoorLighting);
}
