#pragma once
// The headless command line:
//
//   kelvane --pov FILE [options] SCENE      write the POV-Ray scene description
//   kelvane --render IMAGE [options] SCENE  ray-trace with POV-Ray, save the picture
//   kelvane --preview IMAGE [options] SCENE save what the OpenGL view shows
//   kelvane --merge IMAGE BAND...           put rendered bands together
//   kelvane --scene-files SCENE             list the files the scene needs
//   kelvane --copy-scene FOLDER SCENE       copy them, to render elsewhere
//   kelvane --info [--json] SCENE           models, bounds, camera, warnings
//   kelvane --thumbnail SIZE SCENE PNG      a small picture, without a display
//
// SCENE is a model file or a scene document (.kelvane, see
// scene/PovSceneDocument.h), which brings its camera, lights and materials;
// --import FILE (repeatable) adds a model file's models to it. A scene with
// imports and nothing to make opens in the window.
// options: --size WxH (default 800x600), --ground, --indoor, --environment
// FILE, --environment-turn DEGREES, --environment-strength S, --studio,
// --studio-colour COLOUR, --file-colours,
// --view NAME (front, back, left, right, top, bottom, three-quarter),
// --lines KINDS and --line-width PIXELS (feature lines in the view and as ink
// in the POV-Ray scene), --mesh-form triangles|mesh2|auto, --antialias,
// --antialias-threshold T, --quality draft|photo, --background
// black|sky|transparent|COLOUR, --timeout SECONDS, --turntable N with
// --frames A-B (IMAGE and FILE are then patterns such as spin_%03d.png),
// --band I/N, --threads N; also --help and --version. Every option's value
// may follow it or be joined to it (--size=640x480); the options are
// listed once, in CommandLine.cpp's table, which --help is made from.
// The modes combine in one run and share one camera, fitted as
// the view fits it after a load. --pov and --render need no display;
// --preview needs an X server (xvfb-run -a on a headless machine).

#include "ln/LnLineSettings.h"
#include "scene/PovNamedView.h"
#include "scene/PovRenderSettings.h"

#include <QColor>
#include <QSize>
#include <QString>
#include <QStringList>

struct CommandLineOptions {
    QString povFile;
    QString renderImage;
    QString previewImage;
    QString scene;
    // --import: model files whose models are added to the scene, in order.
    QStringList imports;
    // A scene and its imports given without a picture to make: the window
    // opens with them.
    bool openWindow = false;
    QSize size = QSize(800, 600);
    bool ground = false;
    bool indoor = false;
    bool fileColours = false;
    // --environment FILE: light from the panorama, turned environmentTurn
    // degrees about +z, its values times environmentStrength (each given
    // alone changes a scene document's environment).
    QString environment;
    double environmentTurn = 0.0;
    double environmentStrength = 1.0;
    bool environmentTurnGiven = false;
    bool environmentStrengthGiven = false;
    // --studio: the studio lighting and backdrop, in studioColour when
    // --studio-colour is given (it implies --studio).
    bool studio = false;
    QColor studioColour;
    LnLineSettings lines; // shown when --lines is given
    // Antialiasing, mesh form, quality and background for --pov and --render
    // (the background also for --preview); the picture size is `size`.
    PovRenderSettings render;
    // The render settings given on the command line, as PovRenderSettings
    // JSON keys: they win over what a scene document records.
    QJsonObject renderGiven;
    int timeoutSeconds = -1; // --render's limit on POV-Ray's run; -1: none
    // --view: the camera turned to a named view and fitted, in place of
    // the loaded scene's (or a document's) camera.
    bool viewGiven = false;
    PovNamedView view = PovNamedView::Top;
    // A turntable of turntableFrames frames (0: a single picture), of which
    // firstFrame to lastFrame are made.
    int turntableFrames = 0;
    int firstFrame = 0;
    int lastFrame = -1;
    // Band `band` of `bands` (1-based) of the picture; 0: the whole picture.
    int band = 0;
    int bands = 0;
    int threads = 0;    // POV-Ray's render threads (+WT); 0: its default
    QString mergeImage; // --merge: the picture assembled from mergeParts
    QStringList mergeParts;
    bool listSceneFiles = false; // --scene-files
    QString copyFolder;          // --copy-scene: where the scene is copied
    bool info = false;           // --info: what the scene holds
    bool json = false;           // --json: --info's facts as JSON
    int thumbnailSize = 0;       // --thumbnail: the picture's largest side
    QString thumbnailImage;      // --thumbnail: the PNG written
    bool help = false;
    bool version = false;
};

// The arguments after the program name, decoded as the system encodes
// them.
QStringList programArguments(int argc, char* argv[]);

// True when a window can be shown: an X11 or Wayland display is named, or
// Qt is told which platform to use (QT_QPA_PLATFORM).
bool displayAvailable();

// True when the arguments (without the program name) ask for the command
// line rather than the window: any of them starts with "--".
bool isCommandLineRequest(const QStringList& arguments);

// Parses the arguments (without the program name). On failure returns false
// with one line for the user in `error`.
bool parseCommandLine(const QStringList& arguments, CommandLineOptions& options, QString& error);

// The text printed by --help.
QString commandLineHelp();

// Runs the command line; argc/argv are main's. Returns the exit status: 0 on
// success, 1 with one line on standard error for every failure, 2 for bad
// arguments.
int runCommandLine(int argc, char* argv[]);

// Opens the window (WindowStart.cpp) with `scene`, when given, and the
// models of `imports` added to it; returns when the window closes.
int runWindow(int argc, char* argv[], const QString& scene, const QStringList& imports);
