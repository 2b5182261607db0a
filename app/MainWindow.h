#pragma once
// MainWindow: the program's main window. Owns the scene, the 3D view (from
// the form), the material and lighting docks; every user command arrives as
// one of its slots.

#include "scene/PovRenderSettings.h"
#include "scene/PovRenderThread.h"
#include "scene/PovScene.h"
#include "scene/PovSceneState.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>

#include "ui_MainWindow.h"

class Autosave;
class EditWindow;
class LinesDialog;
class GLViewer;
class OutputWindow;
class PlacementPanel;
class QLabel;
class QUndoStack;
struct PovPlacement;
struct SceneUndoHost;
class QMessageBox;
class QProgressBar;
class QPushButton;
class RenderSettingsDialog;
class QProgressDialog;
class TurntableDialog;
class TurntableRender;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~MainWindow() override;

    // Opens a scene: resets the view's state, loads the file, fits the
    // camera, clears the selection and the docks, titles the window
    // "Kelvane - <file>" and redraws. A file that yields no model leaves the
    // scene empty and shows a message naming the file and the reason
    // (window-modal, without blocking the caller).
    //
    // A scene document (".kelvane") is opened whole or not at all: it is
    // read into a scene of its own, which replaces the current one only
    // when everything in it could be used; otherwise the current scene,
    // view and title stay as they were and the message names the document
    // and the problem. An opened document restores the view's toggles and
    // camera it recorded.
    void loadScene(const QString& fileName);

    // What the File menu, Open Recent and a drop call: asks about unsaved
    // changes first (maybeSave) and then loads the file. False when the user
    // cancelled.
    bool openScene(const QString& fileName);
    // Scene documents: writes the scene, the view's toggles and its camera
    // to the document and makes it the window's document. False, after a
    // message, when the file cannot be written.
    bool saveDocument(const QString& fileName);
    // With unsaved changes, asks "Save", "Discard" or "Cancel" (the box is
    // named "unsavedChangesBox"). True when the caller may go on: nothing
    // to save, saved, or discarded.
    bool maybeSave();
    // Marks the scene changed since it was opened or saved (or not) and
    // retitles the window: "Kelvane - <file>", with "*" after the name while
    // there are unsaved changes.
    void setModified(bool changed = true);
    bool isModified() const { return modified; }

    // Every edit of the scene is one command on this stack (Edit > Undo,
    // Redo); its clean state is the scene as last opened or saved.
    QUndoStack* undoStack() const { return undo; }
    // Adds the models of a model file to the scene, after those there
    // (File > Import..., a file dropped with Shift held); with no scene
    // open it opens the file. False, after a message, when the file gives
    // no model.
    bool importModelFile(const QString& fileName);
    // The composing commands for the selected model's file (the Model
    // menu): each is one undoable step, and does nothing without a
    // selected model of a file.
    void dropToGround();
    void centreOnOrigin();
    void duplicateFile();
    void removeFile();
    void setPlacement(const PovPlacement& placement, const QString& mergeKey = QString());
    bool hasScene() const { return scene.modelCount() > 0; }
    // Opens a recovery document (see Autosave.h) as the unsaved work it
    // was: titled `title`, saved by Save to `from` when that is a scene
    // document, and marked as changed. False when it could not be opened
    // (the window then says why, as for any document).
    bool restoreRecovery(const QString& file, const QString& title, const QString& from);

    // The files opened or saved last, newest first, at most 8; kept with
    // QSettings (the application's organisation and name) as "recentFiles".
    static QStringList recentFiles();
    static void setRecentFiles(const QStringList& files);
    void addRecentFile(const QString& fileName);
    // Opens an entry of File > Open Recent; one that no longer exists is
    // dropped from the list with a message.
    void openRecentFile(const QString& fileName);

    // True when the scene has at most 10000 triangles (ground included) or
    // the user answers Yes to the "Large Scene" question. For a question
    // before writing the POV-Ray scene (`writesPovScene`) it also says which
    // mesh form the render settings give for this scene, and that Photo
    // quality takes longer when it is chosen.
    bool confirmLargeScene(bool writesPovScene = false);

    // Copy the selected model's texture, or the selected light and the
    // scene's ambient, into the dock controls (updatingPanels is set
    // meanwhile, so the controls' own signals change nothing).
    void updateMaterialPanel();
    void updateLightPanel();
    // Sets every command's enabled and checked state, and the docks' and
    // status bar's, from the scene, the view, the selection, a running
    // render and the recent files; called after each change. Among them,
    // from the selection: Subdivide for a selected smooth model, Smooth
    // Shading (checked as the model is drawn) for any selected model, the
    // material dock's controls for a model, the light dock's controls and
    // Remove Light for a light, the sun's position under outdoor lighting.
    void updateUi();
    // What the colour buttons do with the colour chosen in their dialog.
    void applyPigmentColor(const QColor& color);
    void applyLightColor(const QColor& color);

    // Writes "POVRAY.INI" from the render settings (the view's size unless
    // a fixed one is set), removes the old "tempscene.bmp" and starts
    // POV-Ray on "tempscene.pov", all in the window's own working folder
    // (see workFile), so windows and command-line runs started from one
    // folder never see each other's files. While a render runs the render commands
    // are disabled and requests are ignored, so nothing touches the working
    // files under the renderer; the status bar shows its progress. A
    // settings file that cannot be written is reported and nothing is
    // rendered.
    // (Connected explicitly to the editor's request, so not a slot: the
    // form's connection by name would look for an object "render".)
    void on_render_requested();
    // Shows the rendered image, or the failure with POV-Ray's own lines, in
    // the output window; a cancelled render shows nothing. Connected explicitly to the render
    // thread's end, for the same reason.
    void on_render_finished();

