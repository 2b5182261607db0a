// The main window's composing of scenes (several model files, each placed)
// and its undo history.

#include "app/MainWindow.h"
#include "app/PlacementPanel.h"
#include "app/SceneUndo.h"
#include "scene/PovImporter.h"
#include "scene/PovSceneFiles.h"
#include "viewer/GLViewer.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QUndoStack>

void MainWindow::setUpComposing()
{
    undo = new QUndoStack(this);
    undo->setObjectName(QStringLiteral("undoStack"));
    undoHost.reset(new SceneUndoHost);
    undoHost->scene = &scene;
    undoHost->inContext = [this](const std::function<void()>& change) {
        viewer->makeCurrent();
        change();
        viewer->doneCurrent();
    };
    undoHost->changed = [this](bool structure) { sceneUndone(structure); };
    connect(undo, &QUndoStack::cleanChanged, this, [this]() { refreshModified(); });
    // Undo and redo end the edit under way: the next signal is a new step.
    connect(undo, &QUndoStack::indexChanged, this, [this]() {
        if (!pushing) {
            ++editSerial;
            committed = PovSceneState::of(scene);
        }
    });

    // Edit: Undo and Redo, named after the command they take back or make
    // again ("Undo Material Change").
    QMenu* edit = new QMenu(QStringLiteral("Edit"), this);
    edit->setObjectName(QStringLiteral("menuEdit"));
    QAction* undoAction = undo->createUndoAction(this, QStringLiteral("Undo"));
    undoAction->setObjectName(QStringLiteral("actionUndo"));
    undoAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    QAction* redoAction = undo->createRedoAction(this, QStringLiteral("Redo"));
    redoAction->setObjectName(QStringLiteral("actionRedo"));
    redoAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    edit->addAction(undoAction);
    edit->addAction(redoAction);
    menuBar()->insertMenu(ui.menuView->menuAction(), edit);

    // File > Import... after Open Recent.
    importAction = new QAction(QStringLiteral("Import..."), this);
    importAction->setObjectName(QStringLiteral("actionImport"));
    importAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+I")));
    importAction->setStatusTip(QStringLiteral("Add a model file's models to the scene"));
    const QList<QAction*> fileEntries = ui.menuFile->actions();
    const int recent = int(fileEntries.indexOf(ui.menuOpen_Recent->menuAction()));
    ui.menuFile->insertAction(fileEntries.value(recent + 1), importAction);
    connect(importAction, &QAction::triggered, this, [this]() {
        const QString fileName = QFileDialog::getOpenFileName(
            this, QStringLiteral("Import"), QStringLiteral("."), PovImporters::openDialogFilter());
        if (!fileName.isNull()) {
            importModelFile(fileName);
        }
    });

    // The Placement panel and the commands on the selected model's file.
    placementPanel = new PlacementPanel(this);
    addDockWidget(Qt::RightDockWidgetArea, placementPanel);
    placementPanel->close();
    connect(placementPanel, &PlacementPanel::placementEdited, this,
            [this](const PovPlacement& placement, int field) {
                setPlacement(
                    placement,
                    mergeKey(QStringLiteral("placement %1 %2").arg(selectedFile()).arg(field)));
            });
    auto add = [this](const QString& text, const char* name, const QString& keys) {
        QAction* action = new QAction(text, this);
        action->setObjectName(QString::fromLatin1(name));
        if (!keys.isEmpty()) {
            action->setShortcut(QKeySequence(keys));
        }
        ui.menuModel->addAction(action);
        return action;
    };
    ui.menuModel->addSeparator();
    placementAction = placementPanel->toggleViewAction();
    placementAction->setText(QStringLiteral("Placement"));
    placementAction->setObjectName(QStringLiteral("actionPlacement"));
    ui.menuModel->addAction(placementAction);
    moveModeAction = add(QStringLiteral("Move Mode"), "actionMove_Mode", QStringLiteral("M"));
    moveModeAction->setCheckable(true);
    moveModeAction->setStatusTip(
        QStringLiteral("Drag a model to move its file in the ground plane; Shift+drag turns it"));
    connect(moveModeAction, &QAction::toggled, this, [this](bool on) { viewer->moveMode = on; });
    dropToGroundAction =
        add(QStringLiteral("Drop to Ground"), "actionDrop_to_Ground", QStringLiteral("Ctrl+G"));
    connect(dropToGroundAction, &QAction::triggered, this, &MainWindow::dropToGround);
    centreOnOriginAction =
        add(QStringLiteral("Centre on Origin"), "actionCentre_on_Origin", QString());
    connect(centreOnOriginAction, &QAction::triggered, this, &MainWindow::centreOnOrigin);
    duplicateAction = add(QStringLiteral("Duplicate"), "actionDuplicate", QStringLiteral("Ctrl+D"));
    connect(duplicateAction, &QAction::triggered, this, &MainWindow::duplicateFile);
    removeFileAction = add(QStringLiteral("Remove"), "actionRemove", QStringLiteral("Delete"));
    connect(removeFileAction, &QAction::triggered, this, &MainWindow::removeFile);

    // A move-mode drag is one step, like a light's.
    connect(viewer, &GLViewer::fileMoved, this, [this](int file) {
        const PovSceneState after = PovSceneState::of(scene);
        if (after != committed) {
            pushing = true;
            undo->push(new SceneStateCommand(undoHost.get(), QStringLiteral("Move"),
                                             mergeKey(QStringLiteral("move %1").arg(file)),
                                             committed, after));
            pushing = false;
            committed = after;
        }
        updatePlacementPanel();
    });
}

