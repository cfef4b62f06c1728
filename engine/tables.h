#pragma once
// The sine tables the oscillators, the MIDI voice and the sinusoiders read.

#include <vector>

namespace voltina {

// 127 x sin over one turn of rateParam entries. The angle is accumulated by repeated addition of
// 6.28232 / rateParam in double (not 2 pi, and not a closed formula: the sums differ in a few entries
// at the higher rates), and each entry is rounded to float when stored.
std::vector<float> buildSineTable(int rateParam);

// sin over 256 entries, the angle accumulated the same way with a step of 6.28232 / 256.
void fillSinusoiderTable(float (&table)[256]);

}  // namespace voltina
