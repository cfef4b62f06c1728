// The voltina-render program as a user runs it; outside tools judge the WAV files it writes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "engine/defaults.h"
#include "media/wav_file.h"
#include "render/offline_render.h"
#include "render/offline_start.h"
#include "render/sample_check.h"
#include "render/start_state.h"
#include "tests/support/run_command.h"

namespace fs = std::filesystem;

namespace {

using Result = voltina::test::CommandResult;
using voltina::test::runCommand;
using voltina::test::runShell;

class RenderProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("voltina-render-test-" + std::to_string(getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string render(const std::string& args) { return std::string(VOLTINA_RENDER_BINARY) + " " + args; }
    std::string path(const std::string& name) { return (dir / name).string(); }
    fs::path dir;
};

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string be32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

}  // namespace

TEST_F(RenderProgram, DefaultPatchGivesAWellFormedSoundingFile) {
    const std::string out = path("default.wav");
    ASSERT_EQ(runCommand(render("--seconds 2 -o " + out)).status, 0);
    EXPECT_EQ(fs::file_size(out), 44u + 2u * 22050u);

    const Result info = runCommand("sndfile-info " + out);
    EXPECT_NE(info.output.find("Sample Rate : 11025"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Frames      : 22050"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Channels    : 2"), std::string::npos) << info.output;

    const Result sox = runCommand("sox --i " + out);
    EXPECT_NE(sox.output.find("8-bit Unsigned Integer PCM"), std::string::npos) << sox.output;

    const Result stat = runCommand("sox " + out + " -n stat");
    const auto at = stat.output.find("RMS     amplitude:");
    ASSERT_NE(at, std::string::npos) << stat.output;
    EXPECT_GT(std::stod(stat.output.substr(at + 18)), 0.02);
}

TEST_F(RenderProgram, SingleChannelRenderIsTrueMono) {
    const std::string out = path("mono.wav");
    ASSERT_EQ(runCommand(render("--frames 1000 --channels 1 --rate 22050 -o " + out)).status, 0);
    EXPECT_EQ(fs::file_size(out), 44u + 1000u);
    const Result info = runCommand("sndfile-info " + out);
    EXPECT_NE(info.output.find("Channels    : 1"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Sample Rate : 22050"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Frames      : 1000"), std::string::npos) << info.output;
}

TEST_F(RenderProgram, ConfigurationAndMidiFilePlayTheNote) {
    // MIDI output 429 on mixer input 301, at full level.
    std::string config = R"({"voltina": 1, "rate": 11025, "oscillators": [)";
    for (int i = 0; i < 8; ++i) config += std::string(i ? "," : "") + R"({"type": "sine", "frequency": 100})";
    config += R"(], "mixer": [)";
    for (int i = 0; i < 8; ++i) config += std::string(i ? "," : "") + R"({"level": 128, "pan": 50})";
    config += R"(], "cords": [[429, 301]]})";
    writeFile(path("midi-patch"), config);

    // One track, 96 ticks per quarter at the default tempo: note 69 from 0.5 s to 1.5 s.
    std::string track;
    track += std::string("\x60\x90\x45\x64", 4);  // 96 ticks: note-on 69
    track += std::string("\x81\x40\x45\x00", 4);  // 192 ticks, running status, velocity 0
    track += std::string("\x00\xFF\x2F\x00", 4);  // end of track
    std::string smf = "MThd" + be32(6) + std::string("\x00\x00\x00\x01\x00\x60", 6) + "MTrk" +
                      be32(static_cast<std::uint32_t>(track.size())) + track;
    writeFile(path("tune.mid"), smf);

    const std::string out = path("tune.wav");
    const Result r =
        runCommand(render(path("midi-patch") + " --midi " + path("tune.mid") + " --seconds 2 -o " + out));
    ASSERT_EQ(r.status, 0) << r.output;

    std::ifstream in(out, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 44u + 2u * 22050u);
    auto silent = [&](int frame) {
        return static_cast<unsigned char>(bytes[44 + 2 * frame]) == 128 &&
               static_cast<unsigned char>(bytes[45 + 2 * frame]) == 128;
    };
    // 0.5 s is frame 5512.5: the note-on applies before frame 5513, which sounds sin 0; 5514 is loud.
    EXPECT_TRUE(silent(5513));
    EXPECT_FALSE(silent(5514));
    // the note-off at 1.5 s applies before frame 16538 (16537.5 rounded up)
    EXPECT_FALSE(silent(16530));
    for (int f = 16538; f < 22050; ++f) ASSERT_TRUE(silent(f)) << f;
}

// Every factory configuration loads and sounds (the MIDI voice's with a note playing); the start-up one
// is the patch voltina-render plays without a configuration.
TEST_F(RenderProgram, FactoryConfigurationsSound) {
    std::string track = std::string("\x00\x90\x39\x64", 4) + std::string("\x81\x40\x39\x00", 4) +
                        std::string("\x00\xFF\x2F\x00", 4);  // note 57 for 192 ticks
    writeFile(path("note.mid"), "MThd" + be32(6) + std::string("\x00\x00\x00\x01\x00\x60", 6) + "MTrk" +
                                    be32(static_cast<std::uint32_t>(track.size())) + track);
    for (const char* name : {"startup", "midi-voice", "vibrato", "auto-pan", "sample-loop"}) {
        SCOPED_TRACE(name);
        const std::string config = std::string(VOLTINA_FACTORY_DIR) + "/" + name + ".json";
        const std::string out = path(std::string(name) + ".wav");
        const Result r =
            runCommand(render(config + " --midi " + path("note.mid") + " --seconds 1 --quiet -o " + out));
        ASSERT_EQ(r.status, 0) << r.output;
        const Result stat = runCommand("sox " + out + " -n stat");
        const auto at = stat.output.find("RMS     amplitude:");
        ASSERT_NE(at, std::string::npos) << stat.output;
        EXPECT_GT(std::stod(stat.output.substr(at + 18)), 0.02);
    }
    ASSERT_EQ(runCommand(render("--midi " + path("note.mid") + " --seconds 1 --quiet -o " +
                                path("default-note.wav")))
                  .status,
              0);
    EXPECT_EQ(readFile(path("startup.wav")), readFile(path("default-note.wav")));
}

TEST_F(RenderProgram, BadInputGivesAMessageAndNoFile) {
    const std::string out = path("never.wav");
    writeFile(path("broken"), "{\"voltina\": 1, \"rate\": 12000");
    writeFile(path("not-midi.mid"), "RIFF....WAVE");
    writeFile(path("newer"), R"({"voltina": 7})");
    // A sample name that would drive the terminal if it were printed as it is.
    std::string config = R"({"voltina": 1, "rate": 11025, "oscillators": [)";
    for (int i = 0; i < 8; ++i) config += std::string(i ? "," : "") + R"({"type": "sine", "frequency": 100})";
    config += R"(], "mixer": [)";
    for (int i = 0; i < 8; ++i) config += std::string(i ? "," : "") + R"({"level": 80, "pan": 50})";
    writeFile(path("escaping"), config + R"(], "cords": [[401, 301]], "wave": "\u001b[2J"})");
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    const std::string head = R"({"voltina-events": 1, "events": [{"frame": 5, "sync": true}, )";
    writeFile(path("late-plug"), head + R"({"frame": 9, "plug": [419, 309]}]})");
    writeFile(path("taken"), head + R"({"frame": 9, "plug": [404, 307]}]})");
    writeFile(path("backwards"), head + R"({"frame": 4, "channel": 1, "level": 3}]})");
    writeFile(path("nine"), head + R"({"frame": 9, "oscillator": 9, "type": "sine"}]})");
    writeFile(path("nothing"), head + R"({"frame": 9}]})");
    writeFile(path("far-frame"), head + R"({"frame": 1e308, "sync": true}]})");
    writeFile(path("inexact-frame"), head + R"({"frame": 9007199254740993, "sync": true}]})");
    writeFile(path("huge-version"), R"({"voltina-events": 1e300, "events": []})");
    writeFile(path("no-sample"), head + R"({"frame": 9, "sample": "NOPE.WAV"}]})");
    writeFile(path("free-output"), head + R"({"frame": 9, "unplug-output": 405}]})");
    writeFile(path("pan-two"), head + R"({"frame": 9, "channel": 1, "pan-knob": 2}]})");
    {
        std::string other = config + R"(], "cords": []})";
        other.replace(other.find("11025"), 5, "22050");
        writeFile(path("other-rate"), other);
    }
    writeFile(path("rate-change"), head + R"({"frame": 9, "configuration": "other-rate"}]})");
    writeFile(path("bad-midi"), head + R"({"frame": 9, "midi": [60, 1, 2]}]})");
    // Performances, from a start state that plays a sample which then changes or goes.
    {
        const std::vector<std::uint8_t> sound(300, 7);
        voltina::WaveFormat mono{1, 1, 11025, 11025, 1, 8};
        std::string error;
        ASSERT_TRUE(voltina::writeWaveFile(path("LOOP.WAV"), mono, sound.data(), sound.size(), error))
            << error;
        auto s = std::make_unique<voltina::EngineState>();
        voltina::setEngineDefaults(*s);
        voltina::prepareAudioTables(*s, voltina::kDefaultRateParam, 1);
        voltina::startSoundOffline(*s);
        ASSERT_EQ(voltina::loadCheckedSample(path("LOOP.WAV"), s->rateParam, {}, s->waveSample), "");
        const std::string start = voltina::serializeStartState(*s, path("LOOP.WAV"));
        const auto performance = [&](const std::string& state, const std::string& events = {},
                                     const std::string& frames = "100") {
            return R"({"voltina-events": 1, "start": )" + state + R"(, "events": [)" + events +
                   R"(], "frames": )" + frames + "}";
        };
        const auto with = [&](const std::string& from, const std::string& to) {
            std::string changed = start;
            changed.replace(changed.find(from), from.size(), to);
            return changed;
        };
        writeFile(path("changed.vtk"), performance(with("LOOP.WAV", "CHANGE.WAV")));
        writeFile(path("gone.vtk"), performance(with("LOOP.WAV", "GONE.WAV")));
        writeFile(path("no-draws.vtk"),
                  performance(with(start.substr(start.find("\"0x"), 20), "\"0x0000000000000000\"")));
        writeFile(path("none.vtk"),
                  performance(with("\"oscillators\": [", "\"oscillators\": [], \"old\": [")));
        writeFile(path("long.vtk"), performance(start));
        writeFile(path("start-in-events"), performance(start));
        // The same file, another sound.
        const std::vector<std::uint8_t> other(300, 9);
        ASSERT_TRUE(voltina::writeWaveFile(path("CHANGE.WAV"), mono, other.data(), other.size(), error))
            << error;
        // A number the take gave LOOP.WAV, on an event naming another sound or no file at all.
        std::shared_ptr<voltina::SampleRecord> changed;
        ASSERT_EQ(voltina::loadCheckedSample(path("CHANGE.WAV"), s->rateParam, {}, changed), "");
        const auto again = [&](const std::string& file, const voltina::SampleRecord& sound) {
            return R"({"frame": 5, "sample": ")" + file + R"(", "checksum": ")" +
                   voltina::sampleChecksum(sound) + R"(", "sample-id": 1})";
        };
        writeFile(path("other-id.vtk"), performance(start, again(path("CHANGE.WAV"), *changed)));
        writeFile(path("gone-id.vtk"), performance(start, again("/nonexistent/x.wav", *s->waveSample)));
        writeFile(path("mono.vtk"),
                  performance(with("\"channels\": 2", "\"channels\": 1"), {}, "5000000000"));
        writeFile(path("untimed.vtk"), R"({"voltina-events": 1, "events": []})");
    }

    // Samples that are not: 10 GB of anything, 200 MB that do not start with "RIFF" (sparse files).
    writeFile(path("huge.wav"), "JUNK");
    fs::resize_file(path("huge.wav"), 10ull << 30);
    writeFile(path("junk.wav"), "JUNK");
    fs::resize_file(path("junk.wav"), 200ull << 20);

    // The command (the shell's timeout ends one that would wait for ever) and what its message says.
    const std::vector<std::pair<std::string, std::string>> commands = {
        {render(path("missing-config") + " --seconds 1 -o " + out), "missing-config"},
        {render(path("broken") + " --seconds 1 -o " + out), "broken"},
        {render(path("newer") + " --seconds 1 -o " + out), "7"},
        {render("--midi " + path("not-midi.mid") + " --seconds 1 -o " + out), "not-midi.mid"},
        {render("--seconds 1 -o " + path("no-such-folder/x.wav")), "no-such-folder"},
        {render("--seconds 1"), "-o"},
        {render(path("escaping") + " --seconds 1 -o " + out), "\\x1B[2J"},
        {"timeout 20 " + render(path("pipe") + " --seconds 1 -o " + out), "not a regular file"},
        {"timeout 20 " + render("--midi " + path("pipe") + " --seconds 1 -o " + out), "not a regular file"},
        {"timeout 20 " + render("--wave " + path("pipe") + " --seconds 1 -o " + out), "Error opening file"},
        {render("--wave " + path("missing.wav") + " --seconds 1 -o " + out),
         path("missing.wav") + ": Error opening file (No such file or directory)"},
        {"timeout 5 " + render("--wave " + path("huge.wav") + " --seconds 1 -o " + out),
         "huge.wav: The sample is too large (at most 256 MB) (10737418240 bytes in the file)"},
        {"timeout 5 " + render("--wave " + path("junk.wav") + " --seconds 1 -o " + out),
         "junk.wav: Error reading file (not a RIFF WAVE file)"},
        {render("--frames 999999999999999999 -o " + out), "do not fit in a WAV file"},
        {render("--seconds 1 -o /dev/full"), "No space left on device"},
        {render("--events " + path("late-plug") + " --seconds 1 -o " + out),
         "event 2 (frame 9): The auto-pan outputs must be plugged in the mixer"},
        {render("--events " + path("taken") + " --seconds 1 -o " + out),
         "event 2 (frame 9): Input jack 307 already carries a cord (from 418)"},
        {render("--events " + path("backwards") + " --seconds 1 -o " + out),
         "event 2 (frame 4): frames must not"},
        {render("--events " + path("nine") + " --seconds 1 -o " + out),
         "event 2 (frame 9): oscillator must be 1"},
        {render("--events " + path("nothing") + " --seconds 1 -o " + out), "event 2 (frame 9): says nothing"},
        {render("--events " + path("far-frame") + " --seconds 1 -o " + out),
         "event 2 (frame 1e308): frame must be a whole number from 0 to 9007199254740991"},
        {render("--events " + path("inexact-frame") + " --seconds 1 -o " + out),
         "frame must be a whole number from 0 to 9007199254740991"},
        {render("--events " + path("huge-version") + " --seconds 1 -o " + out),
         "events file version 1e300 is not known"},
        {render("--events " + path("no-sample") + " --seconds 1 -o " + out), "NOPE.WAV: Error opening file"},
        {render("--events " + path("free-output") + " --seconds 1 -o " + out),
         "event 2 (frame 9): output jack 405 has no cord to unplug"},
        {render("--events " + path("pan-two") + " --seconds 1 -o " + out), "pan-knob must be 1"},
        {render("--events " + path("rate-change") + " --seconds 1 -o " + out),
         "configuration is for 22050 Hz and this render plays at 11025 Hz"},
        {render("--events " + path("bad-midi") + " --seconds 1 -o " + out), "event 2 (frame 9): midi takes"},
        {render(path("changed.vtk") + " -o " + out), "CHANGE.WAV has changed since the take"},
        {render(path("none.vtk") + " -o " + out), "start: oscillators must be a list of 8"},
        {render(path("gone.vtk") + " -o " + out), "GONE.WAV: Error opening file (No such file or directory)"},
        {render(path("no-draws.vtk") + " -o " + out), "start: random must be the generator's state"},
        {render(path("long.vtk") + " --rate 22050 -o " + out), "--rate does not go with a performance"},
        {render("--events " + path("start-in-events") + " --seconds 1 -o " + out),
         "\"start\" belongs to a recorded performance"},
        {render(path("untimed.vtk") + " -o " + out), "does not say how long its take is"},
        {render(path("other-id.vtk") + " -o " + out), "sample-id 1 is a sample that played before"},
        {render(path("gone-id.vtk") + " -o " + out), "/nonexistent/x.wav: Error opening file"},
        {render(path("mono.vtk") + " -o " + out), "(at most 4294967258 frames with 1 channel,"},
    };
    // A mistake on the command line is one line and where the help is.
    const Result usage = runCommand(render("--seconds 1"));
    EXPECT_EQ(usage.output,
              "voltina-render: give the WAV file to write with -o\nTry 'voltina-render --help'.\n");
    for (const auto& [command, said] : commands) {
        const Result r = runCommand(command);
        EXPECT_NE(r.status, 0) << command;
        EXPECT_NE(r.output.find("voltina-render: "), std::string::npos) << command << "\n" << r.output;
        EXPECT_NE(r.output.find(said), std::string::npos) << command << "\n" << r.output;
        EXPECT_EQ(r.output.find('\x1b'), std::string::npos) << command;
        EXPECT_FALSE(fs::exists(out)) << command;
    }
    EXPECT_FALSE(fs::exists(path("no-such-folder")));
}

