#include "render/offline_start.h"

#include "engine/oscillator.h"
#include "engine/tables.h"

namespace voltina {

void prepareAudioTables(EngineState& s, int rateParam, int stereoOut) {
    s.rateParam = rateParam;
    s.sineTable = buildSineTable(rateParam);
    s.ring.allocate(ringCapacity(rateParam));
    s.ring.setRingBytes(rateParam == kDefaultRateParam ? startupRingBytes(rateParam)
                                                       : rateChangeRingBytes(rateParam));
    s.stereoOut = stereoOut;
    fillSinusoiderTable(s.sinusoiderTable);
}

void startSoundOffline(EngineState& s) {
    for (int osc = 0; osc < kOscillators; ++osc) deriveOscillator(s, osc, s.oscType[osc]);
    syncReset(s);
    s.ring.fill(128);
    s.speakerOn = 1;
    syncReset(s);
    s.writePos = 0;
    s.lastFramePos = 0;
}

void resumeSoundOffline(EngineState& s) {
    s.ring.fill(128);
    s.speakerOn = 1;
    s.writePos = 0;
    s.lastFramePos = 0;
}

}  // namespace voltina
