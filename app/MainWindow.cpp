#include "app/MainWindow.h"

#include "scene/PovDetail.h"
#include "app/PlacementPanel.h"
#include "app/SceneUndo.h"

#include "app/Autosave.h"
#include "app/EditWindow.h"
#include "app/ErrorBox.h"
#include "app/HelpDialogs.h"
#include "app/LinesDialog.h"
#include "app/OutputWindow.h"
#include "app/RenderSettingsDialog.h"
#include "app/TurntableDialog.h"
#include "app/TurntableRender.h"
#include "scene/PovDetail.h"
#include "scene/PovImporter.h"
#include "scene/PovPictureFrame.h"
#include "scene/PovSceneDocument.h"
#include "scene/PovSceneFiles.h"
#include "viewer/GLViewer.h"

#include <QCloseEvent>
#include <QColorDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>

#include <QGLViewer/manipulatedCameraFrame.h>

#include <algorithm>
#include <cmath>

namespace {

const int mostRecentFiles = 8;
const int maxLights = 4;

// A count with its digits grouped ("1,000,002"), whatever the locale.
QString groupedNumber(long long n)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(n);
}

// The first local file among dropped URLs; empty when there is none.
QString droppedFile(const QMimeData* data)
{
    if (data && data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) {
                return url.toLocalFile();
            }
        }
    }
    return QString();
}

} // namespace

MainWindow::MainWindow(QWidget* parent, Qt::WindowFlags flags) : QMainWindow(parent, flags)
{
    // It must be the default before the form creates the viewer.
    GLViewer::setDefaultSurfaceFormat();

    ui.setupUi(this); // ends by connecting the on_<object>_<signal> slots
    // Brings back a model's file material after the panel replaced it.
    ui.pigmentPresetBox->addItem(QStringLiteral("From File"));

    viewer = ui.viewer;
    ui.materialDockWidget->close();
    ui.lightDockWidget->close();
    viewer->setScene(&scene);
    // Presets show in the view as they will render.
    viewer->presetSwatches = true;
    // The thread's end arrives queued in the GUI thread.
    connect(&renderThread, &QThread::finished, this, &MainWindow::on_render_finished);

    outputWindow = new OutputWindow;
    editWindow = new EditWindow;
    editWindow->sceneFile = workFile(QStringLiteral("tempscene.pov"));
    connect(editWindow, &EditWindow::renderRequested, this, &MainWindow::on_render_requested);
    connect(viewer, &GLViewer::modelSelected, this, &MainWindow::on_modelSelected);
    connect(viewer, &GLViewer::lightSelected, this, &MainWindow::on_lightSelected);

    // A document keeps the camera where it was when saved, but moving the
    // camera alone is not a change to ask about.
    // A drag moves the light as it goes; the whole drag is one step.
    connect(viewer, &GLViewer::lightMoved, this, [this](int which) {
        const PovSceneState after = PovSceneState::of(scene);
        if (after != committed) {
            pushing = true;
            undo->push(new SceneStateCommand(undoHost.get(), QStringLiteral("Move Light"),
                                             mergeKey(QStringLiteral("light-drag %1").arg(which)),
                                             committed, after));
            pushing = false;
            committed = after;
        }
        if (which == selectedLight) {
            updateLightPanel();
        }
    });
    connect(viewer, &GLViewer::dragFinished, this, [this]() { ++editSerial; });
    // Queued: the view is drawing when it finds out.
    connect(
        viewer, &GLViewer::notEnoughMemoryToDraw, this,
        [this](int which) {
            const int file = which >= 0 && size_t(which) < scene.modelFiles.size()
                                 ? scene.modelFiles[size_t(which)]
                                 : -1;
            const QString name = file >= 0 && size_t(file) < scene.files.size()
                                     ? QFileInfo(scene.files[size_t(file)].path).fileName()
                                     : QStringLiteral("a model");
            statusBar()->showMessage(
                QStringLiteral("Not enough memory to show %1 in the view: it is left out. Close "
                               "other programs and open it again; rendering it may still work.")
                    .arg(name));
        },
        Qt::QueuedConnection);
    setAcceptDrops(true);
    setUpComposing();
    setUpViews();
    setUpStageCommands();
    // Unsaved work is copied aside as a document as it is made.
    autosave = new Autosave(
        [this](const QString& recoveryFile) {
            PovSceneView view;
            view.wireframe = viewer->wireframe;
            view.showLights = viewer->showLights;
            view.hasRender = true;
            view.render = renderSettings;
            return PovSceneDocument::toJson(scene, viewer->camera(), view, modelFile, recoveryFile);
        },
        [this]() { return modified && scene.modelCount() > 0; }, this);
    linesDialog = new LinesDialog(this);
    linesDialog->setSettings(scene.lines);
    connect(linesDialog, &LinesDialog::settingsChanged, this, [this](const LnLineSettings& s) {
        const bool shown = scene.lines.shown;
        scene.lines = s;
        scene.lines.shown = shown;
        viewer->updateGL();
    });
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
    connect(&renderThread, &PovRenderThread::progressChanged, this,
            &MainWindow::showRenderProgress);
    renderStatusTimer.setInterval(1000);
    connect(&renderStatusTimer, &QTimer::timeout, this, &MainWindow::updateRenderStatus);
    updateRecentMenu(); // and with it every command's state
    updateTitle();
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
    undo->blockSignals(true); // the window is half gone: nothing to retitle
    undo->clear();            // what the commands hold has display lists too
    scene.clear();
    viewer->doneCurrent();
}

