#include "app/OutputWindow.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QMessageBox>
#include <QPixmap>

OutputWindow::OutputWindow(QWidget* parent) : QWidget(parent)
{
    ui.setupUi(this);
    setWindowTitle(QStringLiteral("Output"));
    ui.imageSpace->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void OutputWindow::loadImage(const QString& fileName)
{
    QImage loaded;
    if (!loaded.load(fileName)) {
        showFailure(QStringList());
        return;
    }
    image = loaded;
    setWindowTitle(QStringLiteral("%1 (%2 x %3)").arg(fileName).arg(image.width()).arg(image.height()));
    ui.imageSpace->resize(image.width(), image.height());
    ui.imageSpace->setPixmap(QPixmap::fromImage(image));
    repaint();
}

void OutputWindow::showFailure(const QStringList& reasons)
{
    setWindowTitle(QStringLiteral("Error"));
    QString text = QStringLiteral("Povray failed to render scene.");
    if (!reasons.isEmpty()) {
        text += QStringLiteral("\n\n") + reasons.join(QLatin1Char('\n'));
    }
    ui.imageSpace->setText(text);
    ui.imageSpace->adjustSize();
}

bool OutputWindow::saveImage(QString& fileName, QString& error) const
{
    if (image.isNull()) {
        error = QStringLiteral("There is no rendered picture to save.");
        return false;
    }
    QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix.isEmpty()) {
        fileName += QStringLiteral(".png");
        suffix = QStringLiteral("png");
    }
    const QStringList known = {QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
                               QStringLiteral("bmp")};
    if (!known.contains(suffix)) {
        error = QStringLiteral("\"%1\" does not end in .png, .jpg or .bmp, so the picture format "
                               "is unknown.")
                    .arg(QFileInfo(fileName).fileName());
        return false;
    }
    // The file is opened here, so a refusal names its reason ("Permission
    // denied") rather than the image writer's generic one.
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = QStringLiteral("Could not save \"%1\": %2.").arg(fileName, file.errorString());
        return false;
    }
    QImageWriter writer(&file, suffix == QLatin1String("jpg") ? "jpeg" : suffix.toLatin1());
    if (!writer.write(image) || !file.flush()) {
        error = QStringLiteral("Could not save \"%1\": %2.")
                    .arg(fileName, writer.error() != QImageWriter::UnknownError
                                       ? writer.errorString()
                                       : file.errorString());
        file.remove();
        return false;
    }
    return true;
}

void OutputWindow::on_saveAsButton_clicked()
{
    QString fileName = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save Image"), QStringLiteral("."),
        QStringLiteral("PNG image (*.png);;JPEG image (*.jpg *.jpeg);;BMP image (*.bmp)"));
    if (fileName.isNull()) {
        return;
    }
    QString error;
    if (!saveImage(fileName, error)) {
        if (!saveErrorBox) {
            saveErrorBox = new QMessageBox(QMessageBox::Warning, QStringLiteral("Save Image"),
                                           QString(), QMessageBox::Ok, this);
            saveErrorBox->setObjectName(QStringLiteral("saveErrorBox"));
        }
        saveErrorBox->setText(error);
        saveErrorBox->open();
    }
}
