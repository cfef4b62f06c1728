#include "midi/midi_port_option.h"

#include <cstring>

namespace voltina {

namespace {
constexpr const char* kOption = "--midi-port";
constexpr const char* kMissingName =
    "--midi-port needs the name of a MIDI input port, or a part of it, for example --midi-port \"USB\"";
}  // namespace

bool takeMidiPortOption(int& argc, char** argv, std::string& choice, std::string& error) {
    const std::size_t optionLength = std::strlen(kOption);
    bool ok = true;
    int kept = argc > 0 ? 1 : 0;  // argv[0] is the program's name
    for (int i = kept; i < argc; ++i) {
        const char* arg = argv[i];
        // After "--" every argument is a file name, "--midi-port=x" too: kept for the command line.
        if (std::strcmp(arg, "--") == 0) {
            while (i < argc) argv[kept++] = argv[i++];
            break;
        }
        if (std::strcmp(arg, kOption) == 0) {
            // a port's name never starts with "--": that is the next option, not a name
            if (i + 1 < argc && argv[i + 1][0] != '\0' && std::strncmp(argv[i + 1], "--", 2) != 0) {
                choice = argv[++i];
            } else {
                ok = false;
                error = kMissingName;
                if (i + 1 < argc && argv[i + 1][0] == '\0') ++i;  // an empty name goes with its option
            }
            continue;
        }
        if (std::strncmp(arg, kOption, optionLength) == 0 && arg[optionLength] == '=') {
            if (arg[optionLength + 1] != '\0') {
                choice = arg + optionLength + 1;
            } else {
                ok = false;
                error = kMissingName;
            }
            continue;
        }
        argv[kept++] = argv[i];
    }
    if (kept < argc) argv[kept] = nullptr;
    argc = kept;
    return ok;
}

}  // namespace voltina
