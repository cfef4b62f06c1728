#pragma once
// The program's own services behind the panel: the MIDI keyboard, the Wave player's sample, the
// recording's save, the configuration menu, the help window, and the configuration given on the command
// line.
// GUI thread only. Made after the application object and before the main window, and outlives it.

#include <functional>
#include <string>

#include "app/configuration_files.h"
#include "app/panel_autosave.h"
#include "app/program.h"
#include "app/program_midi.h"
#include "app/program_samples.h"
#include "app/rate_change.h"

namespace voltina {

class PerformanceCapture;

class PanelAudio;
class SynthPanel;

class ProgramParts {
  public:
    // `rebuildAudio` stops the sound and rebuilds the audio for a rateParam (AudioSystem::changeRate); the
    // rest of a rate change is `rateChange`'s.
    ProgramParts(EngineState& state, PanelAudio& audio, std::function<void(int rateParam)> rebuildAudio,
                 MidiInputOptions midiOptions);

    // The panel's services; with a `configPath`, the panel starts with that configuration.
    ProgramWiring wiring(const std::string& configPath = {});
    // Every edit of the panel and every MIDI message go to `capture` too, and the recording is saved
    // with its performance. Before the panel is made.
    void capturePerformances(PerformanceCapture& capture);
    // The playing sample's file, as the panel's session knows it ("" without a panel).
    std::string samplePath() const;

    ProgramMidi midi;
    ProgramSamples samples;
    RateChange rateChange;
    ConfigurationFiles configurations;
    // Started by the program (main) once it knows where; the panel's changes reach it from the start.
    PanelAutosave autosave;

  private:
    Autosave capturePanel() const;

    EngineState& state_;
    SynthPanel* panel_ = nullptr;
    PerformanceCapture* performance_ = nullptr;
};

}  // namespace voltina
