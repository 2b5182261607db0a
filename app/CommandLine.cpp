#include "app/CommandLine.h"

#include "app/CommandLineJobs.h"
#include "app/InstallPaths.h"
#include "scene/PovBand.h"
#include "scene/PovTurntable.h"
#include "viewer/GLViewer.h"

#include <QApplication>
#include <QColor>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

const char* const versionText = "kelvane " KELVANE_VERSION;

// What parsing builds beside the options: texts checked once every option
// is known (a band needs the picture's height, a frame range the frames).
struct ParseState {
    CommandLineOptions& options;
    QString framesText;
    QString bandText;
};

// One option of the command line: its names, the name of its value (none
// for a switch), its line in --help with its default, and what it does to
// the options. Adding an option is adding one entry to optionTable().
struct OptionEntry {
    QStringList names;    // the last is the long name, such as "size"
    QString valueName;    // such as "WxH"; empty for a switch
    QString description;  // for --help
    QString defaultValue; // for --help; empty when there is none to name
    // Said when the option ends the command line without its value; when
    // empty, `apply` is given an empty value and says what is wrong.
    QString missing;
    // Applies one occurrence of the option (a value option given twice is
    // applied twice, in order); false with a line for the user in `error`.
    std::function<bool(const QString& value, ParseState& state, QString& error)> apply;
};

using Apply = std::function<bool(const QString&, ParseState&, QString&)>;

// An option whose value is a file name, stored in the member `target`.
Apply fileName(const QString& option, QString CommandLineOptions::*target)
{
    return [option, target](const QString& value, ParseState& state, QString& error) {
        if (value.isEmpty()) {
            error = QStringLiteral("%1 needs a file name").arg(option);
            return false;
        }
        state.options.*target = value;
        return true;
    };
}

// An option whose value is a whole number from `low` to `high`.
Apply wholeNumber(const QString& option, int low, int high, const QString& what,
                  int CommandLineOptions::*target)
{
    return [=](const QString& value, ParseState& state, QString& error) {
        bool ok = false;
        const int n = value.toInt(&ok);
        if (!ok || n < low || n > high) {
            error =
                QStringLiteral("%1 takes %2 from %3 to %4").arg(option, what).arg(low).arg(high);
            return false;
        }
        state.options.*target = n;
        return true;
    };
}

// An option whose value is a number from `low` to `high`; `given` notes
// that it was given.
Apply decimalNumber(const QString& option, double low, double high, const QString& what,
                    double CommandLineOptions::*target, bool CommandLineOptions::*given)
{
    return [=](const QString& value, ParseState& state, QString& error) {
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (!ok || !(d >= low && d <= high)) {
            error =
                QStringLiteral("%1 takes %2 from %3 to %4").arg(option, what).arg(low).arg(high);
            return false;
        }
        state.options.*target = d;
        state.options.*given = true;
        return true;
    };
}

// A switch setting the member `target`.
Apply flag(bool CommandLineOptions::*target)
{
    return [target](const QString&, ParseState& state, QString&) {
        state.options.*target = true;
        return true;
    };
}

bool applySize(const QString& size, ParseState& state, QString& error)
{
    const QStringList parts = size.split(QLatin1Char('x'));
    bool okW = false, okH = false;
    const int w = parts.size() == 2 ? parts[0].toInt(&okW) : 0;
    const int h = parts.size() == 2 ? parts[1].toInt(&okH) : 0;
    if (!okW || !okH || w < 1 || h < 1 || w > 16384 || h > 16384) {
        error =
            QStringLiteral("--size takes WIDTHxHEIGHT in pixels (1 to 16384), not '%1'").arg(size);
        return false;
    }
    state.options.size = QSize(w, h);
    return true;
}

bool applyLines(const QString& kinds, ParseState& state, QString& error)
{
    std::string why;
    if (!parseLineKinds(kinds.toStdString(), state.options.lines, why)) {
        error = QStringLiteral("--lines: %1").arg(QString::fromStdString(why));
        return false;
    }
    state.options.lines.shown = true;
    return true;
}

