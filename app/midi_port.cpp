#include "app/midi_port.h"

#include <utility>

#include "media/midi_control.h"
#include "panel/t_princ.h"

namespace voltina {

ProgramMidi::ProgramMidi(EngineState& state, MidiInputOptions options)
    : state_(state),
      options_(std::move(options)),
      delivery_([this](std::uint32_t packed) { onMidiData(packed); }) {}

ProgramMidi::~ProgramMidi() {
    voltina::closeMidiInput(state_, midiInHandle);
}

int ProgramMidi::openMidiInput(QWidget* panel) {
    panel_ = panel;
    return voltina::openMidiInput(state_, midiInHandle, options_, delivery_.consumer());
}

void ProgramMidi::closeMidiInput() {
    voltina::closeMidiInput(state_, midiInHandle);
}

void ProgramMidi::onMidiData(std::uint32_t packed) {
    // A message still queued when the panel has gone has no one to play.
    if (auto* panel = qobject_cast<TPrinc*>(panel_.data())) panel->onMidiData(packed);
}

}  // namespace voltina
