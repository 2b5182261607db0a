#include "app/EditWindow.h"

#include <QFile>
#include <QFileDialog>
#include <QTextCursor>

EditWindow::EditWindow(QWidget* parent) : QWidget(parent)
{
    ui.setupUi(this);
    setWindowTitle(QStringLiteral("Edit POV-Ray Scene"));
}

void EditWindow::setSceneText(const QString& text)
{
    ui.textEdit->clear();
    ui.textEdit->append(text);
    QTextCursor cursor = ui.textEdit->textCursor();
    cursor.movePosition(QTextCursor::Start);
    ui.textEdit->setTextCursor(cursor);
}

void EditWindow::saveToFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        return;
    }
    file.write(ui.textEdit->toPlainText().toLatin1());
}

void EditWindow::on_renderButton_clicked()
{
    saveToFile(QStringLiteral("tempscene.pov"));
    emit renderRequested();
}

void EditWindow::on_saveAsButton_clicked()
{
    const QString fileName = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save POV-Ray Scene"), QStringLiteral("."),
        QStringLiteral("POV-Ray scenes (*.pov)"));
    if (!fileName.isNull()) {
        saveToFile(fileName);
    }
}
