// A render call computes its frames in batches; renderFrame computes one frame at a time. Both must give
// the same bytes and leave the same running values, whatever the patch and however it changes between
// calls. Two records get the same patch and the same edits; one is rendered by renderBlock, the other by
// renderFrame after renderFrame, and they are compared byte for byte after every call.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/midi_keys.h"
#include "engine/module_frames.h"
#include "engine/oscillator.h"
#include "engine_test_support.h"

namespace voltina {
namespace {

using test::FakeHost;
using test::prepareState;

std::unique_ptr<SampleRecord> sampleOf(int length, int step) {
    auto sample = std::make_unique<SampleRecord>();
    for (int i = 0; i < length; ++i) sample->data.push_back(static_cast<std::uint8_t>((i * step + 11) % 256));
    sample->dataLength = static_cast<std::uint32_t>(sample->data.size());
    return sample;
}

// Every output and every input in use, with feedback between the module groups.
void everyModulePatch(EngineState& s) {
    setOscillatorAndMixerDefaults(s);
    const int types[kOscillators] = {kSquare, kSine, kRandom, kSawtooth, kRandom, kSine, kSine, kSawtooth};
    const float freqs[kOscillators] = {256.0f, 1.52f, 300.0f, 330.0f, 2000.0f, 440.0f, 3.0f, 5.5f};
    for (int i = 0; i < kOscillators; ++i) {
        s.oscType[i] = types[i];
        s.oscFreq[i] = freqs[i];
        s.mixLevel[i] = 50 + 11 * i;
        s.mixPan[i] = 100 - 13 * i;
    }
    const int cords[][2] = {
        {17, 0},  {18, 1},  {19, 2},  {9, 3},   {13, 4},  {28, 5},  {31, 6}, {24, 7},  // mixer
        {1, 8},   {22, 9},  {25, 10}, {11, 11}, {12, 12}, {8, 13},                     // accumulators
        {0, 14},  {30, 15}, {3, 16},  {29, 17}, {10, 18}, {16, 19},                    // multipliers
        {2, 20},  {4, 21},  {5, 22},  {6, 23},  {7, 24},  {14, 25},                    // sinusoiders
        {15, 26}, {20, 27}, {21, 28}, {23, 29}, {26, 30}, {27, 31},                    // panoramikers
    };
    for (const auto& c : cords) plugCord(s, c[0], c[1]);
    s.waveSample = sampleOf(1231, 29);
    s.midiOpen = 1;
    for (int i = 0; i < kOscillators; ++i) deriveOscillator(s, i, s.oscType[i]);
    syncReset(s);
    onMidiMessage(s, packMidi(0x90, 64, 100));
}

// What the panel, the patch bay, the MIDI input and the record switch may do between two render calls,
// and a few hand edits no panel makes (cords without a real source, phases far out of the table).
void editPatch(EngineState& s, std::uint32_t variant) {
    std::mt19937 draw(variant);
    auto pick = [&draw](int count) { return static_cast<int>(draw() % static_cast<std::uint32_t>(count)); };
    const float freqs[] = {0.004f, 0.5f, 1.52f, 7.0f, 99.5f, 440.0f, 2000.0f, 5500.0f};
    switch (pick(15)) {
        case 0:
        case 1:
            plugCord(s, pick(kJacks), pick(kJacks));
            break;
        case 2: {
            const int in = pick(kJacks);
            const int out = s.cordSource[in];
            s.cordPresent[in] = 0;
            s.cordSource[in] = kNoCord;
            if (out >= 0 && out < kJacks) {
                bool stillUsed = false;
                for (int j = 0; j < kJacks; ++j) stillUsed |= s.cordPresent[j] == 1 && s.cordSource[j] == out;
                if (!stillUsed) {
                    s.outputUsed[out] = 0;
                    s.outValue[out] = 0.0f;
                }
            }
            break;
        }
        case 3: {
            const int osc = pick(kOscillators);
            const int type = pick(5);  // 4 is no wave type at all
            deriveOscillator(s, osc, type);
            s.oscType[osc] = type;
            break;
        }
        case 4: {
            const int osc = pick(kOscillators);
            s.oscFreq[osc] = freqs[pick(8)];
            deriveOscillator(s, osc, s.oscType[osc]);
            break;
        }
        case 5: {
            const int ch = pick(kMixerChannels);
            s.mixLevel[ch] = pick(129);
            s.mixPan[ch] = pick(101);
            break;
        }
        case 6:
            s.stereoOut = 1 - s.stereoOut;
            break;
        case 7:
            onMidiMessage(s, packMidi(pick(2) == 0 ? 0x90 : 0x80, 24 + pick(90), 1 + pick(127)));
            break;
        case 8:
            s.midiOpen = 1 - s.midiOpen;
            break;
        case 9: {
            const int kind = pick(4);
            if (kind == 0) s.waveSample.reset();
            else if (kind == 1) s.waveSample = sampleOf(0, 1);  // no data bytes
            else s.waveSample = sampleOf(1 + pick(3000), 1 + pick(200));
            break;
        }
        case 10:
            if (s.recordOn == 1) {
                s.recordOn = 0;
            } else if (s.recording.start()) {
                s.recordOn = 1;
            }
            break;
        case 11:
            syncReset(s);
            break;
        case 12: {
            const int in = pick(kJacks);
            s.cordPresent[in] = 1;
            s.cordSource[in] = pick(2) == 0 ? kNoCord : -1 - pick(5);
            s.outputUsed[pick(kJacks)] = 1;
            break;
        }
        case 13: {
            // far outside the table; only where oscPhase is a phase (for a square or sawtooth it is the
            // step, and no setting makes a step that large)
            const int osc = pick(kOscillators);
            if (s.oscType[osc] == kSine || s.oscType[osc] == kRandom) s.oscPhase[osc] = pick(2) == 0 ? -3.0e6f : 7.5e8f;
            s.midiPhase = pick(2) == 0 ? -10.0f : 2.0e5f;
            break;
        }
        default: {
            const int rates[] = {8001, 11026, 22051, 44101};
            s.rateParam = rates[pick(4)];  // the table follows the rate, the phases stay
            s.sineTable = buildSineTable(s.rateParam);
            break;
        }
    }
}

template <typename T, std::size_t N>
bool sameBytes(const T (&a)[N], const T (&b)[N]) {
    return std::memcmp(a, b, sizeof a) == 0;
}

// Everything a frame may change, compared byte for byte.
void expectSameRecords(const EngineState& a, const EngineState& b, const std::string& where) {
    ASSERT_TRUE(sameBytes(a.outValue, b.outValue)) << where;
    ASSERT_TRUE(sameBytes(a.oscPhase, b.oscPhase)) << where;
    ASSERT_TRUE(sameBytes(a.oscAcc, b.oscAcc)) << where;
    ASSERT_TRUE(sameBytes(a.oscCounter, b.oscCounter)) << where;
    ASSERT_TRUE(sameBytes(a.oscSlow, b.oscSlow)) << where;
    ASSERT_EQ(std::memcmp(&a.midiPhase, &b.midiPhase, sizeof a.midiPhase), 0) << where;
    ASSERT_EQ(std::memcmp(&a.midiAcc, &b.midiAcc, sizeof a.midiAcc), 0) << where;
    ASSERT_EQ(a.wavePos, b.wavePos) << where;
    ASSERT_EQ(a.writePos, b.writePos) << where;
    ASSERT_EQ(a.recordOn, b.recordOn) << where;
    ASSERT_EQ(a.renderBusy, 0) << where;
    ASSERT_EQ(a.recording.bytes(), b.recording.bytes()) << where;
    for (std::size_t i = 0; i < a.ring.capacity(); ++i)
        ASSERT_EQ(a.ring.load(static_cast<int>(i)), b.ring.load(static_cast<int>(i))) << where << " byte " << i;
}

struct Twins {
    explicit Twins(int rateParam) {
        prepareState(batched, rateParam, rateChangeRingBytes(rateParam));
        prepareState(single, rateParam, rateChangeRingBytes(rateParam));
        everyModulePatch(batched);
        everyModulePatch(single);
    }

