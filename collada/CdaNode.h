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
    // this node are found; a failed lookup gives none. Only <matrix> places
    // the node; <translate>, <rotate> and <scale> are not read.
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
};
