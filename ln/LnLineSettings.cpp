#include "ln/LnLineSettings.h"

#include <algorithm>
#include <cctype>

bool LnLineSettings::operator==(const LnLineSettings& o) const
{
    return shown == o.shown && contours == o.contours && suggestive == o.suggestive &&
           ridges == o.ridges && valleys == o.valleys && isophotes == o.isophotes &&
           derivativeThreshold == o.derivativeThreshold && ridgeThreshold == o.ridgeThreshold &&
           isophoteCount == o.isophoteCount && color == o.color && width == o.width &&
           fade == o.fade;
}

void LnLineSettings::applyTo(LnExtractor& extractor) const
{
    extractor.setContours(contours);
    extractor.setSuggestiveContours(suggestive);
    extractor.setRidges(ridges);
    extractor.setValleys(valleys);
    extractor.setIsophotes(isophotes, isophoteCount);
    extractor.setDerivativeThreshold(derivativeThreshold);
    extractor.setRidgeThreshold(ridgeThreshold);
}

bool parseLineKinds(const std::string& text, LnLineSettings& settings, std::string& error)
{
    LnLineSettings parsed = settings;
    parsed.contours = parsed.suggestive = parsed.ridges = parsed.valleys = parsed.isophotes = false;
    size_t start = 0;
    bool any = false;
    while (start <= text.size()) {
        size_t end = text.find(',', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string name = text.substr(start, end - start);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (name == "contours") {
            parsed.contours = true;
        } else if (name == "suggestive") {
            parsed.suggestive = true;
        } else if (name == "ridges") {
            parsed.ridges = true;
        } else if (name == "valleys") {
            parsed.valleys = true;
        } else if (name == "isophotes") {
            parsed.isophotes = true;
        } else {
            error = name.empty() ? std::string("an empty line kind in '") + text + "'"
                                 : "unknown line kind '" + name + "'";
            error += " (kinds: contours, suggestive, ridges, valleys, isophotes)";
            return false;
        }
        any = true;
        start = end + 1;
    }
    if (!any) {
        error = "no line kind given";
        return false;
    }
    settings = parsed;
    return true;
}

LnPathList& featureLines(LnModel& model, const LnLineSettings& settings, const vec& viewpoint,
                         const vec& lightDirection)
{
    if (LnExtractor* extractor = model.getExtractor()) {
        settings.applyTo(*extractor);
        return model.extractLines(viewpoint, lightDirection);
    }
    return model.getLines();
}

float pointStrength(const LnPath& path, size_t k)
{
    static const int slot = attributeSlot(nameHash("strength"));
    if (slot < 0 || k >= path.attributes.size()) {
        return 1.0f;
    }
    const float s = path.attributes[k].values[slot];
    return s >= 0.0f ? std::min(s, 1.0f) : 0.0f; // NaN counts as 0
}
