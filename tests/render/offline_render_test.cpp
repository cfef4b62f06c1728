#include "render/offline_render.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/defaults.h"
#include "engine/midi_keys.h"
#include "engine/render_block.h"

using namespace voltina;

namespace {

struct SilentHost : RenderHost {
    bool deviceOpen() const override { return true; }
    bool readPlayPosition(std::uint64_t&) override { return false; }
    void killSoundTimer() override {}
    void closeDevice() override {}
    void showMessage(const char*) override {}
};

std::unique_ptr<EngineState> startedDefaultPatch(int rateParam) {
    auto s = std::make_unique<EngineState>();
    setEngineDefaults(*s);
    prepareAudioTables(*s, rateParam, 1);
    startSoundOffline(*s);
    return s;
}

}  // namespace

TEST(OfflineRender, EqualsTheFramesComputedOneByOne) {
    // However the renderer splits the run into render calls, the bytes are those of one frame after another.
    auto a = startedDefaultPatch(11026);
    const std::vector<std::uint8_t> rendered = renderOffline(*a, 20000, {});
    ASSERT_EQ(rendered.size(), 40000u);

    auto b = startedDefaultPatch(11026);
    SilentHost host;
    std::vector<std::uint8_t> expected;
    for (int f = 0; f < 20000; ++f) {
        const int at = b->writePos;
        renderFrame(*b, host);
        expected.push_back(b->ring.load(at));
        expected.push_back(b->ring.load(at + 1));
    }
    EXPECT_EQ(rendered, expected);
}

TEST(OfflineRender, DefaultPatchSoundsAndRepeatsFromRunToRun) {
    auto first = startedDefaultPatch(44101);
    auto second = startedDefaultPatch(44101);
    const auto a = renderOffline(*first, 44100, {});
    const auto b = renderOffline(*second, 44100, {});
    EXPECT_EQ(a, b);
    int loud = 0;
    for (std::uint8_t byte : a) loud += byte != 128;
    EXPECT_GT(loud, 10000);
}

TEST(OfflineRender, MidiMessagesApplyBeforeTheirFrame) {
    auto s = std::make_unique<EngineState>();
    setOscillatorAndMixerDefaults(*s);
    plugCord(*s, kOutMidiSine, 0);  // 429 -> 301
    s->mixLevel[0] = 128;
    prepareAudioTables(*s, 11026, 1);
    startSoundOffline(*s);
    s->midiOpen = 1;
    const std::vector<TimedMidiMessage> midi = {{1000, packMidi(0x90, 69, 100)},
                                                {12025, packMidi(0x80, 69, 0)}};
    const auto bytes = renderOffline(*s, 15000, midi);

    auto frameIsSilent = [&](int f) { return bytes[2 * f] == 128 && bytes[2 * f + 1] == 128; };
    for (int f = 0; f <= 1000; ++f) ASSERT_TRUE(frameIsSilent(f)) << f;  // frame 1000 sounds sin 0 = 0
    EXPECT_FALSE(frameIsSilent(1001));
    for (int f = 12025; f < 15000; ++f) ASSERT_TRUE(frameIsSilent(f)) << f;

    // One second of the note: 440 Hz played through a table of rateParam entries sounds 440 x 11025 / 11026.
    int crossings = 0;
    for (int f = 1001; f < 12025; ++f) crossings += bytes[2 * f] < 128 && bytes[2 * f + 2] >= 128;
    EXPECT_NEAR(crossings, 440, 2);
}
