#include "app/SceneUndo.h"

SceneStateCommand::SceneStateCommand(SceneUndoHost* host, const QString& name,
                                     const QString& mergeKey, PovSceneState before,
                                     PovSceneState after)
    : QUndoCommand(name), host(host), key(mergeKey), before(std::move(before)),
      after(std::move(after))
{
}

void SceneStateCommand::apply(const PovSceneState& state)
{
    host->inContext([this, &state]() { state.applyTo(*host->scene); });
    host->changed(false);
}

void SceneStateCommand::undo()
{
    apply(before);
    done = false;
}

void SceneStateCommand::redo()
{
    if (!done) {
        apply(after);
    }
    done = true;
}

bool SceneStateCommand::mergeWith(const QUndoCommand* other)
{
    const auto* next = dynamic_cast<const SceneStateCommand*>(other);
    if (!next || next->key != key) {
        return false;
    }
    after = next->after;
    return true;
}

SceneFileCommand::SceneFileCommand(SceneUndoHost* host, const QString& name, int file, bool adds,
                                   std::unique_ptr<PovFileContent> taken)
    : QUndoCommand(name), host(host), file(file), adds(adds), content(std::move(taken))
{
}

SceneFileCommand::~SceneFileCommand()
{
    if (content) {
        host->inContext([this]() { content.reset(); });
    }
}

void SceneFileCommand::put()
{
    host->inContext([this]() { host->scene->putFile(file, std::move(content)); });
    host->changed(true);
}

void SceneFileCommand::take()
{
    host->inContext([this]() { content = host->scene->takeFile(file); });
    host->changed(true);
}

void SceneFileCommand::undo()
{
    if (adds) {
        take();
    } else {
        put();
    }
    done = false;
}

void SceneFileCommand::redo()
{
    if (!done) {
        if (adds) {
            put();
        } else {
            take();
        }
    }
    done = true;
}

SceneModelCommand::SceneModelCommand(SceneUndoHost* host, const QString& name, int index,
                                     LnModel* other, int otherSteps)
    : QUndoCommand(name), host(host), index(index), other(other), otherSteps(otherSteps)
{
}

SceneModelCommand::~SceneModelCommand()
{
    if (other) {
        host->inContext([this]() { delete other; });
    }
}

void SceneModelCommand::exchange()
{
    const int steps = host->scene->subdivisions(index);
    other = host->scene->exchangeModel(index, other, otherSteps);
    otherSteps = steps;
    host->changed(true);
}

void SceneModelCommand::redo()
{
    if (!done) {
        exchange();
    }
    done = true;
}
