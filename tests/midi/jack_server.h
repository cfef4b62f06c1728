#pragma once
// A JACK server of the test's own: the dummy driver (no sound card), a name nobody else uses, started
// and stopped by the test. JACK clients of this process reach it through JACK_DEFAULT_SERVER.

#include <sys/types.h>

#include <string>

namespace voltina::test {

class JackServer {
  public:
    // Starts `jackd --no-realtime -d dummy -r 44100 -p 256` and waits up to 10 s for it to answer (three
    // times, when it gives up at once).
    explicit JackServer(const std::string& name);
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    bool running() const { return running_; }
    const std::string& name() const { return name_; }
    // The server's output so far, for failure messages.
    std::string log() const;
    // Stops the server with SIGTERM, waits for it and removes what its clients left in /dev/shm. After
    // kill(), also gives the killed server's registry entry back (see crash()).
    void stop();
    // Kills the server outright, as a crash would. A killed server leaves its entry in JACK's server
    // registry (which holds 8) and files in /dev/shm; a server of the same name is started and stopped
    // again to reclaim them, without the clients that were connected.
    void crash();
    // Kills the server outright and leaves everything as the crash left it, until restart() or stop().
    void kill();
    // Starts a server of the same name again, as a user does after a crash; false when it does not answer.
    bool restart();

    // Makes this process's JACK clients use the server (sets JACK_DEFAULT_SERVER).
    void select() const;

    // Runs a JACK command-line tool ("jack_lsp -p") against this server and returns what it printed.
    std::string run(const std::string& command) const;

  private:
    bool start();
    bool launch();
    bool answers();
    void terminate(int signal);
    void removeLeftovers() const;

    std::string name_;
    std::string logPath_;
    pid_t pid_ = -1;
    bool running_ = false;
    bool killed_ = false;
};

// A server name of this test program's own, `prefix` and a hash of the program's path: test programs of
// other build folders (and a desktop's own server) never meet it, and a run that was killed leaves a
// registry entry that the next run of the same program reclaims by name.
std::string serverNameOfThisProgram(const std::string& prefix);

}  // namespace voltina::test
