#include "engine/mixer.h"

namespace voltina {

// Stored versus temporary: term is stored as a float before it is weighted; each contribution is worked
// out in double and added to the float sums left and right, which round at every addition.
StereoSum mixFrame(const EngineState& s) {
    float left = 0.0f;
    float right = 0.0f;
    int count = 0;
    for (int ch = 0; ch < kMixerChannels; ++ch) {
        if (s.cordPresent[kInMixer + ch] != 1) continue;
        const int source = s.cordSource[kInMixer + ch];
        const double pan = s.mixPan[ch];
        if (s.stereoOut == 1 && isPanoramikerOutput(source)) {
            const int signalIn = panoramikerSignalInput(source);
            const int panIn = panoramikerPanInput(source);
            // an auto-pan without both of its inputs neither sounds nor counts
            if (!hasCord(s, signalIn) || !hasCord(s, panIn)) continue;
            count += 1;
            const float term =
                static_cast<float>(s.mixLevel[ch] * static_cast<double>(s.outValue[s.cordSource[signalIn]]) * 0.0078125);
            // e runs 0 (all left) .. 127 (centre) .. 254 (all right); not clamped
            const int e = static_cast<int>(static_cast<double>(s.outValue[s.cordSource[panIn]]) + 127);
            right = static_cast<float>(right + e * static_cast<double>(term) * pan / (254 * 100));
            left = static_cast<float>(left + (254 - e) * static_cast<double>(term) * (100 - pan) / (254 * 100));
        } else {
            if (source < 0 || source >= kJacks) continue;  // a cord marked present without a real source
            count += 1;
            const float term =
                static_cast<float>(s.mixLevel[ch] * static_cast<double>(s.outValue[source]) * 0.0078125);
            if (s.stereoOut == 1) {
                right = static_cast<float>(right + pan * term * 0.01);
                left = static_cast<float>(left + (100 - pan) * term * 0.01);
            } else {
                right = static_cast<float>(right + static_cast<double>(term));
                left = static_cast<float>(left + static_cast<double>(term));
            }
        }
    }
    StereoSum sum;
    if (count > 0) {
        sum.left = static_cast<float>(static_cast<double>(left) / count);
        sum.right = static_cast<float>(static_cast<double>(right) / count);
    }
    return sum;
}

int sumToByte(float value) {
    if (value < -127) value = -127;
    if (value > 127) value = 127;
    return static_cast<int>(static_cast<double>(value) + 128);
}

}  // namespace voltina
