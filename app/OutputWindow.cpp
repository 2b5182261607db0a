#include "app/OutputWindow.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>

QImage OutputWindow::shownImage(const QImage& picture)
{
    if (!picture.hasAlphaChannel()) {
        return picture;
    }
    QImage shown(picture.size(), QImage::Format_RGB32);
    QPainter painter(&shown);
    const int cell = 8;
    for (int y = 0; y < shown.height(); y += cell) {
        for (int x = 0; x < shown.width(); x += cell) {
            const bool light = ((x / cell) + (y / cell)) % 2 == 0;
            painter.fillRect(x, y, cell, cell,
                             light ? QColor(204, 204, 204) : QColor(153, 153, 153));
        }
    }
    painter.drawImage(0, 0, picture);
    painter.end();
    return shown;
}

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
    failed = false;
    ui.saveAsButton->setEnabled(true);
    setWindowTitle(QStringLiteral("%1 (%2 x %3)")
                       .arg(QFileInfo(fileName).fileName())
                       .arg(image.width())
                       .arg(image.height()));
    ui.imageSpace->resize(image.width(), image.height());
    ui.imageSpace->setPixmap(QPixmap::fromImage(shownImage(image)));
    repaint();
}

void OutputWindow::showFailure(const QStringList& reasons)
{
    setWindowTitle(QStringLiteral("Error"));
    failed = true;
    ui.saveAsButton->setEnabled(false);
    QString text = QStringLiteral("POV-Ray failed to render the scene.");
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
    if (failed) {
        error = QStringLiteral("The last render failed, so there is no picture to save.");
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
        error =
            QStringLiteral("Could not save \"%1\": %2.")
                .arg(fileName, writer.error() != QImageWriter::UnknownError ? writer.errorString()
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
