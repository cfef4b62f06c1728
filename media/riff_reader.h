#pragma once
// Reading RIFF chunks (the WAV file's structure) from a file or from bytes in memory. Every read stops at
// the last byte present, whatever a chunk header claims, so a lying header can make a search fail but can
// never make it read outside the bytes or loop for ever.
// Any thread, one reader per source.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace voltina {

// The bytes a RIFF reader walks over.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Bytes present.
    virtual std::uint64_t size() const = 0;
    // Copies up to `n` bytes from `offset` into `out`; fewer (possibly none) at the end of the bytes or on
    // a read error.
    virtual std::size_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) = 0;
};

class MemoryBytes : public ByteSource {
  public:
    MemoryBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) override;

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A regular file opened for reading only. Its size is taken when it is opened: bytes appended later are not
// read, and a file that shrinks meanwhile gives short reads.
class FileBytes : public ByteSource {
  public:
    FileBytes() = default;
    ~FileBytes() override { close(); }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // False for a missing or unreadable file and for anything that is not a regular file (a folder, or a
    // pipe that could block the program).
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    std::uint64_t size() const override { return size_; }
    std::size_t readAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) override;

  private:
    // Reads straight from the file, through interrupted and short reads.
    std::size_t readFile(std::uint64_t offset, std::uint8_t* out, std::size_t n);

    int fd_ = -1;
    std::uint64_t size_ = 0;
    // Small reads (chunk headers) are served from a block read ahead, so walking a file of many tiny
    // chunks costs memory copies rather than a system call per header.
    std::vector<std::uint8_t> cache_;
    std::uint64_t cacheOffset_ = 0;
    std::size_t cacheSize_ = 0;
};

// A chunk identifier from its four characters, as they stand in the file ("fmt " etc.).
constexpr std::uint32_t fourCC(const char (&id)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(id[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(id[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(id[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(id[3])) << 24;
}

struct RiffChunk {
    std::uint32_t id = 0;
    std::uint32_t size = 0;        // as the header says; the bytes present may be fewer
    std::uint32_t formType = 0;    // RIFF chunks only
    std::uint64_t dataOffset = 0;  // the first byte after the size field
    // Where the next chunk starts: chunks keep an even length, with a pad byte after an odd size.
    std::uint64_t next() const { return dataOffset + size + (size & 1u); }
};

// A cursor over a ByteSource, moved by the search, read and ascend steps as a RIFF file is walked.
class RiffReader {
  public:
    explicit RiffReader(ByteSource& source) : source_(source) {}

    // From the cursor onwards, finds the RIFF chunk of `formType` (skipping other chunks whole) and leaves
    // the cursor after its form type.
    bool descendRiff(std::uint32_t formType, RiffChunk& out);
    // From the cursor onwards, finds the chunk `id` among the chunks of `parent` and leaves the cursor on its
    // first data byte. Chunks that start at or past the parent's end are not looked at.
    bool descendChunk(std::uint32_t id, const RiffChunk& parent, RiffChunk& out);
    // Leaves the cursor after `chunk` and its pad byte.
    void ascend(const RiffChunk& chunk) { position_ = chunk.next(); }

    // Reads up to `n` bytes at the cursor and moves past those read.
    std::size_t read(std::uint8_t* out, std::size_t n);

    std::uint64_t position() const { return position_; }
    // Bytes present from the cursor to the end.
    std::uint64_t remaining() const { return position_ < source_.size() ? source_.size() - position_ : 0; }

  private:
    bool readHeader(std::uint64_t at, std::size_t bytes, std::uint8_t* header);

    ByteSource& source_;
    std::uint64_t position_ = 0;
};

}  // namespace voltina
