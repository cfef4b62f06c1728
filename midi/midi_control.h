#pragma once
// Opening and closing the MIDI keyboard's input, and what the engine state records of it.
//
// GUI thread.

#include "engine/engine_state.h"
#include "midi/midi_input.h"

namespace voltina {

// The start-up's message when openMidiInput returns 0; the program goes on without MIDI.
constexpr const char* kNoMidiInputMessage = "Impossible to find MIDI input";

// Closes the input first when midiOpen is set, then opens a port (see MidiInput). 1 with midiOpen = 1
// when a port is open and started, else 0 (midiOpen stays 0).
int openMidiInput(EngineState& s, MidiInput& input, const MidiInputOptions& options, MidiConsumer consumer);

// Stops the input and closes its port; midiOpen = 0 in every case. The held keys, the sounding note
// and its pitch (noteDown, midiNote, midiFreq, midiStep) stay as they are.
void closeMidiInput(EngineState& s, MidiInput& input);

}  // namespace voltina
