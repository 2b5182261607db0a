#pragma once
// MainWindow: the program's main window. Owns the scene, the 3D view (from
// the form), the material and lighting docks; every user command arrives as
// one of its slots.

#include "scene/PovRenderThread.h"
#include "scene/PovScene.h"

#include <QMainWindow>

#include "ui_MainWindow.h"

class EditWindow;
class GLViewer;
class OutputWindow;

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
    // the user answers Yes to the "Large Scene" question.
    bool confirmLargeScene();

    // Copy the selected model's texture, or the selected light and the
    // scene's ambient, into the dock controls (updatingPanels is set
    // meanwhile, so the controls' own signals change nothing).
    void updateMaterialPanel();
    void updateLightPanel();
    // Derives from the selection which commands and dock contents are
    // enabled: Subdivide for a selected smooth model, Smooth Shading (checked
    // as the model is drawn) for any selected model, the material dock's
    // controls for a model, the light dock's controls and Remove Light for a
    // light, the sun's position under outdoor lighting.
    void updateSelectionStates();
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

    // Writes "POVRAY.INI" with the view's size, removes the old
    // "tempscene.bmp" and starts POV-Ray on "tempscene.pov". While a render
    // runs the render commands are disabled and requests are ignored, so
    // nothing touches the working files under the renderer. A settings file
    // that cannot be written is reported and nothing is rendered.
    // (Connected explicitly to the editor's request, so not a slot: the
    // form's connection by name would look for an object "render".)
    void on_render_requested();
    // Shows the rendered image (or the failure text) in the output window.
    // Connected explicitly to the render thread's end, for the same reason.
    void on_render_finished();

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
    void on_lightColorButton_clicked();
    void on_pigmentColorButton_clicked();
    // Reactions to a pick in the view: open the material dock for a model,
    // the light dock for a light; -1 disables the dock's contents.
    void on_modelSelected(int which);
    void on_lightSelected(int which);

protected:
    // Closes the output and editor windows with the main window, and ends a
    // render that is running (the renderer is stopped, not waited for).
    void closeEvent(QCloseEvent* event) override;

private:
    // The ambient, colour and elevation the light dock shows; an edit
    // writes each into the scene only when the user changed it, so the
    // controls' rounding never reaches the scene.
    double shownAmbient = 0.0;
    double shownLightColor[3] = {0.0, 0.0, 0.0};
    int shownElevation = 0;
};