TEST_F(RenderProgram, EveryKindOfOutputGetsTheSameBytes) {
    const std::string file = path("plain.wav");
    ASSERT_EQ(runCommand(render("--frames 3001 --channels 1 -o " + file)).status, 0);
    const std::string bytes = readFile(file);
    ASSERT_EQ(bytes.size(), 44u + 3001u + 1u);

    // Standard output.
    EXPECT_EQ(runShell(render("--frames 3001 --channels 1 -o - > " + path("stdout.wav"))).status, 0);
    EXPECT_EQ(readFile(path("stdout.wav")), bytes);

    // Standard output under its other names is written in place: appended to, framed by other output,
    // piped.
    const std::string plain = render("--frames 3001 --channels 1 -o ");
    writeFile(path("log.txt"), "log\n");
    EXPECT_EQ(runShell(plain + "/dev/stdout >> " + path("log.txt")).status, 0);
    EXPECT_EQ(readFile(path("log.txt")), "log\n" + bytes);
    EXPECT_EQ(
        runShell("{ echo HEADER; " + plain + "/dev/fd/1; echo TRAILER; } > " + path("framed.txt")).status, 0);
    EXPECT_EQ(readFile(path("framed.txt")), "HEADER\n" + bytes + "TRAILER\n");
    const Result piped = runShell(plain + "/proc/self/fd/1 | wc -c");
    EXPECT_EQ(piped.output, std::to_string(bytes.size()) + "\n");
    EXPECT_EQ(
        runShell("script -qec '" + plain + "/dev/stdout' /dev/null | head -c 300 | grep -c terminal").output,
        "1\n");
    std::remove(path("log.txt").c_str());
    std::remove(path("framed.txt").c_str());

    // A link is followed: the file it leads to is replaced, keeping its permissions, and the link stays.
    writeFile(path("target.wav"), "old");
    ASSERT_EQ(::chmod(path("target.wav").c_str(), 0640), 0);
    fs::create_symlink("target.wav", path("link.wav"));
    ASSERT_EQ(runCommand(render("--frames 3001 --channels 1 -o " + path("link.wav"))).status, 0);
    EXPECT_TRUE(fs::is_symlink(path("link.wav")));
    EXPECT_EQ(readFile(path("target.wav")), bytes);
    EXPECT_EQ(fs::status(path("target.wav")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // A FIFO is written straight through to its reader, and stays a FIFO.
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(runShell("cat " + path("fifo") + " > " + path("from-fifo.wav") + " & timeout 20 " +
                       render("--frames 3001 --channels 1 -o " + path("fifo")) + "; wait")
                  .status,
              0);
    EXPECT_TRUE(fs::is_fifo(path("fifo")));
    EXPECT_EQ(readFile(path("from-fifo.wav")), bytes);
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().extension(), entry.path().filename() == "fifo" ? "" : ".wav") << entry.path();
}

TEST_F(RenderProgram, StoppedRenderLeavesNoTemporaryFile) {
    // Long enough to be stopped midway; the signal comes once the temporary file exists. Every signal
    // that ends the renderer, each ending it as it would without the clean-up.
    const std::string out = path("stopped.wav");
    for (const auto& sig : {std::pair<const char*, int>{"TERM", SIGTERM},
                            {"INT", SIGINT},
                            {"HUP", SIGHUP},
                            {"QUIT", SIGQUIT},
                            {"USR1", SIGUSR1},
                            {"USR2", SIGUSR2},
                            {"ALRM", SIGALRM},
                            {"XCPU", SIGXCPU},
                            {"RTMIN+3", SIGRTMIN + 3}}) {
        const Result r = runShell("ulimit -c 0; " + render("--seconds 36000 --rate 44100 -o " + out) +
                                  " & p=$!; for i in $(seq 200); do ls -a " + dir.string() +
                                  " | grep -q tmp && break; sleep 0.05; done; kill -" + sig.first +
                                  " $p; { wait $p; } 2>/dev/null; echo $?");
        EXPECT_EQ(r.output, std::to_string(128 + sig.second) + "\n") << sig.first;
        EXPECT_TRUE(fs::is_empty(dir)) << sig.first << ": " << fs::directory_iterator(dir)->path();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
}

// What a render must never do to a file that is there: overwrite one of its own inputs, replace a file
// the user may not write, or stand an empty name for a missing one; and a file-size limit is a write
// error like a full disk.
TEST_F(RenderProgram, OutputsThatWouldLoseAFileAreRefused) {
    std::string config = R"({"voltina": 1, "rate": 11025, "oscillators": [)";
    for (int i = 0; i < 8; ++i) config += std::string(i ? "," : "") + R"({"type": "sine", "frequency": 100})";
    config += R"(], "mixer": [)";
    for (int i = 0; i < 8; ++i) config += std::string(i ? "," : "") + R"({"level": 80, "pan": 50})";
    config += R"(], "cords": [[401, 301], [432, 302]])";
    writeFile(path("patch"), config + "}");
    writeFile(path("sampled"), config + R"(, "wave": "loop.wav"})");
    ASSERT_EQ(runCommand("sox -n -r 11025 -b 8 -c 1 " + path("loop.wav") + " synth 0.05 sine 440").status, 0);
    writeFile(path("moves"), R"({"voltina-events": 1, "events": [{"frame": 5, "sync": true}]})");
    const std::string smf = "MThd" + be32(6) + std::string("\x00\x00\x00\x01\x00\x60", 6) + "MTrk" + be32(4) +
                            std::string("\x00\xFF\x2F\x00", 4);
    writeFile(path("tune.mid"), smf);
    fs::create_symlink("patch", path("patch-link"));
    // Files the render reads only because events or a take's start state name them.
    writeFile(path("loads"), R"({"voltina-events": 1, "events": [{"frame": 5, "sample": "loop.wav"}, )"
                             R"({"frame": 6, "configuration": "patch"}]})");
    fs::create_symlink("loop.wav", path("loop-link.wav"));
    {
        auto s = std::make_unique<voltina::EngineState>();
        voltina::setEngineDefaults(*s);
        voltina::prepareAudioTables(*s, voltina::kDefaultRateParam, 1);
        voltina::startSoundOffline(*s);
        ASSERT_EQ(voltina::loadCheckedSample(path("loop.wav"), s->rateParam, {}, s->waveSample), "");
        writeFile(path("take.vtk"), R"({"voltina-events": 1, "frames": 10, "events": [], "start": )" +
                                        voltina::serializeStartState(*s, path("loop-link.wav")) + "}");
    }
    // The user's own folder, writable, with the user's own files that the user made read-only.
    const std::string mine = path("mine");
    fs::create_directories(mine);
    ASSERT_EQ(::chmod(mine.c_str(), 0777), 0);
    writeFile(mine + "/ro.wav", "read-only");
    writeFile(mine + "/none.wav", "no access");
    ASSERT_EQ(::chown((mine + "/ro.wav").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown((mine + "/none.wav").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod((mine + "/ro.wav").c_str(), 0444), 0);
    ASSERT_EQ(::chmod((mine + "/none.wav").c_str(), 0000), 0);
    const std::string asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

    struct Case {
        std::string command;
        std::string said;
        std::string kept;  // a file that must come out as it went in ("" for none)
    };
    const std::string out = path("never.wav");
    const std::vector<Case> cases = {
        {render(path("patch") + " --frames 10 -o " + path("patch")), "the configuration", path("patch")},
        {render(path("patch") + " --frames 10 -o " + path("patch-link")), "the configuration", path("patch")},
        {render(path("patch-link") + " --frames 10 -o " + path("patch")), "the configuration", path("patch")},
        {render(path("patch") + " --frames 10 -o - >> " + path("patch")), "the configuration", path("patch")},
        {render("--events " + path("moves") + " --frames 10 -o " + path("moves")), "the events file",
         path("moves")},
        {render(path("sampled") + " --frames 10 -o " + path("loop.wav")), "the sample", path("loop.wav")},
        {render("--wave " + path("loop.wav") + " --frames 10 -o " + path("loop.wav")), "the sample",
         path("loop.wav")},
        {render("--midi " + path("tune.mid") + " --frames 10 -o " + path("tune.mid")), "the MIDI file",
         path("tune.mid")},
        {render("--events " + path("loads") + " --frames 10 -o " + path("loop.wav")), "the sample",
         path("loop.wav")},
        {render("--events " + path("loads") + " --frames 10 -o " + path("patch-link")), "the configuration",
         path("patch")},
        {render(path("take.vtk") + " -o " + path("loop.wav")), "the sample", path("loop.wav")},
        {render(path("take.vtk") + " -o " + path("take.vtk")), "the performance", path("take.vtk")},
        {asUser + render("--frames 10 -o " + mine + "/ro.wav"), "Permission denied", mine + "/ro.wav"},
        {asUser + render("--frames 10 -o " + mine + "/none.wav"), "Permission denied", mine + "/none.wav"},
        {render("'' --frames 10 -o " + out), "empty name", ""},
        {render("--events '' --frames 10 -o " + out), "--events needs a file name", ""},
        {render("--midi '' --frames 10 -o " + out), "--midi needs a file name", ""},
        {"ulimit -f 1000; " + render("--seconds 600 -o " + out), "File too large", ""},
    };
    for (const Case& c : cases) {
        const std::string before = c.kept.empty() ? std::string() : readFile(c.kept);
        const Result r = runShell("{ " + c.command + "; } 2>&1");
        EXPECT_NE(r.status, 0) << c.command;
        EXPECT_NE(r.output.find("voltina-render: "), std::string::npos) << c.command << "\n" << r.output;
        EXPECT_NE(r.output.find(c.said), std::string::npos) << c.command << "\n" << r.output;
        if (!c.kept.empty()) {
            EXPECT_EQ(readFile(c.kept), before) << c.command;
        }
        EXPECT_FALSE(fs::exists(out)) << c.command;
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            EXPECT_EQ(entry.path().extension() == ".tmp", false) << c.command << ": " << entry.path();
    }
    EXPECT_TRUE(fs::is_symlink(path("patch-link")));
}
