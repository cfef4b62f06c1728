#include "midi/midi_control.h"

#include <utility>

namespace voltina {

int openMidiInput(EngineState& s, MidiInput& input, const MidiInputOptions& options, MidiConsumer consumer) {
    if (s.midiOpen == 1) closeMidiInput(s, input);
    if (!input.open(options, std::move(consumer))) return 0;
    s.midiOpen = 1;
    return 1;
}

void closeMidiInput(EngineState& s, MidiInput& input) {
    // Closed whether or not midiOpen says it is open: a port left open would go on changing the keys.
    input.close();
    s.midiOpen = 0;
}

}  // namespace voltina
