#include "app/TurntableDialog.h"

#include "scene/PovRenderSettings.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TurntableDialog::TurntableDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("turntableDialog"));
    setWindowTitle(QStringLiteral("Render Turntable"));

    framesBox = new QSpinBox;
    framesBox->setRange(1, 3600);
    framesBox->setValue(36);
    framesBox->setToolTip(QStringLiteral("Frames in one whole turn; frame k is turned by "
                                         "360\u00b0\u00b7k/frames about the vertical axis"));
    folderEdit = new QLineEdit(QDir::current().filePath(QStringLiteral("turntable")));
    auto* browseButton = new QPushButton(QStringLiteral("Browse..."));
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folderEdit);
    folderRow->addWidget(browseButton);
    widthBox = new QSpinBox;
    heightBox = new QSpinBox;
    for (QSpinBox* box : {widthBox, heightBox}) {
        box->setRange(1, PovRenderSettings::maxSide);
        box->setSuffix(QStringLiteral(" px"));
    }
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(widthBox);
    sizeRow->addWidget(new QLabel(QStringLiteral("\u00d7")));
    sizeRow->addWidget(heightBox);
    sizeRow->addStretch();

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Frames:"), framesBox);
    form->addRow(QStringLiteral("Output folder:"), folderRow);
    form->addRow(QStringLiteral("Picture size:"), sizeRow);
    auto* note = new QLabel(QStringLiteral("The frames are saved as frame_000.png, frame_001.png, "
                                           "... The other render settings (antialiasing, mesh "
                                           "form) are those of File > Render Settings."));
    note->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Render"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browseButton, &QPushButton::clicked, this, &TurntableDialog::browse);
    connect(folderEdit, &QLineEdit::textChanged, this, [this, buttons]() {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!folder().isEmpty());
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    setPictureSize(QSize(800, 600));
}

int TurntableDialog::frames() const { return framesBox->value(); }

QString TurntableDialog::folder() const { return folderEdit->text().trimmed(); }

QSize TurntableDialog::pictureSize() const { return QSize(widthBox->value(), heightBox->value()); }

void TurntableDialog::setPictureSize(const QSize& size)
{
    widthBox->setValue(size.width());
    heightBox->setValue(size.height());
}

void TurntableDialog::browse()
{
    const QString chosen =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Output Folder"), folder());
    if (!chosen.isEmpty()) {
        folderEdit->setText(chosen);
    }
}
