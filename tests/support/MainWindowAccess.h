#pragma once
// The main window's private parts, for tests that check its state behind
// the widgets (the scene it edits, the selection, the render under way) or
// reach a child window directly. Holds references only: `inside(w).scene`
// is the window's own scene.

#include "app/MainWindow.h"

struct MainWindowTestAccess {
    explicit MainWindowTestAccess(MainWindow& w)
        : viewer(w.viewer), ui(w.ui), scene(w.scene), selectedModel(w.selectedModel),
          selectedLight(w.selectedLight), workFolder(w.workFolder), renderThread(w.renderThread),
          outputWindow(w.outputWindow), editWindow(w.editWindow), documentFile(w.documentFile),
          modelFile(w.modelFile), linesDialog(w.linesDialog), renderSettings(w.renderSettings),
          renderSettingsDialog(w.renderSettingsDialog), renderStatusLabel(w.renderStatusLabel),
          renderProgressBar(w.renderProgressBar), cancelRenderButton(w.cancelRenderButton),
          cancelRenderAction(w.cancelRenderAction), turntableDialog(w.turntableDialog),
          turntable(w.turntable), turntableProgress(w.turntableProgress)
    {
    }

    GLViewer*& viewer;
    Ui::MainWindow& ui;
    PovScene& scene;
    int& selectedModel;
    int& selectedLight;
    QTemporaryDir& workFolder;
    PovRenderThread& renderThread;
    OutputWindow*& outputWindow;
    EditWindow*& editWindow;
    QString& documentFile;
    QString& modelFile;
    LinesDialog*& linesDialog;
    PovRenderSettings& renderSettings;
    RenderSettingsDialog*& renderSettingsDialog;
    QLabel*& renderStatusLabel;
    QProgressBar*& renderProgressBar;
    QPushButton*& cancelRenderButton;
    QAction*& cancelRenderAction;
    TurntableDialog*& turntableDialog;
    TurntableRender*& turntable;
    QProgressDialog*& turntableProgress;
};

inline MainWindowTestAccess inside(MainWindow& w) { return MainWindowTestAccess(w); }
inline MainWindowTestAccess inside(MainWindow* w) { return MainWindowTestAccess(*w); }

// A file of the window's private working folder ("tempscene.pov", ...).
inline QString workFile(MainWindow& w, const QString& name)
{
    return inside(w).workFolder.filePath(name);
}
inline QString workFile(MainWindow* w, const QString& name) { return workFile(*w, name); }
