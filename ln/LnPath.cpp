#include "ln/LnPath.h"

#include "ln/LnDiagnostics.h"

void LnPathList::clear()
{
    for (LnPath* path : paths) {
        delete path;
    }
    paths.clear();
}

int32_t nameHash(const char* text)
{
    uint32_t h = 5381;
    for (const char* p = text; *p; ++p) {
        h = h * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    }
    return static_cast<int32_t>(h);
}

namespace {
constexpr int maxAttributes = 8;
int32_t attributeKeys[maxAttributes];
int attributeKeyCount = 0;
} // namespace

int attributeSlot(int32_t key)
{
    for (int i = 0; i < attributeKeyCount; ++i) {
        if (attributeKeys[i] == key) {
            return i;
        }
    }
    if (attributeKeyCount == maxAttributes) {
        lnWarning("attributeSlot: all %d attribute slots are taken", maxAttributes);
        return -1;
    }
    attributeKeys[attributeKeyCount] = key;
    return attributeKeyCount++;
}

int attributeCount() { return attributeKeyCount; }
