#pragma once
// How a render without a sound card begins: the tables and the ring for a rate, and the sound coming on.
// voltina-render and the LV2 plugin start from here, so the plugin's frames equal the renderer's.
// Plain C++ over the engine alone; the thread that owns the state.

#include <cstdint>

#include "engine/engine_state.h"
#include "engine/render_block.h"

namespace voltina {

// Tables and ring for a rate, as the audio layer builds them (the ring as after a rate change, except
// at the start-up rate, where it keeps its start-up length).
void prepareAudioTables(EngineState& s, int rateParam, int stereoOut);

// What happens when the sound first comes on: the start-up refresh derives every oscillator and
// restarts them, then the speaker switch silences the ring, restarts them again and starts the sound.
void startSoundOffline(EngineState& s);

// A take's performance goes on from its start state as it stands: the ring silenced and the sound on,
// nothing restarted.
void resumeSoundOffline(EngineState& s);

// A device that has played exactly as far as its owner says: `position` frames. It never fails, so the
// render loop never stops it; a message, which only a failure would bring, goes nowhere.
class ScriptedDevice : public RenderHost {
  public:
    bool deviceOpen() const override { return true; }
    bool readPlayPosition(std::uint64_t& frames) override {
        frames = position;
        return true;
    }
    void stopRenderTimer() override {}
    void closeDevice() override {}
    void showMessage(const char*) override {}

    std::uint64_t position = 0;
};

}  // namespace voltina
