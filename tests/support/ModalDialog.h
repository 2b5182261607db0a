#pragma once
// Answers the next modal dialog in a GUI test. The answer waits until the
// dialog runs its own event loop: a dialog answered while it is still being
// shown (showing can process events) would be hidden before its loop starts,
// and that loop would then wait for ever.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <type_traits>

// Calls `answer(dialog)` for the next visible modal dialog of type T, trying
// every 10 ms for about thirty seconds (a loaded machine can take seconds to
// show it). An `answer` that returns bool may
// decline a dialog (false) to wait for the next one.
template <class T, class F>
void answerModal(F answer, int level = QThread::currentThread()->loopLevel(), int tries = 3000)
{
    QTimer::singleShot(tries == 3000 ? 0 : 10, [answer, level, tries]() {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || QThread::currentThread()->loopLevel() <= level) {
            if (tries > 0) {
                answerModal<T>(answer, level, tries - 1);
            }
            return;
        }
        if constexpr (std::is_same_v<decltype(answer(dialog)), bool>) {
            if (!answer(dialog) && tries > 0) {
                answerModal<T>(answer, level, tries - 1);
            }
        } else {
            answer(dialog);
        }
    });
}

// Answers the next modal message box with `button`; `text` gets its title
// and text as "title|text".
inline void answerMessageBox(QMessageBox::StandardButton button, QString* text = nullptr)
{
    answerModal<QMessageBox>([button, text](QMessageBox* box) {
        if (text) {
            *text = box->windowTitle() + "|" + box->text();
        }
        box->button(button)->click();
    });
}
