#include "audio/jack_capture.h"

#include <algorithm>
#include <cstring>

namespace voltina {

JackCapture::JackCapture(const EngineState& state, int seconds)
    : state_(state), values_(static_cast<std::size_t>(seconds) * (kSampleRates[2] + 1)) {}

void JackCapture::watch(int index, bool input) {
    index_ = index >= 0 && index < kJacks ? index : kNoCord;
    input_ = input;
    held_ = 0;
    heldSource_ = kNoCord;
}

int JackCapture::source() const {
    if (index_ == kNoCord) return kNoCord;
    if (!input_) return index_;
    return hasCord(state_, index_) ? state_.cordSource[index_] : kNoCord;
}

void JackCapture::copyNewest(float* out, std::size_t count) const {
    count = std::min(count, held_);
    if (count == 0) return;  // `out` may be an empty vector's null data
    const std::size_t size = values_.size();
    const std::size_t first = (next_ + size - count) % size;
    const std::size_t tail = std::min(count, size - first);
    std::memcpy(out, values_.data() + first, tail * sizeof(float));
    std::memcpy(out + tail, values_.data(), (count - tail) * sizeof(float));
}

int JackCapture::watchedOutput() {
    const int output = source();
    if (output != heldSource_ || state_.rateParam != heldRate_) {
        held_ = 0;
        heldSource_ = output;
        heldRate_ = state_.rateParam;
    }
    return output;
}

void JackCapture::takeValues(const float* values, int count) {
    const std::size_t size = values_.size();
    taken_ += static_cast<std::uint64_t>(count);
    std::size_t n = static_cast<std::size_t>(count);
    if (n > size) {
        values += n - size;
        n = size;
    }
    const std::size_t tail = std::min(n, size - next_);
    std::memcpy(values_.data() + next_, values, tail * sizeof(float));
    std::memcpy(values_.data(), values + tail, (n - tail) * sizeof(float));
    next_ = (next_ + n) % size;
    held_ = std::min(size, held_ + n);
}

}  // namespace voltina
