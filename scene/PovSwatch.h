#pragma once
// Swatches: what a predefined POV-Ray texture (T_Wood1, T_Stone21, ...)
// looks like on a model, rendered by POV-Ray once and kept in the user's
// cache folder, so the view can show the preset instead of plain grey.
//
// A swatch shows the texture on the six faces of a cube that holds the
// model, in the model's coordinates and with the texture sized as the scene
// text sizes it, twice: lit by a white light of strength 1 falling
// straight on it (the diffuse light the model's surface returns for each
// unit of light), then by an ambient light of 1 alone (what the render's
// ambient light gives it). The twelve faces are stacked in one picture, top
// to bottom +x, -x, +y, -y, +z, -z lit, then the same in ambient light,
// each swatchTexels square. On the faces of x the picture's columns run
// along +y and its rows down along -z; on those of y along +x and -z; on
// those of z along +x and -y. The texels are linear (not sRGB-encoded), 16
// bits a channel, as the renderer computes them.

#include "scene/PovTexture.h"
#include "trimesh/Vec.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QThread>

constexpr int swatchTexels = 128;

// The POV-Ray scene of the swatch of `texture` (a named one) for a model
// inside the cube of half-size `half` centred on `centre`, the texture
// sized by `scale` as PovTexture::povText sizes it. Frame k of the scene's
// animation (0 to 11) renders picture k.
QString povSwatchScene(const PovTexture& texture, float scale, const vec& centre, float half);

// The name of the swatch's file in the cache: a hash of the scene and of
// the renderer's version, so a change to either makes a new swatch.
QString swatchCacheName(const QString& scene, const QString& povrayVersion);

// Makes one swatch in the background: finds it in the cache or renders
// it and stores it there. The caller sets the fields before start() and
// reads the outcome after finished().
class PovSwatchThread : public QThread {
    Q_OBJECT
public:
    using QThread::QThread;
    QString scene;
    QString program;
    QString cacheFolder;
    QString version; // "POV-Ray 3.7...", found on the first run when empty
    // Outcome: the picture, or why there is none.
    QImage image;
    QString error;
    bool povrayMissing = false;

protected:
    void run() override;
};

// Swatches asked for by the view, made one after the other in the
// background. The view draws the plain colour until ready() announces the
// swatch; a swatch that cannot be made is reported by one line on standard
// error and not tried again.
class PovSwatches : public QObject {
    Q_OBJECT
public:
    explicit PovSwatches(QObject* parent = nullptr);
    ~PovSwatches() override;

    // The picture for the scene, or a null image while it is being made
    // (its making is started by the first call) or when it cannot be.
    QImage swatch(const QString& scene);
    // Drops the swatches asked for but not started: the view asks again
    // for those it still needs, so a slider dragged through many values
    // renders only the last.
    void forgetQueued() { queue.clear(); }
    // True when the scene's swatch failed.
    bool failed(const QString& scene) const { return failures.contains(scene); }

    // The user's cache folder for swatches.
    static QString defaultCacheFolder();
    QString cacheFolder;

signals:
    void ready();

private:
    void startNext();
    void finishOne();
    QHash<QString, QImage> made;
    QSet<QString> failures;
    QStringList queue;
    QString version;
    bool povrayMissing = false;
    PovSwatchThread* thread = nullptr;
};
