// Configuration files: the round trip of the panel state, every kind of bad configuration refused with
// its message and nothing applied, and whole-or-nothing file writes.

#include "config/configuration.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/defaults.h"
#include "patch/controls.h"
#include "tests/media/temp_folder.h"

namespace voltina {
namespace {

using testing::TempFolder;

bool sameFloat(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void expectSame(const Configuration& a, const Configuration& b) {
    EXPECT_EQ(a.version, b.version);
    EXPECT_EQ(a.rate, b.rate);
    EXPECT_EQ(a.oscType, b.oscType);
    for (std::size_t i = 0; i < a.oscFreq.size(); ++i) {
        EXPECT_TRUE(sameFloat(a.oscFreq[i], b.oscFreq[i]))
            << "oscillator " << i << ": " << a.oscFreq[i] << " vs " << b.oscFreq[i];
    }
    EXPECT_EQ(a.mixLevel, b.mixLevel);
    EXPECT_EQ(a.mixPan, b.mixPan);
    EXPECT_EQ(a.cords, b.cords);
    EXPECT_EQ(a.hasWave, b.hasWave);
    EXPECT_EQ(a.wave, b.wave);
    EXPECT_EQ(a.controllers, b.controllers);
}

Configuration defaultConfiguration() {
    EngineState s;
    setEngineDefaults(s);
    return captureConfiguration(s, 11025, "LOOP.WAV");
}

// A configuration text with some top-level fields replaced ("" leaves a field out), in file order.
const char* const kFieldOrder[] = {"voltina", "rate", "oscillators", "mixer", "cords", "wave", "controllers"};

std::string oscillatorsWith(int index, const std::string& entry) {
    std::string t = "[";
    for (int i = 0; i < 8; ++i) {
        t += i == index ? entry : R"({"type": "sine", "frequency": 100})";
        t += i < 7 ? ", " : "]";
    }
    return t;
}

std::string mixerWith(int index, const std::string& entry) {
    std::string t = "[";
    for (int i = 0; i < 8; ++i) {
        t += i == index ? entry : R"({"level": 80, "pan": 50})";
        t += i < 7 ? ", " : "]";
    }
    return t;
}

std::string configText(std::map<std::string, std::string> overrides) {
    std::map<std::string, std::string> fields = {
        {"voltina", "1"},
        {"rate", "11025"},
        {"oscillators", oscillatorsWith(-1, "")},
        {"mixer", mixerWith(-1, "")},
        {"cords", "[[401, 321], [418, 307]]"},
        {"wave", "\"LOOP.WAV\""},
    };
    for (const auto& o : overrides) fields[o.first] = o.second;
    std::string t = "{";
    for (const char* name : kFieldOrder) {
        if (fields[name].empty()) continue;
        if (t.size() > 1) t += ",\n";
        t += std::string("\"") + name + "\": " + fields[name];
    }
    return t + "}\n";
}

TEST(ConfigurationTest, TheDefaultPatchRoundTripsThroughText) {
    const Configuration c = defaultConfiguration();
    EXPECT_EQ(c.oscType[0], kSquare);
    EXPECT_EQ(c.cords,
              (std::vector<std::pair<int, int>>{{418, 307}, {401, 321}, {402, 322}, {415, 327}, {403, 328}}));
    const std::string text = serializeConfiguration(c);
    EXPECT_NE(text.find(R"({"type": "square", "frequency": 256},)"), std::string::npos) << text;
    EXPECT_NE(text.find(R"({"type": "sine", "frequency": 1.52},)"), std::string::npos) << text;
    EXPECT_NE(text.find(R"({"type": "sine", "frequency": 2.16},)"), std::string::npos) << text;
    EXPECT_NE(text.find(R"({"level": 80, "pan": 50})"), std::string::npos) << text;
    EXPECT_NE(text.find("\"wave\": \"LOOP.WAV\""), std::string::npos) << text;
    Configuration back;
    std::string error;
    ASSERT_TRUE(parseConfiguration(text, back, error)) << error;
    expectSame(back, c);
    EXPECT_EQ(serializeConfiguration(back), text);
}

TEST(ConfigurationTest, TheDocumentedFormReads) {
    const std::string text = R"({
      "voltina": 1,
      "rate": 22050,
      "oscillators": [ {"type": "square", "frequency": 256}, {"type": "sawtooth", "frequency": 1.52},
                       {"type": "random", "frequency": 5500}, {"type": "sine", "frequency": 0.01},
                       {"type": "sine", "frequency": 140}, {"type": "sine", "frequency": 150},
                       {"type": "sine", "frequency": 160}, {"type": "sine", "frequency": 170} ],
      "mixer": [ {"level": 80, "pan": 50}, {"level": 0, "pan": 0}, {"level": 128, "pan": 100},
                 {"level": 80.0, "pan": 5}, {"level": 80, "pan": 50}, {"level": 80, "pan": 50},
                 {"level": 80, "pan": 50}, {"level": 80, "pan": 95} ],
      "cords": [ [401, 321], [402, 322], [415, 327], [403, 328], [418, 307] ],
      "wave": "LOOP.WAV",
      "controllers": [ {"cc": 74, "oscillator": 3, "control": "frequency"},
                       {"cc": 7, "channel": 2, "control": "level", "midi-channel": 1},
                       {"cc": 7, "channel": 3, "control": "level", "midi-channel": 2},
                       {"cc": 10, "channel": 2, "control": "pan"}, {"cc": 20, "oscillator": 1, "control": "type"} ]
    })";
    Configuration c;
    std::string error;
    ASSERT_TRUE(parseConfiguration(text, c, error)) << error;
    EXPECT_EQ(c.rate, 22050);
    EXPECT_EQ(c.oscType,
              (std::array<int, 8>{kSquare, kSawtooth, kRandom, kSine, kSine, kSine, kSine, kSine}));
    EXPECT_TRUE(sameFloat(c.oscFreq[1], 1.52f));
    EXPECT_TRUE(sameFloat(c.oscFreq[2], 5500.0f));
    EXPECT_TRUE(sameFloat(c.oscFreq[3], 0.01f));
    EXPECT_EQ(c.mixLevel, (std::array<int, 8>{80, 0, 128, 80, 80, 80, 80, 80}));
    EXPECT_EQ(c.mixPan, (std::array<int, 8>{50, 0, 100, 5, 50, 50, 50, 95}));
    EXPECT_EQ(c.cords.size(), 5u);
    EXPECT_TRUE(c.hasWave);
    EXPECT_EQ(c.wave, "LOOP.WAV");
    EXPECT_EQ(c.controllers, (ControllerBindings{{74, 0, Control::Frequency, 2},
                                                 {7, 1, Control::Level, 1},
                                                 {7, 2, Control::Level, 2},
                                                 {10, 0, Control::Pan, 1},
                                                 {20, 0, Control::WaveType, 0}}));
    // Written back, each binding on a line of its own, and read again the same.
    const std::string written = serializeConfiguration(c);
    EXPECT_NE(written.find(R"(    {"cc": 7, "channel": 2, "control": "level", "midi-channel": 1},)"),
              std::string::npos)
        << written;
    Configuration back;
    ASSERT_TRUE(parseConfiguration(written, back, error)) << error;
    expectSame(back, c);
    // Without bindings nothing of them is written: the file is what a panel without them always wrote.
    c.controllers.clear();
    EXPECT_EQ(serializeConfiguration(c).find("controllers"), std::string::npos);
}

TEST(ConfigurationTest, FrequenciesReadBackToTheSameFloat) {
    Configuration c = defaultConfiguration();
    std::vector<float> values = {1.52f, 2.16f, 0.01f, 5500.0f, 3.3f, 1e-45f, 1.17549435e-38f, 0.1f, 4999.99f};
    std::uint32_t state = 12345;
    for (int i = 0; i < 3000; ++i) {  // bit patterns spread over every exponent in range
        state = state * 1664525u + 1013904223u;
        float f;
        const std::uint32_t bits = state % 0x45ABE000u + 1;  // 0x45ABE000 is 5500.0f
        std::memcpy(&f, &bits, sizeof f);
        values.push_back(f);
    }
    for (std::size_t start = 0; start < values.size(); start += 8) {
        for (std::size_t k = 0; k < 8; ++k) c.oscFreq[k] = values[(start + k) % values.size()];
        const std::string text = serializeConfiguration(c);
        Configuration back;
        std::string error;
        ASSERT_TRUE(parseConfiguration(text, back, error)) << error << "\n" << text;
        for (std::size_t k = 0; k < 8; ++k) {
            ASSERT_TRUE(sameFloat(back.oscFreq[k], c.oscFreq[k])) << text;
        }
    }
    c.oscFreq[0] = 1.52f;
    EXPECT_EQ(serializeConfiguration(c).find("1.5199"), std::string::npos);
}

TEST(ConfigurationTest, ApplyingSetsThePanelAndReplacesEveryCord) {
    EngineState s;
    setEngineDefaults(s);
    Configuration c;
    std::string error;
    ASSERT_TRUE(parseConfiguration(
        configText({{"oscillators", oscillatorsWith(5, R"({"type": "random", "frequency": 12.5})")},
                    {"mixer", mixerWith(2, R"({"level": 3, "pan": 15})")},
                    {"cords", "[[432, 332], [419, 301], [409, 310]]"}}),
        c, error))
        << error;
    ASSERT_TRUE(applyConfiguration(c, s, error)) << error;
    EXPECT_EQ(s.oscType[0], kSine);
    EXPECT_EQ(s.oscType[5], kRandom);
    EXPECT_EQ(s.oscFreq[5], 12.5f);
    EXPECT_EQ(s.oscFreq[0], 100.0f);
    EXPECT_EQ(s.mixLevel[2], 3);
    EXPECT_EQ(s.mixPan[2], 15);
    for (int j = 0; j < kJacks; ++j) {
        const bool plugged = j == 31 || j == 0 || j == 9;
        EXPECT_EQ(s.cordPresent[j], plugged ? 1 : 0) << "input " << j;
        const bool used = j == 31 || j == 18 || j == 8;
        EXPECT_EQ(s.outputUsed[j], used ? 1 : 0) << "output " << j;
    }
    EXPECT_EQ(s.cordSource[31], 31);
    EXPECT_EQ(s.cordSource[0], 18);
    EXPECT_EQ(s.cordSource[9], 8);
    EXPECT_FALSE(hasCord(s, 6));  // the default patch's cords are gone
    // And it captures back to the same cords, in input order.
    EXPECT_EQ(captureConfiguration(s, 11025, "").cords,
              (std::vector<std::pair<int, int>>{{419, 301}, {409, 310}, {432, 332}}));
}

struct BadCase {
    std::string text;
    std::string message;
};

std::vector<BadCase> badCases() {
    const auto osc = [](int i, const std::string& e) {
        return configText({{"oscillators", oscillatorsWith(i, e)}});
    };
    const auto mix = [](int i, const std::string& e) { return configText({{"mixer", mixerWith(i, e)}}); };
    const auto cords = [](const std::string& c) { return configText({{"cords", c}}); };
    const auto ctl = [](const std::string& e) { return configText({{"controllers", "[" + e + "]"}}); };
    const std::string ccRule =
        "controller 1: cc must be a whole number from 0 to 119 (120 to 127 are channel-mode messages)";
    const std::string freqRule = "oscillator 3: frequency must be above 0 and at most 5500";
    const std::string levelRule = "mixer channel 8: level must be a whole number from 0 to 128";
    const std::string panRule = "mixer channel 1: pan must be a multiple of 5 from 0 to 100";
    return {
        {"[1, 2]", "a configuration is a JSON object in braces, this text holds a list"},
        {"{\"voltina\": 1,}", "line 1, column 15: expected a key in double quotes, found '}'"},
        {configText({{"voltina", ""}}),
         "this is not a Voltina configuration (the \"voltina\" format version is missing)"},
        {configText({{"voltina", "2"}}), "voltina: format version 2 is newer than this Voltina reads (1)"},
        {configText({{"voltina", "17"}, {"rate", "12"}}),
         "voltina: format version 17 is newer than this Voltina reads (1)"},
        {configText({{"voltina", "0"}}), "voltina: the format version must be a whole number, 1 or more"},
        {configText({{"voltina", "1.5"}}), "voltina: the format version must be a whole number, 1 or more"},
        {configText({{"voltina", "\"1\""}}), "voltina: the format version must be a whole number, 1 or more"},
        {configText({{"rate", ""}}), "rate is missing"},
        {configText({{"rate", "8000"}}), "rate must be 11025, 22050 or 44100"},
        {configText({{"rate", "11026"}}), "rate must be 11025, 22050 or 44100"},
        {configText({{"rate", "\"11025\""}}), "rate must be 11025, 22050 or 44100"},
        {configText({{"oscillators", ""}}), "oscillators is missing"},
        {configText({{"oscillators", "[]"}}),
         "oscillators must be a list of exactly 8 entries, top to bottom"},
        {configText({{"oscillators", oscillatorsWith(-1, "") + "x"}}),
         "line 3, column 304: expected ',' or '}', found 'x'"},
        {osc(0, "7"), "oscillator 1: must be an object with \"type\" and \"frequency\""},
        {osc(0, R"({"frequency": 5})"), "oscillator 1: type is missing"},
        {osc(7, R"({"type": "triangle", "frequency": 5})"),
         "oscillator 8: type must be \"sine\", \"square\", \"sawtooth\" or \"random\""},
        {osc(7, R"({"type": "Sine", "frequency": 5})"),
         "oscillator 8: type must be \"sine\", \"square\", \"sawtooth\" or \"random\""},
        {osc(7, R"({"type": 1, "frequency": 5})"),
         "oscillator 8: type must be \"sine\", \"square\", \"sawtooth\" or \"random\""},
        {osc(2, R"({"type": "sine"})"), "oscillator 3: frequency is missing"},
        {osc(2, R"({"type": "sine", "frequency": 0})"), freqRule},
        {osc(2, R"({"type": "sine", "frequency": -1})"), freqRule},
        {osc(2, R"({"type": "sine", "frequency": 5500.001})"), freqRule},
        {osc(2, R"({"type": "sine", "frequency": 1e-50})"), freqRule},  // a float would hold 0
        {osc(2, R"({"type": "sine", "frequency": "2.16"})"), freqRule},
        {osc(2, R"({"type": "sine", "frequency": null})"), freqRule},
        {configText({{"mixer", "[]"}}), "mixer must be a list of exactly 8 entries, channel 1 first"},
        {configText({{"mixer", ""}}), "mixer is missing"},
        {mix(7, R"({"level": 129, "pan": 50})"), levelRule},
        {mix(7, R"({"level": -1, "pan": 50})"), levelRule},
        {mix(7, R"({"level": 80.5, "pan": 50})"), levelRule},
        {mix(7, R"({"level": true, "pan": 50})"), levelRule},
        {mix(7, R"({"pan": 50})"), "mixer channel 8: level is missing"},
        {mix(0, R"({"level": 80, "pan": 52})"), panRule},
        {mix(0, R"({"level": 80, "pan": 105})"), panRule},
        {mix(0, R"({"level": 80, "pan": -5})"), panRule},
        {mix(0, R"({"level": 80})"), "mixer channel 1: pan is missing"},
        {mix(0, "[80, 50]"), "mixer channel 1: must be an object with \"level\" and \"pan\""},
        {configText({{"cords", ""}}), "cords is missing"},
        {cords("{}"), "cords must be a list of [output jack, input jack] pairs"},
        {cords("[[401, 321], [401, 322]]"), "cord 2: Output jack 401 already carries a cord (into 321)"},
        {cords("[[401, 321], [402, 322], [403, 321]]"),
         "cord 3: Input jack 321 already carries a cord (from 401)"},
        {cords("[[400, 321]]"), "cord 1: the output jack must be 401 to 432, not 400"},
        {cords("[[433, 321]]"), "cord 1: the output jack must be 401 to 432, not 433"},
        {cords("[[321, 401]]"), "cord 1: the output jack must be 401 to 432, not 321"},
        {cords("[[401, 300]]"), "cord 1: the input jack must be 301 to 332, not 300"},
        {cords("[[401, 333]]"), "cord 1: the input jack must be 301 to 332, not 333"},
        {cords("[[418, 309]]"),
         "cord 1: The auto-pan outputs must be plugged in the mixer (301 to 308), not 309"},
        {cords("[[420, 332]]"),
         "cord 1: The auto-pan outputs must be plugged in the mixer (301 to 308), not 332"},
        {cords("[[401]]"), "cord 1: must be a pair [output jack, input jack]"},
        {cords("[[401, 321, 1]]"), "cord 1: must be a pair [output jack, input jack]"},
        {cords("[401, 321]"), "cord 1: must be a pair [output jack, input jack]"},
        {cords("[[401.5, 321]]"), "cord 1: the output jack must be a whole number from 401 to 432"},
        {cords("[[401, \"321\"]]"), "cord 1: the input jack must be a whole number from 301 to 332"},
        {configText({{"wave", "5"}}), "wave must be a file name in double quotes"},
        {configText({{"wave", "\"\""}}), "wave must be a file name in double quotes"},
        {configText({{"wave", "\"a\\u0000b\""}}), "wave must be a file name in double quotes"},
        {configText({{"controllers", "{}"}}),
         R"(controllers must be a list of objects such as {"cc": 7, "channel": 2, "control": "level"})"},
        {ctl("7"), R"(controller 1: must be an object such as {"cc": 7, "channel": 2, "control": "level"})"},
        {ctl(R"({"channel": 1, "control": "level"})"), "controller 1: cc is missing"},
        {ctl(R"({"cc": 120, "channel": 1, "control": "level"})"), ccRule},
        {ctl(R"({"cc": -1, "channel": 1, "control": "level"})"), ccRule},
        {ctl(R"({"cc": 7.5, "channel": 1, "control": "level"})"), ccRule},
        {ctl(R"({"cc": 7, "channel": 9, "control": "level"})"),
         "controller 1: level needs \"channel\": 1 to 8"},
        {ctl(R"({"cc": 7, "oscillator": 1, "control": "level"})"),
         "controller 1: \"oscillator\" does not go with level"},
        {ctl(R"({"cc": 7, "oscillator": 1, "control": "typed"})"),
         "controller 1: control must be one of \"type\", \"frequency\", \"level\", \"pan\""},
        {ctl(R"({"cc": 7, "oscillator": 1})"), "controller 1: control is missing"},
        {ctl(R"({"cc": 7, "channel": 1, "control": "pan", "midi-channel": 17})"),
         "controller 1: midi-channel must be a whole number from 1 to 16"},
        {ctl(R"({"cc": 7, "channel": 1, "control": "pan", "knob": 2})"),
         "controller 1: unknown member \"knob\""},
        {ctl(R"({"cc": 7, "channel": 1, "control": "pan", "midi-channel": 2},
                {"cc": 7, "channel": 2, "control": "level"})"),
         "controller 2: cc 7 is bound already by controller 1"},
        // The first problem in file order wins.
        {configText({{"rate", "1"}, {"oscillators", "[]"}}), "rate must be 11025, 22050 or 44100"},
        {configText(
             {{"oscillators", oscillatorsWith(1, R"({"type": "x", "frequency": 1})")}, {"mixer", "[]"}}),
         "oscillator 2: type must be \"sine\", \"square\", \"sawtooth\" or \"random\""},
    };
}

TEST(ConfigurationTest, EachKindOfBadConfigurationIsRefusedWithItsMessage) {
    Configuration sentinel = defaultConfiguration();
    sentinel.rate = 44100;
    sentinel.wave = "KEEP.WAV";
    for (const BadCase& c : badCases()) {
        Configuration out = sentinel;
        std::string error;
        EXPECT_FALSE(parseConfiguration(c.text, out, error)) << c.text;
        EXPECT_EQ(error, c.message) << c.text;
        expectSame(out, sentinel);
    }
}

TEST(ConfigurationTest, NothingIsAppliedFromABadFile) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const Configuration sentinel = defaultConfiguration();
    for (const BadCase& c : badCases()) {
        testing::writeAll(dir.file("bad"), c.text);
        Configuration out = sentinel;
        std::string error;
        EXPECT_FALSE(readConfigurationFile(dir.file("bad"), out, error));
        EXPECT_EQ(error, dir.file("bad") + ": " + c.message);
        expectSame(out, sentinel);
    }
}

