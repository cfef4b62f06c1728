// Frames rendered per second by the render loop at 44100 frames per second, for the default patch and
// for a patch that uses every module. Items are frames, so items per second are frames per second;
// "xRealTime" is how many times faster than the device plays them, on one core.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <memory>

#include "engine/defaults.h"
#include "engine/midi_keys.h"
#include "engine/oscillator.h"
#include "engine/render_block.h"
#include "engine/ring_buffer.h"
#include "engine/tables.h"

namespace voltina {
namespace {

constexpr int kRateParam = 44101;
constexpr int kFramesPerCall = 4410;  // what the render gate lets through every 100 ms

// A device that has always played exactly one more call's worth of frames.
class SteadyDevice : public RenderHost {
  public:
    bool deviceOpen() const override { return true; }
    bool readPlayPosition(std::uint64_t& frames) override {
        position += kFramesPerCall;
        frames = position;
        return true;
    }
    void killSoundTimer() override {}
    void closeDevice() override {}
    void showMessage(const char*) override {}

  private:
    std::uint64_t position = 0;
};

// The audio layer's tables and ring after the rate was set to 44100 from the menu, sound on.
void prepare(EngineState& s) {
    s.rateParam = kRateParam;
    s.sineTable = buildSineTable(kRateParam);
    fillSinusoiderTable(s.sinusoiderTable);
    s.ring.allocate(ringCapacity(kRateParam));
    s.ring.setRingBytes(rateChangeRingBytes(kRateParam));
    s.ring.fill(128);
    clearCords(s);
}

void startSound(EngineState& s) {
    for (int i = 0; i < kOscillators; ++i) deriveOscillator(s, i, s.oscType[i]);
    syncReset(s);
    s.speakerOn = 1;
    s.writePos = 0;
    s.lastFramePos = 0;
}

void defaultPatch(EngineState& s) {
    setEngineDefaults(s);
    startSound(s);
}

// All 32 outputs and 32 inputs in use: oscillators of every type, the MIDI voice sounding a note,
// accumulators, multipliers and sinusoiders with feedback, all three panoramikers and the Wave player.
void everyModulePatch(EngineState& s) {
    setOscillatorAndMixerDefaults(s);
    const int types[kOscillators] = {kSquare, kSine, kSine, kSawtooth, kRandom, kSine, kSine, kSawtooth};
    const float freqs[kOscillators] = {256.0f, 1.52f, 2.16f, 330.0f, 2000.0f, 440.0f, 3.0f, 5.5f};
    for (int i = 0; i < kOscillators; ++i) {
        s.oscType[i] = types[i];
        s.oscFreq[i] = freqs[i];
    }
    const int cords[][2] = {
        {17, 0}, {18, 1},  {19, 2},  {8, 3},   {11, 4},  {30, 5},  {31, 6},  {27, 7},
        {0, 8},  {23, 9},  {24, 10}, {12, 11}, {13, 12}, {9, 13},  {1, 14},  {28, 15},
        {2, 16}, {29, 17}, {10, 18}, {14, 19}, {3, 20},  {4, 21},  {5, 22},  {6, 23},
        {7, 24}, {15, 25}, {16, 26}, {20, 27}, {21, 28}, {22, 29}, {25, 30}, {26, 31},
    };
    for (const auto& c : cords) plugCord(s, c[0], c[1]);
    auto sample = std::make_unique<SampleRecord>();
    for (int i = 0; i < 44100; ++i) sample->data.push_back(static_cast<std::uint8_t>((i * 37) % 256));
    sample->dataLength = static_cast<std::uint32_t>(sample->data.size());
    s.waveSample = std::move(sample);
    s.midiOpen = 1;
    startSound(s);
    onMidiMessage(s, packMidi(0x90, 69, 100));
}

// CPU time of this thread, as Google Benchmark measures it.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void renderFrames(benchmark::State& state, void (*patch)(EngineState&)) {
    EngineState s;
    prepare(s);
    patch(s);
    SteadyDevice device;
    const double start = threadSeconds();
    for (auto _ : state) {
        renderBlock(s, device);
        benchmark::DoNotOptimize(s.writePos);
    }
    const double seconds = threadSeconds() - start;
    const double frames = static_cast<double>(state.iterations()) * kFramesPerCall;
    state.SetItemsProcessed(static_cast<std::int64_t>(frames));
    // seconds of sound rendered per second of work
    if (seconds > 0) state.counters["xRealTime"] = frames / (kRateParam - 1) / seconds;
}

void BM_RenderDefaultPatch(benchmark::State& state) {
    renderFrames(state, defaultPatch);
}
void BM_RenderEveryModulePatch(benchmark::State& state) {
    renderFrames(state, everyModulePatch);
}

BENCHMARK(BM_RenderDefaultPatch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderEveryModulePatch)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace voltina

BENCHMARK_MAIN();
