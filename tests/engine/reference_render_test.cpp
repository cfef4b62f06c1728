// Whole patches rendered by the engine against a plain re-statement of the frame arithmetic written
// out here: float storage, double intermediates, cuts toward zero, the fixed order. Byte for byte.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/midi_keys.h"
#include "engine/mixer.h"
#include "engine/oscillator.h"
#include "engine_test_support.h"
#include "tests/support/test_patches.h"

namespace voltina {
namespace {

using test::everyModulePatch;
using test::FakeHost;
using test::prepareState;
using test::startSound;

float F(double x) {
    return static_cast<float>(x);
}

// One frame of the whole engine, restated on its own arrays.
struct Reference {
    explicit Reference(const EngineState& s) : rate(s.rateParam), stereo(s.stereoOut) {
        double angle = 0.0;
        for (int i = 0; i < rate; ++i, angle += 6.28232 / rate) sine.push_back(F(std::sin(angle) * 127));
        angle = 0.0;
        for (int j = 0; j < 256; ++j, angle += 6.28232 / 256) sinus[j] = F(std::sin(angle));
        std::memcpy(type, s.oscType, sizeof type);
        std::memcpy(freq, s.oscFreq, sizeof freq);
        std::memcpy(phase, s.oscPhase, sizeof phase);
        std::memcpy(acc, s.oscAcc, sizeof acc);
        std::memcpy(counter, s.oscCounter, sizeof counter);
        std::memcpy(slow, s.oscSlow, sizeof slow);
        std::memcpy(out, s.outValue, sizeof out);
        std::memcpy(level, s.mixLevel, sizeof level);
        std::memcpy(pan, s.mixPan, sizeof pan);
        std::memcpy(src, s.cordSource, sizeof src);
        std::memcpy(present, s.cordPresent, sizeof present);
        std::memcpy(used, s.outputUsed, sizeof used);
        midiOpen = s.midiOpen;
        midiNote = s.midiNote;
        midiFreq = s.midiFreq;
        midiStep = s.midiStep;
        midiPhase = s.midiPhase;
        midiAcc = s.midiAcc;
        if (s.waveSample) wave = s.waveSample->data;
        wavePos = s.wavePos;
        random = s.random;
    }

    bool cord(int in) const { return present[in] == 1 && src[in] >= 0 && src[in] < 32; }

    void oscillator(int i) {
        float ph = phase[i];
        float a = acc[i];
        float c = static_cast<float>(counter[i]);
        const float f = slow[i] == 1 ? F(freq[i] * (1.0 / 300)) : freq[i];
        slow[i] = 0;
        if (type[i] == 0) {
            if (ph >= rate) ph = F(ph - static_cast<double>(rate));
            if (ph < 0) ph = F(ph + static_cast<double>(rate));
            out[i] = sine[static_cast<int>(ph)];
            phase[i] = F(static_cast<double>(ph) + f);
        } else if (type[i] == 1) {
            a = F(static_cast<double>(a) + phase[i]);
            if (a > 127) {
                a = F(a - 254.0);
                out[i] = counter[i] == 0 ? 0.0f : 127.0f;
                counter[i] = counter[i] == 0 ? 1 : 0;
            }
            acc[i] = a;
        } else if (type[i] == 2) {
            out[i] = F(static_cast<double>(out[i]) + phase[i]);
            if (out[i] > 127) out[i] = F(out[i] - 254.0);
        } else if (type[i] == 3) {
            c = F(c - 1.0);
            if (c <= 0) {
                const int m = static_cast<int>(f);
                const int r = m != 0 ? static_cast<int>(random.next() % static_cast<unsigned>(m)) : 0;
                a = static_cast<float>(r);
                acc[i] = a;
                c = static_cast<float>((5550 - r) / 10 + 1);
            }
            if (ph >= rate) ph = F(ph - static_cast<double>(rate));
            if (ph < 0) ph = 0;
            out[i] = sine[static_cast<int>(ph)];
            phase[i] = F(static_cast<double>(ph) + a);
            counter[i] = static_cast<int>(c);
        }
        out[20 + i] = out[i];
    }

