#include "audio/take_spool.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/engine_state.h"
#include "media/atomic_file.h"
#include "media/file_bytes.h"

namespace voltina {

namespace {

constexpr auto kSyncSpacing = std::chrono::milliseconds(500);
constexpr auto kWriterNap = std::chrono::milliseconds(200);
constexpr std::size_t kCopyBlock = 64 * 1024;

bool makeFolders(const std::string& folder, std::string& error) {
    std::string sofar;
    std::size_t from = 0;
    while (from <= folder.size()) {
        std::size_t slash = folder.find('/', from);
        if (slash == std::string::npos) slash = folder.size();
        sofar = folder.substr(0, slash);
        from = slash + 1;
        if (sofar.empty()) continue;
        if (::mkdir(sofar.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "Cannot make the folder " + sofar + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool readAllAt(int fd, std::uint8_t* data, std::size_t size, off_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

}  // namespace

std::string unsavedTakeFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    // The XDG rule: a relative path is ignored.
    if (data && data[0] == '/') return std::string(data) + "/voltina/unsaved";
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0') return std::string(home) + "/.local/share/voltina/unsaved";
    return {};
}

namespace {

// Opens what may be a take without ever waiting: a FIFO (or a device) dropped in the folder would hold
// the GUI thread in open() until a writer came. Anything but a regular file is refused with ENODEV.
int openTakeFile(const std::string& path, struct stat& st) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = S_ISREG(st.st_mode) ? errno : ENODEV;
        ::close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

// The most sound bytes a WAV file can hold, whole frames of `blockAlign` bytes: its RIFF size (36, the
// data and a pad byte) must fit in 32 bits.
std::uint32_t largestTake(std::uint16_t blockAlign) {
    const std::uint64_t align = blockAlign ? blockAlign : 1;
    return static_cast<std::uint32_t>(kMaxWaveDataBytes - kMaxWaveDataBytes % align);
}

}  // namespace

UnsavedTake readUnsavedTake(const std::string& path) {
    UnsavedTake take;
    take.path = path;
    struct stat st {};
    const int fd = openTakeFile(path, st);
    if (fd < 0) {
        take.problem = std::strerror(errno);
        return take;
    }
    std::uint8_t h[kWaveHeaderBytes];
    if (!readAllAt(fd, h, sizeof h, 0)) {
        ::close(fd);
        return take;
    }
    take.modified = static_cast<std::int64_t>(st.st_mtime);
    const std::uint64_t held = static_cast<std::uint64_t>(st.st_size) - kWaveHeaderBytes;
    WaveFormat& f = take.format;
    std::uint32_t claimed = 0;
    const bool ours = readWaveHeader(h, f, claimed);
    // Takes are recorded at the three rates the program plays: any other rate (0 Hz, 2^31 Hz) is damage.
    const bool knownRate = isSampleRate(static_cast<int>(f.samplesPerSec));
    take.readable = ours && f.formatTag == 1 && f.bitsPerSample == 8 &&
                    (f.channels == 1 || f.channels == 2) && f.blockAlign == f.channels &&
                    f.avgBytesPerSec == f.samplesPerSec * f.channels && knownRate;
    std::uint64_t length = std::min<std::uint64_t>(claimed, held);
    length -= length % (f.blockAlign ? f.blockAlign : 1);
    // A header that claims more than a WAV file holds (damage, or a file grown by hand) is taken at its
    // word only as far as a saved copy can carry it.
    take.dataLength = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, largestTake(f.blockAlign)));
    ::close(fd);
    return take;
}

std::vector<UnsavedTake> findUnsavedTakes(const std::string& folder, std::string* folderProblem) {
    std::vector<UnsavedTake> takes;
    if (folder.empty()) return takes;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        // No folder yet is no take yet; a folder that cannot be read may hold some.
        if (errno != ENOENT && folderProblem)
            *folderProblem = "Cannot read the folder " + folder + ": " + std::strerror(errno);
        return takes;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() < 9 || name.compare(0, 5, "take-") != 0 ||
            name.compare(name.size() - 4, 4, ".wav") != 0)
            continue;
        const std::string path = folder + "/" + name;
        struct stat st {};
        const int fd = openTakeFile(path, st);
        if (fd < 0) {
            // Not a file at all: no take. A take that cannot be opened is still one the user must hear of.
            if (errno == ENODEV) continue;
            UnsavedTake unreadable;
            unreadable.path = path;
            unreadable.problem = std::strerror(errno);
            takes.push_back(unreadable);
            continue;
        }
        // A running program holds its spool locked.
        const bool free = fileLockOf(fd) == FileLock::Free;
        ::close(fd);
        if (free) takes.push_back(readUnsavedTake(path));
    }
    ::closedir(dir);
    std::sort(takes.begin(), takes.end(), [](const UnsavedTake& a, const UnsavedTake& b) {
        return a.modified != b.modified ? a.modified < b.modified : a.path < b.path;
    });
    return takes;
}

namespace {

// Reads back the saved file's header and length: only a copy that is what it should be lets its take go.
bool checkSavedCopy(const std::string& target, const std::vector<std::uint8_t>& header, std::uint64_t bytes,
                    std::string& error) {
    struct stat st {};
    const int fd = openTakeFile(target, st);
    if (fd < 0) {
        error = "Cannot read back " + target + ": " + std::strerror(errno);
        return false;
    }
    std::vector<std::uint8_t> back(header.size());
    const bool same = readAllAt(fd, back.data(), back.size(), 0) && back == header &&
                      static_cast<std::uint64_t>(st.st_size) == bytes;
    ::close(fd);
    if (!same) error = "The saved copy " + target + " did not read back as written; the take is kept.";
    return same;
}

}  // namespace

bool saveUnsavedTake(const UnsavedTake& take, const std::string& target, std::string& error,
                     const TakeCopyProgress& progress) {
    if (!take.readable || take.dataLength > largestTake(take.format.blockAlign)) {
        error = take.path + " is not a take Voltina can read";
        return false;
    }
    struct stat st {};
    const int in = openTakeFile(take.path, st);
    if (in < 0) {
        error = "Cannot read " + take.path + ": " + std::strerror(errno);
        return false;
    }
    AtomicFile file;
    bool ok = file.open(target, error);
    const std::vector<std::uint8_t> header = waveHeader(take.format, take.dataLength);
    ok = ok && file.write(header.data(), header.size(), error);
    std::vector<std::uint8_t> block(kCopyBlock);
    std::uint64_t done = 0;
    while (ok && done < take.dataLength) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(kCopyBlock, take.dataLength - done));
        if (!readAllAt(in, block.data(), n, static_cast<off_t>(kWaveHeaderBytes + done))) {
            error = "Cannot read " + take.path + ": it ends before its header says";
            ok = false;
            break;
        }
        ok = file.write(block.data(), n, error);
        done += n;
        if (ok && progress && !progress(done, take.dataLength)) {
            error = "The copy was stopped; the take is kept.";
            ok = false;
        }
    }
    ::close(in);
    // An odd data chunk is followed by a pad byte that the RIFF size counts.
    const std::uint64_t pad = take.dataLength & 1u;
    if (ok && pad != 0) ok = file.write("", 1, error);
    return ok && file.commit(error) &&
           checkSavedCopy(target, header, kWaveHeaderBytes + take.dataLength + pad, error);
}

