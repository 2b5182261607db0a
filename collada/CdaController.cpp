#include "collada/CdaController.h"

#include "collada/CdaScene.h"
#include "collada/CdaXml.h"

#include <QHash>

namespace {

// The skin or morph element of a controller, and its source reference.
QDomElement deformer(const QDomElement& controller)
{
    const QDomElement skin = controller.firstChildElement(QStringLiteral("skin"));
    return skin.isNull() ? controller.firstChildElement(QStringLiteral("morph")) : skin;
}

bool isIdentity(const Matrix4& m)
{
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (m.at(r, c) != (r == c ? 1.0 : 0.0)) {
                return false;
            }
        }
    }
    return true;
}

// Resolves one controller, following its source through other controllers
// of the library while links are left. Results are kept in `done` by id, so
// controllers sharing a chain resolve it once.
CdaController resolve(const QDomElement& controller, const CdaScene& scene,
                      const QHash<QString, QDomElement>& library,
                      QHash<QString, CdaController>& done, int linksLeft)
{
    CdaController out;
    out.id = controller.attribute(QStringLiteral("id"));
    const QDomElement d = deformer(controller);
    if (d.isNull()) {
        return out;
    }
    const QDomElement bindShape = d.firstChildElement(QStringLiteral("bind_shape_matrix"));
    const QString source = cdaStripHash(d.attribute(QStringLiteral("source")));
    out.geometry = scene.findGeometry(source);
    Matrix4 below; // the bind shape of a controller the source names
    bool belowHasBindShape = false;
    if (!out.geometry && linksLeft > 0 && library.contains(source)) {
        const auto known = done.constFind(source);
        const CdaController inner =
            known != done.constEnd()
                ? known.value()
                : resolve(library.value(source), scene, library, done, linksLeft - 1);
        out.geometry = inner.geometry;
        below = inner.bindShape;
        belowHasBindShape = inner.hasBindShape;
    }
    if (d.tagName() == QLatin1String("skin") && !bindShape.isNull()) {
        // Written row by row, like <matrix>.
        QString text = bindShape.text();
        QTextStream stream(&text, QIODevice::ReadOnly);
        for (int k = 0; k < 16; ++k) {
            out.bindShape.at(k / 4, k % 4) = cdaReadDouble(stream);
        }
        out.hasBindShape = !isIdentity(out.bindShape);
    }
    if (belowHasBindShape) {
        // The inner controller's shape is bound first.
        out.bindShape = out.bindShape * below;
        out.hasBindShape = true;
    }
    if (!done.contains(out.id)) {
        done.insert(out.id, out);
    }
    return out;
}

} // namespace

std::vector<CdaController> cdaReadControllers(const QDomElement& root, const CdaScene& scene)
{
    std::vector<QDomElement> elements;
    QHash<QString, QDomElement> library;
    for (QDomElement c = root.firstChildElement(QStringLiteral("library_controllers"))
                             .firstChildElement(QStringLiteral("controller"));
         !c.isNull(); c = c.nextSiblingElement(QStringLiteral("controller"))) {
        elements.push_back(c);
        const QString id = c.attribute(QStringLiteral("id"));
        if (!library.contains(id)) {
            library.insert(id, c);
        }
    }
    std::vector<CdaController> out;
    out.reserve(elements.size());
    QHash<QString, CdaController> done;
    for (const QDomElement& c : elements) {
        const QString id = c.attribute(QStringLiteral("id"));
        // A later controller repeating an id is resolved on its own.
        const auto known = done.constFind(id);
        out.push_back(known != done.constEnd() && library.value(id) == c
                          ? known.value()
                          : resolve(c, scene, library, done, cdaMaxControllerChain));
    }
    return out;
}
