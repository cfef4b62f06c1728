#include "scenario_support.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include "audio/gated_application.h"
#include "engine/defaults.h"
#include "engine/oscillator.h"
#include "engine/ring_buffer.h"
#include "engine/tables.h"

extern char** environ;

namespace voltina {

MonitorCapture::~MonitorCapture() {
    if (pid_ > 0) stop();
}

bool MonitorCapture::start(const std::string& path, int rate) {
    const char* sink = std::getenv("VOLTINA_TEST_PULSE_SINK");
    if (!sink) return false;
    path_ = path;
    const std::string device = std::string("--device=") + sink + ".monitor";
    const std::string rateArg = "--rate=" + std::to_string(rate);
    std::vector<std::string> args = {"parecord",     "--raw",          device, rateArg,
                                     "--channels=2", "--format=s16le", path};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return posix_spawnp(&pid_, "parecord", nullptr, nullptr, argv.data(), environ) == 0;
}

std::vector<std::int16_t> MonitorCapture::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGINT);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    std::ifstream in(path_, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> samples(bytes.size() / 4 * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                               (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
    }
    return samples;
}

namespace {

struct Frames {
    const std::vector<std::int16_t>& capture;
    const std::vector<std::uint8_t>& recorded;
    std::size_t captureFrames() const { return capture.size() / 2; }
    std::size_t recordedFrames() const { return recorded.size() / 2; }
    bool same(std::size_t c, std::size_t r) const {
        return capture[2 * c] == (recorded[2 * r] - 128) * 256 &&
               capture[2 * c + 1] == (recorded[2 * r + 1] - 128) * 256;
    }
    bool zero(std::size_t c) const { return capture[2 * c] == 0 && capture[2 * c + 1] == 0; }
    // `count` frames from capture frame c equal those from recorded frame r (as many as both have).
    bool run(std::size_t c, std::size_t r, std::size_t count) const {
        count = std::min({count, captureFrames() - c, recordedFrames() - r});
        for (std::size_t k = 0; k < count; ++k)
            if (!same(c + k, r + k)) return false;
        return true;
    }
};

}  // namespace

CaptureComparison compareCapture(const std::vector<std::int16_t>& capture,
                                 const std::vector<std::uint8_t>& recorded, std::size_t cycleFrames) {
    CaptureComparison result;
    const Frames f{capture, recorded};
    const std::size_t n = f.captureFrames();
    const std::size_t m = f.recordedFrames();
    if (m == 0) {
        result.problem = "nothing was recorded";
        return result;
    }
    // Anchor on a long stretch so the silence before the sound cannot match by accident.
    const std::size_t anchor = std::min<std::size_t>(2000, m);
    std::size_t start = n;
    for (std::size_t c = 0; c + anchor <= n; ++c) {
        if (f.same(c, 0) && f.run(c, 0, anchor)) {
            start = c;
            break;
        }
    }
    if (start == n) {
        result.problem = "the recorded frames were not found in the capture";
        return result;
    }
    result.found = true;
    result.startFrame = start;
    while (result.silentBefore < start && f.zero(start - 1 - result.silentBefore)) ++result.silentBefore;

    constexpr std::size_t kResync = 32;
    std::size_t r = 0;
    std::size_t c = start;
    while (r < m && c < n) {
        if (f.same(c, r)) {
            ++r;
            ++c;
            continue;
        }
        if (f.zero(c)) {
            std::size_t zeros = 0;
            while (c + zeros < n && f.zero(c + zeros)) ++zeros;
            if (c + zeros == n) break;  // the capture ends in silence: the stream was closed
            bool resumed = false;
            for (std::size_t skip = 1; skip <= zeros && !resumed; ++skip) {
                if (f.run(c + skip, r, kResync)) {
                    ++result.underrunRuns;
                    result.underrunFrames += skip;
                    c += skip;
                    resumed = true;
                }
            }
            if (resumed) continue;
        }
        // A lost cycle: the capture goes on some frames later in the recording, or some frames later itself.
        // A long match keeps a periodic sound from resuming at the wrong place.
        constexpr std::size_t kCycleResync = 512;
        bool resumed = false;
        for (std::size_t skip = 1; skip <= cycleFrames && !resumed; ++skip) {
            if (r + skip + kCycleResync <= m && f.run(c, r + skip, kCycleResync)) {
                r += skip;
                resumed = true;
            } else if (c + skip + kCycleResync <= n && f.run(c + skip, r, kCycleResync)) {
                c += skip;
                resumed = true;
            }
        }
        if (resumed) {
            ++result.lostCycles;
            continue;
        }
        result.problem = "recorded frame " + std::to_string(r) + " differs from captured frame " +
                         std::to_string(c) + " (" + std::to_string(capture[2 * c]) + ", " +
                         std::to_string(capture[2 * c + 1]) + " instead of " +
                         std::to_string((recorded[2 * r] - 128) * 256) + ", " +
                         std::to_string((recorded[2 * r + 1] - 128) * 256) + ")";
        break;
    }
    result.compared = r;
    return result;
}

ScenarioPlayer::ScenarioPlayer(AudioBackend backend, int rate)
    : hooks(state), audio(state, hooks, createWaveDevice(backend, false)) {
    if (rate != 0) {
        state.rateParam = rate + 1;
        state.ring.setRingBytes(rateChangeRingBytes(state.rateParam));
    }
    fillSinusoiderTable(state.sinusoiderTable);
    setEngineDefaults(state);
    for (int osc = 0; osc < kOscillators; ++osc) deriveOscillator(state, osc, state.oscType[osc]);
    audio.setAudioReady(audio.initAudio());
    GatedApplication::gated()->setGate([this] { audio.renderIfDue(); });
}

ScenarioPlayer::~ScenarioPlayer() {
    GatedApplication::gated()->setGate(nullptr);
}

void ScenarioPlayer::switchOn(bool record) {
    state.recordOn = record ? 1 : 0;
    state.ring.fill(128);
    state.speakerOn = 1;
    syncReset(state);
    audio.startSound();
}

void runEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace voltina
