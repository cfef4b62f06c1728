// The render gate is called for nearly every event the GUI thread handles: with nothing to do it must cost
// no more than a flag test and a clock read.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "audio/audio_system.h"
#include "audio/gated_application.h"
#include "audio/null_device.h"
#include "audio/pulse_device.h"
#include "audio/pulse_probe.h"
#include "audio/tick_clock.h"
#include "engine/defaults.h"
#include "engine/oscillator.h"
#include "engine/tables.h"

namespace {

class QuietHooks : public voltina::AudioHooks {
  public:
    bool silent = true;  // no message was shown
    void showMessage(const std::string&) override { silent = false; }
    void setSpeakerLit(bool) override {}
    void saveRecording() override {}
    void firstTick() override {}
};

struct Gate {
    Gate() : audio(state, hooks, std::make_unique<voltina::NullDevice>()) {
        audio.setAudioReady(audio.initAudio());
    }
    voltina::EngineState state;
    QuietHooks hooks;
    voltina::AudioSystem audio;
};

// Speaker on, last render just now: one flag test, one read of the real clock, no render.
void BM_RenderIfDueNothingDue(benchmark::State& bench) {
    Gate gate;
    const std::uint32_t frozen = voltina::tickCount();
    // The clock is read for real, but its answer stays "0 ms since the last render".
    gate.audio.setTickSource([frozen] {
        benchmark::DoNotOptimize(voltina::tickCount());
        return frozen;
    });
    gate.state.ring.fill(128);
    gate.state.speakerOn = 1;
    gate.audio.startSound();
    for (auto _ : bench) gate.audio.renderIfDue();
    if (gate.audio.renders() != 0) bench.SkipWithError("the gate rendered");
    gate.audio.stopSound();
}
BENCHMARK(BM_RenderIfDueNothingDue);

// Speaker off: the flag test alone.
void BM_RenderIfDueSpeakerOff(benchmark::State& bench) {
    Gate gate;
    for (auto _ : bench) gate.audio.renderIfDue();
}
BENCHMARK(BM_RenderIfDueSpeakerOff);

// CPU seconds (user + system) from a /proc stat line: fields 14 and 15, after the command in parentheses.
double cpuSeconds(const std::string& statPath) {
    std::ifstream in(statPath);
    std::string line;
    std::getline(in, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The whole running scheduler playing the default patch for 10 s at 44100 Hz through PulseAudio, as the
// program does with nothing else happening: the share of one core the process used (and the GUI thread
// alone), read from /proc. Needs a Pulse server with a sink (tests/support/with_pulse_null_sink.sh).
void BM_SchedulerCpuShareAt44100(benchmark::State& bench) {
    if (voltina::probePulseServer().sinks == 0) {
        bench.SkipWithError("no PulseAudio server with a sink");
        return;
    }
    double process = 0, gui = 0, seconds = 0;
    for (auto _ : bench) {
        voltina::EngineState state;
        QuietHooks hooks;
        voltina::AudioSystem audio(state, hooks, std::make_unique<voltina::PulseDevice>());
        state.rateParam = 44101;
        state.ring.setRingBytes(voltina::rateChangeRingBytes(state.rateParam));
        voltina::fillSinusoiderTable(state.sinusoiderTable);
        voltina::setEngineDefaults(state);
        for (int osc = 0; osc < voltina::kOscillators; ++osc)
            voltina::deriveOscillator(state, osc, state.oscType[osc]);
        audio.setAudioReady(audio.initAudio());
        voltina::GatedApplication::gated()->setGate([&audio] { audio.renderIfDue(); });
        state.ring.fill(128);
        state.speakerOn = 1;
        voltina::syncReset(state);
        audio.startSound();

        const std::string guiStat = "/proc/self/task/" + std::to_string(gettid()) + "/stat";
        const double process0 = cpuSeconds("/proc/self/stat"), gui0 = cpuSeconds(guiStat);
        const auto wall0 = std::chrono::steady_clock::now();
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        process = cpuSeconds("/proc/self/stat") - process0;
        gui = cpuSeconds(guiStat) - gui0;
        audio.stopSound();
        voltina::GatedApplication::gated()->setGate(nullptr);
        if (audio.renders() == 0 || !hooks.silent) bench.SkipWithError("the sound did not play");
    }
    bench.counters["process_cpu_percent"] = 100.0 * process / seconds;
    bench.counters["gui_thread_cpu_percent"] = 100.0 * gui / seconds;
}
BENCHMARK(BM_SchedulerCpuShareAt44100)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    // The program's kind of application: the sound timer needs the thread's event dispatcher, and the gate
    // rides on its loop as it does in the program. No display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    voltina::GatedApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
