#include "scene/PovPlacement.h"

#include <cmath>

namespace {

constexpr double degree = 3.14159265358979323846 / 180.0;

// The cosine and sine of an angle in degrees, exact for whole quarter
// turns (so a turn by 90 degrees writes 0, not 6e-17).
void cosSin(double degrees, double& c, double& s)
{
    const double quarters = degrees / 90.0;
    if (quarters == std::floor(quarters) && std::fabs(quarters) < 1e9) {
        static const double cosines[4] = {1.0, 0.0, -1.0, 0.0};
        static const double sines[4] = {0.0, 1.0, 0.0, -1.0};
        const int k = int(std::fmod(std::fmod(quarters, 4.0) + 4.0, 4.0));
        c = cosines[k];
        s = sines[k];
        return;
    }
    c = std::cos(degrees * degree);
    s = std::sin(degrees * degree);
}

} // namespace

void PovPlacement::rotation(double r[9]) const
{
    double cx, sx, cy, sy, cz, sz;
    cosSin(rotate[0], cx, sx);
    cosSin(rotate[1], cy, sy);
    cosSin(rotate[2], cz, sz);
    // Rz * Ry * Rx.
    r[0] = cz * cy;
    r[1] = cz * sy * sx - sz * cx;
    r[2] = cz * sy * cx + sz * sx;
    r[3] = sz * cy;
    r[4] = sz * sy * sx + cz * cx;
    r[5] = sz * sy * cx - cz * sx;
    r[6] = -sy;
    r[7] = cy * sx;
    r[8] = cy * cx;
}

void PovPlacement::matrix(double m[16]) const
{
    double r[9];
    rotation(r);
    const double s = scale;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            m[4 * column + row] = s * r[3 * row + column];
        }
        m[12 + row] = translate[row];
        m[4 * row + 3] = 0.0;
    }
    m[15] = 1.0;
}

vec PovPlacement::apply(const vec& p) const
{
    if (isIdentity()) {
        return p;
    }
    double r[9];
    rotation(r);
    vec out;
    for (int row = 0; row < 3; ++row) {
        const double turned = r[3 * row] * p[0] + r[3 * row + 1] * p[1] + r[3 * row + 2] * p[2];
        out[row] = float(double(translate[row]) + double(scale) * turned);
    }
    return out;
}

vec PovPlacement::turn(const vec& d) const
{
    if (rotate == vec()) {
        return d;
    }
    double r[9];
    rotation(r);
    vec out;
    for (int row = 0; row < 3; ++row) {
        out[row] = float(r[3 * row] * d[0] + r[3 * row + 1] * d[1] + r[3 * row + 2] * d[2]);
    }
    return out;
}

vec PovPlacement::unturn(const vec& d) const
{
    if (rotate == vec()) {
        return d;
    }
    double r[9];
    rotation(r);
    // The rotation's inverse is its transpose.
    vec out;
    for (int column = 0; column < 3; ++column) {
        out[column] = float(r[column] * d[0] + r[3 + column] * d[1] + r[6 + column] * d[2]);
    }
    return out;
}

vec PovPlacement::unapplyDirection(const vec& d) const
{
    if (isIdentity()) {
        return d;
    }
    return unturn(d) / scale;
}

vec PovPlacement::unapply(const vec& p) const
{
    if (isIdentity()) {
        return p;
    }
    return unturn(p - translate) / scale;
}
