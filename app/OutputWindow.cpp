#include "app/OutputWindow.h"

#include "app/ErrorBox.h"
#include "app/SaveFile.h"

#include <QFileDialog>
#include <QPixmap>

OutputWindow::OutputWindow(QWidget* parent) : QWidget(parent)
{
    ui.setupUi(this);
    setWindowTitle(QStringLiteral("Output"));
}

void OutputWindow::loadImage(const QString& fileName)
{
    QImage loaded;
    if (!loaded.load(fileName)) {
        setWindowTitle(QStringLiteral("Error"));
        ui.imageSpace->setText(QStringLiteral("Povray failed to render scene."));
        return;
    }
    image = loaded;
    setWindowTitle(QStringLiteral("%1 (%2 x %3)").arg(fileName).arg(image.width()).arg(image.height()));
    ui.imageSpace->resize(image.width(), image.height());
    ui.imageSpace->setPixmap(QPixmap::fromImage(image));
    repaint();
}

bool OutputWindow::saveImage(const QString& fileName)
{
    QString error;
    if (!saveImageFile(image, fileName, &error)) {
        showErrorBox(this, QStringLiteral("saveErrorBox"), QStringLiteral("Save Image"),
                     QStringLiteral("The image could not be saved as \"%1\".").arg(fileName),
                     error);
        return false;
    }
    return true;
}

void OutputWindow::on_saveAsButton_clicked()
{
    const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save Image"),
                                                          QStringLiteral("."),
                                                          QStringLiteral("Images (*.bmp)"));
    if (!fileName.isNull() && !image.isNull()) {
        saveImage(fileName);
    }
}
