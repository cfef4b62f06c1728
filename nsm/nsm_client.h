#pragma once
// The client side of the NSM session protocol (the New Session Manager's, API 1.2): the announce, the
// server's open, save and optional-GUI requests, and the client's replies and state messages. Messages
// that are not the protocol's, or carry the wrong arguments, are reported and otherwise ignored.
// Plain C++, no Qt; one thread at a time (the GUI thread in the program).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "nsm/osc_link.h"

namespace voltina {

// The protocol's error codes that this client sends.
enum class NsmError : std::int32_t {
    General = -1,
    NoSuchFile = -5,
    NotNow = -8,
    BadProject = -9,
    CreateFailed = -10,
};

struct NsmOpen {
    std::string path;         // the session's folder for this client, to be made and owned by it
    std::string displayName;  // the session's name
    std::string clientId;     // unique in the session: the name of this client's JACK clients
};

// What the server asks; each may be empty.
struct NsmRequests {
    std::function<void(const std::string& serverCapabilities)> announced;
    std::function<void(const std::string& why)> refused;  // the announce was answered with an error
    std::function<void(const NsmOpen& open)> open;
    std::function<void()> save;
    std::function<void()> showGui;
    std::function<void()> hideGui;
    // A message this client does not take, in words. The same complaint again and again (a flood of
    // stray datagrams) is said once, then counted until sayRepeats() says the count.
    std::function<void(const std::string& what)> ignored;
};

class NsmClient {
  public:
    // The link must outlive the client; it is used for every message, announce first.
    NsmClient(OscLink& link, NsmRequests requests);

    // capabilities like ":dirty:optional-gui:"; `executable` is the program's file name.
    void announce(const std::string& name, const std::string& capabilities, const std::string& executable,
                  std::int64_t pid);
    // Everything waiting on the link; false when nothing was waiting.
    bool receive();
    // How many times each complaint came again since it was said, if it did; the next ones are said in
    // full. For when the link has been quiet a while.
    void sayRepeats();
    // One message, as receive() handles it (tests hand them in directly).
    void handle(const OscMessage& message);

    // The reply to `/nsm/client/open` or `/nsm/client/save`.
    void replyOk(const std::string& request, const std::string& text = "OK");
    void replyError(const std::string& request, NsmError code, const std::string& text);
    // Sent only when it changes.
    void setDirty(bool dirty);
    void setGuiShown(bool shown);
    // A line in the server's log (priority 0..3).
    void message(int priority, const std::string& text);

    bool announceAnswered() const { return announceAnswered_; }
    bool serverHasOptionalGui() const {
        return serverCapabilities_.find(":optional-gui:") != std::string::npos;
    }

  private:
    void ignore(const OscMessage& message, const std::string& why);
    // `what` in full, unless a complaint of that `kind` was said since sayRepeats(): then it is counted.
    void complain(const std::string& kind, const std::string& what);

    OscLink& link_;
    NsmRequests requests_;
    bool announceAnswered_ = false;
    std::string serverCapabilities_;
    int dirty_ = -1;  // unknown until first said
    int guiShown_ = -1;
    struct Said {
        std::string kind;
        std::string text;
        std::uint64_t repeats = 0;
    };
    std::vector<Said> said_;  // in the order first said
};

}  // namespace voltina