TakeSpool::~TakeSpool() {
    std::string ignored;
    finish(ignored);
    release();
}

bool TakeSpool::begin(const std::string& folder, const WaveFormat& format, std::string& error) {
    std::string ignored;
    finish(ignored);
    release();
    if (folder.empty()) {
        error = "Neither XDG_DATA_HOME nor HOME is set";
        return false;
    }
    if (!makeFolders(folder, error)) return false;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = folder + "/take-" + stamp + "-" + std::to_string(::getpid());
    int fd = -1;
    std::string path;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        path = base + (attempt ? "-" + std::to_string(attempt) : std::string()) + ".wav";
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = "Cannot create a file in " + folder + ": " + std::strerror(errno);
        return false;
    }
    ::flock(fd, LOCK_EX | LOCK_NB);
    const std::vector<std::uint8_t> header = waveHeader(format, 0);
    int e = 0;
    // Written, not yet flushed: the writer thread flushes it, the sound must not wait for the disk.
    if (!writeFully(fd, header.data(), header.size(), e)) {
        error = "Cannot write " + path + ": " + std::strerror(e);
        ::close(fd);
        ::unlink(path.c_str());
        return false;
    }
    fd_ = fd;
    path_ = path;
    format_ = format;
    buffer_.assign(kBufferBytes, 0);
    head_.store(0, std::memory_order_relaxed);
    tail_.store(0, std::memory_order_relaxed);
    written_ = 0;
    durable_.store(0, std::memory_order_relaxed);
    failed_.store(false, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(failureMutex_);
        failure_.clear();
    }
    stop_ = false;
    writer_ = std::thread([this] { writerLoop(); });
    return true;
}

