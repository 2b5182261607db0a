#include "collada/CdaNode.h"

#include "collada/CdaScene.h"
#include "collada/CdaXml.h"

namespace {

QString url(const QDomElement& element)
{
    return cdaStripHash(element.attribute(QStringLiteral("url")));
}

} // namespace

CdaNode::CdaNode(const QDomElement& element, const CdaScene& scene)
{
    id = element.attribute(QStringLiteral("id"));

    const QDomElement instance = element.firstChildElement(QStringLiteral("instance_node"));
    if (!instance.isNull()) {
        instanceNode = scene.findLibraryNode(url(instance));
    }

    const QDomElement instanceGeometry =
        element.firstChildElement(QStringLiteral("instance_geometry"));
    if (!instanceGeometry.isNull()) {
        geometry = scene.findGeometry(url(instanceGeometry));
        const QDomElement bind = instanceGeometry.firstChildElement(QStringLiteral("bind_material"));
        if (!bind.isNull()) {
            for (QDomElement m = bind.firstChildElement(QStringLiteral("technique_common"))
                                     .firstChildElement(QStringLiteral("instance_material"));
                 !m.isNull(); m = m.nextSiblingElement(QStringLiteral("instance_material"))) {
                materialSymbols.append(m.attribute(QStringLiteral("symbol")));
                materials.push_back(
                    scene.findMaterial(cdaStripHash(m.attribute(QStringLiteral("target")))));
            }
        }
    }

    const QDomElement instanceCamera = element.firstChildElement(QStringLiteral("instance_camera"));
    if (!instanceCamera.isNull()) {
        camera = scene.findCamera(url(instanceCamera));
    }
    const QDomElement instanceLight = element.firstChildElement(QStringLiteral("instance_light"));
    if (!instanceLight.isNull()) {
        light = scene.findLight(url(instanceLight));
    }

    const QDomElement matrixElement = element.firstChildElement(QStringLiteral("matrix"));
    if (!matrixElement.isNull()) {
        // Written row by row, stored column by column.
        QString text = matrixElement.text();
        QTextStream stream(&text, QIODevice::ReadOnly);
        for (int k = 0; k < 16; ++k) {
            matrix.at(k / 4, k % 4) = cdaReadDouble(stream);
        }
    }

    // Nesting is bounded by the document check of CdaScene::load.
    for (QDomElement child = element.firstChildElement(QStringLiteral("node")); !child.isNull();
         child = child.nextSiblingElement(QStringLiteral("node"))) {
        children.push_back(std::make_unique<CdaNode>(child, scene));
    }
}
