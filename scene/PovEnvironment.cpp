#include "scene/PovEnvironment.h"

#include "scene/PovScene.h"
#include "scene/PovTexture.h"
#include "scene/SaveFile.h"

#include <QFile>
#include <QFileInfo>

#include <OpenEXR/ImfArray.h>
#include <OpenEXR/ImfRgbaFile.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>

namespace {

constexpr double pi = 3.14159265358979323846;

bool fail(QString* error, const QString& reason)
{
    if (error) {
        *error = reason;
    }
    return false;
}

QString sizeProblem(int width, int height)
{
    if (width < 2 || height < 1) {
        return QStringLiteral("it is %1 x %2 pixels, too small for a panorama").arg(width).arg(height);
    }
    if (width > mostPanoramaWidth || height > mostPanoramaHeight) {
        return QStringLiteral("it is %1 x %2 pixels; panoramas of at most %3 x %4 are read")
            .arg(width)
            .arg(height)
            .arg(mostPanoramaWidth)
            .arg(mostPanoramaHeight);
    }
    if (width < height) {
        return QStringLiteral("it is %1 x %2 pixels, taller than wide: not an equirectangular "
                              "panorama (twice as wide as high)")
            .arg(width)
            .arg(height);
    }
    return QString();
}

// Light is never negative, and a value no arithmetic can use is dark.
void cleanValues(PovImageRgb& image)
{
    for (float& v : image.rgb) {
        if (!(v >= 0.0f) || !std::isfinite(v)) {
            v = 0.0f;
        }
    }
}

bool readRadiance(const QString& file, PovImageRgb& image, QString* error)
{
    const QByteArray name = QFile::encodeName(file);
    int width = 0, height = 0, channels = 0;
    if (!stbi_info(name.constData(), &width, &height, &channels)) {
        return fail(error, QStringLiteral("it is not a readable Radiance .hdr image (%1)")
                               .arg(QString::fromLatin1(stbi_failure_reason())));
    }
    const QString problem = sizeProblem(width, height);
    if (!problem.isEmpty()) {
        return fail(error, problem);
    }
    // The reader fills a file cut short with black without a word: a file
    // smaller than its pixels could ever be packed into is refused (a row
    // takes 4 bytes a pixel unpacked, or at least a 4-byte mark and, per
    // channel, two bytes a run of at most 127 pixels).
    const qint64 least =
        qint64(height) * std::min(4 * qint64(width), 4 + 4 * 2 * ((qint64(width) + 126) / 127));
    if (QFileInfo(file).size() < least) {
        return fail(error, QStringLiteral("it is cut short: %1 x %2 pixels cannot fit in %3 bytes")
                               .arg(width)
                               .arg(height)
                               .arg(QFileInfo(file).size()));
    }
    float* data = stbi_loadf(name.constData(), &width, &height, &channels, 3);
    if (!data) {
        return fail(error, QStringLiteral("its pixels cannot be read (%1)")
                               .arg(QString::fromLatin1(stbi_failure_reason())));
    }
    image.width = width;
    image.height = height;
    image.rgb.assign(data, data + 3 * size_t(width) * size_t(height));
    stbi_image_free(data);
    return true;
}

bool readOpenExr(const QString& file, PovImageRgb& image, QString* error)
{
    try {
        Imf::RgbaInputFile in(QFile::encodeName(file).constData());
        const Imath::Box2i window = in.dataWindow();
        const long long w = (long long)window.max.x - window.min.x + 1;
        const long long h = (long long)window.max.y - window.min.y + 1;
        const QString problem = sizeProblem(int(std::clamp(w, -1ll, 1ll << 30)),
                                            int(std::clamp(h, -1ll, 1ll << 30)));
        if (!problem.isEmpty()) {
            return fail(error, problem);
        }
        const int width = int(w), height = int(h);
        Imf::Array2D<Imf::Rgba> pixels(height, width);
        in.setFrameBuffer(&pixels[0][0] - window.min.x - window.min.y * width, 1, size_t(width));
        in.readPixels(window.min.y, window.max.y);
        image.width = width;
        image.height = height;
        image.rgb.resize(3 * size_t(width) * size_t(height));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const Imf::Rgba& p = pixels[y][x];
                float* out = &image.rgb[3 * (size_t(y) * size_t(width) + size_t(x))];
                out[0] = float(p.r);
                out[1] = float(p.g);
                out[2] = float(p.b);
            }
        }
    } catch (const std::bad_alloc&) {
        return fail(error, QStringLiteral("there is not enough memory to read it"));
    } catch (const std::exception& e) {
        return fail(error, QStringLiteral("it is not a readable OpenEXR image (%1)")
                               .arg(QString::fromLocal8Bit(e.what()).trimmed()));
    }
    return true;
}

