#include "collada/CdaCamera.h"

namespace {

void readValue(const QDomElement& parent, const char* name, float& value)
{
    const QDomElement child = parent.firstChildElement(QLatin1String(name));
    if (!child.isNull()) {
        value = child.text().toFloat(); // 0 when not a number
    }
}

} // namespace

CdaCamera::CdaCamera(const QDomElement& element)
{
    id = element.attribute(QStringLiteral("id"));
    const QDomElement e = element.firstChildElement(QStringLiteral("optics"))
                              .firstChildElement(QStringLiteral("technique_common"))
                              .firstChildElement();
    projection = e.tagName();
    readValue(e, "xfov", xfov);
    readValue(e, "yfov", yfov);
    readValue(e, "aspect_ratio", aspectRatio);
    readValue(e, "znear", znear);
    readValue(e, "zfar", zfar);
}
