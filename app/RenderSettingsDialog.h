#pragma once
// RenderSettingsDialog: File > Render Settings... Edits a PovRenderSettings:
// picture size (the 3D view's or a fixed one), antialiasing and its
// threshold, the mesh form, the detail, the quality and the background. The caller passes the settings in, and
// on Accepted reads them back with settings().

#include "scene/PovRenderSettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class QRadioButton;
class QSpinBox;

class RenderSettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit RenderSettingsDialog(QWidget* parent = nullptr);

    void setSettings(const PovRenderSettings& settings);
    PovRenderSettings settings() const;

    // Public for tests.
    QRadioButton* viewSizeButton;
    QRadioButton* fixedSizeButton;
    QSpinBox* widthBox;
    QSpinBox* heightBox;
    QCheckBox* antialiasBox;
    QDoubleSpinBox* thresholdBox;
    QComboBox* meshFormBox;              // items in the order Auto, Triangles, Mesh2
    QComboBox* detailBox;                // Automatic, Full
    QComboBox* qualityBox;               // Draft, Photo
    QComboBox* backgroundBox;            // Black, Colour, Sky, Transparent
    QPushButton* backgroundColourButton; // picks backgroundColour
    QColor backgroundColour;

private:
    // Enables the fields that apply and paints the colour button.
    void updateUi();
    void chooseBackgroundColour();
};
