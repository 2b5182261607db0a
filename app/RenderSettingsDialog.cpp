#include "app/RenderSettingsDialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const PovMeshForm formOrder[] = {PovMeshForm::Auto, PovMeshForm::Triangles, PovMeshForm::Mesh2};
const PovQuality qualityOrder[] = {PovQuality::Draft, PovQuality::Photo};
const PovBackgroundKind backgroundOrder[] = {PovBackgroundKind::Black, PovBackgroundKind::Colour,
                                             PovBackgroundKind::Sky,
                                             PovBackgroundKind::Transparent};

} // namespace

RenderSettingsDialog::RenderSettingsDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("renderSettingsDialog"));
    setWindowTitle(QStringLiteral("Render Settings"));

    auto* sizeGroup = new QGroupBox(QStringLiteral("Picture size"));
    viewSizeButton = new QRadioButton(QStringLiteral("Size of the 3D view"));
    fixedSizeButton = new QRadioButton(QStringLiteral("Fixed size:"));
    widthBox = new QSpinBox;
    heightBox = new QSpinBox;
    for (QSpinBox* box : {widthBox, heightBox}) {
        box->setRange(1, PovRenderSettings::maxSide);
        box->setSuffix(QStringLiteral(" px"));
    }
    auto* fixedRow = new QHBoxLayout;
    fixedRow->addWidget(fixedSizeButton);
    fixedRow->addWidget(widthBox);
    fixedRow->addWidget(new QLabel(QStringLiteral("\u00d7")));
    fixedRow->addWidget(heightBox);
    fixedRow->addStretch();
    auto* sizeLayout = new QVBoxLayout(sizeGroup);
    sizeLayout->addWidget(viewSizeButton);
    sizeLayout->addLayout(fixedRow);

    antialiasBox = new QCheckBox(QStringLiteral("Antialiasing, threshold"));
    thresholdBox = new QDoubleSpinBox;
    thresholdBox->setRange(0.0, PovRenderSettings::maxThreshold);
    thresholdBox->setDecimals(2);
    thresholdBox->setSingleStep(0.05);
    thresholdBox->setToolTip(
        QStringLiteral("Pixels differing from their neighbours by more than this are supersampled; "
                       "smaller is smoother and slower"));
    auto* antialiasRow = new QHBoxLayout;
    antialiasRow->addWidget(antialiasBox);
    antialiasRow->addWidget(thresholdBox);
    antialiasRow->addStretch();

    meshFormBox = new QComboBox;
    meshFormBox->addItem(QStringLiteral("Automatic (mesh2 above 100,000 triangles)"));
    meshFormBox->addItem(QStringLiteral("Triangles (each triangle written out)"));
    meshFormBox->addItem(QStringLiteral("mesh2 (compact, parsed quickly)"));
    auto* formRow = new QFormLayout;
    formRow->addRow(QStringLiteral("Mesh form:"), meshFormBox);
    detailBox = new QComboBox;
    detailBox->addItem(QStringLiteral("Automatic (large models simplified to what the picture "
                                      "shows)"));
    detailBox->addItem(QStringLiteral("Full (every triangle)"));
    formRow->addRow(QStringLiteral("Detail:"), detailBox);

    qualityBox = new QComboBox;
    qualityBox->addItem(QStringLiteral("Draft (point lights, hard shadows)"));
    qualityBox->addItem(QStringLiteral("Photo (soft shadows, radiosity, antialiasing; slower)"));
    formRow->addRow(QStringLiteral("Quality:"), qualityBox);
    backgroundBox = new QComboBox;
    backgroundBox->addItem(QStringLiteral("Black"));
    backgroundBox->addItem(QStringLiteral("Colour"));
    backgroundBox->addItem(QStringLiteral("Sky"));
    backgroundBox->addItem(QStringLiteral("Transparent (PNG with alpha)"));
    backgroundColourButton = new QPushButton(QStringLiteral("Colour..."));
    auto* backgroundRow = new QHBoxLayout;
    backgroundRow->addWidget(backgroundBox);
    backgroundRow->addWidget(backgroundColourButton);
    backgroundRow->addStretch();
    formRow->addRow(QStringLiteral("Background:"), backgroundRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sizeGroup);
    layout->addLayout(antialiasRow);
    layout->addLayout(formRow);
    layout->addWidget(buttons);

    connect(viewSizeButton, &QRadioButton::toggled, this, &RenderSettingsDialog::updateUi);
    connect(antialiasBox, &QCheckBox::toggled, this, &RenderSettingsDialog::updateUi);
    connect(qualityBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &RenderSettingsDialog::updateUi);
    connect(backgroundBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &RenderSettingsDialog::updateUi);
    connect(backgroundColourButton, &QPushButton::clicked, this,
            &RenderSettingsDialog::chooseBackgroundColour);
    setSettings(PovRenderSettings());
}

void RenderSettingsDialog::setSettings(const PovRenderSettings& settings)
{
    viewSizeButton->setChecked(settings.useViewSize);
    fixedSizeButton->setChecked(!settings.useViewSize);
    widthBox->setValue(settings.size.width());
    heightBox->setValue(settings.size.height());
    antialiasBox->setChecked(settings.antialias);
    thresholdBox->setValue(settings.antialiasThreshold);
    for (int i = 0; i < 3; ++i) {
        if (formOrder[i] == settings.meshForm) {
            meshFormBox->setCurrentIndex(i);
        }
    }
    detailBox->setCurrentIndex(settings.detail == PovDetail::Full ? 1 : 0);
    qualityBox->setCurrentIndex(settings.quality == PovQuality::Photo ? 1 : 0);
    for (int i = 0; i < 4; ++i) {
        if (backgroundOrder[i] == settings.background) {
            backgroundBox->setCurrentIndex(i);
        }
    }
    backgroundColour = settings.backgroundColour;
    updateUi();
}

PovRenderSettings RenderSettingsDialog::settings() const
{
    PovRenderSettings settings;
    settings.useViewSize = viewSizeButton->isChecked();
    settings.size = QSize(widthBox->value(), heightBox->value());
    settings.antialias = antialiasBox->isChecked();
    settings.antialiasThreshold = thresholdBox->value();
    settings.meshForm = formOrder[std::max(0, std::min(2, meshFormBox->currentIndex()))];
    settings.detail = detailBox->currentIndex() == 1 ? PovDetail::Full : PovDetail::Auto;
    settings.quality = qualityOrder[std::max(0, std::min(1, qualityBox->currentIndex()))];
    settings.background = backgroundOrder[std::max(0, std::min(3, backgroundBox->currentIndex()))];
    settings.backgroundColour = backgroundColour;
    return settings;
}

void RenderSettingsDialog::updateUi()
{
    widthBox->setEnabled(!viewSizeButton->isChecked());
    heightBox->setEnabled(!viewSizeButton->isChecked());
    // Photo quality always antialiases.
    const bool photo = qualityBox->currentIndex() == 1;
    antialiasBox->setEnabled(!photo);
    thresholdBox->setEnabled(antialiasBox->isChecked() || photo);
    backgroundColourButton->setEnabled(backgroundBox->currentIndex() == 1);
    QPixmap swatch(16, 16);
    swatch.fill(backgroundColour);
    backgroundColourButton->setIcon(QIcon(swatch));
}

void RenderSettingsDialog::chooseBackgroundColour()
{
    const QColor colour =
        QColorDialog::getColor(backgroundColour, this, QStringLiteral("Background Colour"));
    if (colour.isValid()) {
        backgroundColour = colour;
        updateUi();
    }
}
