#include "app/CommandLineJobs.h"

#include "scene/SaveFile.h"
#include "scene/PovBand.h"

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>

// Assembles the bands into one picture, written only when every band is
// there and they all belong together; an existing file is replaced whole
// or not at all.
int runMerge(const CommandLineOptions& options)
{
    const QString refused = refusedOutput(options.mergeImage, options.mergeParts);
    if (!refused.isEmpty()) {
        say(QStringLiteral("will not write '%1': %2").arg(options.mergeImage, refused));
        return 1;
    }
    QString error;
    const QImage picture = mergeBands(options.mergeParts, &error);
    if (picture.isNull()) {
        say(QStringLiteral("nothing merged: %1").arg(error));
        return 1;
    }
    QSaveFile file(options.mergeImage);
    QImageWriter writer(&file, QFileInfo(options.mergeImage).suffix().toLower().toLatin1());
    if (!file.open(QIODevice::WriteOnly) || !writer.write(picture) || !file.commit()) {
        say(QStringLiteral("cannot write the image '%1': %2")
                .arg(options.mergeImage, writer.error() != QImageWriter::UnknownError
                                             ? writer.errorString()
                                             : file.errorString()));
        return 1;
    }
    return 0;
}
