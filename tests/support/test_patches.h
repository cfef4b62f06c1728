#pragma once
// Patches that the engine tests and the benchmarks share.

#include <cstdint>
#include <memory>

#include "engine/defaults.h"
#include "engine/engine_state.h"
#include "engine/midi_keys.h"
#include "engine/oscillator.h"

namespace voltina::test {

// The sound as it first comes on: every oscillator derived, then restarted.
inline void startSound(EngineState& s) {
    for (int i = 0; i < kOscillators; ++i) deriveOscillator(s, i, s.oscType[i]);
    syncReset(s);
}

// A sample of `length` bytes that steps through every value.
inline std::unique_ptr<SampleRecord> steppedSample(int length, int step) {
    auto sample = std::make_unique<SampleRecord>();
    for (int i = 0; i < length; ++i) sample->data.push_back(static_cast<std::uint8_t>((i * step) % 256));
    sample->dataLength = static_cast<std::uint32_t>(sample->data.size());
    return sample;
}

// Every module type and every one of the 32 outputs and 32 inputs in use: oscillators of all four types
// (some slowed), the MIDI voice sounding a note, accumulators, multipliers and sinusoiders with feedback
// between the groups, the three panoramikers and the Wave player playing a `sampleLength`-byte sample.
inline void everyModulePatch(EngineState& s, int sampleLength = 997) {
    setOscillatorAndMixerDefaults(s);
    const int types[kOscillators] = {kSquare, kSine, kSine, kSawtooth, kRandom, kSine, kSine, kSawtooth};
    const float freqs[kOscillators] = {256.0f, 1.52f, 2.16f, 330.0f, 2000.0f, 440.0f, 3.0f, 5.5f};
    for (int i = 0; i < kOscillators; ++i) {
        s.oscType[i] = types[i];
        s.oscFreq[i] = freqs[i];
        s.mixLevel[i] = 60 + 9 * i;
        s.mixPan[i] = 5 * (3 * i + 2);
    }
    const int cords[][2] = {
        {17, 0},  {18, 1},  {19, 2},  {8, 3},   {11, 4},  {30, 5},  {31, 6}, {27, 7},  // mixer
        {0, 8},   {23, 9},  {24, 10}, {12, 11}, {13, 12}, {9, 13},                     // accumulators
        {1, 14},  {28, 15}, {2, 16},  {29, 17}, {10, 18}, {14, 19},                    // multipliers
        {3, 20},  {4, 21},  {5, 22},  {6, 23},  {7, 24},  {15, 25},                    // sinusoiders
        {16, 26}, {20, 27}, {21, 28}, {22, 29}, {25, 30}, {26, 31},                    // panoramikers
    };
    for (const auto& c : cords) plugCord(s, c[0], c[1]);
    s.waveSample = steppedSample(sampleLength, 37);
    s.midiOpen = 1;
    startSound(s);
    onMidiMessage(s, packMidi(0x90, 69, 100));
}

}  // namespace voltina::test
