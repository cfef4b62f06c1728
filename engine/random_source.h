#pragma once
// The generator the random oscillators draw their pitches from.

#include <cstdint>

namespace voltina {

// Non-negative 31-bit draws for the random oscillators. The start state is fixed on purpose: the draws repeat
// from one run to the next, so a patch renders the same bytes every time.
class RandomSource {
  public:
    std::uint32_t next() {
        // xorshift64*: cheap, uniform enough for pitch draws, and the top 31 bits are well mixed
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<std::uint32_t>((state_ * 0x2545F4914F6CDD1DULL) >> 33);
    }
    void reset() { state_ = kStartState; }
    // The draws to come, for a take that must go on from where the patch was (never 0: xorshift stays
    // at 0 for ever).
    std::uint64_t state() const { return state_; }
    void setState(std::uint64_t state) { state_ = state; }

  private:
    static constexpr std::uint64_t kStartState = 0x56f17a1e2d0c3b49ULL;
    std::uint64_t state_ = kStartState;
};

}  // namespace voltina
