// A render call computes its frames in batches; renderFrame computes one frame at a time. Both must give
// the same bytes and leave the same running values, whatever the patch and however it changes between
// calls. Three records get the same patch and the same edits; one is rendered by renderBlock, one by
// renderFrame after renderFrame, one by renderFrames pulled in two uneven pieces, and they are compared
// byte for byte after every call. The pulled record is watched by a tap, which must see every frame's value
// of its jack as the frame-at-a-time record holds it, and change nothing.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/frame_batch.h"
#include "engine/midi_keys.h"
#include "engine/module_frames.h"
#include "engine/oscillator.h"
#include "engine/render_frames.h"
#include "engine_test_support.h"
#include "tests/support/test_patches.h"

namespace voltina {
namespace {

using test::FakeHost;
using test::prepareState;
using test::startSound;

std::unique_ptr<SampleRecord> sampleOf(int length, int step) {
    auto sample = std::make_unique<SampleRecord>();
    for (int i = 0; i < length; ++i) sample->data.push_back(static_cast<std::uint8_t>((i * step + 11) % 256));
    sample->dataLength = static_cast<std::uint32_t>(sample->data.size());
    return sample;
}

// The shared every-module patch with a second random oscillator, so that two draw in a batch's first frame.
void everyModulePatch(EngineState& s) {
    test::everyModulePatch(s, 1231);
    s.oscType[2] = kRandom;
    s.oscFreq[2] = 300.0f;
    startSound(s);
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
            // now and then a level too large for the mixer's float product, which takes the other way
            s.mixLevel[ch] = pick(16) == 0 ? (1 << 24) + 1 + pick(1000) : pick(129);
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
            if (kind == 0)
                s.waveSample.reset();
            else if (kind == 1)
                s.waveSample = sampleOf(0, 1);  // no data bytes
            else
                s.waveSample = sampleOf(1 + pick(3000), 1 + pick(200));
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
            if (s.oscType[osc] == kSine || s.oscType[osc] == kRandom)
                s.oscPhase[osc] = pick(2) == 0 ? -3.0e6f : 7.5e8f;
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
    ASSERT_FALSE(a.renderBusy) << where;
    ASSERT_EQ(a.recording.bytes(), b.recording.bytes()) << where;
    for (std::size_t i = 0; i < a.ring.capacity(); ++i)
        ASSERT_EQ(a.ring.load(static_cast<int>(i)), b.ring.load(static_cast<int>(i)))
            << where << " byte " << i;
}

// Watches one output jack and keeps what it is shown.
struct KeptTap : JackTap {
    int watchedOutput() override { return jack; }
    void takeValues(const float* values, int count) override {
        seen.insert(seen.end(), values, values + count);
    }
    int jack = 0;
    std::vector<float> seen;
};

struct Twins {
    explicit Twins(int rateParam, void (*patch)(EngineState&) = everyModulePatch) {
        for (EngineState* s : all()) {
            prepareState(*s, rateParam, rateChangeRingBytes(rateParam));
            patch(*s);
        }
    }

    std::vector<EngineState*> all() { return {&batched, &single, &pulled}; }

    // One render call of `frames` frames on each record.
    void render(int frames) {
        batchedHost.position += static_cast<std::uint64_t>(frames);
        renderBlock(batched, batchedHost);
        const int ringFrames = single.ring.ringFrames();
        const int framePos = static_cast<int>(batchedHost.position % static_cast<std::uint64_t>(ringFrames));
        int n = framePos - single.lastFramePos;
        single.lastFramePos = framePos;
        if (n < 0) n += ringFrames;
        std::vector<std::uint8_t> bytes(2 * static_cast<std::size_t>(n));
        std::vector<float> held;
        for (int f = 0; f < n; ++f) {
            renderFrame(single, &bytes[2 * f]);
            held.push_back(single.outValue[tap.jack]);
        }
        writeIntoRing(single, singleHost, bytes.data(), n);
        ASSERT_EQ(batched.lastFramePos, single.lastFramePos);
        const int first = n / 3;
        tap.seen.clear();
        renderFrames(pulled, bytes.data(), static_cast<std::size_t>(first), &tap);
        renderFrames(pulled, bytes.data() + 2 * first, static_cast<std::size_t>(n - first), &tap);
        writeIntoRing(pulled, pulledHost, bytes.data(), n);
        ASSERT_TRUE(
            held.size() == tap.seen.size() &&
            (held.empty() || std::memcmp(held.data(), tap.seen.data(), held.size() * sizeof(float)) == 0))
            << "the tap on output " << tap.jack << " saw other values";
        tap.jack = (tap.jack + 7) % kJacks;
    }

