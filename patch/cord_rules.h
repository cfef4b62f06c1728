#pragma once
// The patch bay's rules, written once: every jack takes one cord, a cord joins an output to an input,
// and an auto-pan's output goes only into a mixer input. The patch bay, the configuration reader and the
// events reader all ask here, and all refuse in these words.
// Plain C++; any thread that owns the EngineState it is given.

#include <string>

#include "engine/engine_state.h"

namespace voltina {

constexpr const char* kInputIntoInputMessage = "Impossible to plug an input into an input";
constexpr const char* kOutputIntoOutputMessage = "Impossible to plug an output into an output";
constexpr const char* kAutoPanMessage = "The auto-pan outputs must be plugged in the mixer";

enum class PlugRule {
    Allowed,
    InputIntoInput,       // the held end and the clicked jack are both inputs
    OutputIntoOutput,     // both outputs
    InputTaken,           // the input already carries a cord
    OutputTaken,          // the output already carries a cord
    AutoPanOutsideMixer,  // an auto-pan output into anything but a mixer input
    NoSuchJack,           // an index outside 0..31
};

// The auto-pan's rule: its output (index `output`) goes only into a mixer input (index `input`).
constexpr bool autoPanOutsideMixer(int output, int input) {
    return isPanoramikerOutput(output) && input >= kInMixer + kMixerChannels;
}

// Whether output index `output` may be plugged into input index `input` on the cords of `s` as they
// stand. The jack kinds are right by construction here; the patch bay checks those itself.
PlugRule plugRule(const EngineState& s, int output, int input);

// The refusal in the program's words: the message box's text for the first three, a sentence naming
// the jacks (by their configuration numbers) for the others; empty for Allowed.
std::string plugRuleMessage(PlugRule rule, const EngineState& s, int output, int input);

// The input a cord from `output` goes into, or kNoCord when that output feeds none.
int inputFedBy(const EngineState& s, int output);

// "404 → 301": a cord by its jacks' configuration numbers.
std::string cordText(int output, int input);

}  // namespace voltina
