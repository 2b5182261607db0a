#pragma once
// Answers a file dialog in a GUI test as a user would.

#include <QFileDialog>
#include <QLineEdit>
#include <QString>
#include <QtTest>

// Types `name` into the dialog and presses Enter; a null name (or a dialog
// without its name field) cancels it.
inline void typeIntoFileDialog(QFileDialog* dialog, const QString& name)
{
    auto* edit = name.isNull() ? nullptr : dialog->findChild<QLineEdit*>("fileNameEdit");
    if (!edit) {
        dialog->reject();
        return;
    }
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
}
