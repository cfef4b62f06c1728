#pragma once
// OSC messages over UDP to and from one peer (a session manager), with liblo as the codec. The socket is
// bound to the loopback address when the peer is on this machine, so nothing from the network reaches
// it; datagrams from any other address than the peer's are dropped, as are those that are not OSC.
// Plain C++, no Qt; one thread at a time.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct sockaddr_storage;

namespace voltina {

struct OscArgument {
    char type = 's';  // 's' string, 'i' 32-bit integer, 'f' float; anything else is kept as its tag only
    std::string text;
    std::int32_t integer = 0;
    float real = 0.0f;

    static OscArgument string(std::string s) {
        OscArgument a;
        a.text = std::move(s);
        return a;
    }
    static OscArgument int32(std::int32_t i) {
        OscArgument a;
        a.type = 'i';
        a.integer = i;
        return a;
    }
};

struct OscMessage {
    std::string path;
    std::vector<OscArgument> arguments;
    // The type tags, "sss" for three strings.
    std::string types() const;
};

// The message as OSC bytes, and back; false (with a reason) for bytes that are not one OSC message.
std::vector<std::uint8_t> encodeOsc(const OscMessage& message);
bool decodeOsc(const std::uint8_t* data, std::size_t size, OscMessage& out, std::string& error);

class OscLink {
  public:
    OscLink() = default;
    ~OscLink();
    OscLink(const OscLink&) = delete;
    OscLink& operator=(const OscLink&) = delete;

    // `url` is osc.udp://HOST:PORT/. False with a sentence in `error` when it is not one or no socket
    // can be made.
    bool open(const std::string& url, std::string& error);
    // For poll() and socket notifiers: readable when a datagram is waiting.
    int socketFd() const { return fd_; }
    bool send(const OscMessage& message);
    // Every datagram waiting, without blocking. What is dropped is said through `dropped`.
    std::vector<OscMessage> receive(const std::function<void(const std::string&)>& dropped = {});
    // Waits up to `milliseconds` for a datagram (or for `alsoFd`, when not negative, to be readable).
    void wait(int milliseconds, int alsoFd = -1) const;

  private:
    int fd_ = -1;
    std::vector<std::uint8_t> peer_;  // the peer's sockaddr
};

}  // namespace voltina
