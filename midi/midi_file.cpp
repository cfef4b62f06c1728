#include "midi/midi_file.h"

#include <algorithm>
#include <cstdio>

#include "engine/midi_keys.h"

namespace voltina {

namespace {

using Wide = unsigned __int128;

constexpr std::uint32_t kDefaultTempo = 500000;  // microseconds per quarter note (120 beats per minute)
constexpr std::uint64_t kMax64 = ~std::uint64_t{0};

std::string hexByte(unsigned b) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[(b >> 4) & 0xF] + digits[b & 0xF];
}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint16_t be16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}

bool hasTag(const std::uint8_t* p, const char* tag) {
    return p[0] == static_cast<std::uint8_t>(tag[0]) && p[1] == static_cast<std::uint8_t>(tag[1]) &&
           p[2] == static_cast<std::uint8_t>(tag[2]) && p[3] == static_cast<std::uint8_t>(tag[3]);
}

struct RawEvent {
    std::uint64_t tick;
    bool isTempo;
    std::uint32_t value;  // packed message, or microseconds per quarter note
    int track;
};

// One track chunk's body. Every read is checked against the body's end, so a lying length or a
// truncated event is an error, never a read past the chunk.
class TrackReader {
  public:
    TrackReader(const std::uint8_t* body, std::size_t length, std::size_t fileOffset, int track,
                std::vector<RawEvent>& out, bool controllers)
        : body_(body),
          length_(length),
          fileOffset_(fileOffset),
          track_(track),
          out_(out),
          controllers_(controllers) {}

    bool read(std::string& error) {
        std::uint64_t tick = 0;
        unsigned running =
            0;  // kept across meta and sysex events: a valid file never depends on either choice
        while (pos_ < length_) {
            std::uint32_t delta = 0;
            if (!readNumber(delta, "a delta time", error)) return false;
            tick += delta;
            if (pos_ >= length_) return endsInside(error);
            unsigned status = body_[pos_];
            if (status >= 0x80) {
                ++pos_;
            } else if (running == 0) {
                error = where() + "a data byte (" + hexByte(status) + ") has no status byte before it";
                return false;
            } else {
                status = running;
            }

            if (status == 0xFF) {
                if (pos_ >= length_) return endsInside(error);
                const unsigned type = body_[pos_++];
                std::uint32_t size = 0;
                if (!readNumber(size, "a meta event's length", error)) return false;
                if (size > length_ - pos_) return endsInside(error);
                if (type == 0x2F) return true;  // end of track: anything after it is not part of the track
                if (type == 0x51) {
                    if (size != 3) {
                        error = where() + "a tempo event has " + std::to_string(size) + " bytes instead of 3";
                        return false;
                    }
                    const std::uint32_t tempo = std::uint32_t{body_[pos_]} << 16 |
                                                std::uint32_t{body_[pos_ + 1]} << 8 | body_[pos_ + 2];
                    if (tempo == 0) {
                        error = where() + "a tempo of 0 microseconds per quarter note";
                        return false;
                    }
                    if (!keep({tick, true, tempo, track_}, error)) return false;
                }
                pos_ += size;
            } else if (status == 0xF0 || status == 0xF7) {
                std::uint32_t size = 0;
                if (!readNumber(size, "a system exclusive event's length", error)) return false;
                if (size > length_ - pos_) return endsInside(error);
                pos_ += size;
            } else if (status >= 0xF0) {
                error = where() + "the system message " + hexByte(status) + " cannot appear in a MIDI file";
                return false;
            } else {
                running = status;
                const unsigned kind = status & 0xF0;
                const int count = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
                unsigned data[2] = {0, 0};
                for (int i = 0; i < count; ++i) {
                    if (pos_ >= length_) return endsInside(error);
                    if (body_[pos_] >= 0x80) {
                        error = where() + "expected a data byte, found " + hexByte(body_[pos_]);
                        return false;
                    }
                    data[i] = body_[pos_++];
                }
                // Channel-mode messages (controllers 120..127) set nothing a controller can be bound to.
                const bool controller = controllers_ && kind == 0xB0 && data[0] < 120;
                if (kind == 0x80 || kind == 0x90 || controller) {
                    const std::uint32_t message = packMidi(
                        static_cast<int>(status), static_cast<int>(data[0]), static_cast<int>(data[1]));
                    if (!keep({tick, false, message, track_}, error)) return false;
                }
            }
        }
        return true;  // a missing end-of-track event is tolerated: the chunk's end says the same
    }

