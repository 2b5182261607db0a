#include "scene/PovSceneState.h"

#include <algorithm>

bool sameTexture(const PovTexture& a, const PovTexture& b)
{
    return a.name == b.name && a.name.isNull() == b.name.isNull() && a.red == b.red &&
           a.green == b.green && a.blue == b.blue && a.diffuse == b.diffuse &&
           a.specular == b.specular && a.ambient == b.ambient && a.reflection == b.reflection &&
           a.roughness == b.roughness && a.metallic == b.metallic &&
           a.normalPattern == b.normalPattern && a.bumpSize == b.bumpSize &&
           a.normalScale == b.normalScale && a.image == b.image && a.transmit == b.transmit &&
           a.wrapU == b.wrapU && a.wrapV == b.wrapV && a.fromFile == b.fromFile;
}

bool sameLight(const PovLight& a, const PovLight& b)
{
    return a.position == b.position && a.azimuth == b.azimuth && a.elevation == b.elevation &&
           a.distance == b.distance && a.color == b.color && a.intensity == b.intensity;
}

PovSceneState PovSceneState::of(const PovScene& scene)
{
    PovSceneState state;
    state.textures = scene.textures;
    state.lights = scene.lights;
    state.outdoorLighting = scene.outdoorLighting;
    state.stage = scene.stage;
    state.groundVisible = scene.groundVisible;
    for (LnModel* model : scene.models) {
        state.flat.push_back(model->getMesh()->isFlat());
    }
    for (const PovSceneFile& file : scene.files) {
        state.placements.push_back(file.placement);
    }
    return state;
}

void PovSceneState::applyTo(PovScene& scene) const
{
    scene.textures = textures;
    scene.lights = lights;
    scene.outdoorLighting = outdoorLighting;
    scene.stage = stage;
    scene.groundVisible = groundVisible;
    for (size_t i = 0; i < flat.size() && i < scene.models.size(); ++i) {
        if (scene.models[i]->getMesh()->isFlat() != flat[i]) {
            scene.setFlatShading(int(i), flat[i]);
        }
    }
    bool moved = false;
    for (size_t f = 0; f < placements.size() && f < scene.files.size(); ++f) {
        if (scene.files[f].placement != placements[f]) {
            scene.files[f].placement = placements[f];
            moved = true;
        }
    }
    if (moved) {
        scene.updateBounds();
    }
}

bool operator==(const PovSceneState& a, const PovSceneState& b)
{
    return a.outdoorLighting == b.outdoorLighting && a.stage == b.stage &&
           a.groundVisible == b.groundVisible &&
           a.flat == b.flat && a.placements == b.placements &&
           std::equal(a.textures.begin(), a.textures.end(), b.textures.begin(), b.textures.end(),
                      sameTexture) &&
           std::equal(a.lights.begin(), a.lights.end(), b.lights.begin(), b.lights.end(),
                      sameLight);
}