void MainWindow::loadScene(const QString& fileName)
{
    const QString special = notAFileReason(fileName);
    if (!special.isEmpty()) {
        showLoadError(fileName, special);
        return;
    }
    if (PovSceneDocument::isDocumentFile(fileName)) {
        loadDocument(fileName);
        return;
    }
    // Read aside, as documents are, so a file that cannot be opened leaves
    // the scene, view and title as they were. A new file is seen from the
    // view's first direction, unless the file places the camera itself.
    PovScene opened;
    opened.fileColours = scene.fileColours;
    qglviewer::Camera camera(*viewer->camera());
    camera.setOrientation(viewer->startingOrientation());
    viewer->makeCurrent();
    const bool loaded = opened.load(QFile::encodeName(fileName).constData(), &camera);
    if (loaded) {
        viewer->resetState();
        scene.swap(opened);
    }
    opened.clear(); // the refused scene, or the one replaced
    viewer->doneCurrent();
    if (!loaded) {
        showLoadError(fileName, opened.loadError());
        return;
    }
    viewer->stopMotion();
    viewer->camera()->setOrientation(camera.orientation());
    viewer->camera()->setPosition(camera.position());
    viewer->resetCamera();

    // The view's selection was reset above; the window's follows it.
    selectedModel = -1;
    selectedLight = -1;
    ui.materialDockWidget->close();
    ui.lightDockWidget->close();
    documentFile.clear();
    modelFile = QFileInfo(fileName).absoluteFilePath();
    shownName = fileName;
    startHistory();
    viewer->updateGL();
    addRecentFile(fileName);
}

void MainWindow::showLoadError(const QString& fileName, QString reason)
{
    if (!loadErrorBox) {
        loadErrorBox = new QMessageBox(QMessageBox::Warning, QStringLiteral("Open Scene"),
                                       QString(), QMessageBox::Ok, this);
        loadErrorBox->setObjectName(QStringLiteral("loadErrorBox"));
    }
    loadErrorBox->setText(QStringLiteral("Could not open \"%1\".").arg(fileName));
    if (!reason.isEmpty()) {
        reason[0] = reason[0].toUpper();
    }
    loadErrorBox->setInformativeText(reason + QLatin1Char('.'));
    loadErrorBox->open();
}

void MainWindow::loadDocument(const QString& fileName)
{
    // Read aside, with a camera of its own, so a refused document changes
    // nothing; the scenes' display lists need the view's context.
    PovScene opened;
    qglviewer::Camera camera(*viewer->camera());
    PovSceneDocument document;
    viewer->makeCurrent();
    const bool ok = document.open(fileName, opened, &camera);
    if (ok) {
        scene.swap(opened);
    }
    opened.clear(); // the refused scene, or the one replaced
    viewer->doneCurrent();
    if (!ok) {
        showLoadError(fileName, document.error());
        return;
    }

    const PovSceneView& view = document.view();
    viewer->resetState();
    ui.materialDockWidget->close();
    ui.lightDockWidget->close();
    on_modelSelected(-1);
    on_lightSelected(-1);
    viewer->wireframe = view.wireframe;
    viewer->showLights = view.showLights;
    updateUi();
    if (view.hasRender) {
        renderSettings = view.render;
    }
    applyRenderSettingsToView();
    viewer->stopMotion();
    // Fit the view as after any load (keeping the direction a KMZ archive
    // gave), then place the camera where the document recorded it.
    viewer->camera()->setOrientation(camera.orientation());
    viewer->camera()->setPosition(camera.position());
    viewer->resetCamera();
    if (view.hasCamera) {
        viewer->camera()->setPosition(view.cameraPosition);
        viewer->camera()->setOrientation(view.cameraOrientation);
        viewer->camera()->setFieldOfView(view.fieldOfView);
    }

    documentFile = fileName;
    modelFile = document.modelFile();
    shownName = fileName;
    startHistory();
    addRecentFile(fileName);
    viewer->updateGL();

    if (!document.warnings().isEmpty()) {
        if (!noteBox) {
            noteBox = new QMessageBox(QMessageBox::Information, QStringLiteral("Open Scene"),
                                      QString(), QMessageBox::Ok, this);
            noteBox->setObjectName(QStringLiteral("documentNoteBox"));
        }
        noteBox->setText(QStringLiteral("\"%1\" was opened.").arg(fileName));
        noteBox->setInformativeText(document.warnings().join(QLatin1Char('\n')));
        noteBox->open();
    }
}

