#include "app/CommandLineJobs.h"

#include "scene/PovBand.h"

#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

PovBandInfo bandOfRender(const CommandLineOptions& options, const QJsonObject& settings)
{
    PovBandInfo band;
    if (options.bands > 0) {
        band.band = options.band;
        band.bands = options.bands;
        band.rows = bandRows(options.band, options.bands, options.size.height());
        band.picture = options.size;
        band.scene = fileDigest(QStringLiteral("tempscene.pov"));
        band.source = QFileInfo(options.scene).fileName();
        band.settings = QString::fromUtf8(QJsonDocument(settings).toJson(QJsonDocument::Compact));
    }
    return band;
}

QByteArray extraIniLines(const CommandLineOptions& options, const PovBandInfo& band)
{
    QByteArray more;
    if (options.bands > 0) {
        more += bandIniText(band.rows, options.size.height());
    }
    if (options.threads > 0) {
        more += "+WT" + QByteArray::number(options.threads) + "\n";
    }
    return more;
}

bool saveBand(const QImage& picture, const PovBandInfo& band, const CommandLineOptions& options,
              const QString& imageFile)
{
    const QImage cut = cutBand(picture, band);
    if (cut.isNull() && picture.size() == options.size) {
        say(QStringLiteral("there is not enough memory to cut the band from the picture"));
        return false;
    }
    if (cut.isNull()) {
        say(QStringLiteral("POV-Ray's picture is %1x%2, not the %3x%4 asked for")
                .arg(picture.width())
                .arg(picture.height())
                .arg(options.size.width())
                .arg(options.size.height()));
        return false;
    }
    return saveImage(cut, imageFile);
}
