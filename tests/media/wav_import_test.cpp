// Loading the Wave player's sample: files made by sox at run time and hand-built ones, each refusal with its
// own message, the Wave button's side, and the bytes the player then plays.

#include "media/wav_import.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/modules.h"
#include "tests/media/temp_folder.h"

namespace voltina {
namespace {

using testing::TempFolder;

// ---- bytes of hand-built files

std::string le16(unsigned v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF)};
}
std::string le32(std::uint32_t v) {
    return le16(v & 0xFFFF) + le16(v >> 16);
}

// A chunk with its pad byte; `declared` overrides the size its header gives.
std::string chunk(const std::string& id, const std::string& body, long long declared = -1) {
    std::string c = id + le32(declared < 0 ? std::uint32_t(body.size()) : std::uint32_t(declared)) + body;
    if (body.size() % 2 == 1) c += '\0';
    return c;
}

std::string riff(const std::string& form, const std::string& chunks) {
    return "RIFF" + le32(std::uint32_t(4 + chunks.size())) + form + chunks;
}

std::string pcmFormat(unsigned channels, std::uint32_t rate, unsigned bits, unsigned tag = 1) {
    const unsigned align = channels * bits / 8;
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}

std::string soundBytes(std::size_t n) {
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i) bytes += char((i * 37 + 11) & 0xFF);
    return bytes;
}

std::vector<std::uint8_t> asBytes(const std::string& s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

// ---- a loader run that remembers what it said

struct Loader {
    EngineState state;
    WaveSampleName name;
    std::vector<std::string> messages;
    MessageSink sink = [this](const std::string& text) { messages.push_back(text); };

    explicit Loader(int rate = 11025) { state.rateParam = rate + 1; }

    int loadBytes(const std::string& bytes) {
        return loadWaveSampleFromBytes(
            state, name, "TEST.WAV", reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), sink);
    }
    int loadFile(const std::string& path) { return loadWaveSample(state, name, path, sink); }
    // The one message a refusal gives.
    std::string said() const {
        return messages.size() == 1 ? messages[0] : "(" + std::to_string(messages.size()) + " messages)";
    }
};

std::string rateMessage(int rate) {
    return "The sound must be mono, 8 bits, " + std::to_string(rate) + " samples per second";
}

// ---- sox

int runCommand(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str());
}

// Converts `sound` (8-bit unsigned mono at `rate`) into a WAV file with sox's output options `options`.
std::string soxFile(const TempFolder& dir, const std::string& name, const std::string& sound, int rate,
                    const std::string& options) {
    const std::string raw = dir.file(name + ".raw");
    testing::writeAll(raw, sound);
    const std::string out = dir.file(name);
    const std::string r = std::to_string(rate);
    const int status = runCommand("sox -V1 -t raw -r " + r + " -c 1 -b 8 -e unsigned-integer " + raw + " " +
                                  options + " -r " + r + " -t wav " + out);
    EXPECT_EQ(status, 0) << "sox could not make " << name;
    return out;
}

// ---- files sox makes

TEST(WavImportSox, MonoEightBitLoadsAtItsOwnRateOnlyAndKeepsEveryByte) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string sound = soundBytes(1001);
    for (int rate : {11025, 22050, 44100}) {
        SCOPED_TRACE(rate);
        const std::string path =
            soxFile(dir, "M" + std::to_string(rate) + ".WAV", sound, rate, "-c 1 -b 8 -e unsigned-integer");
        Loader at(rate);
        ASSERT_EQ(at.loadFile(path), 1) << at.said();
        EXPECT_TRUE(at.messages.empty());
        ASSERT_NE(at.state.waveSample, nullptr);
        EXPECT_EQ(at.state.waveSample->dataLength, sound.size());
        EXPECT_EQ(at.state.waveSample->data, asBytes(sound));
        EXPECT_EQ(at.name.waveFileName, path);

        // The same file at each other rate is refused, naming the rate the output runs at.
        for (int other : {11025, 22050, 44100}) {
            if (other == rate) continue;
            Loader wrong(other);
            EXPECT_EQ(wrong.loadFile(path), 0);
            EXPECT_EQ(wrong.said(), rateMessage(other));
            EXPECT_EQ(wrong.state.waveSample, nullptr);
        }
    }
}

