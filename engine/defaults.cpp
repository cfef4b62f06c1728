#include "engine/defaults.h"

namespace voltina {

const int noteFreqTable[kNoteCount] = {
    16,   17,   18,   19,   20,   21,   23,   24,   26,   27,   29,   31,    // notes 12..23
    32,   34,   36,   38,   41,   43,   46,   49,   51,   55,   58,   61,    // 24..35
    65,   69,   73,   77,   82,   87,   92,   98,   103,  110,  116,  123,   // 36..47
    130,  138,  146,  155,  164,  174,  185,  196,  207,  220,  233,  246,   // 48..59
    261,  277,  293,  311,  329,  349,  369,  392,  415,  440,  466,  493,   // 60..71
    523,  554,  587,  622,  659,  698,  739,  783,  830,  880,  932,  987,   // 72..83
    1046, 1108, 1174, 1244, 1318, 1396, 1479, 1567, 1661, 1760, 1864, 1975,  // 84..95
    2093, 2217, 2349, 2489, 2637, 2793, 2959, 3135, 3322, 3520, 3729, 3951,  // 96..107
};

void setOscillatorAndMixerDefaults(EngineState& s) {
    for (int k = 0; k < kOscillators; ++k) {
        s.oscFreq[k] = static_cast<float>(100 + 10 * k);
        s.oscPhase[k] = 0.0f;
        s.mixLevel[k] = 80;
        s.mixPan[k] = 50;
    }
}

void plugCord(EngineState& s, int out, int in) {
    s.outputUsed[out] = 1;
    s.cordPresent[in] = 1;
    s.cordSource[in] = out;
}

void clearCords(EngineState& s) {
    for (int j = 0; j < kJacks; ++j) {
        s.outputUsed[j] = 0;
        s.cordPresent[j] = 0;
        s.cordSource[j] = kNoCord;
    }
}

void setDefaultPatch(EngineState& s) {
    s.oscType[0] = kSquare;
    s.oscFreq[0] = 256.0f;
    s.oscFreq[1] = 1.52f;
    s.oscFreq[2] = 2.16f;
    plugCord(s, 0, 20);   // 401 -> 321: oscillator 0 into sinusoider 0's amplitude
    plugCord(s, 1, 21);   // 402 -> 322: oscillator 1 into sinusoider 0's angle
    plugCord(s, 14, 26);  // 415 -> 327: sinusoider 0 into panoramiker 0's signal
    plugCord(s, 2, 27);   // 403 -> 328: oscillator 2 into panoramiker 0's pan position
    plugCord(s, 17, 6);   // 418 -> 307: panoramiker 0 into mixer channel 6
}

void setEngineDefaults(EngineState& s) {
    setOscillatorAndMixerDefaults(s);
    setDefaultPatch(s);
}

}  // namespace voltina