bool applyLineWidth(const QString& text, ParseState& state, QString& error)
{
    bool ok = false;
    const float width = text.toFloat(&ok);
    if (!ok || !(width >= LnLineSettings::minWidth && width <= LnLineSettings::maxWidth)) {
        error = QStringLiteral("--line-width takes a width in pixels from %1 to %2, not '%3'")
                    .arg(double(LnLineSettings::minWidth))
                    .arg(double(LnLineSettings::maxWidth))
                    .arg(text);
        return false;
    }
    state.options.lines.width = width;
    return true;
}

bool applyMeshForm(const QString& name, ParseState& state, QString& error)
{
    CommandLineOptions& options = state.options;
    if (!parseMeshForm(name, options.render.meshForm)) {
        error = QStringLiteral("--mesh-form takes triangles, mesh2 or auto");
        return false;
    }
    options.renderGiven.insert(QStringLiteral("meshForm"), name);
    return true;
}

bool applyDetail(const QString& name, ParseState& state, QString& error)
{
    CommandLineOptions& options = state.options;
    if (!parseDetail(name, options.render.detail)) {
        error = QStringLiteral("--detail takes auto or full");
        return false;
    }
    options.renderGiven.insert(QStringLiteral("detail"), name);
    return true;
}

bool applyAntialias(const QString&, ParseState& state, QString&)
{
    state.options.render.antialias = true;
    state.options.renderGiven.insert(QStringLiteral("antialias"), true);
    return true;
}

bool applyThreshold(const QString& text, ParseState& state, QString& error)
{
    bool ok = false;
    const double t = text.toDouble(&ok);
    if (!ok || !(t >= 0.0 && t <= PovRenderSettings::maxThreshold)) {
        error = QStringLiteral("--antialias-threshold takes a number from 0 to 3, such as 0.3");
        return false;
    }
    CommandLineOptions& options = state.options;
    options.render.antialias = true;
    options.render.antialiasThreshold = t;
    options.renderGiven.insert(QStringLiteral("antialias"), true);
    options.renderGiven.insert(QStringLiteral("antialiasThreshold"), t);
    return true;
}

bool applyQuality(const QString& name, ParseState& state, QString& error)
{
    CommandLineOptions& options = state.options;
    if (!parseQuality(name, options.render.quality)) {
        error = QStringLiteral("--quality takes draft or photo");
        return false;
    }
    options.renderGiven.insert(QStringLiteral("quality"), qualityName(options.render.quality));
    return true;
}

bool applyBackground(const QString& name, ParseState& state, QString& error)
{
    CommandLineOptions& options = state.options;
    PovBackgroundKind kind = PovBackgroundKind::Black;
    const QColor colour(name);
    if (name != QLatin1String("colour") && parseBackgroundKind(name, kind)) {
        options.render.background = kind;
    } else if (!name.isEmpty() && colour.isValid()) {
        options.render.background = PovBackgroundKind::Colour;
        options.render.backgroundColour = colour;
    } else {
        error = QStringLiteral("--background takes black, sky, transparent or a colour "
                               "such as white or #336699");
        return false;
    }
    options.renderGiven.insert(QStringLiteral("background"),
                               backgroundKindName(options.render.background));
    options.renderGiven.insert(QStringLiteral("backgroundColour"),
                               options.render.backgroundColour.name());
    return true;
}

bool applyTimeout(const QString& text, ParseState& state, QString& error)
{
    bool ok = false;
    const int seconds = text.toInt(&ok);
    if (!ok || seconds < 1) {
        error = QStringLiteral("--timeout takes a whole number of seconds, 1 or more");
        return false;
    }
    state.options.timeoutSeconds = seconds;
    return true;
}

