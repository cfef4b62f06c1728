#pragma once
// The MIDI voice's key logic: one sounding key, last-note priority, and on release of the sounding key a
// fall-back to the lowest key still held. Called on the GUI thread by the MIDI input and by the renderer.

#include <cstdint>

#include "engine/engine_state.h"

namespace voltina {

// Note index of a MIDI note number: note - 12, clamped to 0..95.
int noteIndex(int noteNumber);

// A short MIDI message packed as status | data1 << 8 | data2 << 16. Note-ons and note-offs of any
// channel play; every other kind is ignored.
void onMidiMessage(EngineState& s, std::uint32_t packed);

void startKey(EngineState& s, int index);
void releaseKey(EngineState& s, int index);

constexpr std::uint32_t packMidi(int status, int data1, int data2) {
    return static_cast<std::uint32_t>(status & 0xFF) | static_cast<std::uint32_t>(data1 & 0xFF) << 8 |
           static_cast<std::uint32_t>(data2 & 0xFF) << 16;
}

}  // namespace voltina
