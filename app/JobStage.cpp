// The command line's environment and studio options applied to a loaded
// scene.

#include "app/CommandLine.h"
#include "app/CommandLineJobs.h"
#include "scene/PovScene.h"

#include <QFileInfo>

bool applyStageOptions(PovScene& scene, const CommandLineOptions& options)
{
    if (!options.environment.isEmpty() && options.studio) {
        say(QStringLiteral("--environment and --studio light the scene each their own way; "
                           "give one of them"));
        return false;
    }
    if (options.studio) {
        scene.setStudioLighting(options.studioColour.isValid() ? options.studioColour
                                                               : scene.stage.backdrop);
        return true;
    }
    if (!options.environment.isEmpty()) {
        const QString file = QFileInfo(options.environment).absoluteFilePath();
        QString why;
        const std::shared_ptr<const PovPanorama> panorama = PovPanorama::load(file, &why);
        if (!panorama) {
            say(QStringLiteral("cannot read the environment image '%1': %2")
                    .arg(options.environment, why));
            return false;
        }
        scene.setEnvironmentLighting(file, panorama, options.environmentTurn,
                                     options.environmentStrength);
        return true;
    }
    // A scene document's environment, turned or made stronger.
    if (scene.stage.environment()) {
        if (options.environmentTurnGiven) {
            scene.stage.turn = options.environmentTurn;
        }
        if (options.environmentStrengthGiven) {
            scene.stage.strength = options.environmentStrength;
        }
    }
    return true;
}
