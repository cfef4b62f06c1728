// voltina-render: a configuration (and a MIDI file) in, a WAV file out, without a sound card.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "engine/defaults.h"
#include "media/file_bytes.h"
#include "media/wav_file.h"
#include "media/wav_import.h"
#include "midi/midi_file.h"
#include "render/offline_render.h"
#include "render/render_options.h"
#include "voltina_version.h"

namespace {

constexpr std::size_t kMaxMidiFileBytes = 64u << 20;

int fail(const std::string& message) {
    std::fprintf(stderr, "voltina-render: %s\n", message.c_str());
    return 1;
}

// A configuration names its sample relative to its own folder, as it travels with it.
std::string besideConfiguration(const std::string& configPath, const std::string& wave) {
    const std::filesystem::path path(wave);
    if (path.is_absolute()) return wave;
    return (std::filesystem::path(configPath).parent_path() / path).string();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace voltina;
    std::vector<std::string> args(argv + 1, argv + argc);
    RenderOptions options;
    std::string error;
    if (!parseRenderOptions(args, options, error)) {
        std::fprintf(stderr, "voltina-render: %s\n\n%s", error.c_str(), renderUsage());
        return 2;
    }
    if (options.help) {
        std::fputs(renderUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::puts("Voltina " VOLTINA_VERSION);
        return 0;
    }

    auto state = std::make_unique<EngineState>();
    setEngineDefaults(*state);
    int rate = 11025;
    std::string wavePath = options.wavePath;
    if (!options.configPath.empty()) {
        Configuration config;
        if (!readConfigurationFile(options.configPath, config, error)) return fail(error);
        if (!applyConfiguration(config, *state, error)) return fail(options.configPath + ": " + error);
        rate = config.rate;
        if (wavePath.empty() && config.hasWave)
            wavePath = besideConfiguration(options.configPath, config.wave);
    }
    if (options.rate != 0) rate = options.rate;

    std::vector<TimedMidiMessage> midi;
    if (!options.midiPath.empty()) {
        std::vector<std::uint8_t> bytes;
        if (!readFileBytes(options.midiPath, kMaxMidiFileBytes, bytes, error)) return fail(error);
        MidiFile file;
        if (!readMidiFile(bytes.data(), bytes.size(), file, error))
            return fail(options.midiPath + ": " + error);
        midi.reserve(file.events.size());
        for (const MidiFileEvent& event : file.events)
            midi.push_back({eventFrame(file, event, static_cast<std::uint32_t>(rate)), event.message});
        state->midiOpen = 1;
    }

    std::uint64_t frames = options.frames;
    if (options.haveSeconds && !secondsToFrames(options.seconds, rate, frames))
        return fail("--seconds: \"" + options.seconds + "\" is not a number of seconds");

    const int rateParam = rate + 1;
    prepareAudioTables(*state, rateParam, options.channels == 2 ? 1 : 0);
    if (!wavePath.empty()) {
        WaveSampleName sampleName;
        const auto toStderr = [&](const std::string& message) { fail(wavePath + ": " + message); };
        if (loadWaveSample(*state, sampleName, wavePath, toStderr) != 1) return 1;
    }
    startSoundOffline(*state);
    const std::vector<std::uint8_t> recorded = renderOffline(*state, frames, midi);

    if (!saveWaveFile(options.outputPath, recordingFormat(rateParam, state->stereoOut), recorded.data(),
                      recorded.size(), error))
        return fail(error);
    return 0;
}
