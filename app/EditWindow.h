#pragma once
// EditWindow: shows a POV-Ray scene description as plain text, lets the user
// edit it, save it under any name, or render the edited text.

#include <QWidget>

#include "ui_EditWindow.h"

class EditWindow : public QWidget {
    Q_OBJECT
public:
    explicit EditWindow(QWidget* parent = nullptr);

    // Replaces the text and shows its beginning.
    void setSceneText(const QString& text);
    // Writes the editor's plain text to the file as Latin-1. A file that
    // cannot be written is reported in a message box naming it and the
    // reason, and gives false.
    bool saveToFile(const QString& fileName);

    Ui::EditWindowForm ui;
    // Where the render button saves the text before asking for a render:
    // the main window's working folder (by default the current one).
    QString sceneFile = QStringLiteral("tempscene.pov");

signals:
    // The text has been saved to sceneFile and should be rendered
    // (not sent when the text could not be saved).
    void renderRequested();

public slots:
    void on_renderButton_clicked();
    void on_saveAsButton_clicked();
};
