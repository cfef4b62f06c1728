#include "render/offline_render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "engine/defaults.h"
#include "engine/midi_keys.h"
#include "engine/oscillator.h"
#include "engine/render_frames.h"
#include "render/offline_start.h"
#include "tests/support/render_in_memory.h"

using namespace voltina;

namespace {

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
    std::vector<std::uint8_t> expected(40000);
    for (int f = 0; f < 20000; ++f) renderFrame(*b, &expected[2 * f]);
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

TEST(OfflineRender, PanelEventsActBetweenFramesAsThePanelsControlsDo) {
    // Each event as written in a file, and what the panel's control does to the engine, by hand.
    struct Move {
        std::uint64_t frame;
        const char* json;
        std::function<void(EngineState&)> panel;
    };
    const std::vector<Move> moves = {
        {0, R"("channel": 1, "level": 100)", [](EngineState& s) { s.mixLevel[0] = 100; }},
        {300, R"("oscillator": 1, "frequency": 440.5)",
         [](EngineState& s) {
             s.oscFreq[0] = 440.5f;
             deriveOscillator(s, 0, s.oscType[0]);
         }},
        {300, R"("oscillator": 2, "type": "square")",
         [](EngineState& s) {
             deriveOscillator(s, 1, kSquare);
             s.oscType[1] = kSquare;
         }},
        {701, R"("channel": 2, "pan": 0)", [](EngineState& s) { s.mixPan[1] = 0; }},
        {900, R"("unplug": 302)",
         [](EngineState& s) {
             s.cordPresent[1] = 0;
             s.outputUsed[1] = 0;
             s.cordSource[1] = kNoCord;
         }},
        {900, R"("plug": [402, 303])", [](EngineState& s) { plugCord(s, 1, 2); }},
        {1200, R"("sync": true)", [](EngineState& s) { syncReset(s); }},
        {1499, R"("unplug": 301)",
         [](EngineState& s) {
             s.cordPresent[0] = 0;
             s.outputUsed[0] = 0;
             s.cordSource[0] = kNoCord;
         }},
    };
    auto patch = [] {
        auto s = std::make_unique<EngineState>();
        setOscillatorAndMixerDefaults(*s);
        plugCord(*s, 0, 0);  // 401 -> 301
        plugCord(*s, 1, 1);  // 402 -> 302
        prepareAudioTables(*s, 11026, 1);
        startSoundOffline(*s);
        return s;
    };
    constexpr int kFrames = 1600;

    std::string text = R"({"voltina-events": 1, "events": [)";
    for (std::size_t i = 0; i < moves.size(); ++i)
        text += std::string(i ? ", " : "") + "{\"frame\": " + std::to_string(moves[i].frame) + ", " +
                moves[i].json + "}";
    text += "]}";
    auto a = patch();
    std::vector<PanelEvent> events;
    std::string error;
    ASSERT_TRUE(parsePanelEvents(text, *a, events, error)) << error;
    const std::vector<std::uint8_t> rendered = renderOffline(*a, kFrames, {}, events);

    auto b = patch();
    std::vector<std::uint8_t> expected(2 * kFrames);
    std::size_t next = 0;
    for (int f = 0; f < kFrames; ++f) {
        while (next < moves.size() && moves[next].frame == static_cast<std::uint64_t>(f))
            moves[next++].panel(*b);
        renderFrame(*b, &expected[2 * f]);
    }
    EXPECT_EQ(rendered, expected);
    auto c = patch();
    EXPECT_NE(renderOffline(*c, kFrames, {}), expected);  // the events changed the sound
}
