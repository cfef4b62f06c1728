#include "audio/null_device.h"

namespace voltina {

bool NullDevice::deviceCaps(int index, DeviceCaps& caps) {
    if (index != 0) return false;
    caps.name = "null";
    caps.channels = 2;
    caps.supportsRequiredFormat = true;
    return true;
}

bool NullDevice::open(const DeviceFormat& format, const RingBuffer&) {
    if (format.sampleRate <= 0) return false;
    rate_ = format.sampleRate;
    open_ = true;
    playing_ = false;
    frozenAt_ = 0;
    return true;
}

bool NullDevice::start() {
    if (!open_) return false;
    started_ = Clock::now();
    playing_ = true;
    return true;
}

bool NullDevice::position(std::uint64_t& frames) {
    if (!open_) return false;
    if (playing_) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - started_).count();
        // 128-bit product: a month of nanoseconds times 44100 does not fit in 64 bits
        frozenAt_ = static_cast<std::uint64_t>(static_cast<unsigned __int128>(ns) * rate_ / 1000000000u);
    }
    frames = frozenAt_;
    return true;
}

bool NullDevice::close() {
    open_ = false;
    playing_ = false;
    return true;
}

}  // namespace voltina
