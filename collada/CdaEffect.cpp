#include "collada/CdaEffect.h"

#include "collada/CdaXml.h"

namespace {

void readColor(const QDomElement& technique, const char* name, float (&color)[4])
{
    const QDomElement property = technique.firstChildElement(QLatin1String(name));
    if (property.isNull()) {
        return;
    }
    for (float& c : color) {
        c = 1.0f;
    }
    const QDomElement colorElement = property.firstChildElement(QStringLiteral("color"));
    if (!colorElement.isNull()) {
        QString text = colorElement.text();
        QTextStream stream(&text, QIODevice::ReadOnly);
        for (float& c : color) {
            c = cdaReadFloat(stream);
        }
    }
}

void readFloat(const QDomElement& technique, const char* name, float& value)
{
    const QDomElement property = technique.firstChildElement(QLatin1String(name));
    if (!property.isNull()) {
        value = property.firstChildElement(QStringLiteral("float")).text().toFloat();
    }
}

} // namespace

CdaEffect::CdaEffect(const QDomElement& element)
{
    id = element.attribute(QStringLiteral("id"));
    const QDomElement t = element.firstChildElement(QStringLiteral("profile_COMMON"))
                              .firstChildElement(QStringLiteral("technique"))
                              .firstChildElement();
    shadingModel = t.tagName();
    readColor(t, "emission", emission);
    readColor(t, "ambient", ambient);
    readColor(t, "diffuse", diffuse);
    readColor(t, "specular", specular);
    readFloat(t, "shininess", shininess);
    readColor(t, "reflective", reflective);
    readFloat(t, "reflectivity", reflectivity);
    readColor(t, "transparent", transparent);
    readFloat(t, "transparency", transparency);
    readFloat(t, "index_of_refraction", indexOfRefraction);
}
