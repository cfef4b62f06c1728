#include "engine/frequency_text.h"

namespace voltina {

std::string formatFrequency(float value) {
    const int whole = static_cast<int>(value);
    std::string text = std::to_string(whole) + ".";
    // The hundredths are worked out in double and rounded to float before they are cut, so a value
    // stored just below a round figure (3.3 is 3.2999999) shows the lower figure: 3.29.
    const float hundredths =
        static_cast<float>(static_cast<double>(value) * 100 - static_cast<double>(whole) * 100);
    if (hundredths == 0.0f) return text + "00";
    if (hundredths < 10) text += "0";
    return text + std::to_string(static_cast<int>(hundredths));
}

}  // namespace voltina
