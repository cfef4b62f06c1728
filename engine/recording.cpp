#include "engine/recording.h"

#include <new>
#include <stdexcept>

namespace voltina {

namespace {
constexpr std::size_t kFirstBlock = 1024;
// Recording lasts as long as the sound is on: grow geometrically so appending stays O(1) per frame.
constexpr std::size_t kMaxStep = std::size_t{1} << 24;
}  // namespace

bool Recording::start() {
    bytes_.clear();
    spoolFile_.clear();
    active_ = false;
    try {
        if (limit_ != 0 && kFirstBlock > limit_) return false;
        bytes_.reserve(kFirstBlock);
    } catch (const std::bad_alloc&) {
        return false;
    }
    active_ = true;
    return true;
}

void Recording::clear() {
    std::vector<std::uint8_t>().swap(bytes_);
    spoolFile_.clear();
    active_ = false;
}

bool Recording::grow() {
    const std::size_t have = bytes_.capacity();
    std::size_t want = have + (have < kMaxStep ? have : kMaxStep);
    if (want < have + 2) want = have + kFirstBlock;
    if (limit_ != 0) {
        if (have + 2 > limit_) return false;
        if (want > limit_) want = limit_;
    }
    try {
        bytes_.reserve(want);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

}  // namespace voltina