QString MainWindow::mergeKey(const QString& what) const
{
    return QStringLiteral("%1 #%2").arg(what).arg(editSerial);
}

void MainWindow::editScene(const QString& name, const QString& key,
                           const std::function<void()>& edit)
{
    const PovSceneState before = PovSceneState::of(scene);
    edit();
    const PovSceneState after = PovSceneState::of(scene);
    if (after == before) {
        return;
    }
    if (key.isEmpty()) {
        ++editSerial; // a step of its own
    }
    pushing = true;
    // Merged steps keep the state from before the first of them.
    undo->push(new SceneStateCommand(undoHost.get(), name, key, before, after));
    pushing = false;
    committed = after;
    if (key.isEmpty()) {
        ++editSerial;
    }
}

int MainWindow::selectedFile() const { return scene.fileOf(selectedModel); }

void MainWindow::sceneUndone(bool structure)
{
    if (structure || selectedModel >= scene.modelCount()) {
        viewer->selectedModel = -1;
        selectedModel = -1;
        ui.materialDockWidget->close();
    }
    if (selectedLight >= scene.lightCount()) {
        viewer->selectedLight = -1;
        selectedLight = -1;
        ui.lightDockWidget->close();
    }
    if (selectedModel >= 0) {
        updateMaterialPanel();
    }
    if (selectedLight >= 0) {
        updateLightPanel();
    }
    updatePlacementPanel();
    updateUi();
    viewer->updateGL();
}

void MainWindow::updatePlacementPanel()
{
    const int file = selectedFile();
    placementPanel->setPlacement(file >= 0 ? scene.files[size_t(file)].placement : PovPlacement(),
                                 file >= 0);
}

void MainWindow::updateComposingCommands()
{
    if (!importAction) {
        return;
    }
    const bool file = selectedFile() >= 0;
    importAction->setEnabled(hasScene());
    dropToGroundAction->setEnabled(file);
    centreOnOriginAction->setEnabled(file);
    duplicateAction->setEnabled(file);
    removeFileAction->setEnabled(file && scene.fileCount() > 1);
    moveModeAction->setEnabled(hasScene());
    updatePlacementPanel();
}

void MainWindow::setPlacement(const PovPlacement& placement, const QString& key)
{
    const int file = selectedFile();
    if (file < 0) {
        return;
    }
    editScene(QStringLiteral("Placement Change"), key, [this, file, &placement]() {
        viewer->makeCurrent();
        scene.setPlacement(file, placement);
        viewer->doneCurrent();
    });
    viewer->updateGL();
}

