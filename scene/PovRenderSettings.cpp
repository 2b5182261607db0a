#include "scene/PovRenderSettings.h"

#include "scene/PovNumber.h"
#include "scene/SaveFile.h"

#include <QJsonValue>

#include <cmath>

QString meshFormName(PovMeshForm form)
{
    switch (form) {
    case PovMeshForm::Triangles:
        return QStringLiteral("triangles");
    case PovMeshForm::Mesh2:
        return QStringLiteral("mesh2");
    case PovMeshForm::Auto:
        break;
    }
    return QStringLiteral("auto");
}

bool parseMeshForm(const QString& name, PovMeshForm& form)
{
    for (PovMeshForm candidate : {PovMeshForm::Auto, PovMeshForm::Triangles, PovMeshForm::Mesh2}) {
        if (name == meshFormName(candidate)) {
            form = candidate;
            return true;
        }
    }
    return false;
}

PovMeshForm resolveMeshForm(PovMeshForm form, long long triangles)
{
    if (form != PovMeshForm::Auto) {
        return form;
    }
    return triangles > autoMeshFormLimit ? PovMeshForm::Mesh2 : PovMeshForm::Triangles;
}

QString detailName(PovDetail detail)
{
    return detail == PovDetail::Full ? QStringLiteral("full") : QStringLiteral("auto");
}

bool parseDetail(const QString& name, PovDetail& detail)
{
    for (PovDetail candidate : {PovDetail::Auto, PovDetail::Full}) {
        if (name == detailName(candidate)) {
            detail = candidate;
            return true;
        }
    }
    return false;
}

QString qualityName(PovQuality quality)
{
    return quality == PovQuality::Photo ? QStringLiteral("photo") : QStringLiteral("draft");
}

bool parseQuality(const QString& name, PovQuality& quality)
{
    for (PovQuality candidate : {PovQuality::Draft, PovQuality::Photo}) {
        if (name == qualityName(candidate)) {
            quality = candidate;
            return true;
        }
    }
    return false;
}

QString backgroundKindName(PovBackgroundKind kind)
{
    switch (kind) {
    case PovBackgroundKind::Colour:
        return QStringLiteral("colour");
    case PovBackgroundKind::Sky:
        return QStringLiteral("sky");
    case PovBackgroundKind::Transparent:
        return QStringLiteral("transparent");
    case PovBackgroundKind::Black:
        break;
    }
    return QStringLiteral("black");
}

bool parseBackgroundKind(const QString& name, PovBackgroundKind& kind)
{
    for (PovBackgroundKind candidate : {PovBackgroundKind::Black, PovBackgroundKind::Colour,
                                        PovBackgroundKind::Sky, PovBackgroundKind::Transparent}) {
        if (name == backgroundKindName(candidate)) {
            kind = candidate;
            return true;
        }
    }
    return false;
}

