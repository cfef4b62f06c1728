#pragma once
// A real file system that fills up: a tmpfs of a given size mounted on a private folder (the tests run as
// root), unmounted and removed when the test ends.

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace voltina::test {

class SmallDisk {
  public:
    explicit SmallDisk(std::size_t bytes) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/voltina-small-disk-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) == nullptr) {
            error_ = std::string("mkdtemp: ") + std::strerror(errno);
            return;
        }
        path_ = name.data();
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
        if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            error_ = "mount tmpfs on " + path_ + ": " + std::strerror(errno);
            return;
        }
        mounted_ = true;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
        if (!path_.empty()) ::rmdir(path_.c_str());
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool ok() const { return mounted_; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string error_;
    bool mounted_ = false;
};

}  // namespace voltina::test
