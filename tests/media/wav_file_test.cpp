// The recording's WAV files: format fields, names, the exact bytes, and outside readers (libsndfile's
// sndfile-info and sox) accepting what we write.

#include "media/wav_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/media/temp_folder.h"
#include "tests/support/run_command.h"

namespace voltina {
namespace {

using testing::TempFolder;

// What an outside tool says about a file, its messages included.
std::string runCommand(const std::string& command) {
    return test::runCommand(command).output;
}

// Frames with a distinct left and right pattern, so a mono file shows which byte it kept.
std::vector<std::uint8_t> testFrames(std::size_t frames) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < frames; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i * 7 + 3));
        bytes.push_back(static_cast<std::uint8_t>(255 - i % 200));
    }
    return bytes;
}

std::uint32_t le32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint16_t le16(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

TEST(WaveFormatTest, RecordingFormatFollowsTheRateAndTheChannels) {
    for (int rateParam : {11026, 22051, 44101}) {
        const WaveFormat stereo = recordingFormat(rateParam, 1);
        EXPECT_EQ(stereo.formatTag, 1);
        EXPECT_EQ(stereo.channels, 2);
        EXPECT_EQ(stereo.samplesPerSec, static_cast<std::uint32_t>(rateParam - 1));
        EXPECT_EQ(stereo.avgBytesPerSec, 2u * (rateParam - 1));
        EXPECT_EQ(stereo.blockAlign, 2);
        EXPECT_EQ(stereo.bitsPerSample, 8);

        const WaveFormat mono = recordingFormat(rateParam, 0);
        EXPECT_EQ(mono.channels, 1);
        EXPECT_EQ(mono.samplesPerSec, static_cast<std::uint32_t>(rateParam - 1));
        EXPECT_EQ(mono.avgBytesPerSec, static_cast<std::uint32_t>(rateParam - 1));
        EXPECT_EQ(mono.blockAlign, 1);
        EXPECT_EQ(mono.bitsPerSample, 8);
    }
}

TEST(WaveFormatTest, TypedNamesBecomeSafeUpperCaseNames) {
    EXPECT_EQ(makeWaveFileName("my song"), "MY_SONG");
    EXPECT_EQ(makeWaveFileName("ab-1"), "AB_1");
    EXPECT_EQ(makeWaveFileName("Zz09aZ"), "ZZ09AZ");
    EXPECT_EQ(makeWaveFileName("../x.y"), "___X_Y");
    // "éèà" in UTF-8 is six bytes of 128 and above, each replaced on its own.
    EXPECT_EQ(makeWaveFileName("\xC3\xA9\xC3\xA8\xC3\xA0"), "______");
    // One byte per accented letter in an 8-bit code page: three underscores.
    EXPECT_EQ(makeWaveFileName("\xE9\xE8\xE0"), "___");
    EXPECT_EQ(makeWaveFileName(std::string("a\0b", 3)), "A_B");
    EXPECT_EQ(makeWaveFileName(""), "");
}

TEST(WaveFormatTest, HeaderHoldsTheFieldsAtTheirOffsets) {
    const std::vector<std::uint8_t> h = waveHeader(recordingFormat(22051, 1), 1000);
    ASSERT_EQ(h.size(), kWaveHeaderBytes);
    const std::vector<unsigned char> b(h.begin(), h.end());
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(b, 4), 1036u);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(b, 16), 16u);
    EXPECT_EQ(le16(b, 20), 1);
    EXPECT_EQ(le16(b, 22), 2);
    EXPECT_EQ(le32(b, 24), 22050u);
    EXPECT_EQ(le32(b, 28), 44100u);
    EXPECT_EQ(le16(b, 32), 2);
    EXPECT_EQ(le16(b, 34), 8);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(le32(b, 40), 1000u);
    EXPECT_EQ(le32(std::vector<unsigned char>(h.begin(), h.end()), 4), 1036u);
    const std::vector<std::uint8_t> odd = waveHeader(recordingFormat(11026, 0), 7);
    EXPECT_EQ(le32(std::vector<unsigned char>(odd.begin(), odd.end()), 4), 36u + 7u + 1u);
}

TEST(WaveFileTest, StereoFileIsTheHeaderThenTheFrames) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::vector<std::uint8_t> frames = testFrames(300);
    std::string error;
    ASSERT_TRUE(
        saveWaveFile(dir.file("A.WAV"), recordingFormat(11026, 1), frames.data(), frames.size(), error))
        << error;
    const std::vector<unsigned char> file = testing::readAll(dir.file("A.WAV"));
    ASSERT_EQ(file.size(), 44u + 600u);
    EXPECT_EQ(le32(file, 4), 36u + 600u);
    EXPECT_EQ(le32(file, 40), 600u);
    EXPECT_TRUE(std::equal(frames.begin(), frames.end(), file.begin() + 44));
}

TEST(WaveFileTest, MonoFileKeepsTheLeftByteOfEachFrame) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::vector<std::uint8_t> frames = testFrames(301);
    std::string error;
    ASSERT_TRUE(
        saveWaveFile(dir.file("M.WAV"), recordingFormat(11026, 0), frames.data(), frames.size(), error))
        << error;
    const std::vector<unsigned char> file = testing::readAll(dir.file("M.WAV"));
    ASSERT_EQ(file.size(), 44u + 301u + 1u);  // an odd data chunk is followed by a pad byte
    EXPECT_EQ(le32(file, 4), 36u + 301u + 1u);
    EXPECT_EQ(file.back(), 0);
    EXPECT_EQ(le16(file, 22), 1);
    EXPECT_EQ(le16(file, 32), 1);
    EXPECT_EQ(le32(file, 28), 11025u);
    EXPECT_EQ(le32(file, 40), 301u);
    for (std::size_t i = 0; i < 301; ++i) ASSERT_EQ(file[44 + i], frames[2 * i]) << "frame " << i;
}

