// The panel's autosave: what the reader refuses (every damaged or foreign file says why and changes
// nothing), the round trip, and the folder rules: a running program's autosave is never offered, a
// killed one's is, a damaged one is set aside without being lost.

#include "config/autosave_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "engine/defaults.h"
#include "media/file_bytes.h"
#include "media/latest_file_writer.h"
#include "tests/media/temp_folder.h"

namespace voltina {
namespace {

using testing::TempFolder;

Autosave sampleAutosave() {
    EngineState s;
    setOscillatorAndMixerDefaults(s);
    setDefaultPatch(s);
    Autosave a;
    a.time = 1767225600;
    a.origin = "/home/me/songs/drône \"1\"";
    a.modified = true;
    a.configuration = captureConfiguration(s, 22050, "/home/me/LOOP.WAV");
    return a;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(AutosaveFile, ReadsBackWhatItWrites) {
    const Autosave a = sampleAutosave();
    Autosave b;
    std::string error;
    ASSERT_TRUE(parseAutosave(serializeAutosave(a), b, error)) << error;
    EXPECT_EQ(b.time, a.time);
    EXPECT_EQ(b.origin, a.origin);
    EXPECT_EQ(b.modified, a.modified);
    EXPECT_EQ(serializeConfiguration(b.configuration), serializeConfiguration(a.configuration));
}

TEST(AutosaveFile, RefusesWhatIsNotAWholeAutosaveAndSaysWhy) {
    const std::string good = serializeAutosave(sampleAutosave());
    struct Case {
        std::string text;
        std::string says;
    };
    const Case cases[] = {
        {"", "line 1"},
        {good.substr(0, good.size() / 2), "line"},  // cut short by a power loss on a careless writer
        {std::string(good.size(), '\0'), "line 1"},
        {"[1, 2]", "not a JSON object"},
        {"{\"voltina\": 1}", "not a Voltina autosave"},
        {replaced(good, "\"voltina-autosave\": 1", "\"voltina-autosave\": 2"), "version 2"},
        {replaced(good, "\"voltina-autosave\": 1", "\"voltina-autosave\": \"1\""), "not a Voltina autosave"},
        {replaced(good, "\"time\": 1767225600", "\"time\": -5"), "\"time\""},
        {replaced(good, "\"time\": 1767225600", "\"time\": 1.5"), "\"time\""},
        {replaced(good, "\"time\": 1767225600", "\"time\": 1e300"), "\"time\""},
        {replaced(good, "\"time\": 1767225600,", ""), "\"time\""},
        {replaced(good, "\"origin\": ", "\"origin\": 7, \"x\": "), "unknown field \"x\""},
        {replaced(good, "\"modified\": true", "\"modified\": 1"), "\"modified\""},
        {replaced(good, "\"configuration\": {", "\"other\": {"), "unknown field \"other\""},
        {replaced(good, "\"rate\": 22050", "\"rate\": 8000"), "configuration: "},
        {replaced(good, "\"configuration\": {", "\"configuration\": [] , \"z\": {"), "unknown field"},
        {replaced(good, "\"modified\": true,", "\"modified\": true, \"modified\": false,"), "line"},
    };
    for (const Case& c : cases) {
        Autosave out;
        out.origin = "untouched";
        std::string error;
        EXPECT_FALSE(parseAutosave(c.text, out, error)) << c.says;
        EXPECT_NE(error.find(c.says), std::string::npos) << "said: " << error << "\nexpected: " << c.says;
        EXPECT_EQ(out.origin, "untouched");
    }
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(AutosaveFile, OnlyAutosavesNoProgramHoldsAreFoundAndADamagedOneIsSetAsideWhole) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string dir = folder.file("unsaved");
    std::string error;
    std::string killedPath;
    {
        AutosaveSlot killed;  // gone without release(): a kill, a crash
        ASSERT_TRUE(killed.claim(dir, error)) << error;
        writeText(killed.path(), serializeAutosave(sampleAutosave()));
        killedPath = killed.path();
    }
    std::string strayLock;
    {
        AutosaveSlot killedEarly;  // killed before its first write: only its lock is left
        ASSERT_TRUE(killedEarly.claim(dir, error)) << error;
        strayLock = killedEarly.path().substr(0, killedEarly.path().size() - 5) + ".lock";
    }
    AutosaveSlot running;
    ASSERT_TRUE(running.claim(dir, error)) << error;
    ASSERT_NE(running.path(), killedPath);  // not yet written: only its lock, held
    const std::string damaged = dir + "/panel-1-1.json";
    writeText(damaged, "{\"voltina-autosave\": 1, \"time\": ");
    ::mkfifo((dir + "/panel-2-2.json").c_str(), 0600);  // never waited on

    std::vector<FoundAutosave> found = findAutosaves(dir);
    ASSERT_EQ(found.size(), 3u);
    struct stat lockStat {};
    EXPECT_NE(::stat(strayLock.c_str(), &lockStat), 0) << "the stray lock is left";
    const std::string runningLock = running.path().substr(0, running.path().size() - 5) + ".lock";
    EXPECT_EQ(::stat(runningLock.c_str(), &lockStat), 0) << "a running program's lock was removed";
    std::map<std::string, std::string> problems;
    for (const FoundAutosave& f : found) problems[f.path] = f.problem;
    EXPECT_EQ(problems.count(running.path()), 0u);
    EXPECT_EQ(problems[killedPath], "");
    EXPECT_NE(problems[damaged], "");
    EXPECT_NE(problems[dir + "/panel-2-2.json"], "");

    const std::string aside = setAutosaveAside(damaged);
    ASSERT_FALSE(aside.empty());
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readFileBytes(aside, 1000, bytes, error)) << error;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "{\"voltina-autosave\": 1, \"time\": ");
    // A second damaged file of the same name never replaces the first one set aside.
    writeText(damaged, "second");
    const std::string second = setAutosaveAside(damaged);
    ASSERT_FALSE(second.empty());
    EXPECT_NE(second, aside);
    ::unlink((dir + "/panel-2-2.json").c_str());
    found = findAutosaves(dir);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path, killedPath);

