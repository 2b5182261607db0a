#include "collada/CdaNode.h"

#include "collada/CdaScene.h"
#include "collada/CdaXml.h"

#include <cmath>

namespace {

QString url(const QDomElement& element)
{
    return cdaStripHash(element.attribute(QStringLiteral("url")));
}

// The numbers of an element's text; missing ones read as 0.
template <int N> void numbers(const QDomElement& element, double (&out)[N])
{
    QString text = element.text();
    QTextStream stream(&text, QIODevice::ReadOnly);
    for (double& value : out) {
        value = cdaReadDouble(stream);
    }
}

// The matrix of one transformation element; the identity for other tags.
Matrix4 transformOf(const QDomElement& element)
{
    Matrix4 m;
    const QString tag = element.tagName();
    if (tag == QLatin1String("matrix")) {
        double v[16];
        numbers(element, v);
        for (int k = 0; k < 16; ++k) {
            m.at(k / 4, k % 4) = v[k];
        }
    } else if (tag == QLatin1String("translate")) {
        double v[3];
        numbers(element, v);
        for (int k = 0; k < 3; ++k) {
            m.at(k, 3) = v[k];
        }
    } else if (tag == QLatin1String("scale")) {
        double v[3];
        numbers(element, v);
        for (int k = 0; k < 3; ++k) {
            m.at(k, k) = v[k];
        }
    } else if (tag == QLatin1String("rotate")) {
        double v[4]; // axis, angle in degrees
        numbers(element, v);
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (length > 0.0 && std::isfinite(length)) {
            const double x = v[0] / length, y = v[1] / length, z = v[2] / length;
            const double a = v[3] * M_PI / 180.0;
            const double c = std::cos(a), s = std::sin(a), t = 1.0 - c;
            m.at(0, 0) = t * x * x + c;
            m.at(0, 1) = t * x * y - s * z;
            m.at(0, 2) = t * x * z + s * y;
            m.at(1, 0) = t * x * y + s * z;
            m.at(1, 1) = t * y * y + c;
            m.at(1, 2) = t * y * z - s * x;
            m.at(2, 0) = t * x * z - s * y;
            m.at(2, 1) = t * y * z + s * x;
            m.at(2, 2) = t * z * z + c;
        }
    }
    return m;
}

void bindMaterials(const QDomElement& instanceGeometry, const CdaScene& scene, QStringList& symbols,
                   std::vector<const CdaMaterial*>& materials)
{
    const QDomElement bind = instanceGeometry.firstChildElement(QStringLiteral("bind_material"));
    for (QDomElement m = bind.firstChildElement(QStringLiteral("technique_common"))
                             .firstChildElement(QStringLiteral("instance_material"));
         !m.isNull(); m = m.nextSiblingElement(QStringLiteral("instance_material"))) {
        symbols.append(m.attribute(QStringLiteral("symbol")));
        materials.push_back(
            scene.findMaterial(cdaStripHash(m.attribute(QStringLiteral("target")))));
    }
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
        bindMaterials(instanceGeometry, scene, materialSymbols, materials);
    }
    for (QDomElement e = element.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        const QString tag = e.tagName();
        if (tag == QLatin1String("instance_geometry") ||
            tag == QLatin1String("instance_controller")) {
            GeometryInstance g;
            if (tag == QLatin1String("instance_geometry")) {
                g.geometry = scene.findGeometry(url(e));
            } else if (const CdaController* c = scene.findController(url(e))) {
                g.geometry = c->geometry;
                g.hasBindShape = c->hasBindShape;
                g.bindShape = c->bindShape;
            }
            if (g.geometry) {
                bindMaterials(e, scene, g.materialSymbols, g.materials);
                geometryInstances.push_back(std::move(g));
            }
        } else if (tag == QLatin1String("instance_node")) {
            instanceNodeIds.append(url(e));
        } else {
            transform = transform * transformOf(e);
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
