#include "trimesh/Message.h"
#include "trimesh/TriMesh.h"

#include <cmath>

void TriMesh::needPointAreas()
{
    if (pointAreas.size() == vertices.size() && cornerAreas.size() == faces.size())
        return;
    unpackStrips();
    tmMessage("Computing point areas... ");
    pointAreas.assign(vertices.size(), 0.0f);
    cornerAreas.assign(faces.size(), CornerAreas());
    const vec* p = vertices.data();
    for (size_t i = 0; i < faces.size(); ++i) {
        const Face& f = faces[i];
        // Edge j lies opposite corner j.
        const vec e[3] = {p[f[2]] - p[f[1]], p[f[0]] - p[f[2]], p[f[1]] - p[f[0]]};
        const float area = 0.5f * len(cross(e[0], e[1]));
        // A face without area (or with a coordinate that is not finite)
        // gives its corners nothing rather than 0/0.
        if (!(area > 0.0f) || !std::isfinite(area))
            continue;
        const float l2[3] = {len2(e[0]), len2(e[1]), len2(e[2])};
        const float ew[3] = {l2[0] * (l2[1] + l2[2] - l2[0]), l2[1] * (l2[2] + l2[0] - l2[1]),
                             l2[2] * (l2[0] + l2[1] - l2[2])};
        CornerAreas& ca = cornerAreas[i];
        int obtuse = -1;
        for (int j = 0; j < 3 && obtuse < 0; ++j)
            if (ew[j] <= 0.0f)
                obtuse = j;
        if (obtuse >= 0) {
            const int a = obtuse, b = (a + 1) % 3, c = (a + 2) % 3;
            ca[b] = -0.25f * l2[c] * area / dot(e[a], e[c]);
            ca[c] = -0.25f * l2[b] * area / dot(e[a], e[b]);
            ca[a] = area - ca[b] - ca[c];
        } else {
            const float scale = 0.5f * area / (ew[0] + ew[1] + ew[2]);
            for (int j = 0; j < 3; ++j)
                ca[j] = scale * (ew[(j + 1) % 3] + ew[(j + 2) % 3]);
        }
        for (int j = 0; j < 3; ++j)
            pointAreas[size_t(f[j])] += ca[j];
    }
    tmMessage("Done.\n");
}
