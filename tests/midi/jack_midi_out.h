#pragma once
// The tests' keyboards are RtMidi outputs on JACK. RtMidi 5 frees such an output's message buffers before
// it closes its JACK client, so the client's process callback can still be reading them while the object
// is destroyed. Closing the port first (RtMidi waits a cycle for it), then deactivating the client (which
// waits for a callback in progress and allows no more) leaves the destructor nothing a callback touches.

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include "midi/rtmidi_jack_client.h"

namespace voltina::test {

inline void stopJackMidiOut(RtMidiOut& out) {
    out.closePort();
    if (jack_client_t* client = jackClientOf(out)) jack_deactivate(client);
}

// Stops `out` when it goes out of scope; declare it right after the output.
class JackMidiOutStopper {
  public:
    explicit JackMidiOutStopper(RtMidiOut& out) : out_(out) {}
    JackMidiOutStopper(const JackMidiOutStopper&) = delete;
    JackMidiOutStopper& operator=(const JackMidiOutStopper&) = delete;
    ~JackMidiOutStopper() { stopJackMidiOut(out_); }

  private:
    RtMidiOut& out_;
};

}  // namespace voltina::test
