#include "viewer/GLViewer.h"

#include "scene/PovInk.h"
#include "scene/PovPick.h"
#include "scene/PovPictureFrame.h"
#include "scene/PovSwatch.h"
#include "viewer/GLStandIn.h"
#include "viewer/GLSwatches.h"

#include <GL/glu.h>

#include <QElapsedTimer>
#include <QLineF>
#include <QMouseEvent>
#include <QOpenGLShaderProgram>
#include <QSurfaceFormat>
#include <QTimer>

#include <QGLViewer/manipulatedCameraFrame.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

// Per-pixel lighting after the ray tracer's own model, encoded as its
// pictures are: the interpolated
// normal, turned to face the eye when it points away (so a face is lit from
// the side the eye sees, whichever way its stored normals point); ambient
// from the scene's ambient light; diffuse and a highlight on the halfway
// vector towards the real eye for every light in front of the surface. The
// material and lights are the fixed-function state setMaterial and
// setupLights leave.
const char* const surfaceVertexShader = R"(
#version 120
uniform int surfaceImageMode;
varying vec3 eyeNormal;
varying vec3 eyePosition;
varying vec3 objectPosition;
varying vec3 objectNormal;
varying vec2 surfaceUv;
void main()
{
    if (surfaceImageMode == 1)
        surfaceUv = gl_MultiTexCoord0.st;
    eyeNormal = gl_NormalMatrix * gl_Normal;
    eyePosition = vec3(gl_ModelViewMatrix * gl_Vertex);
    objectPosition = gl_Vertex.xyz;
    objectNormal = gl_Normal;
    gl_Position = ftransform();
}
)";

const char* const surfaceFragmentShader = R"(
#version 120
uniform int lightCount;
uniform vec3 ambientLight;
uniform int surfaceImageMode;
uniform sampler2D surfaceImage;
uniform vec4 swatchBox;
uniform int surfaceImageLinear;
varying vec3 eyeNormal;
varying vec3 eyePosition;
varying vec3 objectPosition;
varying vec3 objectNormal;
varying vec2 surfaceUv;

// Texel (u, v) of a swatch's picture `face`, u and v from -0.5 to 0.5
// across the cube, v upwards; kept half a texel inside the picture.
vec3 swatchTexel(float face, float u, float v)
{
    float e = 0.5 / SWATCH_TEXELS;
    vec2 at = vec2(clamp(u + 0.5, e, 1.0 - e), (face + clamp(0.5 - v, e, 1.0 - e)) / 12.0);
    return texture2D(surfaceImage, at).rgb;
}

// A preset at this point of the model: the swatch's faces of the cube
// around the model (+x, -x, +y, -y, +z, -z, from picture `first` on) seen
// along the axes the normal leans to, blended by how far it leans.
vec3 swatchColour(vec3 normal, float first)
{
    vec3 w = normal * normal;
    w = w * w;
    float sum = w.x + w.y + w.z;
    w = sum > 0.0 ? w / sum : vec3(0.0, 0.0, 1.0);
    vec3 q = (objectPosition - swatchBox.xyz) / (2.0 * swatchBox.w);
    return w.x * swatchTexel(first + (normal.x >= 0.0 ? 0.0 : 1.0), q.y, q.z) +
           w.y * swatchTexel(first + (normal.y >= 0.0 ? 2.0 : 3.0), q.x, q.z) +
           w.z * swatchTexel(first + (normal.z >= 0.0 ? 4.0 : 5.0), q.x, q.y);
}

// An environment's irradiance as spherical harmonics (see
// PovEnvironmentLighting), for world normals: environmentToWorld turns the
// eye's directions into the world's.
uniform int environmentLight;
uniform vec3 environmentSH[9];
uniform mat3 environmentToWorld;
// The share of the environment a surface mirrors (its reflection), seen
// blurred as the harmonics give it.
uniform float environmentReflection;
vec3 environmentIrradiance(vec3 n)
{
    return environmentSH[0] * 0.282095 + environmentSH[1] * (0.488603 * n.y) +
           environmentSH[2] * (0.488603 * n.z) + environmentSH[3] * (0.488603 * n.x) +
           environmentSH[4] * (1.092548 * n.x * n.y) + environmentSH[5] * (1.092548 * n.y * n.z) +
           environmentSH[6] * (0.315392 * (3.0 * n.z * n.z - 1.0)) +
           environmentSH[7] * (1.092548 * n.x * n.z) +
           environmentSH[8] * (0.546274 * (n.x * n.x - n.y * n.y));
}
void main()
{
    // A file material's image multiplies the material's colours (white
    // then); decoded from sRGB when the panels' colours are.
    vec3 base = vec3(1.0);
    if (surfaceImageMode == 1) {
        base = texture2D(surfaceImage, surfaceUv).rgb;
        if (surfaceImageLinear != 0)
            base = mix(base / 12.92, pow((base + 0.055) / 1.055, vec3(2.4)),
                       step(0.04045, base));
    }
    vec3 n = eyeNormal;
    float nn = dot(n, n);
    n = nn > 0.0 ? n * inversesqrt(nn) : vec3(0.0, 0.0, 1.0);
    vec3 v = -eyePosition;
    float vv = dot(v, v);
    v = vv > 0.0 ? v * inversesqrt(vv) : vec3(0.0, 0.0, 1.0);
    float side = 1.0;
    if (dot(n, v) < 0.0) {
        n = -n;
        side = -1.0;
    }
    // A preset's swatch gives the ambient and diffuse colours, a file's
    // image multiplies the material's.
    vec3 ambientColour = gl_FrontMaterial.ambient.rgb * base;
    vec3 diffuseColour = gl_FrontMaterial.diffuse.rgb * base;
    if (surfaceImageMode == 2) {
        diffuseColour = swatchColour(objectNormal * side, 0.0);
        ambientColour = swatchColour(objectNormal * side, 6.0);
    }
    vec3 colour = ambientColour * ambientLight;
    if (environmentLight != 0) {
        colour += diffuseColour * max(environmentIrradiance(environmentToWorld * n), vec3(0.0));
        colour += environmentReflection *
                  max(environmentIrradiance(environmentToWorld * reflect(-v, n)), vec3(0.0));
    }
    for (int i = 0; i < 8; ++i) {
        if (i >= lightCount)
            break;
        vec3 l = normalize(gl_LightSource[i].position.xyz);
        float d = dot(n, l);
        if (d > 0.0) {
            colour += diffuseColour * gl_LightSource[i].diffuse.rgb * d;
            float h = max(dot(n, normalize(l + v)), 0.0);
            colour += gl_FrontMaterial.specular.rgb * gl_LightSource[i].specular.rgb *
                      pow(h, gl_FrontMaterial.shininess);
        }
    }
    // The renderer writes its pictures sRGB-encoded.
    colour = clamp(colour, 0.0, 1.0);
    vec3 encoded = mix(colour * 12.92, 1.055 * pow(colour, vec3(1.0 / 2.4)) - 0.055,
                       step(0.0031308, colour));
    gl_FragColor = vec4(encoded, gl_FrontMaterial.diffuse.a);
}
)";

} // namespace

