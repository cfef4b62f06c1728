#include "render/render_output.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "media/atomic_file.h"
#include "media/file_bytes.h"

namespace voltina {

namespace {

constexpr std::size_t kBufferBytes = 1u << 18;

// The temporary file a signal must remove, set before the file is created and cleared once it is
// renamed or removed: the handler reads only these two.
char gTempPath[PATH_MAX + 1];
volatile sig_atomic_t gHaveTemp = 0;

void setSignalTemp(const std::string& path) {
    gHaveTemp = 0;
    if (path.empty() || path.size() > PATH_MAX) return;
    std::memcpy(gTempPath, path.c_str(), path.size() + 1);
    gHaveTemp = 1;
}

extern "C" void removeTempAndDie(int sig) {
    if (gHaveTemp) ::unlink(gTempPath);
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // delivered when the handler returns, with the default action: the process ends
}

// The names of standard output itself: opened and renamed over, they would replace the file the shell
// appends to, or fail on a pipe.
bool isStandardOutputName(const std::string& path) {
    return path == "-" || path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1" ||
           path == "/proc/thread-self/fd/1";
}

// The file a chain of symbolic links leads to (the path itself when it is not a link). False with errno
// ELOOP for a chain too long, or errno of a failed readlink.
bool followLinks(const std::string& path, std::string& target) {
    target = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::vector<char> link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n < 0) return false;
        if (static_cast<std::size_t>(n) >= link.size()) {
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string next(link.data(), static_cast<std::size_t>(n));
        target = next[0] == '/' ? next : folderOf(target) + "/" + next;
    }
    errno = ELOOP;
    return false;
}

}  // namespace

RenderOutput::~RenderOutput() {
    abandon();
}

bool RenderOutput::fail(const std::string& what, int errorNumber, std::string& error) {
    error = what + " " + shown_ + ": " + std::strerror(errorNumber);
    abandon();
    return false;
}

bool RenderOutput::open(const std::string& path, std::string& error, const std::vector<NamedInput>& inputs) {
    abandon();
    shown_ = path;
    written_ = 0;
    buffer_.clear();
    buffer_.reserve(kBufferBytes);
    if (path.empty()) {
        error = "no output file given";
        return false;
    }
    // The same file under another name, or behind a link: compared by what the names lead to.
    auto sameAsInput = [&](const struct stat& out) {
        for (const NamedInput& input : inputs) {
            struct stat in {};
            if (input.path.empty() || ::stat(input.path.c_str(), &in) != 0) continue;
            if (in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
                error = "will not write over " + input.what + " " + input.path +
                        ", which is also the output: give another file to -o";
                return true;
            }
        }
        return false;
    };
    if (isStandardOutputName(path)) {
        // Written in place, never replaced: the shell's ">>" appends, a pipe or a device is fed.
        shown_ = "standard output";
        if (::isatty(STDOUT_FILENO)) {
            error = "will not write a WAV file to a terminal; redirect standard output or give a file";
            return false;
        }
        struct stat out {};
        if (::fstat(STDOUT_FILENO, &out) != 0) return fail("Cannot write", errno, error);
        if (S_ISREG(out.st_mode) && sameAsInput(out)) return false;
        fd_ = STDOUT_FILENO;
        ownsFd_ = false;
        return true;
    }
    if (!followLinks(path, target_)) return fail("Cannot follow", errno, error);
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return fail("Cannot write", errno, error);
    if (exists && S_ISDIR(st.st_mode)) {
        error = "Cannot write " + path + ": it is a folder";
        return false;
    }
    if (exists && sameAsInput(st)) return false;
    if (exists && S_ISREG(st.st_mode)) {
        // The rename below would replace a file the user may not write (the folder's permission is what a
        // rename needs): refused as cp refuses it.
        const int probe = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (probe < 0) return fail("Cannot write", errno, error);
        ::close(probe);
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a FIFO: written as it is, never replaced (a FIFO waits here for its reader).
        const int fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return fail("Cannot open", errno, error);
        fd_ = fd;
        ownsFd_ = true;
        return true;
    }
    if (!target_.empty() && target_.back() == '/') {
        error = "Cannot write " + path + ": the name is a folder";
        return false;
    }
    // A hidden name that ends in ".tmp", in the target's folder so that the rename stays on one file system.
    const std::string stem =
        folderOf(target_) + "/." + baseOf(target_).substr(0, 180) + "." + std::to_string(::getpid()) + "-";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = stem + std::to_string(attempt) + ".tmp";
        setSignalTemp(candidate);
        // 0666 so that the umask decides a new file's permissions, as for any file the user creates.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            ownsFd_ = true;
            replacing_ = true;
            tempPath_ = candidate;
            if (exists) {
                // The replacement keeps the file's permissions and, where allowed, its owner and group.
                if (::fchown(fd, st.st_uid, st.st_gid) != 0 &&
                    ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
                    // Neither owner nor group can be ours to give: the file keeps the renderer's.
                }
                if (::fchmod(fd, st.st_mode & 07777) != 0)
                    return fail("Cannot set the permissions of", errno, error);
            }
            return true;
        }
        gHaveTemp = 0;
        if (errno != EEXIST) {
            const int e = errno;
            error = "Cannot create a file in " + folderOf(target_) + ": " + std::strerror(e);
            return false;
        }
    }
    error = "Cannot create a temporary file in " + folderOf(target_);
    return false;
}

