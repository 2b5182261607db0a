#include "app/Autosave.h"

#include "app/MainWindow.h"
#include "scene/SaveFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>

namespace {

const char* const recoveryKey = "recovery";

QString lockName(const QString& file) { return file + QStringLiteral(".lock"); }

} // namespace

Autosave::Autosave(std::function<QByteArray(const QString&)> snapshot,
                   std::function<bool()> modified, QObject* parent)
    : QObject(parent), snapshot(std::move(snapshot)), modified(std::move(modified))
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, [this]() {
        saveNow();
        // On again while the work stays unsaved.
        update(title, from);
    });
}

Autosave::~Autosave() { remove(); }

QString Autosave::folder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty()) {
        state = QStandardPaths::writableLocation(QStandardPaths::HomeLocation) +
                QStringLiteral("/.local/state");
    }
    return state + QStringLiteral("/kelvane/recovery");
}

int Autosave::intervalSeconds()
{
    bool ok = false;
    const int seconds = QSettings().value(QStringLiteral("autosaveSeconds"), 60).toInt(&ok);
    return ok ? std::max(seconds, 0) : 60;
}

void Autosave::update(const QString& shownTitle, const QString& origin)
{
    title = shownTitle;
    from = origin;
    if (!modified()) {
        timer.stop();
        remove();
        return;
    }
    const int seconds = intervalSeconds();
    if (seconds > 0 && !timer.isActive()) {
        timer.start(seconds * 1000);
    }
}

bool Autosave::saveNow()
{
    if (!modified()) {
        return false;
    }
    if (file.isEmpty()) {
        if (!QDir().mkpath(folder())) {
            return false;
        }
        file = QDir(folder()).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) +
                                       QStringLiteral(".kelvane"));
        // Held while the window lives, so no other Kelvane offers this work.
        lock = std::make_unique<QLockFile>(lockName(file));
        if (!lock->tryLock(0)) {
            lock.reset();
            file.clear();
            return false;
        }
    }
    QJsonObject document = QJsonDocument::fromJson(snapshot(file)).object();
    if (document.isEmpty()) {
        return false;
    }
    document.insert(QLatin1String(recoveryKey),
                    QJsonObject{{QStringLiteral("title"), title},
                                {QStringLiteral("from"), from},
                                {QStringLiteral("saved"),
                                 QDateTime::currentDateTime().toString(Qt::ISODate)}});
    return saveBytes(file, QJsonDocument(document).toJson(), nullptr);
}

void Autosave::remove()
{
    timer.stop();
    if (file.isEmpty()) {
        return;
    }
    QFile::remove(file);
    lock.reset(); // unlocks and removes the lock file
    file.clear();
}

QVector<RecoveryDocument> leftRecoveryDocuments()
{
    QVector<RecoveryDocument> left;
    const QDir dir(Autosave::folder());
    for (const QString& name : dir.entryList({QStringLiteral("*.kelvane")}, QDir::Files)) {
        RecoveryDocument d;
        d.file = dir.filePath(name);
        // A lock a live window holds; one a dead process left is taken over.
        QLockFile lock(lockName(d.file));
        if (!lock.tryLock(0)) {
            continue;
        }
        QFile file(d.file);
        QJsonParseError error;
        const QJsonDocument json = file.open(QIODevice::ReadOnly)
                                       ? QJsonDocument::fromJson(file.read(64 << 20), &error)
                                       : QJsonDocument();
        const QJsonObject info = json.object().value(QLatin1String(recoveryKey)).toObject();
        d.title = info.value(QStringLiteral("title")).toString();
        d.from = info.value(QStringLiteral("from")).toString();
        d.saved = QDateTime::fromString(info.value(QStringLiteral("saved")).toString(), Qt::ISODate);
        if (!json.isObject()) {
            d.problem = QStringLiteral("it is not a readable scene document (%1)")
                            .arg(file.isOpen() ? error.errorString() : file.errorString());
        } else if (d.title.isEmpty() || !d.saved.isValid()) {
            d.problem = QStringLiteral("it does not say what it was saved from");
        }
        left.append(d);
    }
    std::sort(left.begin(), left.end(), [](const RecoveryDocument& a, const RecoveryDocument& b) {
        return a.saved < b.saved;
    });
    return left;
}

namespace {

void reportUnrestorable(QWidget* parent, const RecoveryDocument& d, const QString& why)
{
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Recover Unsaved Work"),
                                QStringLiteral("Unsaved work left by Kelvane could not be "
                                               "restored and was removed."),
                                QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("recoveryErrorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    QString reason = why;
    if (!reason.isEmpty()) {
        reason[0] = reason[0].toUpper();
    }
    box->setInformativeText(QStringLiteral("\"%1\": %2.")
                                .arg(d.title.isEmpty() ? QFileInfo(d.file).fileName() : d.title,
                                     reason));
    box->exec();
}

} // namespace

void offerRecovery(MainWindow* window)
{
    for (const RecoveryDocument& d : leftRecoveryDocuments()) {
        if (!d.problem.isEmpty()) {
            QFile::remove(d.file);
            reportUnrestorable(window, d, d.problem);
            continue;
        }
        QMessageBox box(QMessageBox::Question, QStringLiteral("Recover Unsaved Work"),
                        QStringLiteral("Kelvane stopped before \"%1\" was saved.").arg(d.title),
                        QMessageBox::Yes | QMessageBox::No, window);
        box.setObjectName(QStringLiteral("recoveryBox"));
        box.setInformativeText(
            QStringLiteral("The work was autosaved at %1 (from \"%2\"). Restore it?")
                .arg(QLocale().toString(d.saved, QLocale::ShortFormat), d.from));
        box.setDefaultButton(QMessageBox::Yes);
        if (box.exec() != QMessageBox::Yes) {
            QFile::remove(d.file);
            continue;
        }
        MainWindow* target = window;
        if (window->hasScene()) {
            target = new MainWindow;
            target->setAttribute(Qt::WA_DeleteOnClose);
            target->resize(window->size());
            target->show();
        }
        // A document that cannot be opened is reported by its window as any
        // other, with the reason; it is not offered again.
        target->restoreRecovery(d.file, d.title, d.from);
        QFile::remove(d.file);
    }
}
