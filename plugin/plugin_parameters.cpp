#include "plugin/plugin_parameters.h"

#include <algorithm>
#include <cmath>

namespace voltina {

namespace {

// A whole number within [low, high] from any double the host sends: truncated toward zero as the engine
// truncates, NaN taken as the low end, so no cast ever sees a value an int cannot hold.
int wholeWithin(double value, int low, int high) {
    if (!(value >= low)) return low;
    if (value >= high) return high;
    return static_cast<int>(value);
}

}  // namespace

std::string parameterName(int parameter) {
    const ParameterInfo p = parameterInfo(parameter);
    const std::string number = std::to_string(p.index + 1);
    switch (p.kind) {
        case ParameterKind::WaveType:
            return "osc" + number + "-type";
        case ParameterKind::Frequency:
            return "osc" + number + "-frequency";
        case ParameterKind::Level:
            return "channel" + number + "-level";
        case ParameterKind::Pan:
            break;
    }
    return "channel" + number + "-pan";
}

Edit parameterEdit(int parameter, double value) {
    const ParameterInfo p = parameterInfo(parameter);
    switch (p.kind) {
        case ParameterKind::WaveType:
            return Edit::waveType(p.index, wholeWithin(value, kSine, kRandom));
        case ParameterKind::Frequency: {
            // Stored as the typed text's float; anything that is not a positive finite number changes
            // nothing, exactly as such a typed entry does.
            const float f =
                std::isfinite(value) && value > 0.0 ? static_cast<float>(std::min(value, 1e6)) : 0.0f;
            return Edit::typedFrequency(p.index, f);
        }
        case ParameterKind::Level:
            return Edit::level(p.index, wholeWithin(value, 0, 128));
        case ParameterKind::Pan:
            break;
    }
    return Edit::pan(p.index, wholeWithin(value, 0, 100));
}

float parameterValue(const EngineState& s, int parameter) {
    const ParameterInfo p = parameterInfo(parameter);
    switch (p.kind) {
        case ParameterKind::WaveType:
            return static_cast<float>(s.oscType[p.index]);
        case ParameterKind::Frequency:
            return s.oscFreq[p.index];
        case ParameterKind::Level:
            return static_cast<float>(s.mixLevel[p.index]);
        case ParameterKind::Pan:
            break;
    }
    return static_cast<float>(s.mixPan[p.index]);
}

}  // namespace voltina