bool applyView(const QString& name, ParseState& state, QString& error)
{
    if (!parseNamedView(name, state.options.view)) {
        QStringList names;
        for (PovNamedView view : namedViews()) {
            names << namedViewName(view);
        }
        error =
            QStringLiteral("--view takes %1 or %2, not '%3'")
                .arg(names.mid(0, names.size() - 1).join(QStringLiteral(", ")), names.last(), name);
        return false;
    }
    state.options.viewGiven = true;
    return true;
}

const std::vector<OptionEntry>& optionTable()
{
    static const std::vector<OptionEntry> table = {
        {{"h", "help"}, {}, "show this text", {}, {}, flag(&CommandLineOptions::help)},
        {{"version"}, {}, "show the version", {}, {}, flag(&CommandLineOptions::version)},
        {{"pov"},
         "FILE",
         "write the POV-Ray scene description to FILE",
         {},
         {},
         fileName("--pov", &CommandLineOptions::povFile)},
        {{"render"},
         "IMAGE",
         "ray-trace the scene with POV-Ray and save the picture (format from the suffix: "
         ".png, .bmp, .jpg)",
         {},
         {},
         fileName("--render", &CommandLineOptions::renderImage)},
        {{"preview"},
         "IMAGE",
         "save what the OpenGL view shows, for the same camera; needs a display (on a "
         "headless machine run it under xvfb-run\u00a0-a kelvane --preview ...)",
         {},
         {},
         fileName("--preview", &CommandLineOptions::previewImage)},
        {{"size"},
         "WxH",
         "picture size in pixels",
         "800x600",
         "--size needs a size such as 800x600",
         applySize},
        {{"view"},
         "NAME",
         "look from a named view, the scene fitted: front (along +y), back, left (along +x), "
         "right, top (down the z axis, as a model file opens), bottom or three-quarter (from "
         "the front right, 30 degrees up); it replaces a scene document's camera",
         "top; for a --turntable of a scene without a camera of its own, three-quarter",
         "--view needs a name: front, back, left, right, top, bottom or three-quarter",
         applyView},
        {{"import"},
         "FILE",
         "add FILE's models to the scene, after those of SCENE (may be given more than once); "
         "with nothing to make, the window opens with them",
         {},
         "--import needs a file name",
         [](const QString& value, ParseState& state, QString& error) {
             if (value.isEmpty()) {
                 error = QStringLiteral("--import needs a file name");
                 return false;
             }
             state.options.imports << value;
             return true;
         }},
        {{"ground"}, {}, "show the ground plane", {}, {}, flag(&CommandLineOptions::ground)},
        {{"indoor"},
         {},
         "light the scene with the indoor lights (a scene document keeps its own ground and "
         "lights; --ground and --indoor only add to them)",
         {},
         {},
         flag(&CommandLineOptions::indoor)},
        {{"environment"},
         "FILE",
         "light the scene from the equirectangular panorama FILE (.hdr or .exr), shown behind "
         "the models: radiosity in photo quality, a few lights from its bright regions in draft",
         {},
         {},
         fileName("--environment", &CommandLineOptions::environment)},
        {{"environment-turn"},
         "DEGREES",
         "turn the environment about the vertical (+z) axis",
         "0",
         {},
         decimalNumber("--environment-turn", -3600.0, 3600.0, "degrees",
                       &CommandLineOptions::environmentTurn,
                       &CommandLineOptions::environmentTurnGiven)},
        {{"environment-strength"},
         "S",
         "multiply the environment's light by S (0 to 1000)",
         "1",
         {},
         decimalNumber("--environment-strength", 0.0, mostEnvironmentStrength, "a number",
                       &CommandLineOptions::environmentStrength,
                       &CommandLineOptions::environmentStrengthGiven)},
        {{"studio"},
         {},
         "light the scene as a photo studio: a seamless backdrop (a floor curving up into a "
         "wall on the +y side) with key, fill and rim lights, soft shadows in photo quality",
         {},
         {},
         flag(&CommandLineOptions::studio)},
        {{"studio-colour"},
         "COLOUR",
         "the studio backdrop's colour, such as white or #d0e0f0 (implies --studio)",
         "#ebebeb",
         {},
         [](const QString& value, ParseState& state, QString& error) {
             const QColor colour(value);
             if (value.isEmpty() || !colour.isValid()) {
                 error = QStringLiteral("--studio-colour takes a colour such as white or #336699");
                 return false;
             }
             state.options.studio = true;
             state.options.studioColour = colour;
             return true;
         }},
        {{"file-colours", "file-materials"},
         {},
         "give each model the material its file gives (colours, image textures on their "
         "texture coordinates, highlights) also for NPR, OFF, PLY, OBJ, DAE and KMZ files "
         "(glTF, 3MF and the other formats always take them); --file-colours is the old name",
         {},
         {},
         flag(&CommandLineOptions::fileColours)},
        {{"lines"},
         "KINDS",
         "draw feature lines, in the view and as ink in the POV-Ray scene; KINDS is a "
         "comma-separated list of contours, suggestive, ridges, valleys, isophotes (NPR models "
         "draw the lines of their file)",
         {},
         "--lines needs kinds such as contours,suggestive",
         applyLines},
        {{"line-width"}, "PIXELS", "width of the feature lines", "2", {}, applyLineWidth},
        {{"mesh-form"},
         "FORM",
         "how meshes are written for POV-Ray: triangles, mesh2 or auto",
         "auto, which is mesh2 above 100000 triangles",
         {},
         applyMeshForm},
        {{"detail"},
         "DETAIL",
         "how much of a large model the render gets: auto (a simplified copy where the "
         "picture cannot show every triangle) or full",
         "auto",
         {},
         applyDetail},
        {{"antialias"}, {}, "render with antialiasing (threshold 0.3)", {}, {}, applyAntialias},
        {{"antialias-threshold"},
         "T",
         "antialiasing with threshold T, from 0 to 3",
         {},
         {},
         applyThreshold},
        {{"quality"},
         "Q",
         "draft (point lights, hard shadows) or photo (soft shadows, radiosity, antialiasing; "
         "slower)",
         "draft",
         {},
         applyQuality},
        {{"background"},
         "B",
         "black, sky, transparent (PNG with alpha) or a colour such as white or #336699",
         "black",
         {},
         applyBackground},
        {{"timeout"}, "SECONDS", "stop POV-Ray after that long", "no limit", {}, applyTimeout},
        {{"threads"},
         "N",
         "let POV-Ray use N threads",
         "one per core",
         {},
         wholeNumber("--threads", 1, 512, "a number of threads", &CommandLineOptions::threads)},
        {{"turntable"},
         "N",
         "make frames of a turn about the scene's vertical axis, frame k turned by 360*k/N "
         "degrees (frame 0 is the plain picture); IMAGE and FILE are patterns with %d or %03d "
         "for the frame number, such as spin_%03d.png",
         {},
         {},
         wholeNumber("--turntable", 1, maxTurntableFrames, "a number of frames",
                     &CommandLineOptions::turntableFrames)},
        {{"frames"},
         "A-B",
         "make only frames A to B of the turntable (from 0)",
         {},
         "--frames needs A-B, such as 0-7",
         [](const QString& value, ParseState& state, QString&) {
             state.framesText = value;
             return true;
         }},
        {{"band"},
         "I/N",
         "render band I of N (from 1) of the picture's rows, as a PNG that kelvane --merge puts "
         "together with the others",
         {},
         "--band needs I/N, such as 2/3",
         [](const QString& value, ParseState& state, QString&) {
             state.bandText = value;
             return true;
         }},
        {{"merge"},
         "IMAGE",
         "put the bands of one picture together, named after IMAGE: kelvane --merge IMAGE "
         "BAND...; refuses bands that are missing, given twice or from another render",
         {},
         {},
         fileName("--merge", &CommandLineOptions::mergeImage)},
        {{"scene-files"},
         {},
         "list the files the scene needs, one a line (a backslash or control character in a "
         "name is written \\\\, \\n, \\t, \\r or \\xHH)",
         {},
         {},
         flag(&CommandLineOptions::listSceneFiles)},
        {{"copy-scene"},
         "FOLDER",
         "copy the scene and the files it needs into the new FOLDER, a scene document naming "
         "its model by the copy; prints the scene's copy, relative to FOLDER",
         {},
         {},
         fileName("--copy-scene", &CommandLineOptions::copyFolder)},
        {{"info"},
         {},
         "print what SCENE holds: its models (triangles, vertices, bounds, colour), the "
         "scene's bounds and camera, and the reader's warnings: kelvane --info [--json] SCENE",
         {},
         {},
         flag(&CommandLineOptions::info)},
        {{"json"},
         {},
         "print --info's facts as JSON (schema kelvane-info, version 1)",
         {},
         {},
         flag(&CommandLineOptions::json)},
        {{"thumbnail"},
         "SIZE",
         "draw SCENE from the fitted view as a square PNG of SIZE pixels (16 to 2048) with a "
         "transparent background, without a display: kelvane --thumbnail SIZE SCENE PNG",
         {},
         {},
         wholeNumber("--thumbnail", 16, 2048, "a size in pixels",
                     &CommandLineOptions::thumbnailSize)},
    };
    return table;
}

