#pragma once
// Which MIDI input port Voltina listens to. Port names are the ones the MIDI system lists:
// "client:port 20:0" on the ALSA sequencer, "client:port" on JACK.
//
// Any thread (pure functions).

#include <string>
#include <vector>

namespace voltina {

// The names Voltina goes by on the MIDI system: its client (apart from the JACK audio client "Voltina") and
// its input port.
constexpr const char* kMidiClientName = "Voltina MIDI";
constexpr const char* kMidiPortName = "midi_in";

// False for ports that are no device of their own: the sequencer's "Midi Through" loop-back (also as a
// JACK bridge lists it), the ALSA bridge clients of PipeWire, and Voltina's own ports (any instance).
bool isDevicePort(const std::string& portName, const std::string& ownClient = kMidiClientName);

// The index in `ports` of the port to open, or -1 when there is none.
// Without a choice: the first device port. With one: the first port whose name contains `choice`,
// ignoring case (a "Midi Through" port may be chosen by name; Voltina's own ports never are).
int chooseInputPort(const std::vector<std::string>& ports, const std::string& choice,
                    const std::string& ownClient = kMidiClientName);

}  // namespace voltina