GLViewer::GLViewer(QWidget* parent) : QGLViewer(parent)
{
    resetState();
    setMouseBinding(Qt::NoModifier, Qt::LeftButton, QGLViewer::SELECT, true);
    // Escape dismisses things; it must never close the window the view is in.
    setShortcut(QGLViewer::EXIT_VIEWER, 0);
    startOrientation = camera()->orientation();
    setTrackball(false);
    lineTimer = new QTimer(this);
    lineTimer->setSingleShot(true);
    lineTimer->setInterval(lineRestMs);
    connect(lineTimer, &QTimer::timeout, this, &GLViewer::refreshLines);
    // Large models are drawn as simplified stand-ins while the camera moves.
    standIns = new GLStandIns(this);
    connect(standIns, &GLStandIns::changed, this, [this] { update(); });
    connect(camera()->frame(), &qglviewer::ManipulatedFrame::manipulated, standIns,
            &GLStandIns::noteMotion);
    connect(camera()->frame(), &qglviewer::ManipulatedFrame::spun, standIns,
            &GLStandIns::noteMotion);
}

GLViewer::~GLViewer()
{
    // The swatches' textures go with the view's context too.
    if (surfaceImages && context()) {
        makeCurrent();
        surfaceImages.reset();
        doneCurrent();
    }
    // Without a context the textures went with it.
    if (surfaceImages) {
        surfaceImages->forget();
    }
}

void GLViewer::setDefaultSurfaceFormat()
{
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setAlphaBufferSize(8);
    format.setSamples(4);
    QSurfaceFormat::setDefaultFormat(format);
}

void GLViewer::setScene(PovScene* s)
{
    scene = s;
    camera()->setZClippingCoefficient(zClipping);
    setMouseBinding(Qt::NoModifier, Qt::MiddleButton, QGLViewer::CAMERA, QGLViewer::TRANSLATE);
    setMouseBinding(Qt::NoModifier, Qt::RightButton, QGLViewer::CAMERA, QGLViewer::ZOOM);
    sceneReady = true;
    updateGL();
}

void GLViewer::resetState()
{
    selectedModel = -1;
    selectedLight = -1;
    wireframe = false;
    showLights = false;
    lineStates.clear();
}

void GLViewer::stopMotion()
{
    camera()->frame()->stopSpinning();
    draggedLight = -1;
}

void GLViewer::setTrackball(bool free)
{
    trackball = free;
    qglviewer::ManipulatedCameraFrame* frame = camera()->frame();
    frame->setRotatesAroundUpVector(!free);
    const qglviewer::Vec up(0.0, 0.0, 1.0);
    frame->setSceneUpVector(up);
    if (!free) {
        // Level the horizon the trackball may have tilted, keeping the view
        // direction (unless the view looks straight up or down).
        const qglviewer::Vec view = camera()->viewDirection();
        const qglviewer::Vec level = up - view * (up * view);
        if (level.norm() > 1e-3) {
            camera()->setUpVector(level, true);
            frame->setSceneUpVector(up);
        }
    }
    // A release, however quick, leaves the camera where it is.
    frame->setSpinningSensitivity(1e9);
    stopMotion();
}

void GLViewer::setPictureSize(const QSize& size)
{
    if (size != picture) {
        picture = size;
        updateGL();
    }
}

bool GLViewer::stopForNewView(vec& center, float& radius)
{
    stopMotion();
    if (!sceneReady) {
        return false;
    }
    scene->viewSphere(showLights, center, radius);
    return true;
}

void GLViewer::resetCamera()
{
    vec center;
    float radius = 0.0f;
    if (stopForNewView(center, radius)) {
        setSceneRadius(radius);
        setSceneCenter(qglviewer::Vec(center[0], center[1], center[2]));
        showEntireScene();
    }
}

