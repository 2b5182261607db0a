#pragma once
// Compares a whole generated text against a golden file kept with the test
// data. On a difference it names the first differing line, shows both
// versions of it, and writes the actual text into the test's working folder
// (as "<golden name>.actual"), never into the sources, so the two can be
// compared whole or the golden file replaced after a deliberate change.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

// Empty when `actual` equals the golden file's bytes; otherwise what
// differs, as a message for the test's failure.
inline QString goldenDifference(const QByteArray& actual, const QString& goldenPath)
{
    QFile golden(goldenPath);
    if (!golden.open(QIODevice::ReadOnly)) {
        return QStringLiteral("golden file '%1' cannot be read").arg(goldenPath);
    }
    const QByteArray expected = golden.readAll();
    const QString actualPath =
        QDir::current().filePath(QFileInfo(goldenPath).fileName() + QStringLiteral(".actual"));
    if (actual == expected) {
        QFile::remove(actualPath);
        return QString();
    }
    QFile out(actualPath);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        out.write(actual);
    }
    const QList<QByteArray> want = expected.split('\n');
    const QList<QByteArray> got = actual.split('\n');
    int line = 0;
    while (line < want.size() && line < got.size() && want[line] == got[line]) {
        ++line;
    }
    auto shown = [](const QList<QByteArray>& lines, int i) {
        return i < lines.size() ? QString::fromLatin1(lines[i]).replace('\t', "\\t")
                                : QStringLiteral("(end of text)");
    };
    return QStringLiteral("differs from '%1' at line %2:\n  expected: %3\n  actual:   %4\n"
                          "(actual text written to '%5')")
        .arg(goldenPath)
        .arg(line + 1)
        .arg(shown(want, line), shown(got, line), actualPath);
}
