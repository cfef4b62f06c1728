#include "app/program_parts.h"

#include <QDateTime>

#include "app/recording_save.h"
#include "dialogs/help_window.h"
#include "panel/synth_panel.h"
#include "render/performance_capture.h"

namespace voltina {

ProgramParts::ProgramParts(EngineState& state, PanelAudio& audio, std::function<void(int)> rebuildAudio,
                           MidiInputOptions midiOptions)
    : midi(state, std::move(midiOptions)),
      samples(state, audio),
      rateChange(state, std::move(rebuildAudio)),
      configurations(state, &rateChange, &samples),
      autosave([this] { return capturePanel(); }),
      state_(state) {}

Autosave ProgramParts::capturePanel() const {
    Autosave a;
    a.time = QDateTime::currentSecsSinceEpoch();
    a.origin = configurations.currentFile();
    a.modified = panel_ && panel_->session().modified();
    // The sample by its absolute path: the autosave lives in another folder than its configuration.
    a.configuration = captureConfiguration(state_, state_.rateParam - 1, samples.loadedPath());
    if (panel_) a.configuration.controllers = panel_->session().controllers();
    return a;
}

ProgramWiring ProgramParts::wiring(const std::string& configPath) {
    ProgramWiring w;
    w.services.panelChanged = [this](SynthPanel* panel) {
        panel_ = panel;
        if (panel && performance_)
            panel->session().setEditObserver([this](const Edit& edit) { performance_->edit(edit); });
        samples.setPanel(panel);
        rateChange.setPanel(panel);
        configurations.setPanel(panel);
        if (panel) QObject::connect(panel, &SynthPanel::historyChanged, &autosave, &PanelAutosave::changed);
    };
    w.services.midi = &midi;
    w.services.samples = &samples;
    w.services.saveRecording = [this] {
        saveRecording(
            state_, panel_,
            [this](const std::string& text) {
                if (panel_) panel_->showMessage(text);
            },
            performance_);
    };
    w.services.loadConfiguration = [this] { configurations.loadCommand(); };
    w.services.saveConfiguration = [this] { configurations.saveCommand(); };
    w.services.saveBeforeQuit = [this] { return configurations.saveCommand(); };
    w.services.showHelp = [this] { runHelpWindow(panel_); };
    w.services.rateCommand = [this](int commandId) { rateChange.menuCommand(commandId); };
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
