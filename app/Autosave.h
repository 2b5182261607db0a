#pragma once
// Autosave: keeps a recovery copy of a window's unsaved work. While the
// window has unsaved changes, its scene is written every `autosaveSeconds`
// seconds (a QSettings value, default 60; 0 turns autosaving off) as a
// scene document in the recovery folder, one file per window, replaced
// atomically each time. The file goes when the work is saved, discarded or
// the window closes normally, so only a crash, a killed process or a power
// cut leaves one behind; the next start offers to restore it
// (offerRecovery). A live window holds a lock beside its file, so a second
// Kelvane running at the same time never offers the first one's work.
//
// A recovery document is an ordinary scene document (naming the model file
// by its absolute path) with a "recovery" object that the document reader
// ignores: "title" (the name the window showed), "from" (the document or
// model file the work came from) and "saved" (the time, ISO 8601).

#include <QDateTime>
#include <QVector>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QLockFile;
class MainWindow;

class Autosave : public QObject {
    Q_OBJECT
public:
    // `snapshot` gives the window's scene as a document for a recovery file
    // of the given name; `modified` says whether there is unsaved work.
    Autosave(std::function<QByteArray(const QString& recoveryFile)> snapshot,
             std::function<bool()> modified, QObject* parent = nullptr);
    // Removes the recovery file: the window is closing normally.
    ~Autosave() override;

    // The folder of the recovery documents: "kelvane/recovery" in the
    // user's state folder ($XDG_STATE_HOME, by default ~/.local/state).
    static QString folder();
    // The interval from the settings, in seconds; 0: autosaving is off.
    static int intervalSeconds();

    // The window's unsaved state changed: starts the timer for unsaved
    // work, removes the recovery file when there is none.
    void update(const QString& title, const QString& from);
    // Writes the recovery file now (when there is unsaved work).
    bool saveNow();
    // Removes the recovery file (Save, Discard, a normal close).
    void remove();
    // This window's recovery file (it may not exist yet).
    const QString& fileName() const { return file; }

private:
    std::function<QByteArray(const QString&)> snapshot;
    std::function<bool()> modified;
    QTimer timer;
    QString file;
    std::unique_ptr<QLockFile> lock;
    QString title, from;
};

// A recovery document left by a window that did not close normally.
struct RecoveryDocument {
    QString file;     // the recovery document
    QString title;    // what the window showed
    QString from;     // the document or model file the work came from
    QDateTime saved;  // when it was written
    QString problem;  // why it cannot be restored; empty when it can
};

// The recovery documents no running window holds, oldest first.
QVector<RecoveryDocument> leftRecoveryDocuments();

// At start: offers each left recovery document in a question (named
// "recoveryBox") giving its title, time and origin. Yes restores it into
// `window` (the first one, when the window has no scene) or a new window,
// showing as unsaved; No removes it. A document that cannot be read or
// restored is reported (a box named "recoveryErrorBox", or the window's
// own load error) and removed, so it is offered no more.
void offerRecovery(MainWindow* window);