TEST(ConfigurationTest, ApplyRefusesAnUncheckedConfigurationAndChangesNothing) {
    EngineState s;
    setEngineDefaults(s);
    EngineState before;
    setEngineDefaults(before);
    Configuration c = defaultConfiguration();
    c.oscFreq[0] = 999.0f;
    c.cords.push_back({404, 307});  // 307 already takes the panoramiker
    std::string error;
    EXPECT_FALSE(applyConfiguration(c, s, error));
    EXPECT_EQ(error, "cord 6: Input jack 307 already carries a cord (from 418)");
    EXPECT_EQ(std::memcmp(s.oscFreq, before.oscFreq, sizeof s.oscFreq), 0);
    EXPECT_EQ(std::memcmp(s.cordPresent, before.cordPresent, sizeof s.cordPresent), 0);
    EXPECT_EQ(std::memcmp(s.cordSource, before.cordSource, sizeof s.cordSource), 0);
    EXPECT_EQ(std::memcmp(s.outputUsed, before.outputUsed, sizeof s.outputUsed), 0);

    c = defaultConfiguration();
    c.oscType[4] = 4;
    EXPECT_FALSE(applyConfiguration(c, s, error));
    EXPECT_EQ(error, "oscillator 5: type must be \"sine\", \"square\", \"sawtooth\" or \"random\"");
    c = defaultConfiguration();
    c.hasWave = true;
    c.wave = "caf\xE9";
    EXPECT_EQ(checkConfiguration(c), "wave must be a file name in UTF-8");
}

