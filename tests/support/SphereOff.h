#pragma once
// Writes a unit sphere centred at the origin as an OFF file: an octahedron
// refined `levels` times (8 * 4^levels triangles, outward-facing), every
// vertex pushed onto the sphere. Returns false when the file cannot be
// written.

#include "trimesh/Vec.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <map>
#include <vector>

inline bool writeSphereOff(const QString& path, int levels)
{
    std::vector<vec> v = {vec(1, 0, 0),  vec(-1, 0, 0), vec(0, 1, 0),
                          vec(0, -1, 0), vec(0, 0, 1),  vec(0, 0, -1)};
    std::vector<std::array<int, 3>> f = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4},
                                         {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
    for (int l = 0; l < levels; ++l) {
        std::map<std::pair<int, int>, int> mid;
        auto middle = [&](int a, int b) {
            const auto key = std::make_pair(std::min(a, b), std::max(a, b));
            auto it = mid.find(key);
            if (it != mid.end()) {
                return it->second;
            }
            vec m = v[size_t(a)] + v[size_t(b)];
            normalize(m);
            v.push_back(m);
            return mid[key] = int(v.size()) - 1;
        };
        std::vector<std::array<int, 3>> next;
        next.reserve(f.size() * 4);
        for (const auto& t : f) {
            const int ab = middle(t[0], t[1]), bc = middle(t[1], t[2]), ca = middle(t[2], t[0]);
            next.push_back({t[0], ab, ca});
            next.push_back({ab, t[1], bc});
            next.push_back({ca, bc, t[2]});
            next.push_back({ab, bc, ca});
        }
        f.swap(next);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QTextStream out(&file);
    out.setRealNumberPrecision(9);
    out << "OFF\n" << v.size() << " " << f.size() << " 0\n";
    for (const vec& p : v) {
        out << p[0] << " " << p[1] << " " << p[2] << "\n";
    }
    for (const auto& t : f) {
        out << "3 " << t[0] << " " << t[1] << " " << t[2] << "\n";
    }
    return out.status() == QTextStream::Ok;
}
