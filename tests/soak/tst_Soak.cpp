// A long random run of user actions on the real main window: opening the
// samples and real files, picking in the view, materials, lights, lighting,
// subdivision, the view's toggles, renders started and cancelled, documents
// saved and reopened, the window closed with its question answered each
// way. Every dialog the window asks is answered at random as well. The run
// is given by its seed: the same seed makes the same choices, so a failure
// can be replayed; each step is printed before it runs.
//
//   tst_Soak [--seed N] [--seconds S] [--steps N]
//
// (or KELVANE_SOAK_SEED, KELVANE_SOAK_SECONDS, KELVANE_SOAK_STEPS). Without
// a seed one is made from the clock. The run ends after S seconds (default
// 60) or N steps, whichever comes first. It fails on a broken invariant; the
// sanitizers stop it on a memory or undefined-behaviour fault.

#include "app/MainWindow.h"
#include "tests/support/Drag.h"
#include "tests/support/MainWindowAccess.h"
#include "tests/support/PovrayChildren.h"
#include "viewer/GLViewer.h"

#include <QGLViewer/camera.h>

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDateTime>
#include <QDirIterator>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>

#include <dlfcn.h>
#include <link.h>

namespace {

class Soak;

// One thing a user does, with how often it is chosen.
struct Action {
    const char* name;
    int weight;
    void (*run)(Soak&);
};

class Soak {
public:
    Soak(quint32 seed, const QStringList& files) : random(seed), files(files), unopened(files)
    {
        // Every file once, in an order of the seed's, before any at random.
        for (int i = unopened.size() - 1; i > 0; --i) {
            unopened.swapItemsAt(i, below(i + 1));
        }
        // Dialogs run by exec() are answered from inside their own loop.
        answering.setInterval(15);
        QObject::connect(&answering, &QTimer::timeout, [this]() { answerDialog(); });
        answering.start();
        newWindow();
    }

    ~Soak()
    {
        answering.stop();
        delete w;
    }

    // A number in [0, n).
    int below(int n) { return n > 0 ? int(random() % quint32(n)) : 0; }
    bool chance(int percent) { return below(100) < percent; }
    double between(double low, double high) { return low + (high - low) * (random() / 4294967296.0); }

    // Stops the run: what broke, and how to see it again.
    [[noreturn]] void fail(const QString& what)
    {
        std::printf("soak: FAILED at step %d (%s): %s\n", step, action, qPrintable(what));
        std::fflush(stdout);
        std::_Exit(1);
    }

    void newWindow()
    {
        w = new MainWindow;
        w->resize(800, 600);
        w->show();
        if (!QTest::qWaitForWindowExposed(w)) {
            fail(QStringLiteral("the window was not shown"));
        }
        // Small pictures keep the renders short.
        inside(w).renderSettings.useViewSize = false;
        inside(w).renderSettings.size = QSize(96, 72);
    }

    // The window's own checks of itself after every action.
    void check()
    {
        MainWindowTestAccess in = inside(w);
        const int models = in.scene.modelCount();
        if (in.selectedModel < -1 || in.selectedModel >= models) {
            fail(QStringLiteral("model %1 selected of %2").arg(in.selectedModel).arg(models));
        }
        const int lights = int(in.scene.lights.size());
        if (in.selectedLight < -1 || in.selectedLight >= lights) {
            fail(QStringLiteral("light %1 selected of %2").arg(in.selectedLight).arg(lights));
        }
        if (in.viewer->selectedModel >= models || in.viewer->selectedLight >= lights) {
            fail(QStringLiteral("the view selects model %1, light %2 of %3 and %4")
                     .arg(in.viewer->selectedModel)
                     .arg(in.viewer->selectedLight)
                     .arg(models)
                     .arg(lights));
        }
        const bool starred = w->windowTitle().endsWith(QLatin1Char('*'));
        if (starred != (w->isModified() && w->hasScene())) {
            fail(QStringLiteral("title \"%1\" for a scene %2").arg(
                w->windowTitle(), w->isModified() ? "with changes" : "without changes"));
        }
    }