    // One render call of `frames` frames on each record.
    void render(int frames) {
        batchedHost.position += static_cast<std::uint64_t>(frames);
        renderBlock(batched, batchedHost);
        const int ringFrames = single.ring.ringFrames();
        const int framePos = static_cast<int>(batchedHost.position % static_cast<std::uint64_t>(ringFrames));
        int n = framePos - single.lastFramePos;
        single.lastFramePos = framePos;
        if (n < 0) n += ringFrames;
        for (int f = 0; f < n; ++f) renderFrame(single, singleHost);
        ASSERT_EQ(batched.lastFramePos, single.lastFramePos);
    }

    EngineState batched;
    EngineState single;
    FakeHost batchedHost{&batched};
    FakeHost singleHost{&single};
};

TEST(BlockRender, EqualsFrameByFrameAcrossPatchEditsBetweenCalls) {
    Twins t(44101);
    std::mt19937 draw(20240611u);
    std::int64_t frames = 0;
    for (int call = 0; call < 600; ++call) {
        const int edits = static_cast<int>(draw() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::uint32_t variant = draw();
            editPatch(t.batched, variant);
            editPatch(t.single, variant);
        }
        // mostly a render gate's worth; sometimes nothing, a single frame, or nearly a lap
        const int kind = static_cast<int>(draw() % 8);
        const int n = kind == 0 ? 0 : kind == 1 ? 1 : kind == 2 ? t.batched.ring.ringFrames() - 1
                                                                : static_cast<int>(draw() % 4500);
        t.render(n);
        frames += n;
        expectSameRecords(t.batched, t.single, "call " + std::to_string(call));
        if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GT(frames, 1000000);
    EXPECT_EQ(t.batched.random.next(), t.single.random.next());  // the same number of draws
}

TEST(BlockRender, EqualsFrameByFrameWhenTheRecordingRunsOutOfMemory) {
    for (std::size_t limit : {std::size_t{1024}, std::size_t{3000}, std::size_t{50001}}) {
        Twins t(11026);
        for (EngineState* s : {&t.batched, &t.single}) {
            s->recording.setByteLimitForTesting(limit);
            ASSERT_TRUE(s->recording.start());
            s->recordOn = 1;
        }
        for (int call = 0; call < 30; ++call) {
            t.render(1103 + 17 * call);
            expectSameRecords(t.batched, t.single, "limit " + std::to_string(limit));
            if (::testing::Test::HasFatalFailure()) return;
        }
        EXPECT_EQ(t.batched.recordOn, 0);
        EXPECT_EQ(t.batched.recording.length(), limit / 2 * 2);
        EXPECT_EQ(t.batchedHost.messages, t.singleHost.messages);
        EXPECT_EQ(t.batchedHost.messages, std::vector<std::string>{kRecordingMemoryMessage});
    }
}

// A played length that is odd or leaves no room for a whole lap still gives the bytes of frame after frame.
TEST(BlockRender, EqualsFrameByFrameOnOddRingLengths) {
    for (int ringBytes : {5, 7, 257, 1001}) {
        Twins t(8001);
        t.batched.ring.setRingBytes(ringBytes);
        t.single.ring.setRingBytes(ringBytes);
        for (int call = 0; call < 50; ++call) {
            t.render(call * 7 % (ringBytes / 2 + 1));
            expectSameRecords(t.batched, t.single, "ring bytes " + std::to_string(ringBytes));
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
}

}  // namespace
}  // namespace voltina

namespace voltina {
namespace {

// The accumulator's wrap by whole turns, against the turns taken one at a time.
TEST(AccumulatorWrap, EqualsTurningOneTurnAtATime) {
    auto turned = [](int v) {
        while (v >= 127) v -= 256;
        while (v <= -127) v += 256;
        return v;
    };
    for (int v = -70000; v <= 70000; ++v) ASSERT_EQ(frames::wrapAccumulator(v), turned(v)) << v;
    for (int v : {2147483647, 2147483647 - 130, -2147483647 - 1, -2147483647 + 126})
        EXPECT_EQ(frames::wrapAccumulator(v), turned(v)) << v;
}

}  // namespace
}  // namespace voltina
