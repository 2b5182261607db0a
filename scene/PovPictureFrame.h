#pragma once
// The picture a render makes from the view. When the picture's shape
// differs from the view's, the picture shows the largest rectangle of its
// own shape centred in the view (the frame the view draws as a guide): the
// picture never shows more than the view, and is never stretched.

#include <QRect>
#include <QSize>

#include <QGLViewer/camera.h>

// The frame, in view pixels, that a picture of `picture` pixels covers in a
// view of `view` pixels. The whole view when either size is empty.
QRect pictureFrame(const QSize& view, const QSize& picture);

// The camera that renders that frame into `picture` pixels: the view's
// camera with the picture's size, its field of view narrowed when the
// picture is wider than the view (so the frame's top and bottom are the
// picture's).
qglviewer::Camera pictureCamera(const qglviewer::Camera& view, const QSize& picture);
