#pragma once
// voltina's command line: [options] [CONFIG]. Read before the application object exists, so that --help,
// --version and a wrong command line answer without a display, and --zoom can set the scale Qt draws at.
// Main thread, before the program starts.

#include <string>
#include <vector>

#include "audio/backend_choice.h"

namespace voltina {

struct ProgramOptions {
    bool help = false;
    bool version = false;
    bool recover = false;  // list the unsaved takes and end
    AudioBackend backend = AudioBackend::Automatic;
    bool printStats = false;
    bool connectPorts = true;  // --no-connect clears it: JACK outputs left unconnected
    double zoom = 1.0;         // 1, 1.5 or 2
    std::string configPath;    // empty: the default patch
    int pluginWindowFd = -1;   // --plugin-window FD: the plugin's window, linked to its host through FD
    // A bad VOLTINA_AUDIO value: worth a word on stderr, not worth refusing to start.
    std::string environmentWarning;
};

// The arguments after the program's name, without --midi-port (the MIDI layer takes that one out
// first), and the VOLTINA_AUDIO value (null when unset). False with a sentence in `error` for anything
// voltina does not understand: an unknown option, a missing or wrong value, a second CONFIG. Qt's own
// single-dash options (-platform xcb, -style fusion...) are passed over here; the application takes them.
bool parseProgramOptions(const std::vector<std::string>& args, const char* audioEnvironment,
                         ProgramOptions& out, std::string& error);

const char* programUsage();

// The text of QT_SCALE_FACTOR that draws everything `zoom` times as large on top of a scale already asked
// for in the environment (`current`, null when unset): Qt then lays out, draws the artwork and takes the
// mouse in the panel's own pixels, so every geometry (controls, fonts, cords) scales as one.
std::string scaleFactorFor(double zoom, const char* current);

}  // namespace voltina
