#pragma once
// Scripted panel gestures for voltina-render (--events FILE): timed edits applied between two frames,
// each exactly the panel gesture it names (the same edit value, through the same function).
//
//   {"voltina-events": 1, "events": [
//     {"frame": 11025, "oscillator": 4, "frequency": 150.5},     set as a configuration sets it
//     {"frame": 11025, "oscillator": 4, "typed": 6000},          typed under the knob (5000 at most)
//     {"frame": 11025, "oscillator": 4, "frequency-knob": -50},  one tick of the held knob
//     {"frame": 11025, "oscillator": 4, "type": "square"},       a wave-type button
//     {"frame": 22050, "channel": 2, "level": 90},
//     {"frame": 22050, "channel": 2, "level-knob": 10},          one tick of the level knob
//     {"frame": 22050, "channel": 2, "pan": 70},
//     {"frame": 22050, "channel": 2, "pan-knob": -1},            one tick of the pan control
//     {"frame": 33075, "unplug": 307},                           taken out at the input
//     {"frame": 33075, "unplug-output": 404},                    taken out at the output
//     {"frame": 33075, "plug": [418, 301]},
//     {"frame": 44100, "sync": true},
//     {"frame": 44100, "sample": "LOOP.WAV"},                    a sample loaded
//     {"frame": 44100, "no-wave": true},                         "No wave"
//     {"frame": 55125, "configuration": "my-patch"},             a configuration loaded (a file, or
//                                                                the configuration's object itself)
//     {"frame": 55125, "restore": {...a configuration...}},      what Undo and Redo do
//     {"frame": 66150, "midi": [144, 69, 100]}                   a MIDI message the keyboard sent
//   ]}
//
// A take's performance (NAME.vtk, beside NAME.WAV) is such a file with two more members: "start", the
// engine's state at the take's first frame (start_state.h), and "frames", the take's length. Its samples
// carry "checksum" (beside "sample", "configuration" or "restore"), so a file changed since is named.
//
// Oscillators and channels count 1..8 from the top; jacks use the configuration's numbers; files are
// named relative to the events file's folder (a configuration's sample relative to the configuration).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_state.h"
#include "patch/edit.h"

namespace voltina {

class RenderInputs;

struct PanelEvent {
    std::uint64_t frame = 0;  // acts after frame - 1 and before this frame
    Edit edit;
    bool isMidi = false;     // a MIDI message instead of an edit
    std::uint32_t midi = 0;  // status | data1 << 8 | data2 << 16
    // The sample's number in a performance ("sample-id"): the Wave player tells one loaded sample from
    // another of the same file (undo brings back the one that played, and goes on where it was), so a
    // performance says which of its samples an event brings. 0: a sample of its own.
    int sampleId = 0;
};

// A recorded take's performance, or an events file read as one: the start state (when the file has one),
// the length and the events in order.
struct Performance {
    std::shared_ptr<EngineState> start;  // null: the file starts from the default patch
    bool haveFrames = false;
    std::uint64_t frames = 0;
    std::vector<PanelEvent> events;
};

constexpr int kPanelEventsVersion = 1;
// Event files are texts of some ten thousand events at most (a megabyte holds about 25000): the JSON
// reader takes up to about a hundred times the bytes it reads, so larger files are refused unread.
constexpr std::size_t kMaxPanelEventsBytes = 1u << 20;
// A take's performance grows with its length (a knob held for an hour is 36000 ticks).
constexpr std::size_t kMaxPerformanceBytes = 8u << 20;

// Where an events file's names are looked for and the rate its samples and configurations must have.
struct PanelEventPlace {
    std::string folder;                 // "" for the current directory
    int rateParam = kDefaultRateParam;  // the render's
    RenderInputs* inputs = nullptr;     // the render's files and samples; null: the reader's own
};

// Reads the JSON text. False with the first problem in `error`, naming the event ("event 3 (frame
// 22050): level must be a whole number from 0 to 128"). Checks every field; plugs and unplugs are checked
// against the cords of `start` as the events before them leave them, by the patch bay's rules.
bool parsePanelEvents(const std::string& text, const EngineState& start, std::vector<PanelEvent>& out,
                      std::string& error, const PanelEventPlace& place = {});

// Reads and parses a file; messages start with the path.
bool readPanelEventsFile(const std::string& path, const EngineState& start, int rateParam,
                         std::vector<PanelEvent>& out, std::string& error, RenderInputs* inputs = nullptr);

// The events as a file of this form, one per line, that reads back to the same edits: frequencies and
// steps in the shortest decimal form of their float, samples by their path, configurations (and what
// undo restores) written out in full.
std::string serializePanelEvents(const std::vector<PanelEvent>& events, int sampleRate);

// One event as a line of that file (two spaces, the object, no separator).
std::string serializePanelEvent(const PanelEvent& event, int sampleRate);

// A performance: an events file that may carry "start" (the engine's state at its first frame, see
// start_state.h) and "frames" (the take's length). Names are relative to `folder`. False with the
// first problem in `error`.
bool parsePerformance(const std::string& text, Performance& out, std::string& error,
                      const std::string& folder = {}, RenderInputs* inputs = nullptr);
bool readPerformanceFile(const std::string& path, Performance& out, std::string& error,
                         RenderInputs* inputs = nullptr);

// Applies one event, as the panel's control (or the MIDI input) does.
void applyPanelEvent(EngineState& s, const PanelEvent& event);

}  // namespace voltina