// The image averaged down to at most `most` x most/2 cells (box filter;
// never larger than the image).
PovImageRgb reduced(const PovImageRgb& image, int mostWidth)
{
    PovImageRgb out;
    out.width = std::min(image.width, mostWidth);
    out.height = std::max(1, std::min(image.height, mostWidth / 2));
    out.rgb.assign(3 * size_t(out.width) * size_t(out.height), 0.0f);
    for (int y = 0; y < out.height; ++y) {
        const int y0 = int((long long)y * image.height / out.height);
        const int y1 = std::max(y0 + 1, int((long long)(y + 1) * image.height / out.height));
        for (int x = 0; x < out.width; ++x) {
            const int x0 = int((long long)x * image.width / out.width);
            const int x1 = std::max(x0 + 1, int((long long)(x + 1) * image.width / out.width));
            double sum[3] = {0.0, 0.0, 0.0};
            for (int sy = y0; sy < y1; ++sy) {
                for (int sx = x0; sx < x1; ++sx) {
                    const float* p = image.pixel(sx, sy);
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const double n = double(y1 - y0) * double(x1 - x0);
            float* o = &out.rgb[3 * (size_t(y) * size_t(out.width) + size_t(x))];
            for (int k = 0; k < 3; ++k) {
                o[k] = float(sum[k] / n);
            }
        }
    }
    return out;
}

float luminance(const vec& c) { return 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2]; }
// The measure the few lights share the light by: every colour counts alike,
// so a blue region gets as many lights as an equally strong red one.
float power(const vec& c) { return (c[0] + c[1] + c[2]) / 3.0f; }

// One cell of the lighting grid in the scene: direction, radiance times
// its solid angle.
struct Cell {
    vec direction;
    vec energy; // radiance times solid angle
    float radiance = 0.0f; // luminance, for finding the brightest
};

} // namespace

bool readPanoramaImage(const QString& file, PovImageRgb& image, QString* error)
{
    const QFileInfo info(file);
    if (!info.exists()) {
        return fail(error, QStringLiteral("there is no such file"));
    }
    if (!info.isFile()) {
        return fail(error, info.isDir() ? QStringLiteral("it is a folder, not an image")
                                        : QStringLiteral("it is not a regular file"));
    }
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        return fail(error, QStringLiteral("it cannot be read: %1").arg(in.errorString()));
    }
    const QByteArray head = in.read(16);
    in.close();
    bool read = false;
    if (head.startsWith("#?RADIANCE") || head.startsWith("#?RGBE")) {
        read = readRadiance(file, image, error);
    } else if (head.startsWith(QByteArray("\x76\x2f\x31\x01", 4))) {
        read = readOpenExr(file, image, error);
    } else {
        return fail(error, QStringLiteral("it is neither a Radiance .hdr nor an OpenEXR .exr image"));
    }
    if (read) {
        cleanValues(image);
    }
    return read;
}

