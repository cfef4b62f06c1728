// The LV2 instrument's run() on the every-module patch, as a host calls it: blocks of 64 and 512 frames
// at 44100 Hz (the engine's own rate, exact), and at 48000 Hz, where libsoxr converts (the context
// names the converter and its quality). Beside them, the engine alone on the same patch, pulled as the
// engine benchmark pulls it: run() in blocks of 512 should cost it within 10 %, and at 48000 Hz at most
// twice. Items are host frames; "xRealTime" is how many times faster than the host plays them, on one
// core.

#include <benchmark/benchmark.h>
#include <lv2/atom/forge.h>
#include <lv2/midi/midi.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "engine/midi_keys.h"
#include "engine/render_frames.h"
#include "media/wav_file.h"
#include "plugin/plugin_sound.h"
#include "plugin/plugin_uris.h"
#include "plugin/voltina_instance.h"
#include "render/offline_start.h"
#include "tests/support/test_patches.h"

namespace voltina {
namespace {

constexpr int kEngineRate = 44100;

// The least a host gives: a URID map and a worker (never needed here: the patch comes as a state).
struct BenchHost {
    std::map<std::string, LV2_URID> ids;
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) -> LV2_URID {
                         auto& ids = static_cast<BenchHost*>(h)->ids;
                         return ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1)).first->second;
                     }};
    LV2_Worker_Schedule schedule{
        this, [](LV2_Worker_Schedule_Handle, std::uint32_t, const void*) { return LV2_WORKER_SUCCESS; }};
    LV2_Feature mapFeature{LV2_URID__map, &map};
    LV2_Feature scheduleFeature{LV2_WORKER__schedule, &schedule};
    const LV2_Feature* features[3] = {&mapFeature, &scheduleFeature, nullptr};
};

// The every-module patch as a saved state: its configuration and a second of sample.
struct SavedPatch {
    SavedPatch() {
        EngineState s;
        test::everyModulePatch(s, kEngineRate);
        configuration = captureConfiguration(s, kEngineRate, "EVERY.WAV");
        for (int& pan : configuration.mixPan)
            pan = std::min(pan, 100);  // a file holds the control's range only
        text = serializeConfiguration(configuration);
        const WaveFormat format = recordingFormat(kEngineRate + 1, 0);
        sample = waveHeader(format, s.waveSample->dataLength);
        sample.insert(sample.end(), s.waveSample->data.begin(), s.waveSample->data.end());
    }

    Configuration configuration;
    std::string text;
    std::vector<std::uint8_t> sample;
    PluginUris uris;
};

const void* retrieve(LV2_State_Handle handle, std::uint32_t key, std::size_t* size, std::uint32_t* type,
                     std::uint32_t* flags) {
    const auto* saved = static_cast<const SavedPatch*>(handle);
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    if (key == saved->uris.configurationText) {
        *size = saved->text.size() + 1;
        *type = saved->uris.atomString;
        return saved->text.c_str();
    }
    if (key == saved->uris.sampleFile) {
        *size = saved->sample.size();
        *type = saved->uris.atomChunk;
        return saved->sample.data();
    }
    return nullptr;
}

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void runPlugin(benchmark::State& state, double hostRate, std::uint32_t block) {
    BenchHost host;
    SavedPatch saved;
    saved.uris.map(&host.map);

    std::unique_ptr<VoltinaInstance> plugin(VoltinaInstance::create(hostRate, host.features));
    if (!plugin || plugin->restore(retrieve, &saved, host.features) != LV2_STATE_SUCCESS) {
        state.SkipWithError("the plugin did not take the every-module patch");
        return;
    }
    std::vector<std::uint64_t> control(1024), notify(1024);
    std::vector<float> left(block), right(block);
    plugin->connect(kControlPort, control.data());
    plugin->connect(kNotifyPort, notify.data());
    plugin->connect(kLeftPort, left.data());
    plugin->connect(kRightPort, right.data());

    // The first block carries the MIDI voice's note, as in the engine's every-module patch.
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, &host.map);
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(control.data()), control.size() * 8);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    const std::uint8_t note[3] = {0x90, 69, 100};
    lv2_atom_forge_frame_time(&forge, 0);
    lv2_atom_forge_atom(&forge, 3, host.map.map(host.map.handle, LV2_MIDI__MidiEvent));
    lv2_atom_forge_write(&forge, note, 3);
    lv2_atom_forge_pop(&forge, &sequence);
    auto* notifyHead = reinterpret_cast<LV2_Atom_Sequence*>(notify.data());
    notifyHead->atom.size = static_cast<std::uint32_t>(notify.size() * 8 - sizeof(LV2_Atom));
    plugin->run(block);
    auto* controlHead = reinterpret_cast<LV2_Atom_Sequence*>(control.data());
    controlHead->atom.size = sizeof(LV2_Atom_Sequence_Body);  // empty from now on

    const double start = threadSeconds();
    for (auto _ : state) {
        notifyHead->atom.size = static_cast<std::uint32_t>(notify.size() * 8 - sizeof(LV2_Atom));
        plugin->run(block);
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
    }
    const double seconds = threadSeconds() - start;
    const double frames = static_cast<double>(state.iterations()) * block;
    state.SetItemsProcessed(static_cast<std::int64_t>(frames));
    if (seconds > 0) state.counters["xRealTime"] = frames / hostRate / seconds;
}

// The engine alone on the plugin's patch, started as the plugin starts it, 4410 frames a call.
void BM_EngineEveryModulePatch(benchmark::State& state) {
    const SavedPatch saved;
    std::string error;
    const StartSample sample{"EVERY.WAV", &saved.sample};
    std::unique_ptr<EngineState> s = startEngine(&saved.configuration, kEngineRate, 1, true, sample, error);
    if (!s) {
        state.SkipWithError(error.c_str());
        return;
    }
    onMidiMessage(*s, packMidi(0x90, 69, 100));
    constexpr std::size_t kFramesPerCall = 4410;
    std::vector<std::uint8_t> bytes(2 * kFramesPerCall);
    const double start = threadSeconds();
    for (auto _ : state) {
        renderFrames(*s, bytes.data(), kFramesPerCall);
        benchmark::DoNotOptimize(bytes.data());
    }
    const double seconds = threadSeconds() - start;
    const double frames = static_cast<double>(state.iterations()) * kFramesPerCall;
    state.SetItemsProcessed(static_cast<std::int64_t>(frames));
    if (seconds > 0) state.counters["xRealTime"] = frames / kEngineRate / seconds;
}
void BM_PluginRun44100Block64(benchmark::State& state) {
    runPlugin(state, 44100, 64);
}
void BM_PluginRun44100Block512(benchmark::State& state) {
    runPlugin(state, 44100, 512);
}
void BM_PluginRun48000Converted512(benchmark::State& state) {
    runPlugin(state, 48000, 512);
}

BENCHMARK(BM_EngineEveryModulePatch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PluginRun44100Block64)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PluginRun44100Block512)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PluginRun48000Converted512)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace voltina

int main(int argc, char** argv) {
    benchmark::AddCustomContext("converter", voltina::PluginSound::converterName());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
