#include "panel/keyboard/jack_typing.h"

#include "patch/jack_number.h"

namespace voltina {

int readJackNumber(const std::string& text, std::string& problem) {
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    const std::string number =
        first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    if (number.empty()) {
        problem = "No jack number was typed.";
        return 0;
    }
    // Three digits at most: anything longer is no jack, and is never converted to an int that overflows.
    if (number.size() > 3 || number.find_first_not_of("0123456789") != std::string::npos) {
        problem = "\"" + number + "\" is not a jack number.";
        return 0;
    }
    const JackNumber jack = JackNumber::of(std::stoi(number));
    if (!jack.isJack()) {
        problem = "There is no jack " + number + ".";
        return 0;
    }
    return jack.number();
}

std::string jackNumbersHint() {
    return "Inputs are numbered " + inputJackRange() + ", outputs " + outputJackRange() + ".";
}

TypedJack JackTyping::digit(int d, std::uint64_t ms) {
    if (static_cast<std::uint32_t>(ms - lastMs_) > kPauseMs) digits_.clear();
    lastMs_ = ms;
    digits_ += static_cast<char>('0' + d);
    TypedJack typed;
    if (digits_.size() < 3) {
        typed.digits = digits_;
        return typed;
    }
    typed.jack = readJackNumber(digits_, typed.problem);
    digits_.clear();
    return typed;
}

}  // namespace voltina
