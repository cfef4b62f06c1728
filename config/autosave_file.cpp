#include "config/autosave_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "config/json_value.h"
#include "media/atomic_file.h"
#include "media/file_bytes.h"

namespace voltina {

namespace {

constexpr const char* kPrefix = "panel-";
constexpr const char* kSuffix = ".json";

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// panel-NAME.json -> panel-NAME.lock
std::string lockPathOf(const std::string& path) {
    return path.substr(0, path.size() - std::strlen(kSuffix)) + ".lock";
}

// True when a running program holds the lock. A lock file that is gone or cannot be opened holds nothing.
bool heldByAProgram(const std::string& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = fileLockOf(fd) == FileLock::HeldByAProgram;
    ::close(fd);
    return held;
}

// Reads a regular file without ever waiting on it (a FIFO dropped in the folder is refused).
bool readAutosaveBytes(const std::string& path, std::string& text, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = "not a regular file";
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxAutosaveBytes) {
        ::close(fd);
        error = "larger than an autosave can be";
        return false;
    }
    text.assign(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::read(fd, &text[done], text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(done);
    return true;
}

}  // namespace

std::string serializeAutosave(const Autosave& a) {
    std::string text = "{\n  \"voltina-autosave\": " + std::to_string(kAutosaveVersion) + ",\n";
    text += "  \"time\": " + std::to_string(a.time) + ",\n";
    text += "  \"origin\": " + jsonQuote(a.origin) + ",\n";
    text += std::string("  \"modified\": ") + (a.modified ? "true" : "false") + ",\n";
    text += "  \"configuration\": " + serializeConfiguration(a.configuration) + "}\n";
    return text;
}

bool parseAutosave(const std::string& text, Autosave& out, std::string& error) {
    JsonValue root;
    std::string problem;
    if (!parseJson(text, root, problem)) {
        error = problem;
        return false;
    }
    if (!root.isObject()) {
        error = "not a JSON object";
        return false;
    }
    const JsonValue* version = root.find("voltina-autosave");
    if (!version || !version->isNumber()) {
        error = "not a Voltina autosave (no \"voltina-autosave\" version)";
        return false;
    }
    if (version->number != kAutosaveVersion) {
        error = "autosave version " + version->numberText + " is not one this Voltina reads";
        return false;
    }
    for (const auto& member : root.members) {
        const std::string& key = member.first;
        if (key != "voltina-autosave" && key != "time" && key != "origin" && key != "modified" &&
            key != "configuration") {
            error = "unknown field " + jsonQuote(key);
            return false;
        }
    }
    Autosave a;
    const JsonValue* time = root.find("time");
    // Whole seconds a 64-bit count holds exactly; a double reaches that far without a gap below 2^53.
    if (!time || !time->isNumber() || time->number < 0 || time->number > 9007199254740991.0 ||
        std::floor(time->number) != time->number) {
        error = "\"time\" must be a whole number of seconds";
        return false;
    }
    a.time = static_cast<std::int64_t>(time->number);
    const JsonValue* origin = root.find("origin");
    if (!origin || !origin->isString()) {
        error = "\"origin\" must be a file name (\"\" for none)";
        return false;
    }
    a.origin = origin->string;
    const JsonValue* modified = root.find("modified");
    if (!modified || !modified->isBoolean()) {
        error = "\"modified\" must be true or false";
        return false;
    }
    a.modified = modified->boolean;
    const JsonValue* configuration = root.find("configuration");
    if (!configuration) {
        error = "no \"configuration\"";
        return false;
    }
    if (!parseConfigurationValue(*configuration, a.configuration, problem)) {
        error = "configuration: " + problem;
        return false;
    }
    out = std::move(a);
    return true;
}

std::vector<FoundAutosave> findAutosaves(const std::string& folder) {
    std::vector<FoundAutosave> found;
    if (folder.empty()) return found;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return found;
    std::vector<std::string> paths;
    std::vector<std::string> locks;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, std::strlen(kPrefix), kPrefix) == 0 && endsWith(name, ".lock"))
            locks.push_back(folder + "/" + name);
        if (name.compare(0, std::strlen(kPrefix), kPrefix) != 0 || !endsWith(name, kSuffix) ||
            name.find(".damaged-") != std::string::npos)
            continue;
        paths.push_back(folder + "/" + name);
    }
    ::closedir(dir);
    // The lock of a program that ended before its first autosave: nothing to offer, nothing to keep.
    for (const std::string& lock : locks) {
        const std::string json = lock.substr(0, lock.size() - 5) + kSuffix;
        struct stat st {};
        if (::lstat(json.c_str(), &st) != 0 && errno == ENOENT && !heldByAProgram(lock))
            ::unlink(lock.c_str());
    }
    for (const std::string& path : paths) {
        if (heldByAProgram(lockPathOf(path))) continue;
        FoundAutosave f;
        f.path = path;
        std::string text;
        std::string error;
        if (!readAutosaveBytes(path, text, error) || !parseAutosave(text, f.autosave, error))
            f.problem = error;
        found.push_back(std::move(f));
    }
    std::sort(found.begin(), found.end(), [](const FoundAutosave& a, const FoundAutosave& b) {
        return a.autosave.time != b.autosave.time ? a.autosave.time > b.autosave.time : a.path < b.path;
    });
    return found;
}

