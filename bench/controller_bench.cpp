// What a bound MIDI controller's move costs the thread that owns the panel: the message through the
// bindings' table, then the edit through the session into a sweep's one step of the history. Items are
// messages; a controller swept fast sends about a thousand a second, and the panel takes them in batches
// between its other work, so a few microseconds each leave the sound and the panel their time.

#include <benchmark/benchmark.h>

#include <memory>

#include "engine/defaults.h"
#include "engine/midi_keys.h"
#include "patch/controller_map.h"
#include "patch/controls.h"
#include "patch/patch_session.h"

namespace voltina {
namespace {

void BM_ControllerTableOnly(benchmark::State& state) {
    ControllerMap map({{7, 0, Control::Level, 1}, {74, 0, Control::Frequency, 2}});
    Edit edit;
    int v = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(map.translate(packMidi(0xB0, 74, v++ & 0x7F), edit));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ControllerTableOnly);

void BM_ControllerSweepThroughTheSession(benchmark::State& state) {
    auto s = std::make_unique<EngineState>();
    setEngineDefaults(*s);
    std::uint64_t now = 0;
    PatchSession session(*s, [&now] { return now; });
    session.apply(Edit::controllers({{74, 0, Control::Frequency, 2}}, 74));
    ControllerMap map(session.controllers());
    int v = 0;
    for (auto _ : state) {
        Edit edit;
        map.translate(packMidi(0xB0, 74, v++ & 0x7F), edit);
        session.apply(edit, {"MIDI controller 74", 500});
        ++now;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["steps"] = static_cast<double>(session.history().size());
}
BENCHMARK(BM_ControllerSweepThroughTheSession);

}  // namespace
}  // namespace voltina

BENCHMARK_MAIN();
