#pragma once
// MainWindow: the program's main window. Owns the scene, the 3D view (from
// the form), the material and lighting docks; every user command arrives as
// one of its slots.

#include "scene/PovScene.h"

#include <QMainWindow>

#include "ui_MainWindow.h"

class GLViewer;
class QMessageBox;

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

    // Public for tests: the form, the scene and the selection.
    Ui::MainWindow ui;
    PovScene scene;
    int selectedModel = -1;
    int selectedLight = -1;
    GLViewer* viewer = nullptr;

public slots:
    void on_actionOpen_Scene_triggered();
    void on_actionWireframe_toggled(bool checked);
    void on_actionReset_Camera_triggered();
    void on_actionShow_Lights_toggled(bool checked);
    void on_actionShow_Ground_Plane_toggled(bool checked);
    void on_actionSmooth_Shading_toggled(bool checked);

private:
    QMessageBox* loadErrorBox = nullptr;
};
