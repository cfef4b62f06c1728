#pragma once
// What the tests of a JACK server dying mid-stream share: the server of tests/support/with_jack_dummy.sh
// stopped or killed from inside the test, and the process's stderr kept aside meanwhile.

#include <string>

namespace voltina::test {

// Everything written on file descriptor 2 (std::cerr and C stdio alike) while it lives goes to a file
// instead of the terminal; text() stops the capture and returns what was written.
class StderrCapture {
  public:
    StderrCapture();
    ~StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    bool capturing() const { return saved_ >= 0; }
    std::string text();

  private:
    int saved_ = -1;
    std::string path_;
};

// The server that with_jack_dummy.sh started: false when the test was not run through it.
bool jackServerGiven();

// Sends `signal` to the server and waits up to 10 s for it to be gone.
bool endJackServer(int signal);

// After a SIGKILL: a server of the same name is started and stopped again so that it gives its slot of
// JACK's registry back, and the semaphores left in /dev/shm are removed. Also removes what a server
// stopped under a connected client leaves there.
void reclaimJackServer();

}  // namespace voltina::test
