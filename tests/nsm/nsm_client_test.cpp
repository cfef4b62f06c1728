// The NSM client's side of the protocol, over a real loopback socket: what each server message makes of
// the client (a request, an error reply, a word in the log, nothing), and that bytes which are not an OSC
// message never reach the protocol.

#include "nsm/nsm_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace voltina {
namespace {

// A server socket on loopback the client talks to.
class LoopbackServer {
  public:
    LoopbackServer() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t length = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
    }
    ~LoopbackServer() { ::close(fd_); }
    std::string url() const { return "osc.udp://127.0.0.1:" + std::to_string(port_) + "/"; }
    // What the client sent, decoded; remembers where from, to answer.
    std::vector<OscMessage> sent() {
        std::vector<OscMessage> out;
        std::uint8_t buffer[4096];
        for (int tries = 0; tries < 20; ++tries) {
            socklen_t length = sizeof client_;
            const ssize_t n =
                ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&client_), &length);
            if (n < 0) {
                if (!out.empty()) break;
                ::usleep(5000);
                continue;
            }
            OscMessage m;
            std::string error;
            if (decodeOsc(buffer, static_cast<std::size_t>(n), m, error)) out.push_back(m);
        }
        return out;
    }
    // From the server's socket, or from another port of this machine.
    void sendRaw(const std::vector<std::uint8_t>& bytes, bool fromElsewhere = false) {
        const int fd = fromElsewhere ? ::socket(AF_INET, SOCK_DGRAM, 0) : fd_;
        ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&client_), sizeof client_);
        if (fromElsewhere) ::close(fd);
    }

  private:
    int fd_ = -1;
    int port_ = 0;
    sockaddr_in client_{};
};

OscMessage message(const std::string& path, std::vector<OscArgument> arguments = {}) {
    OscMessage m;
    m.path = path;
    m.arguments = std::move(arguments);
    return m;
}
OscArgument s(const std::string& text) {
    return OscArgument::string(text);
}
OscArgument i(int value) {
    return OscArgument::int32(value);
}

struct Seen {
    std::vector<std::string> events;
};

NsmRequests recorder(Seen& seen) {
    NsmRequests r;
    r.announced = [&](const std::string& caps) { seen.events.push_back("announced " + caps); };
    r.refused = [&](const std::string& why) { seen.events.push_back("refused " + why); };
    r.open = [&](const NsmOpen& o) {
        seen.events.push_back("open " + o.path + "|" + o.displayName + "|" + o.clientId);
    };
    r.save = [&] { seen.events.push_back("save"); };
    r.showGui = [&] { seen.events.push_back("show"); };
    r.hideGui = [&] { seen.events.push_back("hide"); };
    r.ignored = [&](const std::string& what) { seen.events.push_back("ignored: " + what); };
    return r;
}

