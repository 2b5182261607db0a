// Models of a flattened subtree, split by material when file materials are
// used and several materials, one of them textured, share the subtree.

#include "collada/CdaScene.h"
#include "ln/LnBoxyModel.h"

#include <algorithm>

namespace {

// The index of `index` in the part's own array, appending the source entry
// on first use; out-of-range indices stay -1.
int32_t keepEntry(int32_t index, const std::vector<vec>& source, std::vector<vec>& kept,
                  std::vector<int32_t>& remap)
{
    if (index < 0 || size_t(index) >= source.size()) {
        return -1;
    }
    int32_t& slot = remap[size_t(index)];
    if (slot < 0) {
        slot = int32_t(kept.size());
        kept.push_back(source[size_t(index)]);
    }
    return slot;
}

} // namespace

bool CdaScene::splitsByMaterial(const CdaGeometry& flat) const
{
    if (!textureModels || tally.size() < 2) {
        return false;
    }
    long long covered = 0;
    for (const auto& run : runs) {
        covered += run.second;
    }
    if (covered != (long long)flat.triangleCount() || flat.groups.size() != 1) {
        return false; // runs do not describe the triangles: keep one model
    }
    return std::any_of(tally.begin(), tally.end(), [this](const auto& entry) {
        return entry.first->effect && !effectImageEntry.value(entry.first->effect).isEmpty();
    });
}

CdaGeometry CdaScene::materialPart(const CdaGeometry& flat, const CdaMaterial* material) const
{
    CdaGeometry part;
    part.id = flat.id;
    part.type = flat.type;
    part.groups.emplace_back();
    std::vector<int32_t> positionAt(flat.positions.size(), -1);
    std::vector<int32_t> normalAt(flat.normals.size(), -1);
    std::vector<int32_t> texCoordAt(flat.texCoords.size(), -1);
    const std::vector<CdaTriangle>& all = flat.groups.front();
    size_t next = 0;
    for (const auto& run : runs) {
        const size_t end = std::min(all.size(), next + size_t(run.second));
        if (run.first == material) {
            for (size_t i = next; i < end; ++i) {
                CdaTriangle t;
                for (int k = 0; k < 3; ++k) {
                    t.vertex[k] =
                        keepEntry(all[i].vertex[k], flat.positions, part.positions, positionAt);
                    t.normal[k] = keepEntry(all[i].normal[k], flat.normals, part.normals, normalAt);
                    t.texCoord[k] =
                        keepEntry(all[i].texCoord[k], flat.texCoords, part.texCoords, texCoordAt);
                }
                part.groups.front().push_back(t);
            }
        }
        next = end;
    }
    return part;
}

int CdaScene::addModels(const CdaGeometry& flat, std::vector<LnModel*>& models,
                        std::vector<FileColour>* colours)
{
    if (!splitsByMaterial(flat)) {
        models.push_back(makeBoxyModel(flat));
        if (colours) {
            colours->push_back(dominantColour());
            textureModel(models.back(), flat, colours->back());
        }
        return 1;
    }
    // One model per material in the order the triangles first bind it;
    // triangles bound to no material make one more, without a colour.
    std::vector<const CdaMaterial*> order;
    for (const auto& run : runs) {
        if (std::find(order.begin(), order.end(), run.first) == order.end()) {
            order.push_back(run.first);
        }
    }
    const auto whole = tally;
    int added = 0;
    for (const CdaMaterial* material : order) {
        const CdaGeometry part = materialPart(flat, material);
        if (part.triangleCount() == 0) {
            continue;
        }
        // The part's own tally, so its colour and texture are its material's.
        tally.clear();
        if (material) {
            tally.emplace_back(material, (long long)part.triangleCount());
        }
        models.push_back(makeBoxyModel(part));
        if (colours) {
            colours->push_back(dominantColour());
            textureModel(models.back(), part, colours->back());
        }
        ++added;
    }
    tally = whole;
    return added;
}
