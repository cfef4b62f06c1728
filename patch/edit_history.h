#pragma once
// The undo history: one step per gesture, each kept as the patch before it and the patch after it, so
// undoing and redoing are edits like any other (a Restore of one of those patches). A step stays open
// for the rest of its gesture (a knob held from press to release, wheel notches close together, a cord
// taken out and plugged elsewhere) and takes in the edits that carry its grouping key.
//
// Bounded: at most maxSteps steps, and the samples that only the history still holds (those a load or
// "No wave" replaced) at most maxSampleBytes together; past either, the oldest steps go.
// Plain C++; the thread that owns the panel.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "patch/panel_patch.h"

namespace voltina {

// How an edit joins the step before it. An empty key makes a step of its own. With a key, the edit
// joins the open step of the same key: always when windowMs is 0 (a held knob, a held cord), or when
// the step's last edit is at most windowMs old (wheel notches).
struct StepGrouping {
    std::string key;
    std::uint64_t windowMs = 0;
};

class EditHistory {
  public:
    struct Limits {
        std::size_t maxSteps = 500;
        std::size_t maxSampleBytes = std::size_t{64} << 20;
    };

    EditHistory() = default;
    explicit EditHistory(Limits limits) : limits_(limits) {}

    // A gesture changed the patch from `before` to `after`. Drops whatever could be redone.
    void record(const std::string& label, const PanelPatch& before, const PanelPatch& after,
                const StepGrouping& grouping, std::uint64_t nowMs);
    // The next edit starts a step of its own, whatever its key.
    void closeStep() { open_ = false; }

    bool canUndo() const { return cursor_ > 0; }
    bool canRedo() const { return cursor_ < steps_.size(); }
    // What Undo and Redo would take back or do again ("oscillator 3 frequency"); empty when nothing.
    std::string undoLabel() const;
    std::string redoLabel() const;
    // One step back (or forward): the patch to restore, or null when there is none.
    const PanelPatch* stepBack();
    const PanelPatch* stepForward();

    // Forgets every step (a rate change restarts the sound and frees the sample). `changed`: whether the
    // patch now differs from the one last loaded or saved.
    void clear(bool changed);
    // The patch as it stands is the one last loaded or saved.
    void markSaved();
    // Whether the patch differs from the one last loaded or saved (undo can come back to it).
    bool modified() const { return savedAt_ != static_cast<long>(cursor_); }

    std::size_t size() const { return steps_.size(); }
    const Limits& limits() const { return limits_; }
    // Sample bytes kept alive by the history beyond the sample that plays now.
    std::size_t heldSampleBytes() const;

  private:
    struct Step {
        std::string label;
        PanelPatch before;
        PanelPatch after;
        std::string key;
        std::uint64_t lastMs = 0;
    };
    void dropOldest();
    const PanelPatch* current() const;

    Limits limits_;
    std::deque<Step> steps_;
    std::size_t cursor_ = 0;  // steps before it are done, steps from it on can be redone
    long savedAt_ = 0;        // the cursor where the patch was last loaded or saved, -1 when out of reach
    bool open_ = false;       // whether the step before the cursor may still take in edits
};

}  // namespace voltina