    void expectSame(const std::string& where) {
        expectSameRecords(batched, single, where);
        expectSameRecords(batched, pulled, where + ", pulled");
    }

    EngineState batched;
    EngineState single;
    EngineState pulled;
    FakeHost batchedHost{&batched};
    FakeHost singleHost{&single};
    FakeHost pulledHost{&pulled};
    KeptTap tap;
};

// Render calls of every size with patch edits between them; returns the frames rendered.
std::int64_t renderWithEdits(Twins& t, int calls) {
    std::mt19937 draw(20240611u);
    std::int64_t frames = 0;
    for (int call = 0; call < calls; ++call) {
        const int edits = static_cast<int>(draw() % 4);
        for (int e = 0; e < edits; ++e) {
            const std::uint32_t variant = draw();
            for (EngineState* s : t.all()) editPatch(*s, variant);
        }
        // mostly a render gate's worth; sometimes nothing, a single frame, or nearly a lap
        const int kind = static_cast<int>(draw() % 8);
        const int n = kind == 0   ? 0
                      : kind == 1 ? 1
                      : kind == 2 ? t.batched.ring.ringFrames() - 1
                                  : static_cast<int>(draw() % 4500);
        t.render(n);
        frames += n;
        t.expectSame("call " + std::to_string(call));
        if (::testing::Test::HasFatalFailure()) return frames;
    }
    return frames;
}

TEST(BlockRender, EqualsFrameByFrameAcrossPatchEditsBetweenCalls) {
    Twins t(44101);
    EXPECT_GT(renderWithEdits(t, 600), 1000000);
    EXPECT_EQ(t.batched.random.next(), t.single.random.next());  // the same number of draws
}

// The mixer runs on the widest vectors the processor has (up to 512 bits); the 128-bit and 256-bit
// paths must give the same bytes, and are checked here even on such a processor.
TEST(BlockRender, EqualsFrameByFrameWithNarrowerMixers) {
    for (int bits : {128, 256}) {
        struct NarrowerMixer {
            explicit NarrowerMixer(int b) { limitVectorBitsForTesting(b); }
            ~NarrowerMixer() { limitVectorBitsForTesting(512); }
        } narrower(bits);
        Twins t(44101);
        EXPECT_GT(renderWithEdits(t, 200), 300000) << bits << " bits";
    }
}

TEST(BlockRender, EqualsFrameByFrameWhenTheRecordingRunsOutOfMemory) {
    for (std::size_t limit : {std::size_t{1024}, std::size_t{3000}, std::size_t{50001}}) {
        Twins t(11026);
        for (EngineState* s : t.all()) {
            s->recording.setByteLimitForTesting(limit);
            ASSERT_TRUE(s->recording.start());
            s->recordOn = 1;
        }
        for (int call = 0; call < 30; ++call) {
            t.render(1103 + 17 * call);
            t.expectSame("limit " + std::to_string(limit));
            if (::testing::Test::HasFatalFailure()) return;
        }
        EXPECT_EQ(t.batched.recordOn, 0);
        EXPECT_EQ(t.batched.recording.length(), limit / 2 * 2);
        EXPECT_EQ(t.batchedHost.messages, t.singleHost.messages);
        EXPECT_EQ(t.batchedHost.messages, t.pulledHost.messages);
        EXPECT_EQ(t.batchedHost.messages, std::vector<std::string>{kRecordingMemoryMessage});
    }
}

// A played length that is odd or leaves no room for a whole lap still gives the bytes of frame after frame.
TEST(BlockRender, EqualsFrameByFrameOnOddRingLengths) {
    for (int ringBytes : {5, 7, 257, 1001}) {
        Twins t(8001);
        for (EngineState* s : t.all()) s->ring.setRingBytes(ringBytes);
        for (int call = 0; call < 50; ++call) {
            t.render(call * 7 % (ringBytes / 2 + 1));
            t.expectSame("ring bytes " + std::to_string(ringBytes));
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
}

// The accumulators, multipliers and sinusoiders in the fixed order: output and first input of each.
constexpr int kModuleJacks[9][2] = {{8, 8},   {11, 14}, {14, 20}, {9, 10}, {12, 16},
                                    {15, 22}, {10, 12}, {13, 18}, {16, 24}};

// Squares and sawtooths where the accumulators below listen, as they are never slowed.
void oscillatorsOfEveryType(EngineState& s) {
    setOscillatorAndMixerDefaults(s);
    const int types[kOscillators] = {kSquare, kSine, kSine, kSawtooth, kRandom, kSine, kSawtooth, kRandom};
    const float freqs[kOscillators] = {256.0f, 1.52f, 440.0f, 330.0f, 2000.0f, 3.0f, 5.5f, 900.0f};
    for (int i = 0; i < kOscillators; ++i) {
        s.oscType[i] = types[i];
        s.oscFreq[i] = freqs[i];
        s.mixLevel[i] = 128 - 9 * i;
        s.mixPan[i] = 10 * i;
    }
}

// All nine modules in one ring: with `backwards` false each hears the one before it in the fixed
// order (this frame's value) and the first hears the last (a frame late); with `backwards` true each
// hears the one after it (a frame late) and the last hears the first. Every module also hears an
// oscillator; sinusoiders take the ring as their angle. The mixer hears eight of the modules (second
// cords on their outputs, which the patch bay would not allow but the engine does not mind).
void ringPatch(EngineState& s, bool backwards) {
    oscillatorsOfEveryType(s);
    const int oscillatorJacks[9] = {0, 1, 2, 3, 4, 5, 6, 7, 20};
    for (int k = 0; k < 9; ++k) {
        const int heard = kModuleJacks[backwards ? (k + 1) % 9 : (k + 8) % 9][0];
        const int firstInput = kModuleJacks[k][1];
        const bool sinusoider = k % 3 == 2;
        plugCord(s, sinusoider ? oscillatorJacks[k] : heard, firstInput);
        plugCord(s, sinusoider ? heard : oscillatorJacks[k], firstInput + 1);
    }
    for (int ch = 0; ch < kMixerChannels; ++ch) plugCord(s, kModuleJacks[ch + 1][0], ch);
    startSound(s);
}

// A feedback loop of the three accumulators, with multiplier 1 on a path inside it: it hears
// accumulator 0 and accumulator 1 hears it (a frame late), so it must go frame by frame with them.
// Sinusoider 0 hears multiplier 2, later in the order and outside the loop, a frame late; sinusoider 2
// hears the loop and runs after it.
void pathThroughTheLoopPatch(EngineState& s) {
    oscillatorsOfEveryType(s);
    const int cords[][2] = {
        {0, 8},   {1, 9},    // accumulator 0: two oscillators
        {12, 10}, {3, 11},   // accumulator 1: multiplier 1, an oscillator
        {14, 12}, {11, 13},  // accumulator 2: sinusoider 0, multiplier 0
        {20, 14}, {21, 15},  // multiplier 0: two oscillators
        {8, 16},  {2, 17},   // multiplier 1: accumulator 0, an oscillator
        {4, 18},  {5, 19},   // multiplier 2: two oscillators
        {6, 20},  {13, 21},  // sinusoider 0: an oscillator, multiplier 2
        {7, 24},  {9, 25},   // sinusoider 2: an oscillator, accumulator 1
    };
    for (const auto& c : cords) plugCord(s, c[0], c[1]);
    const int heard[kMixerChannels] = {8, 9, 10, 12, 16, 14, 13, 11};
    for (int ch = 0; ch < kMixerChannels; ++ch) plugCord(s, heard[ch], ch);
    startSound(s);
}

// Accumulators 0 and 1 hear only oscillators, so the loop runs them on their own chains; multiplier 0
// and accumulator 2 feed back through each other. Multiplier 0 hears accumulator 1, later in the order, a
// frame late, and accumulator 2 hears accumulator 0, earlier, in the same frame.
void loneAccumulatorsPatch(EngineState& s) {
    oscillatorsOfEveryType(s);
    const int cords[][2] = {
        {0, 8},   {3, 9},    // accumulator 0: two oscillators
        {1, 10},  {2, 11},   // accumulator 1: two sines, slowed while it reads them
        {11, 12}, {8, 13},   // accumulator 2: multiplier 0, accumulator 0
        {9, 14},  {10, 15},  // multiplier 0: accumulator 1, accumulator 2
    };
    for (const auto& c : cords) plugCord(s, c[0], c[1]);
    const int heard[kMixerChannels] = {8, 9, 10, 11, 4, 5, 6, 7};
    for (int ch = 0; ch < kMixerChannels; ++ch) plugCord(s, heard[ch], ch);
    startSound(s);
}

// Random oscillators 4 and 7 (and 2 when there are three) start with the same hold, so they all draw
// in one frame; the generator is shared, so the order of those draws decides every later frequency.
void randomsPatch(EngineState& s, int randoms) {
    oscillatorsOfEveryType(s);
    if (randoms == 3) s.oscType[2] = kRandom;
    for (int i = 0; i < kOscillators; ++i) plugCord(s, i, i);
    plugCord(s, 24, 8);  // accumulator 0 slows oscillator 4, whose draws are then below 2000 / 300
    plugCord(s, 3, 9);
    startSound(s);
}

// Calls that end just before the frame in which the random oscillators first draw (after a restart
// every hold is 556 frames), so that a batch opens with it, then calls of other sizes. Returns the
// modules whose output was not 0 at the end of some call, one bit each in the fixed order.
unsigned renderAcrossBatches(Twins& t, const std::string& what) {
    unsigned sounding = 0;
    for (int frames : {555, 1, 127, 128, 129, 700, 4409, 3}) {
        t.render(frames);
        t.expectSame(what + ", call of " + std::to_string(frames));
        if (::testing::Test::HasFatalFailure()) return sounding;
        for (int k = 0; k < 9; ++k) {
            if (t.batched.outValue[kModuleJacks[k][0]] != 0.0f) sounding |= 1u << k;
        }
    }
    return sounding;
}

TEST(BlockRender, EqualsFrameByFrameWhenEveryModuleFeedsBack) {
    Twins forwards(44101, [](EngineState& s) { ringPatch(s, false); });
    EXPECT_EQ(renderAcrossBatches(forwards, "each hears the one before"), 0x1ffu);
    Twins backwards(22051, [](EngineState& s) { ringPatch(s, true); });
    EXPECT_EQ(renderAcrossBatches(backwards, "each hears the one after"), 0x1ffu);
}

TEST(BlockRender, EqualsFrameByFrameWithAModuleOnAPathThroughTheLoop) {
    Twins t(11026, pathThroughTheLoopPatch);
    EXPECT_EQ(renderAcrossBatches(t, "path through the loop"), 0x1dfu);  // all but sinusoider 1, unpatched
}

TEST(BlockRender, EqualsFrameByFrameWithLoneAccumulatorsInTheLoop) {
    Twins t(44101, loneAccumulatorsPatch);
    EXPECT_EQ(renderAcrossBatches(t, "lone accumulators"), 0x4bu);  // accumulators 0, 1, 2, multiplier 0
}

TEST(BlockRender, RandomOscillatorsDrawInTheirOrder) {
    for (int randoms : {2, 3}) {
        Twins t(
            44101, randoms == 2 ? [](EngineState& s) { randomsPatch(s, 2); }
                                : [](EngineState& s) { randomsPatch(s, 3); });
        renderAcrossBatches(t, std::to_string(randoms) + " random oscillators");
        // they have drawn: the generator has moved on
        RandomSource untouched;
        EXPECT_NE(t.batched.random.next(), untouched.next());
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