bool MainWindow::restoreRecovery(const QString& file, const QString& title, const QString& from)
{
    const QStringList recent = recentFiles();
    loadDocument(file);
    setRecentFiles(recent); // the recovery document is no file of the user's
    updateRecentMenu();
    if (documentFile != file) {
        return false;
    }
    documentFile = PovSceneDocument::isDocumentFile(from) ? from : QString();
    shownName = title;
    viewModified = true;
    refreshModified();
    autosave->saveNow(); // under this window's own recovery file from now on
    return true;
}

bool MainWindow::openScene(const QString& fileName)
{
    if (!maybeSave()) {
        return false;
    }
    loadScene(fileName);
    return true;
}

bool MainWindow::saveDocument(const QString& fileName)
{
    PovSceneView view;
    view.wireframe = viewer->wireframe;
    view.showLights = viewer->showLights;
    view.hasRender = true;
    view.render = renderSettings;
    QString error;
    if (!PovSceneDocument::save(fileName, modelFile, scene, viewer->camera(), view, error)) {
        QMessageBox* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Save Scene"),
                                           QStringLiteral("Could not save \"%1\".").arg(fileName),
                                           QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("saveErrorBox"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        error[0] = error[0].toUpper();
        box->setInformativeText(error + QLatin1Char('.'));
        box->open();
        return false;
    }
    documentFile = fileName;
    shownName = fileName;
    viewModified = false;
    ++editSerial;
    undo->setClean();
    modified = false;
    // The title names the document now, even if nothing had changed.
    updateTitle();
    addRecentFile(fileName);
    return true;
}

bool MainWindow::on_actionSave_Scene_triggered()
{
    if (documentFile.isEmpty()) {
        return on_actionSave_Scene_As_triggered();
    }
    return saveDocument(documentFile);
}

bool MainWindow::on_actionSave_Scene_As_triggered()
{
    if (scene.modelCount() == 0) {
        return false;
    }
    // Beside the model file, named after it, the first time.
    const QFileInfo model(modelFile);
    const QString suggested =
        documentFile.isEmpty()
            ? model.absoluteDir().filePath(model.completeBaseName() + QStringLiteral(".kelvane"))
            : documentFile;
    QString fileName =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save Scene As"), suggested,
                                     QStringLiteral("Kelvane scenes (*.kelvane)"));
    if (fileName.isEmpty()) {
        return false;
    }
    if (!PovSceneDocument::isDocumentFile(fileName)) {
        fileName += QStringLiteral(".kelvane");
    }
    return saveDocument(fileName);
}