std::string setAutosaveAside(const std::string& path) {
    if (!endsWith(path, kSuffix)) return std::string();
    const std::string stem = path.substr(0, path.size() - std::strlen(kSuffix));
    const std::string stamp = std::to_string(static_cast<long long>(std::time(nullptr)));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string aside =
            stem + ".damaged-" + stamp + (attempt ? "-" + std::to_string(attempt) : std::string()) + kSuffix;
        // link() never replaces: an earlier damaged file under the same name is kept.
        if (::link(path.c_str(), aside.c_str()) == 0) {
            ::unlink(path.c_str());
            ::unlink(lockPathOf(path).c_str());
            syncFolderOf(aside);
            return aside;
        }
        if (errno != EEXIST) break;
    }
    // A file system without hard links: a rename over nothing, checked first.
    const std::string aside = stem + ".damaged-" + stamp + "-moved" + kSuffix;
    struct stat st {};
    if (::lstat(aside.c_str(), &st) != 0 && ::rename(path.c_str(), aside.c_str()) == 0) {
        ::unlink(lockPathOf(path).c_str());
        return aside;
    }
    return std::string();
}

void discardAutosave(const std::string& path) {
    if (!endsWith(path, kSuffix)) return;
    ::unlink(path.c_str());
    ::unlink(lockPathOf(path).c_str());
}

AutosaveSlot::~AutosaveSlot() {
    // Not a normal end (release() was not called): the autosave stays for the next start.
    if (lockFd_ >= 0) ::close(lockFd_);
}

bool AutosaveSlot::claim(const std::string& folder, std::string& error) {
    if (folder.empty()) {
        error = "There is no folder for the autosave (neither XDG_DATA_HOME nor HOME is set).";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        error = "Cannot make the folder " + folder + ": " + ec.message();
        return false;
    }
    const std::string base = folder + "/" + kPrefix + std::to_string(::getpid()) + "-" +
                             std::to_string(static_cast<long long>(std::time(nullptr)));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string stem = base + (attempt ? "-" + std::to_string(attempt) : std::string());
        const std::string lockPath = stem + ".lock";
        const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            error = "Cannot create a file in " + folder + ": " + std::strerror(errno);
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            ::unlink(lockPath.c_str());
            continue;
        }
        lockFd_ = fd;
        lockPath_ = lockPath;
        path_ = stem + kSuffix;
        return true;
    }
    error = "Cannot find a free autosave name in " + folder;
    return false;
}

void AutosaveSlot::release() {
    if (lockFd_ < 0) return;
    ::unlink(path_.c_str());
    ::unlink(lockPath_.c_str());
    ::close(lockFd_);
    lockFd_ = -1;
}

}  // namespace voltina