    // Closes what the window opened without waiting (error boxes and
    // notes shown with open()), as a user reading them would.
    void closeOpenedBoxes()
    {
        const QList<QMessageBox*> boxes = w->findChildren<QMessageBox*>();
        for (QMessageBox* box : boxes) {
            if (box->isVisible() && box->windowModality() == Qt::WindowModal) {
                std::printf("soak:   %s: %s %s\n", qPrintable(box->objectName()),
                            qPrintable(box->text()), qPrintable(box->informativeText()));
                box->done(QMessageBox::Ok);
            }
        }
    }

    // Draws once, so the camera's matrices are those of the current view.
    void drawn()
    {
        GLViewer* viewer = inside(w).viewer;
        const int before = viewer->drawCount();
        viewer->update();
        QElapsedTimer clock;
        clock.start();
        while (viewer->drawCount() == before && clock.elapsed() < 2000) {
            QTest::qWait(5);
        }
    }

    // Where a point of the scene appears in the view.
    QPoint project(const vec& p)
    {
        const qglviewer::Vec s =
            inside(w).viewer->camera()->projectedCoordinatesOf(qglviewer::Vec(p[0], p[1], p[2]));
        return QPoint(int(s.x + 0.5), int(s.y + 0.5));
    }

    // A place to click: on a light, near the middle of the scene, or
    // anywhere in the view.
    QPoint target()
    {
        MainWindowTestAccess in = inside(w);
        const QRect area = in.viewer->rect();
        const int lights = int(in.scene.lights.size());
        if (lights > 0 && in.ui.actionShow_Lights->isChecked() && chance(40)) {
            return project(in.scene.lights[size_t(below(lights))].position);
        }
        if (w->hasScene() && chance(60)) {
            vec c;
            float r;
            in.scene.bounds(c, r);
            const vec off(float(between(-0.3, 0.3)), float(between(-0.3, 0.3)),
                          float(between(-0.3, 0.3)));
            return project(c + off * r);
        }
        return QPoint(below(area.width()), below(area.height()));
    }

    void answerDialog()
    {
        if (QThread::currentThread()->loopLevel() == 0) {
            return; // not yet (or no longer) in the dialog's own loop
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) {
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            QList<QAbstractButton*> buttons = box->buttons();
            if (box->objectName() == QLatin1String("unsavedChangesBox")) {
                // Save, Discard and Cancel each as often.
                const QMessageBox::StandardButton answers[] = {
                    QMessageBox::Save, QMessageBox::Discard, QMessageBox::Cancel};
                const QMessageBox::StandardButton answer = answers[below(3)];
                std::printf("soak:   unsaved changes: %s\n",
                            answer == QMessageBox::Save      ? "Save"
                            : answer == QMessageBox::Discard ? "Discard"
                                                             : "Cancel");
                box->button(answer)->click();
                return;
            }
            QAbstractButton* button = buttons.value(below(buttons.size()));
            std::printf("soak:   %s \"%s\": %s\n", qPrintable(box->objectName()),
                        qPrintable(box->text()), button ? qPrintable(button->text()) : "closed");
            if (button) {
                button->click();
            } else {
                box->reject();
            }
            return;
        }
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!edit || chance(20)) {
                std::printf("soak:   file dialog: cancelled\n");
                dialog->reject();
                return;
            }
            const QString name = folder.filePath(QStringLiteral("asked-%1.kelvane").arg(step));
            std::printf("soak:   file dialog: %s\n", qPrintable(name));
            edit->setText(name);
            QTest::keyClick(edit, Qt::Key_Return);
            if (!files.contains(name)) {
                files << name;
            }
            return;
        }
        if (auto* dialog = qobject_cast<QColorDialog*>(modal)) {
            if (chance(20)) {
                dialog->reject();
                return;
            }
            dialog->setCurrentColor(QColor(below(256), below(256), below(256)));
            dialog->accept();
            return;
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            std::printf("soak:   %s: closed\n", modal->metaObject()->className());
            dialog->reject();
        }
    }

    std::mt19937 random;
    MainWindow* w = nullptr;
    QStringList files;    // models and documents to open
    QStringList unopened; // those not opened yet
    QTemporaryDir folder; // the documents the run saves
    QTimer answering;
    int step = 0;
    const char* action = "start";
};

