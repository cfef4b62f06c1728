#include "nsm/nsm_client.h"

#include <utility>

namespace voltina {

namespace {

constexpr const char* kAnnounce = "/nsm/server/announce";
constexpr std::int32_t kApiMajor = 1;
constexpr std::int32_t kApiMinor = 2;

OscMessage make(const std::string& path, std::vector<OscArgument> arguments = {}) {
    OscMessage m;
    m.path = path;
    m.arguments = std::move(arguments);
    return m;
}

}  // namespace

NsmClient::NsmClient(OscLink& link, NsmRequests requests) : link_(link), requests_(std::move(requests)) {}

void NsmClient::announce(const std::string& name, const std::string& capabilities,
                         const std::string& executable, std::int64_t pid) {
    link_.send(
        make(kAnnounce, {OscArgument::string(name), OscArgument::string(capabilities),
                         OscArgument::string(executable), OscArgument::int32(kApiMajor),
                         OscArgument::int32(kApiMinor), OscArgument::int32(static_cast<std::int32_t>(pid))}));
}

bool NsmClient::receive() {
    bool any = false;
    for (const OscMessage& m : link_.receive([this, &any](const std::string& why) {
             any = true;
             complain(why, "ignored " + why);
         })) {
        any = true;
        handle(m);
    }
    return any;
}

void NsmClient::complain(const std::string& kind, const std::string& what) {
    if (!requests_.ignored) return;
    for (Said& said : said_) {
        if (said.kind == kind) {
            ++said.repeats;
            return;
        }
    }
    // Kinds that differ every time (the server's own words) are each said: only so many are kept.
    if (said_.size() >= 64) sayRepeats();
    said_.push_back({kind, what, 0});
    requests_.ignored(what);
}

void NsmClient::sayRepeats() {
    std::vector<Said> said;
    said.swap(said_);
    for (const Said& s : said) {
        if (s.repeats > 0 && requests_.ignored)
            requests_.ignored(s.text + " (and " + std::to_string(s.repeats) + " more like it)");
    }
}

void NsmClient::ignore(const OscMessage& message, const std::string& why) {
    const std::string types = message.types();
    complain(why, "ignored the OSC message " + message.path + (types.empty() ? "" : " (" + types + ")") +
                      ": " + why);
}

void NsmClient::handle(const OscMessage& m) {
    const std::string types = m.types();
    const auto text = [&](std::size_t i) { return m.arguments[i].text; };
    if (m.path == "/reply") {
        // s:"/nsm/server/announce" s:message s:server name s:capabilities; replies to anything else are
        // not ours to act on.
        if (types.empty() || types[0] != 's') return ignore(m, "a reply without the request it answers");
        if (text(0) != kAnnounce) return;
        if (types.compare(0, 4, "ssss") != 0) return ignore(m, "the announce's reply needs four strings");
        announceAnswered_ = true;
        serverCapabilities_ = text(3);
        if (requests_.announced) requests_.announced(serverCapabilities_);
    } else if (m.path == "/error") {
        if (types.size() < 3 || types.compare(0, 3, "sis") != 0)
            return ignore(m, "an error needs the request, a code and a message");
        if (text(0) != kAnnounce) {
            ignore(m, "the server reports " + text(2));
            return;
        }
        announceAnswered_ = true;
        if (requests_.refused) requests_.refused(text(2));
    } else if (m.path == "/nsm/client/open") {
        if (types != "sss") return ignore(m, "open needs the path, the session's name and the client id");
        if (text(0).empty() || text(0)[0] != '/') {
            replyError(m.path, NsmError::BadProject, "the session path must be an absolute path");
            return ignore(m, "the path is not absolute");
        }
        if (text(2).empty()) {
            replyError(m.path, NsmError::General, "the client id is empty");
            return ignore(m, "the client id is empty");
        }
        if (requests_.open) requests_.open(NsmOpen{text(0), text(1), text(2)});
    } else if (m.path == "/nsm/client/save") {
        if (!types.empty()) return ignore(m, "save takes no arguments");
        if (requests_.save) requests_.save();
    } else if (m.path == "/nsm/client/show_optional_gui") {
        if (!types.empty()) return ignore(m, "show_optional_gui takes no arguments");
        if (requests_.showGui) requests_.showGui();
    } else if (m.path == "/nsm/client/hide_optional_gui") {
        if (!types.empty()) return ignore(m, "hide_optional_gui takes no arguments");
        if (requests_.hideGui) requests_.hideGui();
    } else if (m.path == "/nsm/client/session_is_loaded") {
        // Nothing to do: Voltina has no connections of its own to make once the others are there.
    } else {
        ignore(m, "not a message of the session protocol this client takes");
    }
}

void NsmClient::replyOk(const std::string& request, const std::string& text) {
    link_.send(make("/reply", {OscArgument::string(request), OscArgument::string(text)}));
}

void NsmClient::replyError(const std::string& request, NsmError code, const std::string& text) {
    link_.send(
        make("/error", {OscArgument::string(request), OscArgument::int32(static_cast<std::int32_t>(code)),
                        OscArgument::string(text)}));
}

void NsmClient::setDirty(bool dirty) {
    if (dirty_ == static_cast<int>(dirty)) return;
    dirty_ = dirty;
    link_.send(make(dirty ? "/nsm/client/is_dirty" : "/nsm/client/is_clean"));
}

void NsmClient::setGuiShown(bool shown) {
    if (guiShown_ == static_cast<int>(shown)) return;
    guiShown_ = shown;
    link_.send(make(shown ? "/nsm/client/gui_is_shown" : "/nsm/client/gui_is_hidden"));
}

void NsmClient::message(int priority, const std::string& text) {
    link_.send(make("/nsm/client/message", {OscArgument::int32(priority), OscArgument::string(text)}));
}

}  // namespace voltina
