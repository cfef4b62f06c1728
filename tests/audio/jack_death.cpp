#include "jack_death.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace voltina::test {

StderrCapture::StderrCapture() {
    char path[] = "/tmp/voltina-stderr.XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return;
    path_ = path;
    std::fflush(stderr);
    saved_ = ::dup(2);
    if (saved_ < 0 || ::dup2(fd, 2) < 0) {
        if (saved_ >= 0) ::close(saved_);
        saved_ = -1;
    }
    ::close(fd);
}

StderrCapture::~StderrCapture() {
    text();
    if (!path_.empty()) std::remove(path_.c_str());
}

std::string StderrCapture::text() {
    if (saved_ >= 0) {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
    }
    std::ifstream in(path_);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

namespace {
pid_t serverPid() {
    const char* pid = std::getenv("VOLTINA_TEST_JACK_PID");
    return pid ? static_cast<pid_t>(std::atol(pid)) : 0;
}
}  // namespace

bool jackServerGiven() {
    return serverPid() > 0 && std::getenv("JACK_DEFAULT_SERVER") != nullptr;
}

bool endJackServer(int signal) {
    const pid_t pid = serverPid();
    if (pid <= 0 || ::kill(pid, signal) != 0) return false;
    // Not our child: with_jack_dummy.sh reaps it, so wait for the process to be gone.
    for (int i = 0; i < 1000; ++i) {
        if (::kill(pid, 0) != 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void reclaimJackServer() {
    const std::string name = std::getenv("JACK_DEFAULT_SERVER");
    const std::string line =
        "jackd --no-realtime -d dummy -r 44100 -p 256 </dev/null >/dev/null 2>&1 & p=$!; "
        "jack_wait -w -t 10 >/dev/null 2>&1; kill -TERM $p; wait $p";
    if (std::system(("JACK_DEFAULT_SERVER='" + name + "' bash -c '" + line + "'").c_str()) != 0) {
        // The server is gone in any case; only its slot may stay taken.
    }
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
        const std::string file = entry.path().filename().string();
        if (file.find("_" + name + "_") != std::string::npos) std::filesystem::remove(entry.path(), error);
    }
}

}  // namespace voltina::test
