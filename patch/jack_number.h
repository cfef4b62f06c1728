#pragma once
// A jack as configuration files, events files, the panel and its words number it: inputs 301..332,
// outputs 401..432, and the engine's index 0..31 of either. Every conversion between the two, and the
// words that name the ranges, are here.
// Plain C++; any thread.

#include <string>

#include "engine/engine_state.h"

namespace voltina {

class JackNumber {
  public:
    static constexpr int kFirstInput = kFirstInputJackId;
    static constexpr int kLastInput = kFirstInputJackId + kJacks - 1;
    static constexpr int kFirstOutput = kFirstOutputJackId;
    static constexpr int kLastOutput = kFirstOutputJackId + kJacks - 1;

    static constexpr JackNumber input(int index) { return JackNumber(kFirstInput + index); }
    static constexpr JackNumber output(int index) { return JackNumber(kFirstOutput + index); }
    // Any number, a jack's or not: ask isInput() or isOutput() before index().
    static constexpr JackNumber of(int number) { return JackNumber(number); }

    constexpr int number() const { return number_; }
    constexpr bool isInput() const { return number_ >= kFirstInput && number_ <= kLastInput; }
    constexpr bool isOutput() const { return number_ >= kFirstOutput && number_ <= kLastOutput; }
    constexpr bool isJack() const { return isInput() || isOutput(); }
    // The engine's index of an input or an output.
    constexpr int index() const { return number_ - (number_ >= kFirstOutput ? kFirstOutput : kFirstInput); }
    // "301"
    std::string text() const { return std::to_string(number_); }

  private:
    explicit constexpr JackNumber(int number) : number_(number) {}
    int number_;
};

// "301 to 332" and "401 to 432": the ranges in words.
inline std::string inputJackRange() {
    return JackNumber::input(0).text() + " to " + JackNumber::input(kJacks - 1).text();
}
inline std::string outputJackRange() {
    return JackNumber::output(0).text() + " to " + JackNumber::output(kJacks - 1).text();
}

}  // namespace voltina