// Double-click on a model, a light or the background.
void pick(Soak& s)
{
    s.drawn();
    const QPoint at = s.target();
    std::printf("soak:   at (%d, %d)\n", at.x(), at.y());
    if (inside(s.w).viewer->rect().contains(at)) {
        QTest::mouseDClick(inside(s.w).viewer, Qt::LeftButton, Qt::NoModifier, at);
    }
}

// A left drag: moves the selected light when it starts on it, else turns
// the camera.
void drag(Soak& s)
{
    s.drawn();
    GLViewer* viewer = inside(s.w).viewer;
    const QPoint from = s.target();
    const QPoint step(s.below(41) - 20, s.below(41) - 20);
    const int moves = 1 + s.below(8);
    dragLeft(viewer, from, step, moves);
}

// Sets the dock's number fields and choices at random.
void fillIn(Soak& s, QWidget* dock)
{
    const QList<QDoubleSpinBox*> reals = dock->findChildren<QDoubleSpinBox*>();
    for (QDoubleSpinBox* box : reals) {
        if (box->isEnabled() && s.chance(40)) {
            box->setValue(s.between(box->minimum(), box->maximum()));
        }
    }
    const QList<QSpinBox*> whole = dock->findChildren<QSpinBox*>();
    for (QSpinBox* box : whole) {
        if (box->isEnabled() && s.chance(40)) {
            box->setValue(box->minimum() + s.below(box->maximum() - box->minimum() + 1));
        }
    }
    const QList<QSlider*> sliders = dock->findChildren<QSlider*>();
    for (QSlider* slider : sliders) {
        if (slider->isEnabled() && s.chance(40)) {
            slider->setValue(slider->minimum() + s.below(slider->maximum() - slider->minimum() + 1));
        }
    }
    const QList<QComboBox*> choices = dock->findChildren<QComboBox*>();
    for (QComboBox* box : choices) {
        if (box->isEnabled() && box->count() > 0 && s.chance(30)) {
            box->setCurrentIndex(s.below(box->count()));
        }
    }
    const QList<QRadioButton*> radios = dock->findChildren<QRadioButton*>();
    if (!radios.isEmpty() && s.chance(30)) {
        QRadioButton* radio = radios[s.below(radios.size())];
        if (radio->isEnabled()) {
            radio->click();
        }
    }
}

// The material dock of the picked model: fields, a colour, Update.
void material(Soak& s)
{
    MainWindowTestAccess in = inside(s.w);
    if (in.selectedModel < 0) {
        pick(s);
        return;
    }
    fillIn(s, in.ui.materialDockWidget);
    if (s.chance(20) && in.ui.pigmentColorButton->isEnabled()) {
        in.ui.pigmentColorButton->click(); // a colour dialog, answered
    }
    if (in.ui.actionUpdate_Texture->isEnabled()) {
        in.ui.actionUpdate_Texture->trigger();
    }
}

// The light dock of the picked light: fields, a colour, Update.
void editLight(Soak& s)
{
    MainWindowTestAccess in = inside(s.w);
    if (in.selectedLight < 0) {
        in.ui.actionShow_Lights->setChecked(true);
        pick(s);
        return;
    }
    fillIn(s, in.ui.lightDockWidget);
    if (s.chance(20) && in.ui.lightColorButton->isEnabled()) {
        in.ui.lightColorButton->click();
    }
    if (in.ui.actionUpdate_Light->isEnabled()) {
        in.ui.actionUpdate_Light->trigger();
    }
}

