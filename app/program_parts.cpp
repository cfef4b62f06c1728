#include "app/program_parts.h"

#include "app/recording_save.h"
#include "dialogs/dialog_context.h"
#include "dialogs/help_window.h"
#include "panel/synth_panel.h"
#include "render/performance_capture.h"

namespace voltina {

ProgramParts::ProgramParts(EngineState& state, PanelAudio& audio, std::function<void(int)> changeRate,
                           MidiInputOptions midiOptions)
    : midi(state, std::move(midiOptions)),
      samples(state, audio),
      configurations(state, std::move(changeRate), &samples),
      state_(state) {}

ProgramWiring ProgramParts::wiring(const std::string& configPath) {
    ProgramWiring w;
    w.services.panelChanged = [this](SynthPanel* panel) {
        panel_ = panel;
        if (panel && performance_)
            panel->session().setEditObserver([this](const Edit& edit) { performance_->edit(edit); });
        samples.setPanel(panel);
        configurations.setPanel(panel);
    };
    w.services.midi = &midi;
    w.services.samples = &samples;
    w.services.saveRecording = [this] {
        saveRecording(
            state_, dialogOwner(),
            [this](const std::string& text) {
                if (panel_) panel_->showMessage(text);
            },
            performance_);
    };
    w.services.loadConfiguration = [this] { configurations.loadCommand(); };
    w.services.saveConfiguration = [this] { configurations.saveCommand(); };
    w.services.showHelp = [] { runHelpWindow(dialogOwner()); };
    if (!configPath.empty()) w.startup = configurations.startupPatch(configPath);
    return w;
}

void ProgramParts::capturePerformances(PerformanceCapture& capture) {
    performance_ = &capture;
    midi.setHeard([this](std::uint32_t packed) { performance_->midi(packed); });
}

std::string ProgramParts::samplePath() const {
    return panel_ ? panel_->session().samplePath() : std::string();
}

}  // namespace voltina