void GLViewer::showView(PovNamedView view)
{
    vec center;
    float radius = 0.0f;
    if (stopForNewView(center, radius)) {
        placeCamera(*camera(), view, qglviewer::Vec(center[0], center[1], center[2]), radius);
        updateGL();
    }
}

void GLViewer::draw()
{
    swatchCounting = 0;
    if (swatchMaker) {
        swatchMaker->forgetQueued();
    }
    // Frames that draw stand-ins are drawn without multisampling: with
    // software OpenGL it takes a large share of such a frame, and the
    // camera is moving anyway. Every other frame keeps it.
    bool standInFrame = false;
    if (standIns->moving()) {
        for (LnModel* model : scene->models) {
            standInFrame = standInFrame || standIns->ready(model);
        }
    }
    if (standInFrame) {
        glDisable(GL_MULTISAMPLE);
    } else {
        glEnable(GL_MULTISAMPLE);
    }
    drawScene();
    if (swatchSet) {
        swatchSet->dropUnused();
    }
    swatchDraws = swatchCounting;
    ++draws;
}

void GLViewer::postDraw()
{
    QGLViewer::postDraw();
    drawPictureFrame();
}

void GLViewer::drawPictureFrame()
{
    if (picture.isEmpty()) {
        return;
    }
    const QRect frame = pictureFrame(size(), picture);
    if (frame.size() == size()) {
        return;
    }
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    startScreenCoordinatesSystem();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.0f, 0.0f, 0.0f, 0.55f);
    const int w = width(), h = height();
    const int l = frame.left(), t = frame.top(), r = frame.right() + 1, b = frame.bottom() + 1;
    auto quad = [](int x0, int y0, int x1, int y1) {
        glVertex2i(x0, y0);
        glVertex2i(x1, y0);
        glVertex2i(x1, y1);
        glVertex2i(x0, y1);
    };
    glBegin(GL_QUADS);
    quad(0, 0, w, t);
    quad(0, b, w, h);
    quad(0, t, l, b);
    quad(r, t, w, b);
    glEnd();
    glColor4f(1.0f, 1.0f, 1.0f, 0.6f);
    glLineWidth(1.0f);
    glBegin(GL_LINE_LOOP);
    glVertex2f(float(l) + 0.5f, float(t) + 0.5f);
    glVertex2f(float(r) - 0.5f, float(t) + 0.5f);
    glVertex2f(float(r) - 0.5f, float(b) - 0.5f);
    glVertex2f(float(l) + 0.5f, float(b) - 0.5f);
    glEnd();
    stopScreenCoordinatesSystem();
    glPopAttrib();
}

bool GLViewer::onSelectedLight(const QPoint& pixel)
{
    double depth = 0.0;
    return sceneReady && showLights && selectedLight >= 0 && selectedLight < scene->lightCount() &&
           lightUnder(pixel, selectedLight, &depth);
}

void GLViewer::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier &&
        onSelectedLight(event->pos())) {
        stopMotion();
        draggedLight = selectedLight;
        dragFrom = event->pos();
        event->accept();
        return;
    }
    if (moveMode && sceneReady && event->button() == Qt::LeftButton &&
        (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::ShiftModifier)) {
        qglviewer::Vec o, d;
        camera()->convertClickToLine(event->pos(), o, d);
        const vec origin(float(o.x), float(o.y), float(o.z));
        const vec direction(float(d.x), float(d.y), float(d.z));
        float t = -1.0f;
        const int model = pickModel(*scene, origin, direction, false, &t);
        if (model >= 0 && scene->fileOf(model) >= 0) {
            stopMotion();
            draggedFile = scene->fileOf(model);
            dragHeight = (origin + direction * t)[2];
            dragFrom = event->pos();
            selectedModel = model;
            selectedLight = -1;
            emit modelSelected(selectedModel);
            emit lightSelected(selectedLight);
            updateGL();
            event->accept();
            return;
        }
    }
    // Turning the camera (a load, a document's camera, a named view) makes
    // the library take the camera's up vector as the orbit's axis; the
    // orbit turns about +z whatever the camera was turned to.
    camera()->frame()->setSceneUpVector(qglviewer::Vec(0.0, 0.0, 1.0));
    standIns->setNavigating(true);
    QGLViewer::mousePressEvent(event);
}

bool GLViewer::groundPoint(const QPoint& pixel, float height, vec& point)
{
    qglviewer::Vec o, d;
    camera()->convertClickToLine(pixel, o, d);
    if (std::fabs(d.z) < 1e-9) {
        return false;
    }
    const double t = (double(height) - o.z) / d.z;
    if (!(t > 0.0)) {
        return false;
    }
    point = vec(float(o.x + t * d.x), float(o.y + t * d.y), height);
    return true;
}

