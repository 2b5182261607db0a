#include "scene/PovBand.h"

#include "scene/PovRenderSettings.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cstring>
#include <map>

namespace {

const char* const bandKey = "Kelvane band";
const char* const rowsKey = "Kelvane rows";
const char* const pictureKey = "Kelvane picture";
const char* const sceneKey = "Kelvane scene";
const char* const sourceKey = "Kelvane source";
const char* const settingsKey = "Kelvane settings";

// "a<sep>b" as two whole numbers.
bool readPair(const QString& text, QChar separator, int& a, int& b)
{
    const QStringList parts = text.split(separator);
    bool okA = false, okB = false;
    if (parts.size() == 2) {
        a = parts[0].toInt(&okA);
        b = parts[1].toInt(&okB);
    }
    return okA && okB;
}

QString rowsText(const PovBandRows& rows)
{
    return QStringLiteral("rows %1 to %2").arg(rows.first).arg(rows.last);
}

} // namespace

int maxBands(int height) { return (height + povBlockRows - 1) / povBlockRows; }

PovBandRows bandRows(int band, int bands, int height)
{
    const long long blocks = maxBands(height);
    PovBandRows rows;
    rows.first = int((band - 1) * blocks / bands) * povBlockRows + 1;
    rows.last = std::min(int(band * blocks / bands) * povBlockRows, height);
    return rows;
}

bool parseBand(const QString& text, int height, int& band, int& bands, QString* error)
{
    int i = 0, n = 0;
    if (!readPair(text, QLatin1Char('/'), i, n) || i < 1 || n < 1 || i > n) {
        if (error) {
            *error =
                QStringLiteral("--band takes I/N, band I of N counted from 1, not '%1'").arg(text);
        }
        return false;
    }
    if (n > maxBands(height)) {
        if (error) {
            *error =
                QStringLiteral("a picture %1 rows high makes at most %2 bands (POV-Ray renders "
                               "rows in blocks of %3), not %4")
                    .arg(height)
                    .arg(maxBands(height))
                    .arg(povBlockRows)
                    .arg(n);
        }
        return false;
    }
    band = i;
    bands = n;
    return true;
}

QByteArray bandIniText(const PovBandRows& rows, int height)
{
    QByteArray text;
    if (rows.first > 1) {
        text += "+SR" + QByteArray::number(rows.first) + "\n";
    }
    if (rows.last < height) {
        text += "+ER" + QByteArray::number(rows.last) + "\n";
    }
    return text;
}

void PovBandInfo::writeTo(QImage& image) const
{
    image.setText(QLatin1String(bandKey), QStringLiteral("%1/%2").arg(band).arg(bands));
    image.setText(QLatin1String(rowsKey), QStringLiteral("%1-%2").arg(rows.first).arg(rows.last));
    image.setText(QLatin1String(pictureKey),
                  QStringLiteral("%1x%2").arg(picture.width()).arg(picture.height()));
    image.setText(QLatin1String(sceneKey), scene);
    image.setText(QLatin1String(sourceKey), source);
    image.setText(QLatin1String(settingsKey), settings);
}

