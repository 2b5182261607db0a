// The view's part of environment lighting and the studio: the panorama
// drawn behind the models, its light handed to the surface program, and
// the studio's backdrop drawn as the render writes it.

#include "viewer/GLViewer.h"

#include <GL/gl.h>

#include <QOpenGLShaderProgram>

#include <QGLViewer/camera.h>

#include <algorithm>

const PovEnvironmentLighting& GLViewer::environmentLighting()
{
    const PovStage& stage = scene->stage;
    if (environmentCacheFor != stage.panorama.get() || environmentCacheTurn != stage.turn ||
        environmentCacheStrength != stage.strength) {
        environmentCache = stage.panorama->lighting(float(stage.turn), float(stage.strength));
        environmentCacheFor = stage.panorama.get();
        environmentCacheTurn = stage.turn;
        environmentCacheStrength = stage.strength;
    }
    return environmentCache;
}

void GLViewer::setEnvironmentUniforms(QOpenGLShaderProgram* program)
{
    const bool on = scene->stage.environment();
    program->setUniformValue("environmentLight", on ? 1 : 0);
    if (!on) {
        return;
    }
    const PovEnvironmentLighting& lighting = environmentLighting();
    GLfloat sh[27];
    for (int i = 0; i < 9; ++i) {
        for (int k = 0; k < 3; ++k) {
            sh[3 * i + k] = lighting.sh[size_t(i)][k];
        }
    }
    program->setUniformValueArray("environmentSH", sh, 9, 3);
    // The panorama gives all the light: no flat ambient term.
    program->setUniformValue("ambientLight", 0.0f, 0.0f, 0.0f);
    // The camera's orientation turns its own axes (the eye's) into the
    // world's.
    const qglviewer::Quaternion q = camera()->orientation();
    GLfloat m[9];
    for (int column = 0; column < 3; ++column) {
        const qglviewer::Vec axis = q.rotate(qglviewer::Vec(column == 0, column == 1, column == 2));
        m[3 * column + 0] = float(axis.x);
        m[3 * column + 1] = float(axis.y);
        m[3 * column + 2] = float(axis.z);
    }
    program->setUniformValue("environmentToWorld", QMatrix3x3(m).transposed());
}

void GLViewer::drawEnvironment()
{
    const PovStage& stage = scene->stage;
    if (!stage.environment()) {
        return;
    }
    const PovPanorama& panorama = *stage.panorama;
    if (!environmentTexture) {
        GLuint name = 0;
        glGenTextures(1, &name);
        environmentTexture = name;
    }
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glBindTexture(GL_TEXTURE_2D, environmentTexture);
    if (environmentTextureFor != &panorama || environmentTextureStrength != stage.strength) {
        // The picture as the render shows it: times the strength, clipped,
        // sRGB-encoded; row 0 (the top) at t = 0.
        const std::vector<unsigned char> pixels = panorama.preview(float(stage.strength));
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, panorama.previewWidth(), panorama.previewHeight(),
                     0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        environmentTextureFor = &panorama;
        environmentTextureStrength = stage.strength;
    }
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor3f(1.0f, 1.0f, 1.0f);
    // A sphere about the eye, between the near and far planes.
    const qglviewer::Vec eye = camera()->position();
    const double r = 0.5 * (camera()->zNear() + camera()->zFar());
    const int across = 96, down = 48;
    glBegin(GL_QUADS);
    for (int j = 0; j < down; ++j) {
        for (int i = 0; i < across; ++i) {
            const double u[4] = {double(i) / across, double(i + 1) / across,
                                 double(i + 1) / across, double(i) / across};
            const double v[4] = {double(j) / down, double(j) / down, double(j + 1) / down,
                                 double(j + 1) / down};
            for (int k = 0; k < 4; ++k) {
                const vec d = PovPanorama::direction(u[k], v[k], stage.turn);
                glTexCoord2d(u[k], v[k]);
                glVertex3d(eye.x + r * double(d[0]), eye.y + r * double(d[1]),
                           eye.z + r * double(d[2]));
            }
        }
    }
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glPopAttrib();
    handleGLError();
}

void GLViewer::drawBackdrop()
{
    if (!scene->stage.studio()) {
        if (camera()->zClippingCoefficient() != zClipping) {
            camera()->setZClippingCoefficient(zClipping);
            camera()->loadProjectionMatrix();
            glMatrixMode(GL_MODELVIEW);
        }
        return;
    }
    // Made again when the models move or change.
    std::vector<double> key = {double(scene->center[0]), double(scene->center[1]),
                               double(scene->center[2]), double(scene->radius),
                               double(scene->modelCount())};
    for (const PovSceneFile& file : scene->files) {
        for (int k = 0; k < 3; ++k) {
            key.push_back(double(file.placement.translate[k]));
            key.push_back(double(file.placement.rotate[k]));
        }
        key.push_back(double(file.placement.scale));
    }
    if (key != backdropCacheKey) {
        backdropCache = studioBackdrop(*scene);
        backdropCacheKey = key;
    }
    // The backdrop reaches far past the models: the depth range grows to
    // hold all of it, as the render (which clips nothing) shows it.
    const qglviewer::Vec centre = camera()->sceneCenter();
    double farthest = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        const vec& x = corner & 1 ? backdropCache.high : backdropCache.low;
        const vec& y = corner & 2 ? backdropCache.high : backdropCache.low;
        const vec& z = corner & 4 ? backdropCache.high : backdropCache.low;
        farthest = std::max(farthest, (qglviewer::Vec(x[0], y[1], z[2]) - centre).norm());
    }
    const double coefficient =
        std::max(zClipping, 1.05 * farthest / std::max(camera()->sceneRadius(), 1e-9));
    if (camera()->zClippingCoefficient() != coefficient) {
        camera()->setZClippingCoefficient(coefficient);
        camera()->loadProjectionMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    const float ambient = scene->textures.empty() ? 0.0f : scene->textures[0].ambient;
    setMaterial(backdropTexture(scene->stage, ambient), srgbColours);
    QOpenGLShaderProgram* program = surfaceShading();
    if (program) {
        program->bind();
        program->setUniformValue("lightCount", std::min(scene->lightCount(), 8));
        const vec light = scene->ambientLight();
        program->setUniformValue("ambientLight", light[0], light[1], light[2]);
        setEnvironmentUniforms(program);
        program->setUniformValue("environmentReflection", 0.0f);
    }
    glBegin(GL_TRIANGLES);
    for (size_t i = 0; i < backdropCache.positions.size(); ++i) {
        glNormal3fv(backdropCache.normals[i].data());
        glVertex3fv(backdropCache.positions[i].data());
    }
    glEnd();
    if (program) {
        program->release();
    }
    handleGLError();
}
