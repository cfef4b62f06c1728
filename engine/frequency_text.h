#pragma once
// The text the panel and the configuration file show for an oscillator frequency.

#include <string>

namespace voltina {

// A frequency with two cut (not rounded) decimals: 256 -> "256.00", 3.3f -> "3.29".
std::string formatFrequency(float value);

}  // namespace voltina
