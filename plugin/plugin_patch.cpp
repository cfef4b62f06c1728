#include "plugin/plugin_patch.h"

#include "media/file_bytes.h"
#include "media/wav_import.h"
#include "patch/jack_number.h"
#include "render/offline_start.h"

namespace voltina {

namespace {

// A sample file is its data and a header; the loader refuses the data beyond its own limit in its own
// words, so the file read may take a little more.
constexpr std::size_t kMaxSampleFileBytes = kMaxSampleBytes + (1u << 16);

// The engine as voltina-render starts it, MIDI open (the plugin always has its MIDI input), stereo.
std::unique_ptr<LoadedPatch> startPatch(const Configuration* configuration,
                                        std::vector<std::uint8_t> sampleFile, const std::string& sampleName,
                                        double hostRate, std::string& error) {
    const int rate = configuration ? configuration->rate : 11025;
    StartSample sample;
    if (!sampleFile.empty()) {
        sample.name = sampleName;
        sample.bytes = &sampleFile;
    }
    std::unique_ptr<EngineState> state = startEngine(configuration, rate, 1, true, sample, error);
    if (!state) return nullptr;

    auto patch = std::make_unique<LoadedPatch>();
    patch->sound = PluginSound::create(std::move(state), hostRate);
    if (!patch->sound) {
        error = "cannot convert " + std::to_string(rate) + " Hz to the host's rate of " +
                std::to_string(static_cast<long long>(hostRate)) + " Hz";
        return nullptr;
    }
    if (configuration) {
        patch->configuration = *configuration;
    } else {
        patch->configuration = captureConfiguration(patch->sound->state(), rate, "");
    }
    patch->controllers = ControllerMap(patch->configuration.controllers);
    patch->sampleFile = std::move(sampleFile);
    patch->sample = patch->sound->state().waveSample;
    patch->startup = configuration == nullptr;
    static std::atomic<std::uint64_t> lastId{0};
    patch->id = ++lastId;
    patch->takeValues();
    return patch;
}

}  // namespace

void LoadedPatch::takeValues() {
    for (int p = 0; p < kParameterCount; ++p)
        values[p].store(parameterValue(sound->state(), p), std::memory_order_relaxed);
    takeCords();
}

void LoadedPatch::takeCords() {
    const EngineState& s = sound->state();
    cordsVersion.fetch_add(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (int in = 0; in < kJacks; ++in)
        cords[in].store(hasCord(s, in) ? s.cordSource[in] : kNoCord, std::memory_order_relaxed);
    cordsVersion.fetch_add(1, std::memory_order_release);
}

Configuration LoadedPatch::current() const {
    Configuration c = configuration;
    for (int p = 0; p < kParameterCount; ++p) {
        const ParameterInfo info = parameterInfo(p);
        const float v = values[p].load(std::memory_order_relaxed);
        const std::size_t i = static_cast<std::size_t>(info.index);
        switch (info.kind) {
            case ParameterKind::WaveType:
                c.oscType[i] = static_cast<int>(v);
                break;
            case ParameterKind::Frequency:
                c.oscFreq[i] = v;
                break;
            case ParameterKind::Level:
                c.mixLevel[i] = static_cast<int>(v);
                break;
            case ParameterKind::Pan:
                c.mixPan[i] = static_cast<int>(v);
                break;
        }
    }
    if (sampleGone.load(std::memory_order_relaxed)) {
        c.hasWave = false;
        c.wave.clear();
    }
    int source[kJacks];
    for (;;) {
        const std::uint32_t before = cordsVersion.load(std::memory_order_acquire);
        for (int in = 0; in < kJacks; ++in) source[in] = cords[in].load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (before % 2 == 0 && cordsVersion.load(std::memory_order_relaxed) == before) break;
    }
    c.cords.clear();
    for (int in = 0; in < kJacks; ++in)
        if (source[in] >= 0 && source[in] < kJacks)
            c.cords.emplace_back(JackNumber::output(source[in]).number(), JackNumber::input(in).number());
    return c;
}

std::unique_ptr<LoadedPatch> startupPatch(double hostRate, std::string& error) {
    return startPatch(nullptr, {}, "", hostRate, error);
}

namespace {

std::unique_ptr<LoadedPatch> loadConfiguration(const Configuration& c, std::vector<std::uint8_t> sampleFile,
                                               const std::string& path, double hostRate, std::string& error) {
    std::string sampleName;
    if (c.hasWave) {
        sampleName = besideConfiguration(path, c.wave);
        if (sampleFile.empty() && !readFileBytes(sampleName, kMaxSampleFileBytes, sampleFile, error))
            return nullptr;
    } else {
        sampleFile.clear();
    }
    std::unique_ptr<LoadedPatch> patch = startPatch(&c, std::move(sampleFile), sampleName, hostRate, error);
    if (patch) patch->path = path;
    return patch;
}

}  // namespace

std::unique_ptr<LoadedPatch> startAgain(const LoadedPatch& p, double hostRate, std::string& error) {
    if (p.startup) return startupPatch(hostRate, error);
    return loadConfiguration(p.configuration, p.sampleFile, p.path, hostRate, error);
}

std::unique_ptr<LoadedPatch> loadPatchFile(const std::string& path, double hostRate, std::string& error) {
    Configuration c;
    if (!readConfigurationFile(path, c, error)) return nullptr;
    std::unique_ptr<LoadedPatch> patch = loadConfiguration(c, {}, path, hostRate, error);
    if (!patch && error.compare(0, path.size(), path) != 0) error = path + ": " + error;
    return patch;
}

std::unique_ptr<LoadedPatch> loadPatchText(const std::string& text,
                                           const std::vector<std::uint8_t>& sampleFile,
                                           const std::string& path, double hostRate, std::string& error) {
    Configuration c;
    if (!parseConfiguration(text, c, error)) return nullptr;
    return loadConfiguration(c, sampleFile, path, hostRate, error);
}

}  // namespace voltina
