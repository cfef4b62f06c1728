#pragma once
// The frames recorded while the record switch is on: exactly the bytes written into the ring.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace voltina {

class Recording {
  public:
    // Starts a new recording (the sound was switched on with the record switch on).
    // Returns false when even the first block cannot be had.
    bool start();
    // Appends one frame. Returns false when the memory cannot grow; the bytes kept so far stay.
    bool append(std::uint8_t left, std::uint8_t right) {
        if (bytes_.size() + 2 > bytes_.capacity() && !grow()) return false;
        bytes_.push_back(left);
        bytes_.push_back(right);
        return true;
    }
    void clear();
    // The bytes so far have gone to the take's file on disk: they are dropped and the block is kept for the
    // next ones, so the memory a take needs stays flat however long it lasts.
    void forgetBytes() { bytes_.clear(); }
    // The file on disk that holds the take (the bytes in memory follow it); empty when the take is in memory.
    void setSpoolFile(std::string path) { spoolFile_ = std::move(path); }
    const std::string& spoolFile() const { return spoolFile_; }
    // Frames that can be appended before the block has to grow (and growing could fail).
    std::size_t framesBeforeGrowth() const { return (bytes_.capacity() - bytes_.size()) / 2; }

    bool active() const { return active_; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::uint32_t length() const { return static_cast<std::uint32_t>(bytes_.size()); }

    // Tests make growth fail past this many bytes; 0 means no limit but the machine's.
    void setByteLimitForTesting(std::size_t limit) { limit_ = limit; }

  private:
    bool grow();

    std::vector<std::uint8_t> bytes_;
    std::string spoolFile_;
    std::size_t limit_ = 0;
    bool active_ = false;  // a block exists for this run
};

}  // namespace voltina