void trigger(QAction* action)
{
    if (action->isEnabled()) {
        action->trigger();
    }
}

void addLight(Soak& s) { trigger(inside(s.w).ui.actionAdd_Light); }
void removeLight(Soak& s) { trigger(inside(s.w).ui.actionRemove_Light); }

void lighting(Soak& s)
{
    MainWindowTestAccess in = inside(s.w);
    (s.chance(50) ? in.ui.actionLighting_Outdoor : in.ui.actionLighting_Indoor)->setChecked(true);
}

// Subdivides the picked smooth model while the scene stays of a size the
// run can afford.
void subdivide(Soak& s)
{
    MainWindowTestAccess in = inside(s.w);
    if (in.scene.triangleCount() < 60000) {
        trigger(in.ui.actionSubdivide);
    }
}

// One of the view's switches.
void toggle(Soak& s)
{
    Ui::MainWindow& ui = inside(s.w).ui;
    QAction* const switches[] = {ui.actionSmooth_Shading,   ui.actionWireframe,
                                 ui.actionShow_Feature_Lines, ui.actionShow_Lights,
                                 ui.actionShow_Ground_Plane, ui.actionTrackball,
                                 ui.actionColours_from_File};
    QAction* chosen = switches[s.below(int(std::size(switches)))];
    std::printf("soak:   %s\n", qPrintable(chosen->objectName()));
    trigger(chosen);
}

// Starts a render (real POV-Ray); sometimes lets it finish.
void render(Soak& s)
{
    MainWindowTestAccess in = inside(s.w);
    trigger(in.ui.actionRender_Full_Size);
    const bool waitForIt = s.chance(30); // drawn whatever happened, so replays agree
    if (in.renderThread.isRunning() && waitForIt) {
        QElapsedTimer clock;
        clock.start();
        while (in.renderThread.isRunning() && clock.elapsed() < 20000) {
            QTest::qWait(20);
        }
    }
}

// Cancels the render under way after a moment, as Escape does.
void cancelRender(Soak& s)
{
    MainWindowTestAccess in = inside(s.w);
    trigger(in.ui.actionRender_Full_Size); // disabled while a render runs
    QTest::qWait(s.below(300));
    trigger(in.cancelRenderAction);
}

// The POV-Ray scene in the editor.
void preview(Soak& s) { trigger(inside(s.w).ui.actionPreview_POV_Ray_Scene); }

// Opens the next file not yet opened, or any file, through the File menu's
// path (the unsaved-changes question first).
void open(Soak& s)
{
    const QString file =
        !s.unopened.isEmpty() ? s.unopened.takeFirst() : s.files.value(s.below(s.files.size()));
    std::printf("soak:   %s\n", qPrintable(file));
    s.w->openScene(file);
}

// Saves the scene as a document of the run's (reopened later), or through
// Save, which asks for a name the first time.
void save(Soak& s)
{
    if (!s.w->hasScene()) {
        return;
    }
    if (s.chance(50)) {
        trigger(inside(s.w).ui.actionSave_Scene);
        return;
    }
    const QString name = s.folder.filePath(QStringLiteral("saved-%1.kelvane").arg(s.step));
    std::printf("soak:   %s\n", qPrintable(name));
    if (s.w->saveDocument(name)) {
        s.files << name;
    }
}

// Closes the window (the question answered at random); a closed window
// leaves nothing behind, and the user starts a new one.
void closeWindow(Soak& s)
{
    const QString work = inside(s.w).workFolder.path();
    if (!s.w->close()) {
        return; // Cancel, or a Save that was not done
    }
    delete s.w;
    s.w = nullptr;
    if (QFileInfo::exists(work)) {
        s.fail(QStringLiteral("the closed window left its working folder %1").arg(work));
    }
    s.newWindow();
}

// The user waits a moment (renders go on, autosave runs).
void wait(Soak& s) { QTest::qWait(s.below(400)); }