const OptionEntry* findOption(const QString& name)
{
    for (const OptionEntry& entry : optionTable()) {
        if (entry.names.contains(name)) {
            return &entry;
        }
    }
    return nullptr;
}

// Why Qt's parser refused the arguments, said as this program says it: the
// first unknown option, a switch given a value, a value missing at the end.
QString parseFailure(const QStringList& arguments, const QString& qtError)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--")) {
            break;
        }
        if (a.startsWith(QLatin1String("--"))) {
            const QString name = a.mid(2).section(QLatin1Char('='), 0, 0);
            const bool hasValue = a.contains(QLatin1Char('='));
            const OptionEntry* entry = findOption(name);
            if (!entry) {
                return QStringLiteral("unknown option '--%1' (see kelvane --help)").arg(name);
            }
            if (entry->valueName.isEmpty() && hasValue) {
                return QStringLiteral("--%1 takes no value").arg(name);
            }
            if (!entry->valueName.isEmpty() && !hasValue && ++i >= arguments.size()) {
                if (!entry->missing.isEmpty()) {
                    return entry->missing;
                }
                CommandLineOptions scratch;
                ParseState state{scratch, {}, {}};
                QString error;
                entry->apply(QString(), state, error);
                return error.isEmpty() ? qtError : error;
            }
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            for (const QChar c : a.mid(1)) {
                if (!findOption(QString(c))) {
                    return QStringLiteral("unknown option '%1' (see kelvane --help)").arg(a);
                }
            }
        }
    }
    return qtError;
}

