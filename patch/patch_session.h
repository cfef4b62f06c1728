#pragma once
// The panel's edits in one place: every gesture reaches the engine here (through applyEdit), is
// recorded in the undo history, and is shown to whoever listens (the panel's menu, a recorder of the
// performance). Undo and redo are Restore edits applied the same way. The session also knows which file
// the playing sample came from, since a configuration names it and undo brings it back.
// Plain C++; GUI thread in the program (the thread that owns the EngineState).

#include <cstdint>
#include <functional>
#include <string>

#include "patch/apply_edit.h"
#include "patch/edit_history.h"

namespace voltina {

class PatchSession {
  public:
    using Clock = std::function<std::uint64_t()>;  // milliseconds, for the wheel's grouping
    using EditObserver = std::function<void(const Edit&)>;

    explicit PatchSession(EngineState& state, Clock clock = {}, EditHistory::Limits limits = {});

    EngineState& state() { return state_; }
    const EngineState& state() const { return state_; }
    // The patch as it stands, with the sample's file and the configuration it came from.
    PanelPatch snapshot() const;
    const std::string& samplePath() const { return samplePath_; }
    // The configuration file the panel came from (or was last saved to): a load sets it, and undo and redo
    // bring back the one that went with the patch they restore.
    const std::string& origin() const { return origin_; }
    void setOrigin(const std::string& path) { origin_ = path; }
    // The MIDI controllers bound to the panel's controls: a learn, a forget, a load, undo and redo set them.
    const ControllerBindings& controllers() const { return controllers_; }

    // Applies a gesture and records it as a step (or as part of the open step of its grouping); one the
    // cord rules refuse changes nothing and is not recorded.
    EditResult apply(const Edit& edit, const StepGrouping& grouping = {});
    // The same for a change that was partly made before the edit could be formed (a sample loader that
    // reads straight into the player): the step goes from `before`.
    EditResult applySince(const PanelPatch& before, const Edit& edit, const StepGrouping& grouping = {});
    // The gesture is over: the next edit starts a step of its own.
    void endGesture() { history_.closeStep(); }

    bool undo();
    bool redo();
    const EditHistory& history() const { return history_; }
    std::string undoLabel() const { return history_.undoLabel(); }
    std::string redoLabel() const { return history_.redoLabel(); }

    // The patch as it stands is the one just loaded from or saved to a file.
    void markSaved();
    bool modified() const { return history_.modified(); }
    // A rate change: the sound restarts, the sample is gone, nothing before can be undone.
    void clearHistory();

    // Told of every edit that reached the engine, gestures, undo and redo alike, after it acted.
    void setEditObserver(EditObserver observer) { editObserver_ = std::move(observer); }
    // Told whenever what Undo and Redo would do, or the modified flag, may have changed.
    void setHistoryObserver(std::function<void()> observer) { historyObserver_ = std::move(observer); }

  private:
    EditResult run(const PanelPatch& before, const Edit& edit, const StepGrouping& grouping);
    void restore(const PanelPatch& patch);
    void notifyHistory();

    EngineState& state_;
    Clock clock_;
    EditHistory history_;
    std::string samplePath_;
    std::string origin_;
    ControllerBindings controllers_;
    EditObserver editObserver_;
    std::function<void()> historyObserver_;
};

// The step's name in the Edit menu ("oscillator 3 frequency", "cord 404 → 301"), from the state the edit
// acts on.
std::string describeEdit(const Edit& edit, const EngineState& before);

}  // namespace voltina
