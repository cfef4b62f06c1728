#include "media/riff_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "media/little_endian.h"

namespace voltina {

namespace {

// How many of `n` bytes from `offset` lie within `size` bytes.
std::size_t clampCount(std::uint64_t offset, std::size_t n, std::uint64_t size) {
    if (offset >= size) return 0;
    const std::uint64_t left = size - offset;
    return left < n ? static_cast<std::size_t>(left) : n;
}

}  // namespace

std::size_t MemoryBytes::readAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) {
    const std::size_t count = clampCount(offset, n, size_);
    if (count > 0) std::memcpy(out, data_ + offset, count);
    return count;
}

bool FileBytes::open(const std::string& path) {
    close();
    // Non-blocking, so that opening a named pipe cannot hang the program before it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(st.st_size);
    return true;
}

void FileBytes::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
    cacheSize_ = 0;
}

std::size_t FileBytes::readAt(std::uint64_t offset, std::uint8_t* out, std::size_t n) {
    constexpr std::size_t kSmallRead = 64;
    constexpr std::size_t kCacheBytes = 1u << 16;
    if (fd_ < 0) return 0;
    if (n > kSmallRead) return readFile(offset, out, n);
    if (offset < cacheOffset_ || offset + n > cacheOffset_ + cacheSize_) {
        cache_.resize(kCacheBytes);
        cacheOffset_ = offset;
        cacheSize_ = readFile(offset, cache_.data(), kCacheBytes);
    }
    const std::size_t count = clampCount(offset - cacheOffset_, n, cacheSize_);
    if (count > 0) std::memcpy(out, cache_.data() + (offset - cacheOffset_), count);
    return count;
}

std::size_t FileBytes::readFile(std::uint64_t offset, std::uint8_t* out, std::size_t n) {
    const std::size_t count = clampCount(offset, n, size_);
    std::size_t have = 0;
    while (have < count) {
        const ssize_t got = ::pread(fd_, out + have, count - have, static_cast<off_t>(offset + have));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    return have;
}

bool RiffReader::readHeader(std::uint64_t at, std::size_t bytes, std::uint8_t* header) {
    return source_.readAt(at, header, bytes) == bytes;
}

bool RiffReader::descendRiff(std::uint32_t formType, RiffChunk& out) {
    std::uint64_t at = position_;
    // Every step moves at least 8 bytes on, and a header must be present to be looked at: the search ends
    // at the last byte whatever the sizes say.
    for (;;) {
        std::uint8_t header[12];
        if (!readHeader(at, 8, header)) return false;
        const std::uint32_t id = readLe32(header);
        const std::uint32_t size = readLe32(header + 4);
        // Only RIFF chunks follow one another at the top of a RIFF file: anything else is not one, and
        // walking "chunks" through gigabytes of other bytes would only end in the same answer.
        if (id != fourCC("RIFF")) return false;
        if (readHeader(at + 8, 4, header + 8) && readLe32(header + 8) == formType) {
            out = RiffChunk{id, size, formType, at + 8};
            position_ = at + 12;
            return true;
        }
        at = RiffChunk{id, size, 0, at + 8}.next();
    }
}

bool RiffReader::descendChunk(std::uint32_t id, const RiffChunk& parent, RiffChunk& out) {
    const std::uint64_t parentEnd = parent.dataOffset + parent.size;
    std::uint64_t at = position_;
    while (at < parentEnd) {
        std::uint8_t header[8];
        if (!readHeader(at, 8, header)) return false;
        const RiffChunk chunk{readLe32(header), readLe32(header + 4), 0, at + 8};
        if (chunk.id == id) {
            out = chunk;
            position_ = chunk.dataOffset;
            return true;
        }
        at = chunk.next();
    }
    return false;
}

std::size_t RiffReader::read(std::uint8_t* out, std::size_t n) {
    const std::size_t got = source_.readAt(position_, out, n);
    position_ += got;
    return got;
}

}  // namespace voltina