// Takes the last edit back, or does it again (Edit > Undo, Redo).
void undoRedo(Soak& s)
{
    const bool back = s.chance(65);
    std::printf("soak:   %s\n", back ? "undo" : "redo");
    if (QAction* action = s.w->findChild<QAction*>(back ? "actionUndo" : "actionRedo")) {
        trigger(action);
    }
}

// Composes the scene: imports a file, or moves, drops, centres,
// duplicates or removes the selected model's file.
void compose(Soak& s)
{
    MainWindowTestAccess in = inside(s.w);
    const int what = s.below(6);
    const QString file = s.files.value(s.below(s.files.size()));
    const bool small = in.scene.triangleCount() < 200000; // keeps the renders short
    if (what == 0 || !s.w->hasScene()) {
        if (small) {
            std::printf("soak:   import %s\n", qPrintable(file));
            s.w->importModelFile(file);
        }
        return;
    }
    if (in.selectedModel < 0) {
        pick(s);
        return;
    }
    if (what == 5) {
        std::printf("soak:   move mode drag\n");
        QAction* move = s.w->findChild<QAction*>("actionMove_Mode");
        if (move && move->isEnabled()) {
            move->setChecked(true);
            drag(s);
            move->setChecked(false);
        }
        return;
    }
    const char* const names[] = {"actionDrop_to_Ground", "actionCentre_on_Origin",
                                 "actionDuplicate", "actionRemove"};
    std::printf("soak:   %s\n", names[what - 1]);
    QAction* action = s.w->findChild<QAction*>(names[what - 1]);
    if (action && (what != 3 || small)) {
        trigger(action);
    }
}

// What users do, and how often. A new command of the window is one more
// entry here.
const Action actions[] = {
    {"open", 6, open},
    {"pick", 10, pick},
    {"drag", 6, drag},
    {"material", 6, material},
    {"light", 5, editLight},
    {"add light", 3, addLight},
    {"remove light", 3, removeLight},
    {"lighting", 3, lighting},
    {"subdivide", 2, subdivide},
    {"toggle", 8, toggle},
    {"render", 3, render},
    {"cancel render", 3, cancelRender},
    {"preview", 1, preview},
    {"save", 3, save},
    {"close", 2, closeWindow},
    {"wait", 4, wait},
    {"undo", 5, undoRedo},
    {"compose", 4, compose},
};

const Action& choose(Soak& s)
{
    int total = 0;
    for (const Action& a : actions) {
        total += a.weight;
    }
    int n = s.below(total);
    for (const Action& a : actions) {
        if (n < a.weight) {
            return a;
        }
        n -= a.weight;
    }
    return actions[0];
}

// The files the run opens: copies of the samples in `folder` (Save writes
// an opened document back where it came from), and a few small real model
// files of each kind from the shared data when it is there.
QStringList filesToOpen(quint32 seed, const QString& folder)
{
    QStringList files;
    const QDir samples(QStringLiteral(KELVANE_SOURCE_DIR "/samples"));
    for (const QString& name : samples.entryList(QDir::Files, QDir::Name)) {
        const QString copy = QDir(folder).filePath(name);
        if (!QFile::copy(samples.filePath(name), copy) ||
            !QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner)) {
            std::printf("soak: cannot copy the sample %s to %s\n", qPrintable(name),
                        qPrintable(folder));
            std::exit(2);
        }
        files << copy;
    }
    const QDir shared(QStringLiteral(KELVANE_SOURCE_DIR "/../shared/data"));
    if (!shared.exists()) {
        std::printf("soak: %s is absent: only the samples are opened\n",
                    qPrintable(shared.absolutePath()));
        return files;
    }
    const QStringList kinds = shared.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    std::mt19937 random(seed);
    for (const QString& kind : kinds) {
        QStringList found;
        QDirIterator it(shared.filePath(kind),
                        {"*.npr", "*.off", "*.ply", "*.obj", "*.dae", "*.kmz", "*.stl", "*.gltf",
                         "*.glb", "*.3ds", "*.fbx", "*.3mf"},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (QFileInfo(file).size() < 300 * 1024) {
                found << file;
            }
        }
        found.sort();
        for (int i = 0; i < 2 && !found.isEmpty(); ++i) {
            files << found.takeAt(int(random() % quint32(found.size())));
        }
    }
    return files;
}