bool TakeSpool::push(const std::uint8_t* frames, std::size_t bytes) {
    if (!writing() || failed()) return false;
    const std::uint64_t head = head_.load(std::memory_order_relaxed);
    const std::uint64_t tail = tail_.load(std::memory_order_acquire);
    if (kBufferBytes - (head - tail) < bytes) return false;
    const std::size_t at = static_cast<std::size_t>(head % kBufferBytes);
    const std::size_t first = std::min(bytes, kBufferBytes - at);
    std::memcpy(buffer_.data() + at, frames, first);
    std::memcpy(buffer_.data(), frames + first, bytes - first);
    head_.store(head + bytes, std::memory_order_release);
    return true;
}

bool TakeSpool::finish(std::string& error) {
    if (!writing()) return true;
    {
        std::lock_guard<std::mutex> lock(wakeMutex_);
        stop_ = true;
    }
    wake_.notify_one();
    writer_.join();
    if (failed()) {
        error = failure();
        return false;
    }
    return true;
}

void TakeSpool::release() {
    if (writing()) return;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    std::vector<std::uint8_t>().swap(buffer_);
}

std::string TakeSpool::failure() const {
    std::lock_guard<std::mutex> lock(failureMutex_);
    return failure_;
}

void TakeSpool::fail(const std::string& what, int errorNumber) {
    if (failed()) return;
    {
        std::lock_guard<std::mutex> lock(failureMutex_);
        failure_ = what + " " + path_ + ": " + std::strerror(errorNumber);
    }
    failed_.store(true, std::memory_order_release);
}

void TakeSpool::writerLoop() {
    // The file's name goes to disk too, not only its bytes.
    flushHeader(false);
    syncFolderOf(path_);
    auto lastSync = std::chrono::steady_clock::now();
    for (;;) {
        bool stopping = false;
        {
            std::unique_lock<std::mutex> lock(wakeMutex_);
            wake_.wait_for(lock, kWriterNap, [this] { return stop_; });
            stopping = stop_;
        }
        writeQueued();
        if (stopping) {
            flushHeader(true);
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastSync >= kSyncSpacing) {
            flushHeader(false);
            lastSync = now;
        }
    }
}

void TakeSpool::writeQueued() {
    const std::uint64_t head = head_.load(std::memory_order_acquire);
    std::uint64_t tail = tail_.load(std::memory_order_relaxed);
    while (tail != head) {
        const std::size_t at = static_cast<std::size_t>(tail % kBufferBytes);
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(head - tail, kBufferBytes - at));
        n = std::min(n, kCopyBlock);
        if (!failed()) {
            const std::uint8_t* data = buffer_.data() + at;
            std::size_t length = n;
            if (format_.channels == 1) {
                // The left byte of each frame (frames never straddle the ring's end: both sizes are even).
                leftBytesOfFrames(data, n, scratch_);
                data = scratch_.data();
                length = n / 2;
            }
            const off_t end = static_cast<off_t>(kWaveHeaderBytes + written_);
            int e = 0;
            if (writeFully(fd_, data, length, e)) {
                written_ += length;
            } else {
                // What was written stays: the file is cut back to whole frames and the header counts them.
                struct stat st {};
                if (::fstat(fd_, &st) == 0 && st.st_size > end) {
                    const std::uint64_t extra = static_cast<std::uint64_t>(st.st_size - end);
                    written_ += extra - extra % format_.blockAlign;
                }
                if (::ftruncate(fd_, static_cast<off_t>(kWaveHeaderBytes + written_)) == 0)
                    ::lseek(fd_, 0, SEEK_END);
                fail("Cannot write", e);
                flushHeader(false);
            }
        }
        tail += n;
        tail_.store(tail, std::memory_order_release);
    }
}

bool TakeSpool::flushHeader(bool final) {
    const std::uint32_t length =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(written_, kMaxWaveDataBytes));
    std::vector<std::uint8_t> header = waveHeader(format_, length);
    bool ok = true;
    if (final && (length & 1u) != 0) {
        const std::uint8_t pad = 0;
        ok = ::pwrite(fd_, &pad, 1, static_cast<off_t>(kWaveHeaderBytes + length)) == 1;
    }
    ok = ok && ::pwrite(fd_, header.data(), header.size(), 0) == static_cast<ssize_t>(header.size());
    ok = ok && ::fdatasync(fd_) == 0;
    if (!ok) {
        fail("Cannot write", errno);
        return false;
    }
    durable_.store(length, std::memory_order_release);
    return true;
}

}  // namespace voltina
