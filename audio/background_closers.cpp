#include "audio/background_closers.h"

#include <chrono>

namespace voltina {

void BackgroundClosers::run(std::function<void()> close) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        closers_.push_back(Closer{std::thread([close, done] {
                                      close();
                                      done->store(true, std::memory_order_release);
                                  }),
                                  done});
    } catch (...) {
        close();
    }
}

void BackgroundClosers::reap(bool waitForAll) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (auto it = closers_.begin(); it != closers_.end();) {
        if (waitForAll) {
            while (!it->done->load(std::memory_order_acquire) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (it->done->load(std::memory_order_acquire)) {
            it->thread.join();
            it = closers_.erase(it);
        } else if (waitForAll) {
            it->thread.detach();
            it = closers_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace voltina
