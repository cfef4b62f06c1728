// Standard MIDI Files made here, byte by byte: formats 0 and 1, running status, tempo changes, the
// order of events at the same time, exact frame positions, and malformed or truncated files.

#include "midi/midi_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/midi_keys.h"
#include "tests/media/smf_builder.h"

namespace voltina {
namespace {

using testing::Bytes;
using testing::smf;
using testing::TrackBuilder;

MidiFile readOk(const Bytes& bytes, bool controllers = false) {
    MidiFile file;
    std::string error;
    EXPECT_TRUE(readMidiFile(bytes.data(), bytes.size(), file, error, controllers)) << error;
    return file;
}

std::vector<std::uint32_t> messages(const MidiFile& f) {
    std::vector<std::uint32_t> out;
    for (const MidiFileEvent& e : f.events) out.push_back(e.message);
    return out;
}

std::vector<std::uint64_t> frames(const MidiFile& f, std::uint32_t rate) {
    std::vector<std::uint64_t> out;
    for (const MidiFileEvent& e : f.events) out.push_back(eventFrame(f, e, rate));
    return out;
}

TEST(MidiFileTest, FormatZeroAtTheDefaultTempo) {
    const MidiFile f = readOk(smf(0, 96,
                                  {TrackBuilder()
                                       .event(0, {0x90, 60, 100})
                                       .event(96, {0x80, 60, 64})
                                       .event(48, {0x91, 64, 127})
                                       .end()}));
    EXPECT_EQ(f.format, 0);
    EXPECT_EQ(f.trackCount, 1);
    ASSERT_EQ(f.events.size(), 3u);
    EXPECT_EQ(messages(f), (std::vector<std::uint32_t>{packMidi(0x90, 60, 100), packMidi(0x80, 60, 64),
                                                       packMidi(0x91, 64, 127)}));
    EXPECT_EQ(f.events[1].tick, 96u);
    EXPECT_DOUBLE_EQ(eventSeconds(f, f.events[1]), 0.5);
    EXPECT_DOUBLE_EQ(eventSeconds(f, f.events[2]), 0.75);
    // 0.5 s x 11025 = 5512.5: the first frame at or after it is 5513; 0.75 s x 11025 = 8268.75.
    EXPECT_EQ(frames(f, 11025), (std::vector<std::uint64_t>{0, 5513, 8269}));
    EXPECT_EQ(frames(f, 44100), (std::vector<std::uint64_t>{0, 22050, 33075}));
}

TEST(MidiFileTest, RunningStatusCarriesAcrossMessagesOfEveryLength) {
    const Bytes bytes = smf(0, 480,
                            {TrackBuilder()
                                 .event(0, {0x90, 60, 100})
                                 .event(10, {62, 101})  // running note-on
                                 .event(10, {60, 0})    // running note-on with velocity 0
                                 .event(0, {0xC3, 5})   // program change: one data byte
                                 .event(0, {7})         // running program change
                                 .event(0, {0xB0, 7, 100})
                                 .event(0, {10, 64})  // running controller
                                 .event(0, {0xD2, 33})
                                 .event(0, {34})            // running channel pressure
                                 .event(0, {0xB1, 121, 0})  // a channel-mode message
                                 .event(0, {0x8F, 62, 0})
                                 .meta(0, 0x01, "text between")
                                 .event(5, {62, 1})  // running status kept across the meta event
                                 .end()});
    const MidiFile f = readOk(bytes);
    EXPECT_EQ(messages(f), (std::vector<std::uint32_t>{packMidi(0x90, 60, 100), packMidi(0x90, 62, 101),
                                                       packMidi(0x90, 60, 0), packMidi(0x8F, 62, 0),
                                                       packMidi(0x8F, 62, 1)}));
    EXPECT_EQ(f.events.back().tick, 25u);
    // Asked for, the control changes come too, the running one included; the channel-mode ones never.
    EXPECT_EQ(
        messages(readOk(bytes, true)),
        (std::vector<std::uint32_t>{packMidi(0x90, 60, 100), packMidi(0x90, 62, 101), packMidi(0x90, 60, 0),
                                    packMidi(0xB0, 7, 100), packMidi(0xB0, 10, 64), packMidi(0x8F, 62, 0),
                                    packMidi(0x8F, 62, 1)}));
}

TEST(MidiFileTest, OtherEventsAreSkippedWholeAndIgnored) {
    Bytes longSysex(300, 0x11);
    longSysex.back() = 0xF7;
    const MidiFile f = readOk(smf(0, 96,
                                  {TrackBuilder()
                                       .meta(0, 0x03, std::string(200, 'n'))  // a length of two bytes
                                       .sysex(0, 0xF0, longSysex)
                                       .sysex(1, 0xF7, {0x90, 0x3C, 0x7F})  // escaped bytes, not a note
                                       .event(0, {0xE0, 0x00, 0x40})        // pitch bend
                                       .event(0, {0xA1, 60, 20})            // key pressure
                                       .event(0, {0xB5, 64, 127})           // sustain pedal
                                       .meta(0, 0x7F, "\x01\x02\x03")
                                       .meta(0, 0x58, "\x04\x02\x18\x08")
                                       .event(2, {0x9F, 107, 1})
                                       .end()}));
    ASSERT_EQ(f.events.size(), 1u);
    EXPECT_EQ(f.events[0].message, packMidi(0x9F, 107, 1));
    EXPECT_EQ(f.events[0].tick, 3u);
}

TEST(MidiFileTest, TempoChangesMidFileTimeTheLaterEvents) {
    const MidiFile f = readOk(smf(1, 96,
                                  {TrackBuilder().tempo(0, 500000).tempo(96, 250000).tempo(96, 1000000).end(),
                                   TrackBuilder()
                                       .event(0, {0x90, 60, 90})
                                       .event(96, {0x90, 61, 90})
                                       .event(48, {0x90, 62, 90})
                                       .event(48, {0x90, 63, 90})
                                       .event(96, {0x90, 64, 90})
                                       .end()}));
    ASSERT_EQ(f.events.size(), 5u);
    const double expected[] = {0.0, 0.5, 0.625, 0.75, 1.75};
    for (std::size_t i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(eventSeconds(f, f.events[i]), expected[i]) << i;
    EXPECT_EQ(frames(f, 44100), (std::vector<std::uint64_t>{0, 22050, 27563, 33075, 77175}));
    EXPECT_EQ(frames(f, 22050), (std::vector<std::uint64_t>{0, 11025, 13782, 16538, 38588}));
}

TEST(MidiFileTest, TempoEventsOfAnyTrackAndTheSameTickApplyFromTheirTick) {
    // A tempo change at the same tick as a note does not move that note, only what follows.
    const MidiFile f =
        readOk(smf(1, 100,
                   {TrackBuilder().event(100, {0x90, 60, 1}).end(), TrackBuilder().tempo(100, 2000000).end(),
                    TrackBuilder().event(100, {0x90, 61, 1}).event(100, {0x90, 62, 1}).end()}));
    ASSERT_EQ(f.events.size(), 3u);
    EXPECT_DOUBLE_EQ(eventSeconds(f, f.events[0]), 0.5);
    EXPECT_DOUBLE_EQ(eventSeconds(f, f.events[1]), 0.5);
    EXPECT_DOUBLE_EQ(eventSeconds(f, f.events[2]), 2.5);
}

TEST(MidiFileTest, EventsAtTheSameTimeKeepTrackOrderThenTheirOrderInTheTrack) {
    const MidiFile f = readOk(smf(1, 96,
                                  {TrackBuilder().event(10, {0x90, 1, 1}).event(0, {0x80, 2, 1}).end(),
                                   TrackBuilder().event(5, {0x90, 3, 1}).event(5, {0x90, 4, 1}).end(),
                                   TrackBuilder().event(10, {0x80, 5, 1}).event(0, {0x90, 6, 1}).end()}));
    std::vector<int> notes;
    std::vector<int> tracks;
    for (const MidiFileEvent& e : f.events) {
        notes.push_back(static_cast<int>(e.message >> 8 & 0x7F));
        tracks.push_back(e.track);
    }
    EXPECT_EQ(notes, (std::vector<int>{3, 1, 2, 4, 5, 6}));
    EXPECT_EQ(tracks, (std::vector<int>{1, 0, 0, 1, 2, 2}));
}

TEST(MidiFileTest, FramePositionsAreExactOnFrameBoundaries) {
    // 441 ticks per quarter at 500000 us: one tick is 50 frames at 44100 exactly, which floating point
    // arithmetic can land just above (and so one frame late).
    TrackBuilder t;
    for (std::uint32_t delta : {1u, 1u, 3u, 1000u, 123457u}) t.event(delta, {0x90, 60, 1});
    const MidiFile f = readOk(smf(0, 441, {t.end()}));
    EXPECT_EQ(frames(f, 44100), (std::vector<std::uint64_t>{50, 100, 250, 50250, 6223100}));

    // One microsecond more per quarter and every event is a fraction past its frame.
    const MidiFile g = readOk(smf(0, 441, {TrackBuilder().tempo(0, 500001).event(1, {0x90, 60, 1}).end()}));
    EXPECT_EQ(frames(g, 44100), (std::vector<std::uint64_t>{51}));

    MidiFile far;
    far.timeDenominator = 1;
    MidiFileEvent e;
    e.timeNumerator = ~std::uint64_t{0};
    EXPECT_EQ(eventFrame(far, e, 44100), ~std::uint64_t{0});
}

TEST(MidiFileTest, SmpteDivisionCountsRealTime) {
    // 25 frames per second, 40 ticks per frame: one tick per millisecond. Tempo does not apply.
    const std::uint16_t smpte25 = static_cast<std::uint16_t>((0x100 - 25) << 8 | 40);
    const MidiFile f = readOk(
        smf(0, smpte25,
            {TrackBuilder().tempo(0, 123456).event(1, {0x90, 60, 1}).event(999, {0x80, 60, 0}).end()}));
    EXPECT_EQ(frames(f, 11025), (std::vector<std::uint64_t>{12, 11025}));

    // 29 means drop-frame time code, 30000/1001 frames per second.
    const std::uint16_t smpte29 = static_cast<std::uint16_t>((0x100 - 29) << 8 | 100);
    const MidiFile g = readOk(smf(0, smpte29, {TrackBuilder().event(3000, {0x90, 60, 1}).end()}));
    EXPECT_DOUBLE_EQ(eventSeconds(g, g.events[0]), 1.001);
    EXPECT_EQ(frames(g, 44100), (std::vector<std::uint64_t>{44145}));  // 44144.1 rounded up
}

TEST(MidiFileTest, OtherChunksALongerHeaderAndAMissingEndAreTolerated) {
    Bytes bytes = {'M', 'T', 'h', 'd', 0, 0, 0, 8, 0, 1, 0, 2, 0, 96, 0xAB, 0xCD};
    testing::appendChunk(bytes, "XFIH", Bytes(7, 0x90));
    testing::appendChunk(bytes, "MTrk", TrackBuilder().event(0, {0x90, 60, 1}).body());  // no end of track
    testing::appendChunk(bytes, "MTrk",
                         TrackBuilder().event(4, {0x90, 61, 1}).end().raw({0x00, 0x90, 0x3C}).body());
    const MidiFile f = readOk(bytes);
    EXPECT_EQ(messages(f), (std::vector<std::uint32_t>{packMidi(0x90, 60, 1), packMidi(0x90, 61, 1)}));
}

struct BadFile {
    Bytes bytes;
    const char* message;
};

Bytes withHeader(int format, int tracks, std::uint16_t division, std::initializer_list<Bytes> bodies) {
    Bytes out = testing::smfHeader(format, tracks, division);
    for (const Bytes& b : bodies) testing::appendChunk(out, "MTrk", b);
    return out;
}

TEST(MidiFileTest, MalformedFilesAreRefusedWithAClearMessage) {
    const Bytes good = TrackBuilder().event(0, {0x90, 60, 1}).end().body();
    Bytes cutChunk = testing::smfHeader(0, 1, 96);
    testing::appendChunk(cutChunk, "MTrk", good);
    cutChunk.resize(cutChunk.size() - 2);
    Bytes manyNotes = {0x00, 0x90, 0x3C, 0x40};  // then running status: 3 bytes a note, one too many
    for (std::size_t i = 0; i < kMaxMidiFileEvents; ++i)
        manyNotes.insert(manyNotes.end(), {0x00, 0x3C, 0x40});
    const BadFile cases[] = {
        {{}, "not a Standard MIDI File"},
        {{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96}, "not a Standard MIDI File"},
        {{'M', 'T', 'h', 'd', 0, 0, 0, 4, 0, 0, 0, 1}, "header chunk is too short (4 bytes)"},
        {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1}, "header chunk is cut short"},
        {withHeader(2, 1, 96, {good}), "format 2 (independent sequences) is not supported"},
        {withHeader(3, 1, 96, {good}), "unknown format 3"},
        {withHeader(1, 0, 96, {}), "announces no track"},
        {withHeader(0, 2, 96, {good, good}), "a format 0 file has one track, this one announces 2"},
        {withHeader(0, 1, 0, {good}), "time division is 0 ticks per quarter note"},
        {withHeader(0, 1, 0xE928, {good}), "unknown SMPTE frame rate in the time division (23 frames"},
        {withHeader(0, 1, 0xE700, {good}), "0 ticks per SMPTE frame"},
        {withHeader(1, 3, 96, {good, good}), "the header announces 3 tracks but the file holds 2"},
        {cutChunk, "track 1 is cut short (its chunk claims 8 bytes, 6 remain)"},
        {withHeader(1, 2, 96, {good, {0x00, 0x90, 0x3C}}), "track 2 ends inside an event"},
        {withHeader(0, 1, 96, {{0x00, 0x90}}), "track 1 ends inside an event"},
        {withHeader(0, 1, 96, {{0x00}}), "track 1 ends inside an event"},
        {withHeader(0, 1, 96, {{0x81}}), "track 1 ends inside an event"},
        {withHeader(0, 1, 96, {{0x00, 0xFF, 0x01, 0x10, 'a'}}), "track 1 ends inside an event"},
        {withHeader(0, 1, 96, {{0x00, 0xF0, 0x05, 1, 2}}), "track 1 ends inside an event"},
        {withHeader(0, 1, 96, {{0x00, 0x3C, 0x40}}),
         "track 1, byte 23: a data byte (0x3C) has no status byte"},
        {withHeader(0, 1, 96, {{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}}), "a delta time is longer than 4 bytes"},
        {withHeader(0, 1, 96, {{0x00, 0xFF, 0x01, 0x80, 0x80, 0x80, 0x80, 0x01}}),
         "a meta event's length is longer than 4 bytes"},
        {withHeader(0, 1, 96, {{0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}}),
         "a tempo event has 2 bytes instead of 3"},
        {withHeader(0, 1, 96, {{0x00, 0xFF, 0x51, 0x03, 0x00, 0x00, 0x00}}),
         "track 1, byte 26: a tempo of 0 microseconds per quarter note"},
        {withHeader(0, 1, 96, {manyNotes}), "more than 1000000 notes and tempo changes"},
        {withHeader(0, 1, 96, {{0x00, 0xF2, 0x01, 0x02}}),
         "the system message 0xF2 cannot appear in a MIDI file"},
        {withHeader(0, 1, 96, {{0x00, 0x90, 0x3C, 0x90}}), "expected a data byte, found 0x90"},
    };
    for (const BadFile& c : cases) {
        MidiFile out;
        out.events.push_back(MidiFileEvent{});  // must survive a refused read
        out.format = 7;
        std::string error;
        EXPECT_FALSE(readMidiFile(c.bytes.data(), c.bytes.size(), out, error)) << c.message;
        EXPECT_EQ(error.rfind("MIDI file: ", 0), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << "got: " << error << "\nwanted: " << c.message;
        EXPECT_EQ(out.events.size(), 1u);
        EXPECT_EQ(out.format, 7);
    }
}

TEST(MidiFileTest, EveryTruncationIsRefusedAndNoCorruptionCrashes) {
    const Bytes whole =
        smf(1, 96,
            {TrackBuilder().tempo(0, 400000).meta(0, 0x03, "name").end(), TrackBuilder()
                                                                              .event(0, {0x90, 60, 100})
                                                                              .event(200, {62, 90})
                                                                              .sysex(0, 0xF0, {1, 2, 0xF7})
                                                                              .event(20000, {0x80, 60, 0})
                                                                              .end()});
    ASSERT_EQ(readOk(whole).events.size(), 3u);
    for (std::size_t n = 0; n < whole.size(); ++n) {
        // An exact-size copy, so a read past the end is caught by the address sanitizer.
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        MidiFile out;
        std::string error;
        EXPECT_FALSE(readMidiFile(cut.data(), cut.size(), out, error)) << n << " bytes";
        EXPECT_EQ(error.rfind("MIDI file: ", 0), 0u) << error;
    }
    for (std::size_t i = 0; i < whole.size(); ++i) {
        for (std::uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
            Bytes bent = whole;
            bent[i] = value;
            MidiFile out;
            std::string error;
            if (!readMidiFile(bent.data(), bent.size(), out, error)) {
                EXPECT_EQ(error.rfind("MIDI file: ", 0), 0u) << error;
            }
        }
    }
}

}  // namespace
}  // namespace voltina
