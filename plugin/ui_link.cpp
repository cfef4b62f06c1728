#include "plugin/ui_link.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "plugin/plugin_edits.h"

namespace voltina {

namespace {

struct Header {
    std::uint32_t type;
    std::uint32_t size;
};

// The length each type must have; 0 for a type of no fixed length.
bool lengthFits(LinkMessage type, std::uint32_t size) {
    switch (type) {
        case LinkMessage::Edit:
            return size == sizeof(EditBody);
        case LinkMessage::PatchEdit:
            return size == sizeof(PatchEditBody);
        case LinkMessage::Panel:
            return size == sizeof(PanelBody);
        case LinkMessage::Title:
            return size <= kMaxLinkBody;
    }
    return false;
}

bool knownType(std::uint32_t type) {
    return type >= static_cast<std::uint32_t>(LinkMessage::Edit) &&
           type <= static_cast<std::uint32_t>(LinkMessage::Title);
}

}  // namespace

std::string linkFrame(LinkMessage type, const void* body, std::uint32_t size) {
    const Header header{static_cast<std::uint32_t>(type), size};
    std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
    bytes.append(static_cast<const char*>(body), size);
    return bytes;
}

void LinkReader::take(const char* bytes, std::size_t size) {
    if (broken_.empty()) pending_.append(bytes, size);
}

bool LinkReader::next(LinkMessage& type, std::vector<char>& body) {
    if (!broken_.empty() || pending_.size() < sizeof(Header)) return false;
    Header header;
    std::memcpy(&header, pending_.data(), sizeof header);
    if (!knownType(header.type)) {
        broken_ = "a message of unknown type " + std::to_string(header.type) + " came on the window's link";
        return false;
    }
    type = static_cast<LinkMessage>(header.type);
    if (!lengthFits(type, header.size)) {
        broken_ = "a message of type " + std::to_string(header.type) + " came with " +
                  std::to_string(header.size) + " bytes, which is not its length";
        return false;
    }
    if (pending_.size() < sizeof header + header.size) return false;
    body.assign(pending_.data() + sizeof header, pending_.data() + sizeof header + header.size);
    pending_.erase(0, sizeof header + header.size);
    return true;
}

bool writeLink(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0) return false;  // a window that reads nothing for a second is hung
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace voltina
