// The take on disk: what the render gate hands over arrives in the file in order, as a WAV file whose
// header counts it; a disk that fills up is noticed, and what was written before stays a valid take.
#include "audio/take_spool.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace voltina {
namespace {

class TakeSpoolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/voltina-spool-test.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }
    std::vector<std::uint8_t> fileBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string folder;
};

TEST_F(TakeSpoolTest, RandomHandOversArriveInOrderInAValidWaveFile) {
    for (const int channels : {2, 1}) {
        TakeSpool spool;
        std::string error;
        const WaveFormat format = recordingFormat(44101, channels == 2 ? 1 : 0);
        ASSERT_TRUE(spool.begin(folder + "/unsaved", format, error)) << error;
        // While the writer runs, the file is held: it is not a take left behind.
        EXPECT_TRUE(findUnsavedTakes(folder + "/unsaved").empty());
        std::mt19937 random(channels);
        std::vector<std::uint8_t> all;
        for (int render = 0; render < 300; ++render) {
            std::vector<std::uint8_t> frames(2 * (random() % 4500));
            for (std::uint8_t& b : frames) b = static_cast<std::uint8_t>(random());
            // Faster than any sound: when the buffer is full, wait for the writer as the sound would.
            int waits = 0;
            while (!spool.push(frames.data(), frames.size()) && waits++ < 500)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_LT(waits, 500);
            all.insert(all.end(), frames.begin(), frames.end());
            if (render % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        ASSERT_TRUE(spool.finish(error)) << error;
        const std::vector<std::uint8_t> expected = waveDataFromFrames(format, all.data(), all.size());
        const std::vector<std::uint8_t> file = fileBytes(spool.path());
        std::vector<std::uint8_t> whole = waveHeader(format, static_cast<std::uint32_t>(expected.size()));
        whole.insert(whole.end(), expected.begin(), expected.end());
        if (expected.size() % 2 != 0) whole.push_back(0);
        EXPECT_TRUE(file == whole) << "the spool is not the WAV file of the frames handed over";
        EXPECT_EQ(spool.durableBytes(), expected.size());
        spool.release();
        // Released (its program gone), the take is found, and saved it is the same file.
        const std::vector<UnsavedTake> takes = findUnsavedTakes(folder + "/unsaved");
        ASSERT_EQ(takes.size(), 1u);
        EXPECT_TRUE(takes[0].readable);
        EXPECT_EQ(takes[0].dataLength, expected.size());
        ASSERT_TRUE(saveUnsavedTake(takes[0], folder + "/SAVED.WAV", error)) << error;
        EXPECT_TRUE(fileBytes(folder + "/SAVED.WAV") == whole);
        std::remove(takes[0].path.c_str());
    }
}

TEST_F(TakeSpoolTest, AFullDiskIsNoticedAndWhatWasWrittenStays) {
    TakeSpool spool;
    std::string error;
    ASSERT_TRUE(spool.begin(folder, recordingFormat(11026, 1), error)) << error;
    // The file may not grow past 1001 sound bytes: the writes beyond fail as on a full disk.
    signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = kWaveHeaderBytes + 1001;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    std::vector<std::uint8_t> frames(4000);
    for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(spool.push(frames.data(), frames.size()));
    for (int i = 0; i < 200 && !spool.failed(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(spool.failed());
    EXPECT_NE(spool.failure().find("File too large"), std::string::npos) << spool.failure();
    EXPECT_FALSE(spool.push(frames.data(), 2));  // nothing more is taken
    EXPECT_FALSE(spool.finish(error));
    setrlimit(RLIMIT_FSIZE, &previous);
    spool.release();
    const UnsavedTake take = readUnsavedTake(spool.path());
    EXPECT_TRUE(take.readable);
    EXPECT_EQ(take.dataLength, 1000u);  // whole frames only
    const std::vector<std::uint8_t> file = fileBytes(spool.path());
    ASSERT_GE(file.size(), kWaveHeaderBytes + 1000);
    EXPECT_TRUE(std::equal(frames.begin(), frames.begin() + 1000, file.begin() + kWaveHeaderBytes));
}

}  // namespace
}  // namespace voltina
