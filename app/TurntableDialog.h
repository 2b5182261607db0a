#pragma once
// TurntableDialog: File > Render Turntable... Asks for the number of frames,
// the folder the frames go to and the picture size. The other render
// settings are those of File > Render Settings...

#include <QDialog>
#include <QSize>

class QLineEdit;
class QSpinBox;

class TurntableDialog : public QDialog {
    Q_OBJECT
public:
    explicit TurntableDialog(QWidget* parent = nullptr);

    int frames() const;
    QString folder() const;
    QSize pictureSize() const;
    void setPictureSize(const QSize& size);

    // Public for tests.
    QSpinBox* framesBox;
    QLineEdit* folderEdit;
    QSpinBox* widthBox;
    QSpinBox* heightBox;

private:
    void browse();
};
