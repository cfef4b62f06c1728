// voltina-render: a configuration (and a MIDI file) in, a WAV file out, without a sound card.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "engine/defaults.h"
#include "media/file_bytes.h"
#include "media/wav_file.h"
#include "media/wav_import.h"
#include "midi/midi_file.h"
#include "render/controller_moves.h"
#include "render/offline_render.h"
#include "render/offline_start.h"
#include "render/panel_events.h"
#include "render/render_inputs.h"
#include "render/render_options.h"
#include "render/render_output.h"
#include "voltina_version.h"

namespace {

constexpr std::size_t kMaxMidiFileBytes = 64u << 20;

int fail(const std::string& message) {
    std::fprintf(stderr, "voltina-render: %s\n", voltina::printableText(message).c_str());
    return 1;
}

// One line on a terminal, rewritten in place: how far the render is and how fast it goes. Shown only
// once the render has taken a second, so short renders stay silent.
class ProgressLine {
  public:
    ProgressLine(bool enabled, std::uint64_t frames, int rate)
        : enabled_(enabled), frames_(frames), rate_(rate), start_(Clock::now()) {}

    void update(std::uint64_t done) {
        if (!enabled_) return;
        const Clock::time_point now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) ||
            (shown_ && now - last_ < std::chrono::milliseconds(200)))
            return;
        last_ = now;
        shown_ = true;
        show(done, now);
    }

    // Ends the line: the last figures when the render is whole, nothing more otherwise.
    void end(std::uint64_t done) {
        if (!shown_) return;
        show(done, Clock::now());
        std::fputc('\n', stderr);
        shown_ = false;
    }

  private:
    using Clock = std::chrono::steady_clock;

    void show(std::uint64_t done, Clock::time_point now) const {
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double seconds = static_cast<double>(done) / rate_;
        const double percent = frames_ == 0 ? 100.0 : 100.0 * static_cast<double>(done) / frames_;
        std::fprintf(stderr, "\rvoltina-render: %3.0f%%  %.1f s rendered  %.0fx real time\x1b[K", percent,
                     seconds, elapsed > 0 ? seconds / elapsed : 0.0);
        std::fflush(stderr);
    }

    bool enabled_;
    std::uint64_t frames_;
    int rate_;
    Clock::time_point start_;
    Clock::time_point last_{};
    bool shown_ = false;
};

// A take's performance plays what the take played: nothing may be put beside it.
std::string performanceConflict(const voltina::RenderOptions& options) {
    if (options.rate != 0) return "--rate";
    if (options.haveChannels) return "--channels";
    if (!options.midiPath.empty()) return "--midi";
    if (!options.wavePath.empty()) return "--wave";
    if (!options.eventsPath.empty()) return "--events";
    return {};
}

