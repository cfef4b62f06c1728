#include "audio/backend_choice.h"

#include "audio/jack_device.h"
#include "audio/null_device.h"
#include "audio/pulse_device.h"
#include "audio/pulse_probe.h"
#include "audio/rtaudio_device.h"

namespace voltina {

bool parseBackendName(const std::string& name, AudioBackend& backend) {
    if (name == "pulse") {
        backend = AudioBackend::Pulse;
    } else if (name == "alsa") {
        backend = AudioBackend::Alsa;
    } else if (name == "jack") {
        backend = AudioBackend::Jack;
    } else if (name == "null") {
        backend = AudioBackend::Null;
    } else {
        return false;
    }
    return true;
}

std::unique_ptr<WaveDevice> createWaveDevice(AudioBackend backend, bool connectPorts,
                                             const std::string& jackClientName) {
    switch (backend) {
        case AudioBackend::Null:
            return std::make_unique<NullDevice>();
        case AudioBackend::Pulse:
            return std::make_unique<PulseDevice>();
        case AudioBackend::Alsa:
            return std::make_unique<RtAudioDevice>();
        case AudioBackend::Jack:
            return std::make_unique<JackDevice>(connectPorts, jackClientName);
        case AudioBackend::Automatic:
            break;
    }
    if (probePulseServer().sinks > 0) return std::make_unique<PulseDevice>();
    return std::make_unique<RtAudioDevice>();
}

}  // namespace voltina
