#pragma once
// CdaNode: one <node> (or the <visual_scene> itself) with its instances,
// its matrix and its child nodes. References point into the libraries of
// the CdaScene that read the node; only the children are owned.

#include "collada/Matrix4.h"

#include <QDomElement>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class CdaCamera;
class CdaGeometry;
class CdaLight;
class CdaMaterial;
class CdaScene;

class CdaNode {
public:
    // Reads the element (a <node>, a <visual_scene>, or a null element,
    // which gives an empty node with the identity matrix). References are
    // resolved through the scene's lookups, so only records read before
    // this node are found; a failed lookup gives none. `matrix` is the
    // first <matrix> only (what the "Model" layout uses); `transform` is the
    // product of every <matrix>, <translate>, <rotate> and <scale>, in
    // document order (<lookat> and <skew> are not read).
    CdaNode(const QDomElement& element, const CdaScene& scene);
    CdaNode(const CdaNode&) = delete;
    CdaNode& operator=(const CdaNode&) = delete;

    QString id;
    const CdaNode* instanceNode = nullptr;
    const CdaGeometry* geometry = nullptr;
    QStringList materialSymbols;
    std::vector<const CdaMaterial*> materials; // parallel to the symbols; may hold none
    const CdaCamera* camera = nullptr;
    const CdaLight* light = nullptr;
    std::vector<std::unique_ptr<CdaNode>> children;
    Matrix4 matrix;

    // Every instance, for documents without a "Model" node, where a node
    // may place several geometries and library nodes besides its children.
    // An <instance_controller> places its controller's geometry like an
    // <instance_geometry>, after the skin's bind shape matrix.
    struct GeometryInstance {
        const CdaGeometry* geometry = nullptr;
        QStringList materialSymbols;
        std::vector<const CdaMaterial*> materials; // parallel to the symbols
        bool hasBindShape = false;
        Matrix4 bindShape;
    };
    std::vector<GeometryInstance> geometryInstances; // resolved ones only
    // The ids every <instance_node> names, in order. A node may name one
    // read after it (a later library node, a node of the visual scene), so
    // the scene resolves them into instanceNodes once the whole document
    // is read.
    QStringList instanceNodeIds;
    std::vector<const CdaNode*> instanceNodes; // resolved ones only
    Matrix4 transform;
};