void GLViewer::mouseMoveEvent(QMouseEvent* event)
{
    if (draggedFile >= 0) {
        if (!sceneReady || draggedFile >= scene->fileCount()) {
            draggedFile = -1;
            return;
        }
        const PovSceneFile& file = scene->files[size_t(draggedFile)];
        PovPlacement placement = file.placement;
        if (event->modifiers() & Qt::ShiftModifier) {
            // The turn keeps the centre of the file's models where it is.
            const vec centre = placement.apply(file.center);
            placement.rotate[2] = float(std::remainder(
                double(placement.rotate[2]) + 0.5 * (event->x() - dragFrom.x()), 360.0));
            placement.translate = vec();
            placement.translate = centre - placement.apply(file.center);
        } else {
            vec from, to;
            if (!groundPoint(dragFrom, dragHeight, from) ||
                !groundPoint(event->pos(), dragHeight, to)) {
                event->accept();
                return;
            }
            placement.translate[0] += to[0] - from[0];
            placement.translate[1] += to[1] - from[1];
        }
        dragFrom = event->pos();
        makeCurrent(); // the ground is rebuilt to the new bounds
        scene->setPlacement(draggedFile, placement);
        doneCurrent();
        emit fileMoved(draggedFile);
        updateGL();
        event->accept();
        return;
    }
    if (draggedLight < 0) {
        QGLViewer::mouseMoveEvent(event);
        return;
    }
    if (!sceneReady || draggedLight >= scene->lightCount()) {
        draggedLight = -1;
        return;
    }
    const QPoint delta = event->pos() - dragFrom;
    dragFrom = event->pos();
    PovLight light = scene->lights[size_t(draggedLight)];
    // Half a turn across the view's width; a quarter up its height.
    const double pi = 3.14159265358979;
    const double x = double(light.position[0]), y = double(light.position[1]);
    const double z = double(light.position[2]);
    const double distance = std::sqrt(x * x + y * y + z * z);
    double azimuth = std::atan2(x, y);
    double elevation = distance > 0.0 ? std::asin(std::clamp(z / distance, -1.0, 1.0)) : 0.0;
    azimuth += pi * double(delta.x()) / double(std::max(width(), 1));
    elevation -= pi * double(delta.y()) / double(std::max(height(), 1));
    // The sun stays above the horizon; other lights stop short of the poles.
    const double lowest = draggedLight == 0 && scene->outdoorLighting ? 0.0 : -0.49 * pi;
    elevation = std::clamp(elevation, lowest, 0.49 * pi);
    light.setFromAngles(float(std::remainder(azimuth, 2.0 * pi)), float(elevation),
                        float(distance));
    scene->setLight(draggedLight, light);
    emit lightMoved(draggedLight);
    updateGL();
    event->accept();
}

void GLViewer::mouseReleaseEvent(QMouseEvent* event)
{
    if (draggedLight >= 0 || draggedFile >= 0) {
        draggedLight = -1;
        draggedFile = -1;
        emit dragFinished();
        event->accept();
        return;
    }
    QGLViewer::mouseReleaseEvent(event);
    standIns->setNavigating(false);
}

void GLViewer::postSelection(const QPoint&)
{
    const int id = selectedName();
    const int n = sceneReady ? scene->modelCount() : 0;
    if (id >= 0 && id < n) {
        selectedModel = id;
        selectedLight = -1;
    } else if (id >= n) {
        // Under outdoor lighting the sun ray's name n gives light 0.
        selectedLight = id - n;
        selectedModel = -1;
    } else {
        selectedModel = -1;
        selectedLight = -1;
    }
    emit modelSelected(selectedModel);
    emit lightSelected(selectedLight);
}

