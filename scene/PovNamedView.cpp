#include "scene/PovNamedView.h"

#include <QGLViewer/camera.h>

#include <algorithm>
#include <cmath>

namespace {

struct ViewEntry {
    PovNamedView view;
    const char* name;
    const char* title;
};

const ViewEntry entries[] = {
    {PovNamedView::Front, "front", "Front"},
    {PovNamedView::Back, "back", "Back"},
    {PovNamedView::Left, "left", "Left"},
    {PovNamedView::Right, "right", "Right"},
    {PovNamedView::Top, "top", "Top"},
    {PovNamedView::Bottom, "bottom", "Bottom"},
    {PovNamedView::ThreeQuarter, "three-quarter", "Three-Quarter"},
};

const ViewEntry& entryOf(PovNamedView view)
{
    return *std::find_if(std::begin(entries), std::end(entries),
                         [view](const ViewEntry& e) { return e.view == view; });
}

// Three-Quarter's camera: 45 degrees round from the front towards the
// right, 30 degrees up.
constexpr double threeQuarterAzimuth = M_PI / 4.0;
constexpr double threeQuarterElevation = M_PI / 6.0;

} // namespace

const std::array<PovNamedView, 7>& namedViews()
{
    static const std::array<PovNamedView, 7> all = {
        PovNamedView::Front, PovNamedView::Back,   PovNamedView::Left,        PovNamedView::Right,
        PovNamedView::Top,   PovNamedView::Bottom, PovNamedView::ThreeQuarter};
    return all;
}

QString namedViewName(PovNamedView view) { return QString::fromLatin1(entryOf(view).name); }

QString namedViewTitle(PovNamedView view) { return QString::fromLatin1(entryOf(view).title); }

bool parseNamedView(const QString& name, PovNamedView& view)
{
    for (const ViewEntry& e : entries) {
        if (name.compare(QLatin1String(e.name), Qt::CaseInsensitive) == 0) {
            view = e.view;
            return true;
        }
    }
    return false;
}

PovViewAxes namedViewAxes(PovNamedView view)
{
    using qglviewer::Vec;
    switch (view) {
    case PovNamedView::Front:
        return {Vec(0, 1, 0), Vec(0, 0, 1)};
    case PovNamedView::Back:
        return {Vec(0, -1, 0), Vec(0, 0, 1)};
    case PovNamedView::Left:
        return {Vec(1, 0, 0), Vec(0, 0, 1)};
    case PovNamedView::Right:
        return {Vec(-1, 0, 0), Vec(0, 0, 1)};
    case PovNamedView::Top:
        return {Vec(0, 0, -1), Vec(0, 1, 0)};
    case PovNamedView::Bottom:
        return {Vec(0, 0, 1), Vec(0, -1, 0)};
    case PovNamedView::ThreeQuarter:
        break;
    }
    // The camera stands towards +x (right) and -y (front) and above; it
    // looks back at the centre, its up vector in the vertical plane.
    const double ca = std::cos(threeQuarterAzimuth), sa = std::sin(threeQuarterAzimuth);
    const double ce = std::cos(threeQuarterElevation), se = std::sin(threeQuarterElevation);
    return {Vec(-sa * ce, ca * ce, -se), Vec(-sa * se, ca * se, ce)};
}

qglviewer::Quaternion namedViewOrientation(PovNamedView view)
{
    // The camera's own axes: x to the right, y up, looking along -z.
    const PovViewAxes axes = namedViewAxes(view);
    qglviewer::Quaternion orientation;
    orientation.setFromRotatedBasis(cross(axes.direction, axes.up), axes.up, -axes.direction);
    return orientation;
}

qglviewer::Vec fittedCameraPosition(const qglviewer::Vec& direction, const qglviewer::Vec& center,
                                    double radius, double fieldOfView, double aspect)
{
    // As libQGLViewer's Camera::fitSphere computes it, so that Top gives
    // the loaded model's fit exactly.
    const double horizontal = 2.0 * std::atan(std::tan(fieldOfView / 2.0) * aspect);
    const double distance =
        std::max(radius / std::sin(fieldOfView / 2.0), radius / std::sin(horizontal / 2.0));
    return center - distance * direction;
}

void placeCamera(qglviewer::Camera& camera, PovNamedView view, const qglviewer::Vec& center,
                 double radius)
{
    camera.setSceneRadius(radius);
    camera.setSceneCenter(center);
    camera.setOrientation(namedViewOrientation(view));
    camera.setPosition(fittedCameraPosition(namedViewAxes(view).direction, center, radius,
                                            camera.fieldOfView(), camera.aspectRatio()));
}
