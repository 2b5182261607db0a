#include "app/ThumbnailPicture.h"

#include <QGLViewer/camera.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

namespace {

struct Projected {
    float x, y, z;
    bool visible;       // in front of the camera
    float light = 0.0f; // how lit the corner is, 0 to 1
};

// A square buffer of colours and depths.
class Canvas {
public:
    explicit Canvas(int side)
        : side(side), colour(size_t(side) * size_t(side), 0u),
          depth(size_t(side) * size_t(side), std::numeric_limits<float>::infinity())
    {
    }

    // Fills the triangle (screen x, y, depth z) with the colour `rgb` lit
    // as its corners are, where it is nearer than what is there.
    void fill(const Projected& a, const Projected& b, const Projected& c, const float rgb[3])
    {
        const float area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        if (!(std::fabs(area) > 1e-12f)) {
            return;
        }
        const float minX = std::min({a.x, b.x, c.x}), maxX = std::max({a.x, b.x, c.x});
        const float minY = std::min({a.y, b.y, c.y}), maxY = std::max({a.y, b.y, c.y});
        if (!(maxX >= 0.0f && maxY >= 0.0f && minX < float(side) && minY < float(side))) {
            return; // off the picture, or not a number
        }
        const int x0 = std::max(0, int(std::floor(minX))), x1 = std::min(side - 1, int(maxX));
        const int y0 = std::max(0, int(std::floor(minY))), y1 = std::min(side - 1, int(maxY));
        const float inverse = 1.0f / area;
        for (int y = y0; y <= y1; ++y) {
            const float py = float(y) + 0.5f;
            for (int x = x0; x <= x1; ++x) {
                const float px = float(x) + 0.5f;
                // Barycentric weights; all of one sign inside.
                const float wa = ((b.x - px) * (c.y - py) - (b.y - py) * (c.x - px)) * inverse;
                const float wb = ((c.x - px) * (a.y - py) - (c.y - py) * (a.x - px)) * inverse;
                const float wc = 1.0f - wa - wb;
                if (wa < 0.0f || wb < 0.0f || wc < 0.0f) {
                    continue;
                }
                const float z = wa * a.z + wb * b.z + wc * c.z;
                const size_t at = size_t(y) * size_t(side) + size_t(x);
                if (z < depth[at]) {
                    depth[at] = z;
                    const float lit = wa * a.light + wb * b.light + wc * c.light;
                    auto channel = [lit](float c) {
                        return quint32(std::clamp(int(255.0f * c * lit + 0.5f), 0, 255));
                    };
                    colour[at] = 0xff000000u | channel(rgb[0]) << 16 | channel(rgb[1]) << 8 |
                                 channel(rgb[2]);
                }
            }
        }
    }

    QImage image() const
    {
        QImage picture(side, side, QImage::Format_ARGB32);
        if (picture.isNull()) {
            return picture;
        }
        for (int y = 0; y < side; ++y) {
            std::copy_n(colour.data() + size_t(y) * size_t(side), side,
                        reinterpret_cast<quint32*>(picture.scanLine(y)));
        }
        return picture;
    }

private:
    int side;
    std::vector<quint32> colour;
    std::vector<float> depth;
};

} // namespace

QImage drawThumbnail(const std::vector<ThumbnailModel>& models, const qglviewer::Camera& camera,
                     int size)
{
    long long triangles = 0;
    for (const ThumbnailModel& model : models) {
        triangles += model.faces;
    }
    // Every stride-th triangle is drawn, grown about its middle to cover
    // about the area of the stride triangles it stands for.
    const long long stride =
        std::max(1LL, (triangles + thumbnailTriangleLimit - 1) / thumbnailTriangleLimit);
    const float grow = stride > 1 ? 1.6f * std::sqrt(float(stride)) : 1.0f;
    // Twice the size, for smooth edges, unless at low detail.
    const int side = stride > 1 ? size : size * 2;
    try {
        Canvas canvas(side);
        GLdouble mvp[16], mv[16];
        camera.getModelViewProjectionMatrix(mvp);
        camera.getModelViewMatrix(mv);
        auto project = [&](const vec& p) {
            const double x = p[0], y = p[1], z = p[2];
            const double w = mvp[3] * x + mvp[7] * y + mvp[11] * z + mvp[15];
            Projected out{0.0f, 0.0f, 0.0f, w > 1e-12};
            if (out.visible) {
                const double nx = (mvp[0] * x + mvp[4] * y + mvp[8] * z + mvp[12]) / w;
                const double ny = (mvp[1] * x + mvp[5] * y + mvp[9] * z + mvp[13]) / w;
                out.z = float((mvp[2] * x + mvp[6] * y + mvp[10] * z + mvp[14]) / w);
                out.x = float((nx * 0.5 + 0.5) * side);
                out.y = float((0.5 - ny * 0.5) * side);
            }
            return out;
        };
        // The light, in the camera's frame: from the upper left, behind the
        // viewer.
        vec light(-0.45f, 0.6f, 0.66f);
        normalize(light);
        // How lit a surface of that normal is, both of its sides alike. The
        // normal is taken to the camera's frame (the model-view matrix only
        // turns and moves).
        auto lightOf = [&](const vec& n) {
            const vec v(float(mv[0] * n[0] + mv[4] * n[1] + mv[8] * n[2]),
                        float(mv[1] * n[0] + mv[5] * n[1] + mv[9] * n[2]),
                        float(mv[2] * n[0] + mv[6] * n[1] + mv[10] * n[2]));
            const float length = len(v);
            return length > 0.0f ? 0.3f + 0.7f * std::fabs(dot(v, light)) / length : 0.3f;
        };
        for (const ThumbnailModel& model : models) {
            for (long long f = 0; f < model.faces; f += stride) {
                vec corner[3], normal[3];
                model.face(f, corner, normal);
                if (stride > 1) {
                    const vec middle = (corner[0] + corner[1] + corner[2]) / 3.0f;
                    for (vec& p : corner) {
                        p = middle + (p - middle) * grow;
                    }
                }
                Projected p[3];
                for (int k = 0; k < 3; ++k) {
                    p[k] = project(corner[k]);
                    p[k].light = lightOf(normal[k]);
                }
                if (p[0].visible && p[1].visible && p[2].visible) {
                    canvas.fill(p[0], p[1], p[2], model.rgb);
                }
            }
        }
        const QImage drawn = canvas.image();
        if (drawn.isNull()) {
            return drawn;
        }
        return drawn.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } catch (const std::bad_alloc&) {
        return QImage();
    }
}
