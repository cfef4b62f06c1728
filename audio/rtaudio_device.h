#pragma once
// The sound card through RtAudio's ALSA API. PulseAudio (audio/pulse_device.h) and JACK
// (audio/jack_device.h) have backends of their own.
//
// Threads: every public member on the GUI thread. RtAudio's audio thread runs only the callback, which
// copies ring bytes and advances the play position; the library's errors reach a flag that the GUI thread
// reads. Streams are closed on a short-lived thread of their own, because closing a stream on a server that
// is frozen blocks until the server resumes.

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "audio/background_closers.h"
#include "audio/wave_device.h"

namespace voltina {

class RtAudioDevice : public WaveDevice {
  public:
    RtAudioDevice();
    ~RtAudioDevice() override;
    RtAudioDevice(const RtAudioDevice&) = delete;
    RtAudioDevice& operator=(const RtAudioDevice&) = delete;

    std::string name() const override;
    int probeDevices() override;
    bool deviceCaps(int index, DeviceCaps& caps) override;
    bool open(const DeviceFormat& format, const RingBuffer& ring) override;
    bool start() override;
    bool position(std::uint64_t& frames) override;
    bool failed() const override;
    void stop() override;
    bool close() override;
    bool isOpen() const override { return stream_ != nullptr; }
    void selectDevice(int index) override { chosen_ = index; }

    // The rate the device itself runs at; 0 while closed.
    int deviceRate() const;

    struct Stream;  // one open stream and everything its audio thread touches

  private:
    int chosen_ = -1;  // the device index open() opens; -1: the library's default output
    std::unique_ptr<Stream> stream_;
    BackgroundClosers closers_;
};

}  // namespace voltina
