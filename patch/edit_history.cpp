#include "patch/edit_history.h"

#include <algorithm>
#include <vector>

namespace voltina {

void EditHistory::record(const std::string& label, const PanelPatch& before, const PanelPatch& after,
                         const StepGrouping& grouping, std::uint64_t nowMs) {
    if (cursor_ < steps_.size()) {
        steps_.erase(steps_.begin() + static_cast<long>(cursor_), steps_.end());
        if (savedAt_ > static_cast<long>(cursor_)) savedAt_ = -1;
        open_ = false;
    }
    const bool joins = open_ && cursor_ > 0 && !grouping.key.empty() && steps_.back().key == grouping.key &&
                       (grouping.windowMs == 0 || nowMs - steps_.back().lastMs <= grouping.windowMs);
    if (joins) {
        Step& step = steps_.back();
        // The patch saved is no longer the one after this step, nor reachable in its middle.
        if (savedAt_ == static_cast<long>(cursor_)) savedAt_ = -1;
        step.after = after;
        step.label = label;
        step.lastMs = nowMs;
        if (samePatch(step.before, step.after)) {
            // Turned back to where it started: nothing to undo.
            steps_.pop_back();
            --cursor_;
            open_ = false;
        }
        return;
    }
    if (samePatch(before, after)) {
        open_ = false;
        return;
    }
    steps_.push_back({label, before, after, grouping.key, nowMs});
    ++cursor_;
    open_ = !grouping.key.empty();
    while (steps_.size() > limits_.maxSteps ||
           (steps_.size() > 1 && heldSampleBytes() > limits_.maxSampleBytes))
        dropOldest();
}

void EditHistory::dropOldest() {
    steps_.pop_front();
    if (cursor_ > 0) --cursor_;
    if (savedAt_ >= 0) --savedAt_;  // 0 becomes -1: the saved patch was the oldest step's before
}

const PanelPatch* EditHistory::current() const {
    if (cursor_ > 0) return &steps_[cursor_ - 1].after;
    return steps_.empty() ? nullptr : &steps_.front().before;
}

std::size_t EditHistory::heldSampleBytes() const {
    const PanelPatch* now = current();
    const SampleRecord* playing = now ? now->sample.get() : nullptr;
    std::vector<const SampleRecord*> seen;
    std::size_t bytes = 0;
    const auto count = [&](const PanelPatch& p) {
        const SampleRecord* r = p.sample.get();
        if (r == nullptr || r == playing || std::find(seen.begin(), seen.end(), r) != seen.end()) return;
        seen.push_back(r);
        bytes += r->data.size();
    };
    for (const Step& step : steps_) {
        count(step.before);
        count(step.after);
    }
    return bytes;
}

std::string EditHistory::undoLabel() const {
    return canUndo() ? steps_[cursor_ - 1].label : std::string();
}

std::string EditHistory::redoLabel() const {
    return canRedo() ? steps_[cursor_].label : std::string();
}

const PanelPatch* EditHistory::stepBack() {
    open_ = false;
    if (!canUndo()) return nullptr;
    --cursor_;
    return &steps_[cursor_].before;
}

const PanelPatch* EditHistory::stepForward() {
    open_ = false;
    if (!canRedo()) return nullptr;
    ++cursor_;
    return &steps_[cursor_ - 1].after;
}

void EditHistory::clear(bool changed) {
    const bool wasModified = modified();
    steps_.clear();
    cursor_ = 0;
    open_ = false;
    savedAt_ = (wasModified || changed) ? -1 : 0;
}

void EditHistory::markSaved() {
    savedAt_ = static_cast<long>(cursor_);
    open_ = false;
}

}  // namespace voltina