public slots:
    void on_actionOpen_Scene_triggered();
    // Save Scene writes the window's document (asking for a name the first
    // time); Save Scene As... always asks.
    bool on_actionSave_Scene_triggered();
    bool on_actionSave_Scene_As_triggered();
    // Writes "tempscene.pov" for the current view and renders it.
    void on_actionRender_Full_Size_triggered();
    // Shows the scene text for the current view in the editor window.
    void on_actionPreview_POV_Ray_Scene_triggered();
    // Rebuilds the selected model's texture from the material dock.
    void on_actionUpdate_Texture_triggered();
    // Writes the light dock into the selected light and the scene's ambient.
    void on_actionUpdate_Light_triggered();
    // Appends a white light above the origin (at most four lights).
    void on_actionAdd_Light_triggered();
    // Removes the selected light; the first light is never removed.
    void on_actionRemove_Light_triggered();
    void on_actionLighting_Outdoor_toggled(bool checked);
    void on_actionLighting_Indoor_toggled(bool checked);
    void on_actionWireframe_toggled(bool checked);
    void on_actionReset_Camera_triggered();
    void on_actionShow_Lights_toggled(bool checked);
    void on_actionShow_Ground_Plane_toggled(bool checked);
    void on_actionSubdivide_triggered();
    void on_actionSmooth_Shading_toggled(bool checked);
    // Whether scenes opened from now on start each model's pigment at the
    // colour its file gives; the scene already open keeps its materials.
    void on_actionColours_from_File_toggled(bool checked);
    // Shows or hides the feature lines in the view and in the POV-Ray scene.
    void on_actionShow_Feature_Lines_toggled(bool checked);
    // Opens the Lines panel.
    void on_actionFeature_Lines_triggered();
    // Opens the render settings dialog (window-modal); OK keeps its values
    // and gives the view the background and colour handling they imply.
    void on_actionRender_Settings_triggered();
    // The view clears to the render settings' background and lights the
    // panels' colours as the settings' quality renders them.
    void applyRenderSettingsToView();
    // Asks for the frames, folder and size (window-modal), then renders the
    // turntable of the current view in the background, showing each
    // frame's progress in a dialog whose Cancel stops POV-Ray.
    void on_actionRender_Turntable_triggered();
    // Starts the turntable the dialog describes, without asking.
    bool startTurntable(int frames, const QString& folder, const QSize& size);
    // Ends the running render at once; the output window keeps what it
    // showed and the render commands come back.
    void cancelRender();
    // Shows the output window with the last picture (or failure) again.
    void on_actionShow_Last_Render_triggered();
    void on_actionQuit_triggered() { close(); }
    // Free trackball rotation instead of the orbit that keeps +z up.
    void on_actionTrackball_toggled(bool checked);
    void on_actionKelvane_Help_triggered();
    void on_actionKeyboard_Shortcuts_triggered();
    void on_actionAbout_triggered();
    void on_lightColorButton_clicked();
    void on_pigmentColorButton_clicked();
    // Reactions to a pick in the view: open the material dock for a model,
    // the light dock for a light; -1 disables the dock's contents.
    void on_modelSelected(int which);
    void on_lightSelected(int which);