TEST(WaveFileTest, EmptyRecordingGivesA44ByteFile) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    std::string error;
    ASSERT_TRUE(saveWaveFile(dir.file("E.WAV"), recordingFormat(44101, 1), nullptr, 0, error)) << error;
    const std::vector<unsigned char> file = testing::readAll(dir.file("E.WAV"));
    ASSERT_EQ(file.size(), 44u);
    EXPECT_EQ(le32(file, 4), 36u);
    EXPECT_EQ(le32(file, 40), 0u);
}

struct JudgeCase {
    int rateParam;
    int stereoOut;
    std::size_t frames;
};

// libsndfile and sox must both read our files, see the right format and length, and give back the
// very bytes we wrote.
TEST(WaveFileTest, OutsideReadersAcceptWhatWeWrite) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    // (sndfile-info itself reports a short read on files of one or two data bytes, whoever wrote them.)
    const JudgeCase cases[] = {
        {11026, 1, 1000}, {22051, 0, 999}, {44101, 1, 2}, {11026, 0, 3}, {44101, 0, 4410}};
    for (const JudgeCase& c : cases) {
        SCOPED_TRACE("rateParam " + std::to_string(c.rateParam) + ", stereoOut " +
                     std::to_string(c.stereoOut) + ", " + std::to_string(c.frames) + " frames");
        const std::string path = dir.file("J.WAV");
        const std::vector<std::uint8_t> frames = testFrames(c.frames);
        const WaveFormat format = recordingFormat(c.rateParam, c.stereoOut);
        std::string error;
        ASSERT_TRUE(saveWaveFile(path, format, frames.data(), frames.size(), error)) << error;
        const int channels = c.stereoOut ? 2 : 1;
        const std::string rate = std::to_string(c.rateParam - 1);

        const std::string info = runCommand("sndfile-info '" + path + "'");
        EXPECT_NE(info.find("Channels      : " + std::to_string(channels)), std::string::npos) << info;
        EXPECT_NE(info.find("Frames      : " + std::to_string(c.frames) + "\n"), std::string::npos) << info;
        EXPECT_NE(info.find("Sample Rate : " + rate), std::string::npos) << info;
        // Its one remark that stays is about odd data chunks, which it makes even when the pad byte is there.
        std::string complaints;
        std::size_t start = 0;
        while (start < info.size()) {
            std::size_t end = info.find('\n', start);
            if (end == std::string::npos) end = info.size();
            const std::string line = info.substr(start, end - start);
            const bool remark =
                line.find("***") != std::string::npos || line.find("rror") != std::string::npos;
            if (remark && line.find("should be an even number of bytes") == std::string::npos)
                complaints += line;
            start = end + 1;
        }
        EXPECT_EQ(complaints, "") << info;

        EXPECT_EQ(runCommand("sox --i -c '" + path + "'"), std::to_string(channels) + "\n");
        EXPECT_EQ(runCommand("sox --i -s '" + path + "'"), std::to_string(c.frames) + "\n");
        EXPECT_EQ(runCommand("sox --i -r '" + path + "'"), rate + "\n");
        EXPECT_EQ(runCommand("sox --i -e '" + path + "'"), "Unsigned Integer PCM\n");

        const std::string raw = runCommand("sox '" + path + "' -t u8 -");
        const std::vector<std::uint8_t> expected = waveDataFromFrames(format, frames.data(), frames.size());
        EXPECT_EQ(raw, std::string(expected.begin(), expected.end()));
    }
}

TEST(WaveFileTest, SavingOverAnExistingFileReplacesIt) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    testing::writeAll(dir.file("S.WAV"), std::string(5000, 'x'));
    const std::vector<std::uint8_t> frames = testFrames(10);
    std::string error;
    ASSERT_TRUE(
        saveWaveFile(dir.file("S.WAV"), recordingFormat(11026, 1), frames.data(), frames.size(), error));
    EXPECT_EQ(testing::readAll(dir.file("S.WAV")).size(), 64u);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"S.WAV"});
}

TEST(WaveFileTest, FailedWriteLeavesNoFileBehind) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    const std::vector<std::uint8_t> frames = testFrames(10);
    const WaveFormat format = recordingFormat(11026, 1);
    std::string error;

    // A folder that does not exist.
    EXPECT_FALSE(saveWaveFile(dir.file("missing/A.WAV"), format, frames.data(), frames.size(), error));
    EXPECT_NE(error.find(dir.file("missing")), std::string::npos) << error;

    // A plain file where a folder is expected.
    testing::writeAll(dir.file("plain"), "x");
    error.clear();
    EXPECT_FALSE(saveWaveFile(dir.file("plain/A.WAV"), format, frames.data(), frames.size(), error));
    EXPECT_FALSE(error.empty());

    // The target is a folder: the rename fails after everything was written; the temporary file goes.
    ASSERT_EQ(::mkdir(dir.file("FOLDER.WAV").c_str(), 0755), 0);
    error.clear();
    EXPECT_FALSE(saveWaveFile(dir.file("FOLDER.WAV"), format, frames.data(), frames.size(), error));
    EXPECT_NE(error.find("FOLDER.WAV"), std::string::npos) << error;

    std::vector<std::string> left = dir.entries();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"FOLDER.WAV", "plain"}));
    EXPECT_EQ(testing::readAll(dir.file("plain")).size(), 1u);
}

}  // namespace
}  // namespace voltina
