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

// The newparam of the profile (or of its technique) with this sid.
QDomElement newparam(const QDomElement& profile, const QString& sid)
{
    for (const QDomElement& scope :
         {profile, profile.firstChildElement(QStringLiteral("technique"))}) {
        for (QDomElement p = scope.firstChildElement(QStringLiteral("newparam")); !p.isNull();
             p = p.nextSiblingElement(QStringLiteral("newparam"))) {
            if (p.attribute(QStringLiteral("sid")) == sid) {
                return p;
            }
        }
    }
    return QDomElement();
}

// Follows texture -> sampler -> surface -> image id (COLLADA 1.4), or
// sampler -> instance_image (1.5); a name that is no parameter is taken as
// the image id itself.
QString imageOf(const QDomElement& profile, const QString& texture)
{
    QString name = texture;
    for (int step = 0; step < 4; ++step) {
        const QDomElement param = newparam(profile, name);
        if (param.isNull()) {
            return name;
        }
        const QDomElement sampler = param.firstChildElement(QStringLiteral("sampler2D"));
        const QDomElement surface = param.firstChildElement(QStringLiteral("surface"));
        if (!sampler.isNull()) {
            const QDomElement instance =
                sampler.firstChildElement(QStringLiteral("instance_image"));
            if (!instance.isNull()) {
                return cdaStripHash(instance.attribute(QStringLiteral("url")));
            }
            name = sampler.firstChildElement(QStringLiteral("source")).text().trimmed();
        } else if (!surface.isNull()) {
            return surface.firstChildElement(QStringLiteral("init_from")).text().trimmed();
        } else {
            return QString();
        }
    }
    return QString();
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

    const QDomElement texture =
        t.firstChildElement(QStringLiteral("diffuse")).firstChildElement(QStringLiteral("texture"));
    if (!texture.isNull()) {
        diffuseImage = imageOf(element.firstChildElement(QStringLiteral("profile_COMMON")),
                               texture.attribute(QStringLiteral("texture")));
    }
}
