#include "scene/PovDetail.h"

#include "ln/LnSmoothMesh.h"
#include "scene/PovScene.h"
#include "trimesh/Simplify.h"
#include "trimesh/TriMesh.h"

#include <QGLViewer/camera.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <new>

namespace {

// A simplified copy as the writer reads it: faces, corners and normals.
class DetailMesh : public LnMesh {
public:
    DetailMesh(SimplifiedMesh copy, bool flat) : mesh(std::move(copy)), flat(flat) {}
    void drawGeometry() override {}
    void refresh() override {}
    void drawShaded() override {}
    int getNumFaces() override { return int(mesh.faces.size()); }
    void getFaceVertices(int face, vec& a, vec& b, vec& c) override
    {
        const Face& f = mesh.faces[size_t(face)];
        a = mesh.vertices[size_t(f[0])];
        b = mesh.vertices[size_t(f[1])];
        c = mesh.vertices[size_t(f[2])];
    }
    void getFaceNormals(int face, vec& a, vec& b, vec& c) override
    {
        if (mesh.normals.empty()) {
            a = b = c = vec(0, 0, 1);
            return;
        }
        const Face& f = mesh.faces[size_t(face)];
        a = mesh.normals[size_t(f[0])];
        b = mesh.normals[size_t(f[1])];
        c = mesh.normals[size_t(f[2])];
    }
    void drawFace(int) override {}
    void setFlat(bool on) override { flat = on; }
    bool isFlat() override { return flat; }
    void getBoundingSphere(vec& center, float& radius) override
    {
        center = vec();
        radius = 0.0f;
    }
    void computeConnectivity() override {}
    bool write(const char*) override { return false; }
    const SimplifiedMesh& copy() const { return mesh; }

private:
    SimplifiedMesh mesh;
    bool flat;
};

QString grouped(long long n)
{
    QString digits = QString::number(n);
    for (int i = digits.size() - 3; i > 0; i -= 3) {
        digits.insert(i, QLatin1Char(','));
    }
    return digits;
}

} // namespace

std::vector<PovDetailPlan> povDetailPlan(const PovScene& scene, qglviewer::Camera* camera,
                                         const PovRenderSettings& settings)
{
    std::vector<PovDetailPlan> plans;
    if (settings.detail != PovDetail::Auto || !camera) {
        return plans;
    }
    const QSize picture =
        settings.pictureSize(QSize(camera->screenWidth(), camera->screenHeight()));
    const double width = std::max(picture.width(), 1);
    const double pixels = width * std::max(picture.height(), 1);
    // POV-Ray's camera spans the horizontal field of view across the
    // picture's width.
    const double halfTan = std::tan(camera->horizontalFieldOfView() / 2.0);
    if (!(halfTan > 0.0) || !std::isfinite(halfTan)) {
        return plans;
    }
    for (int i = 1; i < scene.modelCount(); ++i) {
        LnMesh* mesh = scene.models[size_t(i)]->getMesh();
        const long long triangles = mesh->getNumFaces();
        // A model drawn with its file's image keeps its texture coordinates,
        // which the simplified copy would not.
        if (triangles < minimumDetailTriangles || !mesh->isSmooth() ||
            mesh->hasTextureCoordinates()) {
            continue;
        }
        vec c;
        float r = 0.0f;
        mesh->getBoundingSphere(c, r);
        const PovPlacement& placement = scene.placementOf(i);
        const vec center = placement.apply(c);
        const double radius = double(r) * double(std::abs(placement.scale));
        const qglviewer::Vec seen =
            camera->cameraCoordinatesOf(qglviewer::Vec(center[0], center[1], center[2]));
        const double depth = -seen.z; // the camera looks down -z
        // The nearest the surface can come to the camera; a sphere reaching
        // the camera's plane may fill the picture with any detail.
        const double nearest = depth - radius;
        if (!(radius > 0.0) || !(nearest > 1e-6 * radius) || !std::isfinite(depth)) {
            continue;
        }
        // The sphere's outline: its half angle's tangent is r / sqrt(d² - r²).
        const double outline = radius / std::sqrt(std::max(depth * depth - radius * radius, 1e-30));
        const double discRadius = outline / halfTan * width / 2.0;
        const double covered = std::min(pixels, 3.14159265358979 * discRadius * discRadius);
        if (double(triangles) <= trianglesPerPixelLimit * std::max(covered, 1.0)) {
            continue;
        }
        PovDetailPlan plan;
        plan.model = i;
        plan.triangles = triangles;
        plan.target = std::max(minimumDetailTarget, (long long)(keptTrianglesPerPixel * covered));
        // A pixel's width where the surface is nearest, in the file's units.
        const double pixel = 2.0 * nearest * halfTan / width;
        plan.maxError =
            float(detailPixelError * pixel / std::max(double(std::abs(placement.scale)), 1e-30));
        if (plan.target < triangles) {
            plans.push_back(plan);
        }
    }
    return plans;
}

std::unique_ptr<LnMesh> povDetailMesh(const PovScene& scene, const PovDetailPlan& plan)
{
    if (plan.model <= 0 || plan.model >= scene.modelCount()) {
        return nullptr;
    }
    auto* smooth = dynamic_cast<LnSmoothMesh*>(scene.models[size_t(plan.model)]->getMesh());
    if (!smooth) {
        return nullptr;
    }
    try {
        std::lock_guard<std::recursive_mutex> guard(smooth->derivedDataLock());
        const TriMesh* mesh = smooth->triMesh();
        SimplifiedMesh copy = simplifyMesh(mesh->vertices, mesh->normals, mesh->faces,
                                           size_t(plan.target), plan.maxError);
        if (copy.faces.empty()) {
            return nullptr;
        }
        return std::make_unique<DetailMesh>(std::move(copy), smooth->isFlat());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

const SimplifiedMesh* povDetailCopy(LnMesh* mesh)
{
    const auto* copy = dynamic_cast<const DetailMesh*>(mesh);
    return copy ? &copy->copy() : nullptr;
}

QString povDetailSentence(const PovScene& scene, qglviewer::Camera* camera,
                          const PovRenderSettings& settings)
{
    if (settings.detail == PovDetail::Full) {
        PovRenderSettings automatic = settings;
        automatic.detail = PovDetail::Auto;
        if (povDetailPlan(scene, camera, automatic).empty()) {
            return QString();
        }
        return QStringLiteral("Full detail: every triangle is rendered.");
    }
    const std::vector<PovDetailPlan> plans = povDetailPlan(scene, camera, settings);
    if (plans.empty()) {
        return QString();
    }
    long long triangles = 0, target = 0;
    for (const PovDetailPlan& plan : plans) {
        triangles += plan.triangles;
        target += plan.target;
    }
    return QStringLiteral("Automatic detail: %1 %2 of %3 triangles %4 rendered with at most %5.")
        .arg(plans.size())
        .arg(plans.size() == 1 ? QStringLiteral("model") : QStringLiteral("models"))
        .arg(grouped(triangles))
        .arg(plans.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"))
        .arg(grouped(target));
}
