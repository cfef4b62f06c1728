#include "nsm/osc_link.h"

#include <arpa/inet.h>
#include <lo/lo.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace voltina {

namespace {

struct FreeC {
    void operator()(void* p) const { std::free(p); }
};
using CText = std::unique_ptr<char, FreeC>;

bool isLoopback(const sockaddr* a) {
    if (a->sa_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
    if (a->sa_family == AF_INET6) {
        const in6_addr& six = reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr;
        return IN6_IS_ADDR_LOOPBACK(&six);
    }
    return false;
}

// Same family, address and port: the only sender whose messages count.
bool sameAddress(const sockaddr* a, const std::vector<std::uint8_t>& peerBytes) {
    const auto* b = reinterpret_cast<const sockaddr*>(peerBytes.data());
    if (a->sa_family != b->sa_family) return false;
    if (a->sa_family == AF_INET) {
        const auto* x = reinterpret_cast<const sockaddr_in*>(a);
        const auto* y = reinterpret_cast<const sockaddr_in*>(b);
        return x->sin_port == y->sin_port && x->sin_addr.s_addr == y->sin_addr.s_addr;
    }
    if (a->sa_family == AF_INET6) {
        const auto* x = reinterpret_cast<const sockaddr_in6*>(a);
        const auto* y = reinterpret_cast<const sockaddr_in6*>(b);
        return x->sin6_port == y->sin6_port &&
               std::memcmp(&x->sin6_addr, &y->sin6_addr, sizeof x->sin6_addr) == 0;
    }
    return false;
}

}  // namespace

std::string OscMessage::types() const {
    std::string t;
    for (const OscArgument& a : arguments) t += a.type;
    return t;
}

std::vector<std::uint8_t> encodeOsc(const OscMessage& message) {
    lo_message m = lo_message_new();
    for (const OscArgument& a : message.arguments) {
        if (a.type == 's') lo_message_add_string(m, a.text.c_str());
        if (a.type == 'i') lo_message_add_int32(m, a.integer);
        if (a.type == 'f') lo_message_add_float(m, a.real);
    }
    std::size_t size = 0;
    void* bytes = lo_message_serialise(m, message.path.c_str(), nullptr, &size);
    std::vector<std::uint8_t> out;
    if (bytes) out.assign(static_cast<std::uint8_t*>(bytes), static_cast<std::uint8_t*>(bytes) + size);
    std::free(bytes);
    lo_message_free(m);
    return out;
}

bool decodeOsc(const std::uint8_t* data, std::size_t size, OscMessage& out, std::string& error) {
    if (size < 8 || size % 4 != 0) {
        error = "not an OSC message (" + std::to_string(size) + " bytes)";
        return false;
    }
    if (data[0] != '/') {
        error = data[0] == '#' ? "an OSC bundle, which a session manager does not send"
                               : "not an OSC message (no address)";
        return false;
    }
    const void* end = std::memchr(data, '\0', size);
    if (end == nullptr) {
        error = "not an OSC message (the address has no end)";
        return false;
    }
    // liblo checks every padding, tag and length; it wants a buffer it may read as its own.
    std::vector<std::uint8_t> copy(data, data + size);
    int result = 0;
    lo_message m = lo_message_deserialise(copy.data(), copy.size(), &result);
    if (m == nullptr) {
        error = "not a well-formed OSC message (liblo error " + std::to_string(result) + ")";
        return false;
    }
    OscMessage message;
    message.path.assign(reinterpret_cast<const char*>(data), static_cast<const std::uint8_t*>(end) - data);
    const char* types = lo_message_get_types(m);
    lo_arg** argv = lo_message_get_argv(m);
    const int argc = lo_message_get_argc(m);
    for (int i = 0; i < argc; ++i) {
        OscArgument a;
        a.type = types[i];
        // liblo's arguments sit at 4-byte offsets of the message, not where an lo_arg may be read as
        // one: they are copied out as bytes.
        const auto* raw = reinterpret_cast<const char*>(argv[i]);
        if (a.type == 's' || a.type == 'S') {
            a.type = 's';
            a.text = raw;
        } else if (a.type == 'i') {
            std::memcpy(&a.integer, raw, sizeof a.integer);
        } else if (a.type == 'f') {
            std::memcpy(&a.real, raw, sizeof a.real);
        }
        message.arguments.push_back(std::move(a));
    }
    lo_message_free(m);
    out = std::move(message);
    return true;
}

OscLink::~OscLink() {
    if (fd_ >= 0) ::close(fd_);
}

bool OscLink::open(const std::string& url, std::string& error) {
    if (lo_url_get_protocol_id(url.c_str()) != LO_UDP) {
        error = "\"" + url + "\" is not an OSC address over UDP (osc.udp://HOST:PORT/)";
        return false;
    }
    const CText host(lo_url_get_hostname(url.c_str()));
    const CText port(lo_url_get_port(url.c_str()));
    if (!host || !port || !*host || !*port) {
        error = "\"" + url + "\" names no host and port";
        return false;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int e = ::getaddrinfo(host.get(), port.get(), &hints, &found);
    if (e != 0 || found == nullptr) {
        error = "cannot find the session manager at \"" + url + "\": " + ::gai_strerror(e);
        return false;
    }
    const std::unique_ptr<addrinfo, void (*)(addrinfo*)> hold(found, ::freeaddrinfo);
    // IPv4 first: session managers listen there, and "localhost" may name ::1 before 127.0.0.1.
    for (addrinfo* a = found; a; a = a->ai_next)
        if (a->ai_family == AF_INET) {
            found = a;
            break;
        }
    const int fd = ::socket(found->ai_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot make a socket: ") + std::strerror(errno);
        return false;
    }
    if (isLoopback(found->ai_addr)) {
        // Bound to loopback, on a port the system picks: only this machine can reach it.
        sockaddr_storage local{};
        std::memcpy(&local, found->ai_addr, found->ai_addrlen);
        if (local.ss_family == AF_INET)
            reinterpret_cast<sockaddr_in*>(&local)->sin_port = 0;
        else
            reinterpret_cast<sockaddr_in6*>(&local)->sin6_port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&local), found->ai_addrlen) != 0) {
            error = std::string("cannot bind a socket to the loopback address: ") + std::strerror(errno);
            ::close(fd);
            return false;
        }
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(found->ai_addr);
    peer_.assign(bytes, bytes + found->ai_addrlen);
    fd_ = fd;
    return true;
}

