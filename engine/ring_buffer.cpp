#include "engine/ring_buffer.h"

#include <algorithm>
#include <cstring>

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

void RingBuffer::copyOut(int index, std::size_t n, std::uint8_t* out) const {
    // A lock-free byte atomic holds its value as its only byte, and reading an object's bytes through
    // unsigned char is allowed; the caller is the only writer, so no store can race with the copy.
    static_assert(sizeof(std::atomic<std::uint8_t>) == 1 && std::atomic<std::uint8_t>::is_always_lock_free);
    if (n == 0) return;
    std::memcpy(out, reinterpret_cast<const unsigned char*>(bytes_.get() + index), n);
}

}  // namespace voltina
