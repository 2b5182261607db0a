#pragma once
// PovSceneState: everything of a scene an edit can change without adding or
// removing models: the materials, the lights, the lighting preset, the
// ground's visibility, each model's shading and each file's placement. An
// edit is undone by putting back the state from before it.

#include "scene/PovScene.h"

#include <vector>

struct PovSceneState {
    std::vector<PovTexture> textures;
    std::vector<PovLight> lights;
    bool outdoorLighting = true;
    PovStage stage;
    bool groundVisible = false;
    std::vector<bool> flat;               // per model
    std::vector<PovPlacement> placements; // per file

    static PovSceneState of(const PovScene& scene);
    // Gives the scene this state. The scene must have the models and files
    // it was taken from; shading changes rebuild display lists, so the
    // viewer's OpenGL context must be current.
    void applyTo(PovScene& scene) const;
    friend bool operator==(const PovSceneState& a, const PovSceneState& b);
    friend bool operator!=(const PovSceneState& a, const PovSceneState& b) { return !(a == b); }
};

bool sameTexture(const PovTexture& a, const PovTexture& b);
bool sameLight(const PovLight& a, const PovLight& b);
