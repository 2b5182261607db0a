#pragma once
// Pixel helpers shared by the tests that compare pictures.

#include <QImage>
#include <QOpenGLWidget>
#include <QVector>

#include <cstdlib>

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

// True when no channel of `a` and `b` differs by more than `tolerance`.
inline bool closeColours(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// Pixels that differ from the picture's top-left corner (the background) by
// more than 2 in some channel. The view antialiases its edges and the
// renderer does not, so the view's silhouette is up to a pixel wider all
// round; the scenes are framed at sizes where that costs little.
inline QVector<bool> silhouette(const QImage& image)
{
    const QRgb corner = image.pixel(0, 0);
    QVector<bool> mask(image.width() * image.height());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            mask[y * image.width() + x] = !closeColours(image.pixel(x, y), corner, 2);
        }
    }
    return mask;
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