// Keeps every library loaded now loaded to the end of the process, so the
// leak check at exit can name the library a leak comes from (Qt's plugins
// and the OpenGL driver are otherwise unloaded before it runs).
void keepLibrariesLoaded()
{
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            if (info->dlpi_name && info->dlpi_name[0]) {
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            }
            return 0;
        },
        nullptr);
}

// A whole number from the arguments ("--name N") or else the environment.
qint64 option(const QStringList& arguments, const QString& name, const char* variable,
              qint64 fallback)
{
    const int at = arguments.indexOf(name);
    QString text = at >= 0 ? arguments.value(at + 1) : qEnvironmentVariable(variable);
    if (text.isEmpty()) {
        return fallback;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < 0) {
        std::fprintf(stderr, "tst_Soak: %s takes a whole number, not '%s'\n", qPrintable(name),
                     qPrintable(text));
        std::exit(2);
    }
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    // Settings, recent files and recovery copies in a folder of the run's.
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each line out before a sanitizer stops the run
    QTemporaryDir home;
    qputenv("XDG_STATE_HOME", home.filePath(QStringLiteral("state")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false); // the run opens a new window itself
    QCoreApplication::setOrganizationName(QStringLiteral("KelvaneTests"));
    QCoreApplication::setApplicationName(QStringLiteral("Soak"));
    QSettings().setValue(QStringLiteral("autosaveSeconds"), 1);

    const QStringList arguments = QCoreApplication::arguments();
    const quint32 seed = quint32(option(arguments, QStringLiteral("--seed"), "KELVANE_SOAK_SEED",
                                        QDateTime::currentMSecsSinceEpoch() % 1000000));
    const qint64 seconds =
        option(arguments, QStringLiteral("--seconds"), "KELVANE_SOAK_SECONDS", 60);
    const qint64 steps = option(arguments, QStringLiteral("--steps"), "KELVANE_SOAK_STEPS", 0);
    std::printf("soak: seed %u, %lld s%s (replay: tst_Soak --seed %u)\n", seed, seconds,
                steps ? qPrintable(QStringLiteral(", at most %1 steps").arg(steps)) : "", seed);
    std::fflush(stdout);

    QTemporaryDir samples;
    Soak soak(seed, filesToOpen(seed, samples.path()));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000 && (steps == 0 || soak.step < steps)) {
        ++soak.step;
        const Action& action = choose(soak);
        soak.action = action.name;
        std::printf("soak: step %d: %s\n", soak.step, action.name);
        std::fflush(stdout);
        action.run(soak);
        QCoreApplication::processEvents();
        soak.closeOpenedBoxes();
        soak.check();
    }

    // The end: the window closes without a question left, its renderer
    // and working folder go with it.
    soak.action = "end";
    const QString work = inside(soak.w).workFolder.path();
    soak.w->setModified(false);
    if (!soak.w->close()) {
        soak.fail(QStringLiteral("the window would not close"));
    }
    delete soak.w;
    soak.w = nullptr;
    if (QFileInfo::exists(work)) {
        soak.fail(QStringLiteral("the closed window left its working folder %1").arg(work));
    }
    QElapsedTimer reaped;
    reaped.start();
    while (!povrayChildren().isEmpty() && reaped.elapsed() < 5000) {
        QTest::qWait(50);
    }
    if (!povrayChildren().isEmpty()) {
        soak.fail(QStringLiteral("POV-Ray processes left: %1").arg(povrayChildren().join(' ')));
    }
    keepLibrariesLoaded();
    std::printf("soak: %d steps in %.0f s, nothing found\n", soak.step, clock.elapsed() / 1000.0);
    return 0;
}
