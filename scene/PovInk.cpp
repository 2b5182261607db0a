#include "scene/PovInk.h"

#include "ln/LnLineSettings.h"
#include "scene/PovNumber.h"

#include <QGLViewer/camera.h>

#include <cmath>

InkView inkView(const qglviewer::Camera& camera)
{
    InkView view;
    const qglviewer::Vec p = camera.position();
    const qglviewer::Vec d = camera.viewDirection();
    view.eye = vec(float(p.x), float(p.y), float(p.z));
    view.forward = vec(float(d.x), float(d.y), float(d.z));
    normalize(view.forward);
    const int width = std::max(camera.screenWidth(), 1);
    view.pixelPerDepth =
        float(2.0 * std::tan(camera.horizontalFieldOfView() / 2.0) / double(width));
    return view;
}

vec lineLightDirection(const PovScene& scene)
{
    if (!scene.lights.empty()) {
        vec d = scene.lights[0].position;
        if (len2(d) > 0.0f && std::isfinite(len2(d))) {
            normalize(d);
            return d;
        }
    }
    return vec(0.0f, 0.0f, 1.0f);
}

namespace {

struct InkPoint {
    vec centre;
    float radius = 0.0f;
    bool usable = false;
};

void appendTriple(std::string& out, const vec& p)
{
    out += '<';
    appendGeneral(out, p[0]);
    out += ',';
    appendGeneral(out, p[1]);
    out += ',';
    appendGeneral(out, p[2]);
    out += '>';
}

bool finite(const vec& p)
{
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
}

// Writes the tubes of one path; returns the number of objects written.
long long appendPath(std::string& out, const LnPath& path, const PovPlacement& placement,
                     const LnLineSettings& lines, const InkView& view,
                     std::vector<InkPoint>& points)
{
    const size_t n = path.points.size();
    points.assign(n, InkPoint());
    const float halfWidth = 0.5f * lines.width;
    for (size_t k = 0; k < n; ++k) {
        const vec p = placement.apply(path.points[k]);
        // Points behind the camera (or level with it) are not in the
        // picture.
        const float depth = dot(p - view.eye, view.forward);
        const float strength = lines.fade ? pointStrength(path, k) : 1.0f;
        if (!finite(p) || !(depth > 0.0f) || strength < inkFadeCut) {
            continue;
        }
        InkPoint& q = points[k];
        q.centre = view.eye + (p - view.eye) * (1.0f - inkPull);
        q.radius = halfWidth * view.pixelPerDepth * dist(q.centre, view.eye) * strength;
        q.usable = finite(q.centre) && q.radius > 0.0f && std::isfinite(q.radius);
    }
    long long written = 0;
    for (size_t k = 0; k < n; ++k) {
        const InkPoint& a = points[k];
        if (!a.usable) {
            continue;
        }
        out += "\tsphere { ";
        appendTriple(out, a.centre);
        out += ", ";
        appendGeneral(out, a.radius);
        out += " }\n";
        ++written;
        if (k + 1 < n && points[k + 1].usable) {
            const InkPoint& b = points[k + 1];
            // A cone needs two distinct ends; shorter segments are covered
            // by their spheres.
            if (dist(a.centre, b.centre) > 1e-3f * std::min(a.radius, b.radius)) {
                out += "\tcone { ";
                appendTriple(out, a.centre);
                out += ", ";
                appendGeneral(out, a.radius);
                out += ", ";
                appendTriple(out, b.centre);
                out += ", ";
                appendGeneral(out, b.radius);
                out += " }\n";
                ++written;
            }
        }
    }
    return written;
}

} // namespace

void appendInk(std::string& out, const PovScene& scene, const InkView& view)
{
    const LnLineSettings& lines = scene.lines;
    if (!(view.pixelPerDepth > 0.0f) || !finite(view.eye) || !finite(view.forward)) {
        return;
    }
    const vec light = lineLightDirection(scene);
    std::string tubes;
    std::vector<InkPoint> scratch;
    long long objects = 0;
    for (size_t i = 1; i < scene.models.size(); ++i) {
        // A placed model's lines are found in its file's frame, from the eye
        // and light taken there, and placed with it.
        const PovPlacement& placement = scene.placementOf(int(i));
        LnPathList& paths = featureLines(*scene.models[i], lines, placement.unapply(view.eye),
                                         placement.unturn(light));
        for (int j = 0; j < paths.size(); ++j) {
            objects += appendPath(tubes, *paths[j], placement, lines, view, scratch);
        }
    }
    if (objects == 0) {
        return;
    }
    out += "\n#declare INK = texture {\n\tpigment { rgb <";
    for (int c = 0; c < 3; ++c) {
        appendGeneral(out, std::min(std::max(double(lines.color[c]), 0.0), 1.0));
        out += c < 2 ? ", " : ">";
    }
    out += " }\n\tfinish { ambient 0 diffuse 0 specular 0 phong 0 reflection 0 emission 1 }\n}\n";
    out += "union {\n";
    out += tubes;
    out += "\ttexture { INK }\n\tno_shadow\n}\n";
}
