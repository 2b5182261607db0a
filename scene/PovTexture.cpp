#include "scene/PovTexture.h"

#include "scene/PovFileMaterial.h"
#include "scene/PovNumber.h"

#include <algorithm>

void PovTexture::setColor(float r, float g, float b)
{
    red = r;
    green = g;
    blue = b;
    name = QString();
    image.reset();
    wrapU = wrapV = ImageWrap::Repeat;
    transmit = 0.0f;
    fromFile = false;
}

void PovTexture::color(float& r, float& g, float& b) const
{
    r = red;
    g = green;
    b = blue;
}

void PovTexture::setFinish(float d, float s, float a, float refl, float rough)
{
    diffuse = d;
    specular = s;
    ambient = a;
    reflection = refl;
    roughness = rough;
}

void PovTexture::finish(float& d, float& s, float& a, float& refl, float& rough) const
{
    d = diffuse;
    s = specular;
    a = ambient;
    refl = reflection;
    rough = roughness;
}

void PovTexture::setNormal(const QString& pattern, float size, float patternScale)
{
    normalPattern = pattern;
    bumpSize = size;
    normalScale = patternScale;
}

namespace {

// The coordinate `axis` ("x" for u, "y" for v) at which an image of
// `pixels` pixels along it is looked up to continue as `wrap` says, for an
// image function that repeats. Clamping stops at the middle of the edge
// pixels, where the image's bilinear interpolation gives the edge pixel
// alone, as OpenGL's clamp to edge does; mirroring folds the coordinate
// into [0, 1] every other period the other way round, clamped the same way
// so that no fold blends in the opposite edge.
QString wrappedCoordinate(const char* axis, ImageWrap wrap, int pixels)
{
    const QString a = QLatin1String(axis);
    if (wrap == ImageWrap::Repeat) {
        return a;
    }
    const double half = 0.5 / std::max(pixels, 1);
    const QString folded = wrap == ImageWrap::Mirror
                               ? QStringLiteral("1 - abs(%1 - 2 * floor(%1 / 2) - 1)").arg(a)
                               : a;
    return QStringLiteral("min(max(%1, %2), %3)")
        .arg(folded, povGeneral(half), povGeneral(1.0 - half));
}

// The image file as an image map names it. POV-Ray decodes an image from
// sRGB even in a scene without gamma handling; there its values must be
// taken as they stand, as plain colours are, or a picture comes out darker
// than its colours.
QString imageSource(const PovImage& image, bool srgb)
{
    return QString::fromLatin1(image.format) + QStringLiteral(" \"") + image.fileName +
           (srgb ? QStringLiteral("\"") : QStringLiteral("\" gamma 1.0"));
}

} // namespace