void MainWindow::dropToGround()
{
    const int file = selectedFile();
    if (file < 0) {
        return;
    }
    editScene(QStringLiteral("Drop to Ground"), QString(), [this, file]() {
        viewer->makeCurrent();
        scene.setPlacement(file, scene.droppedToGround(file));
        viewer->doneCurrent();
    });
    updatePlacementPanel();
    viewer->updateGL();
}

void MainWindow::centreOnOrigin()
{
    const int file = selectedFile();
    if (file < 0) {
        return;
    }
    editScene(QStringLiteral("Centre on Origin"), QString(), [this, file]() {
        viewer->makeCurrent();
        scene.setPlacement(file, scene.centredOnOrigin(file));
        viewer->doneCurrent();
    });
    updatePlacementPanel();
    viewer->updateGL();
}

bool MainWindow::importModelFile(const QString& fileName)
{
    if (!hasScene()) {
        loadScene(fileName);
        return hasScene();
    }
    const QString special = notAFileReason(fileName);
    if (!special.isEmpty()) {
        showLoadError(fileName, special);
        return false;
    }
    viewer->makeCurrent();
    const bool added = scene.importFile(QFile::encodeName(fileName).constData());
    viewer->doneCurrent();
    if (!added) {
        showLoadError(fileName, scene.loadError());
        return false;
    }
    ++editSerial;
    pushing = true;
    undo->push(new SceneFileCommand(undoHost.get(), QStringLiteral("Import"), scene.fileCount() - 1,
                                    true));
    pushing = false;
    committed = PovSceneState::of(scene);
    // The new file's first model is selected, ready to be placed.
    const int first = scene.firstModelOf(scene.fileCount() - 1);
    viewer->selectedModel = first;
    viewer->selectedLight = -1;
    on_lightSelected(-1);
    on_modelSelected(first);
    viewer->updateGL();
    return true;
}

void MainWindow::duplicateFile()
{
    const int file = selectedFile();
    if (file < 0) {
        return;
    }
    // The file is read again, and its copy takes the original's materials,
    // shading and subdivision, set beside it along x.
    const PovSceneFile original = scene.files[size_t(file)];
    viewer->makeCurrent();
    const bool added = scene.importFile(QFile::encodeName(original.path).constData());
    const int copy = scene.fileCount() - 1;
    if (added) {
        const int from = scene.firstModelOf(file), to = scene.firstModelOf(copy);
        const int n = scene.modelCountOf(copy);
        if (n == scene.modelCountOf(file)) {
            for (int k = 0; k < n; ++k) {
                scene.textures[size_t(to + k)] = scene.textures[size_t(from + k)];
                for (int s = 0; s < scene.subdivisions(from + k); ++s) {
                    scene.subdivide(to + k);
                }
                scene.setFlatShading(to + k, scene.models[size_t(from + k)]->getMesh()->isFlat());
            }
        }
        PovPlacement beside = original.placement;
        beside.translate[0] += 2.2f * original.radius * original.placement.scale;
        scene.setPlacement(copy, beside);
    }
    viewer->doneCurrent();
    if (!added) {
        showLoadError(original.path, scene.loadError());
        return;
    }
    ++editSerial;
    pushing = true;
    undo->push(new SceneFileCommand(undoHost.get(), QStringLiteral("Duplicate"), copy, true));
    pushing = false;
    committed = PovSceneState::of(scene);
    const int first = scene.firstModelOf(copy);
    viewer->selectedModel = first;
    on_modelSelected(first);
    viewer->updateGL();
}

void MainWindow::removeFile()
{
    const int file = selectedFile();
    if (file < 0 || scene.fileCount() < 2) {
        return;
    }
    viewer->makeCurrent();
    std::unique_ptr<PovFileContent> taken = scene.takeFile(file);
    viewer->doneCurrent();
    if (!taken) {
        return;
    }
    ++editSerial;
    pushing = true;
    undo->push(new SceneFileCommand(undoHost.get(), QStringLiteral("Remove"), file, false,
                                    std::move(taken)));
    pushing = false;
    committed = PovSceneState::of(scene);
    sceneUndone(true);
}