TEST(ConfigurationTest, UnknownKeysAreIgnoredAndTheWaveIsOptional) {
    std::string text = configText({{"wave", ""}});
    text.insert(1, "\"comment\": {\"any\": [1, 2, {\"thing\": null}]}, \"future\": 3,\n");
    const std::size_t at = text.find("{\"type\"");
    text.insert(at + 1, "\"label\": \"bass\", ");
    Configuration c;
    std::string error;
    ASSERT_TRUE(parseConfiguration(text, c, error)) << error << "\n" << text;
    EXPECT_FALSE(c.hasWave);
    EXPECT_EQ(serializeConfiguration(c).find("wave"), std::string::npos);

    c.hasWave = true;
    c.wave = "/samples/d\xC3\xA9j\xC3\xA0 \"vu\"\\loop.wav";
    Configuration back;
    ASSERT_TRUE(parseConfiguration(serializeConfiguration(c), back, error)) << error;
    expectSame(back, c);
}

TEST(ConfigurationFileTest, WrittenFilesReadBackWhole) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const Configuration c = defaultConfiguration();
    std::string error;
    ASSERT_TRUE(writeConfigurationFile(dir.file("PATCH"), c, error)) << error;
    Configuration back;
    ASSERT_TRUE(readConfigurationFile(dir.file("PATCH"), back, error)) << error;
    expectSame(back, c);
    // Saving again replaces the file, and nothing else is left in the folder.
    Configuration other = c;
    other.mixLevel[3] = 7;
    ASSERT_TRUE(writeConfigurationFile(dir.file("PATCH"), other, error)) << error;
    ASSERT_TRUE(readConfigurationFile(dir.file("PATCH"), back, error)) << error;
    EXPECT_EQ(back.mixLevel[3], 7);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"PATCH"});
}

