#pragma once
// The window's way of telling the user that something failed: a warning box
// owned by the window, opened window-modal without blocking the caller.

#include <QString>

class QMessageBox;
class QWidget;

// Shows the box named `objectName` among `parent`'s children (made the
// first time, reused afterwards) with the title, the text saying what
// failed, and the reason as its informative text (first letter raised, a
// full stop added). Returns the box.
QMessageBox* showErrorBox(QWidget* parent, const QString& objectName, const QString& title,
                          const QString& text, QString reason);
