#include "trimesh/BoundingSphere.h"

#include "trimesh/Message.h"
#include "trimesh/TriMesh.h"

#include <cmath>
#include <vector>

namespace {

// The sphere through up to four support points, built incrementally: push
// adds a point to the boundary, pop forgets the last one (the current centre
// and squared radius stay those of the last successful push).
class SupportSet {
public:
    int size() const { return m_; }
    const vec& center() const { return current_c_; }
    float squaredRadius() const { return current_r2_; }

    // Squared distance from the current centre minus the squared radius.
    float excess(const vec& p) const { return dist2(p, current_c_) - current_r2_; }

    bool push(const vec& p)
    {
        if (m_ == 0) {
            q0_ = p;
            c_[0] = p;
            r2_[0] = 0.0f;
        } else {
            const int m = m_;
            vec v = p - q0_;
            float a[4];
            for (int i = 1; i < m; ++i)
                a[i] = (2.0f / z_[i]) * dot(v_[i], v);
            for (int i = 1; i < m; ++i)
                v -= a[i] * v_[i];
            v_[m] = v;
            z_[m] = 2.0f * len2(v);
            // A point (nearly) dependent on the support so far is refused.
            if (z_[m] < kEps * current_r2_)
                return false;
            const float e = dist2(p, c_[m - 1]) - r2_[m - 1];
            const float f = e / z_[m];
            c_[m] = c_[m - 1] + f * v;
            r2_[m] = r2_[m - 1] + e * f / 2.0f;
        }
        current_c_ = c_[m_];
        current_r2_ = r2_[m_];
        ++m_;
        return true;
    }
    void pop() { --m_; }

private:
    static constexpr float kEps = 1e-13f;
    int m_ = 0;
    vec q0_;
    vec v_[4];
    float z_[4] = {0, 0, 0, 0};
    vec c_[4];
    float r2_[4] = {0, 0, 0, 0};
    vec current_c_;
    float current_r2_ = -1.0f; // any first point lies outside
};

// The points in a doubly linked list over indices, node n being the
// sentinel that stands for the end; moving to the front is O(1).
class Miniball {
public:
    Miniball(const vec* points, size_t count)
        : pts_(points), n_(int(count)), next_(count + 1), prev_(count + 1)
    {
        for (int i = 0; i <= n_; ++i) {
            next_[size_t(i)] = i == n_ ? 0 : i + 1;
            prev_[size_t(i)] = i == 0 ? n_ : i - 1;
        }
        if (n_ == 0)
            next_[0] = prev_[0] = 0;
    }

    void pivot()
    {
        const int end = n_;
        int t = next_[size_t(begin())];
        mtf(t);
        float oldR2 = -1.0f;
        for (;;) {
            int pivot = -1;
            float maxE = 0.0f;
            for (int k = t; k != end; k = next_[size_t(k)]) {
                const float e = basis_.excess(pts_[k]);
                if (e > maxE) {
                    maxE = e;
                    pivot = k;
                }
            }
            if (!(maxE > 0.0f))
                break;
            t = supportEnd_;
            if (t == pivot)
                t = next_[size_t(t)];
            oldR2 = basis_.squaredRadius();
            if (basis_.push(pts_[pivot])) {
                mtf(supportEnd_);
                basis_.pop();
            }
            moveToFront(pivot);
            if (!(basis_.squaredRadius() > oldR2))
                break;
        }
    }

    const vec& center() const { return basis_.center(); }
    float squaredRadius() const { return basis_.squaredRadius(); }

private:
    int begin() const { return next_[size_t(n_)]; }

    // Move-to-front over the points in front of `stop`. Recursion depth is
    // bounded by the four support points.
    void mtf(int stop)
    {
        supportEnd_ = begin();
        if (basis_.size() == 4)
            return;
        for (int k = begin(); k != stop;) {
            const int j = k;
            k = next_[size_t(k)];
            if (basis_.excess(pts_[j]) > 0.0f && basis_.push(pts_[j])) {
                mtf(j);
                basis_.pop();
                moveToFront(j);
            }
        }
    }

    void moveToFront(int j)
    {
        if (supportEnd_ == j)
            supportEnd_ = next_[size_t(j)];
        if (begin() == j)
            return;
        const size_t s = size_t(j);
        next_[size_t(prev_[s])] = next_[s];
        prev_[size_t(next_[s])] = prev_[s];
        const int first = begin();
        next_[s] = first;
        prev_[s] = n_;
        prev_[size_t(first)] = j;
        next_[size_t(n_)] = j;
    }

    const vec* pts_;
    int n_;
    std::vector<int> next_, prev_;
    int supportEnd_ = 0;
    SupportSet basis_;
};

} // namespace

void boundingSphere(const vec* points, size_t count, vec& center, float& radius)
{
    if (points == nullptr || count == 0) {
        center = vec();
        radius = 0.0f;
        return;
    }
    Miniball mb(points, count);
    mb.pivot();
    center = mb.center();
    const float r2 = mb.squaredRadius();
    radius = r2 > 0.0f ? std::sqrt(r2) : 0.0f;
}

void TriMesh::computeBoundingSphere()
{
    if (sphereValid || vertices.empty())
        return;
    tmMessage("Computing bounding sphere... ");
    // Vertices at infinity or NaN (which a file may hold) have no place in a
    // sphere: it bounds the finite ones.
    size_t finite = 0;
    for (const vec& v : vertices)
        finite += std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
    if (finite == vertices.size()) {
        boundingSphere(vertices.data(), vertices.size(), sphereCenter, sphereRadius);
    } else {
        std::vector<vec> kept;
        kept.reserve(finite);
        for (const vec& v : vertices) {
            if (std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]))
                kept.push_back(v);
        }
        boundingSphere(kept.data(), kept.size(), sphereCenter, sphereRadius);
    }
    sphereValid = true;
    tmMessage("Done.\n  center = (%g, %g, %g), radius = %g\n", sphereCenter[0], sphereCenter[1],
              sphereCenter[2], sphereRadius);
}
