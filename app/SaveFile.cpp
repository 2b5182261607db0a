#include "app/SaveFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

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
