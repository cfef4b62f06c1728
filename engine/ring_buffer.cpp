#include "engine/ring_buffer.h"

#include <algorithm>

namespace voltina {

void RingBuffer::allocate(std::size_t capacity) {
    // value-initialised: every byte starts at 0, not at silence, as a fresh block does
    bytes_.reset(new std::atomic<std::uint8_t>[capacity]());
    for (std::size_t i = 0; i < capacity; ++i) bytes_[i].store(0, std::memory_order_relaxed);
    capacity_ = capacity;
}

void RingBuffer::release() {
    bytes_.reset();
    capacity_ = 0;
}

void RingBuffer::fill(std::uint8_t value) {
    // A ring whose block could not be had has nothing to silence.
    const std::size_t n = std::min(static_cast<std::size_t>(ringBytes_ > 0 ? ringBytes_ : 0), capacity_);
    for (std::size_t i = 0; i < n; ++i) bytes_[i].store(value, std::memory_order_relaxed);
}

}  // namespace voltina
