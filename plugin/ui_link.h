#pragma once
// The link between the plugin's UI library (in the host's process) and the window's own process (voltina
// --plugin-window FD): a stream socket carrying messages of a type, a length and a body. The window sends
// its edits; the UI library sends the panel the plugin plays and the window's title.
//
// Whatever arrives is checked before it is used: an unknown type, a length that is not its type's or a
// message longer than kMaxLinkBody ends the link with a sentence saying why, and nothing of it is applied.
// Plain C++, no Qt; one thread per end.

#include <cstdint>
#include <string>
#include <vector>

namespace voltina {

enum class LinkMessage : std::uint32_t {
    Edit = 1,       // window -> plugin: an EditBody
    PatchEdit = 2,  // window -> plugin: a PatchEditBody (Undo, Redo, a configuration loaded)
    Panel = 3,      // plugin -> window: a PanelBody
    Title = 4,      // plugin -> window: the window's title, UTF-8
};

constexpr std::uint32_t kMaxLinkBody = 1024;

// The message as bytes on the link.
std::string linkFrame(LinkMessage type, const void* body, std::uint32_t size);

class LinkReader {
  public:
    // Bytes as they came off the socket, in any pieces.
    void take(const char* bytes, std::size_t size);
    // The next whole message; false when none is complete yet or when the link is broken (then
    // broken() says why).
    bool next(LinkMessage& type, std::vector<char>& body);
    const std::string& broken() const { return broken_; }

  private:
    std::string pending_;
    std::string broken_;
};

// Writes all of `bytes` to a blocking or non-blocking socket, waiting while it is full; false when the
// other end is gone. Never raises SIGPIPE.
bool writeLink(int fd, const std::string& bytes);

}  // namespace voltina
