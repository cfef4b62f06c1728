#include "media/file_bytes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace voltina {

namespace {

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

bool readFileBytes(const std::string& path, std::size_t maxBytes, std::vector<std::uint8_t>& bytes,
                   std::string& error) {
    // Non-blocking, so that opening a named pipe or a device cannot hang before it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    FdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = path + ": cannot read: " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        error = path + ": the file is too large (" + std::to_string(st.st_size) + " bytes; at most " +
                std::to_string(maxBytes) + ")";
        return false;
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(st.st_size));
    std::size_t have = 0;
    // The size can change under us: read to the end, but never more than one byte past the limit.
    const std::size_t cap = maxBytes < SIZE_MAX ? maxBytes + 1 : maxBytes;
    for (;;) {
        if (have == data.size()) {
            if (data.size() >= cap) break;
            data.resize(cap - data.size() > 4096 ? data.size() + 4096 : cap);
        }
        const ssize_t n = ::read(fd, data.data() + have, data.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = path + ": cannot read: " + std::strerror(errno);
            return false;
        }
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    if (have > maxBytes) {
        error = path + ": the file is too large (more than " + std::to_string(maxBytes) + " bytes)";
        return false;
    }
    data.resize(have);
    bytes.swap(data);
    return true;
}

bool writeFully(int fd, const void* data, std::size_t size, int& errorNumber, std::uint64_t* offset) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = offset != nullptr ? ::pwrite(fd, bytes, size, static_cast<off_t>(*offset))
                                            : ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            errorNumber = errno;
            return false;
        }
        if (n == 0) {
            errorNumber = ENOSPC;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
        if (offset != nullptr) *offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

FileLock fileLockOf(int fd) {
    // A shared lock taken here is let go when the caller closes the file.
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) return FileLock::Free;
    return errno == EWOULDBLOCK ? FileLock::HeldByAProgram : FileLock::Unknown;
}

}  // namespace voltina
