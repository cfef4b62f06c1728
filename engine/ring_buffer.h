#pragma once
// The looping buffer the device plays: frames of two unsigned bytes, left then right, 128 = silence.
//
// Threads: the GUI thread writes bytes and reallocates (only while no device is open); the audio
// callback reads bytes. Bytes are relaxed atomics so a concurrent read never tears and stays defined.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace voltina {

class RingBuffer {
  public:
    // GUI thread, device closed: a zero-filled block of capacity bytes (4 x rateParam).
    void allocate(std::size_t capacity);
    void release();

    bool allocated() const { return bytes_ != nullptr; }
    std::size_t capacity() const { return capacity_; }

    // The number of bytes the device plays, at most capacity(). Every length the program sets is even
    // (startupRingBytes, rateChangeRingBytes, or 0 without a block); the render loop still copes with
    // an odd one, which only tests set: its last frame then ends one byte past it.
    int ringBytes() const { return ringBytes_; }
    int ringFrames() const { return ringBytes_ / 2; }
    void setRingBytes(int ringBytes) { ringBytes_ = ringBytes; }
    // True when the played length fits the block, so frames can be written into it.
    bool playable() const {
        return bytes_ != nullptr && ringBytes_ >= 2 && static_cast<std::size_t>(ringBytes_) <= capacity_;
    }

    void store(int index, std::uint8_t value) { bytes_[index].store(value, std::memory_order_relaxed); }
    std::uint8_t load(int index) const { return bytes_[index].load(std::memory_order_relaxed); }

    // Writes `value` into every played byte (128 silences a device that is still playing); nothing when
    // no block is allocated.
    void fill(std::uint8_t value);

  private:
    std::unique_ptr<std::atomic<std::uint8_t>[]> bytes_;
    std::size_t capacity_ = 0;
    int ringBytes_ = 0;
};

// Ring lengths in bytes: the start-up value and the value after a rate change.
constexpr int startupRingBytes(int rateParam) {
    return (rateParam / 4) * 2 + 1024;
}
constexpr int rateChangeRingBytes(int rateParam) {
    return (rateParam / 4) * 2 + 1000;
}
constexpr std::size_t ringCapacity(int rateParam) {
    return 4u * static_cast<std::size_t>(rateParam);
}
static_assert(startupRingBytes(11026) % 2 == 0 && rateChangeRingBytes(11026) % 2 == 0 &&
                  rateChangeRingBytes(22051) % 2 == 0 && rateChangeRingBytes(44101) % 2 == 0,
              "whole frames at every rate");

}  // namespace voltina
