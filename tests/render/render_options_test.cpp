#include "render/render_options.h"

#include <gtest/gtest.h>

using namespace voltina;

TEST(SecondsToFrames, IsExactForDecimalSeconds) {
    std::uint64_t frames = 0;
    ASSERT_TRUE(secondsToFrames("0.3", 44100, frames));
    EXPECT_EQ(frames, 13230u);  // 0.3 * 44100 in double is 13229.999...
    ASSERT_TRUE(secondsToFrames("2.5", 11025, frames));
    EXPECT_EQ(frames, 27562u);  // 27562.5 rounded down
    ASSERT_TRUE(secondsToFrames("10", 22050, frames));
    EXPECT_EQ(frames, 220500u);
    ASSERT_TRUE(secondsToFrames(".5", 11025, frames));
    EXPECT_EQ(frames, 5512u);
}

TEST(SecondsToFrames, RefusesWhatIsNotANumberOfSeconds) {
    std::uint64_t frames = 0;
    for (const char* bad : {"", ".", "-1", "1e3", "abc", "1.2.3", "1.", "99999999999999999999"}) {
        if (std::string(bad) == "1.") continue;  // "1." is one second, checked below
        EXPECT_FALSE(secondsToFrames(bad, 11025, frames)) << bad;
    }
    ASSERT_TRUE(secondsToFrames("1.", 11025, frames));
    EXPECT_EQ(frames, 11025u);
}

TEST(RenderOptions, ReadsEveryOption) {
    RenderOptions o;
    std::string error;
    ASSERT_TRUE(parseRenderOptions({"patch", "--frames", "100", "--rate", "22050", "--channels", "1",
                                    "--midi", "a.mid", "--events", "moves.json", "--quiet", "-o", "-"},
                                   o, error))
        << error;
    EXPECT_EQ(o.configPath, "patch");
    EXPECT_EQ(o.frames, 100u);
    EXPECT_EQ(o.rate, 22050);
    EXPECT_EQ(o.channels, 1);
    EXPECT_EQ(o.midiPath, "a.mid");
    EXPECT_EQ(o.eventsPath, "moves.json");
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.outputPath, "-");
}

TEST(PrintableText, EscapesWhatCouldDriveATerminalAndKeepsTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"LOOP.WAV", "LOOP.WAV"},
        {"\x1b[2J", "\\x1B[2J"},
        {"a\nb\tc\rd\x7f", "a\\nb\\tc\\x0Dd\\x7F"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb9",
         "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xb9"},  // UTF-8 kept
        {"\xc2\x9b"
         "31m",
         "\\xC2\\x9B31m"},  // C1 control (CSI) written in UTF-8
        {"\x9b"
         "31m",
         "\\x9B31m"},                // the same byte alone
        {"\xc0\xaf", "\\xC0\\xAF"},  // overlong
        {"\xe2\x82", "\\xE2\\x82"},  // cut short
        {std::string("a\0b", 3), "a\\x00b"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(printableText(in), out) << in;
}

TEST(RenderOptions, RefusesIncompleteOrWrongCommandLines) {
    const std::vector<std::vector<std::string>> bad = {
        {"-o", "x.wav"},                                     // no length
        {"--seconds", "1", "--frames", "3", "-o", "x.wav"},  // both lengths
        {"--seconds", "1"},                                  // no output
        {"--seconds", "1", "-o", "x.wav", "--rate", "48000"},
        {"--seconds", "1", "-o", "x.wav", "--channels", "3"},
        {"--seconds", "one", "-o", "x.wav"},
        {"--frames", "-5", "-o", "x.wav"},
        {"--seconds", "1", "-o"},
        {"a", "b", "--seconds", "1", "-o", "x.wav"},
        {"--loud", "--seconds", "1", "-o", "x.wav"},
        // An empty name is not a missing one.
        {"", "--seconds", "1", "-o", "x.wav"},
        {"--events", "", "--seconds", "1", "-o", "x.wav"},
        {"--midi", "", "--seconds", "1", "-o", "x.wav"},
        {"--wave", "", "--seconds", "1", "-o", "x.wav"},
        {"--seconds", "1", "-o", ""},
    };
    for (const auto& args : bad) {
        RenderOptions o;
        std::string error;
        EXPECT_FALSE(parseRenderOptions(args, o, error));
        EXPECT_FALSE(error.empty());
    }
}
