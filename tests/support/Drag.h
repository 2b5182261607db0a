#pragma once
// A left-button drag on a widget, sent as the events a mouse makes (a
// press, `moves` moves of `step` pixels each, a release), so that no
// double-click is made of two drags in a row.

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

inline void dragLeft(QWidget* target, QPoint from, QPoint step, int moves)
{
    QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    for (int i = 1; i <= moves; ++i) {
        QMouseEvent move(QEvent::MouseMove, from + step * i, Qt::LeftButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(target, &move);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, from + step * moves, Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}
