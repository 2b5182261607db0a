#pragma once
// Named views: the camera directions a user picks by name (View > Views,
// `--view NAME`), the same for the window, the command line and the
// thumbnails. World coordinates are +z up. Each view looks at the centre
// of a bounding sphere and is fitted to it as the view fits a loaded scene:
//
//   Front          looks along +y (sees the x-z face), +z up, +x to the right
//   Back           looks along -y, +z up, -x to the right
//   Left           looks along +x (sees the y-z face), +z up, -y to the right
//   Right          looks along -x, +z up, +y to the right
//   Top            looks along -z (sees the x-y face), +y up, +x to the right:
//                  the camera's starting direction, so the fit of a loaded
//                  model is the Top view
//   Bottom         looks along +z, -y up, +x to the right
//   Three-Quarter  from the front-right and above: the camera stands at
//                  azimuth 45 degrees from the front towards the right side
//                  and 30 degrees above the horizontal, +z up on the screen

#include <QGLViewer/quaternion.h>
#include <QGLViewer/vec.h>

#include <QString>

#include <array>

namespace qglviewer {
class Camera;
}

enum class PovNamedView { Front, Back, Left, Right, Top, Bottom, ThreeQuarter };

// Every named view, in the order the View menu lists them.
const std::array<PovNamedView, 7>& namedViews();

// The name `--view` takes ("front", ..., "three-quarter") and the menu's
// title ("Front", ..., "Three-Quarter").
QString namedViewName(PovNamedView view);
QString namedViewTitle(PovNamedView view);
// Reads a name of namedViewName (in any case); false for anything else.
bool parseNamedView(const QString& name, PovNamedView& view);

// The unit direction the camera looks along and its unit up vector
// (perpendicular to it) for the view.
struct PovViewAxes {
    qglviewer::Vec direction;
    qglviewer::Vec up;
};
PovViewAxes namedViewAxes(PovNamedView view);
// The camera orientation that looks along the view's direction with its
// up vector up (the identity for Top).
qglviewer::Quaternion namedViewOrientation(PovNamedView view);

// Where a perspective camera looking along `direction` (a unit vector)
// stands to see the whole sphere, as libQGLViewer's fit places it: on the
// line through the centre, far enough that the sphere fits both the
// vertical `fieldOfView` (radians) and the horizontal field of view a
// picture of `aspect` (width / height) gives.
qglviewer::Vec fittedCameraPosition(const qglviewer::Vec& direction, const qglviewer::Vec& center,
                                    double radius, double fieldOfView, double aspect);

// Turns `camera` to the view and fits it to the sphere, keeping its field
// of view and picture size; the sphere becomes the camera's scene sphere
// (which sets its clipping planes).
void placeCamera(qglviewer::Camera& camera, PovNamedView view, const qglviewer::Vec& center,
                 double radius);
