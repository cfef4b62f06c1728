#pragma once
// Scripted panel moves for voltina-render (--events FILE): timed operations applied between two frames
// as the panel applies them between two renders.
//
//   {"voltina-events": 1, "events": [
//     {"frame": 11025, "oscillator": 4, "frequency": 150.5},
//     {"frame": 11025, "oscillator": 4, "type": "square"},
//     {"frame": 22050, "channel": 2, "level": 90},
//     {"frame": 22050, "channel": 2, "pan": 70},
//     {"frame": 33075, "unplug": 307},
//     {"frame": 33075, "plug": [418, 301]},
//     {"frame": 44100, "sync": true}
//   ]}
//
// Oscillators and channels count 1..8 from the top; jacks use the configuration's numbers.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine_state.h"

namespace voltina {

struct PanelEvent {
    enum class Kind { Frequency, Type, Level, Pan, Plug, Unplug, Sync };
    std::uint64_t frame = 0;  // acts after frame - 1 and before this frame
    Kind kind = Kind::Sync;
    int index = 0;   // oscillator or mixer channel 0..7; the input jack 0..31 for plug and unplug
    int output = 0;  // plug: the output jack 0..31
    int value = 0;   // type 0..3, level 0..128, pan 0..100
    float frequency = 0.0f;
};

constexpr int kPanelEventsVersion = 1;
// Event files are texts of some ten thousand events at most (a megabyte holds about 25000): the JSON
// reader takes up to about a hundred times the bytes it reads, so larger files are refused unread.
constexpr std::size_t kMaxPanelEventsBytes = 1u << 20;

// Reads the JSON text. False with the first problem in `error`, naming the event ("event 3 (frame
// 22050): level must be a whole number from 0 to 128"). Checks every field; plugs and unplugs are checked
// against the cords of `start` as the events before them leave them, by the patch bay's rules.
bool parsePanelEvents(const std::string& text, const EngineState& start, std::vector<PanelEvent>& out,
                      std::string& error);

// Reads and parses a file; messages start with the path.
bool readPanelEventsFile(const std::string& path, const EngineState& start, std::vector<PanelEvent>& out,
                         std::string& error);

// Applies one event, as the panel's control does.
void applyPanelEvent(EngineState& s, const PanelEvent& event);

}  // namespace voltina
