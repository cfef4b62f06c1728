// voltina-render with the Wave player's sample: the configuration's "wave" beside the configuration,
// --wave beside the user, and every refusal as a message with no file written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

using Result = voltina::test::CommandResult;
using voltina::test::runCommand;

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string le16(unsigned v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF)};
}
std::string le32(std::uint32_t v) {
    return le16(v & 0xFFFF) + le16(v >> 16);
}

// A mono 8-bit PCM file holding `sound`.
std::string waveFile(const std::string& sound, std::uint32_t rate, unsigned channels = 1) {
    const std::string fmt =
        le16(1) + le16(channels) + le32(rate) + le32(rate * channels) + le16(channels) + le16(8);
    std::string chunks = "fmt " + le32(16) + fmt + "data" + le32(std::uint32_t(sound.size())) + sound;
    if (sound.size() % 2) chunks += '\0';
    return "RIFF" + le32(std::uint32_t(4 + chunks.size())) + "WAVE" + chunks;
}

// The Wave output alone on mixer input 301 at full level: on a single-channel render every frame is the
// sample's byte itself.
std::string wavePatch(int rate, const std::string& waveEntry) {
    std::string config = R"({"voltina": 1, "rate": )" + std::to_string(rate) + R"(, "oscillators": [)";
    for (int i = 0; i < 8; ++i) config += std::string(i ? "," : "") + R"({"type": "sine", "frequency": 100})";
    config += R"(], "mixer": [)";
    for (int i = 0; i < 8; ++i) config += std::string(i ? "," : "") + R"({"level": 128, "pan": 50})";
    config += R"(], "cords": [[432, 301]])";
    if (!waveEntry.empty()) config += R"(, "wave": ")" + waveEntry + "\"";
    return config + "}";
}

// A sample whose bytes are all different from their neighbours and never 0 (which the mixer's clamp
// would turn into 1).
std::string pattern(std::size_t n, int offset) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += char(1 + (i * 53 + offset) % 255);
    return s;
}

class RenderWave : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("voltina-render-wave-" + std::to_string(getpid()));
        fs::create_directories(dir / "patches");
        fs::create_directories(dir / "work");
    }
    void TearDown() override { fs::remove_all(dir); }
    // Runs voltina-render from `cwd`.
    Result render(const fs::path& cwd, const std::string& args) {
        return runCommand("cd '" + cwd.string() + "' && " + std::string(VOLTINA_RENDER_BINARY) + " " + args);
    }
    // The frames of a single-channel render: its data bytes.
    std::string frames(const fs::path& wav) {
        const std::string bytes = readFile(wav);
        return bytes.size() >= 44 ? bytes.substr(44) : std::string();
    }
    fs::path dir;
};

void expectLoops(const std::string& out, const std::string& sound) {
    ASSERT_FALSE(out.empty());
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], sound[i % sound.size()]) << "frame " << i << " of a sample of " << sound.size();
}

TEST_F(RenderWave, ConfigurationSampleIsFoundBesideTheConfiguration) {
    const std::string sound = pattern(301, 7);
    writeFile(dir / "patches" / "LOOP.WAV", waveFile(sound, 22050));
    writeFile(dir / "patches" / "looped", wavePatch(22050, "LOOP.WAV"));
    const fs::path out = dir / "work" / "out.wav";
    // Run from another folder: the name is taken beside the configuration, not beside the user.
    const Result r = render(dir / "work", "../patches/looped --channels 1 --frames 1000 -o out.wav");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(frames(out).size(), 1000u);
    expectLoops(frames(out), sound);

    // An absolute name is taken as it stands.
    writeFile(dir / "patches" / "absolute", wavePatch(22050, (dir / "patches" / "LOOP.WAV").string()));
    ASSERT_EQ(render(dir, "patches/absolute --channels 1 --frames 700 -o work/abs.wav").status, 0);
    expectLoops(frames(dir / "work" / "abs.wav"), sound);
}

TEST_F(RenderWave, WaveOptionIsTakenBesideTheUserAndWinsOverTheConfiguration) {
    const std::string mine = pattern(97, 31);
    writeFile(dir / "work" / "MINE.WAV", waveFile(mine, 11025));
    // The configuration's own sample does not even exist: --wave replaces it, so it is never opened.
    writeFile(dir / "patches" / "looped", wavePatch(11025, "MISSING.WAV"));
    const Result r =
        render(dir / "work", "../patches/looped --wave MINE.WAV --channels 1 --frames 500 -o o.wav");
    ASSERT_EQ(r.status, 0) << r.output;
    expectLoops(frames(dir / "work" / "o.wav"), mine);
}

TEST_F(RenderWave, RefusedSamplesGiveTheLoadersMessageWithItsReasonAndNoFile) {
    writeFile(dir / "work" / "STEREO.WAV", waveFile(pattern(40, 1), 11025, 2));
    writeFile(dir / "work" / "FAST.WAV", waveFile(pattern(40, 1), 44100));
    writeFile(dir / "work" / "TEXT.WAV", "not a sound at all");
    writeFile(dir / "patches" / "missing", wavePatch(11025, "GONE.WAV"));
    struct Case {
        std::string args, message;
    };
    const Case cases[] = {
        {"--wave STEREO.WAV",
         "STEREO.WAV: The sound must be mono, 8 bits, 11025 samples per second (2 channels)"},
        {"--wave FAST.WAV --rate 22050",
         "FAST.WAV: The sound must be mono, 8 bits, 22050 samples per second (44100 Hz)"},
        {"--wave TEXT.WAV", "TEXT.WAV: Error reading file (not a RIFF WAVE file)"},
        {"--wave NOWHERE.WAV", "NOWHERE.WAV: Error opening file (No such file or directory)"},
        {"../patches/missing", "GONE.WAV: Error opening file (No such file or directory)"},
    };
    for (const Case& c : cases) {
        const Result r = render(dir / "work", c.args + " --frames 100 -o never.wav");
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_EQ(r.output.rfind("voltina-render: ", 0), 0u) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.message + "\n"), std::string::npos) << c.args << "\n" << r.output;
        EXPECT_FALSE(fs::exists(dir / "work" / "never.wav")) << c.args;
    }
    const Result empty = render(dir / "work", "--wave '' --frames 100 -o never.wav");
    EXPECT_NE(empty.status, 0);
    EXPECT_NE(empty.output.find("--wave needs a file name"), std::string::npos) << empty.output;
}

}  // namespace
