#pragma once
// Where voltina-render writes its WAV file, streamed as it is rendered:
//   "-"                  standard output (refused when it is a terminal);
//   a regular file       a temporary file beside it, renamed over it once whole, keeping the existing
//                        file's permissions: the target is whole or as it was, never half-written;
//   a symbolic link      followed: the file it leads to is replaced that way, the link stays;
//   a device or a FIFO   written straight through.
// Ctrl-C and SIGTERM remove the temporary file (see installOutputCleanup).

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

    // False with a sentence in `error` when the output cannot be opened.
    bool open(const std::string& path, std::string& error);
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

// Installs SIGINT, SIGTERM and SIGHUP handlers that remove the temporary file of the RenderOutput being
// written (an async-signal-safe unlink of a path computed beforehand) and then die of the signal; and
// ignores SIGPIPE, so that a closed pipe is a write error with a message.
void installOutputCleanup();

}  // namespace voltina
