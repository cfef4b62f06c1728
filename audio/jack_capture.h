#pragma once
// The recent values of the jack the scope watches, as the render computes them: an output's own values,
// an input's what its cord brings. What it holds is forgotten when the values would no longer follow on:
// another jack, an input's cord moved, another rate.
// GUI thread only: the engine feeds it through JackTap inside the render, the scope reads it between two.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/engine_state.h"
#include "engine/jack_tap.h"

namespace voltina {

class JackCapture : public JackTap {
  public:
    // Keeps the newest `seconds` of values at the highest rate.
    JackCapture(const EngineState& state, int seconds);

    // The engine's index of an output or an input (0..31); any other index watches nothing.
    void watchOutput(int index) { watch(index, false); }
    void watchInput(int index) { watch(index, true); }
    // The output the values come from: the jack itself, or where an input's cord comes from; kNoCord
    // for none (no jack, or an input without a cord).
    int source() const;
    // The rate the held values were rendered at, in frames per second.
    int sampleRate() const { return state_.rateParam - 1; }

    std::size_t held() const { return held_; }
    // Values taken since the start: tells a reader whether anything new came.
    std::uint64_t taken() const { return taken_; }
    // The newest `count` values (at most held()), oldest first.
    void copyNewest(float* out, std::size_t count) const;

    // ---- JackTap
    int watchedOutput() override;
    void takeValues(const float* values, int count) override;

  private:
    void watch(int index, bool input);

    const EngineState& state_;
    std::vector<float> values_;  // a ring, next_ is where the next value goes
    std::size_t next_ = 0;
    std::size_t held_ = 0;
    std::uint64_t taken_ = 0;
    int index_ = kNoCord;
    bool input_ = false;
    int heldSource_ = kNoCord;
    int heldRate_ = 0;
};

}  // namespace voltina
