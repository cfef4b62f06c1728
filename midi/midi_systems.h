#pragma once
// Whether a MIDI system can be reached before a client is made on it, so that a system that is absent
// costs nothing and prints nothing.
//
// GUI thread.

#include <string>

namespace voltina {

// Where the kernel's ALSA sequencer lives.
constexpr const char* kAlsaSequencerDevice = "/dev/snd/seq";

// True when the sequencer device exists and this user may open it.
bool alsaSequencerPresent(const std::string& device = kAlsaSequencerDevice);

// True when a JACK server (the one JACK_DEFAULT_SERVER names, else the default one) answers. Never
// starts a server.
bool jackServerRunning();

// Keeps libjack's own messages ("Cannot connect to server socket", ...) off the terminal, for the
// whole process: they repeat what the program already reports in its own words.
void quietJackLibrary();

}  // namespace voltina
