#pragma once
// MIDI controllers bound to the panel's controls (MIDI learn): which controller number, heard on which
// MIDI channel, sets which control outright. The bindings are part of the panel, like its cords: a
// configuration holds them, undo brings them back, a learn and a forget are steps of the history.
// Plain C++; the thread that owns the panel (or the renderer's, or the plugin's worker).

#include <string>
#include <vector>

namespace voltina {

enum class Control;  // patch/controls.h

// Controller numbers 120..127 are the channel-mode messages (all sound off, reset, local control, the
// omni and poly modes): they are never bound.
constexpr int kMaxBoundController = 119;
constexpr int kMidiChannels = 16;

struct ControllerBinding {
    int cc = 0;           // 0..kMaxBoundController
    int midiChannel = 0;  // 1..16; 0: every channel
    Control control{};    // a row of the controls' table that a controller can set
    int index = 0;        // the oscillator or the mixer channel, from 0

    bool operator==(const ControllerBinding& o) const {
        return cc == o.cc && midiChannel == o.midiChannel && control == o.control && index == o.index;
    }
    bool operator!=(const ControllerBinding& o) const { return !(*this == o); }
};

using ControllerBindings = std::vector<ControllerBinding>;

// Whether one message could reach both: the same number on a channel both hear.
bool sameController(const ControllerBinding& a, const ControllerBinding& b);

// What is wrong with entry `i` given the entries before it (a number out of range, a channel that is
// none, a control no controller sets, a number bound already); empty when nothing is.
std::string controllerProblem(const ControllerBindings& bindings, std::size_t i);

// The bindings once the controller of `binding` sets its control: the controller leaves any other control
// it set, and the control leaves any other controller.
ControllerBindings learnController(const ControllerBindings& bindings, const ControllerBinding& binding);
// The bindings without those of control `index` of `control`.
ControllerBindings forgetControllers(const ControllerBindings& bindings, Control control, int index);
// The first binding of that control, or null.
const ControllerBinding* controllerOf(const ControllerBindings& bindings, Control control, int index);

// "oscillator 3 frequency", "mixer channel 2 level": what a binding sets, as the history names it.
std::string controllerTarget(const ControllerBinding& binding);

}  // namespace voltina
