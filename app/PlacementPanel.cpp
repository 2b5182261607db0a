#include "app/PlacementPanel.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>

PlacementPanel::PlacementPanel(QWidget* parent) : QDockWidget(QStringLiteral("Placement"), parent)
{
    setObjectName(QStringLiteral("placementDockWidget"));
    QWidget* contents = new QWidget(this);
    contents->setObjectName(QStringLiteral("placementDockWidgetContents"));
    QFormLayout* form = new QFormLayout(contents);
    static const char* const names[7] = {"translateX", "translateY", "translateZ", "rotateX",
                                         "rotateY",    "rotateZ",    "scale"};
    static const char* const labels[7] = {
        "Move x:",       "Move y:",       "Move z:", "Turn about x:",
        "Turn about y:", "Turn about z:", "Scale:"};
    for (int k = 0; k < 7; ++k) {
        QDoubleSpinBox* b = new QDoubleSpinBox(contents);
        b->setObjectName(QString::fromLatin1(names[k]));
        b->setKeyboardTracking(false); // a typed number counts once, when complete
        if (k < 3) {
            b->setRange(-1e9, 1e9);
            b->setDecimals(4);
        } else if (k < 6) {
            b->setRange(-360.0, 360.0);
            b->setDecimals(2);
            b->setSuffix(QStringLiteral("°"));
            b->setWrapping(true);
        } else {
            b->setRange(1e-4, 1e4);
            b->setDecimals(4);
            b->setSingleStep(0.1);
        }
        boxes[k] = b;
        form->addRow(QString::fromLatin1(labels[k]), b);
        connect(b, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, [this, k]() {
            if (!showing) {
                // Only the box the user changed is read, so the others'
                // rounding never reaches the scene.
                const float v = float(boxes[k]->value());
                if (k < 3) {
                    shown.translate[k] = v;
                } else if (k < 6) {
                    shown.rotate[k - 3] = v;
                } else {
                    shown.scale = v;
                }
                emit placementEdited(shown, k);
            }
        });
    }
    setWidget(contents);
}

void PlacementPanel::setPlacement(const PovPlacement& p, bool enabled)
{
    shown = p;
    showing = true;
    for (int k = 0; k < 3; ++k) {
        boxes[k]->setValue(double(p.translate[k]));
        boxes[3 + k]->setValue(double(p.rotate[k]));
    }
    boxes[6]->setValue(double(p.scale));
    widget()->setEnabled(enabled);
    showing = false;
}
