// libFuzzer target: the band merge reads PNG files rendered on other
// machines, with their placement as PNG text. On arbitrary bytes it must
// never crash or touch memory out of bounds; a refusal names its reason,
// and a merged picture has the size its bands claim.

#include "scene/PovBand.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>

namespace {

QTemporaryDir* folder = nullptr;

void dropMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(dropMessages);
    folder = new QTemporaryDir;
    return folder->isValid() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    // Only PNG files are bands; anything else is refused on its format,
    // which Qt's other image plugins (not this code) would decide.
    if (!bytes.startsWith("\x89PNG\r\n\x1a\n")) {
        return 0;
    }
    const QString name = folder->filePath(QStringLiteral("band.png"));
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::abort();
    }
    file.close();
    // The merge checks the chunks before Qt's reader sees them; the image
    // is read here only when they pass.
    QString error;
    if (!pngChunksFit(name)) {
        if (mergeBands({name}, &error).isNull() && error.endsWith("its PNG data is damaged")) {
            return 0;
        }
        std::abort();
    }
    // A header may claim a picture of up to 16384 x 16384, which the merge
    // accepts and Qt then allocates: a bounded, legitimate allocation that
    // only slows the run (each input is decoded three times), so such
    // inputs are passed over.
    const QSize claimed = QImageReader(name, "png").size();
    if (qint64(claimed.width()) * claimed.height() > 512LL * 512LL) {
        return 0;
    }

    PovBandInfo info;
    const QImage image = QImage::fromData(bytes, "PNG");
    if (!PovBandInfo::readFrom(image, info, &error) && error.isEmpty()) {
        std::abort();
    }
    // Alone, and given twice (the same band named two times).
    for (const QStringList& files : {QStringList{name}, QStringList{name, name}}) {
        error.clear();
        const QImage merged = mergeBands(files, &error);
        if (merged.isNull()) {
            if (error.isEmpty()) {
                std::abort();
            }
        } else if (!PovBandInfo::readFrom(image, info) || merged.size() != info.picture) {
            std::abort();
        }
    }
    return 0;
}