    void midi() {
        if (used[28] == 1) {
            if (midiPhase >= rate) midiPhase = F(midiPhase - static_cast<double>(rate));
            out[28] = sine[static_cast<int>(midiPhase)];
            midiPhase = F(static_cast<double>(midiPhase) + midiFreq);
        }
        if (used[29] == 1) {
            midiAcc = F(static_cast<double>(midiAcc) + midiStep);
            if (midiAcc > 127) {
                midiAcc = F(midiAcc - 254.0);
                out[29] = out[29] == 127 ? 0.0f : 127.0f;
            }
        }
        if (used[30] == 1) {
            if (used[29] != 1) {
                midiAcc = F(static_cast<double>(midiAcc) + midiStep);
                if (midiAcc > 127) midiAcc = F(midiAcc - 254.0);
            }
            out[30] = midiAcc;
        }
    }

    void accumulator(int k) {
        const int a = src[8 + 2 * k];
        const int b = src[9 + 2 * k];
        for (int x : {a, b}) {
            if (x <= 7) slow[x] = 1;
            if (x >= 20 && x <= 27) slow[x - 20] = 1;
        }
        int v = static_cast<int>(out[8 + k] + (static_cast<double>(out[a]) + out[b]) * (1.0 / 12));
        while (v >= 127) v -= 256;
        while (v <= -127) v += 256;
        out[8 + k] = static_cast<float>(v);
    }

    void multiplier(int k) {
        int v = static_cast<int>(static_cast<double>(out[src[14 + 2 * k]]) * out[src[15 + 2 * k]]);
        if (v >= 110) v = 110;
        if (v <= -110) v = -110;
        out[11 + k] = static_cast<float>(v);
    }

    void sinusoider(int k) {
        int j = static_cast<int>(out[src[21 + 2 * k]]) + 127;
        j = j < 0 ? 0 : (j > 255 ? 255 : j);
        out[14 + k] = F(static_cast<double>(out[src[20 + 2 * k]]) * sinus[j]);
    }

    void frame(std::uint8_t& leftByte, std::uint8_t& rightByte) {
        for (int i = 0; i < 8; ++i)
            if (used[i] == 1 || used[20 + i] == 1) oscillator(i);
        if (midiOpen != 0 && midiNote != 0) midi();
        for (int k = 0; k < 3; ++k) {
            if (used[8 + k] == 1 && cord(8 + 2 * k) && cord(9 + 2 * k)) accumulator(k);
            if (used[11 + k] == 1 && cord(14 + 2 * k) && cord(15 + 2 * k)) multiplier(k);
            if (used[14 + k] == 1 && cord(20 + 2 * k) && cord(21 + 2 * k)) sinusoider(k);
        }
        if (used[31] == 1 && !wave.empty()) {
            out[31] = static_cast<float>(wave[wavePos] - 128);
            if (++wavePos >= wave.size()) wavePos = 0;
        }

        float left = 0;
        float right = 0;
        int count = 0;
        for (int ch = 0; ch < 8; ++ch) {
            if (present[ch] != 1) continue;
            const int s = src[ch];
            if (stereo == 1 && s >= 17 && s <= 19) {
                const int a = 2 * s - 8;
                const int b = 2 * s - 7;
                if (!cord(a) || !cord(b)) continue;
                ++count;
                const float term = F(level[ch] * static_cast<double>(out[src[a]]) * 0.0078125);
                const int e = static_cast<int>(out[src[b]] + 127.0);
                right = F(right + static_cast<double>(e) * term * pan[ch] / (254 * 100));
                left = F(left + static_cast<double>(254 - e) * term * (100 - pan[ch]) / (254 * 100));
            } else {
                ++count;
                const float term = F(level[ch] * static_cast<double>(out[s]) * 0.0078125);
                if (stereo == 1) {
                    right = F(right + static_cast<double>(pan[ch]) * term * 0.01);
                    left = F(left + static_cast<double>(100 - pan[ch]) * term * 0.01);
                } else {
                    right = F(static_cast<double>(right) + term);
                    left = F(static_cast<double>(left) + term);
                }
            }
        }
        if (count > 0) {
            left = F(static_cast<double>(left) / count);
            right = F(static_cast<double>(right) / count);
        } else {
            left = right = 0;
        }
        sumLeft = left;
        sumRight = right;
        left = left < -127 ? -127 : (left > 127 ? 127 : left);
        right = right < -127 ? -127 : (right > 127 ? 127 : right);
        leftByte = static_cast<std::uint8_t>(static_cast<int>(left + 128.0));
        rightByte = static_cast<std::uint8_t>(static_cast<int>(right + 128.0));
    }

    void startNote(int index, int hz) {
        midiFreq = static_cast<float>(hz);
        midiStep = F(254.0 * midiFreq / rate);
        midiNote = index + 1;
        out[28] = out[29] = out[30] = 0;
    }

