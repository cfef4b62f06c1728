// The plain file helpers: whole-or-nothing writes and bounded whole-file reads.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "media/atomic_file.h"
#include "media/file_bytes.h"
#include "tests/media/temp_folder.h"

namespace voltina {
namespace {

using testing::TempFolder;

TEST(AtomicFileTest, NothingIsVisibleUntilCommitAndAbandonLeavesNoTrace) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    testing::writeAll(dir.file("target"), "old contents");
    std::string error;
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(dir.file("target"), error)) << error;
        ASSERT_TRUE(file.write("new", 3, error));
        EXPECT_EQ(testing::readAll(dir.file("target")).size(), 12u);  // the old file is untouched so far
        EXPECT_EQ(dir.entries().size(), 2u);
    }  // dropped without commit
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target"});
    EXPECT_EQ(testing::readAll(dir.file("target")).size(), 12u);

    AtomicFile file;
    ASSERT_TRUE(file.open(dir.file("target"), error));
    ASSERT_TRUE(file.write("new contents!", 13, error));
    ASSERT_TRUE(file.writeAt(0, "N", 1, error));
    std::uint64_t length = 0;
    ASSERT_TRUE(file.length(length, error));
    EXPECT_EQ(length, 13u);
    ASSERT_TRUE(file.commit(error)) << error;
    const std::vector<unsigned char> now = testing::readAll(dir.file("target"));
    EXPECT_EQ(std::string(now.begin(), now.end()), "New contents!");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"target"});
}

TEST(AtomicFileTest, NewFilesGetTheUsualPermissions) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    std::string error;
    ASSERT_TRUE(writeFileAtomically(dir.file("f"), "x", 1, error)) << error;
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("f").c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST(FileBytesTest, ReadsWholeFilesAndRefusesWhatIsNotOne) {
    TempFolder dir;
    ASSERT_TRUE(dir.ok());
    testing::writeAll(dir.file("ten"), "0123456789");
    std::vector<std::uint8_t> bytes = {42};
    std::string error;
    ASSERT_TRUE(readFileBytes(dir.file("ten"), 10, bytes, error)) << error;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");

    bytes = {42};
    EXPECT_FALSE(readFileBytes(dir.file("ten"), 9, bytes, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_EQ(bytes, std::vector<std::uint8_t>{42});

    EXPECT_FALSE(readFileBytes(dir.file("absent"), 100, bytes, error));
    EXPECT_EQ(error, dir.file("absent") + ": cannot open: No such file or directory");

    EXPECT_FALSE(readFileBytes(dir.path(), 100, bytes, error));
    EXPECT_EQ(error, dir.path() + ": not a regular file");
    EXPECT_EQ(bytes, std::vector<std::uint8_t>{42});

    // A named pipe without a writer is refused at once, not waited on.
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(readFileBytes(dir.file("pipe"), 100, bytes, error));
    EXPECT_EQ(error, dir.file("pipe") + ": not a regular file");
}

}  // namespace
}  // namespace voltina
