#include "media/latest_file_writer.h"

#include <utility>

#include "media/atomic_file.h"

namespace voltina {

LatestFileWriter::~LatestFileWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void LatestFileWriter::submit(const std::string& path, std::string bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        path_ = path;
        bytes_ = std::move(bytes);
        pending_ = true;
        // Started on the first write: a program that never changes its panel has no thread for it.
        if (!thread_.joinable()) thread_ = std::thread(&LatestFileWriter::run, this);
    }
    wake_.notify_one();
}

bool LatestFileWriter::flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return !pending_ && !busy_; });
    return lastError_.empty();
}

std::string LatestFileWriter::lastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
}

std::uint64_t LatestFileWriter::writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

void LatestFileWriter::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || pending_; });
        // What is waiting is still written at the stop: it is the newest state there is.
        if (!pending_) return;
        const std::string path = std::move(path_);
        const std::string bytes = std::move(bytes_);
        pending_ = false;
        busy_ = true;
        lock.unlock();
        std::string error;
        const bool ok = writeFileAtomically(path, bytes.data(), bytes.size(), error);
        lock.lock();
        busy_ = false;
        ++writes_;
        lastError_ = ok ? std::string() : error;
        idle_.notify_all();
    }
}

}  // namespace voltina