QString PovTexture::povText(float scale, bool srgb) const
{
    QString text = QStringLiteral("texture {\n");
    if (name.isNull() && image && (wrapU != ImageWrap::Repeat || wrapV != ImageWrap::Repeat)) {
        // POV-Ray's image maps only repeat. The image becomes a function
        // (declared once per image), looked up at coordinates folded or
        // clamped as the file says, and its red, green and blue rebuilt by
        // averaging three pigments each carrying one of them three times.
        QString function = image->fileName.section(QLatin1Char('.'), 0, 0);
        function.replace(QLatin1Char('-'), QLatin1Char('_'));
        const QString at =
            wrappedCoordinate("x", wrapU, image->image.width()) + QStringLiteral(", ") +
            wrappedCoordinate("y", wrapV, image->image.height()) + QStringLiteral(", 0");
        text += QStringLiteral("\tuv_mapping pigment {\n\t\t#ifndef (") + function +
                QStringLiteral(") #declare ") + function +
                QStringLiteral(" = function { pigment { image_map { ") +
                imageSource(*image, srgb) +
                QStringLiteral(" interpolate 2 } } } #end\n\t\taverage pigment_map {\n");
        const QString t = transmit > 0.0f ? QStringLiteral(", ") + povGeneral(transmit) : QString();
        const char* rgb = transmit > 0.0f ? "rgbt" : "rgb";
        const char* channels[3][2] = {
            {"red", "3, 0, 0"}, {"green", "0, 3, 0"}, {"blue", "0, 0, 3"}};
        for (const auto& c : channels) {
            text += QStringLiteral("\t\t\t[1 function { %1(%2).%3 } color_map { [0 %4 <0, 0, 0%5>] "
                                   "[1 %4 <%6%5>] }]\n")
                        .arg(function, at, QLatin1String(c[0]), QLatin1String(rgb), t,
                             QLatin1String(c[1]));
        }
        text += QStringLiteral("\t\t}\n\t}\n");
    } else if (name.isNull() && image) {
        // The image's v runs up from its bottom row, as the models' texture
        // coordinates do.
        text += QStringLiteral("\tuv_mapping pigment {\n\t\timage_map {\n\t\t\t") +
                imageSource(*image, srgb) + QStringLiteral("\n\t\t\tinterpolate 2\n");
        if (transmit > 0.0f) {
            text += QStringLiteral("\t\t\ttransmit all ") + povGeneral(transmit) + QLatin1Char('\n');
        }
        text += QStringLiteral("\t\t}\n\t}\n");
    } else if (name.isNull() && transmit > 0.0f) {
        text += QStringLiteral("\tpigment {\n");
        text += (srgb ? QStringLiteral("\t\tcolor srgbt <") : QStringLiteral("\t\tcolor rgbt <")) +
                povGeneral(red) + QStringLiteral(", ") + povGeneral(green) + QStringLiteral(", ") +
                povGeneral(blue) + QStringLiteral(", ") + povGeneral(transmit) +
                QStringLiteral(">\n");
        text += QStringLiteral("\t}\n");
    } else if (name.isNull()) {
        text += QStringLiteral("\tpigment {\n");
        text += (srgb ? QStringLiteral("\t\tcolor srgb <") : QStringLiteral("\t\tcolor rgb <")) +
                povGeneral(red) + QStringLiteral(", ") + povGeneral(green) + QStringLiteral(", ") +
                povGeneral(blue) + QStringLiteral(">\n");
        text += QStringLiteral("\t}\n");
    } else {
        const QString s = povGeneral(scale);
        text += QLatin1Char('\t') + name + QLatin1Char('\n');
        text += QStringLiteral("\tscale <") + s + QStringLiteral(", ") + s + QStringLiteral(", ") +
                s + QStringLiteral(">\n");
    }
    text += QStringLiteral("\tfinish {\n");
    text += QStringLiteral("\t\tambient ") + povGeneral(ambient) + QLatin1Char('\n');
    text += QStringLiteral("\t\tdiffuse ") + povGeneral(diffuse) + QLatin1Char('\n');
    text += QStringLiteral("\t\tspecular ") + povGeneral(specular) + QLatin1Char('\n');
    text += QStringLiteral("\t\troughness ") + povGeneral(roughness) + QLatin1Char('\n');
    text += QStringLiteral("\t\treflection ") + povGeneral(reflection) + QLatin1Char('\n');
    if (metallic) {
        text += QStringLiteral("\t\tmetallic\n");
    }
    text += QStringLiteral("\t}\n");
    if (normalPattern != QLatin1String("smooth")) {
        const QString s = povGeneral(double(normalScale) * double(scale) * 0.05);
        text += QStringLiteral("\tnormal {\n");
        text += QStringLiteral("\t\t") + normalPattern + QLatin1Char('\n');
        text += QStringLiteral("\t\tscale <") + s + QStringLiteral(", ") + s +
                QStringLiteral(", ") + s + QStringLiteral(">\n");
        text += QStringLiteral("\t\tbump_size ") + povGeneral(bumpSize) + QLatin1Char('\n');
        text += QStringLiteral("\t}\n");
    }
    text += QStringLiteral("}\n");
    return text;
}
