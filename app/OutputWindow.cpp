#include "app/OutputWindow.h"

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

void OutputWindow::on_saveAsButton_clicked()
{
    const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save Image"),
                                                          QStringLiteral("."),
                                                          QStringLiteral("Images (*.bmp)"));
    if (!fileName.isNull() && !image.isNull()) {
        image.save(fileName);
    }
}
