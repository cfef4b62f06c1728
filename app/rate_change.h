#pragma once
// A change of the sample rate, whether it comes from the menu (904..906), a configuration load or an
// autosave restore. What depends on the rate goes first (the sound, the MIDI input, the sample, the undo
// history), the audio is rebuilt, and the panel comes back as it was: playing if it played, listening to
// the keyboard if it listened, with the new rate ticked.
// GUI thread only.

#include <functional>
#include <string>

#include "engine/engine_state.h"

namespace voltina {

class SynthPanel;

constexpr const char* kRate22050Question =
    "If your computer is not fast enough for 22050, Voltina may hang. Continue ?";
constexpr const char* kRate44100Question =
    "If your computer is not fast enough for 44100, Voltina may hang. Continue ?";

// What the change takes away, said under the question; empty when it takes nothing. A configuration load
// brings its own sample, so only the history is at stake there.
std::string rateChangeCost(bool sampleLoaded, bool historyKept, bool forLoad);

class RateChange {
  public:
    // `rebuild` stops the sound and builds the tables, the ring and the device for a rateParam (11026,
    // 22051 or 44101), falling back on the rate it had when that fails.
    RateChange(EngineState& state, std::function<void(int rateParam)> rebuild);
    // The panel whose services, box and menu the change uses; null while there is none.
    void setPanel(SynthPanel* panel) { panel_ = panel; }

    // Menu 904..906. A rate already playing changes nothing.
    void menuCommand(int commandId);
    // Whether a change to `rateParam` may go ahead: 22050 and 44100 ask first, with what the change costs;
    // 11025 and the rate playing now ask nothing.
    bool confirm(int rateParam, bool forLoad);
    // The change itself, asking nothing. The rate the panel shows afterwards is the one the audio plays
    // (the old one when the new one could not be built).
    void change(int rateParam);

  private:
    EngineState& state_;
    std::function<void(int)> rebuild_;
    SynthPanel* panel_ = nullptr;
};

}  // namespace voltina
