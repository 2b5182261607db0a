#include "app/ErrorBox.h"

#include <QMessageBox>

QMessageBox* showErrorBox(QWidget* parent, const QString& objectName, const QString& title,
                          const QString& text, QString reason)
{
    QMessageBox* box = parent->findChild<QMessageBox*>(objectName, Qt::FindDirectChildrenOnly);
    if (!box) {
        box = new QMessageBox(QMessageBox::Warning, title, QString(), QMessageBox::Ok, parent);
        box->setObjectName(objectName);
    }
    box->setWindowTitle(title);
    box->setText(text);
    if (!reason.isEmpty()) {
        reason[0] = reason[0].toUpper();
        if (!reason.endsWith(QLatin1Char('.'))) {
            reason += QLatin1Char('.');
        }
    }
    box->setInformativeText(reason);
    box->open();
    return box;
}