TEST(WavImportSox, StereoAndSixteenBitAreRefusedWithTheRateMessage) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string sound = soundBytes(300);
    for (const char* options : {"-c 2 -b 8 -e unsigned-integer", "-c 1 -b 16 -e signed-integer"}) {
        SCOPED_TRACE(options);
        Loader l(22050);
        EXPECT_EQ(l.loadFile(soxFile(dir, "S.WAV", sound, 22050, options)), 0);
        EXPECT_EQ(l.said(), rateMessage(22050));
        EXPECT_EQ(l.state.waveSample, nullptr);
    }
}

TEST(WavImportSox, CompressedFilesAreRefusedBeforeTheirDataIsRead) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    int dataAllocations = 0;
    setWaveAllocationHook([&](WaveAllocation what, std::size_t) {
        if (what == WaveAllocation::Data) ++dataAllocations;
        return true;
    });
    for (const char* options : {"-e u-law", "-e ima-adpcm"}) {
        SCOPED_TRACE(options);
        Loader l;
        EXPECT_EQ(l.loadFile(soxFile(dir, "C.WAV", soundBytes(512), 11025, options)), 0);
        EXPECT_EQ(l.said(), "The wave must be a PCM wave");
        EXPECT_EQ(l.state.waveSample, nullptr);
    }
    setWaveAllocationHook(nullptr);
    EXPECT_EQ(dataAllocations, 0);
}

TEST(WavImportSox, ListChunkBetweenFormatAndDataIsSkipped) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string sound = soundBytes(777);
    const std::string made = soxFile(dir, "L0.WAV", sound, 11025, "-c 1 -b 8 -e unsigned-integer");
    std::string bytes;
    for (unsigned char c : testing::readAll(made)) bytes += char(c);
    ASSERT_EQ(bytes.substr(36, 4), "data") << "sox's header is not the plain 44 bytes this test edits";

    // An odd-sized LIST INFO chunk (so its pad byte must be skipped too), as tagging tools write.
    const std::string list = chunk("LIST", "INFO" + std::string("ICMT") + le32(15) + "made for a test");
    ASSERT_EQ(list.size() % 2, 0u);
    ASSERT_EQ(list[4] % 2, 1);
    std::string edited = bytes.substr(0, 36) + list + bytes.substr(36);
    edited.replace(4, 4, le32(std::uint32_t(edited.size() - 8)));
    const std::string path = dir.file("LIST.WAV");
    testing::writeAll(path, edited);
    ASSERT_EQ(runCommand("sox --i " + path), 0) << "sox itself refuses the edited file";

    Loader l;
    ASSERT_EQ(l.loadFile(path), 1) << l.said();
    EXPECT_EQ(l.state.waveSample->data, asBytes(sound));
}

// ---- hand-built files

