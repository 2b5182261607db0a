#include "scene/PovTexture.h"

#include "scene/PovFileMaterial.h"
#include "scene/PovNumber.h"

void PovTexture::setColor(float r, float g, float b)
{
    red = r;
    green = g;
    blue = b;
    name = QString();
    image.reset();
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

QString PovTexture::povText(float scale, bool srgb) const
{
    QString text = QStringLiteral("texture {\n");
    if (name.isNull() && image) {
        // The image's v runs up from its bottom row, as the models' texture
        // coordinates do. POV-Ray decodes an image from sRGB even without
        // gamma handling; there its values must be taken as they stand, as
        // plain colours are, or a picture comes out darker than its colours.
        text += QStringLiteral("\tuv_mapping pigment {\n\t\timage_map {\n\t\t\t") +
                QString::fromLatin1(image->format) + QStringLiteral(" \"") + image->fileName +
                (srgb ? QStringLiteral("\"\n") : QStringLiteral("\" gamma 1.0\n")) +
                QStringLiteral("\t\t\tinterpolate 2\n");
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
