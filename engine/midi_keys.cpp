#include "engine/midi_keys.h"

#include "engine/defaults.h"

namespace voltina {

int noteIndex(int noteNumber) {
    const int index = noteNumber - 12;
    if (index < 0) return 0;
    if (index > kNoteCount - 1) return kNoteCount - 1;
    return index;
}

namespace {
void silenceMidiOutputs(EngineState& s) {
    s.outValue[kOutMidiSine] = 0.0f;
    s.outValue[kOutMidiSquare] = 0.0f;
    s.outValue[kOutMidiSaw] = 0.0f;
}
}  // namespace

void startKey(EngineState& s, int index) {
    s.midiFreq = static_cast<float>(noteFreqTable[index]);
    s.midiStep = static_cast<float>(254.0 * s.midiFreq / s.rateParam);
    s.midiNote = index + 1;
    s.noteDown[index] = 1;
    // the phase and the ramp run on: a new note starts where the previous one left its waveform
    silenceMidiOutputs(s);
}

void releaseKey(EngineState& s, int index) {
    s.noteDown[index] = 0;
    if (index != s.midiNote - 1) return;  // another key sounds, or none: nothing changes
    silenceMidiOutputs(s);
    s.midiFreq = 0.0f;
    s.midiNote = 0;
    // fall back to the lowest key still held, not to the one that sounded before
    for (int j = 0; j < kNoteCount; ++j) {
        if (s.noteDown[j] == 1) {
            startKey(s, j);
            return;
        }
    }
}

void onMidiMessage(EngineState& s, std::uint32_t packed) {
    int kind = static_cast<int>(packed & 0xF0);  // every channel plays
    const int index = noteIndex(static_cast<int>((packed >> 8) & 0xFF));
    const int velocity = static_cast<int>((packed >> 16) & 0xFF);
    if (kind == 0x90 && velocity == 0) kind = 0x80;
    if (kind == 0x90)
        startKey(s, index);
    else if (kind == 0x80)
        releaseKey(s, index);
}

}  // namespace voltina