TEST(WavImportRefusals, EachBrokenFileGivesItsOwnMessageAndLeavesNoSample) {
    const std::string fmt = chunk("fmt ", pcmFormat(1, 11025, 8));
    const std::string data = chunk("data", soundBytes(40));
    struct Case {
        const char* what;
        std::string bytes;
        std::string message;
    };
    const Case cases[] = {
        {"empty file", "", "Error reading file (1)"},
        {"not RIFF", "RIFX" + le32(4) + "WAVE" + fmt + data, "Error reading file (1)"},
        {"another form type", riff("AVI ", fmt + data), "Error reading file (1)"},
        {"header cut short", std::string("RIFF\x10\0\0\0WA", 10), "Error reading file (1)"},
        {"no fmt chunk", riff("WAVE", data), "Error reading file (2)"},
        {"fmt chunk cut by the end of the file",
         riff("WAVE", "fmt " + le32(16) + pcmFormat(1, 11025, 8).substr(0, 9)), "Error reading file (3)"},
        {"float samples", riff("WAVE", chunk("fmt ", pcmFormat(1, 11025, 32, 3)) + data),
         "The wave must be a PCM wave"},
        {"no data chunk", riff("WAVE", fmt + chunk("fact", le32(40))), "Error reading file (4)"},
        {"data before fmt", riff("WAVE", data + fmt), "Error reading file (4)"},
        {"data chunk of size 0", riff("WAVE", fmt + chunk("data", "")), "Error locking memory"},
        {"data chunk longer than the file", riff("WAVE", fmt + "data" + le32(41) + soundBytes(40)),
         "Error reading file (5)"},
        {"14-byte fmt chunk", riff("WAVE", chunk("fmt ", pcmFormat(1, 11025, 8).substr(0, 14)) + data),
         rateMessage(11025)},
        {"mono 8 bits at another rate", riff("WAVE", chunk("fmt ", pcmFormat(1, 22050, 8)) + data),
         rateMessage(11025)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Loader l;
        EXPECT_EQ(l.loadBytes(c.bytes), 0);
        EXPECT_EQ(l.said(), c.message);
        EXPECT_EQ(l.state.waveSample, nullptr);
        EXPECT_EQ(l.name.waveFileName, "TEST.WAV");
    }
}

TEST(WavImportRefusals, HeaderClaimsNeverDecideHowMuchIsAllocated) {
    std::vector<std::size_t> asked;
    setWaveAllocationHook([&](WaveAllocation what, std::size_t bytes) {
        if (what == WaveAllocation::Data) asked.push_back(bytes);
        return true;
    });
    const std::string file =
        riff("WAVE", chunk("fmt ", pcmFormat(1, 11025, 8)) + "data" + le32(0xFFFFFFF0u) + soundBytes(100));
    Loader l;
    EXPECT_EQ(l.loadBytes(file), 0);
    setWaveAllocationHook(nullptr);
    EXPECT_EQ(l.said(), "Error reading file (5)");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_LE(asked[0], 100u);
}

TEST(WavImportRefusals, SamplesOverTheLimitAreRefusedBeforeAnyMemoryIsTaken) {
    // A sparse file: its data chunk really holds one byte more than the limit.
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::uint32_t size = static_cast<std::uint32_t>(kMaxSampleBytes + 1);
    const std::string header = riff("WAVE", chunk("fmt ", pcmFormat(1, 11025, 8)) + "data" + le32(size));
    testing::writeAll(dir.file("HUGE.WAV"), header);
    ASSERT_EQ(::truncate(dir.file("HUGE.WAV").c_str(), static_cast<off_t>(header.size() + size)), 0);
    bool allocated = false;
    setWaveAllocationHook([&](WaveAllocation what, std::size_t) {
        if (what == WaveAllocation::Data) allocated = true;
        return true;
    });
    Loader l;
    EXPECT_EQ(l.loadFile(dir.file("HUGE.WAV")), 0);
    setWaveAllocationHook(nullptr);
    EXPECT_EQ(l.said(), "The sample is too large (at most 256 MB)");
    EXPECT_FALSE(allocated);
}

TEST(WavImportRefusals, FailedAllocationsGiveTheirMessages) {
    const std::string good =
        riff("WAVE", chunk("fmt ", pcmFormat(1, 11025, 8)) + chunk("data", soundBytes(64)));
    for (WaveAllocation refused : {WaveAllocation::Record, WaveAllocation::Data}) {
        setWaveAllocationHook([refused](WaveAllocation what, std::size_t) { return what != refused; });
        Loader l;
        EXPECT_EQ(l.loadBytes(good), 0);
        EXPECT_EQ(l.said(), refused == WaveAllocation::Record ? "Memory problem" : "Error allocating memory");
        EXPECT_EQ(l.state.waveSample, nullptr);
    }
    setWaveAllocationHook(nullptr);
}

TEST(WavImportRefusals, FilesThatCannotBeOpened) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    ::mkdir(dir.file("FOLDER.WAV").c_str(), 0700);
    ::mkfifo(dir.file("PIPE.WAV").c_str(), 0600);  // refused at once, never waited on
    for (const std::string& path : {dir.file("MISSING.WAV"), dir.file("FOLDER.WAV"), dir.file("PIPE.WAV")}) {
        Loader l;
        EXPECT_EQ(l.loadFile(path), 0);
        EXPECT_EQ(l.said(), "Error opening file");
        EXPECT_EQ(l.state.waveSample, nullptr);
    }
}

TEST(WavImportFiles, WhatOldAndOddWritersLeaveStillLoads) {
    const std::string sound = soundBytes(33);
    // A RIFF size never patched by a streaming writer, an extended 18-byte fmt chunk, and an odd data size
    // whose pad byte is missing at the end of the file.
    std::string file = "RIFF" + le32(0xFFFFFFFFu) + "WAVE" + chunk("fmt ", pcmFormat(1, 11025, 8) + le16(0)) +
                       "data" + le32(33) + sound;
    Loader l;
    ASSERT_EQ(l.loadBytes(file), 1) << l.said();
    EXPECT_EQ(l.state.waveSample->data, asBytes(sound));
    // A RIFF chunk of another form ahead of the WAVE one is passed over whole.
    Loader second;
    ASSERT_EQ(second.loadBytes(riff("JUNK", chunk("abcd", "xyz")) + file), 1) << second.said();
}

