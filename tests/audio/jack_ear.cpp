#include "jack_ear.h"

#include <chrono>
#include <thread>

namespace voltina::test {

JackEar::~JackEar() {
    if (client_) jack_client_close(client_);
}

bool JackEar::open() {
    client_ = jack_client_open("voltina_ear", JackNoStartServer, nullptr);
    if (!client_) return false;
    in_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    in_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client_, &JackEar::process, this);
    return in_[0] && in_[1] && jack_activate(client_) == 0;
}

int JackEar::connectFrom(const std::string& prefix) {
    const std::string pattern = "^" + prefix + ":";
    const char** ports = jack_get_ports(client_, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
    int connected = 0;
    for (int i = 0; ports && ports[i] && i < 2; ++i)
        connected += jack_connect(client_, ports[i], jack_port_name(in_[i])) == 0;
    if (ports) jack_free(ports);
    return connected;
}

void JackEar::listen() {
    listening_.store(false);
    written_.store(0);
    listening_.store(true);
}

int JackEar::process(jack_nframes_t frames, void* self) {
    auto* ear = static_cast<JackEar*>(self);
    if (const int ms = ear->holdUpMs_.exchange(0)) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    if (!ear->listening_.load()) return 0;
    const auto* l = static_cast<const float*>(jack_port_get_buffer(ear->in_[0], frames));
    const auto* r = static_cast<const float*>(jack_port_get_buffer(ear->in_[1], frames));
    std::size_t at = ear->written_.load(std::memory_order_relaxed);
    for (jack_nframes_t i = 0; i < frames && at < ear->left_.size(); ++i, ++at) {
        ear->left_[at] = l[i];
        ear->right_[at] = r[i];
    }
    ear->written_.store(at, std::memory_order_release);
    return 0;
}

}  // namespace voltina::test
