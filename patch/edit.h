#pragma once
// Every operation a person can make on the panel, as a value. The panel makes them from clicks, the
// events file of voltina-render from its lines, the undo history from its snapshots, and all of them
// reach the engine through applyEdit alone, so a gesture does the same thing wherever it comes from.
// Plain C++.

#include <memory>
#include <string>

#include "patch/panel_patch.h"

namespace voltina {

enum class EditKind {
    FrequencyKnob,      // an oscillator knob's tick: index, amount = the held button's step
    TypedFrequency,     // the frequency typed under a knob: index, amount = the typed value
    Frequency,          // a frequency set as a configuration sets it (0 < f <= 5500): index, amount
    WaveType,           // a wave-type button: index, value = 0..3
    LevelKnob,          // a level knob's tick: index = channel, amount = step
    Level,              // a level set outright: index, value = 0..128
    PanKnob,            // a pan control's tick: index, value = +1 (right) or -1 (left)
    Pan,                // a pan set outright: index, value = 0..100 in steps of 5
    Plug,               // output index `output` into input index `input`
    UnplugAtInput,      // the cord taken out at input `input`
    UnplugAtOutput,     // the cord taken out at output `output`; that output then reads 0
    Sync,               // the Sync button
    LoadSample,         // `patch->sample` from `patch->samplePath` into the Wave player
    RemoveSample,       // "No wave", or a refused load
    LoadConfiguration,  // the whole `patch`, as the menu's load does
    Restore,            // the whole `patch` as it was (undo and redo); the sound goes on
    Controllers,        // the MIDI controllers bound as `patch->controllers` has them (a learn, a forget):
                        // value = the controller number learnt or forgotten; the engine is not touched
};

struct Edit {
    EditKind kind = EditKind::Sync;
    int index = 0;   // oscillator or mixer channel, by kind
    int input = 0;   // an input jack's index: Plug, UnplugAtInput
    int output = 0;  // an output jack's index: Plug, UnplugAtOutput
    int value = 0;
    float amount = 0.0f;
    std::shared_ptr<const PanelPatch> patch;  // LoadSample, LoadConfiguration, Restore

    static Edit frequencyKnob(int osc, float step) {
        return {EditKind::FrequencyKnob, osc, 0, 0, 0, step, {}};
    }
    static Edit typedFrequency(int osc, float typed) {
        return {EditKind::TypedFrequency, osc, 0, 0, 0, typed, {}};
    }
    static Edit frequency(int osc, float f) { return {EditKind::Frequency, osc, 0, 0, 0, f, {}}; }
    static Edit waveType(int osc, int type) { return {EditKind::WaveType, osc, 0, 0, type, 0.0f, {}}; }
    static Edit levelKnob(int channel, float step) {
        return {EditKind::LevelKnob, channel, 0, 0, 0, step, {}};
    }
    static Edit level(int channel, int level) { return {EditKind::Level, channel, 0, 0, level, 0.0f, {}}; }
    static Edit panKnob(int channel, int direction) {
        return {EditKind::PanKnob, channel, 0, 0, direction, 0.0f, {}};
    }
    static Edit pan(int channel, int pan) { return {EditKind::Pan, channel, 0, 0, pan, 0.0f, {}}; }
    static Edit plug(int output, int input) { return {EditKind::Plug, 0, input, output, 0, 0.0f, {}}; }
    static Edit unplugAtInput(int input) { return {EditKind::UnplugAtInput, 0, input, 0, 0, 0.0f, {}}; }
    static Edit unplugAtOutput(int output) { return {EditKind::UnplugAtOutput, 0, 0, output, 0, 0.0f, {}}; }
    static Edit sync() { return {EditKind::Sync, 0, 0, 0, 0, 0.0f, {}}; }
    static Edit loadSample(std::shared_ptr<SampleRecord> sample, const std::string& path);
    static Edit removeSample() { return {EditKind::RemoveSample, 0, 0, 0, 0, 0.0f, {}}; }
    static Edit loadConfiguration(PanelPatch patch);
    static Edit restore(PanelPatch patch);
    static Edit controllers(ControllerBindings bindings, int cc);
};

// Whether the edit changes a setting a configuration holds (Sync does not: it restarts the sound).
bool changesPatch(EditKind kind);
// Whether the edit changes what the engine plays (the controllers' bindings do not, until one moves).
bool actsOnEngine(EditKind kind);

}  // namespace voltina
