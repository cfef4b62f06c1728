#pragma once
// What a configuration holds, as one value: the oscillators' types and frequencies, the mixer's levels
// and pans, the cords, the sample and the MIDI controllers bound to the controls. The undo history keeps
// one before and after every step; a configuration load carries one. The running values (phases,
// accumulators, outputs) are not part of it: the sound goes on from wherever it is.
// Plain C++.

#include <array>
#include <memory>
#include <string>

#include "engine/engine_state.h"
#include "patch/controller_binding.h"

namespace voltina {

struct PanelPatch {
    std::array<int, kOscillators> oscType{};
    std::array<float, kOscillators> oscFreq{};
    std::array<int, kMixerChannels> mixLevel{};
    std::array<int, kMixerChannels> mixPan{};
    // Per input jack: the output index its cord comes from, or kNoCord.
    std::array<int, kJacks> cordSource{};
    std::shared_ptr<SampleRecord> sample;  // the very record, shared, not a copy
    std::string samplePath;                // the file it came from; empty without a sample
    std::string origin;                    // the configuration file the panel came from; empty for none
    ControllerBindings controllers;        // the MIDI controllers that set its controls

    PanelPatch() { cordSource.fill(kNoCord); }
};

// Frequencies compare as their bits, so a patch equals itself even where a float would not.
bool samePatch(const PanelPatch& a, const PanelPatch& b);

// The patch `s` plays, with the sample's file as the caller knows it.
PanelPatch capturePatch(const EngineState& s, const std::string& samplePath);

// The bytes of sample data a patch keeps alive.
std::size_t sampleBytes(const PanelPatch& p);

// A sample's file as the panel and the undo history name it: the path's last part.
std::string fileBaseName(const std::string& path);

}  // namespace voltina
