// Frames rendered per second by the engine's render call at 44100 frames per second, for the default patch
// and for a patch that uses every module. Items are frames, so items per second are frames per second;
// "xRealTime" is how many times faster than the device plays them, on one core.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <vector>

#include "engine/defaults.h"
#include "engine/midi_keys.h"
#include "engine/oscillator.h"
#include "engine/render_frames.h"
#include "engine/tables.h"
#include "tests/support/test_patches.h"

namespace voltina {
namespace {

constexpr int kRateParam = 44101;
constexpr int kFramesPerCall = 4410;  // what the render gate lets through every 100 ms

// The audio layer's tables after the rate was set to 44100 from the menu.
void prepare(EngineState& s) {
    s.rateParam = kRateParam;
    s.sineTable = buildSineTable(kRateParam);
    fillSinusoiderTable(s.sinusoiderTable);
    clearCords(s);
}

void defaultPatch(EngineState& s) {
    setEngineDefaults(s);
    test::startSound(s);
}

// A second of sample, so the Wave player loops as rarely as it does with a real sample.
void everyModulePatch(EngineState& s) {
    test::everyModulePatch(s, 44100);
}

// CPU time of this thread, as Google Benchmark measures it.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void pullFrames(benchmark::State& state, void (*patch)(EngineState&)) {
    EngineState s;
    prepare(s);
    patch(s);
    std::vector<std::uint8_t> bytes(2 * kFramesPerCall);
    const double start = threadSeconds();
    for (auto _ : state) {
        renderFrames(s, bytes.data(), kFramesPerCall);
        benchmark::DoNotOptimize(bytes.data());
    }
    const double seconds = threadSeconds() - start;
    const double frames = static_cast<double>(state.iterations()) * kFramesPerCall;
    state.SetItemsProcessed(static_cast<std::int64_t>(frames));
    // seconds of sound rendered per second of work
    if (seconds > 0) state.counters["xRealTime"] = frames / (kRateParam - 1) / seconds;
}

void BM_RenderDefaultPatch(benchmark::State& state) {
    pullFrames(state, defaultPatch);
}
void BM_RenderEveryModulePatch(benchmark::State& state) {
    pullFrames(state, everyModulePatch);
}

BENCHMARK(BM_RenderDefaultPatch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderEveryModulePatch)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace voltina

BENCHMARK_MAIN();
