// A take's performance plays the take again: random edits and MIDI messages at random frames, on a
// patch that has already played a while, are captured as the program captures them (the edit observer
// of the patch session, the MIDI voice's messages, the frame count of the take), then the performance
// is read back and rendered from its start state, and the bytes are the take's. The same holds for the
// performance spooled to disk and recovered after the program was killed in the middle of an event.

#include "render/performance_capture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "engine/defaults.h"
#include "engine/midi_keys.h"
#include "media/file_bytes.h"
#include "media/wav_file.h"
#include "patch/controller_map.h"
#include "patch/controls.h"
#include "patch/patch_session.h"
#include "render/offline_render.h"
#include "render/offline_start.h"
#include "render/panel_events.h"
#include "render/render_inputs.h"
#include "render/sample_check.h"
#include "tests/support/render_in_memory.h"

namespace voltina {
namespace {

namespace fs = std::filesystem;

class TakeFolder {
  public:
    TakeFolder() {
        path_ = fs::temp_directory_path() /
                ("voltina-take-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~TakeFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string folder() const { return path_.string(); }

  private:
    static inline int counter_ = 0;
    fs::path path_;
};

// A mono 8-bit sample file whose bytes step by `step`.
std::string writeSample(const TakeFolder& folder, const std::string& name, int length, int step, int rate) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * step);
    WaveFormat format;
    format.channels = 1;
    format.samplesPerSec = static_cast<std::uint32_t>(rate);
    format.avgBytesPerSec = static_cast<std::uint32_t>(rate);
    format.blockAlign = 1;
    const std::string path = folder.file(name);
    std::string error;
    EXPECT_TRUE(writeWaveFile(path, format, data.data(), data.size(), error)) << error;
    return path;
}

struct Take {
    std::vector<std::uint8_t> bytes;
    std::string performance;
    std::uint64_t lastEventFrame = 0;
};

// Plays a random patch for a while, then records a take of random gestures, MIDI notes and undos.
Take recordRandomTake(std::mt19937& rng, const TakeFolder& folder, int rateParam, int stereoOut,
                      const std::string& spoolPath) {
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::vector<std::string> samples = {writeSample(folder, "A.WAV", 701, 3, rateParam - 1),
                                        writeSample(folder, "B.WAV", 97, 11, rateParam - 1)};
    auto s = std::make_unique<EngineState>();
    setEngineDefaults(*s);
    prepareAudioTables(*s, rateParam, stereoOut);
    startSoundOffline(*s);
    s->midiOpen = 1;
    PatchSession session(*s);
    PerformanceCapture capture;
    session.setEditObserver([&capture](const Edit& edit) { capture.edit(edit); });
    OfflineRenderer renderer(*s);
    // The render gate runs on every event, also those the Edit menu's update sends while an edit is
    // being recorded: a render may come between an edit and the end of its recording.
    bool recording = false;
    std::vector<std::uint8_t>* takeBytes = nullptr;
    session.setHistoryObserver([&] {
        if (!recording || pick(3) != 0) return;
        renderer.renderTo(renderer.position() + static_cast<std::uint64_t>(pick(500)), {}, {},
                          [&](const std::uint8_t* bytes, std::size_t size) {
                              takeBytes->insert(takeBytes->end(), bytes, bytes + size);
                              return true;
                          });
    });

    std::uint64_t takeStart = 0;
    Take take;
    takeBytes = &take.bytes;
    const FrameSink sink = [&](const std::uint8_t* bytes, std::size_t size) {
        if (recording) take.bytes.insert(take.bytes.end(), bytes, bytes + size);
        return true;
    };
    const auto gesture = [&]() {
        switch (pick(16)) {
            case 0:
                session.apply(Edit::frequencyKnob(pick(8), pick(2) ? 50.0f : -0.01f));
                break;
            case 1:
                session.apply(Edit::typedFrequency(pick(8), static_cast<float>(pick(6000)) + 0.25f));
                break;
            case 2:
            case 3:
                session.apply(Edit::waveType(pick(8), pick(4)));  // random oscillators among them
                break;
            case 4:
                session.apply(Edit::levelKnob(pick(8), pick(2) ? 10.0f : -1.0f));
                break;
            case 5:
                session.apply(Edit::panKnob(pick(8), pick(2) ? 1 : -1));
                break;
            case 6:
            case 7:
                session.apply(Edit::plug(pick(32), pick(32)));  // often refused, and then not an edit
                break;
            case 8: {
                // The patch bay takes out only a cord that is there.
                const int input = pick(32);
                const int output = pick(32);
                if (hasCord(*s, input))
                    session.apply(Edit::unplugAtInput(input));
                else if (s->outputUsed[output] == 1)
                    session.apply(Edit::unplugAtOutput(output));
                break;
            }
            case 9: {
                std::shared_ptr<SampleRecord> sample;
                const std::string& path = samples[static_cast<std::size_t>(pick(2))];
                EXPECT_EQ(loadCheckedSample(path, rateParam, {}, sample), "");
                session.apply(Edit::loadSample(sample, path));
                break;
            }
            case 10:
                pick(2) ? session.undo() : session.redo();
                break;
            case 11:
                session.apply(pick(3) ? Edit::sync() : Edit::removeSample());
                break;
            case 12: {  // a controller learnt: nothing plays, what it moves later is captured
                const Control control = pick(2) ? Control::Level : Control::Frequency;
                session.apply(Edit::controllers(
                    learnController(session.controllers(), {pick(3), 0, control, pick(8)}), 0));
                break;
            }
            case 13: {  // a control change, as the panel plays it through the bindings
                const std::uint32_t message = packMidi(0xB0 + pick(16), pick(3), pick(128));
                Edit move;
                ControllerMap map(session.controllers());
                if (map.translate(message, move) != nullptr) session.apply(move, {"MIDI controller", 500});
                capture.midi(message);
                break;
            }
            default: {
                const int note = 40 + pick(40);
                const std::uint32_t message = packMidi(pick(2) ? 0x90 : 0x80 + pick(16), note, pick(128));
                onMidiMessage(*s, message);
                capture.midi(message);
                break;
            }
        }
    };

    // The patch plays before the take, so the take starts from phases, draws and keys of its own.
    session.apply(Edit::plug(kOutOscA + 1, kInMixer + 1));
    session.apply(Edit::waveType(1, kRandom));
    session.apply(Edit::plug(kOutMidiSaw, kInMixer + 2));
    session.apply(Edit::plug(kOutWave, kInMixer + 3));
    const int before = 5 + pick(20);
    for (int i = 0; i < before; ++i) {
        renderer.renderTo(renderer.position() + static_cast<std::uint64_t>(pick(2000)), {}, {}, sink);
        gesture();
    }

    capture.begin(spoolPath, [&] { return renderer.position() - takeStart; });
    gesture();  // between the take's start and its first frame: part of the start state
    takeStart = renderer.position();
    capture.captureStart(*s, session.samplePath());
    recording = true;
    const int steps = 20 + pick(60);
    for (int i = 0; i < steps; ++i) {
        // Often several gestures at one frame, and often none for a long while.
        if (pick(3) != 0)
            renderer.renderTo(renderer.position() + static_cast<std::uint64_t>(pick(3000)), {}, {}, sink);
        gesture();
        take.lastEventFrame = renderer.position() - takeStart;
    }
    renderer.renderTo(renderer.position() + 1 + static_cast<std::uint64_t>(pick(2000)), {}, {}, sink);
    const std::uint64_t frames = renderer.position() - takeStart;
    capture.end();
    take.performance = capture.text(frames);
    EXPECT_EQ(take.bytes.size(), 2 * frames);
    return take;
}

// What voltina-render does with NAME.vtk.
std::vector<std::uint8_t> renderPerformance(const std::string& text, const std::string& folder,
                                            std::uint64_t* framesOut = nullptr) {
    Performance p;
    std::string error;
    EXPECT_TRUE(parsePerformance(text, p, error, folder)) << error;
    if (!p.start) return {};
    prepareAudioTables(*p.start, p.start->rateParam, p.start->stereoOut);
    resumeSoundOffline(*p.start);
    if (framesOut) *framesOut = p.frames;
    return renderOffline(*p.start, p.frames, {}, p.events);
}

TEST(PerformanceCapture, RandomTakesRenderAgainByteForByte) {
    for (unsigned trial = 1; trial <= 12; ++trial) {
        SCOPED_TRACE("random sequence " + std::to_string(trial));
        std::mt19937 rng(trial);
        TakeFolder folder;
        const int rates[] = {11026, 22051, 44101};
        const Take take = recordRandomTake(rng, folder, rates[trial % 3], trial % 4 == 0 ? 0 : 1, {});
        const std::vector<std::uint8_t> again = renderPerformance(take.performance, folder.folder());
        ASSERT_EQ(again.size(), take.bytes.size());
        const auto differ = std::mismatch(again.begin(), again.end(), take.bytes.begin());
        EXPECT_TRUE(differ.first == again.end())
            << "first differing frame " << (differ.first - again.begin()) / 2 << " of " << again.size() / 2
            << " in\n"
            << take.performance;
    }
}

TEST(PerformanceCapture, ASpooledPerformanceCutShortByAKillRendersWhatTheTakeKept) {
    for (unsigned trial = 21; trial <= 28; ++trial) {
        SCOPED_TRACE("random sequence " + std::to_string(trial));
        std::mt19937 rng(trial);
        TakeFolder folder;
        const std::string spool = folder.file("take-1.vtk");
        const Take take = recordRandomTake(rng, folder, kDefaultRateParam, 1, spool);
        std::vector<std::uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(readFileBytes(spool, 1u << 24, bytes, error)) << error;
        std::string spooled(bytes.begin(), bytes.end());
        // The kill came in the middle of writing the last event: up to its last byte is gone.
        const std::size_t lastEvent = spooled.rfind("\n  {\"frame\"");
        ASSERT_NE(lastEvent, std::string::npos);
        spooled.resize(lastEvent + 1 + rng() % (spooled.size() - lastEvent - 1));
        // The WAV on disk is behind the performance: it ends at or before the last event.
        const std::uint64_t kept = take.lastEventFrame == 0 ? 0 : rng() % take.lastEventFrame;
        std::string recovered;
        ASSERT_TRUE(closeSpooledPerformance(spooled, kept, recovered));
        std::uint64_t frames = 0;
        const std::vector<std::uint8_t> again = renderPerformance(recovered, folder.folder(), &frames);
        EXPECT_EQ(frames, kept);
        ASSERT_EQ(again.size(), 2 * kept);
        EXPECT_TRUE(std::equal(again.begin(), again.end(), take.bytes.begin()));
        // Not even the start state: nothing to recover.
        std::string none;
        EXPECT_FALSE(closeSpooledPerformance(spooled.substr(0, spooled.find("\"events\"")), kept, none));
    }
}

// Events that bring one file, under any of its names, share one load of it; a render's samples are
// bounded together, and the sample that passes the bound is named.
TEST(PerformanceCapture, EventsShareEachSampleFileWithinABound) {
    TakeFolder folder;
    writeSample(folder, "A.WAV", 701, 3, 11025);
    writeSample(folder, "B.WAV", 97, 11, 11025);
    fs::create_symlink("A.WAV", folder.file("LINK.WAV"));
    auto start = std::make_unique<EngineState>();
    setEngineDefaults(*start);
    const std::string text = R"({"voltina-events": 1, "events": [{"frame": 1, "sample": "A.WAV"}, )"
                             R"({"frame": 2, "sample": "LINK.WAV"}, {"frame": 3, "sample": "B.WAV"}]})";
    for (const std::uint64_t bound : {701 + 97, 701 + 96}) {
        RenderInputs inputs(bound);
        std::vector<PanelEvent> events;
        std::string error;
        const bool read =
            parsePanelEvents(text, *start, events, error, {folder.folder(), kDefaultRateParam, &inputs});
        EXPECT_EQ(read, bound == 701 + 97) << error;
        if (read) {
            EXPECT_EQ(events[0].edit.patch->sample, events[1].edit.patch->sample);
        } else {
            EXPECT_NE(error.find("B.WAV: the samples of one render hold at most"), std::string::npos)
                << error;
        }
    }
}

}  // namespace
}  // namespace voltina
