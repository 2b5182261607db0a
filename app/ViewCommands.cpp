// The main window's View > Views: the named views of scene/PovNamedView.h.
// A view moves the camera as an orbit or Reset Camera does: it is no step
// of the undo history and leaves the scene unchanged; a saved document
// keeps the camera where the view put it.

#include "app/MainWindow.h"
#include "scene/PovNamedView.h"
#include "viewer/GLViewer.h"

#include <QMenu>

namespace {

// Numbers as on a keypad's views: 1 front, 3 right, 7 top, with Ctrl the
// opposite side; 0 the three-quarter view.
QString viewKeys(PovNamedView view)
{
    switch (view) {
    case PovNamedView::Front:
        return QStringLiteral("1");
    case PovNamedView::Back:
        return QStringLiteral("Ctrl+1");
    case PovNamedView::Left:
        return QStringLiteral("Ctrl+3");
    case PovNamedView::Right:
        return QStringLiteral("3");
    case PovNamedView::Top:
        return QStringLiteral("7");
    case PovNamedView::Bottom:
        return QStringLiteral("Ctrl+7");
    case PovNamedView::ThreeQuarter:
        break;
    }
    return QStringLiteral("0");
}

} // namespace

void MainWindow::setUpViews()
{
    // View > Views, after Reset Camera.
    QMenu* views = new QMenu(QStringLiteral("Views"), this);
    views->setObjectName(QStringLiteral("menuViews"));
    for (PovNamedView view : namedViews()) {
        QAction* action = views->addAction(namedViewTitle(view));
        action->setObjectName(QStringLiteral("actionView_") +
                              namedViewTitle(view).replace(QLatin1Char('-'), QLatin1Char('_')));
        action->setShortcut(QKeySequence(viewKeys(view)));
        action->setStatusTip(QStringLiteral("%1 view, the scene fitted").arg(namedViewTitle(view)));
        connect(action, &QAction::triggered, this, [this, view]() { viewer->showView(view); });
    }
    const QList<QAction*> entries = ui.menuView->actions();
    const int reset = int(entries.indexOf(ui.actionReset_Camera));
    ui.menuView->insertMenu(entries.value(reset + 1), views);
}
