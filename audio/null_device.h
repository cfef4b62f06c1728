#pragma once
// No sound at all: the play position follows the monotonic clock at the format's rate. For machines without
// sound and for tests. GUI thread only.

#include <chrono>

#include "audio/wave_device.h"

namespace voltina {

class NullDevice : public WaveDevice {
  public:
    std::string name() const override { return "null"; }
    int probeDevices() override { return 1; }
    bool deviceCaps(int index, DeviceCaps& caps) override;
    bool open(const DeviceFormat& format, const RingBuffer& ring) override;
    bool start() override;
    bool position(std::uint64_t& frames) override;
    bool failed() const override { return false; }
    void stop() override { playing_ = false; }
    bool close() override;
    bool isOpen() const override { return open_; }

  private:
    using Clock = std::chrono::steady_clock;
    bool open_ = false;
    bool playing_ = false;
    int rate_ = 0;
    Clock::time_point started_;
    std::uint64_t frozenAt_ = 0;
};

}  // namespace voltina
