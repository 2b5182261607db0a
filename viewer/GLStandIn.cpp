#include "viewer/GLStandIn.h"

#include "ln/LnModel.h"
#include "ln/LnSmoothMesh.h"
#include "trimesh/TriMesh.h"

#include <QOpenGLBuffer>
#include <QTimer>

#include <GL/gl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <mutex>
#include <new>

namespace {

// One vertex of a stand-in's buffer: position, normal, colour.
struct StandInVertex {
    float position[3];
    float normal[3];
    unsigned char colour[4];
};

} // namespace

struct GLStandIns::Entry {
    int faces = 0;                  // the model's faces when its copy was taken
    std::atomic<bool> built{false}; // set by the builder when `mesh` is filled
    SimplifiedMesh mesh;            // released once uploaded
    std::vector<Color> colours;     // parallel to mesh.vertices; empty without colours
    std::unique_ptr<QOpenGLBuffer> vertexBuffer, indexBuffer;
    int indexCount = 0;
    bool uploaded = false;
    bool failed = false;
};

GLStandIns::GLStandIns(QObject* parent) : QObject(parent), rest(new QTimer(this))
{
    rest->setSingleShot(true);
    rest->setInterval(restMs);
    connect(rest, &QTimer::timeout, this, &GLStandIns::changed);
}

GLStandIns::~GLStandIns()
{
    for (std::thread& t : builders) {
        t.join();
    }
}

void GLStandIns::setNavigating(bool on)
{
    navigating = on;
    if (!on) {
        // The full mesh comes back as soon as the button is let go.
        rest->stop();
        emit changed();
    }
}

void GLStandIns::noteMotion()
{
    if (!navigating) {
        rest->start();
    }
}

bool GLStandIns::moving() const { return navigating || rest->isActive(); }

bool GLStandIns::ready(LnModel* model) const
{
    const auto found = entries.find(model);
    return found != entries.end() && found->second->built && !found->second->failed;
}

bool GLStandIns::use(LnModel* model)
{
    LnMesh* mesh = model->getMesh();
    const int faces = mesh->getNumFaces();
    if (!enabled || faces < minimumTriangles || !mesh->isSmooth()) {
        ++fullDraws;
        return false;
    }
    auto found = entries.find(model);
    if (found == entries.end() || found->second->faces != faces) {
        // A new model, or one changed (subdivided) since its copy was taken.
        auto entry = std::make_shared<Entry>();
        entry->faces = faces;
        entries[model] = entry;
        start(model, entry);
        ++fullDraws;
        return false;
    }
    Entry& entry = *found->second;
    if (!moving() || !entry.built || entry.failed || !upload(entry)) {
        ++fullDraws;
        return false;
    }
    ++standInDraws;
    return true;
}

void GLStandIns::start(LnModel* model, const std::shared_ptr<Entry>& entry)
{
    auto* smooth = dynamic_cast<LnSmoothMesh*>(model->getMesh());
    if (!smooth) {
        entry->failed = true;
        entry->built = true;
        return;
    }
    // The builder works on its own copy, so the model may change or go
    // while it runs; taking it is a plain copy of arrays.
    auto copy = std::make_shared<TriMesh>();
    try {
        std::lock_guard<std::recursive_mutex> guard(smooth->derivedDataLock());
        const TriMesh& mesh = *smooth->triMesh();
        copy->vertices = mesh.vertices;
        copy->faces = mesh.faces;
        copy->colors = mesh.colors;
        // The normals as the view draws them: turned to agree with their
        // faces' winding.
        if (!mesh.windingNormals(copy->normals)) {
            copy->normals = mesh.normals;
        }
    } catch (const std::bad_alloc&) {
        entry->failed = true;
        entry->built = true;
        return;
    }
    builders.emplace_back([this, entry, copy] {
        try {
            // Seen only in motion: the quick grid-based copy, ready within a
            // second or two of loading where edge collapses took many.
            entry->mesh = simplifyMeshRoughly(copy->vertices, copy->normals, copy->faces,
                                              size_t(standInTriangles));
            if (copy->colors.size() == copy->vertices.size()) {
                for (int original : entry->mesh.original) {
                    entry->colours.push_back(copy->colors[size_t(original)]);
                }
            }
            entry->failed = entry->mesh.faces.empty();
        } catch (const std::bad_alloc&) {
            entry->failed = true;
        }
        entry->built = true;
        QMetaObject::invokeMethod(this, &GLStandIns::changed, Qt::QueuedConnection);
    });
}

bool GLStandIns::upload(Entry& entry)
{
    if (entry.uploaded) {
        return true;
    }
    const SimplifiedMesh& mesh = entry.mesh;
    std::vector<StandInVertex> vertices(mesh.vertices.size());
    const bool withNormals = mesh.normals.size() == mesh.vertices.size();
    const bool withColours = entry.colours.size() == mesh.vertices.size();
    for (size_t k = 0; k < vertices.size(); ++k) {
        StandInVertex& v = vertices[k];
        for (int c = 0; c < 3; ++c) {
            v.position[c] = mesh.vertices[k][c];
            v.normal[c] = withNormals ? mesh.normals[k][c] : (c == 2 ? 1.0f : 0.0f);
            v.colour[c] = withColours ? entry.colours[k][c] : 255;
        }
        v.colour[3] = 255;
    }
    entry.vertexBuffer = std::make_unique<QOpenGLBuffer>(QOpenGLBuffer::VertexBuffer);
    entry.indexBuffer = std::make_unique<QOpenGLBuffer>(QOpenGLBuffer::IndexBuffer);
    if (!entry.vertexBuffer->create() || !entry.indexBuffer->create()) {
        entry.failed = true;
        return false;
    }
    entry.vertexBuffer->bind();
    entry.vertexBuffer->allocate(vertices.data(), int(vertices.size() * sizeof(StandInVertex)));
    entry.vertexBuffer->release();
    entry.indexBuffer->bind();
    entry.indexBuffer->allocate(mesh.faces.data(), int(mesh.faces.size() * sizeof(Face)));
    entry.indexBuffer->release();
    entry.indexCount = int(3 * mesh.faces.size());
    entry.mesh = SimplifiedMesh();
    std::vector<Color>().swap(entry.colours);
    entry.uploaded = true;
    return true;
}

void GLStandIns::draw(Entry& entry, bool shaded)
{
    entry.vertexBuffer->bind();
    entry.indexBuffer->bind();
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(StandInVertex),
                    reinterpret_cast<const void*>(offsetof(StandInVertex, position)));
    if (shaded) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, sizeof(StandInVertex),
                        reinterpret_cast<const void*>(offsetof(StandInVertex, normal)));
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(StandInVertex),
                       reinterpret_cast<const void*>(offsetof(StandInVertex, colour)));
    }
    glDrawElements(GL_TRIANGLES, entry.indexCount, GL_UNSIGNED_INT, nullptr);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    entry.indexBuffer->release();
    entry.vertexBuffer->release();
}

void GLStandIns::drawShaded(LnModel* model)
{
    const auto found = entries.find(model);
    if (found != entries.end() && found->second->uploaded) {
        draw(*found->second, true);
    }
}

void GLStandIns::drawGeometry(LnModel* model)
{
    const auto found = entries.find(model);
    if (found != entries.end() && found->second->uploaded) {
        draw(*found->second, false);
    }
}

void GLStandIns::keepOnly(const std::vector<LnModel*>& models)
{
    for (auto it = entries.begin(); it != entries.end();) {
        if (std::find(models.begin(), models.end(), it->first) == models.end()) {
            it = entries.erase(it);
        } else {
            ++it;
        }
    }
}
