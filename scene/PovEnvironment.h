#pragma once
// PovEnvironment: lighting a scene from an equirectangular panorama (a
// Radiance .hdr or OpenEXR .exr image), and the Studio preset's backdrop.
//
// The panorama's directions: its top row is straight up (+z), its bottom
// row straight down; across, the column at a share u of the width (0 at the
// left edge) looks towards (cos 2 pi u, -sin 2 pi u, 0) at the horizon, so
// the left edge faces +x and the quarter mark -y. That is how POV-Ray's
// spherical image map lies on a sphere stood upright (rotate x*90); the
// environment's turn then rotates it about +z (counter-clockwise seen from
// above). The view, the render and the lighting taken from the image all
// use these directions.
//
// The image is read once when it is chosen: the view keeps a small copy to
// show behind the models and a coarser grid of cells to light from; the
// render decodes it again and writes a copy scaled by the strength beside
// the scene text.

#include "trimesh/Vec.h"

#include <QColor>
#include <QString>

#include <array>
#include <memory>
#include <vector>

class PovScene;

// The largest panorama accepted: 16384 x 8192 pixels (512 MB of decoded
// floats at most would be needed; larger images are refused before
// decoding).
constexpr int mostPanoramaWidth = 16384;
constexpr int mostPanoramaHeight = 8192;

// Decoded linear RGB floats, row by row from the top.
struct PovImageRgb {
    int width = 0;
    int height = 0;
    std::vector<float> rgb;
    const float* pixel(int x, int y) const { return &rgb[3 * (size_t(y) * size_t(width) + size_t(x))]; }
};

// Reads the .hdr or .exr image `file` (by its content: a Radiance header or
// the OpenEXR magic number). False with the reason in `error` for a missing,
// unreadable, truncated, not-a-panorama or too large image; no pixel memory
// is taken before the size is known to be within the limits.
bool readPanoramaImage(const QString& file, PovImageRgb& image, QString* error);

// Writes `image` times `scale` as a Radiance RGBE .hdr file (uncompressed
// scanlines). False with the reason in `error`.
bool writeRadianceHdr(const QString& file, const PovImageRgb& image, float scale,
                      QString* error);

// A directional light taken from the panorama: the direction towards it and
// the colour a surface facing it receives, in the ray tracer's units (a
// matte white surface facing it shows this colour).
struct PovEnvironmentLight {
    vec direction;
    vec colour;
};

// What lighting from the panorama needs, for one turn and strength.
struct PovEnvironmentLighting {
    // The irradiance over pi as nine spherical-harmonic coefficients (bands
    // 0 to 2, each already weighted by its band's convolution factor), of
    // all the panorama but the dominant light's region: a matte white
    // surface with normal n shows sum_i sh[i] * Y_i(n) from it, with
    // Y = (1, y, z, x, xy, yz, 3z^2-1, xz, x^2-y^2) times their constants
    // (see shBasis).
    std::array<vec, 9> sh;
    // The brightest region as one light.
    PovEnvironmentLight dominant;
    // The whole panorama as a few lights (Draft renders), each the energy
    // of a region of about equal energy, cut where the light is.
    std::vector<PovEnvironmentLight> lights;
};

// The basis Y_i(n) the coefficients are for.
std::array<float, 9> shBasis(const vec& n);

// A panorama read and reduced: what the view shows and lights with.
class PovPanorama {
public:
    // Reads the image and keeps its reductions. Null, with the reason in
    // `error`, when readPanoramaImage refuses it.
    static std::shared_ptr<const PovPanorama> load(const QString& file, QString* error);
    // Built from decoded pixels (tests, and load()).
    static std::shared_ptr<const PovPanorama> fromImage(const PovImageRgb& image);

    // The panorama reduced to at most 1024 x 512 for the view: preview()
    // gives it as 8-bit sRGB, times `strength` and clipped as the render
    // shows it, rows from the top.
    std::vector<unsigned char> preview(float strength) const;
    int previewWidth() const { return small.width; }
    int previewHeight() const { return small.height; }

    PovEnvironmentLighting lighting(float turnDegrees, float strength) const;

    // The direction of the panorama point (u, v), v = 0 at the top, for a
    // turn of `turnDegrees`.
    static vec direction(double u, double v, double turnDegrees);

private:
    PovImageRgb small; // for the view's background
    PovImageRgb cells; // for the lighting
};

// How the scene is lit beyond its lamps.
enum class PovStageKind {
    Lamps,       // the scene's lights alone (outdoor or indoor)
    Environment, // the panorama, as sky and light; the scene's lights are not used
    Studio,      // the backdrop, with the key, fill and rim lights in the scene's lights
};

struct PovStage {
    PovStageKind kind = PovStageKind::Lamps;
    // The panorama's file (absolute), its turn about +z in degrees and the
    // factor its values are multiplied by.
    QString environmentFile;
    double turn = 0.0;
    double strength = 1.0;
    // The panorama as read; null when none is chosen.
    std::shared_ptr<const PovPanorama> panorama;
    // The backdrop's colour, as the user picked it (sRGB).
    QColor backdrop = QColor(235, 235, 235);

    bool environment() const { return kind == PovStageKind::Environment && panorama; }
    bool studio() const { return kind == PovStageKind::Studio; }
    friend bool operator==(const PovStage& a, const PovStage& b);
    friend bool operator!=(const PovStage& a, const PovStage& b) { return !(a == b); }
};

// The strength and turn accepted by the command line and documents.
constexpr double mostEnvironmentStrength = 1000.0;

// The name the render's copy of the panorama gets beside the scene text.
inline const char* environmentCopyName() { return "kelvane-environment.hdr"; }

// The studio backdrop: a floor under the models that curves up into a wall
// behind them, fixed in the scene: the wall stands on the +y side (behind
// the models for a camera looking along +y, as the front view does), the
// floor at the models' lowest point, everything sized from the models'
// placed bounding box so it reaches past the picture for any fitted view.
struct PovBackdrop {
    std::vector<vec> positions; // three per triangle
    std::vector<vec> normals;   // per corner, facing the models
    vec low, high;              // its own bounding box
};
// The backdrop's surface: the picked colour, matte, with the scene's
// ambient level `ambient`.
class PovTexture;
PovTexture backdropTexture(const PovStage& stage, float ambient);

// The models' placed bounding box (the ground left out); false for a scene
// without a finite corner.
bool modelBox(const PovScene& scene, vec& low, vec& high);
PovBackdrop studioBackdrop(const PovScene& scene);
