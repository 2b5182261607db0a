#pragma once
// KDtree: nearest-point queries over a caller-owned array of points. The tree
// keeps references (pointers) into the array; it neither copies nor owns the
// points, which must outlive it and stay unchanged.
//
// Inner nodes split at the centre of their points' bounding box along its
// longest axis and carry the centre and radius (half the box diagonal) of
// that box, so queries prune whole nodes by their bounding spheres; leaves
// hold up to 7 points. Building takes O(n log n) for points in general
// position; points that cannot be separated (more than 7 at exactly the
// same place, or non-finite coordinates) end up together in one larger leaf.

#include <cstddef>
#include <vector>

#include "trimesh/Vec.h"

class KDtree {
public:
    // Predicate over candidate points: answers whether a point (a pointer
    // into the tree's array) may be returned.
    class CompatFunc {
    public:
        virtual ~CompatFunc() = default;
        virtual bool operator()(const float* p) const = 0;
    };

    // Builds the tree over points[0..count).
    KDtree(const vec* points, size_t count);

    // The accepted point nearest to q and strictly closer than
    // sqrt(maxDist2), or null when there is none. Ties keep the point found
    // first. `compat` may be null (every point is accepted).
    const float* closest(const float* q, float maxDist2, const CompatFunc* compat = nullptr) const;
    const float* closest(const vec& q, float maxDist2, const CompatFunc* compat = nullptr) const
    {
        return closest(q.data(), maxDist2, compat);
    }

    // Radius of the root node's bounding sphere (half its box diagonal); when
    // the whole tree is one leaf, which has no radius, infinity, so a search
    // with its square still finds every point. 0 for an empty tree.
    float rootRadius() const;

private:
    struct Node {
        float center[3];
        float radius;
        int axis;  // 0, 1, 2 for an inner node, -1 for a leaf
        int first; // inner: index of the first child; leaf: first ref
        int count; // inner: index of the second child; leaf: ref count
    };
    int build(size_t begin, size_t end, int depth);
    void search(int node, const float* q, float& maxDist2, float& d, const CompatFunc* compat,
                const float*& best) const;

    std::vector<const float*> refs_;
    std::vector<Node> nodes_;
};

// Accepts a point unless its offset from `base`, counted in floats (three
// times its index in a vec array), is in the set.
class NotInSet : public KDtree::CompatFunc {
public:
    NotInSet(const float* base, const std::vector<int>& offsets) : base_(base), set_(offsets) {}
    bool operator()(const float* p) const override
    {
        const int off = int(p - base_);
        for (int s : set_)
            if (s == off)
                return false;
        return true;
    }

private:
    const float* base_;
    const std::vector<int>& set_;
};
