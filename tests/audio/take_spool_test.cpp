// The take on disk: what the render gate hands over arrives in the file in order, as a WAV file whose
// header counts it; a disk that fills up is noticed, and what was written before stays a valid take.
#include "audio/take_spool.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "tests/support/small_disk.h"

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

// What may lie in the unsaved folder: only regular files are takes, none is waited for, a header that
// lies about its rate is damage, one that claims more than a WAV holds is cut to what a WAV holds, and a
// copy that cannot be made whole is reported (the take stays where it is).
TEST_F(TakeSpoolTest, TheUnsavedFolderIsReadWithoutTrustingIt) {
    const WaveFormat stereo = recordingFormat(11026, 1);
    auto writeTake = [&](const std::string& name, WaveFormat format, std::uint32_t claimed,
                         std::uint64_t size) {
        std::vector<std::uint8_t> header = waveHeader(format, claimed);
        const int fd = ::open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, header.data(), header.size()), static_cast<ssize_t>(header.size()));
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);  // sparse: zeros cost nothing
        ::close(fd);
    };
    WaveFormat zeroHz = stereo;
    zeroHz.samplesPerSec = 0;
    zeroHz.avgBytesPerSec = 0;
    WaveFormat hugeRate = stereo;
    hugeRate.samplesPerSec = 0x80000000u;
    hugeRate.avgBytesPerSec = 0;  // 2 x 2^31 wraps to 0 in 32 bits
    struct Case {
        std::string name;
        bool listed;
        bool readable;
        std::uint64_t dataLength;
    };
    const std::uint64_t huge = 5ull << 30;
    const std::vector<Case> cases = {
        {"take-1-good.wav", true, true, 4000},
        {"take-2-zero-hz.wav", true, false, 0},
        {"take-3-huge-rate.wav", true, false, 0},
        {"take-4-claims-4-gb.wav", true, true, kMaxWaveDataBytes - kMaxWaveDataBytes % 2},
        {"take-5-fifo.wav", false, false, 0},
        {"take-6-folder.wav", false, false, 0},
    };
    writeTake(cases[0].name, stereo, 4000, kWaveHeaderBytes + 4000);
    writeTake(cases[1].name, zeroHz, 4000, kWaveHeaderBytes + 4000);
    writeTake(cases[2].name, hugeRate, 4000, kWaveHeaderBytes + 4000);
    writeTake(cases[3].name, stereo, 0xFFFFFFFFu, huge);
    ASSERT_EQ(::mkfifo((folder + "/" + cases[4].name).c_str(), 0600), 0);
    ASSERT_EQ(::mkdir((folder + "/" + cases[5].name).c_str(), 0700), 0);

    std::string problem;
    const std::vector<UnsavedTake> takes = findUnsavedTakes(folder, &problem);  // a FIFO would hang here
    EXPECT_TRUE(problem.empty()) << problem;
    for (const Case& c : cases) {
        const auto found = std::find_if(takes.begin(), takes.end(), [&](const UnsavedTake& t) {
            return t.path == folder + "/" + c.name;
        });
        ASSERT_EQ(found != takes.end(), c.listed) << c.name;
        if (!c.listed) continue;
        EXPECT_EQ(found->readable, c.readable) << c.name;
        EXPECT_TRUE(found->problem.empty()) << c.name << ": " << found->problem;
        if (!c.readable) continue;
        EXPECT_EQ(found->dataLength, c.dataLength) << c.name;
        // Its saved copy's RIFF size counts its data and pad byte without wrapping around.
        const std::vector<std::uint8_t> header = waveHeader(found->format, found->dataLength);
        const std::uint32_t riff = static_cast<std::uint32_t>(header[4] | header[5] << 8 | header[6] << 16 |
                                                              static_cast<std::uint32_t>(header[7]) << 24);
        EXPECT_EQ(riff, 36u + found->dataLength + (found->dataLength & 1u)) << c.name;
    }
    EXPECT_EQ(readUnsavedTake(folder + "/" + cases[4].name).problem, std::strerror(ENODEV));

    std::string error;
    auto named = [&](const std::string& part) {
        return *std::find_if(takes.begin(), takes.end(),
                             [&](const UnsavedTake& t) { return t.path.find(part) != std::string::npos; });
    };
    const UnsavedTake good = named("good");
    const UnsavedTake big = named("4-gb");
    // Damaged takes are never saved; Stop in the progress stops the copy and leaves nothing.
    EXPECT_FALSE(saveUnsavedTake(named("zero-hz"), folder + "/DAMAGED.WAV", error));
    int calls = 0;
    EXPECT_FALSE(
        saveUnsavedTake(big, folder + "/STOPPED.WAV", error, [&](std::uint64_t done, std::uint64_t total) {
            ++calls;
            EXPECT_EQ(total, big.dataLength);
            return done < 3 * 65536;
        }));
    EXPECT_EQ(calls, 3);
    EXPECT_NE(error.find("stopped"), std::string::npos) << error;
    EXPECT_FALSE(::access((folder + "/STOPPED.WAV").c_str(), F_OK) == 0);
    // A disk that fills: an error, the target not made, the take as it was.
    test::SmallDisk disk(200 * 1024);
    ASSERT_TRUE(disk.ok()) << disk.error();
    EXPECT_FALSE(saveUnsavedTake(big, disk.path() + "/BIG.WAV", error));
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    EXPECT_FALSE(::access((disk.path() + "/BIG.WAV").c_str(), F_OK) == 0);
    EXPECT_EQ(readUnsavedTake(big.path).dataLength, big.dataLength);
    ASSERT_TRUE(saveUnsavedTake(good, disk.path() + "/GOOD.WAV", error)) << error;
    const std::vector<std::uint8_t> saved = fileBytes(disk.path() + "/GOOD.WAV");
    EXPECT_EQ(saved.size(), kWaveHeaderBytes + 4000);
}

}  // namespace
}  // namespace voltina
