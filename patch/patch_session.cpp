#include "patch/patch_session.h"

#include <chrono>

namespace voltina {

namespace {

std::uint64_t steadyMilliseconds() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

std::string number(int index) {
    return std::to_string(index + 1);
}

std::string takenOut(const EngineState& s, int input) {
    if (input < 0 || input >= kJacks || !hasCord(s, input)) return "cord taken out";
    return "cord " + cordText(s.cordSource[input], input) + " taken out";
}

}  // namespace

std::string describeEdit(const Edit& e, const EngineState& s) {
    switch (e.kind) {
        case EditKind::FrequencyKnob:
        case EditKind::TypedFrequency:
        case EditKind::Frequency:
            return "oscillator " + number(e.index) + " frequency";
        case EditKind::WaveType:
            return "oscillator " + number(e.index) + " wave type";
        case EditKind::LevelKnob:
        case EditKind::Level:
            return "mixer channel " + number(e.index) + " level";
        case EditKind::PanKnob:
        case EditKind::Pan:
            return "mixer channel " + number(e.index) + " pan";
        case EditKind::Plug:
            return "cord " + cordText(e.output, e.input);
        case EditKind::UnplugAtInput:
            return takenOut(s, e.input);
        case EditKind::UnplugAtOutput:
            return takenOut(s, e.output >= 0 && e.output < kJacks ? inputFedBy(s, e.output) : kNoCord);
        case EditKind::Sync:
            return "Sync";
        case EditKind::LoadSample:
            return e.patch && !e.patch->samplePath.empty() ? "sample " + fileBaseName(e.patch->samplePath)
                                                           : "sample";
        case EditKind::RemoveSample:
            return "No wave";
        case EditKind::LoadConfiguration:
            return "configuration load";
        case EditKind::Controllers: {
            const ControllerBindings none;
            const ControllerBindings& now = e.patch ? e.patch->controllers : none;
            for (const ControllerBinding& b : now) {
                if (b.cc == e.value)
                    return "MIDI controller " + std::to_string(b.cc) + " → " + controllerTarget(b);
            }
            return "MIDI controller " + std::to_string(e.value) + " forgotten";
        }
        case EditKind::Restore:
            break;
    }
    return "restore";
}

PatchSession::PatchSession(EngineState& state, Clock clock, EditHistory::Limits limits)
    : state_(state), clock_(clock ? std::move(clock) : Clock(steadyMilliseconds)), history_(limits) {}

PanelPatch PatchSession::snapshot() const {
    PanelPatch p = capturePatch(state_, samplePath_);
    p.origin = origin_;
    p.controllers = controllers_;
    return p;
}

EditResult PatchSession::apply(const Edit& edit, const StepGrouping& grouping) {
    return run(snapshot(), edit, grouping);
}

EditResult PatchSession::applySince(const PanelPatch& before, const Edit& edit,
                                    const StepGrouping& grouping) {
    return run(before, edit, grouping);
}

EditResult PatchSession::run(const PanelPatch& before, const Edit& edit, const StepGrouping& grouping) {
    const std::string label = describeEdit(edit, state_);
    const EditResult result = applyEdit(state_, edit);
    if (!result.taken()) return result;
    switch (edit.kind) {
        case EditKind::Controllers:
            if (edit.patch) controllers_ = edit.patch->controllers;
            break;
        case EditKind::LoadConfiguration:
        case EditKind::Restore:
            if (edit.patch) {
                origin_ = edit.patch->origin;
                controllers_ = edit.patch->controllers;
            }
            samplePath_ = edit.patch && state_.waveSample ? edit.patch->samplePath : std::string();
            break;
        case EditKind::LoadSample:
            samplePath_ = edit.patch && state_.waveSample ? edit.patch->samplePath : std::string();
            break;
        case EditKind::RemoveSample:
            samplePath_.clear();
            break;
        default:
            break;
    }
    // Told before the Edit menu is brought up to date: its update sends events, every event may render,
    // and a recorder of the performance must learn the edit at the frame it acted, before any other.
    if (editObserver_) editObserver_(edit);
    if (changesPatch(edit.kind)) {
        history_.record(label, before, snapshot(), grouping, clock_());
        notifyHistory();
    }
    return result;
}

void PatchSession::restore(const PanelPatch& patch) {
    const Edit edit = Edit::restore(patch);
    applyEdit(state_, edit);
    samplePath_ = state_.waveSample ? patch.samplePath : std::string();
    origin_ = patch.origin;
    controllers_ = patch.controllers;
    if (editObserver_) editObserver_(edit);
    notifyHistory();
}

bool PatchSession::undo() {
    const PanelPatch* patch = history_.stepBack();
    if (patch == nullptr) return false;
    restore(*patch);
    return true;
}

bool PatchSession::redo() {
    const PanelPatch* patch = history_.stepForward();
    if (patch == nullptr) return false;
    restore(*patch);
    return true;
}

void PatchSession::markSaved() {
    history_.markSaved();
    notifyHistory();
}

void PatchSession::clearHistory() {
    // The sample goes with the rate, so a patch that had one no longer equals its file.
    history_.clear(false);
    notifyHistory();
}

void PatchSession::notifyHistory() {
    if (historyObserver_) historyObserver_();
}

}  // namespace voltina
