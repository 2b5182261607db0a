#include "scene/SaveFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

#include <sys/stat.h>

bool writeWhole(QIODevice& device, const char* bytes, qint64 n)
{
    for (qint64 done = 0; done < n;) {
        const qint64 written = device.write(bytes + done, n - done);
        if (written <= 0) {
            return false;
        }
        done += written;
    }
    return true;
}

bool saveWith(const QString& fileName, const std::function<bool(QIODevice&)>& write,
              QString* error)
{
    const QFileInfo info(fileName);
    if (info.exists() && !QFileInfo(info.canonicalFilePath()).isFile()) {
        // Written in place: a device or pipe the user named (a rename would
        // put a plain file where the device was).
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) ||
            !write(file)) {
            if (error) {
                *error = file.errorString();
            }
            return false;
        }
        file.close();
        return true;
    }
    // A new file beside the old one, put in its place only once every byte
    // is on disk: a full disk or a crash leaves the old file as it was.
    // Unbuffered, so the write that fails reports its own reason.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !write(file) ||
        !file.commit()) {
        if (error) {
            *error = file.errorString();
        }
        file.cancelWriting();
        return false;
    }
    return true;
}

bool saveBytes(const QString& fileName, const QByteArray& bytes, QString* error)
{
    return saveWith(
        fileName,
        [&bytes](QIODevice& file) { return writeWhole(file, bytes.constData(), bytes.size()); },
        error);
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
