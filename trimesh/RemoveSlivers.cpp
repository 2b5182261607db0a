#include "trimesh/Message.h"
#include "trimesh/TriMesh.h"

#include <algorithm>

void TriMesh::removeLongSlivers()
{
    const float f = medianEdgeLength();
    const float L = (4.0f * f) * (4.0f * f);
    tmMessage("Removing faces... ");
    size_t kept = 0;
    for (size_t i = 0; i < faces.size(); ++i) {
        const Face& face = faces[i];
        const vec& p0 = vertices[size_t(face[0])];
        const vec& p1 = vertices[size_t(face[1])];
        const vec& p2 = vertices[size_t(face[2])];
        float e[3] = {dist2(p1, p0), dist2(p2, p1), dist2(p0, p2)};
        bool remove = false;
        if (!(e[0] < L && e[1] < L && e[2] < L)) {
            // c is the smallest squared edge; s is the squared cosine of the
            // angle opposite it, the face's smallest angle (law of cosines).
            std::sort(e, e + 3);
            const float c = e[0], a = e[1], b = e[2];
            const float s = (a + b - c) * (a + b - c) * c / (4.0f * a * b * c);
            remove = s >= 0.85f;
        }
        if (!remove)
            faces[kept++] = face;
    }
    const size_t removed = faces.size() - kept;
    faces.resize(kept);
    if (removed == 0)
        tmMessage("None removed.\n");
    else
        tmMessage("%d faces removed... Done.\n", int(removed));

    invalidate(Connectivity);
}
