#pragma once
// GLStandIns: the simplified stand-ins the view draws for its large models
// while the camera moves. A smooth model of at least minimumTriangles
// triangles gets one of about standInTriangles triangles (the rough, grid-based
// simplifier of trimesh/Simplify.h, run on a thread of its own after the model is first
// drawn, so the window never waits for it), kept in vertex buffers. While
// the user drags the camera, and for restMs after any other camera motion
// (the wheel, a spin), the view draws the stand-ins of the models that have
// one; the rest of the time it draws every model whole. Picking, the
// selection outline at rest, the wireframe and the feature lines always use
// the full mesh.
//
// The full mesh of such a model, when it is shaded smoothly, is drawn from
// vertex buffers too (drawWhole): uploaded at its first draw, it needs
// neither the triangle strips nor the display lists, whose building took
// most of the time a large model's first frame did.
//
// Drawing, uploading and forgetting stand-ins and buffers need the view's
// OpenGL context current.

#include "trimesh/Simplify.h"

#include <QObject>

#include <map>
#include <memory>
#include <thread>
#include <vector>

class LnModel;
class QOpenGLBuffer;
class TriMesh;
class QTimer;

class GLStandIns : public QObject {
    Q_OBJECT
public:
    static constexpr int minimumTriangles = 300000;
    static constexpr int standInTriangles = 100000;
    static constexpr int restMs = 200;

    explicit GLStandIns(QObject* parent = nullptr);
    ~GLStandIns() override; // waits for the builds under way

    // A mouse button that moves the camera went down (true) or up (false).
    void setNavigating(bool on);
    // The camera moved (connected to the camera frame's motion signals).
    void noteMotion();
    // True while the camera moves.
    bool moving() const;

    // Whether model's stand-in is to be drawn now: the camera moves and the
    // stand-in is ready. Starts building one for a large smooth model that
    // has none yet, and counts the answer.
    bool use(LnModel* model);
    // The stand-in's surface with its normals (and colours), or positions
    // only; only after use() said true.
    void drawShaded(LnModel* model);
    void drawGeometry(LnModel* model);
    // True once model's stand-in is built (and uploaded at the next draw).
    bool ready(LnModel* model) const;
    // Draws the model's full mesh from vertex buffers, with its normals and
    // colours or positions only, uploading them first (again after the
    // mesh was subdivided). False, drawing nothing, for a model not drawn
    // this way: not a smooth one of at least minimumTriangles, shaded flat,
    // or too large for one buffer. Throws std::bad_alloc, drawing nothing,
    // when the memory for the buffers is not there (now or before).
    // Smoothing the normals shows in neither these buffers nor the display
    // lists.
    bool drawWhole(LnModel* model, bool shaded);
    // Forgets the stand-ins and full-mesh buffers of models not in
    // `models`.
    void keepOnly(const std::vector<LnModel*>& models);

    // Whether use() builds stand-ins at all. A view that only grabs its
    // pictures (--preview) never moves its camera by hand: building a
    // stand-in there only costs time and memory, and closing the view
    // would wait for it.
    bool enabled = true;

    // How often use() answered stand-in and full mesh; for tests and
    // benchmarks.
    int standInDraws = 0;
    int fullDraws = 0;
    // How often drawWhole drew from buffers.
    int wholeDraws = 0;

signals:
    // A stand-in finished building, or the camera came to rest: redraw.
    void changed();

private:
    struct Entry;
    struct Whole;
    std::map<LnModel*, std::shared_ptr<Entry>> entries;
    std::map<LnModel*, std::unique_ptr<Whole>> wholes;
    std::vector<std::thread> builders;
    bool navigating = false;
    QTimer* rest;
    void start(LnModel* model, const std::shared_ptr<Entry>& entry);
    bool upload(Entry& entry);
    static bool uploadWhole(Whole& whole, const TriMesh& mesh);
    void draw(Entry& entry, bool shaded);
};
