#include "media/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "media/file_bytes.h"

namespace voltina {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void syncFolderOf(const std::string& path) {
    const int dir = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    (void)::fsync(dir);
    ::close(dir);
}

bool closeAndReplace(int fd, const std::string& tempPath, const std::string& target, const char*& step,
                     int& errorNumber) {
    step = "Cannot write";
    if (::fsync(fd) != 0) {
        errorNumber = errno;
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) {
        errorNumber = errno;
        return false;
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        errorNumber = errno;
        step = "Cannot replace";
        return false;
    }
    syncFolderOf(target);
    return true;
}

namespace {

// A hidden name that ends in ".tmp", so neither the list of configurations (names without a dot) nor
// the list of WAV files ever shows a file being written. Long names are cut to stay under NAME_MAX.
std::string temporaryName(const std::string& path, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    std::string base = baseOf(path).substr(0, 180);
    return folderOf(path) + "/." + base + "." + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1) + attempt) + ".tmp";
}

}  // namespace

AtomicFile::~AtomicFile() {
    abandon();
}

bool AtomicFile::open(const std::string& path, std::string& error) {
    abandon();
    if (path.empty()) {
        error = "No file name given";
        return false;
    }
    if (path.back() == '/') {
        error = "Cannot write " + path + ": the name is a folder";
        return false;
    }
    path_ = path;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = temporaryName(path, attempt);
        // 0666 so that the umask decides the permissions, as for any file the user creates.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            tempPath_ = candidate;
            return true;
        }
        if (errno != EEXIST) {
            const int e = errno;
            error = "Cannot create a file in " + folderOf(path) + ": " + std::strerror(e);
            path_.clear();
            return false;
        }
    }
    error = "Cannot create a temporary file in " + folderOf(path);
    path_.clear();
    return false;
}

bool AtomicFile::fail(const std::string& what, int errorNumber, std::string& error) {
    error = what + " " + path_ + ": " + std::strerror(errorNumber);
    abandon();
    return false;
}

bool AtomicFile::write(const void* data, std::size_t size, std::string& error) {
    return writeAll(data, size, nullptr, error);
}

bool AtomicFile::writeAt(std::uint64_t offset, const void* data, std::size_t size, std::string& error) {
    return writeAll(data, size, &offset, error);
}

bool AtomicFile::writeAll(const void* data, std::size_t size, std::uint64_t* offset, std::string& error) {
    if (fd_ < 0) {
        error = "Cannot write " + path_ + ": the file is not open";
        return false;
    }
    int e = 0;
    return writeFully(fd_, data, size, e, offset) || fail("Cannot write", e, error);
}

bool AtomicFile::length(std::uint64_t& bytes, std::string& error) {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return fail("Cannot examine", fd_ < 0 ? EBADF : errno, error);
    bytes = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool AtomicFile::commit(std::string& error) {
    if (fd_ < 0) {
        error = "Cannot write " + path_ + ": the file is not open";
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    const char* step = nullptr;
    int errorNumber = 0;
    if (!closeAndReplace(fd, tempPath_, path_, step, errorNumber)) return fail(step, errorNumber, error);
    tempPath_.clear();
    path_.clear();
    return true;
}

void AtomicFile::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

bool writeFileAtomically(const std::string& path, const void* data, std::size_t size, std::string& error) {
    AtomicFile file;
    return file.open(path, error) && file.write(data, size, error) && file.commit(error);
}

}  // namespace voltina