bool writeRadianceHdr(const QString& file, const PovImageRgb& image, float scale, QString* error)
{
    QString reason;
    const bool written = saveWith(
        file,
        [&](QIODevice& out) {
            const QByteArray header = QStringLiteral("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y %1 +X %2\n")
                                          .arg(image.height)
                                          .arg(image.width)
                                          .toLatin1();
            if (!writeWhole(out, header.constData(), header.size())) {
                return false;
            }
            std::vector<unsigned char> row(4 * size_t(image.width));
            for (int y = 0; y < image.height; ++y) {
                for (int x = 0; x < image.width; ++x) {
                    const float* p = image.pixel(x, y);
                    const float r = p[0] * scale, g = p[1] * scale, b = p[2] * scale;
                    const float most = std::max({r, g, b});
                    unsigned char* o = &row[4 * size_t(x)];
                    if (!(most > 1e-32f) || !std::isfinite(most)) {
                        o[0] = o[1] = o[2] = o[3] = 0;
                        continue;
                    }
                    int exponent = 0;
                    const float f = std::frexp(most, &exponent) * 256.0f / most;
                    o[0] = (unsigned char)std::min(255.0f, r * f);
                    o[1] = (unsigned char)std::min(255.0f, g * f);
                    o[2] = (unsigned char)std::min(255.0f, b * f);
                    o[3] = (unsigned char)std::clamp(exponent + 128, 0, 255);
                }
                if (!writeWhole(out, reinterpret_cast<const char*>(row.data()), qint64(row.size()))) {
                    return false;
                }
            }
            return true;
        },
        &reason);
    return written || fail(error, QStringLiteral("cannot write '%1': %2").arg(file, reason));
}

std::array<float, 9> shBasis(const vec& n)
{
    const float x = n[0], y = n[1], z = n[2];
    return {0.282095f,
            0.488603f * y,
            0.488603f * z,
            0.488603f * x,
            1.092548f * x * y,
            1.092548f * y * z,
            0.315392f * (3.0f * z * z - 1.0f),
            1.092548f * x * z,
            0.546274f * (x * x - y * y)};
}

vec PovPanorama::direction(double u, double v, double turnDegrees)
{
    const double elevation = pi / 2.0 - pi * v;
    const double azimuth = 2.0 * pi * u;
    const double c = std::cos(elevation);
    const double x = c * std::cos(azimuth), y = -c * std::sin(azimuth), z = std::sin(elevation);
    const double t = turnDegrees * pi / 180.0;
    const double ct = std::cos(t), st = std::sin(t);
    return vec(float(x * ct - y * st), float(x * st + y * ct), float(z));
}

std::shared_ptr<const PovPanorama> PovPanorama::load(const QString& file, QString* error)
{
    PovImageRgb image;
    try {
        if (!readPanoramaImage(file, image, error)) {
            return nullptr;
        }
        return fromImage(image);
    } catch (const std::bad_alloc&) {
        fail(error, QStringLiteral("there is not enough memory to read it"));
        return nullptr;
    }
}

std::shared_ptr<const PovPanorama> PovPanorama::fromImage(const PovImageRgb& image)
{
    auto panorama = std::make_shared<PovPanorama>();
    panorama->small = reduced(image, 1024);
    panorama->cells = reduced(panorama->small, 64);
    return panorama;
}

std::vector<unsigned char> PovPanorama::preview(float strength) const
{
    std::vector<unsigned char> out(small.rgb.size());
    for (size_t i = 0; i < small.rgb.size(); ++i) {
        const float c = std::clamp(small.rgb[i] * strength, 0.0f, 1.0f);
        const float encoded = c <= 0.0031308f ? 12.92f * c : 1.055f * std::pow(c, 1.0f / 2.4f) - 0.055f;
        out[i] = (unsigned char)std::lround(encoded * 255.0f);
    }
    return out;
}