    int rate;
    int stereo;
    float sumLeft = 0;  // the mixer's averaged sums, before clipping
    float sumRight = 0;
    std::vector<float> sine;
    float sinus[256];
    int type[8], counter[8], slow[8];
    float freq[8], phase[8], acc[8];
    float out[32];
    int level[8], pan[8];
    int src[32], present[32], used[32];
    int midiOpen, midiNote;
    float midiFreq, midiStep, midiPhase, midiAcc;
    std::vector<std::uint8_t> wave;
    std::uint32_t wavePos;
    RandomSource random;
};

// Renders `frames` frames one at a time through the render loop and the reference side by side; a
// MIDI note change at `noteChangeAt` goes to both.
void compareWithReference(EngineState& s, int frames, int noteChangeAt = -1) {
    Reference ref(s);
    FakeHost host(&s);
    int silentFrames = 0;
    for (int f = 0; f < frames; ++f) {
        if (f == noteChangeAt) {
            onMidiMessage(s, packMidi(0x90, 76, 90));
            ref.startNote(76 - 12, noteFreqTable[76 - 12]);
        }
        const int ringFrame = s.writePos / 2;
        test::renderOneFrame(s, host);
        std::uint8_t left = 0;
        std::uint8_t right = 0;
        ref.frame(left, right);
        for (int o = 0; o < kJacks; ++o)
            ASSERT_EQ(s.outValue[o], ref.out[o]) << "frame " << f << " output " << o;
        const StereoSum sum = mixFrame(s);  // the sums of the frame just rendered, from its outputs
        ASSERT_EQ(sum.left, ref.sumLeft) << "frame " << f;
        ASSERT_EQ(sum.right, ref.sumRight) << "frame " << f;
        ASSERT_EQ(test::leftAt(s, ringFrame), left) << "frame " << f;
        ASSERT_EQ(test::rightAt(s, ringFrame), right) << "frame " << f;
        for (int i = 0; i < kOscillators; ++i) {
            ASSERT_EQ(s.oscPhase[i], ref.phase[i]) << "frame " << f << " oscillator " << i;
            ASSERT_EQ(s.oscAcc[i], ref.acc[i]) << "frame " << f << " oscillator " << i;
            ASSERT_EQ(s.oscCounter[i], ref.counter[i]) << "frame " << f << " oscillator " << i;
        }
        ASSERT_EQ(s.midiPhase, ref.midiPhase) << "frame " << f;
        ASSERT_EQ(s.midiAcc, ref.midiAcc) << "frame " << f;
        silentFrames += left == 128 && right == 128;
    }
    EXPECT_GT(frames - silentFrames, frames / 5);  // the patch does sound
}

TEST(ReferenceRender, DefaultPatch) {
    EngineState s;
    prepareState(s);
    setEngineDefaults(s);
    startSound(s);
    compareWithReference(s, 30000);
}

TEST(ReferenceRender, EveryModulePatchAt11025) {
    EngineState s;
    prepareState(s);
    everyModulePatch(s);
    compareWithReference(s, 30000, 12345);
}

TEST(ReferenceRender, EveryModulePatchAt44100) {
    EngineState s;
    prepareState(s, 44101, rateChangeRingBytes(44101));
    everyModulePatch(s);
    compareWithReference(s, 50000, 20000);
}

TEST(ReferenceRender, EveryModulePatchOnASingleChannelDevice) {
    EngineState s;
    prepareState(s);
    s.stereoOut = 0;
    everyModulePatch(s);
    compareWithReference(s, 20000);
}

// The default patch as the program first plays it: sound at once, the same bytes on every run.
TEST(DefaultPatch, SoundsAndRepeatsFromRunToRun) {
    auto render = [] {
        EngineState s;
        prepareState(s);
        setEngineDefaults(s);
        startSound(s);
        s.recordOn = 1;
        s.recording.start();
        FakeHost host(&s);
        for (int call = 0; call < 40; ++call) {
            host.position += 1103;  // about 100 ms at 11025 frames per second
            renderBlock(s, host);
        }
        return s.recording.bytes();
    };
    const std::vector<std::uint8_t> first = render();
    ASSERT_EQ(first.size(), 2u * 40 * 1103);
    int loud = 0;
    for (std::uint8_t b : first) loud += b != 128;
    EXPECT_GT(loud, static_cast<int>(first.size() / 4));
    EXPECT_EQ(render(), first);
}

}  // namespace
}  // namespace voltina
