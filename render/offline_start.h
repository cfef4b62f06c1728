#pragma once
// How an engine without a sound card begins: the configuration, the tables of its rate, its sample and
// the sound coming on. voltina-render and the LV2 plugin start from here, so the plugin's frames equal
// the renderer's. Plain C++ over the engine, the configuration and the WAV reader; the thread that owns
// the state.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "engine/engine_state.h"

namespace voltina {

// The Wave player's sample an engine starts with.
struct StartSample {
    std::string name;  // the file; empty: no sample
    // The file's bytes as read already (the plugin's state brings them back); null: the file is read.
    const std::vector<std::uint8_t>* bytes = nullptr;
};

// An engine started as voltina-render and the plugin start one: `configuration`'s settings (null: the
// start-up patch), the MIDI input open or not, the tables of `rate` (11025, 22050 or 44100), the sample,
// then the sound on (startSoundOffline). Its frames are pulled with renderFrames. Null with the reason
// in `error` when the configuration or the sample is refused (a sample's reason starts with its name).
std::unique_ptr<EngineState> startEngine(const Configuration* configuration, int rate, int stereoOut,
                                         bool midiOpen, const StartSample& sample, std::string& error);

// The tables for a rate, as the audio layer builds them. No ring: nothing plays one.
void prepareAudioTables(EngineState& s, int rateParam, int stereoOut);

// What happens when the sound first comes on: the start-up refresh derives every oscillator and
// restarts them, then the speaker switch restarts them again and starts the sound.
void startSoundOffline(EngineState& s);

// A take's performance goes on from its start state as it stands: the sound on, nothing restarted.
void resumeSoundOffline(EngineState& s);

}  // namespace voltina
