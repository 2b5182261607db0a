#include "trimesh/KDtree.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
const size_t kMaxLeaf = 7;
}

KDtree::KDtree(const vec* points, size_t count)
{
    refs_.reserve(count);
    for (size_t i = 0; i < count; ++i)
        refs_.push_back(points[i].data());
    if (count > 0) {
        nodes_.reserve(count / 2 + 1);
        build(0, count, 0);
    }
}

int KDtree::build(size_t begin, size_t end, int depth)
{
    const int index = int(nodes_.size());
    nodes_.push_back(Node());
    const size_t n = end - begin;
    auto makeLeaf = [&] {
        Node& leaf = nodes_[size_t(index)];
        leaf.axis = -1;
        leaf.first = int(begin);
        leaf.count = int(n);
        return index;
    };
    if (n <= kMaxLeaf)
        return makeLeaf();

    float lo[3], hi[3];
    for (int k = 0; k < 3; ++k)
        lo[k] = hi[k] = refs_[begin][k];
    for (size_t i = begin + 1; i < end; ++i) {
        for (int k = 0; k < 3; ++k) {
            const float x = refs_[i][k];
            lo[k] = std::min(lo[k], x);
            hi[k] = std::max(hi[k], x);
        }
    }
    const float dx = hi[0] - lo[0], dy = hi[1] - lo[1], dz = hi[2] - lo[2];
    int axis;
    if (dx > dy && dx > dz)
        axis = 0;
    else if (dy > dz)
        axis = 1; // the x extent does not exceed both; y wins over z
    else
        axis = 2;
    Node node;
    for (int k = 0; k < 3; ++k)
        node.center[k] = 0.5f * (lo[k] + hi[k]);
    node.radius = 0.5f * std::sqrt(dx * dx + dy * dy + dz * dz);
    node.axis = axis;
    const float split = node.center[axis];

    // Points below the split value first, the rest after, exchanging from
    // both ends.
    auto partition = [&](bool below(float, float)) {
        size_t l = begin, r = end;
        while (l < r) {
            if (below(refs_[l][axis], split))
                ++l;
            else
                std::swap(refs_[l], refs_[--r]);
        }
        return l;
    };
    size_t mid = partition([](float x, float s) { return x < s; });
    if (mid == begin || mid == end) {
        // Nothing lies below the centre: the extent is too small for the
        // centre to fall strictly between the points (neighbouring floats),
        // so split at or below it instead, which keeps the pruning sound.
        mid = partition([](float x, float s) { return x <= s; });
    }
    // Points that coincide (or are not finite) cannot be separated.
    if (mid == begin || mid == end)
        return makeLeaf();

    // Recursion depth stays small: each level halves the longest extent,
    // which a float can do only a few hundred times per axis.
    const int first = build(begin, mid, depth + 1);
    const int second = build(mid, end, depth + 1);
    node.first = first;
    node.count = second;
    nodes_[size_t(index)] = node;
    return index;
}

float KDtree::rootRadius() const
{
    if (nodes_.empty())
        return 0.0f;
    if (nodes_[0].axis < 0)
        return std::numeric_limits<float>::infinity();
    return nodes_[0].radius;
}

const float* KDtree::closest(const float* q, float maxDist2, const CompatFunc* compat) const
{
    const float* best = nullptr;
    if (nodes_.empty())
        return best;
    float d = std::sqrt(maxDist2);
    search(0, q, maxDist2, d, compat, best);
    return best;
}

void KDtree::search(int index, const float* q, float& maxDist2, float& d, const CompatFunc* compat,
                    const float*& best) const
{
    const Node& node = nodes_[size_t(index)];
    if (node.axis < 0) {
        for (int i = 0; i < node.count; ++i) {
            // Nothing can be strictly closer than distance 0.
            if (maxDist2 <= 0.0f)
                return;
            const float* p = refs_[size_t(node.first + i)];
            const float e0 = p[0] - q[0], e1 = p[1] - q[1], e2 = p[2] - q[2];
            const float e = e0 * e0 + e1 * e1 + e2 * e2;
            if (e < maxDist2 && (compat == nullptr || (*compat)(p))) {
                best = p;
                maxDist2 = e;
                d = std::sqrt(e);
            }
        }
        return;
    }
    const float c0 = q[0] - node.center[0], c1 = q[1] - node.center[1], c2 = q[2] - node.center[2];
    const float reach = node.radius + d;
    if (reach * reach <= c0 * c0 + c1 * c1 + c2 * c2)
        return;
    const float s = node.center[node.axis] - q[node.axis];
    if (s >= 0.0f) {
        search(node.first, q, maxDist2, d, compat, best);
        if (s < d)
            search(node.count, q, maxDist2, d, compat, best);
    } else {
        search(node.count, q, maxDist2, d, compat, best);
        if (-s < d)
            search(node.first, q, maxDist2, d, compat, best);
    }
}
