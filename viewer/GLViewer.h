#pragma once
// GLViewer: the 3D view. Draws the scene's models lit as the POV-Ray render
// lights them (per pixel, from the side the eye sees, with the render's
// ambient light; fixed-function lighting where shaders are not available),
// optionally as a hidden-line
// wireframe, the selected model with a yellow outline, and markers for the
// lights; fits the camera to the scene. Mouse navigation is libQGLViewer's.
//
// Feature lines (while the scene's line settings say shown) are drawn over
// the shaded models: each smooth model's lines extracted for the current
// camera (viewpoint = the camera position; light = towards the first
// light), each boxy model's lines from its file.
//
// Navigation: the left button orbits about the scene's +z axis, so the
// ground stays level (or turns freely as a trackball, when chosen); a
// release never leaves the view spinning. Escape is left to the window. A
// selected light's marker can be dragged: the light keeps its distance from
// the origin and turns in azimuth and elevation. Extraction follows the
// camera: a model whose last extraction took under interactiveLineMs is
// extracted again in the paint whenever the view changed; a larger one is
// extracted once the view has rested for lineRestMs, and its stale lines
// are left out meanwhile, so a paint never waits for it.

#include "scene/PovNamedView.h"
#include "scene/PovScene.h"
#include "viewer/GLSurfaceImages.h"

#include <QGLViewer/qglviewer.h>

#include <memory>
#include <set>
#include <vector>

class GLStandIns;
class GLSwatchSet;
class PovSwatches;
class QOpenGLShaderProgram;
class QTimer;

class GLViewer : public QGLViewer {
    Q_OBJECT
public:
    explicit GLViewer(QWidget* parent = nullptr);
    // Deletes the swatches' and file images' textures in the view's own
    // context.
    ~GLViewer() override;

    // Makes the view's OpenGL format (an alpha channel, multisampling) the
    // default; call before the first view is created.
    static void setDefaultSurfaceFormat();

    // Stores the scene to draw (not owned), sets the camera's z-clipping
    // coefficient and the middle/right mouse bindings, and redraws.
    void setScene(PovScene* scene);
    // No selection, wireframe and light markers off.
    void resetState();
    // Fits the camera to the scene's sphere (or the lights' sphere when the
    // indoor light markers are shown) and redraws.
    void resetCamera();
    // Turns the camera to a named view (see scene/PovNamedView.h), fitted
    // to the same sphere as resetCamera, and redraws.
    void showView(PovNamedView view);
    // Schedules a redraw.
    void updateGL() { update(); }
    // The camera's orientation when the view was made: a newly opened file
    // is seen from this direction.
    qglviewer::Quaternion startingOrientation() const { return startOrientation; }
    // Stops any camera motion under way (a spin).
    void stopMotion();

    // True (the default) for the orbit that keeps +z up; false for the
    // library's free trackball.
    void setTrackball(bool trackball);
    bool isTrackball() const { return trackball; }

    // The size of the picture a render makes; the view dims what lies
    // outside the picture's frame when its shape differs from the view's.
    // An empty size (the default) shows no frame.
    void setPictureSize(const QSize& size);
    QSize pictureSize() const { return picture; }

    // Number of completed draw() calls; lets tests wait for a repaint.
    int drawCount() const { return draws; }
    // The stand-ins drawn for large models while the camera moves.
    GLStandIns& standInModels() { return *standIns; }
    // Number of models the last draw showed with their preset's swatch.
    int swatchesDrawn() const { return swatchDraws; }

    // Extracts now the lines of every smooth model whose lines do not match
    // the current camera, light and settings (whatever it costs), and
    // schedules a redraw.
    void refreshLines();
    // Number of extractions done so far; lets tests and benchmarks watch
    // the policy.
    int lineExtractionCount() const { return lineExtractions; }
    static constexpr double interactiveLineMs = 20.0;
    static constexpr int lineRestMs = 150;

