// The Standard MIDI File reader on arbitrary bytes: it either refuses with a "MIDI file: " message or
// gives note events in time order whose frame positions never go backwards.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "midi/midi_file.h"

using namespace voltina;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MidiFile file;
    std::string error;
    if (!readMidiFile(data, size, file, error)) {
        if (error.rfind("MIDI file: ", 0) != 0) std::abort();
        return 0;
    }
    if (file.format != 0 && file.format != 1) std::abort();
    std::uint64_t lastFrame = 0;
    for (std::size_t i = 0; i < file.events.size(); ++i) {
        const MidiFileEvent& e = file.events[i];
        const unsigned kind = e.message & 0xF0;
        if (kind != 0x80 && kind != 0x90) std::abort();
        if ((e.message >> 8 & 0x80) != 0 || (e.message >> 16 & 0x80) != 0 || e.message >> 24 != 0)
            std::abort();
        if (e.track < 0 || e.track >= file.trackCount) std::abort();
        if (i > 0) {
            const MidiFileEvent& prev = file.events[i - 1];
            if (e.tick < prev.tick || e.timeNumerator < prev.timeNumerator) std::abort();
            if (e.tick == prev.tick && e.track < prev.track) std::abort();
        }
        const std::uint64_t frame = eventFrame(file, e, 44100);
        if (frame < lastFrame || eventFrame(file, e, 11025) > frame) std::abort();
        lastFrame = frame;
    }
    return 0;
}
