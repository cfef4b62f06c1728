#include "engine/mixer.h"

#include "engine/mixer_terms.h"

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
        if (stereoOutput(s) && isPanoramikerOutput(source)) {
            const int signalIn = panoramikerSignalInput(source);
            const int panIn = panoramikerPanInput(source);
            // an auto-pan without both of its inputs neither sounds nor counts
            if (!hasCord(s, signalIn) || !hasCord(s, panIn)) continue;
            count += 1;
            const float term = frames::channelTerm(s.mixLevel[ch], s.outValue[s.cordSource[signalIn]]);
            const int e = frames::autoPanPosition(s.outValue[s.cordSource[panIn]]);
            right = frames::addAutoPanned(right, e, term, pan);
            left = frames::addAutoPanned(left, 254 - e, term, 100 - pan);
        } else {
            if (source < 0 || source >= kJacks) continue;  // a cord marked present without a real source
            count += 1;
            const float term = frames::channelTerm(s.mixLevel[ch], s.outValue[source]);
            if (stereoOutput(s)) {
                right = frames::addWeighted(right, pan, term);
                left = frames::addWeighted(left, 100 - pan, term);
            } else {
                right = frames::addMono(right, term);
                left = frames::addMono(left, term);
            }
        }
    }
    StereoSum sum;
    if (count > 0) {
        sum.left = frames::average(left, count);
        sum.right = frames::average(right, count);
    }
    return sum;
}

int sumToByte(float value) {
    return frames::byteOfSum(value);
}

}  // namespace voltina
