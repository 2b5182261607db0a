// Principal curvatures per vertex: a least-squares fit of the change of the
// normal along each face's edges gives a curvature tensor per face, which is
// carried into every corner's tangent frame and summed with area weights.

#include "trimesh/CurvatureFrames.h"
#include "trimesh/Message.h"
#include "trimesh/TriMesh.h"

void TriMesh::needCurvatures()
{
    const size_t nv = vertices.size();
    if (majorCurvatures.size() == nv && minorCurvatures.size() == nv &&
        majorDirections.size() == nv && minorDirections.size() == nv)
        return;
    unpackStrips();
    computeNormals();
    needPointAreas();
    tmMessage("Computing curvatures... ");

    majorDirections.assign(nv, vec());
    minorDirections.assign(nv, vec());
    majorCurvatures.assign(nv, 0.0f);
    minorCurvatures.assign(nv, 0.0f);
    std::vector<float> kuv(nv, 0.0f);
    const vec* p = vertices.data();
    const vec* n = normals.data();
    vec* dir1 = majorDirections.data();
    vec* dir2 = minorDirections.data();

    // Initial frames: an edge at each corner, made tangent to the normal.
    for (const Face& f : faces) {
        dir1[f[0]] = p[f[1]] - p[f[0]];
        dir1[f[1]] = p[f[2]] - p[f[1]];
        dir1[f[2]] = p[f[0]] - p[f[2]];
    }
    for (size_t i = 0; i < nv; ++i) {
        dir1[i] = normalized(cross(dir1[i], n[i]));
        dir2[i] = cross(n[i], dir1[i]);
    }

    for (size_t i = 0; i < faces.size(); ++i) {
        const Face& f = faces[i];
        const vec e[3] = {p[f[2]] - p[f[1]], p[f[0]] - p[f[2]], p[f[1]] - p[f[0]]};
        const vec t = normalized(e[0]);
        const vec b = normalized(cross(cross(e[0], e[1]), t));
        float m[3] = {0.0f, 0.0f, 0.0f};
        float w[3][3] = {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
        for (int j = 0; j < 3; ++j) {
            const float u = dot(e[j], t), v = dot(e[j], b);
            w[0][0] += u * u;
            w[0][1] += u * v;
            w[2][2] += v * v;
            // Normal change along edge j, from the corner after it to the one before.
            const vec dn = n[f[(j + 2) % 3]] - n[f[(j + 1) % 3]];
            const float dnu = dot(dn, t), dnv = dot(dn, b);
            m[0] += dnu * u;
            m[1] += dnu * v + dnv * u;
            m[2] += dnv * v;
        }
        w[1][1] = w[0][0] + w[2][2];
        w[1][2] = w[0][1];
        float k[3];
        if (!solveSymmetric<3>(w, m, k))
            continue;
        for (int j = 0; j < 3; ++j) {
            const size_t vj = size_t(f[j]);
            const float pa = pointAreas[vj];
            if (!(pa > 0.0f))
                continue;
            float c1, c12, c2;
            projectCurvature(t, b, k[0], k[1], k[2], dir1[vj], dir2[vj], c1, c12, c2);
            const float wt = cornerAreas[i][j] / pa;
            majorCurvatures[vj] += wt * c1;
            kuv[vj] += wt * c12;
            minorCurvatures[vj] += wt * c2;
        }
    }

    for (size_t i = 0; i < nv; ++i)
        diagonalizeCurvature(dir1[i], dir2[i], majorCurvatures[i], kuv[i], minorCurvatures[i], n[i],
                             dir1[i], dir2[i], majorCurvatures[i], minorCurvatures[i]);
    tmMessage("Done.\n");
}
