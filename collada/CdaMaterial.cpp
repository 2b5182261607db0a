#include "collada/CdaMaterial.h"

#include "collada/CdaScene.h"
#include "collada/CdaXml.h"

CdaMaterial::CdaMaterial(const QDomElement& element, const CdaScene& scene)
{
    id = element.attribute(QStringLiteral("id"));
    const QDomElement instance = element.firstChildElement(QStringLiteral("instance_effect"));
    if (!instance.isNull()) {
        effect = scene.findEffect(cdaStripHash(instance.attribute(QStringLiteral("url"))));
    }
}
