#pragma once
// Pixel helpers shared by the tests that compare pictures.

#include <QImage>
#include <QOpenGLWidget>
#include <QVector>

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

// Pixels set in both masks over pixels set in either; 0 when both are empty.
inline double intersectionOverUnion(const QVector<bool>& a, const QVector<bool>& b)
{
    int both = 0, either = 0;
    for (int i = 0; i < a.size(); ++i) {
        both += a[i] && b[i];
        either += a[i] || b[i];
    }
    return either ? double(both) / either : 0.0;
}
