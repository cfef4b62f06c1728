// A MIDI controller on JACK for the scenarios: a client NAME with one MIDI output, "out", that sends a
// control change for each line "CONTROLLER VALUE" read from standard input (on MIDI channel 1), in the
// next process cycle. It ends at the end of its input.
//
//   voltina-test-jack-controller NAME < lines

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

jack_port_t* port = nullptr;
jack_ringbuffer_t* waiting = nullptr;

int process(jack_nframes_t frames, void*) {
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    unsigned char message[3];
    while (jack_ringbuffer_read_space(waiting) >= sizeof message) {
        jack_ringbuffer_read(waiting, reinterpret_cast<char*>(message), sizeof message);
        jack_midi_event_write(buffer, 0, message, sizeof message);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: voltina-test-jack-controller NAME < lines of \"CONTROLLER VALUE\"\n");
        return 2;
    }
    jack_client_t* client = jack_client_open(argv[1], JackNoStartServer, nullptr);
    if (client == nullptr) {
        std::fprintf(stderr, "voltina-test-jack-controller: no JACK server\n");
        return 1;
    }
    waiting = jack_ringbuffer_create(4096);
    port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client, process, nullptr);
    if (port == nullptr || jack_activate(client) != 0) {
        std::fprintf(stderr, "voltina-test-jack-controller: cannot start the client\n");
        return 1;
    }
    int controller = 0;
    int value = 0;
    while (std::scanf("%d %d", &controller, &value) == 2) {
        const unsigned char message[3] = {0xB0, static_cast<unsigned char>(controller & 0x7F),
                                          static_cast<unsigned char>(value & 0x7F)};
        while (jack_ringbuffer_write_space(waiting) < sizeof message)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        jack_ringbuffer_write(waiting, reinterpret_cast<const char*>(message), sizeof message);
        std::printf("sent %d %d\n", controller, value);
        std::fflush(stdout);
    }
    // What is still queued goes out before the client does.
    while (jack_ringbuffer_read_space(waiting) > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    jack_client_close(client);
    jack_ringbuffer_free(waiting);
    return 0;
}