// Checks that the options and file names given make one run, and fills
// what depends on several of them.
bool checkModes(ParseState& state, const QStringList& positional, QString& error)
{
    CommandLineOptions& options = state.options;
    const bool otherModes = !options.povFile.isEmpty() || !options.renderImage.isEmpty() ||
                            !options.previewImage.isEmpty() || options.listSceneFiles ||
                            !options.copyFolder.isEmpty() || !options.mergeImage.isEmpty();
    if (!options.imports.isEmpty() &&
        (options.listSceneFiles || !options.copyFolder.isEmpty() || !options.mergeImage.isEmpty())) {
        error = QStringLiteral("--import goes with --pov, --render, --preview, --info, "
                               "--thumbnail or the window");
        return false;
    }
    if (options.viewGiven && (options.info || options.listSceneFiles ||
                              !options.copyFolder.isEmpty() || !options.mergeImage.isEmpty() ||
                              (options.povFile.isEmpty() && options.renderImage.isEmpty() &&
                               options.previewImage.isEmpty() && options.thumbnailSize == 0))) {
        error = QStringLiteral("--view goes with --pov, --render, --preview or --thumbnail");
        return false;
    }
    if (options.json && !options.info) {
        error = QStringLiteral("--json goes with --info: kelvane --info --json SCENE");
        return false;
    }
    if (options.info || options.thumbnailSize > 0) {
        const QString option =
            options.info ? QStringLiteral("--info") : QStringLiteral("--thumbnail");
        if (otherModes || (options.info && options.thumbnailSize > 0)) {
            error = QStringLiteral("%1 works alone").arg(option);
            return false;
        }
        const int wanted = options.info ? 1 : 2;
        if (positional.size() != wanted) {
            error = options.info
                        ? QStringLiteral("--info needs one scene file: kelvane --info SCENE")
                        : QStringLiteral("--thumbnail needs the scene and the picture's name: "
                                         "kelvane --thumbnail SIZE SCENE PNG");
            return false;
        }
        options.scene = positional[0];
        options.thumbnailImage = positional.value(1);
        return true;
    }
    if (!options.mergeImage.isEmpty()) {
        if (!options.povFile.isEmpty() || !options.renderImage.isEmpty() ||
            !options.previewImage.isEmpty() || options.listSceneFiles ||
            !options.copyFolder.isEmpty()) {
            error = QStringLiteral("--merge works alone: kelvane --merge IMAGE BAND...");
            return false;
        }
        if (positional.isEmpty()) {
            error = QStringLiteral("--merge needs the band files after the picture's name");
            return false;
        }
        if (!imageFormatKnown(options.mergeImage)) {
            error = QStringLiteral("cannot tell the image format of '%1' (use .png, .bmp or .jpg)")
                        .arg(options.mergeImage);
            return false;
        }
        options.mergeParts = positional;
        return true;
    }
    if (positional.size() > 1) {
        error = QStringLiteral("only one scene can be given ('%1' and '%2')")
                    .arg(positional[0], positional[1]);
        return false;
    }
    if (!positional.isEmpty()) {
        options.scene = positional[0];
    }
    if (options.listSceneFiles || !options.copyFolder.isEmpty()) {
        const QString option = options.listSceneFiles ? QStringLiteral("--scene-files")
                                                      : QStringLiteral("--copy-scene");
        if (options.scene.isEmpty()) {
            error = QStringLiteral("%1 needs a scene file").arg(option);
            return false;
        }
        if ((options.listSceneFiles && !options.copyFolder.isEmpty()) ||
            !options.povFile.isEmpty() || !options.renderImage.isEmpty() ||
            !options.previewImage.isEmpty()) {
            error = QStringLiteral("%1 works alone").arg(option);
            return false;
        }
        return true;
    }
    if (options.povFile.isEmpty() && options.renderImage.isEmpty() &&
        options.previewImage.isEmpty() && !options.imports.isEmpty()) {
        options.openWindow = true;
        return true;
    }
    if (options.povFile.isEmpty() && options.renderImage.isEmpty() &&
        options.previewImage.isEmpty()) {
        error = QStringLiteral("say what to make: --pov FILE, --render IMAGE or --preview IMAGE");
        return false;
    }
    if (options.scene.isEmpty()) {
        error = QStringLiteral("no scene file given");
        return false;
    }
    for (const QString& image : {options.renderImage, options.previewImage}) {
        if (!image.isEmpty() && !imageFormatKnown(image)) {
            error = QStringLiteral("cannot tell the image format of '%1' (use .png, .bmp or .jpg)")
                        .arg(image);
            return false;
        }
    }
    if (!state.framesText.isEmpty() && options.turntableFrames == 0) {
        error = QStringLiteral("--frames needs --turntable N");
        return false;
    }
    if (options.turntableFrames > 0) {
        options.lastFrame = options.turntableFrames - 1;
        if (!state.framesText.isEmpty() &&
            !parseFrameRange(state.framesText, options.turntableFrames, options.firstFrame,
                             options.lastFrame, &error)) {
            return false;
        }
        for (const QString& pattern :
             {options.povFile, options.renderImage, options.previewImage}) {
            QString why;
            if (!pattern.isEmpty() && !isFramePattern(pattern, &why)) {
                error = QStringLiteral("a turntable saves one file per frame: %1").arg(why);
                return false;
            }
        }
    }
    if (!state.bandText.isEmpty()) {
        if (!parseBand(state.bandText, options.size.height(), options.band, options.bands,
                       &error)) {
            return false;
        }
        if (options.renderImage.isEmpty() || options.turntableFrames > 0 ||
            !options.previewImage.isEmpty()) {
            error = QStringLiteral("--band goes with --render alone (not with --preview or "
                                   "--turntable)");
            return false;
        }
        if (QFileInfo(options.renderImage).suffix().toLower() != QLatin1String("png")) {
            error = QStringLiteral("a band is saved as PNG, which carries its place in the "
                                   "picture: name it .png, not '%1'")
                        .arg(options.renderImage);
            return false;
        }
    }
    return true;
}