TEST(ConfigurationFileTest, FailedWritesLeaveNoFile) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    Configuration c = defaultConfiguration();
    std::string error;
    EXPECT_FALSE(writeConfigurationFile(dir.file("nowhere/PATCH"), c, error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;

    ASSERT_EQ(::mkdir(dir.file("FOLDER").c_str(), 0755), 0);
    EXPECT_FALSE(writeConfigurationFile(dir.file("FOLDER"), c, error));
    EXPECT_NE(error.find("FOLDER"), std::string::npos) << error;

    c.mixPan[0] = 3;
    EXPECT_FALSE(writeConfigurationFile(dir.file("PATCH"), c, error));
    EXPECT_EQ(error,
              "Cannot save the configuration: mixer channel 1: pan must be a multiple of 5 from 0 to 100");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"FOLDER"});
}

TEST(ConfigurationFileTest, UnreadableFilesSayWhy) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    Configuration out = defaultConfiguration();
    std::string error;
    EXPECT_FALSE(readConfigurationFile(dir.file("absent"), out, error));
    EXPECT_EQ(error, dir.file("absent") + ": cannot open: No such file or directory");
    EXPECT_FALSE(readConfigurationFile(dir.path(), out, error));
    EXPECT_EQ(error, dir.path() + ": not a regular file");
    testing::writeAll(dir.file("huge"), std::string(kMaxConfigurationBytes + 1, ' '));
    EXPECT_FALSE(readConfigurationFile(dir.file("huge"), out, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    testing::writeAll(dir.file("empty"), "");
    EXPECT_FALSE(readConfigurationFile(dir.file("empty"), out, error));
    EXPECT_EQ(error, dir.file("empty") + ": line 1, column 1: the text is empty");
    expectSame(out, defaultConfiguration());
}

}  // namespace
}  // namespace voltina
