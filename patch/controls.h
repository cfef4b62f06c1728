#pragma once
// The panel's controls, one row each: the values a control may hold, what its knob shows, and the
// names it goes by in a configuration, an events file, the plugin's Turtle and a screen reader. Every
// reader, writer and knob asks here, so a control added (or a binding to one, a MIDI controller's or a
// host's) is one row, not one edit in each of them.
// Plain C++; constant data, any thread. The tables are inline, one copy in a program, so a row's address
// names it wherever it is taken.

#include <string>

#include "engine/engine_state.h"
#include "patch/edit.h"

namespace voltina {

// The module a control belongs to: there are eight of each, numbered 1..8 in files and words.
enum class ControlOwner { Oscillator, MixerChannel };

struct ControlOwnerNames {
    const char* eventsName;  // the events file's member that picks the module: "oscillator"
    const char* fileLabel;   // how a configuration's refusal names it: "oscillator 3"
    const char* spokenName;  // a screen reader's: "Oscillator 3"
    const char* symbol;      // the plugin's property names start with it: "osc3-"
    const char* label;       // the plugin's labels: "Oscillator 3"
    int count;
};

inline constexpr ControlOwnerNames kOwnerNames[] = {
    {"oscillator", "oscillator", "Oscillator", "osc", "Oscillator", kOscillators},
    {"channel", "mixer channel", "Mixer channel", "channel", "Mixer", kMixerChannels},
};

constexpr const ControlOwnerNames& ownerNames(ControlOwner owner) {
    return kOwnerNames[static_cast<int>(owner)];
}

// The table's rows, in its order.
enum class Control { WaveType, Frequency, TypedFrequency, Level, Pan };

// How a MIDI controller's 0..127 (or 14-bit 0..16383) sets a control outright: not at all; in the row's
// steps, evenly over its range; exponentially over the knob's turn, as the ear hears pitch; or one of
// its choices in equal bands.
enum class ControllerScale { None, Steps, Exponential, Bands };

// What a host sees of a control: its range and default in the plugin's Turtle.
struct PluginRange {
    bool isFloat;  // takes fractions, else whole numbers (sent as atom:Float all the same)
    double defaultValue;
    double minimum;
    double maximum;
};

struct ControlRow {
    Control control;
    ControlOwner owner;
    // The values a configuration, an events file or a host may set it to: minimum (or above it, when
    // aboveMinimum) to maximum, in steps of `step` from the minimum (0: any float).
    double minimum;
    bool aboveMinimum;
    double maximum;
    double step;
    // A knob's turn stops at these: the frequency knob never goes below 0.01 Hz.
    double turnMinimum;
    double turnMaximum;
    // What the knob shows: (value - displayOrigin) / displayPer, in steps of displayStep; its unit.
    double displayOrigin;
    double displayPer;
    double displayStep;
    const char* unit;
    // The names of the values a choice takes in files ("square") and in words ("pulse"); null otherwise.
    const char* const* choiceNames;
    const char* const* choiceWords;
    // The configuration's member (null: a configuration does not hold it), the events file's member for
    // a value set outright and for one tick of the knob (null: none).
    const char* fileName;
    const char* eventName;
    const char* tickEventName;
    // The plugin's property ("osc1-" + symbol) and its label ("Oscillator 1 " + label); null symbol: the
    // host does not see the control.
    const char* pluginSymbol;
    const char* pluginLabel;
    const char* pluginComment;  // null: none
    const char* pluginUnit;     // a Turtle unit ("units:hz"), null: none
    PluginRange pluginRange;
    // A screen reader's name after the owner's ("Oscillator 1 frequency"); null: the row's controls are
    // named by their choice (", sine").
    const char* spokenName;
    // The panel's first control of the row; the owners' controls follow, and a choice's buttons come in
    // groups of `count`, one group per value.
    int firstPanelId;
    ControllerScale controllerScale;
};

// The top of the typed entry: a typed frequency above it is taken as this.
constexpr float kMaxTypedFrequency = 5000.0f;
// The top of a knob's turn and of a configuration's frequencies.
constexpr float kMaxKnobFrequency = 5500.0f;

inline constexpr const char* kWaveTypeNames[] = {"sine", "square", "sawtooth", "random", nullptr};
inline constexpr const char* kWaveTypeWords[] = {"sine", "pulse", "ramp", "random", nullptr};

// Each row's fields in groups, a line each: what and whose; the values set outright (minimum, above it,
// maximum, step); the knob (turn from, to, display origin, per, step, unit); the choices' names and
// words; the configuration's, the event's and the tick's names; the plugin's symbol, label, comment,
// unit and range; the spoken name and the panel's first id; how a MIDI controller sets it.
// clang-format off
inline constexpr ControlRow kControls[] = {
    {Control::WaveType, ControlOwner::Oscillator,
     kSine, false, kRandom, 1,
     kSine, kRandom, 0, 1, 1, "",
     kWaveTypeNames, kWaveTypeWords,
     "type", "type", nullptr,
     "type", "wave", nullptr, nullptr, {false, 0, 0, 3},
     nullptr, 117, ControllerScale::Bands},
    {Control::Frequency, ControlOwner::Oscillator,
     0, true, kMaxKnobFrequency, 0,
     0.01, kMaxKnobFrequency, 0, 1, 0.01, "Hz",
     nullptr, nullptr,
     "frequency", "frequency", "frequency-knob",
     nullptr, nullptr, nullptr, nullptr, {true, 100, 0.01, kMaxKnobFrequency},
     "frequency", 101, ControllerScale::Exponential},
    // What the entry under a knob takes: anything above 0, more than the maximum taken as the maximum.
    // The host's frequency is this, as typed, over the knob's range.
    {Control::TypedFrequency, ControlOwner::Oscillator,
     0, true, kMaxTypedFrequency, 0,
     0, kMaxTypedFrequency, 0, 1, 0.01, "Hz",
     nullptr, nullptr,
     nullptr, "typed", nullptr,
     "frequency", "frequency",
         "As typed under the knob: 5000 Hz at most; a configuration may hold up to 5500.",
         "units:hz", {true, 100, 0.01, kMaxKnobFrequency},
     "frequency entry", 109, ControllerScale::None},
    {Control::Level, ControlOwner::MixerChannel,
     0, false, 128, 1,
     0, 128, 0, 1, 1, "",
     nullptr, nullptr,
     "level", "level", "level-knob",
     "level", "level", nullptr, nullptr, {false, 64, 0, 128},
     "level", 149, ControllerScale::Steps},
    {Control::Pan, ControlOwner::MixerChannel,
     0, false, 100, 5,
     0, 100, 50, 5, 1, "",
     nullptr, nullptr,
     "pan", "pan", "pan-knob",
     "pan", "pan", "0 is left, 100 right, in steps of 5.", nullptr, {false, 50, 0, 100},
     "pan", 157, ControllerScale::Steps},
};
// clang-format on

constexpr const ControlRow& controlRow(Control c) {
    return kControls[static_cast<int>(c)];
}

// The words a refusal uses: "level must be a whole number from 0 to 128".
std::string controlRule(const ControlRow& row);

// Whether `value` is one the control may be set to (false for NaN).
bool controlAllows(const ControlRow& row, double value);

// The value outright, held to the row's range first (NaN taken as the minimum) and truncated toward zero
// to the row's step, as the engine truncates: what a host's or a controller's number sets.
double controlHeld(const ControlRow& row, double value);

// The choice's value named `name` in files, or -1.
int controlChoiceNamed(const ControlRow& row, const std::string& name);
// The file's name of a choice's value; the first choice's for a value it does not have.
const char* controlChoiceName(const ControlRow& row, int value);

// The value the engine holds now for control `index` (oscillator or channel) of the row.
double controlValue(const ControlRow& row, const EngineState& s, int index);

// The edit that sets control `index` of the row to `value` outright, as the panel's own gesture does
// (the type button, the typed entry, the level knob set outright, the pan control set outright).
Edit controlEdit(const ControlRow& row, int index, double value);

// The value a MIDI controller standing at `value` of 0..`full` (127, or 16383 for a 14-bit pair) sets the
// row's control to, by its controllerScale: a level round(v x 128 / 127), a pan 5 x round(v x 20 / 127), a
// frequency from the knob's lowest to its highest exponentially (in hundredths of a hertz), a wave type
// in four equal bands. The row's minimum for a row no controller sets.
double controllerValue(const ControlRow& row, int value, int full);

// The knob's shown value of an engine value ("+2" for pan 60), and the engine value a shown one means.
double controlShown(const ControlRow& row, double value);
double controlFromShown(const ControlRow& row, double shown);

// A number as the table's words and the Turtle write it: the shortest decimal form ("5500", "0.01").
std::string controlNumber(double value);

// The panel control's row and owner's index (the oscillator or channel), or null when `panelId` is no
// row's; `choice` gets the value of a choice's button.
const ControlRow* panelControl(int panelId, int& index, int& choice);

}  // namespace voltina
