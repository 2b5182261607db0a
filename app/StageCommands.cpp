// The Lighting menu's environment and studio commands: Environment...
// (a panorama, its turn and strength), Studio and Backdrop Colour....

#include "app/ErrorBox.h"
#include "app/InstallPaths.h"
#include "app/MainWindow.h"
#include "viewer/GLViewer.h"

#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

void MainWindow::setUpStageCommands()
{
    environmentAction = new QAction(QStringLiteral("Environment..."), this);
    environmentAction->setObjectName(QStringLiteral("actionLighting_Environment"));
    environmentAction->setCheckable(true);
    environmentAction->setStatusTip(
        QStringLiteral("Light the scene from an HDR panorama (.hdr or .exr) shown behind it"));
    studioAction = new QAction(QStringLiteral("Studio"), this);
    studioAction->setObjectName(QStringLiteral("actionLighting_Studio"));
    studioAction->setCheckable(true);
    studioAction->setStatusTip(
        QStringLiteral("A seamless backdrop with key, fill and rim lights, as in a photo studio"));
    backdropAction = new QAction(QStringLiteral("Backdrop Colour..."), this);
    backdropAction->setObjectName(QStringLiteral("actionBackdrop_Colour"));
    const QList<QAction*> entries = ui.menuLighting->actions();
    const int indoor = int(entries.indexOf(ui.actionLighting_Indoor));
    QAction* after = entries.value(indoor + 1);
    ui.menuLighting->insertAction(after, environmentAction);
    ui.menuLighting->insertAction(after, studioAction);
    ui.menuLighting->insertAction(after, backdropAction);

    connect(environmentAction, &QAction::triggered, this, [this]() {
        chooseEnvironment();
        updateUi();
    });
    connect(studioAction, &QAction::triggered, this, [this]() {
        if (!scene.stage.studio()) {
            editScene(QStringLiteral("Lighting Change"), QString(),
                      [this]() { scene.setStudioLighting(scene.stage.backdrop); });
            viewer->selectedLight = -1;
            viewer->updateGL();
            on_lightSelected(-1); // updates the commands
        }
        updateUi();
    });
    connect(backdropAction, &QAction::triggered, this, [this]() {
        const QColor colour = QColorDialog::getColor(scene.stage.backdrop, this,
                                                     QStringLiteral("Backdrop Colour"));
        if (!colour.isValid()) {
            return;
        }
        editScene(QStringLiteral("Backdrop Colour Change"), QString(), [this, colour]() {
            if (scene.stage.studio()) {
                scene.stage.backdrop = colour;
            } else {
                scene.setStudioLighting(colour);
            }
        });
        viewer->updateGL();
        on_lightSelected(viewer->selectedLight);
    });
}

void MainWindow::chooseEnvironment()
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("environmentDialog"));
    dialog.setWindowTitle(QStringLiteral("Environment"));
    auto* file = new QLineEdit(&dialog);
    file->setObjectName(QStringLiteral("environmentFileEdit"));
    QString start = scene.stage.environmentFile;
    if (start.isEmpty() && !installedSamplesDirectory().isEmpty()) {
        start = QDir(installedSamplesDirectory()).filePath(QStringLiteral("studio.hdr"));
    }
    file->setText(start);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), &dialog);
    auto* turn = new QDoubleSpinBox(&dialog);
    turn->setObjectName(QStringLiteral("environmentTurnSpinBox"));
    turn->setRange(-360.0, 360.0);
    turn->setSuffix(QStringLiteral("\u00b0"));
    turn->setValue(scene.stage.turn);
    auto* strength = new QDoubleSpinBox(&dialog);
    strength->setObjectName(QStringLiteral("environmentStrengthSpinBox"));
    strength->setRange(0.0, mostEnvironmentStrength);
    strength->setDecimals(3);
    strength->setSingleStep(0.1);
    strength->setValue(scene.stage.strength);
    auto* row = new QHBoxLayout;
    row->addWidget(file);
    row->addWidget(browse);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Panorama (.hdr, .exr):"), row);
    form->addRow(QStringLiteral("Turn about the vertical:"), turn);
    form->addRow(QStringLiteral("Strength:"), strength);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(browse, &QPushButton::clicked, &dialog, [&dialog, file]() {
        const QString name = QFileDialog::getOpenFileName(
            &dialog, QStringLiteral("Environment Panorama"), QFileInfo(file->text()).path(),
            QStringLiteral("HDR panoramas (*.hdr *.exr);;All files (*)"));
        if (!name.isNull()) {
            file->setText(name);
        }
    });
    dialog.resize(520, dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QString path = QFileInfo(file->text()).absoluteFilePath();
    std::shared_ptr<const PovPanorama> panorama;
    if (path == scene.stage.environmentFile && scene.stage.panorama) {
        panorama = scene.stage.panorama;
    } else {
        QString why;
        panorama = PovPanorama::load(path, &why);
        if (!panorama) {
            showErrorBox(this, QStringLiteral("environmentErrorBox"),
                         QStringLiteral("Environment"),
                         QStringLiteral("The image \"%1\" cannot light the scene; choose "
                                        "another with Lighting > Environment....")
                             .arg(file->text()),
                         why);
            return;
        }
    }
    const double turnDegrees = turn->value(), factor = strength->value();
    editScene(QStringLiteral("Lighting Change"), QString(), [&]() {
        scene.setEnvironmentLighting(path, panorama, turnDegrees, factor);
    });
    viewer->updateGL();
}

void MainWindow::updateStageCommands()
{
    const bool lamps = scene.stage.kind == PovStageKind::Lamps ||
                       (scene.stage.kind == PovStageKind::Environment && !scene.stage.panorama);
    ui.actionLighting_Outdoor->setChecked(lamps && scene.outdoorLighting);
    ui.actionLighting_Indoor->setChecked(lamps && !scene.outdoorLighting);
    environmentAction->blockSignals(true);
    studioAction->blockSignals(true);
    environmentAction->setChecked(scene.stage.environment());
    studioAction->setChecked(scene.stage.studio());
    environmentAction->blockSignals(false);
    studioAction->blockSignals(false);
}
