#pragma once
// OutputWindow: shows the image POV-Ray rendered, or why there is none, and
// lets the user save the image.

#include <QImage>
#include <QWidget>

#include "ui_OutputWindow.h"

class QMessageBox;

class OutputWindow : public QWidget {
    Q_OBJECT
public:
    explicit OutputWindow(QWidget* parent = nullptr);

    // Loads and shows the image (keeping its alpha channel in `image`); when it cannot be read the
    // window is titled "Error" and says "POV-Ray failed to render the scene.".
    void loadImage(const QString& fileName);
    // Shows a failed render: title "Error", "Povray failed to render
    // scene." and below it `reasons` (POV-Ray's own lines), one per line.
    // The last good image stays in `image` but is neither shown nor saved:
    // Save As is disabled until the next picture.
    void showFailure(const QStringList& reasons);

    // Saves `image` under `fileName`, the format taken from the suffix
    // (.png, .jpg/.jpeg or .bmp; a name without suffix gets ".png"). Returns
    // false with a sentence for the user in `error`. `fileName` is set to
    // the name actually used.
    bool saveImage(QString& fileName, QString& error) const;

    // What the window shows for `picture`: a picture with an alpha channel
    // over a grey checkerboard, so transparent parts show as such; others
    // as they are.
    static QImage shownImage(const QImage& picture);

    Ui::OutputWindowForm ui;
    QImage image;                        // null until the first successful load
    bool failed = false;                 // the window shows a failure, not `image`
    QMessageBox* saveErrorBox = nullptr; // created on the first failed save

public slots:
    void on_saveAsButton_clicked();
};
