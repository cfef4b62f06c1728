#pragma once
// A jack reached by its number: three digits typed on the panel ("3 0 1"), or the number typed into
// "Go to jack...". The number is the one the jack's tip shows and configurations write. No Qt.

#include <cstdint>
#include <string>

namespace voltina {

// The jack `text` names (blanks around it allowed), or 0 with a sentence in `problem`.
int readJackNumber(const std::string& text, std::string& problem);

// What a person is told under any refusal of a jack's number.
std::string jackNumbersHint();

// What the digits typed so far come to.
struct TypedJack {
    std::string digits;   // the digits of the number being typed, none once it is complete
    int jack = 0;         // the jack three digits named
    std::string problem;  // or why they name none
};

// Collects digits typed one at a time. A pause longer than kPauseMs starts the number afresh, so a
// stray digit is not carried into the next number. Times are in milliseconds on any clock that only
// goes forward (a key event's time), read modulo 2^32 as the window system's are.
class JackTyping {
  public:
    static constexpr std::uint32_t kPauseMs = 1500;

    TypedJack digit(int d, std::uint64_t ms);
    // Another key, or the pause seen by a timer: the digits so far are dropped.
    void clear() { digits_.clear(); }
    bool typing() const { return !digits_.empty(); }

  private:
    std::string digits_;
    std::uint64_t lastMs_ = 0;
};

}  // namespace voltina
