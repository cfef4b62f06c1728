#include "audio/offline_device.h"

namespace voltina {

bool OfflineDevice::deviceCaps(int index, DeviceCaps& caps) {
    if (index != 0) return false;
    caps.name = "offline";
    caps.channels = 2;
    caps.supportsRequiredFormat = true;
    return true;
}

bool OfflineDevice::open(const DeviceFormat& format, const RingBuffer&) {
    format_ = format;
    open_ = true;
    position_ = 0;
    return true;
}

bool OfflineDevice::start() {
    return open_;
}

bool OfflineDevice::position(std::uint64_t& frames) {
    if (!open_) return false;
    frames = position_;
    return true;
}

bool OfflineDevice::close() {
    open_ = false;
    return true;
}

}  // namespace voltina
