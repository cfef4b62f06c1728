#include "audio/rtaudio_jack_client.h"

#include <jack/jack.h>
#include <rtaudio/RtAudio.h>

#include <cstring>
#include <string>

namespace voltina {

namespace {

// RtAudio keeps its API object and that object's stream handle protected. A pointer to a protected member,
// formed inside a derived class, is allowed to read it; neither class is ever instantiated.
struct RtAudioAccess : RtAudio {
    static RtApi* api(RtAudio& rt) { return rt.*(&RtAudioAccess::rtapi_); }
};
struct RtApiAccess : RtApi {
    static void* handle(RtApi& api) { return (api.*(&RtApiAccess::stream_)).apiHandle; }
};

// The JACK handle is RtAudio's own struct; in the 5.x series its first member is the jack_client_t*.
constexpr bool knownLayout(const char* version) {
    return version[0] == '5' && version[1] == '.';
}

void onServerGone(void* arg) {
    static_cast<std::atomic<bool>*>(arg)->store(true, std::memory_order_release);
}

void onServerGoneWithReason(jack_status_t, const char*, void* arg) {
    onServerGone(arg);
}

}  // namespace

bool takeOverJackShutdown(RtAudio& rt, const std::string& clientName, std::atomic<bool>& lost) {
    if constexpr (!knownLayout(RTAUDIO_VERSION)) {
        return false;
    } else {
        // A library other than the one the header describes could lay its handle out differently.
        if (RtAudio::getVersion() != RTAUDIO_VERSION) return false;
        if (rt.getCurrentApi() != RtAudio::UNIX_JACK || !rt.isStreamOpen() || rt.isStreamRunning())
            return false;
        RtApi* api = RtAudioAccess::api(rt);
        void* handle = api ? RtApiAccess::handle(*api) : nullptr;
        if (handle == nullptr) return false;
        jack_client_t* client = *static_cast<jack_client_t**>(handle);
        if (client == nullptr) return false;
        // The client RtAudio opened carries the stream's name, so a wrong pointer shows here first.
        const char* name = jack_get_client_name(client);
        if (name == nullptr || std::strncmp(name, clientName.c_str(), clientName.size()) != 0) return false;
        // A client has one handler of each kind. libjack calls the plain one too when its threads notice the
        // loss more than once (the information handler is used up by the first call), so RtAudio's (the
        // plain one) is replaced as well as shadowed.
        jack_on_shutdown(client, &onServerGone, &lost);
        jack_on_info_shutdown(client, &onServerGoneWithReason, &lost);
        return true;
    }
}

}  // namespace voltina
