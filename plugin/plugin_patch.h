#pragma once
// A patch ready to play in the plugin: the engine started from a configuration exactly as voltina-render
// starts (so its frames equal the renderer's from its first frame), and what the plugin's state keeps of
// it: the configuration, the file it came from, the sample's file bytes.
//
// Threads: built and destroyed off the audio thread (the LV2 worker, instantiate, restore). The audio
// thread plays `sound` and writes `values`; the state's save reads `values` while it may be playing.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "patch/controller_map.h"
#include "plugin/plugin_parameters.h"
#include "plugin/plugin_sound.h"

namespace voltina {

struct LoadedPatch {
    std::unique_ptr<PluginSound> sound;
    Configuration configuration;           // as loaded; `values` holds what the parameters have changed since
    std::string path;                      // the configuration file, empty for the start-up patch or a state
    std::vector<std::uint8_t> sampleFile;  // the WAV file's bytes, empty without a sample
    // The sample the patch was started with, held here too: the window's "No wave" drops the engine's
    // hold on it in run(), which must not free it, and its Undo brings this one back.
    std::shared_ptr<SampleRecord> sample;
    std::atomic<bool> sampleGone{false};  // "No wave" in the window: the state saves no sample
    // The parameters' values now, written by the audio thread as it applies them.
    std::atomic<float> values[kParameterCount];
    // The configuration's controller bindings, which the audio thread plays the host's MIDI through.
    ControllerMap controllers;
    // Per input: the output its cord comes from (kNoCord: none), written by the audio thread as the
    // window's edits change the cords, so that the state saves them. Odd cordsVersion: a change is under
    // way; a save reads the cords again until it has read them whole (one output never feeding two).
    std::atomic<int> cords[kJacks];
    std::atomic<std::uint32_t> cordsVersion{0};
    bool startup = false;  // the start-up patch, which no configuration starts
    std::uint64_t id = 0;  // unique among the patches a process starts
    // The same patch, started but not yet played: what the host's transport swaps in when it starts
    // rolling, so the patch starts again from its first frame without allocating on the audio thread.
    // Null once used, until the worker builds the next one (startAgain).
    std::unique_ptr<LoadedPatch> twin;

    // The values and cords the engine holds now (after a load, a restore or an edit). Audio thread once
    // the patch plays; never allocates.
    void takeValues();
    // The engine's cords into `cords`. Audio thread; never allocates or waits.
    void takeCords();
    // The configuration as it plays now: the one loaded, with the parameters' current values and cords.
    Configuration current() const;
};

// What `p` was started from (its configuration, sample and file, or the start-up patch), started again
// from its first frame. Off the audio thread.
std::unique_ptr<LoadedPatch> startAgain(const LoadedPatch& p, double hostRate, std::string& error);

// The start-up patch, as voltina-render plays without a configuration.
std::unique_ptr<LoadedPatch> startupPatch(double hostRate, std::string& error);

// The configuration file at `path` with the sample it names, read whole. Null with the reason in `error`
// when either is refused.
std::unique_ptr<LoadedPatch> loadPatchFile(const std::string& path, double hostRate, std::string& error);

// A configuration's text with its sample's file bytes (empty: the sample is read from beside `path`, if
// the configuration names one), as a state brings them back.
std::unique_ptr<LoadedPatch> loadPatchText(const std::string& text,
                                           const std::vector<std::uint8_t>& sampleFile,
                                           const std::string& path, double hostRate, std::string& error);

}  // namespace voltina
