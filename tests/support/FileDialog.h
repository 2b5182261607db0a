#pragma once
// Answers a file dialog in a GUI test as a user would.

#include "tests/support/ModalDialog.h"

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

// Answers the next file dialog with `name` (a null name cancels it) and
// keeps its title and name filters in `title` as "title|filters".
inline void answerFileDialog(const QString& name, QString* title = nullptr)
{
    answerModal<QFileDialog>([name, title](QFileDialog* dialog) {
        if (title) {
            *title = dialog->windowTitle() + "|" + dialog->nameFilters().join(";");
        }
        typeIntoFileDialog(dialog, name);
    });
}