    bool wireframe = false;
    bool showLights = false;
    // Move mode: a left drag on a model moves its file in the ground plane,
    // with Shift held turns it about the vertical through its centre (half
    // a degree a pixel). Other drags navigate as always.
    bool moveMode = false;
    // The colour the view clears to (what the picture shows behind the
    // models), as it appears on screen.
    QColor background = QColor(0, 0, 0);
    // True when the panels' colours are sRGB, as Photo renders take them:
    // materials and lights are then lit with their linear values, so a
    // fully lit surface shows the colour picked.
    bool srgbColours = false;
    // True when a model with a predefined POV-Ray texture is drawn with
    // the texture's swatch (scene/PovSwatch.h), made in the background the
    // first time it is needed; false (the default) draws it plain grey, as
    // the command-line pictures do, so they never depend on the cache.
    bool presetSwatches = false;
    int selectedModel = -1;
    int selectedLight = -1;

signals:
    void modelSelected(int which);
    void lightSelected(int which);
    // A drag moved light `which` (already changed in the scene).
    void lightMoved(int which);
    // A move-mode drag placed file `file` anew (already changed in the scene).
    void fileMoved(int file);
    // A drag of a light or a file ended.
    void dragFinished();
    // Model `which` could not have the memory its drawing needs: the view
    // leaves it out.
    void notEnoughMemoryToDraw(int which);

protected:
    void draw() override;
    // Turns the library's pick into a model or light index and emits
    // modelSelected, then lightSelected (one of the two is -1).
    void postSelection(const QPoint& point) override;
    // Picks without the library's OpenGL selection mode (see select()).
    void select(const QPoint& point) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void postDraw() override;

private:
    // Stops the camera and gives the sphere a new view frames; false
    // before a scene is shown.
    bool stopForNewView(vec& center, float& radius);
    void drawScene();
    // True when `pixel` is on light i's marker; `depth` gets the marker's
    // distance along the view direction.
    bool lightUnder(const QPoint& pixel, int i, double* depth);
    // The dimmed margins outside the picture's frame.
    void drawPictureFrame();
    // True when `pixel` is on the selected light's marker.
    bool onSelectedLight(const QPoint& pixel);
    bool trackball = false;
    QSize picture;
    qglviewer::Quaternion startOrientation;
    // A light drag under way: the light and where the mouse was.
    int draggedLight = -1;
    QPoint dragFrom;
    // A move-mode drag under way: the file and the height of the plane the
    // mouse drags it in.
    int draggedFile = -1;
    float dragHeight = 0.0f;
    // Where the ray through `pixel` meets the plane z = height; false when
    // it runs parallel to it or away from it.
    bool groundPoint(const QPoint& pixel, float height, vec& point);
    void setupLights();
    void drawModel(int i);
    // The model's full mesh, shaded or positions only, from its buffers or
    // its own lists; a model whose drawing runs out of memory is left out
    // of the view until the scene's models change (notEnoughMemoryToDraw).
    void drawWholeModel(int i, bool shaded);
    std::set<LnModel*> undrawable;
    std::vector<LnModel*> drawnModels;
    void drawModelWireframe(int i);
    // Hides QGLViewer::drawLight(GLenum, qreal): a marker for scene light i.
    void drawLight(int i);
    void drawSun();
    // The program that lights the models per pixel, built at the first draw;
    // null when the context cannot build it (fixed-function lighting then).
    QOpenGLShaderProgram* surfaceShading();

    // The environment's panorama behind the models, its light in the
    // surface program, and the studio's backdrop (GLEnvironment.cpp).
    void drawEnvironment();
    void drawBackdrop();
    // Sets the environment's uniforms of the bound surface program (off
    // without an environment).
    void setEnvironmentUniforms(QOpenGLShaderProgram* program);
    // The lighting of the current environment, worked out again only when
    // the panorama, turn or strength change.
    const PovEnvironmentLighting& environmentLighting();
    PovEnvironmentLighting environmentCache;
    const PovPanorama* environmentCacheFor = nullptr;
    double environmentCacheTurn = 0.0, environmentCacheStrength = -1.0;
    unsigned environmentTexture = 0;
    const PovPanorama* environmentTextureFor = nullptr;
    double environmentTextureStrength = -1.0;
    // The camera's z-clipping coefficient (setScene's), grown while the
    // studio's backdrop is shown.
    static constexpr double zClipping = 5.0;
    PovBackdrop backdropCache;
    std::vector<double> backdropCacheKey;

    QOpenGLShaderProgram* surfaceProgram = nullptr; // a child of the view
    // Binds model i's swatch when it is ready (see GLSwatchSet::bind).
    bool bindSwatch(int i, float box[4]);
    PovSwatches* swatchMaker = nullptr; // a child of the view
    std::unique_ptr<GLSwatchSet> swatchSet;
    bool surfaceProgramTried = false;
    // The file materials' images as OpenGL textures.
    std::unique_ptr<GLSurfaceImages> surfaceImages;

    bool sceneReady = false;
    PovScene* scene = nullptr;
    int draws = 0;
    int swatchDraws = 0;
    int swatchCounting = 0;

    // What the lines in a smooth model's path list were extracted for.
    struct LineState {
        LnModel* model = nullptr;
        int faces = -1;
        vec eye;
        vec light;
        LnLineSettings settings;
        double ms = -1.0; // time the last extraction took
    };
    bool linesCurrent(int i, const vec& eye, const vec& light) const;
    void extractModelLines(int i, const vec& eye, const vec& light);
    void drawFeatureLines();
    std::vector<LineState> lineStates; // parallel to the scene's models
    QTimer* lineTimer = nullptr;
    GLStandIns* standIns = nullptr;
    int lineExtractions = 0;
};

// Draws the paths as anti-aliased line strips in the settings' colour and
// width, depth-tested but not writing depth, each point's strength as its
// opacity when fading is on. Leaves the OpenGL state as it found it.
void drawLinePaths(const LnPathList& paths, const LnLineSettings& lines);

// Fixed-function material approximating a texture: a colour texture uses
// its pigment, a named POV-Ray texture mid-grey (0.5, 0.5, 0.5); with
// `srgbColours` the colour's linear value.
void setMaterial(const PovTexture& texture, bool srgbColours = false);
// Where a light's star is drawn: at the light; under outdoor lighting a
// light farther than twice the models' radius from their centre (added
// lights sit far out, like the sun) is shown in its direction at that
// distance, inside the view the sun's ray is seen in.
vec markerPosition(const vec& light, const vec& center, float radius, bool outdoor);
// Six crossing segments of length 4 * size centred on `centre`.
void drawStar(const vec& centre, float size);
// A line with 100 dots along it, the end point excluded.
void drawRay(const vec& from, const vec& to);
// Ends the process with status 1 after "handleGLError: <GLU text>\n" as a
// critical message when OpenGL has an error pending.
void handleGLError();
