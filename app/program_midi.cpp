#include "app/program_midi.h"

#include <utility>

#include "midi/midi_control.h"
#include "panel/synth_panel.h"

namespace voltina {

ProgramMidi::ProgramMidi(EngineState& state, MidiInputOptions options)
    : state_(state),
      options_(std::move(options)),
      delivery_([this](std::uint32_t packed) { onMidiData(packed); }) {}

ProgramMidi::~ProgramMidi() {
    voltina::closeMidiInput(state_, input_);
}

int ProgramMidi::openMidiInput(QWidget* panel) {
    panel_ = panel;
    return voltina::openMidiInput(state_, input_, options_, delivery_.consumer());
}

void ProgramMidi::closeMidiInput() {
    voltina::closeMidiInput(state_, input_);
}

void ProgramMidi::onMidiData(std::uint32_t packed) {
    // A message still queued when the panel has gone has no one to play.
    auto* panel = qobject_cast<SynthPanel*>(panel_.data());
    if (!panel) return;
    panel->onMidiData(packed);
    if (heard_) heard_(packed);
}

}  // namespace voltina
