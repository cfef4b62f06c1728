#include "engine/mixer.h"
#include "engine/modules.h"
#include "engine/render_frames.h"

namespace voltina {

void renderFrame(EngineState& s, std::uint8_t* out) {
    // Fixed order: a module reads what is in outValue when its turn comes, so a source later in the
    // order (or the module itself) is heard one frame late.
    for (int i = 0; i < kOscillators; ++i) {
        if (oscillatorPatched(s, i)) stepOscillator(s, i);
    }
    if (midiVoiceSounding(s)) stepMidiVoice(s);
    for (int k = 0; k < kModulesPerGroup; ++k) {
        if (moduleRuns(s, kOutAccumulator + k, kInAccumulator + 2 * k)) stepAccumulator(s, k);
        if (moduleRuns(s, kOutMultiplier + k, kInMultiplier + 2 * k)) stepMultiplier(s, k);
        if (moduleRuns(s, kOutSinusoider + k, kInSinusoider + 2 * k)) stepSinusoider(s, k);
    }
    if (outputPatched(s, kOutWave) && s.waveSample) stepWave(s);

    const StereoSum sum = mixFrame(s);
    out[0] = static_cast<std::uint8_t>(sumToByte(sum.left));
    out[1] = static_cast<std::uint8_t>(sumToByte(sum.right));
}

}  // namespace voltina
