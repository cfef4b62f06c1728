#include "patch/panel_patch.h"

#include <cstring>

namespace voltina {

bool samePatch(const PanelPatch& a, const PanelPatch& b) {
    return a.oscType == b.oscType &&
           std::memcmp(a.oscFreq.data(), b.oscFreq.data(), sizeof(float) * a.oscFreq.size()) == 0 &&
           a.mixLevel == b.mixLevel && a.mixPan == b.mixPan && a.cordSource == b.cordSource &&
           a.sample == b.sample && a.samplePath == b.samplePath && a.origin == b.origin &&
           a.controllers == b.controllers;
}

PanelPatch capturePatch(const EngineState& s, const std::string& samplePath) {
    PanelPatch p;
    for (int i = 0; i < kOscillators; ++i) {
        p.oscType[static_cast<std::size_t>(i)] = s.oscType[i];
        p.oscFreq[static_cast<std::size_t>(i)] = s.oscFreq[i];
    }
    for (int i = 0; i < kMixerChannels; ++i) {
        p.mixLevel[static_cast<std::size_t>(i)] = s.mixLevel[i];
        p.mixPan[static_cast<std::size_t>(i)] = s.mixPan[i];
    }
    for (int i = 0; i < kJacks; ++i)
        p.cordSource[static_cast<std::size_t>(i)] = hasCord(s, i) ? s.cordSource[i] : kNoCord;
    p.sample = s.waveSample;
    if (p.sample) p.samplePath = samplePath;
    return p;
}

std::size_t sampleBytes(const PanelPatch& p) {
    return p.sample ? p.sample->data.size() : 0;
}

std::string fileBaseName(const std::string& path) {
    const std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace voltina
