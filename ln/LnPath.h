#pragma once
// Line records shared by every model kind: a path is a polyline with one
// attribute record per point; a path list owns its paths.

#include "trimesh/Vec.h"

#include <cstdint>
#include <vector>

// Eight per-point attribute slots. The slot of a named attribute comes from
// attributeSlot(nameHash(name)); "strength" is the only one in use.
struct LnAttributeRecord {
    float values[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

struct LnPath {
    // 0 contour (and every path read from a file), 1 suggestive contour,
    // 3 ridge, 4 valley, 5 isophote.
    int32_t kind = 0;
    std::vector<vec> points;
    std::vector<LnAttributeRecord> attributes; // exactly one per point

    // Adds a point together with its attribute record.
    void addPoint(const vec& p, const LnAttributeRecord& record)
    {
        points.push_back(p);
        attributes.push_back(record);
    }
};

// A growable array of owned paths. Clearing deletes every path.
class LnPathList {
public:
    LnPathList() = default;
    ~LnPathList() { clear(); }
    LnPathList(const LnPathList&) = delete;
    LnPathList& operator=(const LnPathList&) = delete;

    void clear();
    void append(LnPath* path) { paths.push_back(path); }
    int size() const { return static_cast<int>(paths.size()); }
    LnPath* operator[](int i) const { return paths[i]; }

private:
    std::vector<LnPath*> paths;
};

// djb2 hash: h = 5381, then h = h * 33 + c for each character taken as a
// signed 8-bit value, wrapping modulo 2^32.
int32_t nameHash(const char* text);

// The program-wide registry of attribute keys: returns the slot of key,
// registering it in the next free slot when it is new. The registry holds
// eight keys; a ninth distinct key is refused with a warning and gets -1.
int attributeSlot(int32_t key);

// Number of keys registered so far.
int attributeCount();
