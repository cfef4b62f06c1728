#include "tests/plugin/plugin_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "media/file_bytes.h"
#include "media/wav_file.h"
#include "midi/midi_file.h"
#include "tests/media/smf_builder.h"
#include "tests/support/run_command.h"
#include "tests/support/test_patches.h"

namespace voltina::test {

namespace fs = std::filesystem;

PluginFiles::PluginFiles() {
    static int count = 0;
    folder_ = (fs::temp_directory_path() /
               ("voltina-plugin-test-" + std::to_string(getpid()) + "-" + std::to_string(count++)))
                  .string();
    fs::create_directories(folder_);
}

PluginFiles::~PluginFiles() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

Configuration PluginFiles::everyModule(int rate) const {
    EngineState s;
    everyModulePatch(s);
    Configuration c = captureConfiguration(s, rate, "EVERY.WAV");
    // The engine patch pans its last channel past the control's right end, which no file may hold.
    for (int& pan : c.mixPan) pan = std::min(pan, 100);
    return c;
}

std::string PluginFiles::writeConfiguration(const std::string& name, const Configuration& c) const {
    std::string error;
    EXPECT_TRUE(writeConfigurationFile(path(name), c, error)) << error;
    if (c.hasWave) {
        // A second and a bit of sample, stepping through every value, so the player loops in a render.
        const std::unique_ptr<SampleRecord> sample = steppedSample(c.rate + 997, 37);
        const WaveFormat format = recordingFormat(c.rate + 1, 0);
        EXPECT_TRUE(writeWaveFile(besideConfiguration(path(name), c.wave), format, sample->data.data(),
                                  sample->data.size(), error))
            << error;
    }
    return path(name);
}

std::string PluginFiles::writeTune(const std::string& name) const {
    using voltina::testing::TrackBuilder;
    const voltina::testing::Bytes bytes = voltina::testing::smf(0, 96,
                                                                {TrackBuilder()
                                                                     .event(0, {0x90, 69, 100})
                                                                     .event(50, {0x90, 60, 90})
                                                                     .event(70, {0x80, 60, 0})
                                                                     .event(30, {0x91, 76, 80})
                                                                     .event(50, {0x80, 69, 0})
                                                                     .event(1, {0x90, 62, 70})
                                                                     .event(59, {0x81, 76, 0})
                                                                     .event(5, {0x90, 62, 0})
                                                                     .end()});
    std::ofstream(path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path(name);
}

std::vector<HostEvent> PluginFiles::tuneEvents(const std::string& midiPath, int rate,
                                               std::uint64_t offset) const {
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(readFileBytes(midiPath, 1 << 20, bytes, error)) << error;
    MidiFile file;
    EXPECT_TRUE(readMidiFile(bytes.data(), bytes.size(), file, error, true)) << error;
    std::vector<HostEvent> events;
    for (const MidiFileEvent& e : file.events) {
        const std::uint32_t m = e.message;
        events.push_back(HostEvent::note(offset + eventFrame(file, e, static_cast<std::uint32_t>(rate)),
                                         m & 0xFF, (m >> 8) & 0xFF, (m >> 16) & 0xFF));
    }
    return events;
}

std::vector<std::uint8_t> PluginFiles::render(const std::string& config, const std::string& midi,
                                              std::uint64_t frames, const std::string& events) const {
    const std::string out = path("render.wav");
    std::string line = std::string(VOLTINA_RENDER_BINARY) + " " + config + " --frames " +
                       std::to_string(frames) + " -o " + out;
    if (!midi.empty()) line += " --midi " + midi;
    if (!events.empty()) line += " --events " + events;
    const CommandResult result = runCommand(line);
    EXPECT_EQ(result.status, 0) << line << "\n" << result.output;
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(readFileBytes(out, 1u << 30, bytes, error)) << error;
    if (bytes.size() < kWaveHeaderBytes) return {};
    return std::vector<std::uint8_t>(bytes.begin() + kWaveHeaderBytes, bytes.end());
}

}  // namespace voltina::test
