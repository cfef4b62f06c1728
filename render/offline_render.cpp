#include "render/offline_render.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/midi_keys.h"
#include "engine/oscillator.h"
#include "engine/render_block.h"
#include "engine/tables.h"

namespace voltina {

namespace {

// A device that plays exactly as far as the renderer says.
class OfflineHost : public RenderHost {
  public:
    bool deviceOpen() const override { return true; }
    bool readPlayPosition(std::uint64_t& frames) override {
        frames = position;
        return true;
    }
    void killSoundTimer() override {}
    void closeDevice() override {}
    void showMessage(const char* text) override { std::fprintf(stderr, "voltina-render: %s\n", text); }

    std::uint64_t position = 0;
};

}  // namespace

void prepareAudioTables(EngineState& s, int rateParam, int stereoOut) {
    s.rateParam = rateParam;
    s.sineTable = buildSineTable(rateParam);
    s.ring.allocate(ringCapacity(rateParam));
    s.ring.setRingBytes(rateParam == kDefaultRateParam ? startupRingBytes(rateParam)
                                                       : rateChangeRingBytes(rateParam));
    s.stereoOut = stereoOut;
    fillSinusoiderTable(s.sinusoiderTable);
}

void startSoundOffline(EngineState& s) {
    for (int osc = 0; osc < kOscillators; ++osc) deriveOscillator(s, osc, s.oscType[osc]);
    syncReset(s);
    s.ring.fill(128);
    s.speakerOn = 1;
    syncReset(s);
    s.writePos = 0;
    s.lastFramePos = 0;
}

std::vector<std::uint8_t> renderOffline(EngineState& s, std::uint64_t frames,
                                        const std::vector<TimedMidiMessage>& midi) {
    OfflineHost host;
    s.recordOn = 1;
    s.recording.start();
    // Each call of the render loop must see less than one lap, or it would skip it as a live run does.
    const std::uint64_t maxStep = static_cast<std::uint64_t>(std::max(1, s.ring.ringFrames() / 2));
    std::size_t next = 0;
    while (host.position < frames) {
        while (next < midi.size() && midi[next].frame <= host.position) onMidiMessage(s, midi[next++].packed);
        std::uint64_t target = std::min(frames, host.position + maxStep);
        if (next < midi.size()) target = std::min(target, std::max(midi[next].frame, host.position + 1));
        host.position = target;
        renderBlock(s, host);
        if (s.speakerOn == 0) break;
    }
    std::vector<std::uint8_t> bytes = s.recording.bytes();
    s.recording.clear();
    s.recordOn = 0;
    return bytes;
}

}  // namespace voltina