bool RenderOutput::write(const void* data, std::size_t size, std::string& error) {
    if (fd_ < 0) {
        error = "Cannot write " + shown_ + ": it is not open";
        return false;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const std::size_t room = kBufferBytes - buffer_.size();
        const std::size_t take = size < room ? size : room;
        buffer_.insert(buffer_.end(), bytes, bytes + take);
        bytes += take;
        size -= take;
        if (buffer_.size() == kBufferBytes && !flush(error)) return false;
    }
    return true;
}

bool RenderOutput::flush(std::string& error) {
    int e = 0;
    if (!writeFully(fd_, buffer_.data(), buffer_.size(), e)) return fail("Cannot write", e, error);
    written_ += buffer_.size();
    buffer_.clear();
    return true;
}

bool RenderOutput::finish(std::uint64_t expectedBytes, std::string& error) {
    if (fd_ < 0) {
        error = "Cannot write " + shown_ + ": it is not open";
        return false;
    }
    if (!flush(error)) return false;
    if (written_ != expectedBytes) {
        error = "Cannot write " + shown_ + ": " + std::to_string(written_) + " bytes written instead of " +
                std::to_string(expectedBytes);
        abandon();
        return false;
    }
    if (!replacing_) {
        const int fd = fd_;
        fd_ = -1;
        if (ownsFd_ && ::close(fd) != 0) return fail("Cannot write", errno, error);
        return true;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return fail("Cannot examine", errno, error);
    if (static_cast<std::uint64_t>(st.st_size) != expectedBytes) {
        error = "Cannot write " + shown_ + ": the file came out at the wrong length";
        abandon();
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    const char* step = nullptr;
    int errorNumber = 0;
    if (!closeAndReplace(fd, tempPath_, target_, step, errorNumber)) return fail(step, errorNumber, error);
    gHaveTemp = 0;
    tempPath_.clear();
    return true;
}

void RenderOutput::abandon() {
    if (fd_ >= 0 && ownsFd_) ::close(fd_);
    fd_ = -1;
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        gHaveTemp = 0;
        tempPath_.clear();
    }
    replacing_ = false;
    buffer_.clear();
}

void installOutputCleanup() {
    struct sigaction action {};
    action.sa_handler = removeTempAndDie;
    sigemptyset(&action.sa_mask);
    // Every signal whose default action ends the process, but the file-size limit: that one is ignored,
    // so that the write past it fails with EFBIG and says so.
    for (int sig :
         {SIGHUP,  SIGINT,  SIGQUIT, SIGILL,    SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE,  SIGUSR1, SIGSEGV,
          SIGUSR2, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR,  SIGSYS})
        ::sigaction(sig, &action, nullptr);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) ::sigaction(sig, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace voltina
