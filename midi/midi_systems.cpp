#include "midi/midi_systems.h"

#include <jack/jack.h>
#include <unistd.h>

#include <mutex>

namespace voltina {

namespace {
void dropJackMessage(const char*) {}
}  // namespace

bool alsaSequencerPresent(const std::string& device) {
    return ::access(device.c_str(), R_OK | W_OK) == 0;
}

void quietJackLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(dropJackMessage);
        jack_set_info_function(dropJackMessage);
    });
}

bool jackServerRunning() {
    quietJackLibrary();
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("Voltina probe", JackNoStartServer, &status);
    if (probe == nullptr) return false;
    jack_client_close(probe);
    return true;
}

}  // namespace voltina
