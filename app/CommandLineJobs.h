#pragma once
// The jobs the command line starts, one file each (JobRender.cpp,
// JobPreview.cpp, JobTurntable.cpp, JobBand.cpp, JobMerge.cpp,
// JobSceneFiles.cpp, JobInfo.cpp, JobThumbnail.cpp), and what they share:
// the one-line messages on standard error, loading the scene, applying the
// options. The parsing that fills CommandLineOptions is in CommandLine.cpp.
// Every job returns the exit status: 0 on success, 1 after saying why not.

#include "app/CommandLine.h"

#include <functional>

class PovScene;
struct PovSceneView;
struct PovBandInfo;
class QImage;
namespace qglviewer {
class Camera;
}

// ---- What the jobs share (JobSupport.cpp) ----

// One line on standard error, "kelvane: ...", naming the turntable frame
// being made when there is one.
void say(const QString& line);
// The turntable frame being made ("frame 3 of 8"); empty for a single
// picture.
void setCurrentPiece(const QString& piece);
const QString& currentPiece();

// True when an image can be written in the format of the name's suffix.
bool imageFormatKnown(const QString& fileName);
// Saves the image; false after saying why.
bool saveImage(const QImage& image, const QString& fileName);

// Loads a model file or a scene document and adds the models of the
// `imports`; `view` receives what a document records about the view
// (nothing for a model file), `read` the files read (the document, its
// model files, the imports). `notes`, when given, receives the document's
// warnings instead of standard error.
bool loadScene(PovScene& scene, const QString& path, const QStringList& imports,
               qglviewer::Camera* camera, PovSceneView& view, QStringList& read,
               QStringList* notes = nullptr);
// A scene document keeps its own ground and lighting; --ground and
// --indoor only add to it. --environment and --studio replace its lighting;
// --environment-turn and --environment-strength alone change its
// environment. False, after saying why, when the environment's image
// cannot be read.
bool applyOptions(PovScene& scene, const CommandLineOptions& options);
// The environment and studio part of applyOptions (JobStage.cpp).
bool applyStageOptions(PovScene& scene, const CommandLineOptions& options);
// A camera without a view for a picture of `size`, clipping as the
// window's view does.
void setUpCamera(qglviewer::Camera& camera, const QSize& size);
// Places the camera where a scene document recorded it.
void applyCamera(qglviewer::Camera* camera, const PovSceneView& view);
// The named view a run turns its camera to, when there is one: the view
// --view names; for a --turntable without --view, Three-Quarter when the
// scene has no camera of its own (none recorded in the document, none
// placed by the model file, which then left `camera` at its starting
// orientation), so that the frames circle the model rather than spin the
// picture of it seen from above. False for the fitted camera as loaded.
bool runView(const CommandLineOptions& options, const PovSceneView& view,
             const qglviewer::Camera& camera, PovNamedView& named);
// Fits the camera to the scene as the view fits it after a load, then
// places it where a scene document recorded it; or, for the named view of
// runView, turns it to that view fitted to the same sphere (with the
// document's field of view).
void fitCamera(const PovScene& scene, qglviewer::Camera& camera, const PovSceneView& view,
               const CommandLineOptions& options);
// The render settings a document recorded, under those the command line
// gives.
CommandLineOptions withDocumentSettings(const CommandLineOptions& options,
                                        const PovSceneView& view);

// ---- Turntables (JobTurntable.cpp) ----

// The files one frame makes; empty when not asked for.
struct FrameFiles {
    QString pov;
    QString render;
    QString preview;
};
// Calls `make` for the single picture, or for each turntable frame asked
// for with the camera turned to that frame and the names made from the
// patterns. Stops at the first frame `make` fails or whose files may not
// be written over `read`; the camera is left as it was given.
bool forEachFrame(const CommandLineOptions& options, qglviewer::Camera* camera,
                  const QStringList& read, const std::function<bool(const FrameFiles&)>& make);

// ---- Bands (JobBand.cpp) ----

// What the band's PNG records of the render, for the scene description
// "tempscene.pov" in the current folder and the settings used.
PovBandInfo bandOfRender(const CommandLineOptions& options, const QJsonObject& settings);
// POVRAY.INI's extra lines for the run: the band's rows, the threads.
QByteArray extraIniLines(const CommandLineOptions& options, const PovBandInfo& band);
// Cuts the band from POV-Ray's picture and saves it; false after saying why.
bool saveBand(const QImage& picture, const PovBandInfo& band, const CommandLineOptions& options,
              const QString& imageFile);

// ---- The jobs ----

// --pov and --render without a view (JobRender.cpp).
int runHeadless(const CommandLineOptions& options);
// Ray-traces the scene seen through `camera` and saves the picture or its
// band (JobRender.cpp); false after saying why. With `releaseScene` the
// scene is emptied once its text is written, before POV-Ray starts.
bool renderPicture(PovScene& scene, qglviewer::Camera* camera, const CommandLineOptions& options,
                   const QString& imageFile, bool releaseScene = false);
// Writes the scene description; false after saying why (JobRender.cpp).
bool writePov(PovScene& scene, qglviewer::Camera* camera, const QString& fileName,
              const PovRenderSettings& settings);
// --preview, with --pov and --render alongside (JobPreview.cpp); needs a
// QApplication.
int runWithView(const CommandLineOptions& options);
// --merge (JobMerge.cpp).
int runMerge(const CommandLineOptions& options);
// --scene-files and --copy-scene (JobSceneFiles.cpp).
int runSceneFiles(const CommandLineOptions& options);
int runCopyScene(const CommandLineOptions& options);
// --info (JobInfo.cpp).
int runInfo(const CommandLineOptions& options);
// --thumbnail (JobThumbnail.cpp).
int runThumbnail(const CommandLineOptions& options);
