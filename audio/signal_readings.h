#pragma once
// What the scope reads off a stretch of a jack's values: its lowest and highest value and, where it
// repeats, how often; and the values each kind of output can carry. Plain arithmetic, any thread.

#include <cstddef>

namespace voltina {

struct SignalReading {
    float minimum = 0.0f;
    float maximum = 0.0f;
};

SignalReading readExtremes(const float* values, std::size_t count);

// Repetitions per second of `values` rendered at `sampleRate`, from its rising crossings of the middle of
// its swing; 0 when it does not repeat: flat, fewer than three crossings, or periods that differ by more
// than a tenth.
double repeatFrequency(const float* values, std::size_t count, int sampleRate);

// Where a trace of `span` values out of `count` begins: at the latest rising crossing of the middle that
// leaves room for the span, so a repeating signal stands still on the screen; else the newest span.
std::size_t traceStart(const float* values, std::size_t count, std::size_t span);

struct ValueRange {
    int low;
    int high;
};

// The values the output `outputIndex` (0..31) can carry by its kind; a full swing for kNoCord.
ValueRange outputValueRange(int outputIndex);

}  // namespace voltina
