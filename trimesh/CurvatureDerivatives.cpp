// Derivative of curvature per vertex: the same per-face least-squares fit as
// for curvature, applied to the change of the vertices' curvature tensors.

#include "trimesh/CurvatureFrames.h"
#include "trimesh/Message.h"
#include "trimesh/TriMesh.h"

void TriMesh::needCurvatureDerivatives()
{
    const size_t nv = vertices.size();
    if (dcurv.size() == nv)
        return;
    needCurvatures();
    tmMessage("Computing dcurv... ");
    dcurv.assign(nv, Dcurv());
    const vec* p = vertices.data();
    const vec* dir1 = majorDirections.data();
    const vec* dir2 = minorDirections.data();

    for (size_t i = 0; i < faces.size(); ++i) {
        const Face& f = faces[i];
        const vec e[3] = {p[f[2]] - p[f[1]], p[f[0]] - p[f[2]], p[f[1]] - p[f[0]]};
        const vec t = normalized(e[0]);
        const vec b = normalized(cross(cross(e[0], e[1]), t));
        // Each corner's curvature tensor in the face frame.
        float fc[3][3];
        for (int j = 0; j < 3; ++j) {
            const size_t vj = size_t(f[j]);
            projectCurvature(dir1[vj], dir2[vj], majorCurvatures[vj], 0.0f, minorCurvatures[vj], t,
                             b, fc[j][0], fc[j][1], fc[j][2]);
        }
        float m[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        float w[4][4] = {};
        for (int j = 0; j < 3; ++j) {
            const float u = dot(e[j], t), v = dot(e[j], b);
            w[0][0] += u * u;
            w[0][1] += u * v;
            w[3][3] += v * v;
            const float* before = fc[(j + 2) % 3];
            const float* after = fc[(j + 1) % 3];
            const float dku = before[0] - after[0], dkuv = before[1] - after[1],
                        dkv = before[2] - after[2];
            m[0] += u * dku;
            m[1] += v * dku + 2.0f * u * dkuv;
            m[2] += 2.0f * v * dkuv + u * dkv;
            m[3] += v * dkv;
        }
        w[1][1] = 2.0f * w[0][0] + w[3][3];
        w[1][2] = 2.0f * w[0][1];
        w[2][2] = w[0][0] + 2.0f * w[3][3];
        w[2][3] = w[0][1];
        float d[4];
        if (!solveSymmetric<4>(w, m, d))
            continue;
        for (int j = 0; j < 3; ++j) {
            const size_t vj = size_t(f[j]);
            const float pa = pointAreas[vj];
            if (!(pa > 0.0f))
                continue;
            float vd[4];
            projectDcurv(t, b, d, dir1[vj], dir2[vj], vd);
            const float wt = cornerAreas[i][j] / pa;
            for (int k = 0; k < 4; ++k)
                dcurv[vj][k] += wt * vd[k];
        }
    }
    tmMessage("Done.\n");
}
