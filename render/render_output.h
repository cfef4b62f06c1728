#pragma once
// Where voltina-render writes its WAV file, streamed as it is rendered:
//   "-"                  standard output, written in place (refused when it is a terminal); /dev/stdout,
//                        /dev/fd/1 and /proc/self/fd/1 are the same;
//   a regular file       a temporary file beside it, renamed over it once whole, keeping the existing
//                        file's permissions: the target is whole or as it was, never half-written;
//   a symbolic link      followed: the file it leads to is replaced that way, the link stays;
//   a device or a FIFO   written straight through.
// Every signal that ends the renderer removes the temporary file (see installOutputCleanup). No output
// overwrites one of the render's inputs or a file the user may not write.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace voltina {

class RenderOutput {
  public:
    RenderOutput() = default;
    RenderOutput(const RenderOutput&) = delete;
    RenderOutput& operator=(const RenderOutput&) = delete;
    // Abandons an output that was not finished: a temporary file is removed.
    ~RenderOutput();

    // An input the output must not overwrite: "the configuration", with its path.
    struct NamedInput {
        std::string what;
        std::string path;
    };
    // False with a sentence in `error` when the output cannot be opened, when it is one of `inputs` (by
    // device and inode, links followed) or an existing file the user could not open for writing.
    bool open(const std::string& path, std::string& error, const std::vector<NamedInput>& inputs = {});
    // Appends bytes (buffered). False on any failure; the output is then abandoned.
    bool write(const void* data, std::size_t size, std::string& error);
    // Writes out what is buffered and, for a regular file, checks it holds `expectedBytes`, makes it
    // durable and renames it over the target.
    bool finish(std::uint64_t expectedBytes, std::string& error);
    // Removes a temporary file without touching the target; what a device or pipe got stays sent.
    void abandon();

  private:
    bool flush(std::string& error);
    bool fail(const std::string& what, int errorNumber, std::string& error);

    int fd_ = -1;
    bool ownsFd_ = false;     // false for standard output
    bool replacing_ = false;  // a temporary file to be renamed over target_
    std::string target_;      // the file finally written (after following links)
    std::string shown_;       // the name as given, for messages
    std::string tempPath_;
    std::uint64_t written_ = 0;
    std::vector<std::uint8_t> buffer_;
};

// Installs handlers for every signal that would end the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1,
// SIGALRM, SIGXCPU, the real-time signals...) that remove the temporary file of the RenderOutput being
// written (an async-signal-safe unlink of a path computed beforehand) and then die of the signal; and
// ignores SIGPIPE and SIGXFSZ, so that a closed pipe or a file-size limit is a write error with a message.
void installOutputCleanup();

}  // namespace voltina