bool PovBandInfo::readFrom(const QImage& image, PovBandInfo& info, QString* error)
{
    PovBandInfo read;
    int w = 0, h = 0;
    QString problem;
    if (image.text(QLatin1String(bandKey)).isEmpty()) {
        problem = QStringLiteral("it is not a band (it carries no band information)");
    } else if (!readPair(image.text(QLatin1String(bandKey)), QLatin1Char('/'), read.band,
                         read.bands) ||
               !readPair(image.text(QLatin1String(rowsKey)), QLatin1Char('-'), read.rows.first,
                         read.rows.last) ||
               !readPair(image.text(QLatin1String(pictureKey)), QLatin1Char('x'), w, h)) {
        problem = QStringLiteral("its band information is damaged");
    } else {
        read.picture = QSize(w, h);
        read.scene = image.text(QLatin1String(sceneKey));
        read.source = image.text(QLatin1String(sourceKey));
        read.settings = image.text(QLatin1String(settingsKey));
        const bool sane = w >= 1 && h >= 1 && w <= PovRenderSettings::maxSide &&
                          h <= PovRenderSettings::maxSide && read.bands >= 1 &&
                          read.bands <= maxBands(h) && read.band >= 1 && read.band <= read.bands &&
                          !read.scene.isEmpty();
        if (!sane) {
            problem = QStringLiteral("its band information is damaged");
        } else {
            const PovBandRows expected = bandRows(read.band, read.bands, h);
            if (expected.first != read.rows.first || expected.last != read.rows.last ||
                image.width() != w || image.height() != expected.count()) {
                problem = QStringLiteral("its picture does not match band %1 of %2 (%3 of a "
                                         "%4x%5 picture)")
                              .arg(read.band)
                              .arg(read.bands)
                              .arg(rowsText(expected))
                              .arg(w)
                              .arg(h);
            }
        }
    }
    if (!problem.isEmpty()) {
        if (error) {
            *error = problem;
        }
        return false;
    }
    info = read;
    return true;
}

bool pngChunksFit(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.read(8) != QByteArray("\x89PNG\r\n\x1a\n", 8)) {
        return true;
    }
    const qint64 size = file.size();
    qint64 at = 8;
    while (at < size) {
        const QByteArray head = file.read(8);
        if (head.size() != 8) {
            return false;
        }
        const quint32 length = (quint32(uchar(head[0])) << 24) | (quint32(uchar(head[1])) << 16) |
                               (quint32(uchar(head[2])) << 8) | quint32(uchar(head[3]));
        at += 8;
        if (qint64(length) + 4 > size - at) {
            return false;
        }
        if (head.mid(4) == "IEND") {
            return true;
        }
        at += qint64(length) + 4;
        if (!file.seek(at)) {
            return false;
        }
    }
    return false;
}

QString fileDigest(const QString& fileName)
{
    QFile file(fileName);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        return QString();
    }
    return QString::fromLatin1(hash.result().toHex());
}

QImage cutBand(const QImage& rendered, const PovBandInfo& info)
{
    if (rendered.size() != info.picture) {
        return QImage();
    }
    QImage band = rendered.copy(0, info.rows.first - 1, info.picture.width(), info.rows.count())
                      .convertToFormat(QImage::Format_RGB32);
    if (band.isNull()) {
        return QImage(); // out of memory
    }
    info.writeTo(band);
    return band;
}

