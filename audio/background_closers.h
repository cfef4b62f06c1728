#pragma once
// Closes streams away from the GUI thread. A sound server frozen by a signal, or one that has just died,
// can hold a close for as long as it likes; the GUI thread must never wait for it. Each close runs on a
// short-lived thread of its own, and the owner reaps the finished ones when it opens the next stream.
// GUI thread only (the closes themselves run on their own threads).

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace voltina {

class BackgroundClosers {
  public:
    BackgroundClosers() = default;
    BackgroundClosers(const BackgroundClosers&) = delete;
    BackgroundClosers& operator=(const BackgroundClosers&) = delete;
    ~BackgroundClosers() { reap(true); }

    // Runs `close` on a thread of its own; when no thread can be had, here, accepting the wait.
    void run(std::function<void()> close);
    // Joins the closes that have finished. With `waitForAll`, waits up to 3 s for the others, then lets
    // them go on by themselves until the process ends (a server frozen for good).
    void reap(bool waitForAll);

  private:
    struct Closer {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Closer> closers_;
};

}  // namespace voltina