PovEnvironmentLighting PovPanorama::lighting(float turnDegrees, float strength) const
{
    const int w = cells.width, h = cells.height;
    std::vector<Cell> grid(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const double v = (y + 0.5) / h;
        const double solid = (2.0 * pi / w) * (pi / h) * std::cos(pi / 2.0 - pi * v);
        for (int x = 0; x < w; ++x) {
            Cell& cell = grid[size_t(y) * size_t(w) + size_t(x)];
            cell.direction = direction((x + 0.5) / w, v, turnDegrees);
            const float* p = cells.pixel(x, y);
            const vec radiance(p[0] * strength, p[1] * strength, p[2] * strength);
            cell.energy = radiance * float(solid);
            cell.radiance = luminance(radiance);
        }
    }

    PovEnvironmentLighting result;
    // The dominant light: the brightest cell and the bright cells around
    // it (within 25 degrees, at least half as bright).
    size_t peak = 0;
    for (size_t i = 1; i < grid.size(); ++i) {
        if (grid[i].radiance > grid[peak].radiance) {
            peak = i;
        }
    }
    std::vector<bool> inDominant(grid.size(), false);
    vec towards;
    vec colour;
    if (grid[peak].radiance > 0.0f) {
        const vec centre = grid[peak].direction;
        const float nearCos = std::cos(float(25.0 * pi / 180.0));
        for (size_t i = 0; i < grid.size(); ++i) {
            if (dot(grid[i].direction, centre) >= nearCos &&
                grid[i].radiance >= 0.5f * grid[peak].radiance) {
                inDominant[i] = true;
                colour += grid[i].energy;
                towards += grid[i].direction * luminance(grid[i].energy);
            }
        }
    }
    const float towardsLength = len(towards);
    result.dominant.direction = towardsLength > 0.0f ? towards / towardsLength : vec(0.0f, 0.0f, 1.0f);
    result.dominant.colour = colour / float(pi);

    // The rest as spherical harmonics, convolved with the cosine lobe
    // (pi, 2 pi / 3, pi / 4 for bands 0, 1, 2) and divided by pi.
    const float band[9] = {1.0f,       2.0f / 3.0f, 2.0f / 3.0f, 2.0f / 3.0f, 0.25f,
                           0.25f,      0.25f,       0.25f,       0.25f};
    for (vec& c : result.sh) {
        c = vec();
    }
    for (size_t i = 0; i < grid.size(); ++i) {
        if (inDominant[i]) {
            continue;
        }
        const std::array<float, 9> y = shBasis(grid[i].direction);
        for (int k = 0; k < 9; ++k) {
            result.sh[size_t(k)] += grid[i].energy * (y[size_t(k)] * band[k]);
        }
    }

    // The few lights: the grid cut in two at the middle of its energy,
    // again and again, along the wider side (in angle), into eight regions.
    struct Region {
        int x0, x1, y0, y1;
    };
    auto energyOf = [&](const Region& r) {
        double e = 0.0;
        for (int y = r.y0; y < r.y1; ++y) {
            for (int x = r.x0; x < r.x1; ++x) {
                e += power(grid[size_t(y) * size_t(w) + size_t(x)].energy);
            }
        }
        return e;
    };
    std::vector<Region> regions{{0, w, 0, h}};
    while (regions.size() < 8) {
        // Cut the region with the most energy that can still be cut.
        int pick = -1;
        double most = -1.0;
        for (size_t i = 0; i < regions.size(); ++i) {
            const Region& r = regions[i];
            if ((r.x1 - r.x0 > 1 || r.y1 - r.y0 > 1) && energyOf(r) > most) {
                most = energyOf(r);
                pick = int(i);
            }
        }
        if (pick < 0) {
            break;
        }
        const Region r = regions[size_t(pick)];
        const double midV = ((r.y0 + r.y1) * 0.5) / h;
        const double across = double(r.x1 - r.x0) / w * 2.0 * std::cos(pi / 2.0 - pi * midV);
        const double down = double(r.y1 - r.y0) / h;
        const bool cutAcross = (across >= down && r.x1 - r.x0 > 1) || r.y1 - r.y0 <= 1;
        const double half = energyOf(r) / 2.0;
        Region a = r, b = r;
        double sum = 0.0;
        if (cutAcross) {
            int cut = r.x0 + 1;
            for (int x = r.x0; x < r.x1 - 1; ++x) {
                sum += energyOf({x, x + 1, r.y0, r.y1});
                cut = x + 1;
                if (sum >= half) {
                    break;
                }
            }
            a.x1 = cut;
            b.x0 = cut;
        } else {
            int cut = r.y0 + 1;
            for (int y = r.y0; y < r.y1 - 1; ++y) {
                sum += energyOf({r.x0, r.x1, y, y + 1});
                cut = y + 1;
                if (sum >= half) {
                    break;
                }
            }
            a.y1 = cut;
            b.y0 = cut;
        }
        regions[size_t(pick)] = a;
        regions.push_back(b);
    }
    for (const Region& r : regions) {
        vec energy, weighted;
        for (int y = r.y0; y < r.y1; ++y) {
            for (int x = r.x0; x < r.x1; ++x) {
                const Cell& cell = grid[size_t(y) * size_t(w) + size_t(x)];
                energy += cell.energy;
                weighted += cell.direction * power(cell.energy);
            }
        }
        const float length = len(weighted);
        if (!(power(energy) > 0.0f) || !(length > 0.0f)) {
            continue;
        }
        result.lights.push_back({weighted / length, energy / float(pi)});
    }
    return result;
}

