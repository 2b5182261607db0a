#pragma once
// Pixel helpers shared by the tests that compare pictures.

#include "tests/support/Silhouette.h"

#include <QImage>
#include <QOpenGLWidget>

// The view's pixels as the screen shows them: the framebuffer has an alpha
// channel, so the grabbed image's bytes are reinterpreted rather than
// converted (conversion would un-premultiply).
inline QImage grabView(QOpenGLWidget* view)
{
    QImage image = view->grabFramebuffer();
    return QImage(image.constBits(), image.width(), image.height(), image.bytesPerLine(),
                  QImage::Format_RGB32)
        .copy();
}
