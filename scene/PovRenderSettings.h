#pragma once
// PovRenderSettings: how a scene is rendered, as plain data. The main window
// keeps one for the session, the command line builds one from its options,
// and toJson()/fromJson() let a document store it. New fields get a default
// that keeps today's behaviour, and fromJson() leaves a missing key at its
// default, so older stored settings stay readable.

#include <QByteArray>
#include <QColor>
#include <QJsonObject>
#include <QSize>
#include <QString>

// How the writer puts a model's triangles into the scene text.
enum class PovMeshForm {
    Auto,      // triangles up to autoMeshFormLimit triangles, mesh2 above
    Triangles, // mesh { triangle {...} / smooth_triangle {...} ... }
    Mesh2,     // mesh2 { vertex_vectors ... face_indices ... }: parses far faster
};

// Scenes with more triangles than this (ground included) are written as
// mesh2 when the form is Auto.
constexpr long long autoMeshFormLimit = 100000;

// "auto", "triangles", "mesh2".
QString meshFormName(PovMeshForm form);
// The form named by `name` (as meshFormName writes it); false for any other
// text, with `form` untouched.
bool parseMeshForm(const QString& name, PovMeshForm& form);
// The form actually written for a scene of `triangles` triangles: Auto
// resolved, the others as they are.
PovMeshForm resolveMeshForm(PovMeshForm form, long long triangles);

// How much of a large model's detail the render gets.
enum class PovDetail {
    Auto, // a model with far more triangles than its pixels is written simplified (PovDetail.h)
    Full, // every triangle, always
};

// "auto", "full".
QString detailName(PovDetail detail);
// The detail named by `name`; false for any other text, `detail` untouched.
bool parseDetail(const QString& name, PovDetail& detail);

// How much work POV-Ray is asked for.
enum class PovQuality {
    Draft, // point lights, hard shadows, flat ambient light: the scene text as it always was
    Photo, // POV-Ray 3.7's own mode with gamma 1.0 and sRGB colours, area lights,
           // radiosity instead of the flat ambient light, antialiasing always on
};

// "draft", "photo".
QString qualityName(PovQuality quality);
// The quality named by `name`; false for any other text, `quality` untouched.
bool parseQuality(const QString& name, PovQuality& quality);

// What the picture shows where no model is.
enum class PovBackgroundKind {
    Black,       // POV-Ray's own background
    Colour,      // PovRenderSettings::backgroundColour
    Sky,         // a soft gradient sky, horizon to zenith; it lights Photo scenes
    Transparent, // alpha 0: POV-Ray's alpha output, a PNG picture with alpha
};

// "black", "colour", "sky", "transparent".
QString backgroundKindName(PovBackgroundKind kind);
bool parseBackgroundKind(const QString& name, PovBackgroundKind& kind);

// An sRGB-encoded colour component (0 to 1) as the linear value the ray
// tracer computes with.
double srgbToLinear(double encoded);

struct PovRenderSettings {
    // The picture is the 3D view's size, or `size` when useViewSize is off.
    bool useViewSize = true;
    QSize size = QSize(800, 600);
    // POV-Ray's adaptive antialiasing (+A<threshold>); the threshold is the
    // colour difference, 0 to 3, above which a pixel is supersampled.
    bool antialias = false;
    double antialiasThreshold = 0.3;
    PovMeshForm meshForm = PovMeshForm::Auto;
    PovDetail detail = PovDetail::Auto;
    PovQuality quality = PovQuality::Draft;
    PovBackgroundKind background = PovBackgroundKind::Black;
    // The colour of a Colour background as the user picked it (sRGB, as the
    // screen shows it); the picture shows this colour in either quality.
    QColor backgroundColour = QColor(255, 255, 255);

    // The soft sky's colours at the horizon and straight up (sRGB).
    static QColor skyHorizon() { return QColor(222, 232, 245); }
    static QColor skyZenith() { return QColor(96, 146, 214); }

    // The colour the 3D view clears to, so it shows what the picture will
    // have behind the models: black, the background colour, or the sky's
    // horizon colour; black for a transparent background.
    QColor viewBackground() const;
    // True when POV-Ray must write a picture with an alpha channel.
    bool alphaOutput() const { return background == PovBackgroundKind::Transparent; }
    // True when POV-Ray's antialiasing is on: asked for, or Photo quality.
    bool antialiasOn() const { return antialias || quality == PovQuality::Photo; }

    // Limits the values accept; the dialog and the command line use them.
    static constexpr int maxSide = 16384;
    static constexpr double maxThreshold = 3.0;

    // The picture size for a view of `viewSize`.
    QSize pictureSize(const QSize& viewSize) const;

    // The text of "POVRAY.INI": "+W<w> +H<h>\n", followed by
    // "+A<threshold>\n" (threshold in "%g" form) when antialiasing is on
    // (antialiasOn()).
    QByteArray iniText(const QSize& viewSize) const;
    // Writes iniText() to `fileName`, replacing it whole. Returns false with the
    // reason in `error` when the file cannot be written whole.
    bool writeIniFile(const QString& fileName, const QSize& viewSize,
                      QString* error = nullptr) const;
    // The same with the lines `more` after iniText(), in one write.
    bool writeIniFile(const QString& fileName, const QSize& viewSize, const QByteArray& more,
                      QString* error) const;

    QJsonObject toJson() const;
    // Reads what toJson() wrote; keys that are missing keep their defaults.
    // Returns false, with a sentence in `error` and `settings` untouched,
    // when a value is of the wrong type or out of range.
    static bool fromJson(const QJsonObject& json, PovRenderSettings& settings,
                         QString* error = nullptr);

    bool operator==(const PovRenderSettings& other) const;
    bool operator!=(const PovRenderSettings& other) const { return !(*this == other); }
};
