#pragma once
// The sound card through PulseAudio's own asynchronous API (also PipeWire's Pulse server): one playback
// stream that the server asks for frames as its buffer empties. The server is told how much to buffer
// (three device buffers of about 23 ms) and to ask for two at a time, so the program wakes about 45 times a
// second in all while it plays, where a blocking writer (RtAudio's) woke about 300 times.
//
// Threads: every public member on the GUI thread. The library's main-loop thread runs the write callback,
// which copies ring bytes and advances the play position, and the state callbacks, which raise a flag
// the GUI thread reads. Streams are closed on a short-lived thread of their own, because a frozen server
// can hold a close for as long as it likes.

#include <memory>

#include "audio/background_closers.h"
#include "audio/wave_device.h"

namespace voltina {

class PulseDevice : public WaveDevice {
  public:
    PulseDevice();
    ~PulseDevice() override;
    PulseDevice(const PulseDevice&) = delete;
    PulseDevice& operator=(const PulseDevice&) = delete;

    std::string name() const override { return "pulse"; }
    int probeDevices() override;
    bool deviceCaps(int index, DeviceCaps& caps) override;
    bool open(const DeviceFormat& format, const RingBuffer& ring) override;
    bool start() override;
    bool position(std::uint64_t& frames) override;
    bool failed() const override;
    void stop() override;
    bool close() override;
    bool isOpen() const override { return connection_ != nullptr; }

    // The device frames the server is asked to keep buffered, and to be asked for at a time, at `rate`.
    static unsigned bufferFramesFor(int rate);

    struct Connection;  // the main loop, the context and the stream, and what the callbacks touch

  private:
    std::unique_ptr<Connection> connection_;
    BackgroundClosers closers_;
};

}  // namespace voltina
