#pragma once
// GLViewer: the 3D view. Draws the scene's models with fixed-function
// lighting that approximates the POV-Ray render, optionally as a hidden-line
// wireframe, the selected model with a yellow outline, and markers for the
// lights; fits the camera to the scene. Mouse navigation is libQGLViewer's.

#include "scene/PovScene.h"

#include <QGLViewer/qglviewer.h>

class GLViewer : public QGLViewer {
    Q_OBJECT
public:
    explicit GLViewer(QWidget* parent = nullptr);

    // Stores the scene to draw (not owned), sets the camera's z-clipping
    // coefficient and the middle/right mouse bindings, and redraws.
    void setScene(PovScene* scene);
    // No selection, wireframe and light markers off.
    void resetState();
    // Fits the camera to the scene's sphere (or the lights' sphere when the
    // indoor light markers are shown) and redraws.
    void resetCamera();
    // Schedules a redraw.
    void updateGL() { update(); }

    // Number of completed draw() calls; lets tests wait for a repaint.
    int drawCount() const { return draws; }

    bool wireframe = false;
    bool showLights = false;
    // The colour the view clears to (what the picture shows behind the
    // models), as it appears on screen.
    QColor background = QColor(0, 0, 0);
    // True when the panels' colours are sRGB, as Photo renders take them:
    // materials and lights are then lit with their linear values, so a
    // fully lit surface shows the colour picked.
    bool srgbColours = false;
    int selectedModel = -1;
    int selectedLight = -1;

signals:
    void modelSelected(int which);
    void lightSelected(int which);

protected:
    void draw() override;
    void drawWithNames() override;
    // Turns the library's pick into a model or light index and emits
    // modelSelected, then lightSelected (one of the two is -1).
    void postSelection(const QPoint& point) override;

private:
    void drawScene(bool withNames);
    void setupLights();
    void drawModel(int i);
    void drawModelWireframe(int i);
    // Hides QGLViewer::drawLight(GLenum, qreal): a marker for scene light i.
    void drawLight(int i);
    void drawSun();

    bool sceneReady = false;
    PovScene* scene = nullptr;
    int draws = 0;
};

// Fixed-function material approximating a texture: a colour texture uses
// its pigment, a named POV-Ray texture mid-grey (0.5, 0.5, 0.5); with
// `srgbColours` the colour's linear value.
void setMaterial(const PovTexture& texture, bool srgbColours = false);
// Six crossing segments of length 4 * size centred on `centre`.
void drawStar(const vec& centre, float size);
// A line with 100 dots along it, the end point excluded.
void drawRay(const vec& from, const vec& to);
// Ends the process with status 1 after "handleGLError: <GLU text>\n" as a
// critical message when OpenGL has an error pending.
void handleGLError();
