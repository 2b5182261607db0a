#pragma once
// CdaMaterial: one <material> of library_materials and the effect it uses.

#include <QDomElement>
#include <QString>

class CdaEffect;
class CdaScene;

class CdaMaterial {
public:
    // effect = the effect whose id is the "url" of the first
    // <instance_effect> (without its leading '#'), or none.
    CdaMaterial(const QDomElement& element, const CdaScene& scene);

    QString id;
    const CdaEffect* effect = nullptr; // owned by the scene
};