bool operator==(const PovStage& a, const PovStage& b)
{
    return a.kind == b.kind && a.environmentFile == b.environmentFile && a.turn == b.turn &&
           a.strength == b.strength && a.panorama == b.panorama && a.backdrop == b.backdrop;
}

PovTexture backdropTexture(const PovStage& stage, float ambient)
{
    PovTexture texture;
    texture.setColor(float(stage.backdrop.redF()), float(stage.backdrop.greenF()),
                     float(stage.backdrop.blueF()));
    texture.setFinish(0.75f, 0.0f, ambient, 0.0f, 0.05f);
    return texture;
}

bool modelBox(const PovScene& scene, vec& low, vec& high)
{
    const float inf = std::numeric_limits<float>::infinity();
    low = vec(inf, inf, inf);
    high = vec(-inf, -inf, -inf);
    bool any = false;
    for (int i = 1; i < scene.modelCount(); ++i) {
        const PovPlacement& placement = scene.placementOf(i);
        const bool identity = placement.isIdentity();
        LnMesh* mesh = scene.models[size_t(i)]->getDisplayMesh();
        const int faces = mesh->getNumFaces();
        for (int f = 0; f < faces; ++f) {
            vec corner[3];
            mesh->getFaceVertices(f, corner[0], corner[1], corner[2]);
            for (const vec& c : corner) {
                const vec p = identity ? c : placement.apply(c);
                if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
                    continue;
                }
                for (int k = 0; k < 3; ++k) {
                    low[k] = std::min(low[k], p[k]);
                    high[k] = std::max(high[k], p[k]);
                }
                any = true;
            }
        }
    }
    return any;
}

