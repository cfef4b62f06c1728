#pragma once
// Writes a file again and again from a thread of its own, each time whole and atomically (temporary file,
// flush, rename, folder sync): the caller hands over the newest bytes and returns at once, so the disk
// never holds up the thread that feeds the sound. Bytes handed over while a write is under way replace
// any still waiting: only the newest is written. Plain C++.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace voltina {

class LatestFileWriter {
  public:
    LatestFileWriter() = default;
    // Writes what is still waiting, then stops the thread.
    ~LatestFileWriter();
    LatestFileWriter(const LatestFileWriter&) = delete;
    LatestFileWriter& operator=(const LatestFileWriter&) = delete;

    // Any one thread (the GUI thread in the program): the next contents of `path`. Never waits for the disk.
    void submit(const std::string& path, std::string bytes);
    // Waits until nothing is waiting or being written; true when the last write succeeded.
    bool flush();
    // The last write's failure, in words (empty after a success).
    std::string lastError() const;
    // Writes completed, successful or not (for tests).
    std::uint64_t writes() const;

  private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::thread thread_;
    bool stop_ = false;
    bool pending_ = false;
    bool busy_ = false;
    std::string path_;
    std::string bytes_;
    std::string lastError_;
    std::uint64_t writes_ = 0;
};

}  // namespace voltina
