#include "scene/PovTurntable.h"

#include <QGLViewer/camera.h>
#include <QGLViewer/manipulatedCameraFrame.h>
#include <QGLViewer/quaternion.h>

#include <cmath>

void turnCamera(qglviewer::Camera& camera, const qglviewer::Vec& center, int frame, int frames)
{
    if (frames < 1 || frame % frames == 0) {
        return;
    }
    const double angle = 2.0 * M_PI * double(frame % frames) / double(frames);
    const qglviewer::Quaternion turn(qglviewer::Vec(0.0, 0.0, 1.0), angle);
    const qglviewer::Vec axis(center.x, center.y, 0.0);
    qglviewer::Frame* f = camera.frame();
    const qglviewer::Vec from = f->position() - axis;
    f->setPositionAndOrientation(axis + turn.rotate(from), turn * f->orientation());
}

namespace {

// The conversion of a pattern: where it starts and ends (one past 'd'),
// its width and whether it pads with zeros.
struct Conversion {
    int start = -1;
    int end = -1;
    int width = 0;
    bool zeros = false;
};

bool findConversion(const QString& pattern, Conversion& conversion, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    Conversion found;
    for (int i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != QLatin1Char('%')) {
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == QLatin1Char('%')) {
            ++i;
            continue;
        }
        int j = i + 1;
        Conversion c;
        c.start = i;
        if (j < pattern.size() && pattern[j] == QLatin1Char('0')) {
            c.zeros = true;
            ++j;
        }
        const int digits = j;
        while (j < pattern.size() && pattern[j].isDigit() && j - digits < 2) {
            c.width = 10 * c.width + pattern[j].digitValue();
            ++j;
        }
        if (j >= pattern.size() || pattern[j] != QLatin1Char('d') || j - digits > 1 ||
            (c.zeros && c.width == 0)) {
            return fail(
                QStringLiteral("'%1' has a '%' that is not %d, %3d, %03d or %%").arg(pattern));
        }
        c.end = j + 1;
        if (found.start >= 0) {
            return fail(QStringLiteral("'%1' has more than one frame number (%d)").arg(pattern));
        }
        found = c;
        i = j;
    }
    if (found.start < 0) {
        return fail(QStringLiteral("'%1' has no frame number: put %03d (or %d) where the "
                                   "frame number goes")
                        .arg(pattern));
    }
    conversion = found;
    return true;
}

} // namespace

bool isFramePattern(const QString& pattern, QString* error)
{
    Conversion c;
    return findConversion(pattern, c, error);
}

QString frameFileName(const QString& pattern, int frame)
{
    Conversion c;
    if (!findConversion(pattern, c, nullptr)) {
        return pattern;
    }
    auto unescape = [](QString text) {
        return text.replace(QLatin1String("%%"), QLatin1String("%"));
    };
    const QString number =
        QString::number(frame).rightJustified(c.width, QLatin1Char(c.zeros ? '0' : ' '));
    return unescape(pattern.left(c.start)) + number + unescape(pattern.mid(c.end));
}

bool parseFrameRange(const QString& text, int frames, int& first, int& last, QString* error)
{
    const QStringList parts = text.split(QLatin1Char('-'));
    bool okA = false, okB = false;
    const int a = parts.size() <= 2 ? parts[0].toInt(&okA) : -1;
    const int b = parts.size() == 2 ? parts[1].toInt(&okB) : a;
    if (parts.size() == 1) {
        okB = okA;
    }
    if (!okA || !okB || a < 0 || b < a || b >= frames) {
        if (error) {
            *error = QStringLiteral("--frames takes A-B with 0 <= A <= B <= %1 (the last of %2 "
                                    "frames), not '%3'")
                         .arg(frames - 1)
                         .arg(frames)
                         .arg(text);
        }
        return false;
    }
    first = a;
    last = b;
    return true;
}
