#pragma once
// The POV-Ray processes this process has started and not yet reaped, read
// from /proc: a render that was cancelled must leave none. Also a scene
// that keeps POV-Ray busy, and the skip of a test case that needs POV-Ray
// where it is not installed.

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

// "pid:state" for each child of this process whose command is povray,
// zombies included (a child killed but never waited for).
inline QStringList povrayChildren()
{
    QStringList found;
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString pid = QFileInfo(it.next()).fileName();
        QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (comm) state ppid ..."
        const QByteArray stat = file.readAll();
        const int close = stat.lastIndexOf(')');
        const QList<QByteArray> rest = stat.mid(close + 2).split(' ');
        if (close > 0 && rest.size() > 1 && rest[1] == self && stat.contains("(povray)")) {
            found << pid + ":" + QString::fromLatin1(rest[0]);
        }
    }
    return found;
}

// A scene whose parse runs for minutes: a long loop in the language.
const char* const slowScene = "#declare I = 0;\n"
                              "#while (I < 1000000000)\n#declare I = I + 1;\n#end\n"
                              "camera { location <0, 0, 5> look_at <0, 0, 0> }\n";

#define SKIP_WITHOUT_POVRAY()                                                                      \
    if (QStandardPaths::findExecutable("povray").isEmpty()) {                                      \
        QSKIP("POV-Ray is not installed (Debian packages povray and povray-includes)");            \
    }
