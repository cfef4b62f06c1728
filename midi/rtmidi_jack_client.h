#pragma once
// The JACK client inside an RtMidi object on JACK. RtMidi keeps it to itself, but some things need it:
// handlers for the server shutting the client down, and stopping the client's callbacks before RtMidi's
// own teardown runs.

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

namespace voltina {

// The client, or null when the object is not on JACK, has no client yet, or comes from an RtMidi whose
// internals are not the ones this was written for (the 5.x series).
jack_client_t* jackClientOf(RtMidiIn& midi);
jack_client_t* jackClientOf(RtMidiOut& midi);

}  // namespace voltina
