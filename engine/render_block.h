#pragma once
// The render loop: computes the frames the device has played since the previous call and writes them
// where it has just played, so it plays them on its next lap through the ring.

#include <cstdint>

#include "engine/engine_state.h"

namespace voltina {

// What the render loop needs from the world around it: the device's play position and the failure path.
// GUI thread only.
class RenderHost {
  public:
    virtual ~RenderHost() = default;
    // True while an output device is open.
    virtual bool deviceOpen() const = 0;
    // Frames played since the device was opened, counted across laps. False when it cannot be read.
    virtual bool readPlayPosition(std::uint64_t& frames) = 0;
    // The position could not be read. First the host stops the timer that calls the render loop, so no
    // further call comes while the failure is handled; then the engine clears speakerOn, and the host
    // closes the device (offering a recording for saving) and shows the message.
    virtual void stopRenderTimer() = 0;
    virtual void closeDevice() = 0;
    virtual void showMessage(const char* text) = 0;
};

constexpr const char* kPositionLostMessage = "Impossible to read the position in the wave";
constexpr const char* kRecordingMemoryMessage = "Memory problem";

void renderBlock(EngineState& s, RenderHost& host);

// Computes one frame into the ring at writePos (and the recording); exposed for tests and benchmarks.
void renderFrame(EngineState& s, RenderHost& host);

}  // namespace voltina