void GLViewer::drawScene()
{
    if (!sceneReady) {
        return;
    }
    glClearColor(float(background.redF()), float(background.greenF()), float(background.blueF()),
                 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawEnvironment();
    glEnable(GL_LIGHTING);
    glDisable(GL_COLOR_MATERIAL);
    // The ray tracer sees both sides of every face and lights the side the
    // eye sees; the view does the same: no culling, and two-sided lighting
    // (the meshes give each corner a normal that agrees with its face's
    // winding, so a face seen from behind is lit with that normal reversed).
    glDisable(GL_CULL_FACE);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    setupLights();

    // Shown lines lie on the surfaces: push the surfaces back a little
    // (more where they are steep, as at a silhouette) so that lines on the
    // visible side pass the depth test and lines behind still fail it.
    const bool lines = scene->lines.shown;
    if (lines) {
        glEnable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(1.0f + 0.5f * scene->lines.width, 2.0f);
    }
    if (surfaceImages) {
        surfaceImages->purge();
    }
    drawBackdrop();
    const int n = scene->modelCount();
    standIns->keepOnly(scene->models);
    if (scene->models != drawnModels) {
        // Other models: each may be drawn again.
        drawnModels = scene->models;
        undrawable.clear();
    }
    for (int i = 0; i < n; ++i) {
        // The studio's floor takes the ground's place.
        if (i == 0 && (!scene->groundVisible || scene->stage.studio())) {
            continue;
        }
        // A placed file's models are drawn through its placement.
        const PovPlacement& placement = scene->placementOf(i);
        const bool placed = !placement.isIdentity();
        if (placed) {
            double m[16];
            placement.matrix(m);
            glPushMatrix();
            glMultMatrixd(m);
            glPushAttrib(GL_ENABLE_BIT);
            glEnable(GL_NORMALIZE);
        }
        if (wireframe) {
            drawModelWireframe(i);
        } else {
            drawModel(i);
        }
        if (placed) {
            glPopAttrib();
            glPopMatrix();
        }
    }
    glDisable(GL_LIGHTING);
    if (lines) {
        glDisable(GL_POLYGON_OFFSET_FILL);
        glPolygonOffset(0.0f, 0.0f);
        drawFeatureLines();
    }

    if (showLights) {
        // Outdoors the sun (light 0) is a ray; every other light is a star.
        for (int i = 0; i < scene->lightCount(); ++i) {
            if (i == 0 && scene->outdoorLighting) {
                drawSun();
            } else {
                drawLight(i);
            }
        }
    }
}

bool GLViewer::linesCurrent(int i, const vec& eye, const vec& light) const
{
    if (i >= int(lineStates.size())) {
        return false;
    }
    const LineState& s = lineStates[size_t(i)];
    const LnLineSettings& now = scene->lines;
    LnModel* model = scene->models[size_t(i)];
    return s.model == model && s.faces == model->getMesh()->getNumFaces() && s.eye == eye &&
           s.light == light && s.settings.contours == now.contours &&
           s.settings.suggestive == now.suggestive && s.settings.ridges == now.ridges &&
           s.settings.valleys == now.valleys && s.settings.isophotes == now.isophotes &&
           s.settings.isophoteCount == now.isophoteCount &&
           s.settings.derivativeThreshold == now.derivativeThreshold &&
           s.settings.ridgeThreshold == now.ridgeThreshold;
}

void GLViewer::extractModelLines(int i, const vec& eye, const vec& light)
{
    if (int(lineStates.size()) < scene->modelCount()) {
        lineStates.resize(size_t(scene->modelCount()));
    }
    LnModel* model = scene->models[size_t(i)];
    // The one-off work of the first extraction is not what the timing judges.
    model->prepareLines();
    QElapsedTimer clock;
    clock.start();
    featureLines(*model, scene->lines, eye, light);
    LineState& s = lineStates[size_t(i)];
    s.model = model;
    s.faces = model->getMesh()->getNumFaces();
    s.eye = eye;
    s.light = light;
    s.settings = scene->lines;
    s.ms = double(clock.nsecsElapsed()) / 1e6;
    ++lineExtractions;
}

void GLViewer::refreshLines()
{
    if (!sceneReady || !scene->lines.shown) {
        return;
    }
    const qglviewer::Vec p = camera()->position();
    const vec eye(float(p.x), float(p.y), float(p.z));
    const vec light = lineLightDirection(*scene);
    for (int i = 1; i < scene->modelCount(); ++i) {
        const PovPlacement& placement = scene->placementOf(i);
        const vec modelEye = placement.unapply(eye), modelLight = placement.unturn(light);
        if (scene->models[size_t(i)]->getExtractor() && !linesCurrent(i, modelEye, modelLight)) {
            extractModelLines(i, modelEye, modelLight);
        }
    }
    updateGL();
}

void GLViewer::drawFeatureLines()
{
    const qglviewer::Vec p = camera()->position();
    const vec eye(float(p.x), float(p.y), float(p.z));
    const vec light = lineLightDirection(*scene);
    bool waiting = false;
    for (int i = 1; i < scene->modelCount(); ++i) {
        LnModel* model = scene->models[size_t(i)];
        // A placed model's lines are extracted in its file's frame and
        // drawn through its placement.
        const PovPlacement& placement = scene->placementOf(i);
        const vec modelEye = placement.unapply(eye), modelLight = placement.unturn(light);
        if (model->getExtractor() && !linesCurrent(i, modelEye, modelLight)) {
            // A model never extracted is judged by its size: the extractor
            // takes about 0.04 s per million triangles here.
            const bool known = i < int(lineStates.size()) && lineStates[size_t(i)].model == model &&
                               lineStates[size_t(i)].ms >= 0.0;
            const bool cheap = known ? lineStates[size_t(i)].ms < interactiveLineMs
                                     : model->getMesh()->getNumFaces() <= 100000;
            if (!cheap) {
                waiting = true;
                continue;
            }
            extractModelLines(i, modelEye, modelLight);
        }
        if (placement.isIdentity()) {
            drawLinePaths(model->getLines(), scene->lines);
        } else {
            double m[16];
            placement.matrix(m);
            glPushMatrix();
            glMultMatrixd(m);
            drawLinePaths(model->getLines(), scene->lines);
            glPopMatrix();
        }
    }
    if (waiting) {
        lineTimer->start(); // restarted by every paint while the view moves
    }
    handleGLError();
}

void drawLinePaths(const LnPathList& paths, const LnLineSettings& lines)
{
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LINE_BIT | GL_COLOR_BUFFER_BIT |
                 GL_CURRENT_BIT | GL_HINT_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glLineWidth(lines.width);
    const float r = lines.color[0], g = lines.color[1], b = lines.color[2];
    for (int j = 0; j < paths.size(); ++j) {
        const LnPath& path = *paths[j];
        if (path.points.size() < 2) {
            continue;
        }
        glBegin(GL_LINE_STRIP);
        for (size_t k = 0; k < path.points.size(); ++k) {
            glColor4f(r, g, b, lines.fade ? pointStrength(path, k) : 1.0f);
            glVertex3fv(path.points[k].data());
        }
        glEnd();
    }
    glPopAttrib();
}

void GLViewer::setupLights()
{
    handleGLError();
    const GLfloat noAmbient[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, noAmbient);
    if (scene->stage.environment()) {
        // The environment's brightest region as one light; the rest of
        // its light comes through the surface program's harmonics.
        const PovEnvironmentLight& light = environmentLighting().dominant;
        const GLfloat position[4] = {light.direction[0], light.direction[1], light.direction[2],
                                     0.0f};
        const GLfloat c[4] = {light.colour[0], light.colour[1], light.colour[2], 1.0f};
        const GLfloat none[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        glLightfv(GL_LIGHT0, GL_AMBIENT, none);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, c);
        glLightfv(GL_LIGHT0, GL_SPECULAR, c);
        glLightfv(GL_LIGHT0, GL_POSITION, position);
        glEnable(GL_LIGHT0);
        for (int i = 1; i < 8; ++i) {
            glDisable(GLenum(GL_LIGHT0 + i));
        }
        handleGLError();
        return;
    }
    const int count = std::min(scene->lightCount(), 8);
    for (int i = 0; i < count; ++i) {
        const PovLight& light = scene->lights[i];
        const GLenum id = GLenum(GL_LIGHT0 + i);
        const GLfloat position[4] = {light.position[0], light.position[1], light.position[2], 0.0f};
        const float s = light.intensity;
        vec colour = light.color;
        if (srgbColours) {
            for (int k = 0; k < 3; ++k) {
                colour[k] = float(srgbToLinear(double(colour[k])));
            }
        }
        const GLfloat c[4] = {colour[0] * s, colour[1] * s, colour[2] * s, s};
        glLightfv(id, GL_AMBIENT, c);
        glLightfv(id, GL_DIFFUSE, c);
        glLightfv(id, GL_SPECULAR, c);
        glLightfv(id, GL_POSITION, position);
        glEnable(id);
        handleGLError();
    }
    for (int i = count; i < 8; ++i) {
        glDisable(GLenum(GL_LIGHT0 + i));
    }
}

void setMaterial(const PovTexture& texture, bool srgbColours)
{
    handleGLError();
    GLfloat b[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    if (texture.name.isNull() && texture.image) {
        b[0] = b[1] = b[2] = 1.0f; // the image gives the colour
    } else if (texture.name.isNull()) {
        b[0] = texture.red;
        b[1] = texture.green;
        b[2] = texture.blue;
        if (srgbColours) {
            for (int k = 0; k < 3; ++k) {
                b[k] = float(srgbToLinear(double(b[k])));
            }
        }
    }
    GLfloat ambient[4], diffuse[4], specular[4];
    for (int k = 0; k < 4; ++k) {
        ambient[k] = b[k] * texture.ambient;
        diffuse[k] = b[k] * texture.diffuse;
        specular[k] = (texture.metallic ? b[k] : 1.0f) * texture.specular;
    }
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    // OpenGL accepts shininess up to 128; roughness below 1/128 is clamped.
    float shininess = texture.roughness > 0.0f ? 1.0f / texture.roughness : 128.0f;
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::min(shininess, 128.0f));
    handleGLError();
}

void GLViewer::drawModel(int i)
{
    LnMesh* mesh = scene->models[i]->getDisplayMesh();
    // While the camera moves a large model may be drawn as its stand-in.
    const bool standIn = standIns->use(scene->models[i]);
    if (i == selectedModel) {
        glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
        glDisable(GL_LIGHTING);
        glDisable(GL_BLEND);
        // The rim: every edge, wide and pushed back, so the surface drawn
        // next hides all but what sticks out past its outline. Both sides
        // count, as the view shows both (an open mesh may face away).
        glDisable(GL_CULL_FACE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glEnable(GL_POLYGON_OFFSET_LINE);
        glPolygonOffset(10.0f, 10.0f);
        glColor3f(1.0f, 1.0f, 0.25f);
        glLineWidth(5.0f);
        standIn ? standIns->drawGeometry(scene->models[i]) : drawWholeModel(i, false);
        glPopAttrib();
    }
    QOpenGLShaderProgram* program = surfaceShading();
    // A preset shows its swatch once it is ready (its highlight is the
    // material's).
    float box[4];
    const bool swatched = program && presetSwatches && i < int(scene->textures.size()) &&
                          bindSwatch(i, box);
    swatchCounting += swatched;
    if (i < int(scene->textures.size())) {
        setMaterial(scene->textures[i], srgbColours);
    }
    bool imaged = false;
    if (program) {
        program->bind();
        program->setUniformValue("lightCount", scene->stage.environment()
                                                   ? 1
                                                   : std::min(scene->lightCount(), 8));
        const vec ambient = scene->ambientLight();
        program->setUniformValue("ambientLight", ambient[0], ambient[1], ambient[2]);
        program->setUniformValue("surfaceImageMode", swatched ? 2 : 0);
        if (swatched) {
            program->setUniformValue("swatchBox", box[0], box[1], box[2], box[3]);
        } else if (i < int(scene->textures.size()) && scene->textures[i].name.isNull() &&
                   scene->textures[i].image && mesh->hasTextureCoordinates()) {
            // A file material's image on the model's texture coordinates.
            if (!surfaceImages) {
                surfaceImages = std::make_unique<GLSurfaceImages>();
            }
            imaged = surfaceImages->bind(scene->textures[i].image, scene->textures[i].wrapU,
                                         scene->textures[i].wrapV);
            program->setUniformValue("surfaceImageMode", imaged ? 1 : 0);
        }
        program->setUniformValue("surfaceImage", 0);
        program->setUniformValue("surfaceImageLinear", srgbColours ? 1 : 0);
        setEnvironmentUniforms(program);
        program->setUniformValue("environmentReflection",
                                 i < int(scene->textures.size()) ? scene->textures[i].reflection
                                                                 : 0.0f);
    }
    if (standIn) {
        standIns->drawShaded(scene->models[i]);
    } else {
        drawWholeModel(i, true);
    }
    if (program) {
        program->release();
    }
    if (swatched) {
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    if (imaged) {
        GLSurfaceImages::release();
    }
    handleGLError();
}

bool GLViewer::bindSwatch(int i, float box[4])
{
    if (!swatchMaker) {
        swatchMaker = new PovSwatches(this);
        connect(swatchMaker, &PovSwatches::ready, this, [this]() { update(); });
    }
    if (!swatchSet) {
        swatchSet = std::make_unique<GLSwatchSet>();
    }
    return swatchSet->bind(*swatchMaker, *scene, i, box);
}

QOpenGLShaderProgram* GLViewer::surfaceShading()
{
    if (surfaceProgramTried) {
        return surfaceProgram;
    }
    surfaceProgramTried = true;
    auto* program = new QOpenGLShaderProgram(this);
    const QByteArray fragment = QByteArray(surfaceFragmentShader)
                                    .replace("SWATCH_TEXELS", QByteArray::number(swatchTexels) + ".0");
    if (program->addShaderFromSourceCode(QOpenGLShader::Vertex, surfaceVertexShader) &&
        program->addShaderFromSourceCode(QOpenGLShader::Fragment, fragment) &&
        program->link()) {
        surfaceProgram = program;
    } else {
        std::fprintf(stderr,
                     "GLViewer: per-pixel lighting unavailable, using fixed-function "
                     "lighting (%s)\n",
                     qPrintable(program->log().trimmed()));
        delete program;
    }
    // A failed compile may leave an error behind; it is not the scene's.
    while (glGetError() != GL_NO_ERROR) {
    }
    return surfaceProgram;
}

void GLViewer::drawWholeModel(int i, bool shaded)
{
    LnModel* model = scene->models[i];
    if (undrawable.count(model)) {
        return;
    }
    try {
        if (!standIns->drawWhole(model, shaded)) {
            LnMesh* mesh = model->getDisplayMesh();
            shaded ? mesh->drawShaded() : mesh->drawGeometry();
        }
    } catch (const std::bad_alloc&) {
        // Left out of the view from now on (trying again at every frame
        // would only fail again), and said once.
        undrawable.insert(model);
        emit notEnoughMemoryToDraw(i);
    }
}

void GLViewer::drawModelWireframe(int i)
{
    const bool selected = i == selectedModel;
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glLineWidth(2.0f);

    // Pass 1: every edge, dimmed.
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glDisable(GL_CULL_FACE);
    glDepthMask(GL_FALSE);
    if (selected) {
        glColor3f(0.4f, 0.4f, 0.1f);
    } else {
        glColor3f(0.1f, 0.4f, 0.1f);
    }
    drawWholeModel(i, false);

    // Pass 2: depth only, pushed back so the visible edges win.
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 1.0f);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthMask(GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    drawWholeModel(i, false);

    // Pass 3: the visible edges, bright.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_FALSE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    if (selected) {
        glColor3f(1.0f, 1.0f, 0.25f);
    } else {
        glColor3f(0.25f, 1.0f, 0.25f);
    }
    drawWholeModel(i, false);

    glPopAttrib();
    handleGLError();
}

void GLViewer::drawLight(int i)
{
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    vec center;
    float radius = 0.0f;
    scene->bounds(center, radius);
    glDepthMask(GL_FALSE);
    const PovLight& light = scene->lights[i];
    const vec at = markerPosition(light.position, center, radius, scene->outdoorLighting);
    if (i == selectedLight) {
        glLineWidth(11.0f);
        glColor3f(1.0f, 1.0f, 0.0f);
        drawStar(at, 0.11f * radius);
        glLineWidth(7.0f);
        glColor3f(0.0f, 0.0f, 0.0f);
        drawStar(at, 0.11f * radius);
    }
    glLineWidth(3.0f);
    glColor3fv(light.color.data());
    drawStar(at, 0.1f * radius);
    glPopAttrib();
}

void GLViewer::drawSun()
{
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDepthMask(GL_FALSE);
    vec center;
    float radius = 0.0f;
    scene->bounds(center, radius);
    if (scene->lightCount() == 0) {
        glPopAttrib();
        return;
    }
    const PovLight& sun = scene->lights[0];
    vec d = sun.position;
    const float l = len(d);
    d = l > 0.0f ? d / l : vec(1.0f, 0.0f, 0.0f);
    const vec end = center + d * (radius * 100.0f);
    if (selectedLight == 0) {
        glColor3f(1.0f, 1.0f, 0.0f);
        glLineWidth(11.0f);
        glPointSize(15.0f);
        drawRay(center, end);
        glColor3f(0.0f, 0.0f, 0.0f);
        glLineWidth(7.0f);
        glPointSize(11.0f);
        drawRay(center, end);
    }
    glColor3fv(sun.color.data());
    glLineWidth(3.0f);
    glPointSize(7.0f);
    drawRay(center, end);
    glPopAttrib();
}

vec markerPosition(const vec& light, const vec& center, float radius, bool outdoor)
{
    vec d = light - center;
    const float distance = len(d);
    if (!outdoor || distance <= 2.0f * radius) {
        return light;
    }
    return center + d * (2.0f * radius / distance);
}

void drawStar(const vec& centre, float size)
{
    auto axes = [size]() {
        glBegin(GL_LINES);
        glVertex3f(-2.0f * size, 0.0f, 0.0f);
        glVertex3f(2.0f * size, 0.0f, 0.0f);
        glVertex3f(0.0f, -2.0f * size, 0.0f);
        glVertex3f(0.0f, 2.0f * size, 0.0f);
        glVertex3f(0.0f, 0.0f, -2.0f * size);
        glVertex3f(0.0f, 0.0f, 2.0f * size);
        glEnd();
    };
    glPushMatrix();
    glTranslatef(centre[0], centre[1], centre[2]);
    axes();
    glRotatef(45.0f, 1.0f, 0.0f, 0.0f);
    glRotatef(37.0f, 0.0f, 0.0f, 1.0f);
    axes();
    glPopMatrix();
}

void drawRay(const vec& from, const vec& to)
{
    glBegin(GL_LINES);
    glVertex3fv(from.data());
    glVertex3fv(to.data());
    glEnd();
    const vec step = to - from;
    glBegin(GL_POINTS);
    for (int k = 0; k < 100; ++k) {
        const vec p = from + step * (float(k) / 100.0f);
        glVertex3fv(p.data());
    }
    glEnd();
}

void handleGLError()
{
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        qCritical("handleGLError: %s\n", reinterpret_cast<const char*>(gluErrorString(error)));
        std::exit(1);
    }
}

namespace {

// Pixels from `pixel` to the segment a-b on the screen; the part of the
// segment behind the eye is cut off first. Infinite when none is in front.
double pixelsToSegment(const qglviewer::Camera& camera, vec a, vec b, const QPointF& pixel)
{
    auto local = [&camera](const vec& p) {
        return camera.cameraCoordinatesOf(qglviewer::Vec(p[0], p[1], p[2]));
    };
    qglviewer::Vec ca = local(a), cb = local(b);
    const double nearZ = -camera.zNear();
    if (ca.z > nearZ && cb.z > nearZ) {
        return std::numeric_limits<double>::infinity();
    }
    if (ca.z > nearZ || cb.z > nearZ) {
        const double s = (nearZ - ca.z) / (cb.z - ca.z);
        const qglviewer::Vec cut = ca + (cb - ca) * s;
        (ca.z > nearZ ? ca : cb) = cut;
    }
    auto screen = [&camera](const qglviewer::Vec& c) {
        const qglviewer::Vec p = camera.projectedCoordinatesOf(camera.worldCoordinatesOf(c));
        return QPointF(p.x, p.y);
    };
    const QPointF p = screen(ca), q = screen(cb);
    const QPointF d = q - p;
    const double dd = QPointF::dotProduct(d, d);
    double t = dd > 0.0 ? QPointF::dotProduct(pixel - p, d) / dd : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const QPointF nearest = p + d * t;
    return QLineF(nearest, pixel).length();
}

} // namespace

// The library's selection draws the scene in OpenGL's selection mode, which
// some drivers (Mesa's software renderer among them) crash on when display
// lists are called in it. Picking here needs no drawing: models are hit by
// a ray through the pixel, lights by their markers' distance on the screen,
// and the nearer of the two wins, as a drawn pick would choose.
void GLViewer::select(const QPoint& point)
{
    int picked = -1;
    if (sceneReady) {
        qglviewer::Vec from, along;
        camera()->convertClickToLine(point, from, along);
        const vec origin(float(from.x), float(from.y), float(from.z));
        const vec direction(float(along.x), float(along.y), float(along.z));
        float t = -1.0f;
        picked = pickModel(*scene, origin, direction, scene->groundVisible, &t);
        const qglviewer::Vec view = camera()->viewDirection();
        double depth = picked >= 0 ? (along * double(t)) * view : 0.0;
        if (showLights) {
            const int n = scene->modelCount();
            for (int i = 0; i < scene->lightCount(); ++i) {
                double at = 0.0;
                if (lightUnder(point, i, &at) && (picked < 0 || at < depth)) {
                    picked = n + i;
                    depth = at;
                }
            }
        }
    }
    setSelectedName(picked);
    postSelection(point);
}

bool GLViewer::lightUnder(const QPoint& pixel, int i, double* depth)
{
    vec center;
    float radius = 0.0f;
    scene->bounds(center, radius);
    const PovLight& light = scene->lights[size_t(i)];
    const qglviewer::Camera& cam = *camera();
    const QPointF at(pixel);
    const double reach = 4.0;
    auto depthOf = [&cam](const vec& p) {
        return (qglviewer::Vec(p[0], p[1], p[2]) - cam.position()) * cam.viewDirection();
    };
    if (i == 0 && scene->outdoorLighting) {
        // The sun's ray, from the models' centre far outwards.
        vec d = light.position;
        const float l = len(d);
        d = l > 0.0f ? d / l : vec(1.0f, 0.0f, 0.0f);
        const vec end = center + d * (radius * 100.0f);
        if (pixelsToSegment(cam, center, end, at) > reach) {
            return false;
        }
        *depth = std::max(0.0, depthOf(center) - double(radius));
        return true;
    }
    // A star: three axes and the same three turned, of half-length 0.2 of
    // the radius (the selected star's wider marker is the same size).
    const vec marker = markerPosition(light.position, center, radius, scene->outdoorLighting);
    const float arm = 0.2f * radius * 1.1f;
    const float c45 = std::cos(0.7853982f), s45 = std::sin(0.7853982f);
    const float c37 = std::cos(0.6457718f), s37 = std::sin(0.6457718f);
    auto turned = [&](const vec& v) {
        // Rx(45) * Rz(37), as drawStar turns its second set of axes.
        const vec z(c37 * v[0] - s37 * v[1], s37 * v[0] + c37 * v[1], v[2]);
        return vec(z[0], c45 * z[1] - s45 * z[2], s45 * z[1] + c45 * z[2]);
    };
    const vec axes[3] = {vec(arm, 0, 0), vec(0, arm, 0), vec(0, 0, arm)};
    for (const vec& axis : axes) {
        for (const vec& a : {axis, turned(axis)}) {
            if (pixelsToSegment(cam, marker - a, marker + a, at) <= reach) {
                *depth = depthOf(marker);
                return true;
            }
        }
    }
    return false;
}