int run(const voltina::RenderOptions& options) {
    using namespace voltina;
    std::string error;
    std::shared_ptr<EngineState> state = std::make_shared<EngineState>();
    setEngineDefaults(*state);
    int rate = 11025;
    std::string wavePath = options.wavePath;
    const bool performance = isPerformancePath(options.configPath);
    Performance played;
    RenderInputs read;  // what the events and the performance name
    Configuration config;
    bool haveConfiguration = false;
    if (performance) {
        const std::string conflict = performanceConflict(options);
        if (!conflict.empty())
            return fail(conflict + " does not go with a performance: it plays what its take played");
        if (!readPerformanceFile(options.configPath, played, error, &read)) return fail(error);
        if (played.start) {
            state = played.start;
            rate = state->rateParam - 1;
        }
        if (!options.haveSeconds && !options.haveFrames && !played.haveFrames)
            return fail(options.configPath +
                        " does not say how long its take is: give --seconds or --frames");
    } else if (!options.configPath.empty()) {
        haveConfiguration = true;
        if (!readConfigurationFile(options.configPath, config, error)) return fail(error);
        if (!applyConfiguration(config, *state, error)) return fail(options.configPath + ": " + error);
        rate = config.rate;
        if (wavePath.empty() && config.hasWave)
            wavePath = besideConfiguration(options.configPath, config.wave);
    }
    if (options.rate != 0) rate = options.rate;

    std::uint64_t frames = options.haveFrames || options.haveSeconds ? options.frames : played.frames;
    if (options.haveSeconds && !secondsToFrames(options.seconds, rate, frames))
        return fail("--seconds: \"" + options.seconds + "\" is not a number of seconds");
    const std::uint64_t bytesPerFrame =
        (played.start ? played.start->stereoOut == 1 : options.channels == 2) ? 2 : 1;
    if (frames > kMaxWaveDataBytes / bytesPerFrame) {
        return fail(std::to_string(frames) + " frames do not fit in a WAV file (at most " +
                    std::to_string(kMaxWaveDataBytes / bytesPerFrame) + " frames with " +
                    std::to_string(bytesPerFrame) + (bytesPerFrame == 2 ? " channels" : " channel") +
                    ", about " + std::to_string(kMaxWaveDataBytes / bytesPerFrame / rate / 3600) +
                    " hours at " + std::to_string(rate) + " Hz)");
    }

    std::vector<TimedMidiMessage> midi;
    if (!options.midiPath.empty()) {
        std::vector<std::uint8_t> bytes;
        if (!readFileBytes(options.midiPath, kMaxMidiFileBytes, bytes, error)) return fail(error);
        MidiFile file;
        // The control changes matter only to controllers the configuration binds.
        if (!readMidiFile(bytes.data(), bytes.size(), file, error, !config.controllers.empty()))
            return fail(options.midiPath + ": " + error);
        std::vector<std::uint8_t>().swap(bytes);
        midi.reserve(file.events.size());
        for (const MidiFileEvent& event : file.events)
            midi.push_back({eventFrame(file, event, static_cast<std::uint32_t>(rate)), event.message});
        state->midiOpen = 1;
    }

    std::vector<PanelEvent> events;
    if (!options.eventsPath.empty() &&
        !readPanelEventsFile(options.eventsPath, *state, rate + 1, events, error, &read))
        return fail(error);

    const int rateParam = rate + 1;
    const bool resume = performance && played.start;
    if (resume) {
        prepareAudioTables(*state, rateParam, state->stereoOut);
        resumeSoundOffline(*state);
    } else {
        // The engine starts as the plugin starts it, from the configuration checked above.
        StartSample sample;
        sample.name = wavePath;
        std::unique_ptr<EngineState> started =
            startEngine(haveConfiguration ? &config : nullptr, rate, options.channels == 2 ? 1 : 0,
                        state->midiOpen != 0, sample, error);
        if (!started) return fail(error);
        state = std::move(started);
    }
    if (performance) events = std::move(played.events);
    if (!config.controllers.empty()) events = withControllerMoves(config.controllers, midi, events);
    // MIDI messages among the events play as a keyboard would, through an open input (a start state
    // says itself whether the input was open).
    if (!resume) {
        for (const PanelEvent& event : events) {
            if (event.isMidi) state->midiOpen = 1;
        }
    }

    // The length is known before the first frame, so the header goes first and the frames follow as
    // they are rendered.
    const WaveFormat format = recordingFormat(rateParam, state->stereoOut);
    const std::uint64_t dataBytes = frames * bytesPerFrame;
    const std::vector<std::uint8_t> header = waveHeader(format, static_cast<std::uint32_t>(dataBytes));
    RenderOutput output;
    std::vector<RenderOutput::NamedInput> inputs = {
        {performance ? "the performance" : "the configuration", options.configPath},
        {"the MIDI file", options.midiPath},
        {"the events file", options.eventsPath},
        {"the sample", wavePath}};
    inputs.insert(inputs.end(), read.files().begin(), read.files().end());
    if (!output.open(options.outputPath, error, inputs)) return fail(error);
    if (!output.write(header.data(), header.size(), error)) return fail(error);

    ProgressLine progress(!options.quiet && ::isatty(STDERR_FILENO) != 0, frames, rate);
    std::vector<std::uint8_t> mono;
    bool writeFailed = false;
    const FrameSink sink = [&](const std::uint8_t* bytes, std::size_t size) {
        if (format.channels == 1) {
            leftBytesOfFrames(bytes, size, mono);
            writeFailed = !output.write(mono.data(), mono.size(), error);
        } else {
            writeFailed = !output.write(bytes, size, error);
        }
        return !writeFailed;
    };
    std::uint64_t done = 0;
    const bool whole = renderOfflineTo(*state, frames, midi, events, sink, [&](std::uint64_t framesDone) {
        done = framesDone;
        progress.update(framesDone);
    });
    progress.end(done);
    if (!whole) return fail(writeFailed ? error : "the render stopped before its end");
    // RIFF chunks are word-aligned: an odd data chunk (a mono render of an odd number of frames) is
    // followed by a pad byte that its size does not count but the RIFF size does.
    if ((dataBytes & 1) != 0 && !output.write("", 1, error)) return fail(error);
    if (!output.finish(kWaveHeaderBytes + dataBytes + (dataBytes & 1), error)) return fail(error);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace voltina;
    std::vector<std::string> args(argv + 1, argv + argc);
    RenderOptions options;
    std::string error;
    if (!parseRenderOptions(args, options, error)) {
        // The mistake and where the rest is: the whole help would push the mistake off the screen.
        std::fprintf(stderr, "voltina-render: %s\nTry 'voltina-render --help'.\n",
                     printableText(error).c_str());
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
    installOutputCleanup();
    try {
        return run(options);
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}
