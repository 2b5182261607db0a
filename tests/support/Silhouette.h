#pragma once
// Silhouettes of models in pictures (the view's or the renderer's), for the
// tests that compare pictures; no widgets needed.

#include <QImage>
#include <QRect>
#include <QVector>

#include <algorithm>
#include <cstdlib>

// True when no channel of `a` and `b` differs by more than `tolerance`.
inline bool closeColours(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
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

// Where a silhouette lies in its picture and which way it leans: its
// bounding box, the share of the box's outer fifth on each side that the
// silhouette covers, and how far down the box (0 top, 1 bottom) the
// silhouette's pixels in the left and in the right fifth lie on average.
struct Outline {
    QRect box;
    double top = 0.0, bottom = 0.0, left = 0.0, right = 0.0;
    double leftHeight = 0.5, rightHeight = 0.5;
    double aspect() const { return box.isEmpty() ? 0.0 : double(box.width()) / box.height(); }
};

inline Outline outline(const QImage& image)
{
    const QVector<bool> mask = silhouette(image);
    const int w = image.width();
    Outline o;
    for (int i = 0; i < mask.size(); ++i) {
        if (mask[i]) {
            o.box |= QRect(i % w, i / w, 1, 1);
        }
    }
    if (o.box.isEmpty()) {
        return o;
    }
    const QRect& b = o.box;
    const int fx = std::max(1, b.width() / 5), fy = std::max(1, b.height() / 5);
    // Covered share of the strip, and the mean row of its pixels.
    auto strip = [&](const QRect& r, double* height) {
        int n = 0;
        double rows = 0.0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                if (mask[y * w + x]) {
                    ++n;
                    rows += y;
                }
            }
        }
        if (height && n) {
            *height = (rows / n - b.top()) / std::max(1, b.height() - 1);
        }
        return double(n) / (r.width() * r.height());
    };
    o.top = strip(QRect(b.left(), b.top(), b.width(), fy), nullptr);
    o.bottom = strip(QRect(b.left(), b.bottom() + 1 - fy, b.width(), fy), nullptr);
    o.left = strip(QRect(b.left(), b.top(), fx, b.height()), &o.leftHeight);
    o.right = strip(QRect(b.right() + 1 - fx, b.top(), fx, b.height()), &o.rightHeight);
    return o;
}
