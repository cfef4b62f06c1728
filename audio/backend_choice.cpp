#include "audio/backend_choice.h"

#include <cstring>

#include "audio/jack_device.h"
#include "audio/null_device.h"
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

namespace {
std::string badName(const std::string& where, const std::string& name) {
    return "Unknown audio system \"" + name + "\" in " + where +
           ": use pulse, alsa, jack or null. Voltina chooses one itself.";
}
}  // namespace

AudioOptions parseAudioOptions(int argc, const char* const* argv, const char* environmentValue) {
    AudioOptions options;
    bool fromCommandLine = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] ? argv[i] : "";
        std::string value;
        if (arg == "--stats") {
            options.printStats = true;
            continue;
        }
        if (arg == "--audio") {
            if (i + 1 >= argc) {
                options.error = "--audio needs a value: pulse, alsa, jack or null.";
                continue;
            }
            value = argv[++i];
        } else if (arg.rfind("--audio=", 0) == 0) {
            value = arg.substr(std::strlen("--audio="));
        } else {
            continue;
        }
        AudioBackend backend;
        if (parseBackendName(value, backend)) {
            options.backend = backend;
            fromCommandLine = true;
        } else {
            options.error = badName("--audio", value);
        }
    }
    if (!fromCommandLine && environmentValue && *environmentValue) {
        AudioBackend backend;
        if (parseBackendName(environmentValue, backend)) {
            options.backend = backend;
        } else if (options.error.empty()) {
            options.error = badName("VOLTINA_AUDIO", environmentValue);
        }
    }
    return options;
}

std::unique_ptr<WaveDevice> createWaveDevice(AudioBackend backend, bool connectPorts,
                                             const std::string& jackClientName) {
    switch (backend) {
        case AudioBackend::Null:
            return std::make_unique<NullDevice>();
        case AudioBackend::Pulse:
            return std::make_unique<RtAudioDevice>(RtBackend::Pulse);
        case AudioBackend::Alsa:
            return std::make_unique<RtAudioDevice>(RtBackend::Alsa);
        case AudioBackend::Jack:
            return std::make_unique<JackDevice>(connectPorts, jackClientName);
        case AudioBackend::Automatic:
            break;
    }
    if (probePulseServer().sinks > 0) return std::make_unique<RtAudioDevice>(RtBackend::Pulse);
    return std::make_unique<RtAudioDevice>(RtBackend::Alsa);
}

}  // namespace voltina
