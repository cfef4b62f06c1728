#pragma once
// The command-line choice of a MIDI input port: `--midi-port NAME` or `--midi-port=NAME`, where NAME
// is a part of the port's name as the MIDI system lists it ("USB Keyboard", "20:0", "midi_capture_2").
//
// Main thread, before the program starts.

#include <string>

namespace voltina {

// Takes every `--midi-port` option out of argv (argc and argv are shortened, the rest keep their
// order); the last one wins. False, with a sentence in `error`, when the option has no name after it.
bool takeMidiPortOption(int& argc, char** argv, std::string& choice, std::string& error);

}  // namespace voltina
