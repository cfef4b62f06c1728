#include "jack_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/run_command.h"

extern char** environ;

namespace voltina::test {

JackServer::JackServer(const std::string& name) : name_(name), logPath_("/tmp/" + name + ".log") {
    running_ = start();
}

bool JackServer::start() {
    // A server of the same name that is still going down (the one of a test program that crashed) makes
    // jackd give up at once, as a full registry does: try again a little later.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (launch() && answers()) return true;
        terminate(SIGKILL);
        std::this_thread::sleep_for(std::chrono::seconds(2 * attempt));
    }
    return false;
}

// Waits up to 10 s for the server to answer, and no longer than it lives.
bool JackServer::answers() {
    const std::string wait = "JACK_DEFAULT_SERVER='" + name_ + "' jack_wait -w -t 1 >/dev/null 2>&1";
    for (int second = 0; second < 10; ++second) {
        if (std::system(wait.c_str()) == 0) return true;
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
    }
    return false;
}

bool JackServer::launch() {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("JACK_DEFAULT_SERVER=", 0) != 0) env.emplace_back(*e);
    }
    env.push_back("JACK_DEFAULT_SERVER=" + name_);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::vector<std::string> args = {"jackd", "--no-realtime", "-d", "dummy", "-r", "44100", "-p", "256"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    // fork and exec rather than posix_spawn: the server must die with this program, even when the
    // program is killed (a test timeout), or it would hold a slot of JACK's registry for good.
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0) ::_exit(127);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execvpe("jackd", argv.data(), envp.data());
        ::_exit(127);
    }
    if (pid_ < 0) {
        pid_ = -1;
        return false;
    }
    return true;
}

JackServer::~JackServer() {
    stop();
}

void JackServer::select() const {
    ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
}

std::string JackServer::run(const std::string& command) const {
    const std::string line = "JACK_DEFAULT_SERVER='" + name_ + "' " + command + " 2>/dev/null";
    return runShell(line).output;
}

std::string JackServer::log() const {
    std::ifstream in(logPath_);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void JackServer::stop() {
    const bool wasRunning = pid_ > 0;
    running_ = false;
    terminate(SIGTERM);
    if (killed_ && !wasRunning && start()) terminate(SIGTERM);
    killed_ = false;
    removeLeftovers();
}

void JackServer::crash() {
    kill();
    stop();
}

void JackServer::kill() {
    running_ = false;
    killed_ = true;
    terminate(SIGKILL);
}

bool JackServer::restart() {
    if (pid_ <= 0) running_ = start();
    return running_;
}

void JackServer::terminate(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    // jackd takes a moment to close its clients; past 10 s it is stuck and is killed
    for (int i = 0; i < 1000; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

// The semaphores of the clients that were connected when the server was killed, or stopped under them.
void JackServer::removeLeftovers() const {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
        const std::string file = entry.path().filename().string();
        if (file.find("_" + name_ + "_") != std::string::npos) std::filesystem::remove(entry.path(), error);
    }
}

std::string serverNameOfThisProgram(const std::string& prefix) {
    std::error_code error;
    const std::string program = std::filesystem::canonical("/proc/self/exe", error).string();
    char hex[17];
    std::snprintf(hex, sizeof hex, "%08zx", std::hash<std::string>{}(program)&0xFFFFFFFFu);
    return prefix + hex;
}

}  // namespace voltina::test