bool OscLink::send(const OscMessage& message) {
    if (fd_ < 0) return false;
    const std::vector<std::uint8_t> bytes = encodeOsc(message);
    if (bytes.empty()) return false;
    const ssize_t n =
        ::sendto(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(peer_.data()), static_cast<socklen_t>(peer_.size()));
    return n == static_cast<ssize_t>(bytes.size());
}

std::vector<OscMessage> OscLink::receive(const std::function<void(const std::string&)>& dropped) {
    std::vector<OscMessage> messages;
    if (fd_ < 0) return messages;
    std::vector<std::uint8_t> buffer(65536);
    for (;;) {
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;  // nothing more waiting (or an error a later datagram will meet again)
        }
        if (!sameAddress(reinterpret_cast<const sockaddr*>(&from), peer_)) {
            if (dropped) dropped("an OSC datagram from another address than the session manager's");
            continue;
        }
        if (static_cast<std::size_t>(n) > buffer.size()) {
            if (dropped) dropped("an OSC datagram of " + std::to_string(n) + " bytes, too large");
            continue;
        }
        OscMessage message;
        std::string error;
        if (!decodeOsc(buffer.data(), static_cast<std::size_t>(n), message, error)) {
            if (dropped) dropped(error);
            continue;
        }
        messages.push_back(std::move(message));
    }
    return messages;
}

void OscLink::wait(int milliseconds, int alsoFd) const {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {alsoFd, POLLIN, 0}};
    ::poll(fds, alsoFd >= 0 ? 2 : 1, milliseconds);
}

}  // namespace voltina
