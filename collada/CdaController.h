#pragma once
// CdaController: what an <instance_controller> places in a document without
// a "Model" node. A <skin> stands for its source mesh in the bind pose,
// moved by its <bind_shape_matrix>; a <morph> stands for its base mesh.
// Joints, weights, bind poses and morph targets are not read: the mesh is
// shown as it was bound, not as any bone or morph weight would deform it.

#include "collada/Matrix4.h"

#include <QDomElement>
#include <QString>

#include <vector>

class CdaGeometry;
class CdaScene;

struct CdaController {
    QString id;
    // The geometry the controller deforms; none when its source names no
    // geometry read before, or only a chain of controllers that ends in none.
    const CdaGeometry* geometry = nullptr;
    // The skin's <bind_shape_matrix>, applied to the geometry before the
    // node's placement. Left out (false) when absent or the identity.
    bool hasBindShape = false;
    Matrix4 bindShape;
};

// A skin's source may name a morph controller (or, unusually, another
// skin); chains are followed at most this many links, which also stops
// controllers that name each other.
constexpr int cdaMaxControllerChain = 16;

// The <controller> children of the root's first <library_controllers>, in
// document order. Sources are looked up among the scene's geometries and,
// failing that, among the other controllers of the same library (defined
// before or after). A source that is neither leaves the geometry none.
std::vector<CdaController> cdaReadControllers(const QDomElement& root, const CdaScene& scene);
