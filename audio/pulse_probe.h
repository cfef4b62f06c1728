#pragma once
// Asks the PulseAudio server (or PipeWire's Pulse server) whether it is there and has somewhere to play.
// RtAudio cannot tell: it always reports one Pulse device, and opening a stream on a server without any
// sink crashes inside it. Never starts a server. GUI thread.

namespace voltina {

struct PulseServerInfo {
    bool reachable = false;
    int sinks = 0;
};

// Gives up after `timeoutMs` when the server does not answer.
PulseServerInfo probePulseServer(int timeoutMs = 2000);

}  // namespace voltina
