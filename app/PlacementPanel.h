#pragma once
// PlacementPanel: the Placement dock. Edits the placement of the selected
// model's file numerically: the move (x, y, z), the turns about x, y and z
// in degrees (applied in that order) and the uniform scale.

#include "scene/PovPlacement.h"

#include <QDockWidget>

class QDoubleSpinBox;

class PlacementPanel : public QDockWidget {
    Q_OBJECT
public:
    explicit PlacementPanel(QWidget* parent = nullptr);

    // Shows `placement` (without emitting placementEdited); disabled when
    // no file is selected.
    void setPlacement(const PovPlacement& placement, bool enabled);

    // The boxes, in the order translate x y z, rotate x y z, scale; named
    // "translateX" ... "rotateZ", "scale".
    QDoubleSpinBox* box(int field) const { return boxes[field]; }

signals:
    // The user changed box `field` (0 to 6) to give `placement`.
    void placementEdited(const PovPlacement& placement, int field);

private:
    QDoubleSpinBox* boxes[7] = {};
    PovPlacement shown; // what the boxes show, unrounded
    bool showing = false;
};