PovBackdrop studioBackdrop(const PovScene& scene)
{
    vec low, high;
    if (!modelBox(scene, low, high)) {
        low = high = scene.center;
    }
    const vec middle = (low + high) * 0.5f;
    // The size everything is measured in: the box's half diagonal.
    float s = len(high - low) * 0.5f;
    if (!(s > 0.0f)) {
        s = 1.0f;
    }
    const float floorZ = low[2];
    // The floor reaches 8 sizes to the sides and to the front; the curve
    // (radius 2 sizes) starts one size behind the models' back, and the
    // wall rises 8 sizes above the floor.
    const float left = middle[0] - 8.0f * s, right = middle[0] + 8.0f * s;
    const float front = middle[1] - 8.0f * s;
    const float curveStart = high[1] + s;
    const float curveRadius = 2.0f * s;
    const float wallY = curveStart + curveRadius;
    const float top = floorZ + std::max(8.0f * s, high[2] - floorZ + 2.0f * s);

    // The profile in (y, z) with its normals, from the front edge of the
    // floor to the top of the wall.
    std::vector<std::pair<float, float>> profile;
    std::vector<std::pair<float, float>> normal;
    profile.push_back({front, floorZ});
    normal.push_back({0.0f, 1.0f});
    const int steps = 16;
    for (int i = 0; i <= steps; ++i) {
        const double a = (pi / 2.0) * i / steps;
        profile.push_back({curveStart + curveRadius * float(std::sin(a)),
                           floorZ + curveRadius * float(1.0 - std::cos(a))});
        normal.push_back({-float(std::sin(a)), float(std::cos(a))});
    }
    profile.push_back({wallY, top});
    normal.push_back({-1.0f, 0.0f});

    PovBackdrop backdrop;
    // Across, in eight strips, so the view's interpolation has corners
    // to work with.
    const int strips = 8;
    for (size_t i = 0; i + 1 < profile.size(); ++i) {
        for (int k = 0; k < strips; ++k) {
            const float x0 = left + (right - left) * float(k) / strips;
            const float x1 = left + (right - left) * float(k + 1) / strips;
            const vec a(x0, profile[i].first, profile[i].second);
            const vec b(x1, profile[i].first, profile[i].second);
            const vec c(x1, profile[i + 1].first, profile[i + 1].second);
            const vec d(x0, profile[i + 1].first, profile[i + 1].second);
            const vec na(0.0f, normal[i].first, normal[i].second);
            const vec nc(0.0f, normal[i + 1].first, normal[i + 1].second);
            for (const auto& [p, n] : {std::pair{a, na}, std::pair{b, na}, std::pair{c, nc},
                                       std::pair{a, na}, std::pair{c, nc}, std::pair{d, nc}}) {
                backdrop.positions.push_back(p);
                backdrop.normals.push_back(n);
            }
        }
    }
    backdrop.low = vec(left, front, floorZ);
    backdrop.high = vec(right, wallY, top);
    return backdrop;
}

void PovScene::setStudioLighting(const QColor& backdrop)
{
    // Directions as the lamps give them (azimuth from +y towards +x): the
    // camera of a front view stands at -y, so the key comes from the front
    // left and high, the fill from the front right and low, the rim from
    // behind, above the wall. The lights are far away (as the sun is), so
    // the backdrop casts no shadow: the rim's light reaches the models.
    // The writer and the view take a light's position as its direction
    // from the origin, so the lights are not moved to the models' centre:
    // they come from the same sides wherever the models stand.
    struct Lamp {
        float azimuthDegrees, elevationDegrees, intensity;
    };
    const Lamp lamps[3] = {{-135.0f, 45.0f, 0.85f}, {125.0f, 20.0f, 0.3f}, {20.0f, 55.0f, 0.55f}};
    lights.clear();
    const float degrees = float(pi / 180.0);
    for (const Lamp& lamp : lamps) {
        PovLight light;
        light.color = vec(1.0f, 1.0f, 1.0f);
        light.intensity = lamp.intensity;
        light.setFromAngles(lamp.azimuthDegrees * degrees, lamp.elevationDegrees * degrees,
                            radius * 3.0f);
        lights.push_back(light);
    }
    setAmbientAll(0.1f);
    outdoorLighting = false;
    stage.kind = PovStageKind::Studio;
    stage.backdrop = backdrop;
}

void PovScene::setEnvironmentLighting(const QString& file,
                                      const std::shared_ptr<const PovPanorama>& panorama,
                                      double turn, double strength)
{
    stage.kind = PovStageKind::Environment;
    stage.environmentFile = file;
    stage.panorama = panorama;
    stage.turn = turn;
    stage.strength = strength;
}