QImage mergeBands(const QStringList& files, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error) {
            *error = why;
        }
        return QImage();
    };
    if (files.isEmpty()) {
        return fail(QStringLiteral("no bands given"));
    }
    struct Part {
        QString file;
        QImage image;
        PovBandInfo info;
    };
    std::map<int, Part> parts; // by band number
    PovBandInfo first;
    QString firstFile;
    for (const QString& file : files) {
        // Only a plain file: opening a named pipe or a device could wait
        // forever.
        const QFileInfo fileInfo(file);
        if (fileInfo.exists() && !fileInfo.isFile()) {
            return fail(QStringLiteral("'%1' is not a band: it is not a regular file").arg(file));
        }
        if (!pngChunksFit(file)) {
            return fail(QStringLiteral("'%1' is not a band: its PNG data is damaged").arg(file));
        }
        QImageReader reader(file);
        const QSize size = reader.size();
        if (reader.format() != "png") {
            return fail(QStringLiteral("'%1' is not a band: bands are PNG files%2")
                            .arg(file, QFileInfo::exists(file)
                                           ? QString()
                                           : QStringLiteral(" (no such file)")));
        }
        if (!size.isValid() || size.width() > PovRenderSettings::maxSide ||
            size.height() > PovRenderSettings::maxSide) {
            return fail(QStringLiteral("'%1' is not a band: its picture size is unreadable or "
                                       "larger than %2x%2")
                            .arg(file)
                            .arg(PovRenderSettings::maxSide));
        }
        Part part;
        part.file = file;
        part.image = reader.read();
        if (part.image.isNull()) {
            return fail(
                QStringLiteral("cannot read the band '%1': %2").arg(file, reader.errorString()));
        }
        QString why;
        if (!PovBandInfo::readFrom(part.image, part.info, &why)) {
            return fail(QStringLiteral("'%1' cannot be merged: %2").arg(file, why));
        }
        const PovBandInfo& info = part.info;
        if (firstFile.isEmpty()) {
            first = info;
            firstFile = file;
        } else {
            QString differs;
            if (info.scene != first.scene) {
                differs = QStringLiteral("it shows another scene (%1, not %2)")
                              .arg(info.source, first.source);
                if (info.source == first.source) {
                    differs = QStringLiteral("it was rendered from a different scene description "
                                             "(another version of %1, or another camera, lights "
                                             "or materials)")
                                  .arg(info.source);
                }
            } else if (info.picture != first.picture) {
                differs = QStringLiteral("it is a band of a %1x%2 picture, not %3x%4")
                              .arg(info.picture.width())
                              .arg(info.picture.height())
                              .arg(first.picture.width())
                              .arg(first.picture.height());
            } else if (info.settings != first.settings) {
                differs = QStringLiteral("it was rendered with other settings (%1, not %2)")
                              .arg(info.settings, first.settings);
            } else if (info.bands != first.bands) {
                differs = QStringLiteral("it is one of %1 bands, not %2")
                              .arg(info.bands)
                              .arg(first.bands);
            }
            if (!differs.isEmpty()) {
                return fail(QStringLiteral("'%1' does not belong with '%2': %3")
                                .arg(file, firstFile, differs));
            }
        }
        const auto same = parts.find(info.band);
        if (same != parts.end()) {
            return fail(QStringLiteral("band %1 of %2 is given twice: '%3' and '%4'")
                            .arg(info.band)
                            .arg(info.bands)
                            .arg(same->second.file, file));
        }
        parts.emplace(info.band, std::move(part));
    }
    QStringList missing, options;
    for (int band = 1; band <= first.bands; ++band) {
        if (parts.find(band) == parts.end()) {
            missing << QStringLiteral("%1 (%2)").arg(band).arg(
                rowsText(bandRows(band, first.bands, first.picture.height())));
            options << QStringLiteral("--band %1/%2").arg(band).arg(first.bands);
        }
    }
    if (!missing.isEmpty()) {
        const bool one = missing.size() == 1;
        return fail(QStringLiteral("%1 %2 of %3 %4 missing: render %5 with %6 and merge again")
                        .arg(one ? QStringLiteral("band") : QStringLiteral("bands"),
                             missing.join(QStringLiteral(", ")))
                        .arg(first.bands)
                        .arg(one ? QStringLiteral("is") : QStringLiteral("are"),
                             one ? QStringLiteral("it") : QStringLiteral("them"),
                             options.join(QStringLiteral(", "))));
    }
    // Every image is checked: one the memory cannot hold comes back empty,
    // and merging it would leave its rows black.
    auto outOfMemory = [&](const QString& what) {
        return fail(QStringLiteral("there is not enough memory for %1 (%2x%3 pixels)")
                        .arg(what)
                        .arg(first.picture.width())
                        .arg(first.picture.height()));
    };
    QImage picture(first.picture, QImage::Format_RGB32);
    if (picture.isNull()) {
        return outOfMemory(QStringLiteral("the picture"));
    }
    for (auto& entry : parts) {
        const QImage band = entry.second.image.convertToFormat(QImage::Format_RGB32);
        entry.second.image = QImage(); // its memory is needed no more
        if (band.isNull() || band.width() != picture.width() ||
            band.height() != entry.second.info.rows.count()) {
            return outOfMemory(QStringLiteral("band %1 of the picture").arg(entry.first));
        }
        const int top = entry.second.info.rows.first - 1;
        for (int y = 0; y < band.height(); ++y) {
            std::memcpy(picture.scanLine(top + y), band.constScanLine(y),
                        size_t(picture.width()) * 4);
        }
    }
    return picture;
}