    discardAutosave(killedPath);
    running.release();
    EXPECT_TRUE(findAutosaves(dir).empty());
    struct stat st {};
    EXPECT_NE(::stat(running.path().c_str(), &st), 0);
}

TEST(LatestFileWriter, TheFileEndsAsTheNewestBytesHandedOverAndIsNeverSeenHalfWritten) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string path = folder.file("panel.json");
    LatestFileWriter writer;
    std::atomic<bool> done{false};
    std::string torn;
    // A reader racing the writer sees only whole versions: every one is 4096 bytes of one letter.
    std::thread reader([&] {
        while (!done.load()) {
            std::vector<std::uint8_t> bytes;
            std::string error;
            if (!readFileBytes(path, 1 << 16, bytes, error)) continue;
            const std::string text(bytes.begin(), bytes.end());
            if (text.size() != 4096 || text.find_first_not_of(text[0]) != std::string::npos) torn = text;
        }
    });
    for (int i = 0; i < 200; ++i) writer.submit(path, std::string(4096, static_cast<char>('a' + i % 26)));
    EXPECT_TRUE(writer.flush()) << writer.lastError();
    done = true;
    reader.join();
    EXPECT_TRUE(torn.empty()) << torn.size() << " bytes seen";
    std::vector<std::uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(readFileBytes(path, 1 << 16, bytes, error));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string(4096, static_cast<char>('a' + 199 % 26)));
    EXPECT_LE(writer.writes(), 200u);

    writer.submit(folder.file("no/such/folder/panel.json"), "x");
    EXPECT_FALSE(writer.flush());
    EXPECT_NE(writer.lastError(), "");
}

}  // namespace
}  // namespace voltina
