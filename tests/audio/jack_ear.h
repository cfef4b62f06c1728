#pragma once
// A JACK client of the tests with two input ports that keeps what it hears: the ear at the other end of
// Voltina's output ports. It can also hold the graph up once, to make the server report an xrun.

#include <jack/jack.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace voltina::test {

class JackEar {
  public:
    explicit JackEar(std::size_t capacity) : left_(capacity), right_(capacity) {}
    ~JackEar();
    JackEar(const JackEar&) = delete;
    JackEar& operator=(const JackEar&) = delete;

    bool open();
    // Connects the output ports of the client whose name starts with `prefix` (the first two); returns how
    // many were connected.
    int connectFrom(const std::string& prefix);
    // Starts keeping frames, from the first slot again.
    void listen();
    std::size_t heard() const { return written_.load(std::memory_order_acquire); }
    float left(std::size_t i) const { return left_[i]; }
    float right(std::size_t i) const { return right_[i]; }
    float sample(std::size_t i) const { return left_[i] + right_[i]; }
    int rate() const { return static_cast<int>(jack_get_sample_rate(client_)); }
    jack_client_t* client() const { return client_; }
    // The next process call sleeps this long: a client that late makes the server report an xrun.
    void holdUpOnce(int ms) { holdUpMs_.store(ms); }

  private:
    static int process(jack_nframes_t frames, void* self);
    jack_client_t* client_ = nullptr;
    jack_port_t* in_[2] = {};
    std::vector<float> left_, right_;
    std::atomic<bool> listening_{false};
    std::atomic<std::size_t> written_{0};
    std::atomic<int> holdUpMs_{0};
};

}  // namespace voltina::test
