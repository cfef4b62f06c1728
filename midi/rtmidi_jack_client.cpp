#include "midi/rtmidi_jack_client.h"

namespace voltina {

namespace {

// RtMidi keeps its API object and that object's data protected. A pointer to a protected member, formed
// inside a derived class, is allowed to read it; neither class is ever instantiated.
struct RtMidiAccess : RtMidi {
    static MidiApi* api(RtMidi& midi) { return midi.*(&RtMidiAccess::rtapi_); }
};
struct MidiApiAccess : MidiApi {
    static void* data(MidiApi& api) { return api.*(&MidiApiAccess::apiData_); }
};

// RtMidi's JACK data is its own struct; in the 5.x series its first member is the jack_client_t*.
constexpr bool knownLayout(const char* version) {
    return version[0] == '5' && version[1] == '.';
}

jack_client_t* clientOf(RtMidi& midi, RtMidi::Api api) {
    if constexpr (!knownLayout(RTMIDI_VERSION)) {
        return nullptr;
    } else {
        // A library other than the one the header describes could lay its data out differently.
        if (RtMidi::getVersion() != RTMIDI_VERSION || api != RtMidi::UNIX_JACK) return nullptr;
        MidiApi* rtapi = RtMidiAccess::api(midi);
        void* data = rtapi ? MidiApiAccess::data(*rtapi) : nullptr;
        return data ? *static_cast<jack_client_t**>(data) : nullptr;
    }
}

}  // namespace

jack_client_t* jackClientOf(RtMidiIn& midi) {
    return clientOf(midi, midi.getCurrentApi());
}

jack_client_t* jackClientOf(RtMidiOut& midi) {
    return clientOf(midi, midi.getCurrentApi());
}

}  // namespace voltina
