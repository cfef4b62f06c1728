#pragma once
// Which wave-output backend the program uses: `--audio pulse|alsa|jack|null` on the command line, else the
// VOLTINA_AUDIO environment variable, else PulseAudio when a server is there, then ALSA.

#include <memory>
#include <string>

#include "audio/wave_device.h"

namespace voltina {

enum class AudioBackend { Automatic, Pulse, Alsa, Jack, Null };

// "pulse", "alsa", "jack", "null"; false for anything else.
bool parseBackendName(const std::string& name, AudioBackend& backend);

// The device for a choice. Automatic probes the PulseAudio server and falls back on ALSA; a device with no
// output then makes the audio initialisation report that no card was found. `connectPorts`: a JACK device
// connects its outputs to the system's playback ports when it starts (--no-connect clears it).
std::unique_ptr<WaveDevice> createWaveDevice(AudioBackend backend, bool connectPorts = true,
                                             const std::string& jackClientName = "Voltina");

}  // namespace voltina
