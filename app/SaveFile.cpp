#include "app/SaveFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

#include <sys/stat.h>

bool saveBytes(const QString& fileName, const QByteArray& bytes, QString* error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    file.close();
    return true;
}

bool saveImageFile(const QImage& image, const QString& fileName, QString* error)
{
    // Encoded in memory first: the writer does not report a failed flush.
    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    QImageWriter writer(&encoded, QFileInfo(fileName).suffix().toLower().toLatin1());
    if (!writer.write(image)) {
        if (error) {
            *error = writer.errorString();
        }
        return false;
    }
    return saveBytes(fileName, encoded.data(), error);
}

QString refusedOutput(const QString& fileName, const QStringList& read)
{
    const QByteArray name = QFile::encodeName(fileName);
    struct stat out;
    if (lstat(name.constData(), &out) != 0) {
        return QString(); // a new file
    }
    if (S_ISLNK(out.st_mode)) {
        return QStringLiteral("it is a symbolic link (Kelvane does not write through links)");
    }
    if (S_ISDIR(out.st_mode)) {
        return QStringLiteral("it is a folder");
    }
    if (S_ISFIFO(out.st_mode)) {
        return QStringLiteral("it is a named pipe (FIFO), not a regular file");
    }
    if (S_ISCHR(out.st_mode) || S_ISBLK(out.st_mode)) {
        return QStringLiteral("it is a device, not a regular file");
    }
    if (!S_ISREG(out.st_mode)) {
        return QStringLiteral("it is not a regular file");
    }
    // The same file under any name (a hard link included).
    for (const QString& input : read) {
        struct stat in;
        if (stat(QFile::encodeName(input).constData(), &in) == 0 && in.st_dev == out.st_dev &&
            in.st_ino == out.st_ino) {
            return QStringLiteral("it is '%1', which this run reads").arg(input);
        }
    }
    return QString();
}
