#include "app/LinesDialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

LinesDialog::LinesDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("linesDialog"));
    setWindowTitle(QStringLiteral("Feature Lines"));
    auto check = [this](const char* name, const char* text) {
        QCheckBox* box = new QCheckBox(QString::fromLatin1(text), this);
        box->setObjectName(QString::fromLatin1(name));
        connect(box, &QCheckBox::toggled, this, &LinesDialog::announce);
        return box;
    };
    auto number = [this](const char* name, int decimals, double lo, double hi, double step) {
        QDoubleSpinBox* box = new QDoubleSpinBox(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setDecimals(decimals);
        box->setRange(lo, hi);
        box->setSingleStep(step);
        connect(box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
                &LinesDialog::announce);
        return box;
    };

    QGroupBox* kinds = new QGroupBox(QStringLiteral("Kinds"), this);
    QVBoxLayout* kindLayout = new QVBoxLayout(kinds);
    kindLayout->addWidget(contoursBox = check("contoursBox", "Contours"));
    kindLayout->addWidget(suggestiveBox = check("suggestiveBox", "Suggestive contours"));
    kindLayout->addWidget(ridgesBox = check("ridgesBox", "Ridges"));
    kindLayout->addWidget(valleysBox = check("valleysBox", "Valleys"));
    kindLayout->addWidget(isophotesBox = check("isophotesBox", "Isophotes"));

    QGroupBox* thresholds = new QGroupBox(QStringLiteral("Thresholds"), this);
    QFormLayout* thresholdLayout = new QFormLayout(thresholds);
    derivativeThresholdBox = number("derivativeThresholdBox", 3, 0.0, 1.0, 0.005);
    ridgeThresholdBox = number("ridgeThresholdBox", 3, 0.0, 10.0, 0.05);
    isophoteCountBox = new QSpinBox(this);
    isophoteCountBox->setObjectName(QStringLiteral("isophoteCountBox"));
    isophoteCountBox->setRange(1, LnLineSettings::maxIsophoteCount);
    connect(isophoteCountBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &LinesDialog::announce);
    thresholdLayout->addRow(QStringLiteral("Derivative"), derivativeThresholdBox);
    thresholdLayout->addRow(QStringLiteral("Ridge"), ridgeThresholdBox);
    thresholdLayout->addRow(QStringLiteral("Isophotes"), isophoteCountBox);

    QGroupBox* look = new QGroupBox(QStringLiteral("Drawing"), this);
    QFormLayout* lookLayout = new QFormLayout(look);
    colorButton = new QPushButton(this);
    colorButton->setObjectName(QStringLiteral("colorButton"));
    connect(colorButton, &QPushButton::clicked, this, [this]() {
        const QColor chosen = QColorDialog::getColor(QColor::fromRgbF(double(current.color[0]),
                                                                      double(current.color[1]),
                                                                      double(current.color[2])),
                                                     this);
        if (chosen.isValid()) {
            applyColor(chosen);
        }
    });
    widthBox = number("widthBox", 1, double(LnLineSettings::minWidth),
                      double(LnLineSettings::maxWidth), 0.5);
    widthBox->setSuffix(QStringLiteral(" px"));
    fadeBox = check("fadeBox", "Fade with strength");
    lookLayout->addRow(QStringLiteral("Colour"), colorButton);
    lookLayout->addRow(QStringLiteral("Width"), widthBox);
    lookLayout->addRow(fadeBox);

    QDialogButtonBox* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->addWidget(kinds);
    layout->addWidget(thresholds);
    layout->addWidget(look);
    layout->addWidget(buttons);
    setSettings(LnLineSettings());
}

void LinesDialog::setSettings(const LnLineSettings& settings)
{
    updating = true;
    current = settings;
    contoursBox->setChecked(settings.contours);
    suggestiveBox->setChecked(settings.suggestive);
    ridgesBox->setChecked(settings.ridges);
    valleysBox->setChecked(settings.valleys);
    isophotesBox->setChecked(settings.isophotes);
    derivativeThresholdBox->setValue(double(settings.derivativeThreshold));
    ridgeThresholdBox->setValue(double(settings.ridgeThreshold));
    isophoteCountBox->setValue(settings.isophoteCount);
    widthBox->setValue(double(settings.width));
    fadeBox->setChecked(settings.fade);
    showColor();
    updating = false;
}

LnLineSettings LinesDialog::settings() const
{
    LnLineSettings s = current;
    s.contours = contoursBox->isChecked();
    s.suggestive = suggestiveBox->isChecked();
    s.ridges = ridgesBox->isChecked();
    s.valleys = valleysBox->isChecked();
    s.isophotes = isophotesBox->isChecked();
    s.derivativeThreshold = float(derivativeThresholdBox->value());
    s.ridgeThreshold = float(ridgeThresholdBox->value());
    s.isophoteCount = isophoteCountBox->value();
    s.width = float(widthBox->value());
    s.fade = fadeBox->isChecked();
    return s;
}

void LinesDialog::applyColor(const QColor& color)
{
    current.color = vec(float(color.redF()), float(color.greenF()), float(color.blueF()));
    showColor();
    announce();
}

void LinesDialog::announce()
{
    if (updating) {
        return;
    }
    current = settings();
    emit settingsChanged(current);
}

void LinesDialog::showColor()
{
    QPixmap swatch(20, 20);
    swatch.fill(QColor::fromRgbF(double(current.color[0]), double(current.color[1]),
                                 double(current.color[2])));
    colorButton->setIcon(QIcon(swatch));
}
