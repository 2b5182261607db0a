#pragma once
// LnLineSettings: what the feature lines of a scene look like, shared by the
// view, the POV-Ray writer and the command line. A plain value: which kinds
// the extractor computes, its thresholds, and the line's colour, width and
// fading.

#include "ln/LnModel.h"

#include <string>

struct LnLineSettings {
    bool shown = false; // View > Show Feature Lines; off by default

    // Kinds the extractor computes for smooth models. The lines an NPR file
    // carries are drawn whatever these say.
    bool contours = true;
    bool suggestive = true;
    bool ridges = false;
    bool valleys = false;
    bool isophotes = false;

    // The extractor's thresholds (same meaning and defaults as its own).
    float derivativeThreshold = 0.01f;
    float ridgeThreshold = 0.1f;
    int isophoteCount = 8;

    vec color = vec(0.0f, 0.0f, 0.0f); // red, green, blue in [0, 1]
    float width = 2.0f;                // in pixels on the screen or picture
    bool fade = true;                  // a point's strength fades its line

    bool operator==(const LnLineSettings& other) const;
    bool operator!=(const LnLineSettings& other) const { return !(*this == other); }

    // Hands the kinds and thresholds to an extractor.
    void applyTo(LnExtractor& extractor) const;

    // The limits every producer of settings keeps to.
    static constexpr float minWidth = 0.5f;
    static constexpr float maxWidth = 32.0f;
    static constexpr int maxIsophoteCount = 64;
};

// Parses a comma-separated list of kinds ("contours", "suggestive",
// "ridges", "valleys", "isophotes"; case ignored, blanks around names
// allowed) into the five kind flags, which it sets exactly. On failure
// returns false with a sentence for the user in `error` and leaves the
// settings unchanged.
bool parseLineKinds(const std::string& text, LnLineSettings& settings, std::string& error);

// The lines of one model seen from `viewpoint` (in the model's frame) with
// the given light direction: a smooth model extracts them anew with the
// settings' kinds and thresholds into its own path list; a boxy model
// answers the lines read from its file. The list belongs to the model and
// is valid until its next extraction.
LnPathList& featureLines(LnModel& model, const LnLineSettings& settings, const vec& viewpoint,
                         const vec& lightDirection);

// The strength of point k of a path, in [0, 1]: its "strength" attribute,
// or 1 when the attribute is not registered.
float pointStrength(const LnPath& path, size_t k);
