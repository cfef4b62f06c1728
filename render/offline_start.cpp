#include "render/offline_start.h"

#include "engine/defaults.h"
#include "engine/oscillator.h"
#include "engine/tables.h"
#include "media/wav_import.h"

namespace voltina {

std::unique_ptr<EngineState> startEngine(const Configuration* configuration, int rate, int stereoOut,
                                         bool midiOpen, const StartSample& sample, std::string& error) {
    auto s = std::make_unique<EngineState>();
    setEngineDefaults(*s);
    if (configuration && !applyConfiguration(*configuration, *s, error)) return nullptr;
    if (midiOpen) s->midiOpen = 1;
    prepareAudioTables(*s, rate + 1, stereoOut);
    if (!sample.name.empty()) {
        WaveSampleName name;
        std::string refusal;
        const auto keep = [&](const std::string& message) { refusal = message; };
        int loaded = 0;
        if (sample.bytes) {
            loaded = loadWaveSampleFromBytes(*s, name, sample.name, sample.bytes->data(),
                                             sample.bytes->size(), keep);
        } else {
            // The reason too ("No such file or directory", "not a RIFF WAVE file"): the panel shows it as
            // the box's detail line, here it is all the user has.
            const auto withReason = [&](const std::string& message, const std::string& detail) {
                refusal = describeRefusal(sample.name, message, detail);
            };
            loaded = loadWaveSample(*s, name, sample.name, keep, withReason);
        }
        if (loaded != 1) {
            error = sample.name + ": " + refusal;
            return nullptr;
        }
    }
    startSoundOffline(*s);
    return s;
}

void prepareAudioTables(EngineState& s, int rateParam, int stereoOut) {
    s.rateParam = rateParam;
    s.sineTable = buildSineTable(rateParam);
    s.stereoOut = stereoOut;
    fillSinusoiderTable(s.sinusoiderTable);
}

void startSoundOffline(EngineState& s) {
    for (int osc = 0; osc < kOscillators; ++osc) deriveOscillator(s, osc, s.oscType[osc]);
    syncReset(s);
    s.speakerOn = 1;
    syncReset(s);
}

void resumeSoundOffline(EngineState& s) {
    s.speakerOn = 1;
}

}  // namespace voltina