  private:
    bool keep(const RawEvent& event, std::string& error) {
        if (out_.size() >= kMaxMidiFileEvents) {
            error = "MIDI file: more than " + std::to_string(kMaxMidiFileEvents) +
                    (controllers_ ? " notes, control changes" : " notes") +
                    " and tempo changes; Voltina plays at most that many";
            return false;
        }
        out_.push_back(event);
        return true;
    }

    std::string where() const {
        return "MIDI file: track " + std::to_string(track_ + 1) + ", byte " +
               std::to_string(fileOffset_ + pos_) + ": ";
    }

    bool endsInside(std::string& error) const {
        error = "MIDI file: track " + std::to_string(track_ + 1) + " ends inside an event";
        return false;
    }

    // A variable-length quantity: at most four bytes, seven bits each.
    bool readNumber(std::uint32_t& value, const char* what, std::string& error) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            if (pos_ >= length_) return endsInside(error);
            const unsigned b = body_[pos_++];
            value = value << 7 | (b & 0x7F);
            if ((b & 0x80) == 0) return true;
        }
        error = where() + std::string(what) + " is longer than 4 bytes";
        return false;
    }

    const std::uint8_t* body_;
    std::size_t length_;
    std::size_t fileOffset_;
    int track_;
    std::vector<RawEvent>& out_;
    bool controllers_;
    std::size_t pos_ = 0;
};

bool readTimeDivision(std::uint16_t division, MidiFile& file, std::uint64_t& tickMultiplier,
                      std::string& error) {
    if ((division & 0x8000) == 0) {
        if (division == 0) {
            error = "MIDI file: the time division is 0 ticks per quarter note";
            return false;
        }
        file.timeDenominator = std::uint64_t{division} * 1000000u;
        tickMultiplier = 0;  // timed by the tempo
        return true;
    }
    const int framesPerSecond = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
    const unsigned ticksPerFrame = division & 0xFF;
    if (framesPerSecond != 24 && framesPerSecond != 25 && framesPerSecond != 29 && framesPerSecond != 30) {
        error = "MIDI file: unknown SMPTE frame rate in the time division (" +
                std::to_string(framesPerSecond) + " frames per second; 24, 25, 29 or 30 expected)";
        return false;
    }
    if (ticksPerFrame == 0) {
        error = "MIDI file: the time division has 0 ticks per SMPTE frame";
        return false;
    }
    if (framesPerSecond == 29) {
        // 29 stands for drop-frame time code, whose frames run at 30000/1001 per second.
        file.timeDenominator = 30000u * std::uint64_t{ticksPerFrame};
        tickMultiplier = 1001;
    } else {
        file.timeDenominator = static_cast<std::uint64_t>(framesPerSecond) * ticksPerFrame;
        tickMultiplier = 1;
    }
    return true;
}

}  // namespace