double srgbToLinear(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

QColor PovRenderSettings::viewBackground() const
{
    switch (background) {
    case PovBackgroundKind::Colour:
        return backgroundColour;
    case PovBackgroundKind::Sky:
        return skyHorizon();
    case PovBackgroundKind::Black:
    case PovBackgroundKind::Transparent:
        break;
    }
    return QColor(0, 0, 0);
}

QSize PovRenderSettings::pictureSize(const QSize& viewSize) const
{
    return useViewSize ? viewSize : size;
}

QByteArray PovRenderSettings::iniText(const QSize& viewSize) const
{
    const QSize picture = pictureSize(viewSize);
    QByteArray text =
        QStringLiteral("+W%1 +H%2\n").arg(picture.width()).arg(picture.height()).toLatin1();
    if (antialiasOn()) {
        // POV-Ray takes "+A0" for a switch it cannot parse: a whole number
        // gets its decimal point.
        QString threshold = povGeneral(antialiasThreshold);
        if (!threshold.contains(QLatin1Char('.')) && !threshold.contains(QLatin1Char('e'))) {
            threshold += QStringLiteral(".0");
        }
        text += "+A" + threshold.toLatin1() + "\n";
    }
    return text;
}

bool PovRenderSettings::writeIniFile(const QString& fileName, const QSize& viewSize,
                                     QString* error) const
{
    return writeIniFile(fileName, viewSize, QByteArray(), error);
}

bool PovRenderSettings::writeIniFile(const QString& fileName, const QSize& viewSize,
                                     const QByteArray& more, QString* error) const
{
    QString reason;
    if (!saveBytes(fileName, iniText(viewSize) + more, &reason)) {
        if (error) {
            *error = QStringLiteral("cannot write '%1': %2").arg(fileName, reason);
        }
        return false;
    }
    return true;
}

QJsonObject PovRenderSettings::toJson() const
{
    QJsonObject json;
    json.insert(QStringLiteral("useViewSize"), useViewSize);
    json.insert(QStringLiteral("width"), size.width());
    json.insert(QStringLiteral("height"), size.height());
    json.insert(QStringLiteral("antialias"), antialias);
    json.insert(QStringLiteral("antialiasThreshold"), antialiasThreshold);
    json.insert(QStringLiteral("meshForm"), meshFormName(meshForm));
    json.insert(QStringLiteral("detail"), detailName(detail));
    json.insert(QStringLiteral("quality"), qualityName(quality));
    json.insert(QStringLiteral("background"), backgroundKindName(background));
    json.insert(QStringLiteral("backgroundColour"), backgroundColour.name());
    return json;
}

bool PovRenderSettings::fromJson(const QJsonObject& json, PovRenderSettings& settings,
                                 QString* error)
{
    PovRenderSettings read = settings;
    QString problem;
    auto boolean = [&](const char* key, bool& target) {
        const QJsonValue v = json.value(QLatin1String(key));
        if (v.isUndefined()) {
            return;
        }
        if (!v.isBool()) {
            problem =
                QStringLiteral("render setting '%1' must be true or false").arg(QLatin1String(key));
            return;
        }
        target = v.toBool();
    };
    auto number = [&](const char* key, double low, double high, double& target) {
        const QJsonValue v = json.value(QLatin1String(key));
        if (v.isUndefined()) {
            return;
        }
        if (!v.isDouble() || !(v.toDouble() >= low && v.toDouble() <= high)) {
            problem = QStringLiteral("render setting '%1' must be a number from %2 to %3")
                          .arg(QLatin1String(key), povGeneral(low), povGeneral(high));
            return;
        }
        target = v.toDouble();
    };
    boolean("useViewSize", read.useViewSize);
    boolean("antialias", read.antialias);
    double width = read.size.width(), height = read.size.height();
    number("width", 1, maxSide, width);
    number("height", 1, maxSide, height);
    read.size = QSize(int(width), int(height));
    number("antialiasThreshold", 0.0, maxThreshold, read.antialiasThreshold);
    const QJsonValue form = json.value(QLatin1String("meshForm"));
    if (!form.isUndefined() && !parseMeshForm(form.toString(), read.meshForm)) {
        problem = QStringLiteral("render setting 'meshForm' must be auto, triangles or mesh2");
    }
    const QJsonValue detail = json.value(QLatin1String("detail"));
    if (!detail.isUndefined() && !parseDetail(detail.toString(), read.detail)) {
        problem = QStringLiteral("render setting 'detail' must be auto or full");
    }
    const QJsonValue quality = json.value(QLatin1String("quality"));
    if (!quality.isUndefined() && !parseQuality(quality.toString(), read.quality)) {
        problem = QStringLiteral("render setting 'quality' must be draft or photo");
    }
    const QJsonValue background = json.value(QLatin1String("background"));
    if (!background.isUndefined() && !parseBackgroundKind(background.toString(), read.background)) {
        problem =
            QStringLiteral("render setting 'background' must be black, colour, sky or transparent");
    }
    const QJsonValue colour = json.value(QLatin1String("backgroundColour"));
    if (!colour.isUndefined()) {
        const QColor c(colour.toString());
        if (!colour.isString() || !c.isValid()) {
            problem = QStringLiteral("render setting 'backgroundColour' must be a colour such as "
                                     "#336699");
        } else {
            read.backgroundColour = c;
        }
    }
    if (!problem.isEmpty()) {
        if (error) {
            *error = problem;
        }
        return false;
    }
    settings = read;
    return true;
}

bool PovRenderSettings::operator==(const PovRenderSettings& other) const
{
    return useViewSize == other.useViewSize && size == other.size && antialias == other.antialias &&
           antialiasThreshold == other.antialiasThreshold && meshForm == other.meshForm &&
           detail == other.detail && quality == other.quality && background == other.background &&
           backgroundColour == other.backgroundColour;
}
