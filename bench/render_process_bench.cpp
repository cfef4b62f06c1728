// voltina-render as a whole process against the render loop alone, for 600 s at 44100 frames per second:
// the process (reading the patch, building the tables, rendering, writing the WAV file and making it
// durable) should cost at most 1.3 times what the render loop costs for the same frames.
// Counters: engineCpu (the render loop's thread CPU seconds), processCpu (the process's user + system
// CPU seconds), processWall, and ratio = processCpu / engineCpu. One iteration each: a run is long.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "engine/defaults.h"
#include "engine/render_frames.h"
#include "engine/tables.h"
#include "media/wav_file.h"
#include "render/offline_render.h"
#include "render/offline_start.h"
#include "tests/support/test_patches.h"

extern char** environ;

namespace voltina {
namespace {

constexpr int kRate = 44100;
constexpr std::uint64_t kFrames = 600ull * kRate;
constexpr int kFramesPerCall = 4410;

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Patch {
    bool everyModule;
};

// The render loop alone over kFrames, as the engine benchmark runs it.
double engineSeconds(const Patch& patch) {
    auto s = std::make_unique<EngineState>();
    if (patch.everyModule) {
        test::everyModulePatch(*s, kRate);
    } else {
        setEngineDefaults(*s);
    }
    prepareAudioTables(*s, kRate + 1, 1);
    test::startSound(*s);
    std::vector<std::uint8_t> bytes(2 * kFramesPerCall);
    const double start = threadSeconds();
    for (std::uint64_t done = 0; done < kFrames; done += kFramesPerCall)
        renderFrames(*s, bytes.data(), kFramesPerCall);
    return threadSeconds() - start;
}

// The same patch as files voltina-render reads: a configuration, its sample and a one-note MIDI file.
std::vector<std::string> writeInputs(const Patch& patch, const std::filesystem::path& dir) {
    std::vector<std::string> args;
    if (!patch.everyModule) return args;
    auto s = std::make_unique<EngineState>();
    test::everyModulePatch(*s, kRate);
    std::string error;
    const std::string config = (dir / "every").string();
    Configuration c = captureConfiguration(*s, kRate, "BENCH.WAV");
    for (int& pan : c.mixPan) pan = std::min(pan, 100);  // a configuration's pans stop at 100
    if (!writeConfigurationFile(config, c, error)) std::fprintf(stderr, "%s\n", error.c_str());
    writeWaveFile((dir / "BENCH.WAV").string(), recordingFormat(kRate + 1, 0), s->waveSample->data.data(),
                  s->waveSample->data.size(), error);
    const std::string smf("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x08\0\x90\x45\x64\0\xFF\x2F\0", 30);
    std::ofstream((dir / "note.mid").string(), std::ios::binary) << smf;
    return {config, "--midi", (dir / "note.mid").string()};
}

void BM_RenderProcess(benchmark::State& state, Patch patch) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("voltina-render-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::vector<std::string> args = {VOLTINA_RENDER_BINARY};
    for (const std::string& a : writeInputs(patch, dir)) args.push_back(a);
    for (const char* a : {"--seconds", "600", "--rate", "44100", "--quiet", "-o"}) args.emplace_back(a);
    args.push_back((dir / "out.wav").string());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    for (auto _ : state) {
        const double engine = engineSeconds(patch);
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start voltina-render");
            break;
        }
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("voltina-render failed");
            break;
        }
        const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        state.counters["engineCpu"] = engine;
        state.counters["processCpu"] = cpu;
        state.counters["processWall"] = wall;
        state.counters["ratio"] = engine > 0 ? cpu / engine : 0;
        state.counters["xRealTime"] = cpu > 0 ? 600.0 / cpu : 0;
    }
    std::filesystem::remove_all(dir);
}

BENCHMARK_CAPTURE(BM_RenderProcess, DefaultPatch, Patch{false})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RenderProcess, EveryModulePatch, Patch{true})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace voltina

BENCHMARK_MAIN();
