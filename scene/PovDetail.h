#pragma once
// Automatic render detail. A model with far more triangles than the picture
// has pixels for it (more than trianglesPerPixelLimit per pixel it may
// cover) is written for POV-Ray as a simplified copy: edges are collapsed
// down to keptTrianglesPerPixel per pixel it may cover (never fewer than
// minimumDetailTarget), and never where the surface would move by more
// than detailPixelError of a pixel at the model's nearest point (unless
// that would keep more than four times the target: see trimesh/Simplify.h).
// The kept
// vertices keep their own positions and take the mean of the normals
// around them (see trimesh/Simplify.h). One ray per pixel then
// sees a picture that cannot be told from the full-detail one (the test on
// real scans: a mean difference under 1 grey level, at most 0.5% of the
// pixels off by more than 16), while POV-Ray reads a fraction of the text.
//
// The pixels a model may cover are those of its bounding sphere's outline
// (at most the whole picture), which never undercounts.
//
// Only smooth models (the triangle-mesh toolkit's) of at least
// minimumDetailTriangles triangles are simplified; every other model is
// written as it always was, byte for byte.

#include "ln/LnModel.h"
#include "scene/PovRenderSettings.h"

struct SimplifiedMesh;

#include <QSize>
#include <QString>

#include <memory>
#include <vector>

class PovScene;
namespace qglviewer {
class Camera;
}

constexpr double trianglesPerPixelLimit = 4.0;
constexpr double keptTrianglesPerPixel = 4.0;
constexpr long long minimumDetailTarget = 20000;
constexpr long long minimumDetailTriangles = 2 * minimumDetailTarget;
// Small, because the normals carry more than the positions: ripples a
// quarter of a pixel deep but a few pixels long still shade visibly.
constexpr double detailPixelError = 0.05;

// What automatic detail does to one model of a scene.
struct PovDetailPlan {
    int model = 0;          // index in PovScene::models
    long long triangles = 0; // the model's own
    long long target = 0;    // at most this many are written
    float maxError = 0.0f;   // the largest surface movement, in the model's own units
};

// The models automatic detail simplifies for a picture of `picture` pixels
// through `camera`, with their budgets; empty when `settings` ask for full
// detail or no model is large enough for it.
std::vector<PovDetailPlan> povDetailPlan(const PovScene& scene, qglviewer::Camera* camera,
                                         const PovRenderSettings& settings);

// The simplified copy of the plan's model, ready for the writer (it draws
// nothing); null when the model is not a smooth one or the memory is not
// there (the model is then written whole).
std::unique_ptr<LnMesh> povDetailMesh(const PovScene& scene, const PovDetailPlan& plan);

// The lists of a copy povDetailMesh made, for the large-mesh writer; null
// for any other mesh.
const SimplifiedMesh* povDetailCopy(LnMesh* mesh);

// The sentence saying which detail a render uses: "Automatic detail: 1
// model of 10,000,000 triangles is rendered with at most 240,000
// (--detail full renders them all)." or "Full detail: every triangle is
// rendered."; empty when no model is large enough for the choice to matter.
QString povDetailSentence(const PovScene& scene, qglviewer::Camera* camera,
                          const PovRenderSettings& settings);
