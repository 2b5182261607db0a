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
#include <cstdlib>
#include <limits>
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

// What software OpenGL takes to draw a large mesh besides its buffers:
// about 150 bytes for each vertex (its vertex shader's outputs, measured
// with llvmpipe under a limited address space, where a draw without that
// room crashed in the library) and some more.
constexpr size_t drawingBytesPerVertex = 192;
constexpr size_t drawingRoom = size_t(256) << 20;

// A large model's full mesh in vertex buffers: positions, the normals as
// the view draws them, colours when it has them, and the faces.
struct GLStandIns::Whole {
    const TriMesh* mesh = nullptr; // the mesh uploaded, with
    size_t faces = 0;              // its faces then
    QOpenGLBuffer positions{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer normals{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer colours{QOpenGLBuffer::VertexBuffer};
    QOpenGLBuffer indices{QOpenGLBuffer::IndexBuffer};
    int indexCount = 0;
    bool withColours = false;
    bool failed = false;
    bool outOfMemory = false;
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

bool GLStandIns::uploadWhole(Whole& whole, const TriMesh& mesh)
{
    const size_t count = mesh.vertices.size();
    // One buffer holds at most what an int counts in bytes.
    const size_t limit = size_t(std::numeric_limits<int>::max());
    if (count == 0 || mesh.faces.empty() || mesh.normals.size() != count ||
        count > limit / sizeof(vec) || mesh.faces.size() > limit / sizeof(Face)) {
        return false;
    }
    // OpenGL would read past the buffers for a face naming a vertex that is
    // not there.
    for (const Face& f : mesh.faces) {
        if (size_t(unsigned(f[0])) >= count || size_t(unsigned(f[1])) >= count ||
            size_t(unsigned(f[2])) >= count) {
            return false;
        }
    }
    std::vector<vec> turned;
    const bool anyTurned = mesh.windingNormals(turned);
    const std::vector<vec>& normals = anyTurned ? turned : mesh.normals;
    whole.withColours = mesh.colors.size() == count;
    // Asked for and given back at once: the library copies the arrays into
    // memory of its own and, drawing them, takes more for its own work; it
    // does not survive running out of either.
    const size_t bytes = count * (2 * sizeof(vec) + (whole.withColours ? sizeof(Color) : 0)) +
                         mesh.faces.size() * sizeof(Face);
    void* room = std::malloc(2 * bytes + count * drawingBytesPerVertex + drawingRoom);
    if (!room) {
        throw std::bad_alloc();
    }
    std::free(room);
    auto fill = [](QOpenGLBuffer& buffer, const void* data, size_t bytes) {
        if (!buffer.create() || !buffer.bind()) {
            return false;
        }
        buffer.allocate(data, int(bytes));
        buffer.release();
        return true;
    };
    if (!fill(whole.positions, mesh.vertices.data(), count * sizeof(vec)) ||
        !fill(whole.normals, normals.data(), count * sizeof(vec)) ||
        (whole.withColours && !fill(whole.colours, mesh.colors.data(), count * sizeof(Color))) ||
        !fill(whole.indices, mesh.faces.data(), mesh.faces.size() * sizeof(Face))) {
        return false;
    }
    if (glGetError() == GL_OUT_OF_MEMORY) {
        throw std::bad_alloc();
    }
    whole.indexCount = int(3 * mesh.faces.size());
    return true;
}

bool GLStandIns::drawWhole(LnModel* model, bool shaded)
{
    auto* smooth = dynamic_cast<LnSmoothMesh*>(model->getDisplayMesh());
    if (!smooth || smooth->isFlat() || smooth->getNumFaces() < minimumTriangles) {
        return false;
    }
    std::unique_ptr<Whole>& whole = wholes[model];
    const TriMesh* mesh = smooth->triMesh();
    if (!whole || whole->mesh != mesh || whole->faces != mesh->faces.size()) {
        // New, or subdivided since it was uploaded.
        whole = std::make_unique<Whole>();
        whole->mesh = mesh;
        whole->faces = mesh->faces.size();
        try {
            std::lock_guard<std::recursive_mutex> guard(smooth->derivedDataLock());
            whole->failed = !uploadWhole(*whole, *mesh);
        } catch (const std::bad_alloc&) {
            // The display lists would need more still.
            whole->failed = whole->outOfMemory = true;
        }
    }
    if (whole->outOfMemory) {
        throw std::bad_alloc();
    }
    if (whole->failed) {
        return false;
    }
    whole->positions.bind();
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    if (shaded) {
        whole->normals.bind();
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, nullptr);
        if (whole->withColours) {
            whole->colours.bind();
            glEnableClientState(GL_COLOR_ARRAY);
            glColorPointer(3, GL_UNSIGNED_BYTE, 0, nullptr);
        } else {
            glColor3f(1.0f, 1.0f, 1.0f);
        }
    }
    whole->indices.bind();
    glDrawElements(GL_TRIANGLES, whole->indexCount, GL_UNSIGNED_INT, nullptr);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    QOpenGLBuffer::release(QOpenGLBuffer::IndexBuffer);
    QOpenGLBuffer::release(QOpenGLBuffer::VertexBuffer);
    ++wholeDraws;
    return true;
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
    for (auto it = wholes.begin(); it != wholes.end();) {
        if (std::find(models.begin(), models.end(), it->first) == models.end()) {
            it = wholes.erase(it);
        } else {
            ++it;
        }
    }
}
