#pragma once
// The one record the sound engine works on. There are no module objects: every module is a row of
// fixed-size arrays addressed by index, and every jack is an index into a 32-entry array.
//
// Threads: everything here belongs to the GUI thread, except the ring's bytes, which the audio
// callback reads (see RingBuffer).

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/random_source.h"
#include "engine/recording.h"
#include "engine/ring_buffer.h"
#include "engine/sample_record.h"

namespace voltina {

constexpr int kOscillators = 8;
constexpr int kMixerChannels = 8;
constexpr int kModulesPerGroup = 3;  // accumulators, multipliers, sinusoiders, panoramikers
constexpr int kJacks = 32;           // outputs and inputs alike
constexpr int kNoteCount = 96;
// "No cord", wherever a jack index is asked for: the cordSource of an input without a cord (after a drawing
// pass), and the input that an output without a cord feeds.
constexpr int kNoCord = 32;

// Output indexes (jack id - 401).
constexpr int kOutOscA = 0;          // 0..7
constexpr int kOutAccumulator = 8;   // 8..10
constexpr int kOutMultiplier = 11;   // 11..13
constexpr int kOutSinusoider = 14;   // 14..16
constexpr int kOutPanoramiker = 17;  // 17..19, never written
constexpr int kOutOscB = 20;         // 20..27
constexpr int kOutMidiSine = 28;
constexpr int kOutMidiSquare = 29;
constexpr int kOutMidiSaw = 30;
constexpr int kOutWave = 31;

// Input indexes (jack id - 301): mixer 0..7, then two inputs per module of each group.
constexpr int kInMixer = 0;
constexpr int kInAccumulator = 8;
constexpr int kInMultiplier = 14;
constexpr int kInSinusoider = 20;
constexpr int kInPanoramiker = 26;

constexpr int kFirstOutputJackId = 401;
constexpr int kFirstInputJackId = 301;

enum OscType : int { kSine = 0, kSquare = 1, kSawtooth = 2, kRandom = 3 };

// rateParam, here and throughout: the sample rate plus one (11026, 22051, 44101), the unit the sine table
// and the ring are sized in.
constexpr int kDefaultRateParam = 11026;
// The rates the program plays at, in the order of the menu's items.
constexpr int kSampleRates[3] = {11025, 22050, 44100};
constexpr bool isSampleRate(int rate) {
    return rate == kSampleRates[0] || rate == kSampleRates[1] || rate == kSampleRates[2];
}

struct EngineState {
    // Audio-layer values the engine reads.
    int rateParam = kDefaultRateParam;
    std::vector<float> sineTable;  // rateParam entries of 127 * sin
    RingBuffer ring;               // ringBytes() is the played length
    int stereoOut = 1;
    int speakerOn = 0;
    int recordOn = 0;
    bool renderBusy =
        false;  // the ring render is in progress and must not be entered again (audio/ring_render)
    int lastFramePos = 0;
    int writePos = 0;

    // Oscillators.
    int oscType[kOscillators] = {};
    float oscFreq[kOscillators] = {};
    float oscPhase[kOscillators] = {};  // sine/random: phase in table entries; square/saw: per-frame step
    float oscAcc[kOscillators] = {};    // square: ramp; random: frequency now sounding
    int oscCounter[kOscillators] = {};  // square: toggle state; random: frames left before a new draw
    int oscSlow[kOscillators] = {};

    float outValue[kJacks] = {};

    int mixLevel[kMixerChannels] = {};
    int mixPan[kMixerChannels] = {};

    // Patch bay routing, per input jack and per output jack.
    int cordSource[kJacks] = {};
    int cordPresent[kJacks] = {};
    int outputUsed[kJacks] = {};

    // MIDI voice.
    int midiOpen = 0;
    int midiNote = 0;
    int noteDown[kNoteCount] = {};
    float midiFreq = 0.0f;
    float midiStep = 0.0f;
    float midiPhase = 0.0f;
    float midiAcc = 0.0f;

    // Sample player.
    // Shared with the undo history, which keeps the samples a load or "No wave" replaced.
    std::shared_ptr<SampleRecord> waveSample;
    std::uint32_t wavePos = 0;

    float sinusoiderTable[256] = {};

    // The random oscillators' draws; never seeded from the clock, so every run repeats them.
    RandomSource random;

    // Frames appended while recordOn is 1.
    Recording recording;
};

// The jack map's rule: module k of a group has output outBase + k and inputs inBase + 2k, inBase + 2k + 1.
constexpr int panoramikerSignalInput(int outputIndex) {
    return 2 * outputIndex - 8;
}
constexpr int panoramikerPanInput(int outputIndex) {
    return 2 * outputIndex - 7;
}
constexpr bool isPanoramikerOutput(int outputIndex) {
    return outputIndex >= kOutPanoramiker && outputIndex < kOutPanoramiker + kModulesPerGroup;
}
// An input's cord counts only while it is present and its source is a real output.
inline bool hasCord(const EngineState& s, int input) {
    return s.cordPresent[input] == 1 && s.cordSource[input] >= 0 && s.cordSource[input] < kJacks;
}

// The record's int flags as the render loop reads them (the panel, the audio layer and the configuration
// reader write them as 0 and 1): a marker counts only when it is 1, a switch is on unless it is 0.
inline bool outputPatched(const EngineState& s, int output) {
    return s.outputUsed[output] == 1;
}
inline bool oscillatorPatched(const EngineState& s, int osc) {
    return outputPatched(s, kOutOscA + osc) || outputPatched(s, kOutOscB + osc);
}
// An accumulator, multiplier or sinusoider computes only while its output is patched and both of its
// inputs have cords.
inline bool moduleRuns(const EngineState& s, int output, int firstInput) {
    return outputPatched(s, output) && hasCord(s, firstInput) && hasCord(s, firstInput + 1);
}
inline bool recordingOn(const EngineState& s) {
    return s.recordOn == 1;
}
inline bool stereoOutput(const EngineState& s) {
    return s.stereoOut == 1;
}
inline bool soundOn(const EngineState& s) {
    return s.speakerOn != 0;
}
// A MIDI device is open and a key sounds.
inline bool midiVoiceSounding(const EngineState& s) {
    return s.midiOpen != 0 && s.midiNote != 0;
}

}  // namespace voltina
