#include "collada/CdaLight.h"

#include "collada/CdaXml.h"

CdaLight::CdaLight(const QDomElement& element)
{
    id = element.attribute(QStringLiteral("id"));
    const QDomElement e =
        element.firstChildElement(QStringLiteral("technique_common")).firstChildElement();
    kind = e.tagName();
    QString text = e.firstChildElement(QStringLiteral("color")).text();
    QTextStream stream(&text, QIODevice::ReadOnly);
    for (int k = 0; k < 3; ++k) {
        color[k] = cdaReadFloat(stream);
    }
}
