#include "scene/PovPictureFrame.h"

#include <cmath>

QRect pictureFrame(const QSize& view, const QSize& picture)
{
    if (view.isEmpty() || picture.isEmpty()) {
        return QRect(QPoint(0, 0), view);
    }
    const double viewAspect = double(view.width()) / double(view.height());
    const double aspect = double(picture.width()) / double(picture.height());
    int w = view.width();
    int h = view.height();
    if (aspect > viewAspect) {
        h = int(std::lround(double(w) / aspect));
    } else {
        w = int(std::lround(double(h) * aspect));
    }
    return QRect((view.width() - w) / 2, (view.height() - h) / 2, std::max(w, 1), std::max(h, 1));
}

qglviewer::Camera pictureCamera(const qglviewer::Camera& view, const QSize& picture)
{
    qglviewer::Camera camera(view);
    if (picture.isEmpty() || view.screenWidth() <= 0 || view.screenHeight() <= 0) {
        return camera;
    }
    const double viewAspect = double(view.screenWidth()) / double(view.screenHeight());
    const double aspect = double(picture.width()) / double(picture.height());
    camera.setScreenWidthAndHeight(picture.width(), picture.height());
    if (aspect > viewAspect) {
        // The frame spans the view's width: the picture's height shows
        // what that much of the view's height shows.
        const double half = std::tan(view.fieldOfView() / 2.0) * viewAspect / aspect;
        camera.setFieldOfView(2.0 * std::atan(half));
    }
    return camera;
}
