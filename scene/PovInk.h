#pragma once
// Feature lines as POV-Ray ink: every polyline of the scene's models,
// extracted for the render's camera, becomes thin tubes (a sphere at each
// point, a cone along each segment) in one union that carries the declared
// INK texture (the line colour, emitted, no highlights) and casts no shadow.
//
// Width rule: a tube's radius is half the line width in pixels times the
// size of one picture pixel at the tube centre's distance from the camera,
// so the tube covers the chosen width in the picture wherever the line lies
// (a little more towards the picture's corners). Each point
// is pulled toward the camera along its line of sight (to a fraction
// `inkPull` closer), which keeps its place in the picture while lifting the
// tube off the surface it lies on. With fading on, a point's radius is
// scaled by its strength, and points whose strength is below `inkFadeCut`
// are left out.

#include "scene/PovScene.h"

#include <string>

namespace qglviewer {
class Camera;
}

// What of the camera the ink needs.
struct InkView {
    vec eye;
    vec forward;                // unit viewing direction
    float pixelPerDepth = 0.0f; // picture pixel size per unit of depth
};

constexpr float inkPull = 0.01f;
constexpr float inkFadeCut = 0.25f;

// The ink view of a camera: its position and direction, and a pixel size
// from its horizontal field of view over its screen width (the picture the
// writer describes has the camera's screen proportions).
InkView inkView(const qglviewer::Camera& camera);

// The direction lines are lit from for isophotes: towards the first light,
// unit length; +z without lights.
vec lineLightDirection(const PovScene& scene);

// Appends the INK declaration and the union of tubes for every model but
// the ground (smooth models are extracted anew for the view's eye with the
// scene's line settings). Writes nothing when no tube results.
void appendInk(std::string& out, const PovScene& scene, const InkView& view);
