#include "midi/midi_ports.h"

#include <algorithm>
#include <cctype>

namespace voltina {

namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool contains(const std::string& text, const std::string& part) {
    return lowerCase(text).find(lowerCase(part)) != std::string::npos;
}

std::string clientPart(const std::string& portName) {
    return portName.substr(0, portName.find(':'));
}

bool isOwnPort(const std::string& portName, const std::string& ownClient) {
    // JACK renames a second client "Voltina MIDI" to "Voltina MIDI-01", so a prefix match catches every
    // instance.
    const std::string client = clientPart(portName);
    return !ownClient.empty() && client.compare(0, ownClient.size(), ownClient) == 0;
}

}  // namespace

bool isDevicePort(const std::string& portName, const std::string& ownClient) {
    if (isOwnPort(portName, ownClient)) return false;
    if (contains(portName, "Midi Through")) return false;
    const std::string client = clientPart(portName);
    return client != "PipeWire-System" && client != "PipeWire-RT-Event";
}

int chooseInputPort(const std::vector<std::string>& ports, const std::string& choice,
                    const std::string& ownClient) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const bool fits = choice.empty() ? isDevicePort(ports[i], ownClient)
                                         : !isOwnPort(ports[i], ownClient) && contains(ports[i], choice);
        if (fits) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace voltina