bool readMidiFile(const std::uint8_t* data, std::size_t size, MidiFile& out, std::string& error,
                  bool controllers) {
    if (data == nullptr || size < 8 || !hasTag(data, "MThd")) {
        error = "MIDI file: not a Standard MIDI File (it does not start with \"MThd\")";
        return false;
    }
    const std::uint32_t headerLength = be32(data + 4);
    if (headerLength < 6) {
        error = "MIDI file: the header chunk is too short (" + std::to_string(headerLength) + " bytes)";
        return false;
    }
    if (headerLength > size - 8) {
        error = "MIDI file: the header chunk is cut short";
        return false;
    }
    MidiFile file;
    file.format = be16(data + 8);
    const unsigned trackCount = be16(data + 10);
    file.division = be16(data + 12);
    if (file.format == 2) {
        error = "MIDI file: format 2 (independent sequences) is not supported; save it as format 0 or 1";
        return false;
    }
    if (file.format > 2) {
        error = "MIDI file: unknown format " + std::to_string(file.format);
        return false;
    }
    if (trackCount == 0) {
        error = "MIDI file: the header announces no track";
        return false;
    }
    if (file.format == 0 && trackCount != 1) {
        error = "MIDI file: a format 0 file has one track, this one announces " + std::to_string(trackCount);
        return false;
    }
    std::uint64_t tickMultiplier = 0;
    if (!readTimeDivision(file.division, file, tickMultiplier, error)) return false;
    file.trackCount = static_cast<int>(trackCount);

    std::vector<RawEvent> raw;
    std::size_t pos = 8 + std::size_t{headerLength};
    int track = 0;
    while (track < file.trackCount) {
        if (size - pos < 8) {
            error = "MIDI file: the header announces " + std::to_string(trackCount) +
                    " tracks but the file holds " + std::to_string(track);
            return false;
        }
        const std::uint32_t length = be32(data + pos + 4);
        const bool isTrack = hasTag(data + pos, "MTrk");
        const std::size_t body = pos + 8;
        if (length > size - body) {
            if (isTrack) {
                error = "MIDI file: track " + std::to_string(track + 1) + " is cut short (its chunk claims " +
                        std::to_string(length) + " bytes, " + std::to_string(size - body) + " remain)";
            } else {
                error = "MIDI file: a chunk at byte " + std::to_string(pos) + " is cut short";
            }
            return false;
        }
        // Chunks of other types are skipped, as the file format asks of readers.
        if (isTrack) {
            TrackReader reader(data + body, length, body, track, raw, controllers);
            if (!reader.read(error)) return false;
            ++track;
        }
        pos = body + length;
    }

    // Tracks were read one after another, so a stable sort by tick leaves events of the same tick in track
    // order and, within a track, in their order of appearance.
    std::stable_sort(raw.begin(), raw.end(),
                     [](const RawEvent& a, const RawEvent& b) { return a.tick < b.tick; });

    file.events.reserve(raw.size());
    Wide elapsed = 0;  // tempo-weighted ticks up to lastTick
    std::uint64_t lastTick = 0;
    std::uint32_t tempo = kDefaultTempo;
    for (const RawEvent& e : raw) {
        Wide numerator;
        if (tickMultiplier == 0) {
            elapsed += Wide{e.tick - lastTick} * tempo;
            lastTick = e.tick;
            numerator = elapsed;
        } else {
            numerator = Wide{e.tick} * tickMultiplier;
        }
        if (e.isTempo) {
            tempo = e.value;
            continue;
        }
        if (numerator > kMax64) {
            error = "MIDI file: track " + std::to_string(e.track + 1) + " has events too far in time";
            return false;
        }
        MidiFileEvent event;
        event.tick = e.tick;
        event.timeNumerator = static_cast<std::uint64_t>(numerator);
        event.message = e.value;
        event.track = e.track;
        file.events.push_back(event);
    }
    out = std::move(file);
    return true;
}

std::uint64_t eventFrame(const MidiFile& file, const MidiFileEvent& event, std::uint32_t sampleRate) {
    const Wide den = file.timeDenominator == 0 ? 1 : file.timeDenominator;
    const Wide frame = (Wide{event.timeNumerator} * sampleRate + den - 1) / den;
    return frame > kMax64 ? kMax64 : static_cast<std::uint64_t>(frame);
}

double eventSeconds(const MidiFile& file, const MidiFileEvent& event) {
    const double den = file.timeDenominator == 0 ? 1.0 : static_cast<double>(file.timeDenominator);
    return static_cast<double>(event.timeNumerator) / den;
}

}  // namespace voltina
