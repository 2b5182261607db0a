#pragma once
// LinesDialog: the Lines panel, a non-modal dialog that edits the feature
// line settings: which kinds, the extractor's thresholds, the colour, the
// width in pixels and fading. Every change is announced at once.

#include "ln/LnLineSettings.h"

#include <QDialog>

class QCheckBox;
class QDoubleSpinBox;
class QPushButton;
class QSpinBox;

class LinesDialog : public QDialog {
    Q_OBJECT
public:
    explicit LinesDialog(QWidget* parent = nullptr);

    // Shows the settings in the controls without announcing them.
    void setSettings(const LnLineSettings& settings);
    // The controls' settings; `shown` is kept from the last setSettings.
    LnLineSettings settings() const;
    // What the colour button does with the colour chosen in its dialog.
    void applyColor(const QColor& color);

    QCheckBox* contoursBox;
    QCheckBox* suggestiveBox;
    QCheckBox* ridgesBox;
    QCheckBox* valleysBox;
    QCheckBox* isophotesBox;
    QDoubleSpinBox* derivativeThresholdBox;
    QDoubleSpinBox* ridgeThresholdBox;
    QSpinBox* isophoteCountBox;
    QPushButton* colorButton;
    QDoubleSpinBox* widthBox;
    QCheckBox* fadeBox;

signals:
    void settingsChanged(const LnLineSettings& settings);

private:
    void announce();
    void showColor();

    LnLineSettings current;
    bool updating = false;
};
