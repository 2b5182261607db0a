#include "app/MainWindow.h"
#include "tests/support/Drag.h"
#include "tests/support/MainWindowAccess.h"
#include "tests/support/ModalDialog.h"
#include "viewer/GLViewer.h"

#include <QColorDialog>
#include <QGLViewer/camera.h>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

#include <cmath>

namespace {

// The swatch painted on a colour button.
QImage swatch(QPushButton* button, int size) { return button->icon().pixmap(size, size).toImage(); }

// Answers the next modal colour dialog with `color` (or cancels it);
// `shown` gets the colour it opened on.
void answerColorDialog(const QColor& color, bool accept = true, QColor* shown = nullptr)
{
    answerModal<QColorDialog>([color, accept, shown](QColorDialog* dialog) {
        if (shown) {
            *shown = dialog->currentColor();
        }
        dialog->setCurrentColor(color);
        if (accept) {
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
}

using Edit = std::function<void(MainWindow*)>;

QAction* action(MainWindow* w, const char* name) { return w->findChild<QAction*>(name); }

// Selects model `i` as a pick in the view does.
void pick(MainWindow* w, int i)
{
    inside(w).viewer->selectedModel = i;
    w->on_lightSelected(-1);
    w->on_modelSelected(i);
}

} // namespace

Q_DECLARE_METATYPE(Edit)

class TestPanels : public QObject {
    Q_OBJECT
    MainWindow* w = nullptr;

    const PovTexture& texture() { return inside(w).scene.textures[1]; }

private slots:
    void initTestCase()
    {
        w = new MainWindow;
        w->resize(900, 700);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    void cleanupTestCase() { delete w; }

    void init()
    {
        w->loadScene(QFINDTESTDATA("../data/npr/cube.npr"));
        QCOMPARE(inside(w).scene.modelCount(), 2);
    }

    // Every kind of edit is one step named in the Edit menu: undone, the
    // scene's text is as before byte for byte; redone, as after. The scene
    // is the cube and, imported beside it, the smooth torus (file 1, model 2).
    void undoEveryEdit_data()
    {
        QTest::addColumn<Edit>("prepare");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QString>("name");
        const Edit nothing = [](MainWindow*) {};
        QTest::newRow("material, several panel signals")
            << Edit([](MainWindow* w) { pick(w, 2); }) << Edit([](MainWindow* w) {
                   inside(w).ui.finishDiffuseBox->setValue(0.2);
                   inside(w).ui.finishDiffuseBox->setValue(0.25);
                   inside(w).ui.finishSpecularBox->setValue(0.9);
               })
            << "Material Change";
        QTest::newRow("pigment colour")
            << Edit([](MainWindow* w) { pick(w, 1); })
            << Edit([](MainWindow* w) { w->applyPigmentColor(QColor(10, 200, 30)); })
            << "Material Change";
        QTest::newRow("light colour")
            << Edit([](MainWindow* w) { w->on_lightSelected(0); })
            << Edit([](MainWindow* w) { w->applyLightColor(QColor(255, 128, 0)); })
            << "Light Colour Change";
        QTest::newRow("light, a slider moved")
            << Edit([](MainWindow* w) { w->on_lightSelected(0); }) << Edit([](MainWindow* w) {
                   for (int v = 10; v <= 40; v += 10) {
                       inside(w).ui.sunElevationSlider->setValue(v);
                   }
               })
            << "Light Change";
        QTest::newRow("ambient") << Edit([](MainWindow* w) {
            w->on_lightSelected(0);
        }) << Edit([](MainWindow* w) { inside(w).ui.lightAmbientBox->setValue(0.6); })
                                 << "Ambient Change";
        QTest::newRow("add light")
            << nothing << Edit([](MainWindow* w) { inside(w).ui.actionAdd_Light->trigger(); })
            << "Add Light";
        QTest::newRow("remove light")
            << Edit([](MainWindow* w) { inside(w).ui.actionAdd_Light->trigger(); })
            << Edit([](MainWindow* w) { inside(w).ui.actionRemove_Light->trigger(); })
            << "Remove Light";
        QTest::newRow("lighting") << nothing << Edit([](MainWindow* w) {
            inside(w).ui.actionLighting_Indoor->trigger();
        }) << "Lighting Change";
        QTest::newRow("ground") << nothing << Edit([](MainWindow* w) {
            inside(w).ui.actionShow_Ground_Plane->trigger();
        }) << "Ground Change";
        QTest::newRow("flat shading")
            << Edit([](MainWindow* w) { pick(w, 2); })
            << Edit([](MainWindow* w) { inside(w).ui.actionSmooth_Shading->trigger(); })
            << "Shading Change";
        QTest::newRow("subdivision")
            << Edit([](MainWindow* w) { pick(w, 2); })
            << Edit([](MainWindow* w) { inside(w).ui.actionSubdivide->trigger(); }) << "Subdivide";
        QTest::newRow("placement, typed in two boxes")
            << Edit([](MainWindow* w) { pick(w, 2); }) << Edit([](MainWindow* w) {
                   QDoubleSpinBox* x = w->findChild<QDoubleSpinBox*>("translateX");
                   x->setValue(1.5);
                   x->setValue(2.5);
               })
            << "Placement Change";
        QTest::newRow("drag in move mode") << Edit([](MainWindow* w) {
            action(w, "actionMove_Mode")->setChecked(true);
        }) << Edit([](MainWindow* w) {
            // From the cube's centre on screen, across to the right.
            const vec c = inside(w).scene.files[0].center;
            const qglviewer::Vec p = inside(w).viewer->camera()->projectedCoordinatesOf(
                qglviewer::Vec(c[0], c[1], c[2]));
            dragLeft(inside(w).viewer, QPoint(int(p.x), int(p.y)), QPoint(4, 1), 8);
            QCOMPARE(inside(w).selectedModel, 1);
            action(w, "actionMove_Mode")->setChecked(false);
        }) << "Move";
        QTest::newRow("drop to ground")
            << Edit([](MainWindow* w) { pick(w, 2); })
            << Edit([](MainWindow* w) { w->dropToGround(); }) << "Drop to Ground";
        QTest::newRow("centre on origin") << Edit([](MainWindow* w) {
            pick(w, 2);
            PovPlacement away;
            away.translate = vec(3, 4, 5);
            w->setPlacement(away);
        }) << Edit([](MainWindow* w) { w->centreOnOrigin(); })
                                          << "Centre on Origin";
        QTest::newRow("import") << nothing << Edit([](MainWindow* w) {
            QVERIFY(w->importModelFile(QFINDTESTDATA("../data/npr/cube.npr")));
        }) << "Import";
        QTest::newRow("duplicate")
            << Edit([](MainWindow* w) { pick(w, 2); })
            << Edit([](MainWindow* w) { w->duplicateFile(); }) << "Duplicate";
        QTest::newRow("remove") << Edit([](MainWindow* w) { pick(w, 1); })
                                << Edit([](MainWindow* w) { w->removeFile(); }) << "Remove";
    }
    void undoEveryEdit()
    {
        QFETCH(Edit, prepare);
        QFETCH(Edit, edit);
        QFETCH(QString, name);
        QVERIFY(w->importModelFile(QFINDTESTDATA("../../samples/torus.off")));
        QCOMPARE(inside(w).scene.fileCount(), 2);
        prepare(w);
        QUndoStack* undo = w->undoStack();
        const int steps = undo->count();
        qglviewer::Camera* camera = inside(w).viewer->camera();
        const QString before = inside(w).scene.povText(camera);
        edit(w);
        QCOMPARE(undo->count(), steps + 1);
        QCOMPARE(undo->undoText(), name);
        QCOMPARE(action(w, "actionUndo")->text(), "Undo " + name);
        const QString after = inside(w).scene.povText(camera);
        QVERIFY(after != before);
        action(w, "actionUndo")->trigger();
        QVERIFY(inside(w).scene.povText(camera) == before);
        action(w, "actionRedo")->trigger();
        QVERIFY(inside(w).scene.povText(camera) == after);
        undo->undo();
        QVERIFY(inside(w).scene.povText(camera) == before);
    }

    // Saving marks the clean state: the title's "*" and the question on
    // closing follow undo and redo; opening a scene clears the history.
    void cleanStateFollowsSave()
    {
        QTemporaryDir dir;
        pick(w, 1);
        inside(w).ui.finishDiffuseBox->setValue(0.1);
        QVERIFY(w->isModified());
        QVERIFY(w->saveDocument(dir.filePath("saved.kelvane")));
        QVERIFY(!w->isModified());
        QVERIFY(!w->windowTitle().endsWith('*'));
        w->undoStack()->undo();
        QVERIFY(w->isModified());
        QVERIFY(w->windowTitle().endsWith('*'));
        w->undoStack()->redo();
        QVERIFY(!w->isModified());
        w->loadScene(dir.filePath("saved.kelvane"));
        QCOMPARE(w->undoStack()->count(), 0);
        QVERIFY(!w->isModified());
    }

    // The composing commands apply to a selected model of a file; Remove
    // only while another file stays.
    void composingCommandsEnabled()
    {
        const QStringList commands = {"actionDrop_to_Ground", "actionCentre_on_Origin",
                                      "actionDuplicate", "actionRemove"};
        auto enabled = [this](const char* name) { return action(w, name)->isEnabled(); };
        QVERIFY(enabled("actionImport"));
        pick(w, -1);
        for (const QString& c : commands) {
            QVERIFY2(!enabled(qPrintable(c)), qPrintable(c));
        }
        pick(w, 0); // the ground belongs to no file
        QVERIFY(!enabled("actionDuplicate"));
        pick(w, 1);
        QVERIFY(enabled("actionDrop_to_Ground") && enabled("actionDuplicate"));
        QVERIFY(!enabled("actionRemove"));
        QVERIFY(w->importModelFile(QFINDTESTDATA("../data/npr/cube.npr")));
        QCOMPARE(inside(w).selectedModel, 2);
        QVERIFY(enabled("actionRemove"));
        QVERIFY(w->findChild<QDoubleSpinBox*>("scale")->isEnabled());
        w->removeFile();
        QCOMPARE(inside(w).selectedModel, -1);
        QVERIFY(!enabled("actionRemove"));
        QVERIFY(!w->findChild<QDoubleSpinBox*>("scale")->isEnabled());
    }

    void formControls()
    {
        QCOMPARE(inside(w).ui.pigmentPresetBox->count(), 9);
        QCOMPARE(inside(w).ui.pigmentPresetBox->itemText(0), QString("Rose Marble (T_Stone1)"));
        QCOMPARE(inside(w).ui.pigmentPresetBox->itemText(7), QString("Yellow Pine (T_Wood7)"));
        QCOMPARE(inside(w).ui.pigmentPresetBox->itemText(8), QString("From File"));
        QVERIFY(!inside(w).ui.pigmentPresetBox->isEditable());
        QCOMPARE(inside(w).ui.finishRoughnessBox->decimals(), 3);
        QCOMPARE(inside(w).ui.finishRoughnessBox->minimum(), 0.01);
        QCOMPARE(inside(w).ui.surfaceScaleBox->maximum(), 100.0);
        QCOMPARE(inside(w).ui.pigmentRedBox->geometry(), QRect(10, 50, 44, 22));
        QCOMPARE(inside(w).ui.pigmentColorButton->geometry(), QRect(150, 12, 41, 31));
        QCOMPARE(inside(w).ui.sunElevationSlider->maximum(), 180);
        QCOMPARE(inside(w).ui.sunElevationSlider->geometry(), QRect(10, 40, 181, 21));
        QCOMPARE(inside(w).ui.pigmentPresetButton->palette().color(QPalette::Active,
                                                                   QPalette::WindowText),
                 QColor(170, 0, 127));
        QCOMPARE(inside(w).ui.surfaceWrinklyButton->palette().color(QPalette::Disabled,
                                                                    QPalette::WindowText),
                 QColor(112, 111, 113));
        QCOMPARE(inside(w).ui.groupBox_3->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QStringList lighting;
        for (QAction* a : inside(w).ui.menuLighting->actions()) {
            lighting << (a->isSeparator() ? QString("-") : a->objectName());
        }
        QCOMPARE(lighting,
                 QStringList({"actionLighting_Outdoor", "actionLighting_Indoor",
                              "actionLighting_Environment", "actionLighting_Studio",
                              "actionBackdrop_Colour", "-", "actionAdd_Light",
                              "actionRemove_Light"}));
    }

    void modelPickFillsTheMaterialPanel()
    {
        w->on_modelSelected(1);
        QVERIFY(inside(w).ui.materialDockWidget->isVisible());
        QVERIFY(!inside(w).ui.lightDockWidget->isVisible());
        QVERIFY(inside(w).ui.materialDockWidgetContents->isEnabled());
        QVERIFY(inside(w).ui.pigmentRGBButton->isChecked());
        QCOMPARE(inside(w).ui.pigmentRedBox->value(), 0.8);
        QCOMPARE(inside(w).ui.finishDiffuseBox->value(), 0.7);
        QCOMPARE(inside(w).ui.finishRoughnessBox->value(), 0.01);
        QVERIFY(inside(w).ui.surfaceSmoothButton->isChecked());
        QVERIFY(inside(w).ui.actionSmooth_Shading->isEnabled());
        QVERIFY(inside(w).ui.actionSmooth_Shading->isChecked());
        QVERIFY(!inside(w).ui.actionSubdivide->isEnabled());
        QCOMPARE(swatch(inside(w).ui.pigmentColorButton, 20).pixelColor(10, 10),
                 QColor(204, 204, 204));

        w->on_modelSelected(-1);
        QVERIFY(!inside(w).ui.materialDockWidgetContents->isEnabled());
        QVERIFY(inside(w).ui.materialDockWidget->isVisible());
    }

    void presetFromTheComboBox()
    {
        // A strongly coloured model, so the preset's grey shows the change.
        w->on_modelSelected(1);
        w->applyPigmentColor(QColor(255, 0, 0));
        {
            inside(w).viewer->grabFramebuffer();
            const QImage view = inside(w).viewer->grabFramebuffer();
            const QRgb centre = view.pixel(view.width() / 2, view.height() / 2);
            QVERIFY(qRed(centre) > qGreen(centre) + 40);
        }
        // Choosing an entry switches to preset mode and stores its name.
        inside(w).ui.pigmentPresetBox->setCurrentIndex(2);
        QTest::keyClick(inside(w).ui.pigmentPresetBox, Qt::Key_Down); // the user picks Granite
        QCOMPARE(inside(w).ui.pigmentPresetBox->currentText(), QString("Granite (T_Stone34)"));
        QCOMPARE(texture().name, QString("T_Stone34"));
        QVERIFY(inside(w).ui.pigmentPresetButton->isChecked());
        QVERIFY(!inside(w).ui.pigmentRGBButton->isChecked());
        const QImage hatch = swatch(inside(w).ui.pigmentColorButton, 20);
        bool black = false, white = false;
        for (int x = 1; x < 19; ++x) {
            black = black || hatch.pixelColor(x, 10) == Qt::black;
            white = white || hatch.pixelColor(x, 10) == Qt::white;
        }
        QVERIFY(black && white);

        // The view draws it mid-grey.
        inside(w).viewer->grabFramebuffer();
        const QImage view = inside(w).viewer->grabFramebuffer();
        const QRgb centre = view.pixel(view.width() / 2, view.height() / 2);
        QVERIFY(std::abs(qRed(centre) - qGreen(centre)) <= 2);
        QVERIFY(std::abs(qGreen(centre) - qBlue(centre)) <= 2);

        // Editing a colour value switches back to colour mode.
        inside(w).ui.pigmentGreenBox->setValue(0.3);
        QVERIFY(texture().name.isNull());
        QCOMPARE(texture().green, 0.3f);
        QCOMPARE(texture().red, 0.8f); // the boxes held the named texture's own pigment
    }

    // A glTF model shows its file's image; a colour from the panel replaces
    // it, and "From File" brings it back, in the scene and in the view.
    void fromFileBringsTheFileMaterialBack()
    {
        w->loadScene(QFINDTESTDATA("../data/textured/quad.gltf"));
        w->on_modelSelected(1);
        QVERIFY(texture().fromFile && texture().image);
        QCOMPARE(inside(w).ui.pigmentPresetBox->currentText(), QString("From File"));
        w->applyPigmentColor(QColor(255, 0, 0));
        QVERIFY(!texture().fromFile && !texture().image);
        inside(w).ui.pigmentPresetBox->setCurrentIndex(7);
        QTest::keyClick(inside(w).ui.pigmentPresetBox, Qt::Key_Down); // the user picks From File
        QVERIFY(texture().fromFile && texture().image);
        inside(w).viewer->grabFramebuffer();
        const QImage view = inside(w).viewer->grabFramebuffer();
        // The square's left half shows red over blue, its right green over yellow.
        const int d = view.height() / 8;
        const QRgb left = view.pixel(view.width() / 2 - d, view.height() / 2 - d);
        const QRgb right = view.pixel(view.width() / 2 + d, view.height() / 2 - d);
        QVERIFY(qRed(left) > qGreen(left) + 40);
        QVERIFY(qGreen(right) > qRed(right) + 40);
    }

    void presetNameMatchesTheWholeName()
    {
        PovTexture t;
        t.name = "T_Stone18";
        inside(w).scene.setTexture(1, t);
        w->on_modelSelected(1);
        QCOMPARE(inside(w).ui.pigmentPresetBox->currentText(), QString("Green Jade (T_Stone18)"));
        QVERIFY(inside(w).ui.pigmentPresetButton->isChecked());
    }

    void finishValues()
    {
        w->on_modelSelected(1);
        inside(w).scene.textures[0].ambient = 0.25f; // the scene-wide ambient lives in texture 0
        inside(w).ui.finishSpecularBox->setValue(0.5);
        QCOMPARE(texture().specular, 0.5f);
        QCOMPARE(texture().reflection, 0.5f);
        QCOMPARE(texture().ambient, 0.25f);
        QCOMPARE(texture().red, 0.8f); // the colour comes from the boxes

        inside(w).ui.pigmentMetallicBox->setChecked(true);
        QVERIFY(texture().metallic);
        inside(w).ui.surfaceWavyButton->click();
        QCOMPARE(texture().normalPattern, QString("waves"));
        inside(w).ui.surfaceSizeBox->setValue(0.25);
        QCOMPARE(texture().bumpSize, 0.25f);
        inside(w).ui.surfaceScaleBox->setValue(3.5);
        QCOMPARE(texture().normalScale, 3.5f);
        inside(w).ui.surfaceSmoothButton->click();
        QCOMPARE(texture().normalPattern, QString("smooth"));
    }

    void spinBoxesRoundWhatTheyShow()
    {
        PovTexture t;
        t.roughness = 0.001f;
        t.setColor(0.53f, 0.2f, 0.2f);
        inside(w).scene.setTexture(1, t);
        w->on_modelSelected(1);
        QCOMPARE(inside(w).ui.finishRoughnessBox->value(), 0.01);
        QCOMPARE(inside(w).ui.pigmentRedBox->value(), 0.5);
        QCOMPARE(texture().roughness, 0.001f); // filling the panel changed nothing
        QCOMPARE(texture().red, 0.53f);
        inside(w).ui.finishDiffuseBox->setValue(0.6);
        QCOMPARE(texture().roughness, 0.01f);
        QCOMPARE(texture().red, 0.5f);
    }

    // A model with a named texture still shows its pigment colour, so
    // choosing a colour pigment starts from it, and the colour dialog opens
    // on the colour the model has.
    void panelShowsTheModelsColour()
    {
        PovTexture t;
        t.name = "T_Wood7";
        t.setColor(0.8f, 0.6f, 0.4f);
        t.name = "T_Wood7";
        inside(w).scene.setTexture(1, t);
        w->on_modelSelected(1);
        QVERIFY(inside(w).ui.pigmentPresetButton->isChecked());
        QCOMPARE(inside(w).ui.pigmentRedBox->value(), 0.8);
        QCOMPARE(inside(w).ui.pigmentGreenBox->value(), 0.6);
        QCOMPARE(inside(w).ui.pigmentBlueBox->value(), 0.4);
        inside(w).ui.pigmentRGBButton->click();
        QVERIFY(texture().name.isNull());
        QVERIFY(std::fabs(texture().red - 0.8f) < 1e-6f &&
                std::fabs(texture().blue - 0.4f) < 1e-6f);

        QColor shown;
        answerColorDialog(QColor(0, 0, 0), false, &shown);
        inside(w).ui.pigmentColorButton->click();
        QCOMPARE(shown.rgb(), QColor::fromRgbF(0.8, 0.6, 0.4).rgb());
        w->on_lightSelected(0);
        inside(w).scene.lights[0].color = vec(1.0f, 0.5f, 0.0f);
        answerColorDialog(QColor(0, 0, 0), false, &shown);
        inside(w).ui.lightColorButton->click();
        QCOMPARE(shown.rgb(), QColor::fromRgbF(1.0, 0.5, 0.0).rgb());
    }

    void colourDialogKeepsTheFinish()
    {
        PovTexture t;
        t.name = "T_Wood7";
        t.setFinish(0.4f, 0.6f, 0.35f, 0.2f, 0.05f);
        t.metallic = true;
        t.setNormal("bumps", 0.3f, 2.0f);
        inside(w).scene.setTexture(1, t);
        w->on_modelSelected(1);

        answerColorDialog(QColor(255, 0, 0), false);
        inside(w).ui.pigmentColorButton->click();
        QCOMPARE(texture().name, QString("T_Wood7")); // cancelled

        answerColorDialog(QColor::fromRgbF(0.53, 0.25, 1.0));
        inside(w).ui.pigmentColorButton->click();
        QVERIFY(texture().name.isNull());
        QVERIFY(std::fabs(texture().red - 0.53f) < 0.003f);
        QCOMPARE(texture().diffuse, 0.4f);
        QCOMPARE(texture().specular, 0.6f);
        QCOMPARE(texture().reflection, 0.2f);
        QCOMPARE(texture().roughness, 0.05f);
        QVERIFY(texture().metallic);
        QCOMPARE(texture().normalPattern, QString("bumps"));
        QVERIFY(inside(w).ui.pigmentRGBButton->isChecked());
        QCOMPARE(inside(w).ui.pigmentRedBox->value(), 0.5);
    }

    void colourChangeShowsInTheView()
    {
        w->on_modelSelected(1);
        inside(w).ui.finishDiffuseBox->setValue(0.0);
        inside(w).ui.finishSpecularBox->setValue(0.0);
        inside(w).scene.setAmbientAll(1.0f);
        w->applyPigmentColor(QColor(0, 0, 255));
        inside(w).viewer->grabFramebuffer();
        QImage view = inside(w).viewer->grabFramebuffer();
        QRgb centre = view.pixel(view.width() / 2, view.height() / 2);
        QVERIFY(qBlue(centre) > 200 && qRed(centre) < 30);
        w->applyPigmentColor(QColor(255, 0, 0));
        view = inside(w).viewer->grabFramebuffer();
        centre = view.pixel(view.width() / 2, view.height() / 2);
        QVERIFY(qRed(centre) > 200 && qBlue(centre) < 30);
    }

    void sunElevation()
    {
        w->on_lightSelected(0);
        QVERIFY(inside(w).ui.lightDockWidget->isVisible());
        QVERIFY(!inside(w).ui.materialDockWidget->isVisible());
        QVERIFY(inside(w).ui.lightPositionGroupBox->isEnabled());
        QVERIFY(inside(w).ui.actionRemove_Light->isEnabled());
        QCOMPARE(inside(w).ui.sunElevationSlider->value(), 89);
        // The box shows the ambient the scene holds.
        QCOMPARE(inside(w).ui.lightAmbientBox->value(), 0.35);

        const float distance = len(inside(w).scene.lights[0].position);
        const float azimuth = inside(w).scene.lights[0].azimuth;
        inside(w).ui.sunElevationSlider->setValue(29);
        QCOMPARE(inside(w).scene.lights[0].elevation, 29 * 0.017453289f);
        QCOMPARE(inside(w).ui.sunElevationSlider->value(), 28);

        inside(w).ui.sunElevationSlider->setValue(30);
        QCOMPARE(inside(w).ui.sunElevationSlider->value(), 30);
        const PovLight& sun = inside(w).scene.lights[0];
        QVERIFY(std::fabs(sun.elevation - 0.5236f) < 1e-4f);
        QVERIFY(std::fabs(sun.azimuth - azimuth) < 1e-6f); // the azimuth is kept
        QVERIFY(std::fabs(len(sun.position) - distance) < distance * 1e-5f);

        // The next export carries the new position.
        const QString text = inside(w).scene.povText(inside(w).viewer->camera());
        char expected[128];
        std::snprintf(expected, sizeof expected, "\t<%f, %f, %f>\n",
                      double(sun.position[0]) * 10000.0, double(sun.position[1]) * 10000.0,
                      double(sun.position[2]) * 10000.0);
        QVERIFY(text.contains(expected));
    }

    // The sun turns about the vertical as well: its azimuth is kept with
    // its elevation and distance.
    void sunAzimuth()
    {
        w->on_lightSelected(0);
        QCOMPARE(inside(w).ui.sunAzimuthSlider->value(),
                 int(std::lround(inside(w).scene.lights[0].azimuth * 57.29578f)));
        inside(w).ui.sunElevationSlider->setValue(30);
        const float distance = len(inside(w).scene.lights[0].position);
        inside(w).ui.sunAzimuthSlider->setValue(90);
        const PovLight& sun = inside(w).scene.lights[0];
        QVERIFY(std::fabs(sun.azimuth - 1.5708f) < 1e-4f);
        QVERIFY(std::fabs(sun.elevation - 0.5236f) < 1e-4f);
        QVERIFY(std::fabs(len(sun.position) - distance) < distance * 1e-5f);
        QVERIFY(sun.position[0] > 0.8f * distance && std::fabs(sun.position[1]) < 1e-3f * distance);
        // Selected again, the panel shows where it is.
        w->on_lightSelected(-1);
        w->on_lightSelected(0);
        QCOMPARE(inside(w).ui.sunAzimuthSlider->value(), 90);
        QCOMPARE(inside(w).ui.sunElevationSlider->value(), 30);
    }

    void indoorLighting()
    {
        inside(w).ui.actionLighting_Indoor->setChecked(true);
        QVERIFY(!inside(w).scene.outdoorLighting);
        QCOMPARE(inside(w).scene.lightCount(), 4);
        QVERIFY(!inside(w).ui.actionLighting_Outdoor->isChecked());
        QCOMPARE(inside(w).selectedLight, -1);
        w->on_lightSelected(2);
        QVERIFY(!inside(w).ui.lightPositionGroupBox->isEnabled());
        QCOMPARE(inside(w).ui.sunElevationSlider->value(), 90);
        const vec before = inside(w).scene.lights[2].position;
        inside(w).ui.lightRedBox->setValue(0.5);
        QCOMPARE(inside(w).scene.lights[2].color, vec(0.5f, 1.0f, 1.0f));
        QCOMPARE(inside(w).scene.lights[2].position, before); // indoor lights keep their place

        // Unchecking the checked entry changes nothing; the other switches.
        inside(w).ui.actionLighting_Indoor->setChecked(false);
        QVERIFY(!inside(w).scene.outdoorLighting);
        // The light picked in the view goes with the lights it was among.
        inside(w).viewer->selectedLight = 2;
        inside(w).ui.actionLighting_Outdoor->setChecked(true);
        QVERIFY(inside(w).scene.outdoorLighting);
        QCOMPARE(inside(w).scene.lightCount(), 1);
        QCOMPARE(inside(w).viewer->selectedLight, -1);
        QCOMPARE(inside(w).selectedLight, -1);
    }

    // Editing a light writes only what the user changed: the ambient and
    // the colour stay as the scene holds them, however the boxes round.
    void untouchedValuesStay()
    {
        inside(w).scene.setAmbientAll(0.123f);
        inside(w).scene.lights[0].color = vec(0.25f, 0.5f, 1.0f);
        w->on_lightSelected(0);
        QCOMPARE(inside(w).ui.lightAmbientBox->value(), 0.12);
        inside(w).ui.sunElevationSlider->setValue(40);
        QCOMPARE(inside(w).scene.lights[0].elevation, 40 * 0.017453289f);
        for (const PovTexture& t : inside(w).scene.textures) {
            QCOMPARE(t.ambient, 0.123f);
        }
        QCOMPARE(inside(w).scene.lights[0].color, vec(0.25f, 0.5f, 1.0f));

        // The outdoor preset's 0.35 and the sun's place survive a colour
        // edit; only the edited component changes.
        inside(w).ui.actionLighting_Indoor->setChecked(true);
        inside(w).ui.actionLighting_Outdoor->setChecked(true);
        inside(w).scene.lights[0].color = vec(1.0f, 0.25f, 0.25f);
        const vec place = inside(w).scene.lights[0].position;
        w->on_lightSelected(0);
        inside(w).ui.lightGreenBox->setValue(0.5);
        QCOMPARE(inside(w).scene.lights[0].color, vec(1.0f, 0.5f, 0.25f));
        QCOMPARE(inside(w).scene.lights[0].position, place);
        for (const PovTexture& t : inside(w).scene.textures) {
            QCOMPARE(t.ambient, 0.35f);
        }
    }

    // Every label of the docks reads whole at the usual desktop font
    // sizes: its text fits its box and no other control covers it.
    void labelsReadWhole_data()
    {
        QTest::addColumn<int>("points");
        QTest::newRow("8 pt") << 8;
        QTest::newRow("9 pt") << 9;
        QTest::newRow("10 pt") << 10;
    }
    void labelsReadWhole()
    {
        QFETCH(int, points);
        QStringList faults;
        for (QWidget* contents : {static_cast<QWidget*>(inside(w).ui.materialDockWidgetContents),
                                  static_cast<QWidget*>(inside(w).ui.lightDockWidgetContents)}) {
            QFont font = contents->font();
            font.setPointSize(points);
            contents->setFont(font);
            for (QGroupBox* group : contents->findChildren<QGroupBox*>()) {
                const QList<QWidget*> controls =
                    group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
                for (QWidget* control : controls) {
                    const bool labelled =
                        qobject_cast<QLabel*>(control) || qobject_cast<QAbstractButton*>(control);
                    const auto* button = qobject_cast<QAbstractButton*>(control);
                    if (!labelled || (button && button->text().isEmpty())) {
                        continue;
                    }
                    const QSize need = control->sizeHint();
                    const QRect have = control->geometry();
                    const int line = control->fontMetrics().height();
                    const QString name =
                        QString("%1 at %2 pt").arg(control->objectName()).arg(points);
                    if (need.width() > have.width() || line > have.height()) {
                        faults << QString("%1 needs %2x%3, has %4x%5")
                                      .arg(name)
                                      .arg(need.width())
                                      .arg(need.height())
                                      .arg(have.width())
                                      .arg(have.height());
                    }
                    // Where the text is drawn: from the left, centred
                    // vertically.
                    const QRect text(have.left(), have.top() + (have.height() - line) / 2,
                                     need.width(), line);
                    for (QWidget* other : controls) {
                        if (other != control && other->geometry().intersects(text)) {
                            faults << name + " is covered by " + other->objectName();
                        }
                    }
                    if (!group->rect().contains(text)) {
                        faults << name + " runs out of " + group->objectName();
                    }
                }
            }
            font.setPointSize(8);
            contents->setFont(font);
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join('\n')));
    }

    void ambientPowerReachesEveryTexture()
    {
        w->on_lightSelected(0);
        inside(w).ui.lightAmbientBox->setValue(0.2);
        for (const PovTexture& t : inside(w).scene.textures) {
            QCOMPARE(t.ambient, 0.2f);
        }
        w->on_modelSelected(1);
        inside(w).ui.finishDiffuseBox->setValue(0.5);
        QCOMPARE(texture().ambient, 0.2f);
    }

    void addAndRemoveLights()
    {
        w->on_lightSelected(0);
        const float farthest = len(inside(w).scene.lights[0].position);
        inside(w).ui.actionAdd_Light->trigger();
        QCOMPARE(inside(w).scene.lightCount(), 2);
        QCOMPARE(inside(w).selectedLight, 1);
        QCOMPARE(inside(w).selectedModel, -1);
        QCOMPARE(inside(w).viewer->selectedLight, 1);
        const PovLight& added = inside(w).scene.lights[1];
        QCOMPARE(added.color, vec(1, 1, 1));
        QCOMPARE(added.intensity, 1.0f);
        QVERIFY(std::fabs(len(added.position) - 1.2f * farthest) < farthest * 1e-4f);
        inside(w).ui.actionAdd_Light->trigger();
        inside(w).ui.actionAdd_Light->trigger();
        QCOMPARE(inside(w).scene.lightCount(), 4);
        inside(w).ui.actionAdd_Light->trigger();
        QCOMPARE(inside(w).scene.lightCount(), 4);
        QVERIFY(w->statusBar()->currentMessage().startsWith("A scene has at most 4 lights"));

        w->on_lightSelected(0);
        inside(w).ui.actionRemove_Light->trigger();
        QCOMPARE(inside(w).scene.lightCount(), 4);
        w->on_lightSelected(2);
        QVERIFY(inside(w).ui.lightDockWidgetContents->isEnabled());
        inside(w).ui.actionRemove_Light->trigger();
        QCOMPARE(inside(w).scene.lightCount(), 3);
        QCOMPARE(inside(w).selectedLight, -1);
        QVERIFY(!inside(w).ui.actionRemove_Light->isEnabled());
        QCOMPARE(inside(w).viewer->selectedLight, -1);
        // The panel's controls edit nothing now, so they are disabled.
        QVERIFY(!inside(w).ui.lightDockWidgetContents->isEnabled());
    }

    void lightColour()
    {
        w->on_lightSelected(0);
        answerColorDialog(QColor::fromRgbF(0.5, 0.25, 1.0));
        inside(w).ui.lightColorButton->click();
        QVERIFY(std::fabs(inside(w).scene.lights[0].color[1] - 0.25f) < 0.003f);
        w->applyLightColor(QColor::fromRgbF(0.5, 0.25, 1.0));
        inside(w).scene.lights[0].color = vec(0.5f, 0.25f, 1.0f);
        w->updateLightPanel();
        QCOMPARE(swatch(inside(w).ui.lightColorButton, 50).pixelColor(25, 25),
                 QColor(127, 63, 255));
        QVERIFY(inside(w)
                    .scene.povText(inside(w).viewer->camera())
                    .contains("\tcolor rgb <0.500000,0.250000,1.000000>\n"));
    }
};

QTEST_MAIN(TestPanels)
#include "tst_Panels.moc"
