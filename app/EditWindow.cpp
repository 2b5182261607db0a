#include "app/EditWindow.h"

#include "app/ErrorBox.h"
#include "scene/SaveFile.h"

#include <QFileDialog>
#include <QTextCursor>

EditWindow::EditWindow(QWidget* parent) : QWidget(parent)
{
    ui.setupUi(this);
    setWindowTitle(QStringLiteral("Edit POV-Ray Scene"));
}

void EditWindow::setSceneText(const QString& text)
{
    // Plain text in one go: a large scene's text shows in a moment.
    ui.textEdit->setPlainText(text);
    QTextCursor cursor = ui.textEdit->textCursor();
    cursor.movePosition(QTextCursor::Start);
    ui.textEdit->setTextCursor(cursor);
}

bool EditWindow::saveToFile(const QString& fileName)
{
    QString error;
    if (!saveBytes(fileName, ui.textEdit->toPlainText().toLatin1(), &error)) {
        showErrorBox(this, QStringLiteral("saveErrorBox"), QStringLiteral("Save POV-Ray Scene"),
                     QStringLiteral("The scene could not be saved as \"%1\".").arg(fileName),
                     error);
        return false;
    }
    return true;
}

void EditWindow::on_renderButton_clicked()
{
    if (saveToFile(sceneFile)) {
        emit renderRequested();
    }
}

void EditWindow::on_saveAsButton_clicked()
{
    const QString fileName =
        QFileDialog::getSaveFileName(this, QStringLiteral("Save POV-Ray Scene"),
                                     QStringLiteral("."), QStringLiteral("POV-Ray scenes (*.pov)"));
    if (!fileName.isNull()) {
        saveToFile(fileName);
    }
}
