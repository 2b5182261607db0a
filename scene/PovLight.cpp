#include "scene/PovLight.h"

#include <cmath>

void PovLight::setFromAngles(float a, float e, float d)
{
    azimuth = a;
    elevation = e;
    distance = d;
    // (0, d, 0) rotated about x by the elevation, then about z by minus the
    // azimuth, in double precision.
    const double ce = std::cos(double(e)), se = std::sin(double(e));
    const double ca = std::cos(double(a)), sa = std::sin(double(a));
    const double y = double(d) * ce;
    const double z = double(d) * se;
    position = vec(float(y * sa), float(y * ca), float(z));
}
