#pragma once
// OutputWindow: shows the image POV-Ray rendered and lets the user save it.

#include <QImage>
#include <QWidget>

#include "ui_OutputWindow.h"

class OutputWindow : public QWidget {
    Q_OBJECT
public:
    explicit OutputWindow(QWidget* parent = nullptr);

    // Loads and shows the image; when it cannot be read the window is
    // titled "Error" and says "Povray failed to render scene.".
    void loadImage(const QString& fileName);
    // Saves the image in the format the name's suffix gives. A failure is
    // reported in a message box naming the file and the reason, and gives
    // false.
    bool saveImage(const QString& fileName);

    Ui::OutputWindowForm ui;
    QImage image; // null until the first successful load

public slots:
    void on_saveAsButton_clicked();
};
