#pragma once
// A device whose play position is advanced by its owner: the headless renderer says how many frames have
// been "played" before each render. GUI thread (or the renderer's one thread) only.

#include "audio/wave_device.h"

namespace voltina {

class OfflineDevice : public WaveDevice {
  public:
    std::string name() const override { return "offline"; }
    int probeDevices() override { return 1; }
    bool deviceCaps(int index, DeviceCaps& caps) override;
    bool open(const DeviceFormat& format, const RingBuffer& ring) override;
    bool start() override;
    bool position(std::uint64_t& frames) override;
    bool failed() const override { return false; }
    void stop() override {}
    bool close() override;
    bool isOpen() const override { return open_; }

    // The owner's clock: `frames` more frames have been played.
    void advance(std::uint64_t frames) { position_ += frames; }
    const DeviceFormat& format() const { return format_; }

  private:
    bool open_ = false;
    std::uint64_t position_ = 0;
    DeviceFormat format_;
};

}  // namespace voltina