TEST(NsmClient, AnnouncesThenTurnsEachServerMessageIntoItsRequestOrAReasonedRefusal) {
    LoopbackServer server;
    OscLink link;
    std::string error;
    ASSERT_TRUE(link.open(server.url(), error)) << error;
    Seen seen;
    NsmClient client(link, recorder(seen));
    client.announce("Voltina", ":dirty:optional-gui:", "voltina", 4242);
    const std::vector<OscMessage> announce = server.sent();
    ASSERT_EQ(announce.size(), 1u);
    EXPECT_EQ(announce[0].path, "/nsm/server/announce");
    EXPECT_EQ(announce[0].types(), "sssiii");
    EXPECT_EQ(announce[0].arguments[3].integer, 1);
    EXPECT_EQ(announce[0].arguments[4].integer, 2);
    EXPECT_EQ(announce[0].arguments[5].integer, 4242);

    struct Case {
        OscMessage in;
        std::string event;       // what the client made of it ("" for nothing)
        std::string replyTypes;  // the error reply it sent, if any
    };
    const Case cases[] = {
        {message("/reply", {s("/nsm/server/announce"), s("hi"), s("nsmd"), s(":optional-gui:")}),
         "announced :optional-gui:", ""},
        {message("/reply", {s("/nsm/server/announce"), s("hi")}), "ignored: ", ""},
        {message("/reply", {s("/nsm/server/list")}), "", ""},
        {message("/reply", {i(3)}), "ignored: ", ""},
        {message("/error", {s("/nsm/server/announce"), i(-2), s("incompatible API")}),
         "refused incompatible API", ""},
        {message("/error", {s("/nsm/server/announce")}), "ignored: ", ""},
        {message("/nsm/client/open", {s("/s/Voltina.nA"), s("song"), s("nA")}), "open /s/Voltina.nA|song|nA",
         ""},
        {message("/nsm/client/open", {s("relative"), s("song"), s("nA")}), "ignored: ", "sis"},
        {message("/nsm/client/open", {s("/s/x"), s("song"), s("")}), "ignored: ", "sis"},
        {message("/nsm/client/open", {s("/s/x"), s("song")}), "ignored: ", ""},
        {message("/nsm/client/open", {s("/s/x"), s("song"), i(7)}), "ignored: ", ""},
        {message("/nsm/client/save"), "save", ""},
        {message("/nsm/client/save", {s("now")}), "ignored: ", ""},
        {message("/nsm/client/show_optional_gui"), "show", ""},
        {message("/nsm/client/hide_optional_gui"), "hide", ""},
        {message("/nsm/client/session_is_loaded"), "", ""},
        {message("/nsm/client/quit"), "ignored: ", ""},
    };
    for (const Case& c : cases) {
        client.sayRepeats();  // each case on its own, not as a repeat of the one before
        seen.events.clear();
        client.handle(c.in);
        const std::string got = seen.events.empty() ? "" : seen.events[0];
        EXPECT_EQ(got.substr(0, c.event.size()), c.event) << c.in.path << " " << c.in.types();
        EXPECT_LE(seen.events.size(), 1u);
        if (!c.replyTypes.empty()) {
            const std::vector<OscMessage> replies = server.sent();
            ASSERT_EQ(replies.size(), 1u) << c.in.path;
            EXPECT_EQ(replies[0].path, "/error");
            EXPECT_EQ(replies[0].types(), c.replyTypes);
            EXPECT_EQ(replies[0].arguments[0].text, "/nsm/client/open");
        }
    }
    EXPECT_TRUE(client.serverHasOptionalGui());

    // State messages go out once per change.
    client.setDirty(true);
    client.setDirty(true);
    client.setDirty(false);
    client.setGuiShown(false);
    std::vector<std::string> paths;
    for (const OscMessage& m : server.sent()) paths.push_back(m.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"/nsm/client/is_dirty", "/nsm/client/is_clean",
                                               "/nsm/client/gui_is_hidden"}));

    // Over the socket: bytes that are not an OSC message are said and dropped, the next message works.
    const std::vector<std::vector<std::uint8_t>> bad = {
        {},
        {'/', 'x', 0},
        {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 1},
        {'/', 'n', 's', 'm', 0, 0, 0, 0, ',', 's', 0, 0},  // a string tag with no string
        {'/', 'n', 's', 'm', 0, 0, 0, 0, ',', 'i', 0, 0, 0, 0},
        {'/', 'a', 'b', 'c', 'd', 'e', 'f', 'g'},  // an address with no end
        {'g', 'a', 'r', 'b', 'a', 'g', 'e', '!'},
    };
    for (const auto& bytes : bad) server.sendRaw(bytes);
    server.sendRaw(encodeOsc(message("/nsm/client/save")));
    ::usleep(20000);
    seen.events.clear();
    client.receive();
    ASSERT_FALSE(seen.events.empty());
    EXPECT_EQ(seen.events.back(), "save");
    EXPECT_GE(seen.events.size(), 2u);
    for (std::size_t k = 0; k + 1 < seen.events.size(); ++k)
        EXPECT_EQ(seen.events[k].substr(0, 9), "ignored: ") << seen.events[k];

    // A flood of one complaint (datagrams from another port) is said once, then with its count.
    client.sayRepeats();
    seen.events.clear();
    for (int k = 0; k < 100; ++k) server.sendRaw(encodeOsc(message("/nsm/client/save")), true);
    server.sendRaw(encodeOsc(message("/nsm/client/quit")));
    server.sendRaw(encodeOsc(message("/nsm/client/quit")));
    ::usleep(20000);
    client.receive();
    client.sayRepeats();
    ASSERT_EQ(seen.events.size(), 4u);
    EXPECT_EQ(seen.events[0],
              "ignored: ignored an OSC datagram from another address than the session manager's");
    EXPECT_EQ(seen.events[1].substr(0, 41), "ignored: ignored the OSC message /nsm/cli");
    EXPECT_EQ(seen.events[2], seen.events[0] + " (and 99 more like it)");
    EXPECT_EQ(seen.events[3], seen.events[1] + " (and 1 more like it)");
}

TEST(OscLink, RefusesAddressesThatAreNotOscOverUdp) {
    OscLink link;
    std::string error;
    for (const char* url : {"", "osc.tcp://127.0.0.1:1234/", "http://127.0.0.1:1234/", "osc.udp://:1234/",
                            "osc.udp://no-such-host.invalid:1234/"}) {
        error.clear();
        EXPECT_FALSE(link.open(url, error)) << url;
        EXPECT_FALSE(error.empty()) << url;
    }
}

}  // namespace
}  // namespace voltina
