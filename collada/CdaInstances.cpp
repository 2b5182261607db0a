// Resolving <instance_node> once a document is read, so that a node may
// place any node of the document: a library node defined after it, or a
// node of the visual scene itself (exporters place copies of a scene node
// that way). Whether the references form a cycle is left to the walks,
// which refuse to enter a node they are already inside.
#include "collada/CdaScene.h"

#include <algorithm>

namespace {

// Every node below `node` with an id, in document order; the first node
// with an id keeps it.
void indexTree(const CdaNode& node, QHash<QString, const CdaNode*>& index)
{
    for (const std::unique_ptr<CdaNode>& child : node.children) {
        if (!child->id.isEmpty() && !index.contains(child->id)) {
            index.insert(child->id, child.get());
        }
        indexTree(*child, index);
    }
}

template <class Find> void resolveTree(CdaNode& node, const Find& find)
{
    node.instanceNodes.clear();
    for (const QString& id : node.instanceNodeIds) {
        if (const CdaNode* target = find(id)) {
            node.instanceNodes.push_back(target);
        }
    }
    for (std::unique_ptr<CdaNode>& child : node.children) {
        resolveTree(*child, find);
    }
}

} // namespace

void CdaScene::resolveInstanceNodes(int firstNew)
{
    QHash<QString, const CdaNode*> sceneIndex;
    if (rootNode) {
        indexTree(*rootNode, sceneIndex);
    }
    const auto inLibrary = [this](const QString& id) -> const CdaNode* {
        if (const CdaNode* node = findLibraryNode(id)) {
            return node;
        }
        return nestedNodeIndex.value(id, nullptr);
    };
    // Library nodes outlive this visual scene (the next document of an
    // archive replaces it), so only the scene's own nodes may name its
    // nodes.
    for (size_t i = size_t(std::max(firstNew, 0)); i < libraryNodes.size(); ++i) {
        resolveTree(*libraryNodes[i], inLibrary);
    }
    const auto inDocument = [&inLibrary, &sceneIndex](const QString& id) -> const CdaNode* {
        if (const CdaNode* node = inLibrary(id)) {
            return node;
        }
        return sceneIndex.value(id, nullptr);
    };
    if (rootNode) {
        resolveTree(*rootNode, inDocument);
    }
}