// The --help line saying where the sample scenes are.
QString samplesHelp()
{
    const QString samples = installedSamplesDirectory();
    if (samples.isEmpty()) {
        return QStringLiteral(
            "\nThis copy of Kelvane is not installed; the sample scenes are in the\n"
            "samples folder of its source tree.\n");
    }
    return QStringLiteral("\nSample scenes are in %1\n").arg(samples);
}

// `text` broken into lines of at most `width` characters (a longer word
// keeps its own line); a no-break space holds two words together.
QStringList wrapped(const QString& text, int width)
{
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            lines << line;
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty()) {
        lines << line;
    }
    lines.replaceInStrings(QString(QChar::Nbsp), QStringLiteral(" "));
    return lines;
}

} // namespace

bool isCommandLineRequest(const QStringList& arguments)
{
    for (const QString& a : arguments) {
        if (a.startsWith(QLatin1String("--"))) {
            return true;
        }
    }
    return false;
}

bool parseCommandLine(const QStringList& arguments, CommandLineOptions& options, QString& error)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const OptionEntry& entry : optionTable()) {
        QCommandLineOption option(entry.names);
        if (!entry.valueName.isEmpty()) {
            option.setValueName(entry.valueName);
        }
        parser.addOption(option);
    }
    // Qt's parser takes the program's name first.
    if (!parser.parse(QStringList{QStringLiteral("kelvane")} + arguments)) {
        error = parseFailure(arguments, parser.errorText());
        return false;
    }
    ParseState state{options, {}, {}};
    for (const OptionEntry& entry : optionTable()) {
        const QString name = entry.names.last();
        if (entry.valueName.isEmpty()) {
            if (parser.isSet(name) && !entry.apply(QString(), state, error)) {
                return false;
            }
            continue;
        }
        for (const QString& value : parser.values(name)) {
            if (!entry.apply(value, state, error)) {
                return false;
            }
        }
    }
    if (options.help || options.version) {
        return true;
    }
    return checkModes(state, parser.positionalArguments(), error);
}

