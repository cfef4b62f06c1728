#pragma once
// Configuration files: the whole panel state (oscillator types and frequencies, mixer levels and pans,
// cords), the sample rate and the sample's file name, as JSON that people can read, diff and share:
//
//   {
//     "voltina": 1,
//     "rate": 11025,
//     "oscillators": [ {"type": "square", "frequency": 256}, ... eight, top to bottom ],
//     "mixer": [ {"level": 80, "pan": 50}, ... eight, channel 1 = input 301 ],
//     "cords": [ [401, 321], ... [output jack id, input jack id] ],
//     "wave": "LOOP.WAV",
//     "controllers": [ {"cc": 74, "oscillator": 3, "control": "frequency"},
//                      {"cc": 7, "channel": 2, "control": "level", "midi-channel": 1}, ... ]
//   }
//
// "wave" and "controllers" are optional; a panel without them writes neither.
//
// Oscillators, mixer channels and cords are numbered from 1 in messages, as the user counts them.
// Plain C++; GUI thread or the renderer's own thread.

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_state.h"
#include "patch/edit.h"
#include "patch/panel_patch.h"

namespace voltina {

constexpr int kConfigurationVersion = 1;
// Configuration files are small; anything larger is not one.
constexpr std::size_t kMaxConfigurationBytes = 1 << 20;

struct Configuration {
    int version = kConfigurationVersion;
    int rate = 11025;  // the sample rate itself, not rateParam
    std::array<int, kOscillators> oscType{};
    std::array<float, kOscillators> oscFreq{};
    std::array<int, kMixerChannels> mixLevel{};
    std::array<int, kMixerChannels> mixPan{};
    std::vector<std::pair<int, int>> cords;  // (output jack id 401..432, input jack id 301..332)
    bool hasWave = false;
    std::string wave;  // relative to the configuration's folder unless absolute
    ControllerBindings controllers;
};

struct JsonValue;

// "sine", "square", "sawtooth", "random" for types 0..3 (the controls' table names them).
const char* oscillatorTypeName(int type);
// The type a JSON value names, or -1 when it names none (not one of the four texts).
int oscillatorTypeNamed(const JsonValue& v);

// Checks every field and every cord rule; the first problem, in words, or an empty text when all is well.
std::string checkConfiguration(const Configuration& c);

// Reads the JSON text. On any problem returns false with the first one in `error`
// ("oscillator 3: frequency must be above 0 and at most 5500") and leaves `out` untouched.
bool parseConfiguration(const std::string& text, Configuration& out, std::string& error);

// The same from JSON already read (a configuration inside an events file).
bool parseConfigurationValue(const JsonValue& root, Configuration& out, std::string& error);

// The JSON text, one oscillator, mixer channel and cord per line; frequencies in the shortest decimal
// form that reads back to the same 32-bit float.
std::string serializeConfiguration(const Configuration& c);

// The panel state of `s`, with `sampleRate` (11025, 22050 or 44100) and an optional sample name
// (empty: none). Cords come in input jack order.
Configuration captureConfiguration(const EngineState& s, int sampleRate, const std::string& waveName);

// Writes types, frequencies, levels, pans and the cords (all previous cords removed) into `s`. The
// caller handles the rate, deriveOscillator and the sample. Refuses, changing nothing, a configuration
// that checkConfiguration refuses.
bool applyConfiguration(const Configuration& c, EngineState& s, std::string& error);

// The panel patch a configuration describes, without its sample (the caller loads that).
PanelPatch configurationPatch(const Configuration& c);
// The configuration of a patch at `sampleRate`, its sample named by the path the patch has.
Configuration patchConfiguration(const PanelPatch& p, int sampleRate);

// A configuration names its sample relative to its own folder, so the two can travel together: the
// sample's path for a configuration at `configPath`.
std::string besideConfiguration(const std::string& configPath, const std::string& wave);

// Reads and parses a file; messages start with the path. `out` changes only on success.
bool readConfigurationFile(const std::string& path, Configuration& out, std::string& error);

// Writes through a temporary file renamed over `path`: the file is whole or absent, never half-written.
// Refuses a configuration that checkConfiguration refuses.
bool writeConfigurationFile(const std::string& path, const Configuration& c, std::string& error);

}  // namespace voltina
