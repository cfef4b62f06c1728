#pragma once
// Which wave-output backend the program uses: `--audio pulse|alsa|jack|null` on the command line, else the
// VOLTINA_AUDIO environment variable, else PulseAudio when a server is there, then ALSA.

#include <memory>
#include <string>

#include "audio/wave_device.h"

namespace voltina {

enum class AudioBackend { Automatic, Pulse, Alsa, Jack, Null };

struct AudioOptions {
    AudioBackend backend = AudioBackend::Automatic;
    bool printStats = false;  // --stats: print the stale-frame figures when the program ends
    std::string error;        // a bad value: what to tell the user (the backend then stays Automatic)
};

// Reads --audio NAME, --audio=NAME and --stats from the arguments (other arguments are left alone), and
// VOLTINA_AUDIO from `environmentValue` (pass getenv("VOLTINA_AUDIO"); null when unset).
AudioOptions parseAudioOptions(int argc, const char* const* argv, const char* environmentValue);

// "pulse", "alsa", "jack", "null"; false for anything else.
bool parseBackendName(const std::string& name, AudioBackend& backend);

// The device for a choice. Automatic probes the PulseAudio server and falls back on ALSA; a device with no
// output then makes the audio initialisation report that no card was found. `connectPorts`: a JACK device
// connects its outputs to the system's playback ports when it starts (--no-connect clears it).
std::unique_ptr<WaveDevice> createWaveDevice(AudioBackend backend, bool connectPorts = true,
                                             const std::string& jackClientName = "Voltina");

}  // namespace voltina
