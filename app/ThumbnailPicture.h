#pragma once
// A small picture of a scene drawn on the processor, for thumbnails: no
// OpenGL, so it needs no display (Qt finds no OpenGL context without one,
// neither on its offscreen platform nor through EGL, on the machines
// Kelvane is built for). Each model in its pigment colour, lit by a light
// over the viewer's left shoulder with both sides of a triangle lit alike,
// on a transparent background; edges are smoothed by drawing at twice the
// size and scaling down.

#include "trimesh/Vec.h"

#include <QImage>

#include <functional>
#include <vector>

namespace qglviewer {
class Camera;
}

// Above this many triangles a thumbnail is drawn at low detail: from an even
// sample of this many triangles, each grown to cover the ones left out,
// without the smoothing of the edges.
constexpr long long thumbnailTriangleLimit = 1000000;

// One model to draw: its triangles' corners and corner normals, and its
// colour.
struct ThumbnailModel {
    long long faces = 0;
    std::function<void(long long face, vec corner[3], vec normal[3])> face;
    float rgb[3] = {0.8f, 0.8f, 0.8f};
};

// The models seen through `camera`, whose screen must be `size` pixels
// square; a null image when there is not the memory for it.
QImage drawThumbnail(const std::vector<ThumbnailModel>& models, const qglviewer::Camera& camera,
                     int size);
