#pragma once
// Standard MIDI Files made in code, byte by byte, for the reader's tests.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace voltina::testing {

using Bytes = std::vector<std::uint8_t>;

inline void appendNumber(Bytes& out, std::uint32_t value) {
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (n > 1) out.push_back(static_cast<std::uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

inline void appendBig(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// One track's events; each call adds a delta time and the event's bytes as given (so running status
// is written simply by leaving the status byte out).
class TrackBuilder {
  public:
    TrackBuilder& event(std::uint32_t delta, std::initializer_list<std::uint8_t> bytes) {
        appendNumber(body_, delta);
        body_.insert(body_.end(), bytes);
        return *this;
    }
    TrackBuilder& tempo(std::uint32_t delta, std::uint32_t microsPerQuarter) {
        appendNumber(body_, delta);
        body_.insert(body_.end(), {0xFF, 0x51, 0x03});
        appendBig(body_, microsPerQuarter, 3);
        return *this;
    }
    TrackBuilder& meta(std::uint32_t delta, std::uint8_t type, const std::string& text) {
        appendNumber(body_, delta);
        body_.push_back(0xFF);
        body_.push_back(type);
        appendNumber(body_, static_cast<std::uint32_t>(text.size()));
        body_.insert(body_.end(), text.begin(), text.end());
        return *this;
    }
    TrackBuilder& sysex(std::uint32_t delta, std::uint8_t status, const Bytes& data) {
        appendNumber(body_, delta);
        body_.push_back(status);
        appendNumber(body_, static_cast<std::uint32_t>(data.size()));
        body_.insert(body_.end(), data.begin(), data.end());
        return *this;
    }
    TrackBuilder& end(std::uint32_t delta = 0) { return event(delta, {0xFF, 0x2F, 0x00}); }
    TrackBuilder& raw(std::initializer_list<std::uint8_t> bytes) {
        body_.insert(body_.end(), bytes);
        return *this;
    }
    const Bytes& body() const { return body_; }

  private:
    Bytes body_;
};

inline void appendChunk(Bytes& out, const char* tag, const Bytes& body) {
    // Byte by byte into room made first: GCC at -O3 takes a range insert into an empty vector for an
    // overflow of a zero-sized region and warns.
    out.reserve(out.size() + 8 + body.size());
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(tag[k]));
    appendBig(out, static_cast<std::uint32_t>(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
}

inline Bytes smfHeader(int format, int tracks, std::uint16_t division) {
    Bytes header;
    appendBig(header, static_cast<std::uint32_t>(format), 2);
    appendBig(header, static_cast<std::uint32_t>(tracks), 2);
    appendBig(header, division, 2);
    Bytes out;
    appendChunk(out, "MThd", header);
    return out;
}

inline Bytes smf(int format, std::uint16_t division, std::initializer_list<TrackBuilder> tracks) {
    Bytes out = smfHeader(format, static_cast<int>(tracks.size()), division);
    for (const TrackBuilder& t : tracks) appendChunk(out, "MTrk", t.body());
    return out;
}

}  // namespace voltina::testing
