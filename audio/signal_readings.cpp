#include "audio/signal_readings.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/engine_state.h"

namespace voltina {

namespace {

// Swings smaller than this are a flat line that only rounding moves.
constexpr float kFlatSwing = 1.0f;

float middleOf(const SignalReading& r) {
    return (r.minimum + r.maximum) / 2;
}

}  // namespace

SignalReading readExtremes(const float* values, std::size_t count) {
    if (count == 0) return {};
    const auto [low, high] = std::minmax_element(values, values + count);
    return {*low, *high};
}

double repeatFrequency(const float* values, std::size_t count, int sampleRate) {
    const SignalReading r = readExtremes(values, count);
    const float swing = r.maximum - r.minimum;
    if (swing < kFlatSwing) return 0.0;
    const float middle = middleOf(r);
    // A crossing counts once the signal has been well below the middle, so a wobble on it counts once.
    const float armBelow = middle - swing / 5;
    std::vector<double> crossings;
    bool armed = false;
    for (std::size_t k = 1; k < count; ++k) {
        if (values[k] < armBelow) {
            armed = true;
        } else if (armed && values[k - 1] < middle && values[k] >= middle) {
            const double fraction =
                (middle - values[k - 1]) / (static_cast<double>(values[k]) - values[k - 1]);
            crossings.push_back(static_cast<double>(k - 1) + fraction);
            armed = false;
        }
    }
    if (crossings.size() < 3) return 0.0;
    const double period = (crossings.back() - crossings.front()) / static_cast<double>(crossings.size() - 1);
    for (std::size_t k = 1; k < crossings.size(); ++k)
        if (std::fabs(crossings[k] - crossings[k - 1] - period) > period / 10) return 0.0;
    return sampleRate / period;
}

std::size_t traceStart(const float* values, std::size_t count, std::size_t span) {
    if (count <= span) return 0;
    const std::size_t newest = count - span;
    const std::size_t earliest = count >= 2 * span ? count - 2 * span : 0;
    const SignalReading r = readExtremes(values + earliest, count - earliest);
    if (r.maximum - r.minimum < kFlatSwing) return newest;
    const float middle = middleOf(r);
    for (std::size_t k = newest; k > earliest; --k)
        if (values[k - 1] < middle && values[k] >= middle) return k;
    return newest;
}

ValueRange outputValueRange(int outputIndex) {
    if (outputIndex >= kOutAccumulator && outputIndex < kOutMultiplier) return {-126, 129};  // a wrap of 256
    if (outputIndex >= kOutMultiplier && outputIndex < kOutSinusoider) return {-110, 110};   // held there
    if (outputIndex == kOutWave) return {-128, 127};  // a byte less 128
    return {-127, 127};
}

}  // namespace voltina
