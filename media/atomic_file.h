#pragma once
// Writing a file so that the target is never seen half-written: the bytes go into a temporary file in
// the target's folder, which is flushed to disk and then renamed over the target in one step. On any
// failure the temporary file is removed and the target is left as it was.

#include <cstddef>
#include <cstdint>
#include <string>

namespace voltina {

// The folder of a path ("." for a bare name, "/" at the root) and its last part.
std::string folderOf(const std::string& path);
std::string baseOf(const std::string& path);
// Makes a rename into the folder of `path` durable. A folder that cannot be opened or synced is let be:
// the file itself is already on disk.
void syncFolderOf(const std::string& path);
// The last steps of writing a file beside its target: flushes `fd` to disk (before the rename makes it the
// target, or a crash could leave an empty file), closes it, renames `tempPath` over `target` and makes the
// rename durable. False when a step fails, with `step` naming it ("Cannot write" or "Cannot replace") and
// `errorNumber` its reason. `fd` is closed either way; a temporary file left behind is the caller's.
bool closeAndReplace(int fd, const std::string& tempPath, const std::string& target, const char*& step,
                     int& errorNumber);

class AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    // Abandons a file that was not committed: the temporary file is removed.
    ~AtomicFile();

    // Creates the temporary file beside `path`. False (with a sentence in `error`) when it cannot.
    bool open(const std::string& path, std::string& error);
    // Appends bytes. False when fewer were stored; the file is then abandoned.
    bool write(const void* data, std::size_t size, std::string& error);
    // Overwrites bytes already written, at `offset` from the start.
    bool writeAt(std::uint64_t offset, const void* data, std::size_t size, std::string& error);
    // Bytes written so far, as the file system reports them.
    bool length(std::uint64_t& bytes, std::string& error);
    // Flushes, closes and renames over the target. After a failure nothing is left behind.
    bool commit(std::string& error);
    // Removes the temporary file without touching the target.
    void abandon();

  private:
    // Every byte, through interrupted and short writes: at the file's position, or at *offset (moved on
    // past what is written) when given.
    bool writeAll(const void* data, std::size_t size, std::uint64_t* offset, std::string& error);
    bool fail(const std::string& what, int errorNumber, std::string& error);

    int fd_ = -1;
    std::string path_;
    std::string tempPath_;
};

// The whole of `data` into `path`, through an AtomicFile.
bool writeFileAtomically(const std::string& path, const void* data, std::size_t size, std::string& error);

}  // namespace voltina