protected:
    // Closes the output and editor windows with the main window, and ends a
    // render that is running (the renderer is stopped, not waited for).
    // Asks about unsaved changes first; Cancel keeps the window open.
    void closeEvent(QCloseEvent* event) override;
    // A file dropped on the window is opened.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Runs `edit` on the scene and records it as one undoable step named
    // `name`, merged with the step before while `mergeKey` (non-empty)
    // stays the same; an edit that changes nothing leaves no step.
    void editScene(const QString& name, const QString& mergeKey, const std::function<void()>& edit);
    // A key that stays the same for the edits of one control on one thing
    // until something else happens (`what` names the control and thing).
    QString mergeKey(const QString& what) const;
    // The Edit menu, the composing actions and the Placement panel.
    void setUpComposing();
    // View > Views, the named views (ViewCommands.cpp).
    void setUpViews();
    // The Lighting menu's Environment..., Studio and Backdrop Colour...
    // (StageCommands.cpp).
    void setUpStageCommands();
    void chooseEnvironment();
    // Their checked states and Outdoor's and Indoor's (part of updateUi).
    void updateStageCommands();
    // After an undo or redo: the view, panels and commands follow the
    // scene; a change of models drops the selection.
    void sceneUndone(bool structure);
    void updatePlacementPanel();
    // The composing commands' enabled states (part of updateUi).
    void updateComposingCommands();
    // The file of the selected model; -1 for none or the ground.
    int selectedFile() const;
    // The title's "*": unsaved edits on the undo stack or changes to the
    // view.
    void refreshModified();
    // After a scene was opened: no history, nothing unsaved.
    void startHistory();

    // The view's camera as the picture sees it (see pictureCamera).
    qglviewer::Camera renderCamera() const;
    void showLoadError(const QString& fileName, QString reason);
    void loadDocument(const QString& fileName);
    void updateTitle();
    void updateRecentMenu();
    // Starts or stops the status-bar progress display and the render
    // commands' enabled states.
    void setRendering(bool rendering);
    void showRenderProgress(const PovProgress& progress);
    void updateRenderStatus();
    // A file of the window's private working folder, where its renders
    // and the editor's "tempscene.pov" live; empty when the folder could
    // not be made. haveWorkFolder says why in a message box.
    QString workFile(const QString& name) const { return workFolder.filePath(name); }
    bool haveWorkFolder();

    // The window's parts. Tests reach them through MainWindowTestAccess
    // (tests/support/MainWindowAccess.h).
    friend struct MainWindowTestAccess;
    GLViewer* viewer = nullptr; // the form's view; owned by the widget tree
    Ui::MainWindow ui;
    PovScene scene;
    int selectedModel = -1;
    int selectedLight = -1;
    // Removed with the window, after the render thread has ended.
    QTemporaryDir workFolder;
    PovRenderThread renderThread;
    OutputWindow* outputWindow = nullptr; // top-level, deleted by the destructor
    EditWindow* editWindow = nullptr;     // top-level, deleted by the destructor
    bool updatingPanels = false;
    QString documentFile; // the scene document in the window; empty for a bare model file
    QString modelFile;    // the model file the scene was loaded from
    LinesDialog* linesDialog = nullptr; // the Lines panel; a child of the window
    Autosave* autosave = nullptr;       // the recovery copy of unsaved work; a child
    // The render settings of this session (File > Render Settings...).
    PovRenderSettings renderSettings;
    RenderSettingsDialog* renderSettingsDialog = nullptr; // created when first opened
    // Shown in the status bar while a render runs: stage and elapsed time,
    // progress, and a Cancel button (Escape does the same).
    QLabel* renderStatusLabel = nullptr;
    QProgressBar* renderProgressBar = nullptr;
    QPushButton* cancelRenderButton = nullptr;
    QAction* cancelRenderAction = nullptr;
    // File > Render Turntable...: the dialog, the render, and its progress
    // (frame and POV-Ray's stage, with Cancel), all created when first used.
    TurntableDialog* turntableDialog = nullptr;
    TurntableRender* turntable = nullptr;
    QProgressDialog* turntableProgress = nullptr;

    QUndoStack* undo = nullptr; // a child of the window
    std::unique_ptr<SceneUndoHost> undoHost;
    // Bumped by anything that ends an edit (another command, a selection,
    // an undo), so the next panel signal starts a new step.
    int editSerial = 0;
    bool pushing = false;
    // The scene as the last step left it: where a light drag started.
    PovSceneState committed;
    bool viewModified = false; // view toggles, which are not undone
    PlacementPanel* placementPanel = nullptr;
    QAction* importAction = nullptr;
    QAction* environmentAction = nullptr;
    QAction* studioAction = nullptr;
    QAction* backdropAction = nullptr;
    QAction* placementAction = nullptr;
    QAction* dropToGroundAction = nullptr;
    QAction* centreOnOriginAction = nullptr;
    QAction* duplicateAction = nullptr;
    QAction* removeFileAction = nullptr;
    QAction* moveModeAction = nullptr;

    QMessageBox* loadErrorBox = nullptr;
    QMessageBox* noteBox = nullptr;
    QString shownName; // the file named in the title
    bool modified = false;
    bool rendering = false;   // a render (or its start) is under way
    QTimer renderStatusTimer; // refreshes the elapsed time
    QElapsedTimer renderClock;
    // "automatic detail" or "full detail" while a render of a large model
    // runs, for its progress; empty otherwise.
    QString renderDetail;
    PovProgress renderProgress;
    // The ambient, colour and elevation the light dock shows; an edit
    // writes each into the scene only when the user changed it, so the
    // controls' rounding never reaches the scene.
    double shownAmbient = 0.0;
    double shownLightColor[3] = {0.0, 0.0, 0.0};
    int shownElevation = 0;
    int shownAzimuth = 0;
};
