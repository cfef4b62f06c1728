#pragma once
// The live program's render: pulls from the engine the frames the device has played since the previous
// call and writes them where it has just played, so it plays them on its next lap through the ring;
// a recording in progress receives the same bytes. Plain C++ over the engine: no Qt, no device library.

#include <cstdint>

#include "audio/render_watch.h"
#include "engine/engine_state.h"

namespace voltina {

// What the ring render needs from the world around it: the device's play position and the failure path.
// GUI thread only.
class RenderHost {
  public:
    virtual ~RenderHost() = default;
    // True while an output device is open.
    virtual bool deviceOpen() const = 0;
    // Frames played since the device was opened, counted across laps. False when it cannot be read.
    virtual bool readPlayPosition(std::uint64_t& frames) = 0;
    // The position could not be read. First the host stops the timer that calls the ring render, so no
    // further call comes while the failure is handled; then speakerOn is cleared, and the host closes the
    // device (offering a recording for saving) and shows the message.
    virtual void stopRenderTimer() = 0;
    virtual void closeDevice() = 0;
    virtual void showMessage(const char* text) = 0;
    // Who watches the frames as they are rendered, if anyone.
    virtual RenderWatch* watch() { return nullptr; }
};

constexpr const char* kPositionLostMessage = "Impossible to read the position in the wave";
constexpr const char* kRecordingMemoryMessage = "Memory problem";

// The render gate's call: the frames played since the previous call into the ring (and the recording).
void renderBlock(EngineState& s, RenderHost& host);

// `frames` frames into the ring at writePos and the recording, pulled from the engine in batches; the
// recording's growth, which may fail and show a message, comes between two pulls, so an edit made while
// the message is up acts from the next frame on.
void renderIntoRing(EngineState& s, RenderHost& host, int frames);

// Writes `count` frames of bytes (two per frame) into the ring from writePos on, wrapping at the played
// length, and appends them to a recording in progress; tests write the frame-at-a-time path's frames
// with it.
void writeIntoRing(EngineState& s, RenderHost& host, const std::uint8_t* bytes, int count);

}  // namespace voltina