QString commandLineHelp()
{
    QString help = QStringLiteral(
        "Usage: kelvane [scene]\n"
        "       kelvane [--pov FILE] [--render IMAGE] [--preview IMAGE] [options] SCENE\n"
        "       kelvane --merge IMAGE BAND...\n"
        "       kelvane --scene-files SCENE\n"
        "       kelvane --copy-scene FOLDER SCENE\n"
        "       kelvane --info [--json] SCENE\n"
        "       kelvane --thumbnail SIZE SCENE PNG\n"
        "\n"
        "Without options Kelvane opens its window, with the scene if one is given.\n"
        "Every option's value may follow it or be joined to it: --size 640x480 or\n"
        "--size=640x480.\n"
        "\n");
    // Each option on a line of its own, its text in a column beside it (or
    // below, under a long name).
    const int column = 19, width = 79 - column;
    for (const OptionEntry& entry : optionTable()) {
        QString synopsis = QStringLiteral("  --") + entry.names.last();
        if (!entry.valueName.isEmpty()) {
            synopsis += QLatin1Char(' ') + entry.valueName;
        }
        QString text = entry.description;
        if (!entry.defaultValue.isEmpty()) {
            text += QStringLiteral(" (default: %1)").arg(entry.defaultValue);
        }
        const QStringList lines = wrapped(text, width);
        if (synopsis.size() + 2 > column) {
            help += synopsis + QLatin1Char('\n');
        } else {
            help += synopsis.leftJustified(column) + lines.value(0) + QLatin1Char('\n');
        }
        for (int i = synopsis.size() + 2 > column ? 0 : 1; i < lines.size(); ++i) {
            help += QString(column, QLatin1Char(' ')) + lines[i] + QLatin1Char('\n');
        }
    }
    help += QStringLiteral(
        "\n"
        "SCENE is a model file (NPR, OFF, PLY, OBJ, STL, 3DS, COLLADA, KMZ, glTF,\n"
        "3MF, FBX and the other formats Assimp reads) or a scene document (.kelvane).\n"
        "The modes combine in one run and share one camera, fitted to the scene as\n"
        "the view fits it after a load, or placed where a scene document (.kelvane)\n"
        "recorded it. --pov and --render need no display; --render shows POV-Ray's\n"
        "progress when standard error is a terminal.\n");
    return help + samplesHelp();
}

