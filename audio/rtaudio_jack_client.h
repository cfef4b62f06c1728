#pragma once
// RtAudio 5.2 handles a JACK server that goes away by itself: its shutdown handler prints to std::cerr and
// closes the stream on a thread of its own, racing whatever the program does with the stream meanwhile. This
// reaches the JACK client behind an open RtAudio stream so that the server's death is reported to us instead.
//
// Threads: GUI thread, between openStream() and startStream() (JACK takes shutdown handlers only from a
// client that is not active yet). The handler itself runs on one of libjack's threads and only stores `lost`.

#include <atomic>
#include <string>

class RtAudio;

namespace voltina {

// Makes `lost` (release store) the only thing that happens when the JACK server of `rt`'s open stream shuts
// the client down: RtAudio's own handler no longer runs, so the stream stays open until the owner closes it.
// `clientName` is the stream name given to openStream(), which JACK may have suffixed. False when the client
// cannot be reached safely (an RtAudio whose internals are not the ones this was written for, another API,
// no stream): the stream must then not be used, since a dying server would take it away behind the owner's
// back.
bool takeOverJackShutdown(RtAudio& rt, const std::string& clientName, std::atomic<bool>& lost);

}  // namespace voltina
