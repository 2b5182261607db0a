#pragma once
// Writing the user's files so that every failure is seen: the open, each
// write and the final flush are checked (a full disk shows only there). A
// plain file is written beside its old self and renamed over it only when
// complete, so a failure or a crash never leaves a half-written file in
// place of a good one; a device (such as /dev/stdout) is written in place.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;
class QImage;

// Writes the bytes to the file, replacing it. False, with the system's
// reason in `error`, when any step fails.
bool saveBytes(const QString& fileName, const QByteArray& bytes, QString* error);

// The same for text made in parts: `write` is handed the open file and
// writes to it with writeWhole(), returning false at the first failure.
bool saveWith(const QString& fileName, const std::function<bool(QIODevice&)>& write,
              QString* error);

// Writes all n bytes, going on after a short write, so the write that fails
// leaves its own reason in the device's errorString().
bool writeWhole(QIODevice& device, const char* bytes, qint64 n);

// Writes the image in the format the name's suffix gives (".bmp", ".png",
// ...). False, with the reason in `error`, for an unknown format or a file
// that cannot be written.
bool saveImageFile(const QImage& image, const QString& fileName, QString* error);

// Why the command line will not write the file `fileName`, or an empty
// string when it may: it writes only regular files or new names, never
// through a symbolic link, onto a folder, a named pipe or a device, nor onto
// one of the files `read` (the scene and the files it was read from).
QString refusedOutput(const QString& fileName, const QStringList& read);
