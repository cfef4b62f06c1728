#pragma once
// A JACK server (jackd, or PipeWire's JACK) through libjack itself: a client "Voltina" with two output ports,
// out_left and out_right, that follows the server wherever it goes. Any block size, block size and sample
// rate changes while playing, xruns counted. The ring plays at its own rate: when the server runs at another,
// libsamplerate converts on the way, so the play position stays in ring frames.
//
// Threads: every public member on the GUI thread. libjack's process thread runs only the process callback,
// which copies ring bytes and advances the play position; it never locks, allocates, waits or logs. libjack's
// other callbacks (block size, sample rate, xrun, the server shutting the client down) only store atomics.
// A client is closed on a short-lived thread of its own, because closing a client of a frozen server blocks
// until the server resumes; no client is opened while one is still being closed.

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/background_closers.h"
#include "audio/wave_device.h"

namespace voltina {

// The audio client's name and its ports; JACK suffixes the client ("Voltina-01") when the name is taken.
constexpr const char* kJackClientName = "Voltina";
constexpr const char* kJackLeftPort = "out_left";
constexpr const char* kJackRightPort = "out_right";

class JackDevice : public WaveDevice {
  public:
    // `connectPorts`: at start, the outputs are connected to the system's physical playback ports.
    // `clientName`: the client's name on the server (a session manager gives each program its own).
    explicit JackDevice(bool connectPorts = true, std::string clientName = kJackClientName);
    ~JackDevice() override;
    JackDevice(const JackDevice&) = delete;
    JackDevice& operator=(const JackDevice&) = delete;

    std::string name() const override { return "jack"; }
    // Opens and closes a probe client: 1 when a JACK server answers (none is ever started), else 0.
    int probeDevices() override;
    bool deviceCaps(int index, DeviceCaps& caps) override;
    bool open(const DeviceFormat& format, const RingBuffer& ring) override;
    bool start() override;
    bool position(std::uint64_t& frames) override;
    bool failed() const override;
    void stop() override;
    bool close() override;
    bool isOpen() const override { return stream_ != nullptr; }

    // What the server is doing now; 0 while closed.
    int deviceRate() const;
    unsigned blockSize() const;
    // Xruns the server reported since open, and block size changes it made.
    std::uint64_t xruns() const override;
    std::uint64_t blockSizeChanges() const;
    // The client's name on the server ("Voltina", or with JACK's suffix); empty while closed.
    std::string clientName() const;

    struct Stream;  // one client and everything libjack's threads touch

  private:
    void connectToPlayback();

    bool connectPorts_;
    std::string clientName_;
    std::unique_ptr<Stream> stream_;
    BackgroundClosers closers_;
};

}  // namespace voltina