bool MainWindow::maybeSave()
{
    if (!modified || scene.modelCount() == 0) {
        return true;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Unsaved Changes"),
                    QStringLiteral("The scene \"%1\" has unsaved changes.").arg(shownName),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("unsavedChangesBox"));
    box.setInformativeText(QStringLiteral("Do you want to save them?"));
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return on_actionSave_Scene_triggered();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void MainWindow::setModified(bool changed)
{
    viewModified = changed;
    if (!changed) {
        undo->setClean();
    }
    refreshModified();
}

void MainWindow::refreshModified()
{
    const bool changed = viewModified || !undo->isClean();
    if (modified != changed) {
        modified = changed;
        updateTitle();
    }
}

void MainWindow::startHistory()
{
    undo->clear();
    committed = PovSceneState::of(scene);
    ++editSerial;
    viewModified = false;
    modified = false;
    updateTitle();
    updatePlacementPanel();
}

void MainWindow::updateTitle()
{
    updateUi();
    autosave->update(shownName, documentFile.isEmpty() ? modelFile : documentFile);
    const bool hasScene = scene.modelCount() > 0;
    if (shownName.isEmpty()) {
        setWindowTitle(QStringLiteral("Kelvane"));
        return;
    }
    setWindowTitle(QStringLiteral("Kelvane - %1%2")
                       .arg(shownName, modified && hasScene ? QStringLiteral("*") : QString()));
}

QStringList MainWindow::recentFiles()
{
    return QSettings().value(QStringLiteral("recentFiles")).toStringList();
}

void MainWindow::setRecentFiles(const QStringList& files)
{
    QSettings().setValue(QStringLiteral("recentFiles"), QStringList(files.mid(0, mostRecentFiles)));
}

void MainWindow::addRecentFile(const QString& fileName)
{
    const QString path = QFileInfo(fileName).absoluteFilePath();
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    setRecentFiles(files);
    updateRecentMenu();
}

void MainWindow::openRecentFile(const QString& fileName)
{
    if (QFileInfo::exists(fileName)) {
        openScene(fileName);
        return;
    }
    QStringList files = recentFiles();
    files.removeAll(fileName);
    setRecentFiles(files);
    updateRecentMenu();
    QMessageBox* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Open Recent"),
                                       QStringLiteral("\"%1\" no longer exists.").arg(fileName),
                                       QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("recentGoneBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(QStringLiteral("It was removed from the recent files."));
    box->open();
}

void MainWindow::updateRecentMenu()
{
    ui.menuOpen_Recent->clear();
    const QStringList files = recentFiles();
    for (const QString& file : files) {
        QAction* action = ui.menuOpen_Recent->addAction(file);
        connect(action, &QAction::triggered, this, [this, file]() { openRecentFile(file); });
    }
    updateUi();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString file = droppedFile(event->mimeData());
    if (file.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // Opened once the drop is over: the unsaved-changes question must not
    // keep the program the file came from waiting.
    // With Shift held the file is added to the scene instead.
    const bool adds = (event->keyboardModifiers() & Qt::ShiftModifier) && hasScene();
    QMetaObject::invokeMethod(
        this,
        [this, file, adds]() {
            if (adds) {
                importModelFile(file);
            } else {
                openScene(file);
            }
        },
        Qt::QueuedConnection);
}

void MainWindow::on_actionOpen_Scene_triggered()
{
    const QString fileName = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open Scene"), QStringLiteral("."), PovImporters::openDialogFilter());
    if (!fileName.isNull()) {
        openScene(fileName);
    }
}

bool MainWindow::confirmLargeScene(bool writesPovScene)
{
    // The hidden ground is neither drawn nor written: only what is counts.
    long long triangles = scene.triangleCount();
    if (!scene.groundVisible && scene.modelCount() > 0) {
        triangles -= scene.models[0]->getDisplayMesh()->getNumFaces();
    }
    if (triangles <= 10000) {
        return true;
    }
    QString form;
    if (writesPovScene) {
        if (resolveMeshForm(renderSettings.meshForm, triangles) == PovMeshForm::Mesh2) {
            form = QStringLiteral(" The meshes will be written for POV-Ray in the compact mesh2 "
                                  "form.");
        } else if (triangles <= autoMeshFormLimit) {
            form = QStringLiteral(" The meshes will be written for POV-Ray as separate triangles.");
        } else {
            form = QStringLiteral(" The meshes will be written for POV-Ray as separate triangles, "
                                  "which POV-Ray reads slowly at this size (File > Render "
                                  "Settings... offers the mesh2 form).");
        }
    }
    if (writesPovScene) {
        qglviewer::Camera camera = renderCamera();
        const QString detail = povDetailSentence(scene, &camera, renderSettings);
        if (!detail.isEmpty()) {
            form += QLatin1Char(' ') + detail;
        }
    }
    if (writesPovScene && renderSettings.quality == PovQuality::Photo) {
        form += QStringLiteral(" Photo quality (soft shadows, radiosity, antialiasing) takes "
                               "several times longer than Draft.");
    }
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        this, QStringLiteral("Large Scene"),
        QStringLiteral("This scene has %1 triangles. Processing it may take a long time.%2 Do "
                       "you want to continue?")
            .arg(groupedNumber(triangles))
            .arg(form),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    autosave->remove(); // saved or discarded
    // The thread stops the renderer as soon as it sees the request.
    renderThread.cancel();
    outputWindow->close();
    editWindow->close();
    QMainWindow::closeEvent(event);
}

void MainWindow::on_actionRender_Full_Size_triggered()
{
    if (renderThread.isRunning()) {
        return;
    }
    if (scene.modelCount() == 0) {
        statusBar()->showMessage(
            QStringLiteral("Nothing to render: open a model first (File > Open...)."), 5000);
        return;
    }
    if (!confirmLargeScene(true) || !haveWorkFolder()) {
        return;
    }
    QString error;
    qglviewer::Camera camera = renderCamera();
    if (!scene.writePovFile(&camera, workFile(QStringLiteral("tempscene.pov")), renderSettings,
                            &error)) {
        showErrorBox(this, QStringLiteral("renderErrorBox"), QStringLiteral("Render"),
                     QStringLiteral("The scene could not be written, so it is not rendered."),
                     error);
        return;
    }
    // The progress says which detail a large model gets.
    const QString detail = povDetailSentence(scene, &camera, renderSettings);
    renderDetail = detail.isEmpty() ? QString()
                   : renderSettings.detail == PovDetail::Full
                       ? QStringLiteral("full detail")
                       : QStringLiteral("automatic detail");
    on_render_requested();
}

void MainWindow::on_actionPreview_POV_Ray_Scene_triggered()
{
    if (!confirmLargeScene(true)) {
        return;
    }
    qglviewer::Camera camera = renderCamera();
    editWindow->setSceneText(scene.povText(&camera, renderSettings));
    editWindow->show();
}

void MainWindow::on_render_requested()
{
    if (renderThread.isRunning()) {
        return;
    }
    // The output window keeps showing the last picture until the new one
    // arrives; the editor goes, so it is not edited under the render.
    editWindow->close();
    if (!haveWorkFolder()) {
        return;
    }
    QString error;
    if (!renderSettings.writeIniFile(workFile(QStringLiteral("POVRAY.INI")), viewer->size(),
                                     &error)) {
        showErrorBox(this, QStringLiteral("renderErrorBox"), QStringLiteral("Render"),
                     QStringLiteral("POV-Ray's settings could not be written, so the scene is "
                                    "not rendered."),
                     error);
        return;
    }
    QDir(workFolder.path()).remove(QStringLiteral("tempscene.bmp"));
    QDir(workFolder.path()).remove(QStringLiteral("tempscene.png"));
    renderThread.sceneFile = workFile(QStringLiteral("tempscene.pov"));
    renderThread.workingDirectory = workFolder.path();
    renderThread.alphaOutput = renderSettings.alphaOutput();
    setRendering(true);
    renderThread.start();
}

bool MainWindow::haveWorkFolder()
{
    if (workFolder.isValid()) {
        return true;
    }
    showErrorBox(this, QStringLiteral("renderErrorBox"), QStringLiteral("Render"),
                 QStringLiteral("POV-Ray's working folder could not be made, so the scene is not "
                                "rendered."),
                 workFolder.errorString());
    return false;
}

void MainWindow::on_actionRender_Settings_triggered()
{
    if (!renderSettingsDialog) {
        renderSettingsDialog = new RenderSettingsDialog(this);
        connect(renderSettingsDialog, &QDialog::accepted, this, [this]() {
            if (renderSettings != renderSettingsDialog->settings()) {
                renderSettings = renderSettingsDialog->settings();
                setModified();
            }
            applyRenderSettingsToView();
        });
    }
    renderSettingsDialog->setSettings(renderSettings);
    renderSettingsDialog->open();
}

void MainWindow::applyRenderSettingsToView()
{
    viewer->background = renderSettings.viewBackground();
    viewer->srgbColours = renderSettings.quality == PovQuality::Photo;
    viewer->setPictureSize(renderSettings.useViewSize ? QSize() : renderSettings.size);
    viewer->updateGL();
}

qglviewer::Camera MainWindow::renderCamera() const
{
    return pictureCamera(*viewer->camera(), renderSettings.pictureSize(viewer->size()));
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
                        const QString done = QStringLiteral("Turntable rendered: %1 frames")
                                                 .arg(turntable->saved.size());
                        statusBar()->showMessage(done, 5000);
                        auto* box = new QMessageBox(QMessageBox::Information,
                                                    QStringLiteral("Render Turntable"),
                                                    done + QLatin1Char('.'), QMessageBox::Ok, this);
                        box->setObjectName(QStringLiteral("turntableDoneBox"));
                        box->setAttribute(Qt::WA_DeleteOnClose);
                        box->setInformativeText(
                            QStringLiteral("The frames are in \"%1\".")
                                .arg(QDir::toNativeSeparators(
                                    QFileInfo(turntable->saved.value(0)).absolutePath())));
                        box->open();
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
    if (!turntable->start(scene, pictureCamera(*viewer->camera(), size), center, frames, folder,
                          size, renderSettings, &error)) {
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
        outputWindow->loadImage(workFile(PovRenderThread::imageFile(renderThread.alphaOutput)));
        statusBar()->showMessage(QStringLiteral("Rendered in %1 s")
                                     .arg(double(renderClock.elapsed()) / 1000.0, 0, 'f', 1),
                                 5000);
    } else {
        QStringList reasons = renderThread.messages();
        if (!renderThread.started) {
            reasons.prepend(
                QStringLiteral("POV-Ray could not be started (%1: %2); is it installed?")
                    .arg(renderThread.program, renderThread.errorText));
        } else if (reasons.isEmpty()) {
            reasons
                << QStringLiteral("POV-Ray ended with exit status %1.").arg(renderThread.exitCode);
        }
        outputWindow->showFailure(reasons);
    }
    outputWindow->show();
    updateUi(); // Show Last Render
}

void MainWindow::setRendering(bool running)
{
    rendering = running;
    updateUi();
    if (rendering) {
        statusBar()->clearMessage();
        renderClock.start();
        renderStatusTimer.start();
        showRenderProgress(PovProgress());
    } else {
        renderStatusTimer.stop();
        renderDetail.clear();
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
    renderStatusLabel->setText(QStringLiteral("%1 - %2:%3%4")
                                   .arg(renderProgress.text())
                                   .arg(seconds / 60)
                                   .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                                   .arg(renderDetail.isEmpty() ? QString()
                                                               : QStringLiteral(" - ") + renderDetail));
}

void MainWindow::on_actionWireframe_toggled(bool checked)
{
    viewer->wireframe = checked;
    setModified();
}

void MainWindow::on_actionReset_Camera_triggered() { viewer->resetCamera(); }

void MainWindow::on_actionShow_Lights_toggled(bool checked)
{
    viewer->showLights = checked;
    if (!checked) {
        on_lightSelected(-1);
    }
    viewer->resetCamera();
    setModified();
}

void MainWindow::on_actionShow_Ground_Plane_toggled(bool checked)
{
    editScene(QStringLiteral("Ground Change"), QString(),
              [this, checked]() { scene.groundVisible = checked; });
    viewer->updateGL();
}

void MainWindow::on_actionColours_from_File_toggled(bool checked)
{
    scene.fileColours = checked;
    statusBar()->showMessage(checked ? QStringLiteral("Scenes opened from now on take the "
                                                      "materials of their files.")
                                     : QStringLiteral("Scenes opened from now on get the default "
                                                      "material."),
                             5000);
}

void MainWindow::on_actionSubdivide_triggered()
{
    if (!scene.canSubdivide(selectedModel) || !confirmLargeScene()) {
        return;
    }
    // The model is replaced by a subdivided copy, so undo can put the
    // original back.
    viewer->makeCurrent();
    LnModel* finer = scene.subdividedCopy(selectedModel);
    LnModel* coarser = nullptr;
    const int steps = scene.subdivisions(selectedModel);
    if (finer) {
        coarser = scene.exchangeModel(selectedModel, finer, steps + 1);
    }
    viewer->doneCurrent();
    if (coarser) {
        pushing = true;
        undo->push(new SceneModelCommand(undoHost.get(), QStringLiteral("Subdivide"), selectedModel,
                                         coarser, steps));
        pushing = false;
        committed = PovSceneState::of(scene);
    }
    viewer->updateGL();
}

void MainWindow::on_actionSmooth_Shading_toggled(bool checked)
{
    if (selectedModel >= 0) {
        // Selecting a model sets this toggle to its state: only a real
        // change counts as one.
        editScene(QStringLiteral("Shading Change"), QString(), [this, checked]() {
            viewer->makeCurrent();
            scene.setFlatShading(selectedModel, !checked);
            viewer->doneCurrent();
        });
    }
}

void MainWindow::on_actionShow_Feature_Lines_toggled(bool checked)
{
    scene.lines.shown = checked;
    viewer->updateGL();
}

void MainWindow::on_actionFeature_Lines_triggered()
{
    linesDialog->setSettings(scene.lines);
    linesDialog->show();
    linesDialog->raise();
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
    // The colour boxes always hold the pigment colour, so choosing a colour
    // pigment for a model with a named texture starts from its colour.
    float r, g, b;
    t.color(r, g, b);
    ui.pigmentRedBox->setValue(r);
    ui.pigmentGreenBox->setValue(g);
    ui.pigmentBlueBox->setValue(b);
    if (t.fromFile) {
        ui.pigmentPresetBox->setCurrentIndex(ui.pigmentPresetBox->count() - 1);
        ui.pigmentPresetButton->setChecked(true);
        ui.pigmentRGBButton->setChecked(false);
        painter.setBrush(t.image ? QBrush(Qt::black, Qt::Dense4Pattern)
                                 : QBrush(QColor(int(r * 255), int(g * 255), int(b * 255), 255)));
    } else if (!t.name.isNull()) {
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
    const std::shared_ptr<const PovTexture> fileMaterial =
        scene.textures[selectedModel].fileMaterial;
    const bool fromFile = !ui.pigmentRGBButton->isChecked() &&
                          ui.pigmentPresetBox->currentText() == QLatin1String("From File");
    if (fromFile && fileMaterial && !scene.textures[selectedModel].fromFile) {
        // The file material as the file gave it, at the scene's ambient level.
        t = *fileMaterial;
        t.ambient = scene.textures.empty() ? 0.0f : scene.textures[0].ambient;
        editScene(QStringLiteral("Material Change"), QString(),
                  [this, &t]() { scene.setTexture(selectedModel, t); });
        viewer->updateGL();
        updateMaterialPanel();
        return;
    }
    if (fromFile && scene.textures[selectedModel].fromFile) {
        // The boxes changed the file material's finish: it stays the file's.
        t = scene.textures[selectedModel];
        const float specular = float(ui.finishSpecularBox->value());
        t.diffuse = float(ui.finishDiffuseBox->value());
        t.specular = specular;
        t.roughness = float(ui.finishRoughnessBox->value());
        t.metallic = ui.pigmentMetallicBox->isChecked();
        editScene(QStringLiteral("Material Change"),
                  mergeKey(QStringLiteral("material %1").arg(selectedModel)),
                  [this, &t]() { scene.setTexture(selectedModel, t); });
        viewer->updateGL();
        updateMaterialPanel();
        return;
    }
    t.fileMaterial = fileMaterial;
    if (fromFile) {
        // No file material for this model: a plain pigment of its colour.
        t.setColor(float(ui.pigmentRedBox->value()), float(ui.pigmentGreenBox->value()),
                   float(ui.pigmentBlueBox->value()));
    } else if (ui.pigmentRGBButton->isChecked()) {
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
    // The panel's signals while one model's material is worked on are one
    // step.
    editScene(QStringLiteral("Material Change"),
              mergeKey(QStringLiteral("material %1").arg(selectedModel)),
              [this, &t]() { scene.setTexture(selectedModel, t); });
    viewer->updateGL();
    updateMaterialPanel();
}

void MainWindow::on_pigmentColorButton_clicked()
{
    if (selectedModel < 0) {
        return;
    }
    const PovTexture& t = scene.textures[selectedModel];
    const QColor color =
        QColorDialog::getColor(QColor::fromRgbF(qreal(std::clamp(t.red, 0.0f, 1.0f)),
                                                qreal(std::clamp(t.green, 0.0f, 1.0f)),
                                                qreal(std::clamp(t.blue, 0.0f, 1.0f))),
                               this, QStringLiteral("Pigment Colour"));
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
    editScene(QStringLiteral("Material Change"), QString(),
              [this, &t]() { scene.setTexture(selectedModel, t); });
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
    ui.sunElevationSlider->setValue(scene.outdoorLighting ? int(light.elevation * 57.29579f) : 90);
    // The azimuth of the light's direction, 0 to 359 degrees from +y
    // towards +x (a drag may have moved it anywhere).
    int azimuth = 0;
    if (scene.outdoorLighting && (light.position[0] != 0.0f || light.position[1] != 0.0f)) {
        azimuth = int(std::lround(std::atan2(double(light.position[0]), double(light.position[1])) *
                                  57.29577951308232));
        azimuth = (azimuth % 360 + 360) % 360;
        if (light.elevation > 1.5707964f) {
            // Past the zenith the elevation slider already turned it round.
            azimuth = (azimuth + 180) % 360;
        }
    }
    ui.sunAzimuthSlider->setValue(azimuth);
    ui.lightAmbientBox->setValue(scene.textures.empty() ? 0.0f : scene.textures[0].ambient);
    shownAmbient = ui.lightAmbientBox->value();
    shownLightColor[0] = ui.lightRedBox->value();
    shownLightColor[1] = ui.lightGreenBox->value();
    shownLightColor[2] = ui.lightBlueBox->value();
    shownElevation = ui.sunElevationSlider->value();
    shownAzimuth = ui.sunAzimuthSlider->value();
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
        if (scene.outdoorLighting && (ui.sunElevationSlider->value() != shownElevation ||
                                      ui.sunAzimuthSlider->value() != shownAzimuth)) {
            // Only the slider the user moved is read, so the other's rounding
            // never reaches the scene.
            const float azimuth = ui.sunAzimuthSlider->value() != shownAzimuth
                                      ? float(ui.sunAzimuthSlider->value()) * 0.017453289f
                                      : light.azimuth;
            const float elevation = ui.sunElevationSlider->value() != shownElevation
                                        ? float(ui.sunElevationSlider->value()) * 0.017453289f
                                        : light.elevation;
            light.setFromAngles(azimuth, elevation, distance);
        }
        const bool ambient = ui.lightAmbientBox->value() != shownAmbient;
        editScene(ambient ? QStringLiteral("Ambient Change") : QStringLiteral("Light Change"),
                  mergeKey((ambient ? QStringLiteral("ambient %1") : QStringLiteral("light %1"))
                               .arg(selectedLight)),
                  [this, &light, ambient]() {
                      scene.setLight(selectedLight, light);
                      if (ambient) {
                          scene.setAmbientAll(float(ui.lightAmbientBox->value()));
                      }
                  });
        viewer->updateGL();
    }
    updateLightPanel();
}

void MainWindow::on_lightColorButton_clicked()
{
    if (selectedLight < 0) {
        return;
    }
    const vec& c = scene.lights[selectedLight].color;
    const QColor color = QColorDialog::getColor(
        QColor::fromRgbF(qreal(std::clamp(c[0], 0.0f, 1.0f)), qreal(std::clamp(c[1], 0.0f, 1.0f)),
                         qreal(std::clamp(c[2], 0.0f, 1.0f))),
        this, QStringLiteral("Light Colour"));
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
    editScene(QStringLiteral("Light Colour Change"), QString(),
              [this, &light]() { scene.setLight(selectedLight, light); });
    viewer->updateGL();
    updateLightPanel();
}

void MainWindow::on_actionLighting_Outdoor_toggled(bool checked)
{
    if ((scene.outdoorLighting && scene.stage.kind == PovStageKind::Lamps) || !checked) {
        updateUi();
        return;
    }
    editScene(QStringLiteral("Lighting Change"), QString(),
              [this]() { scene.setOutdoorLighting(); });
    // The lights were replaced: neither the window nor the view keeps one
    // selected (the view's choice would be a light that no longer exists).
    viewer->selectedLight = -1;
    viewer->updateGL();
    on_lightSelected(-1); // updates the commands
}

void MainWindow::on_actionLighting_Indoor_toggled(bool checked)
{
    if ((!scene.outdoorLighting && scene.stage.kind == PovStageKind::Lamps) || !checked) {
        updateUi();
        return;
    }
    editScene(QStringLiteral("Lighting Change"), QString(),
              [this]() { scene.setIndoorLighting(); });
    // The lights were replaced: neither the window nor the view keeps one
    // selected (the view's choice would be a light that no longer exists).
    viewer->selectedLight = -1;
    viewer->updateGL();
    on_lightSelected(-1); // updates the commands
}

void MainWindow::on_actionAdd_Light_triggered()
{
    if (scene.lightCount() >= maxLights) {
        statusBar()->showMessage(QStringLiteral("A scene has at most %1 lights: remove one "
                                                "(Lighting > Remove Light) to add another.")
                                     .arg(maxLights),
                                 8000);
        return;
    }
    vec center;
    float radius;
    scene.lightBounds(center, radius);
    PovLight light;
    light.color = vec(1.0f, 1.0f, 1.0f);
    light.intensity = 1.0f;
    light.setFromAngles(0.0f, 1.570795f, radius);
    editScene(QStringLiteral("Add Light"), QString(),
              [this, &light]() { scene.lights.push_back(light); });
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
    editScene(QStringLiteral("Remove Light"), QString(),
              [this]() { scene.lights.erase(scene.lights.begin() + selectedLight); });
    selectedLight = -1;
    updateUi();
    viewer->selectedLight = -1;
    viewer->selectedModel = -1;
    viewer->updateGL();
}

void MainWindow::on_actionShow_Last_Render_triggered()
{
    outputWindow->show();
    outputWindow->raise();
    outputWindow->activateWindow();
}

void MainWindow::on_actionTrackball_toggled(bool checked) { viewer->setTrackball(checked); }

void MainWindow::on_actionKelvane_Help_triggered() { showGuide(this); }

void MainWindow::on_actionKeyboard_Shortcuts_triggered() { showShortcuts(this); }

void MainWindow::on_actionAbout_triggered() { showAbout(this, renderThread.program); }

void MainWindow::on_modelSelected(int which)
{
    ++editSerial;
    selectedModel = which;
    if (which >= 0) {
        ui.lightDockWidget->close();
        ui.materialDockWidget->show();
        updateMaterialPanel();
    }
    updateUi();
}

void MainWindow::on_lightSelected(int which)
{
    ++editSerial;
    selectedLight = which;
    if (which >= 0) {
        ui.materialDockWidget->close();
        ui.lightDockWidget->show();
        updateLightPanel();
    }
    updateUi();
}

void MainWindow::updateUi()
{
    // Checked states mirror the scene and the view. They are set without
    // their signals, so mirroring never runs a command.
    const std::initializer_list<QAction*> toggles = {
        ui.actionShow_Ground_Plane, ui.actionWireframe,       ui.actionShow_Lights,
        ui.actionLighting_Outdoor,  ui.actionLighting_Indoor, ui.actionShow_Feature_Lines,
        ui.actionColours_from_File, ui.actionSmooth_Shading};
    for (QAction* action : toggles) {
        action->blockSignals(true);
    }
    ui.actionShow_Ground_Plane->setChecked(scene.groundVisible);
    ui.actionWireframe->setChecked(viewer->wireframe);
    ui.actionShow_Lights->setChecked(viewer->showLights);
    updateStageCommands();
    ui.actionShow_Feature_Lines->setChecked(scene.lines.shown);
    ui.actionColours_from_File->setChecked(scene.fileColours);

    // The selection.
    const bool model = selectedModel >= 0 && selectedModel < scene.modelCount();
    ui.materialDockWidgetContents->setEnabled(model);
    ui.actionSubdivide->setEnabled(model && scene.canSubdivide(selectedModel));
    ui.actionSmooth_Shading->setEnabled(model);
    if (model) {
        ui.actionSmooth_Shading->setChecked(
            !scene.models[selectedModel]->getDisplayMesh()->isFlat());
    }
    for (QAction* action : toggles) {
        action->blockSignals(false);
    }
    const bool light = selectedLight >= 0 && selectedLight < scene.lightCount();
    ui.lightDockWidgetContents->setEnabled(light);
    ui.actionRemove_Light->setEnabled(light);
    ui.lightPositionGroupBox->setEnabled(light && scene.outdoorLighting);

    // A running render, and the last one's picture.
    ui.actionRender_Full_Size->setEnabled(!rendering);
    ui.actionShow_Last_Render->setEnabled(!outputWindow->image.isNull() || outputWindow->failed);
    ui.actionTrackball->setChecked(viewer->isTrackball());
    editWindow->ui.renderButton->setEnabled(!rendering);
    cancelRenderAction->setEnabled(rendering);
    renderStatusLabel->setVisible(rendering);
    renderProgressBar->setVisible(rendering);
    cancelRenderButton->setVisible(rendering);

    // The document.
    const bool hasScene = scene.modelCount() > 0;
    ui.actionSave_Scene->setEnabled(hasScene);
    ui.actionSave_Scene_As->setEnabled(hasScene);
    ui.menuOpen_Recent->setEnabled(!ui.menuOpen_Recent->actions().isEmpty());
    updateComposingCommands();
}
