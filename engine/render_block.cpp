#include "engine/render_block.h"

#include "engine/frame_batch.h"
#include "engine/mixer.h"
#include "engine/modules.h"

namespace voltina {

void renderFrame(EngineState& s, RenderHost& host) {
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
    const auto leftByte = static_cast<std::uint8_t>(sumToByte(sum.left));
    const auto rightByte = static_cast<std::uint8_t>(sumToByte(sum.right));
    s.ring.store(s.writePos, leftByte);
    s.ring.store(s.writePos + 1, rightByte);
    s.writePos += 2;
    if (recordingOn(s) && !s.recording.append(leftByte, rightByte)) {
        // The memory cannot grow: recording stops, but what was recorded stays for saving.
        s.recordOn = 0;
        host.showMessage(kRecordingMemoryMessage);
    }
    if (s.writePos >= s.ring.ringBytes()) s.writePos = 0;
}

void renderBlock(EngineState& s, RenderHost& host) {
    if (s.renderBusy || !soundOn(s) || !host.deviceOpen()) return;
    s.renderBusy = true;

    std::uint64_t position = 0;
    if (!host.readPlayPosition(position)) {
        host.stopRenderTimer();
        s.speakerOn = 0;
        host.closeDevice();
        host.showMessage(kPositionLostMessage);
        s.renderBusy = false;
        return;
    }
    const int ringFrames = s.ring.ringFrames();
    if (!s.ring.playable()) {
        s.renderBusy = false;
        return;
    }
    const int framePos = static_cast<int>(position % static_cast<std::uint64_t>(ringFrames));
    // the frames the device has played since the previous call: 0 <= n < ringFrames
    int n = framePos - s.lastFramePos;
    s.lastFramePos = framePos;
    if (n < 0) n += ringFrames;
    renderFrames(s, host, n);

    s.renderBusy = false;
}

}  // namespace voltina
