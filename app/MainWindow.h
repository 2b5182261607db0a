#pragma once
// MainWindow: the program's main window. Owns the scene, the 3D view (from
// the form), the material and lighting docks; every user command arrives as
// one of its slots.

#include "scene/PovRenderSettings.h"
#include "scene/PovRenderThread.h"
#include "scene/PovScene.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include "ui_MainWindow.h"

class EditWindow;
class GLViewer;
class OutputWindow;
class QLabel;
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
    void loadScene(const QString& fileName);

    // True when the scene has at most 10000 triangles (ground included) or
    // the user answers Yes to the "Large Scene" question. For a question
    // before writing the POV-Ray scene (`writesPovScene`) it also says which
    // mesh form the render settings give for this scene.
    bool confirmLargeScene(bool writesPovScene = false);

    // Copy the selected model's texture, or the selected light and the
    // scene's ambient, into the dock controls (updatingPanels is set
    // meanwhile, so the controls' own signals change nothing).
    void updateMaterialPanel();
    void updateLightPanel();
    // What the colour buttons do with the colour chosen in their dialog.
    void applyPigmentColor(const QColor& color);
    void applyLightColor(const QColor& color);

    // Public for tests.
    GLViewer* viewer = nullptr; // the form's view; owned by the widget tree
    Ui::MainWindow ui;
    PovScene scene;
    int selectedModel = -1;
    int selectedLight = -1;
    PovRenderThread renderThread;
    OutputWindow* outputWindow = nullptr; // top-level, deleted by the destructor
    EditWindow* editWindow = nullptr;     // top-level, deleted by the destructor
    bool updatingPanels = false;
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

public slots:
    void on_actionOpen_Scene_triggered();
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
    // Writes "POVRAY.INI" from the render settings (the view's size unless
    // a fixed one is set), removes the old "tempscene.bmp" and starts
    // POV-Ray on "tempscene.pov". While a render runs the render commands
    // are disabled and requests are ignored, so nothing touches the working
    // files under the renderer; the status bar shows its progress.
    void on_render_requested();
    // Opens the render settings dialog (window-modal); OK keeps its values.
    void on_actionRender_Settings_triggered();
    // Asks for the frames, folder and size (window-modal), then renders the
    // turntable of the current view in the background, showing each
    // frame's progress in a dialog whose Cancel stops POV-Ray.
    void on_actionRender_Turntable_triggered();
    // Starts the turntable the dialog describes; public for tests.
    bool startTurntable(int frames, const QString& folder, const QSize& size);
    // Ends the running render at once; the output window keeps what it
    // showed and the render commands come back.
    void cancelRender();
    void on_lightColorButton_clicked();
    void on_pigmentColorButton_clicked();
    // Shows the rendered image, or the failure with POV-Ray's own lines, in
    // the output window; a cancelled render shows nothing.
    void on_render_finished();
    // Reactions to a pick in the view: open the material dock for a model,
    // the light dock for a light; -1 disables the dock's contents.
    void on_modelSelected(int which);
    void on_lightSelected(int which);

protected:
    // Closes the output and editor windows with the main window.
    void closeEvent(QCloseEvent* event) override;

private:
    // Starts or stops the status-bar progress display and the render
    // commands' enabled states.
    void setRendering(bool rendering);
    void showRenderProgress(const PovProgress& progress);
    void updateRenderStatus();

    QMessageBox* loadErrorBox = nullptr;
    QTimer renderStatusTimer; // refreshes the elapsed time
    QElapsedTimer renderClock;
    PovProgress renderProgress;
};
