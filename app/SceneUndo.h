#pragma once
// The window's undoable edits of the scene, as QUndoCommands.
//
// A command is made after its edit has been made to the scene: its first
// redo(), which QUndoStack::push calls, does nothing.

#include "scene/PovSceneState.h"

#include <QUndoCommand>

#include <functional>
#include <memory>

// What the commands need of the window: its scene, a way to run a change
// with the view's OpenGL context current (display lists are built and
// deleted), and a call after each undo or redo.
struct SceneUndoHost {
    PovScene* scene = nullptr;
    std::function<void(const std::function<void()>&)> inContext;
    // `structure`: models were added, removed or replaced, so model indices
    // have changed.
    std::function<void(bool structure)> changed;
};

// An edit that adds or removes no model: materials, lights, lighting,
// ambient, ground, shading, placement. Consecutive commands with the same
// non-empty merge key become one step (the signals of one drag, of typing
// a number, of one control moved).
class SceneStateCommand : public QUndoCommand {
public:
    SceneStateCommand(SceneUndoHost* host, const QString& name, const QString& mergeKey,
                      PovSceneState before, PovSceneState after);
    void undo() override;
    void redo() override;
    int id() const override { return key.isEmpty() ? -1 : 1; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    void apply(const PovSceneState& state);
    SceneUndoHost* host;
    QString key;
    PovSceneState before, after;
    bool done = true;
};

// A file's models added to the scene (Import, Duplicate) or taken out of
// it (Remove). The command holds the file's part while it is out of the
// scene.
class SceneFileCommand : public QUndoCommand {
public:
    // For a removal, `taken` is what the scene's takeFile gave.
    SceneFileCommand(SceneUndoHost* host, const QString& name, int file, bool adds,
                     std::unique_ptr<PovFileContent> taken = nullptr);
    ~SceneFileCommand() override;
    void undo() override;
    void redo() override;

private:
    void put();
    void take();
    SceneUndoHost* host;
    int file;
    bool adds;
    bool done = true;
    std::unique_ptr<PovFileContent> content;
};

// A model exchanged for another (a subdivided copy): undo and redo swap
// them back.
class SceneModelCommand : public QUndoCommand {
public:
    SceneModelCommand(SceneUndoHost* host, const QString& name, int index, LnModel* other,
                      int otherSteps);
    ~SceneModelCommand() override;
    void undo() override
    {
        exchange();
        done = false;
    }
    void redo() override;

private:
    void exchange();
    SceneUndoHost* host;
    int index;
    LnModel* other;
    int otherSteps;
    bool done = true;
};
