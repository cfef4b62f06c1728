#pragma once
// Standard MIDI Files (formats 0 and 1) read from memory, for playing a tune through the MIDI voice.
//
// The reader keeps the note-ons and note-offs (and, when asked, the control changes) of any channel and
// the tempo changes that time them; it skips every other event correctly and never reads past the bytes
// it was given, whatever a header or chunk claims.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace voltina {

struct MidiFileEvent {
    std::uint64_t tick = 0;           // from the start of the file, in the file's time division
    std::uint64_t timeNumerator = 0;  // exact time in seconds = timeNumerator / MidiFile::timeDenominator
    std::uint32_t message = 0;        // status | data1 << 8 | data2 << 16, as packMidi makes it
    int track = 0;                    // 0 for the first track chunk
};

struct MidiFile {
    int format = 0;  // 0 or 1
    int trackCount = 0;
    std::uint16_t division = 0;  // the header's raw time division
    // Seconds = timeNumerator / timeDenominator. Ticks per quarter note: tempo (microseconds per
    // quarter, 500000 until the first tempo event) summed over the ticks, over division x 1,000,000.
    // SMPTE time: ticks x 1 (x 1001 at 29.97 frames per second) over frames per second x ticks per frame
    // (x 1000 at 29.97).
    std::uint64_t timeDenominator = 1;
    // Note events of all tracks merged in time order. Events at the same time keep the order they have
    // in the file: ordered by tick, then by track, then by their position in their track. (Times only
    // grow with ticks, so this order is also a time order.)
    std::vector<MidiFileEvent> events;
};

// The most note and tempo events a file may hold: the reader's memory stays bounded (tens of megabytes)
// whatever the file, and no tune needs more.
constexpr std::size_t kMaxMidiFileEvents = 1000000;

// False with a sentence starting "MIDI file: " on a malformed or unsupported file; `out` is then left
// as it was.
// With `controllers`, the control changes 0..119 are kept too (for controllers bound to the panel).
bool readMidiFile(const std::uint8_t* data, std::size_t size, MidiFile& out, std::string& error,
                  bool controllers = false);

// The first frame, at `sampleRate` frames per second, whose index is at least the event's time x
// sampleRate, computed exactly. Saturates at UINT64_MAX for times beyond any render.
std::uint64_t eventFrame(const MidiFile& file, const MidiFileEvent& event, std::uint32_t sampleRate);

// The event's time in seconds, for messages and listings (not for timing the sound).
double eventSeconds(const MidiFile& file, const MidiFileEvent& event);

}  // namespace voltina