// ---- the Wave button and the player

struct Panel {
    std::vector<std::string> events;  // captions and sound stops, in order
    WaveButtonHooks hooks{[this](const std::string& caption) { events.push_back("caption " + caption); },
                          [this]() { events.push_back("stop"); }};
};

TEST(WavImportSelect, GoodFilePlaysFromItsFirstByteAndLoops) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string sound = soundBytes(5);
    // A name longer than the old 19-character field, kept whole.
    const std::string name = dir.file("A_LONG_SAMPLE_NAME_OF_30_CHARS.WAV");
    testing::writeAll(name, riff("WAVE", chunk("fmt ", pcmFormat(1, 11025, 8)) + chunk("data", sound)));

    Loader l;
    Panel panel;
    l.state.outputUsed[kOutWave] = 1;
    l.state.wavePos = 3;  // where a previous sample stopped
    ASSERT_EQ(selectWaveFile(l.state, l.name, name, l.sink, panel.hooks), 1) << l.said();
    EXPECT_EQ(panel.events, std::vector<std::string>{"caption " + name});
    EXPECT_EQ(l.name.waveFileName, name);
    EXPECT_EQ(l.state.outputUsed[kOutWave], 1);

    std::vector<float> played;
    for (int i = 0; i < 12; ++i) {
        stepWave(l.state);
        played.push_back(l.state.outValue[kOutWave]);
    }
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(played[i], static_cast<float>(static_cast<unsigned char>(sound[i % 5]) - 128))
            << "frame " << i;
    }
}

TEST(WavImportSelect, FailedLoadStopsTheSoundAndLeavesNoSample) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::string good = dir.file("GOOD.WAV");
    testing::writeAll(good,
                      riff("WAVE", chunk("fmt ", pcmFormat(1, 11025, 8)) + chunk("data", soundBytes(8))));
    const std::string bad = dir.file("BAD.WAV");
    testing::writeAll(bad,
                      riff("WAVE", chunk("fmt ", pcmFormat(2, 11025, 8)) + chunk("data", soundBytes(8))));

    Loader l;
    Panel panel;
    ASSERT_EQ(selectWaveFile(l.state, l.name, good, l.sink, panel.hooks), 1);
    l.state.outputUsed[kOutWave] = 1;
    l.state.outValue[kOutWave] = 25.0f;  // what the sample last played

    // While the message is up the render loop keeps running: it must find output 31 unused and no
    // half-refused sample.
    bool heldDuringMessage = false;
    l.sink = [&](const std::string& text) {
        l.messages.push_back(text);
        heldDuringMessage = l.state.outputUsed[kOutWave] == 0 && l.state.waveSample == nullptr;
    };
    EXPECT_EQ(selectWaveFile(l.state, l.name, bad, l.sink, panel.hooks), 0);
    EXPECT_EQ(l.said(), rateMessage(11025));
    EXPECT_TRUE(heldDuringMessage);
    EXPECT_EQ(l.state.waveSample, nullptr);       // the replaced sample is gone too
    EXPECT_EQ(l.state.outValue[kOutWave], 0.0f);  // and its output is silent, not stuck at its last value
    // The cord keeps its output: drawn and in use, so the next good load sounds where it is plugged.
    EXPECT_EQ(l.state.outputUsed[kOutWave], 1);
    EXPECT_EQ(panel.events, (std::vector<std::string>{"caption " + good, "stop", "caption ?-?"}));

    EXPECT_EQ(selectWaveFile(l.state, l.name, good, l.sink, panel.hooks), 1);
    EXPECT_EQ(l.state.outputUsed[kOutWave], 1);
    ASSERT_NE(l.state.waveSample, nullptr);

    // An output without a cord stays unused through a failed load and a good one.
    l.state.outputUsed[kOutWave] = 0;
    EXPECT_EQ(selectWaveFile(l.state, l.name, bad, l.sink, panel.hooks), 0);
    EXPECT_EQ(l.state.outputUsed[kOutWave], 0);
    EXPECT_EQ(selectWaveFile(l.state, l.name, good, l.sink, panel.hooks), 1);
    EXPECT_EQ(l.state.outputUsed[kOutWave], 0);

    freeWaveSample(l.state);
    freeWaveSample(l.state);
    EXPECT_EQ(l.state.waveSample, nullptr);
}

}  // namespace
}  // namespace voltina