QStringList programArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

bool displayAvailable()
{
    // A variable set to nothing names no display.
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            return true;
        }
    }
    return false;
}

int runCommandLine(int argc, char* argv[])
{
    const QStringList arguments = programArguments(argc, argv);
    CommandLineOptions options;
    QString error;
    if (!parseCommandLine(arguments, options, error)) {
        say(error);
        return 2;
    }
    if (options.help) {
        std::fputs(qPrintable(commandLineHelp()), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", versionText);
        return 0;
    }

    // Paths are taken relative to the directory Kelvane was started in.
    auto absolute = [](QString& path) {
        if (!path.isEmpty()) {
            path = QFileInfo(path).absoluteFilePath();
        }
    };
    // A turntable's names are patterns, in which a '%' of the folder they
    // are taken relative to stands for itself: it is written "%%".
    auto absolutePattern = [&](QString& path) {
        if (options.turntableFrames == 0 || path.isEmpty() || QDir::isAbsolutePath(path)) {
            absolute(path);
            return;
        }
        QString folder = QDir::currentPath();
        folder.replace(QLatin1Char('%'), QLatin1String("%%"));
        path = folder + QLatin1Char('/') + path;
    };
    absolute(options.scene);
    absolutePattern(options.povFile);
    absolutePattern(options.renderImage);
    absolutePattern(options.previewImage);
    absolute(options.mergeImage);
    absolute(options.copyFolder);
    absolute(options.thumbnailImage);
    for (QString& file : options.imports) {
        absolute(file);
    }

    if (options.openWindow) {
        return runWindow(argc, argv, options.scene, options.imports);
    }

    if (!options.mergeImage.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runMerge(options);
    }
    if (options.info) {
        QCoreApplication app(argc, argv);
        return runInfo(options);
    }
    if (options.thumbnailSize > 0) {
        QCoreApplication app(argc, argv);
        return runThumbnail(options);
    }
    if (options.listSceneFiles) {
        return runSceneFiles(options);
    }
    if (!options.copyFolder.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runCopyScene(options);
    }
    if (options.previewImage.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runHeadless(options);
    }
    if (!displayAvailable()) {
        say(QStringLiteral("--preview needs a display; on a machine without one run "
                           "xvfb-run -a kelvane --preview ..."));
        return 1;
    }
    GLViewer::setDefaultSurfaceFormat();
    QApplication app(argc, argv);
    return runWithView(options);
}
