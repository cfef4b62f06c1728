#pragma once
// The take on disk while it is recorded, so that a crash, a kill or a power cut loses at most the last
// second of it. The render gate hands each render's bytes to a TakeSpool and returns; a writer thread of
// its own appends them to a WAV file in the user's data folder ($XDG_DATA_HOME/voltina/unsaved, or
// ~/.local/share/voltina/unsaved), brings its header up to date and flushes it to disk (fdatasync) at
// least once a second. The file is locked (flock) while its program lives, so another Voltina started
// meanwhile does not take it for a take left behind. Plain C++: no Qt.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/wav_file.h"

namespace voltina {

// The folder unsaved takes are kept in, from XDG_DATA_HOME or HOME (empty when neither is set).
std::string unsavedTakeFolder();

// A take found on disk: a spool file whose program ended without saving or discarding it.
struct UnsavedTake {
    std::string path;
    bool readable = false;  // a WAV header this program writes; false: left alone, never offered
    std::string problem;    // why the file could not be read at all (empty when it could)
    WaveFormat format;
    std::uint32_t dataLength = 0;  // the sound bytes the header vouches for (and the file holds)
    std::int64_t modified = 0;     // seconds since 1970, the file's last change
    double seconds() const {
        return format.avgBytesPerSec ? static_cast<double>(dataLength) / format.avgBytesPerSec : 0.0;
    }
};

// Reads a spool file's header. The header is at most a second behind the bytes after it; only the bytes it
// counts (and the file really holds) are part of the take.
UnsavedTake readUnsavedTake(const std::string& path);

// The takes in `folder` that no running program holds, oldest first; a take that cannot be opened is
// listed with its problem. Only regular files count, and none is waited for (a FIFO there is passed
// over). A folder that exists but cannot be read sets `folderProblem`.
std::vector<UnsavedTake> findUnsavedTakes(const std::string& folder, std::string* folderProblem = nullptr);

// Called after each block of a copy with the sound bytes copied and their total; false stops the copy.
using TakeCopyProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Writes `take` as a WAV file at `target` (through a temporary file renamed over it, as saveWaveFile does),
// copying a block at a time: the same bytes saveWaveFile would write for the same frames. True only once
// the copy on disk has been read back and found whole.
bool saveUnsavedTake(const UnsavedTake& take, const std::string& target, std::string& error,
                     const TakeCopyProgress& progress = {});

class TakeSpool {
  public:
    // What the render gate can hand over before the writer has caught up: about 12 s at 44100 Hz stereo.
    static constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

    TakeSpool() = default;
    ~TakeSpool();
    TakeSpool(const TakeSpool&) = delete;
    TakeSpool& operator=(const TakeSpool&) = delete;

    // GUI thread. Creates a new spool file in `folder` for a take in `format` and starts the writer.
    // False with a sentence in `error` when the file cannot be made.
    bool begin(const std::string& folder, const WaveFormat& format, std::string& error);
    // GUI thread: hands over stereo frames (left, right, ...). Never waits: false when the writer is that far
    // behind (the disk is too slow) or has failed; nothing of these bytes is then taken.
    bool push(const std::uint8_t* frames, std::size_t bytes);
    // GUI thread: the writer writes what it was handed, the header is made final and the file flushed.
    // The file stays locked until release(). False with a sentence in `error` when the last of it could
    // not be written (the take then holds what was written before).
    bool finish(std::string& error);
    // GUI thread: lets go of the file (it stays where it is).
    void release();

    bool writing() const { return writer_.joinable(); }
    const std::string& path() const { return path_; }
    // Any thread: the writer could not write (disk full, I/O error, ...). failure() says why once this is
    // set.
    bool failed() const { return failed_.load(std::memory_order_acquire); }
    std::string failure() const;
    // Sound bytes in the file whose header and data have been flushed to disk.
    std::uint64_t durableBytes() const { return durable_.load(std::memory_order_acquire); }

  private:
    void writerLoop();
    void writeQueued();
    bool flushHeader(bool final);
    void fail(const std::string& what, int errorNumber);

    std::string path_;
    WaveFormat format_;
    int fd_ = -1;

    // The single-producer/single-consumer byte ring: the GUI thread writes at head_, the writer reads at
    // tail_; each side only reads the other's index.
    std::vector<std::uint8_t> buffer_;
    std::atomic<std::uint64_t> head_{0};
    std::atomic<std::uint64_t> tail_{0};

    std::thread writer_;
    std::mutex wakeMutex_;  // the writer sleeps on it; the GUI thread takes it only to stop the writer
    std::condition_variable wake_;
    bool stop_ = false;

    // Writer thread only, until it is joined.
    std::uint64_t written_ = 0;  // sound bytes in the file
    std::vector<std::uint8_t> scratch_;

    std::atomic<std::uint64_t> durable_{0};
    std::atomic<bool> failed_{false};
    mutable std::mutex failureMutex_;
    std::string failure_;
};

}  // namespace voltina
