#pragma once
// Rendering without a sound card: the play position is advanced by the renderer itself, and the frames
// come out exactly as the recording of a live run would receive them.

#include <cstdint>
#include <vector>

#include "engine/engine_state.h"

namespace voltina {

struct TimedMidiMessage {
    std::uint64_t frame;   // applied before this frame is computed
    std::uint32_t packed;  // status | data1 << 8 | data2 << 16
};

// Tables and ring for a rate, as the audio layer builds them (the ring as after a rate change, except
// at the start-up rate, where it keeps its start-up length).
void prepareAudioTables(EngineState& s, int rateParam, int stereoOut);

// What happens when the sound first comes on: the start-up refresh derives every oscillator and
// restarts them, then the speaker switch silences the ring, restarts them again and starts the sound.
void startSoundOffline(EngineState& s);

// Renders `frames` frames, applying each MIDI message (in order) before its frame; returns the bytes
// recorded, two per frame, left first. Messages must be sorted by frame.
std::vector<std::uint8_t> renderOffline(EngineState& s, std::uint64_t frames,
                                        const std::vector<TimedMidiMessage>& midi);

}  // namespace voltina
