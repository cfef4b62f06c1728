#include "jack_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    const std::string wait = "JACK_DEFAULT_SERVER='" + name_ + "' jack_wait -w -t 10 >/dev/null 2>&1";
    return std::system(wait.c_str()) == 0;
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
    running_ = false;
    terminate(SIGTERM);
}

void JackServer::crash() {
    running_ = false;
    terminate(SIGKILL);
    if (start()) terminate(SIGTERM);
    removeLeftovers();
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

// The semaphores of the clients that were connected when the server was killed.
void JackServer::removeLeftovers() const {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
        const std::string file = entry.path().filename().string();
        if (file.find("_" + name_ + "_") != std::string::npos) std::filesystem::remove(entry.path(), error);
    }
}

}  // namespace voltina::test
