#pragma once
// Turntables: a scene rendered as frames while the camera orbits the
// vertical (+z) axis through the scene's centre, keeping its distance from
// that axis and its height. Frame k of n is turned by 360 * k / n degrees;
// frame 0 is the camera as it was, bit for bit, so it gives today's picture.
//
// Frames are saved under names made from a printf-style pattern with one
// integer conversion ("spin_%03d.png"); "%%" stands for a percent sign.

#include <QString>

namespace qglviewer {
class Camera;
class Vec;
} // namespace qglviewer

// The most frames a turntable may have.
constexpr int maxTurntableFrames = 100000;

// Turns `camera` for frame `frame` of `frames` about the vertical axis
// through `center` (only its x and y matter). The camera's distance from
// the axis, its height and its view relative to the axis stay as they were.
// A frame that is a whole turn (0, frames, ...) leaves the camera untouched.
void turnCamera(qglviewer::Camera& camera, const qglviewer::Vec& center, int frame, int frames);

// True when `pattern` holds exactly one conversion %d, %<width>d or
// %0<width>d (width 1 to 9) and no other '%' except "%%". Otherwise false
// with a sentence in `error`.
bool isFramePattern(const QString& pattern, QString* error = nullptr);

// The pattern with its conversion replaced by `frame` >= 0 (printf's rules for
// width and zero padding) and "%%" by '%'. The pattern must pass
// isFramePattern().
QString frameFileName(const QString& pattern, int frame);

// Reads "A-B" (or a single "A"): frames A to B of `frames`, 0 <= A <= B <
// frames. Returns false with a sentence in `error` otherwise.
bool parseFrameRange(const QString& text, int frames, int& first, int& last,
                     QString* error = nullptr);
