// Voltina's LV2 instrument in a host on lilv: what it plays equals voltina-render byte for byte whatever
// the host's block sizes, a parameter change equals the events file's edit at the same frame, and a
// saved state brings back the same sound in a new instance.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/presets/presets.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "patch/controls.h"
#include "plugin/plugin_edits.h"
#include "plugin/plugin_uris.h"
#include "plugin/ui_link.h"
#include "tests/media/smf_builder.h"
#include "tests/plugin/plugin_fixture.h"

namespace voltina::test {
namespace {

// The frames played before a configuration load takes effect: the load is asked for in the first
// block and the worker's answer applied after it.
constexpr std::uint64_t kLoadBlock = 16;

std::vector<std::uint32_t> randomBlocks(unsigned trial) {
    std::mt19937 random(trial);
    std::uniform_int_distribution<std::uint32_t> length(1, 8192);
    std::vector<std::uint32_t> blocks(200);
    for (std::uint32_t& b : blocks) b = length(random);
    return blocks;
}

// Where two renders first part, for a message a person can read.
::testing::AssertionResult sameBytes(const std::vector<std::uint8_t>& played,
                                     const std::vector<std::uint8_t>& rendered) {
    if (played.size() != rendered.size())
        return ::testing::AssertionFailure()
               << played.size() << " bytes played, " << rendered.size() << " rendered";
    for (std::size_t i = 0; i < played.size(); ++i)
        if (played[i] != rendered[i])
            return ::testing::AssertionFailure()
                   << "frame " << i / 2 << (i % 2 ? " right" : " left") << ": played " << int(played[i])
                   << ", rendered " << int(rendered[i]);
    return ::testing::AssertionSuccess();
}

std::vector<HostEvent> merged(std::vector<HostEvent> a, const std::vector<HostEvent>& b) {
    a.insert(a.end(), b.begin(), b.end());
    std::stable_sort(a.begin(), a.end(),
                     [](const HostEvent& x, const HostEvent& y) { return x.frame < y.frame; });
    return a;
}

// Instantiates the plugin at `rate` and loads `config` through the worker in a first block.
void loadIn(TestHost& host, double rate, const std::string& config, bool synchronousWorker = false) {
    std::string error;
    ASSERT_TRUE(host.instantiate(rate, error)) << error;
    host.setSynchronousWorker(synchronousWorker);
    host.play(kLoadBlock, {kLoadBlock}, {HostEvent::setPath(0, config)});
}

class PluginPlays : public ::testing::TestWithParam<int> {};

TEST_P(PluginPlays, LikeVoltinaRenderWhateverTheBlocks) {
    const int rate = GetParam();
    PluginFiles files;
    const std::string config = files.writeConfiguration("every.json", files.everyModule(rate));
    const std::string tune = files.writeTune("tune.mid");
    const std::uint64_t frames = static_cast<std::uint64_t>(rate) * 3 / 2;
    const std::vector<std::uint8_t> rendered = files.render(config, tune, frames);
    ASSERT_EQ(rendered.size(), 2 * frames);
    const std::vector<HostEvent> notes = files.tuneEvents(tune, rate, kLoadBlock);

    // The last row works as Ardour does while it exports: the load, and the free of the patch it
    // replaces, happen inside run().
    const struct {
        std::vector<std::uint32_t> blocks;
        bool synchronousWorker;
    } patterns[] = {{{1}, false}, {{7}, false}, {{64}, false}, {{4096}, false}, {randomBlocks(rate), true}};
    for (const auto& [blocks, synchronousWorker] : patterns) {
        SCOPED_TRACE("blocks of " + std::to_string(blocks[0]) + (blocks.size() > 1 ? " and others" : "") +
                     (synchronousWorker ? ", synchronous worker" : ""));
        TestHost host;
        loadIn(host, rate, config, synchronousWorker);
        host.play(frames, blocks, notes);
        EXPECT_TRUE(sameBytes(host.playedBytes(kLoadBlock), rendered));
        // The host's controls show the loaded patch.
        EXPECT_EQ(host.notified().at("configuration"), config);
        EXPECT_EQ(host.notified().at("osc1-frequency"), "256");
        EXPECT_EQ(host.notified().at("osc5-type"), "3");
        EXPECT_EQ(host.notified().at("channel8-level"), "123");
        EXPECT_TRUE(host.logged().empty()) << host.logged().front();
    }
}

// A bounce: the host's transport starts rolling from the session's start after the patch has played a
// while, stopped. From that frame the plugin plays what voltina-render plays from its start, however long
// it played before, whichever way the host runs its worker and whatever its blocks: at a rate the engine
// does not run at too, two bounces are the same bytes.
TEST(PluginTransport, RollingStartsThePatchAgain) {
    PluginFiles files;
    const std::string tune = files.writeTune("tune.mid");
    std::map<int, double> heard;
    for (const int rate : {44100, 48000}) {
        const std::string config = files.writeConfiguration("every.json", files.everyModule(44100));
        const std::uint64_t frames = 30000;
        std::vector<std::vector<std::uint8_t>> bounces;
        for (const auto& [prelude, synchronousWorker] : {std::pair{777, false}, std::pair{5000, true}}) {
            const std::vector<std::uint32_t> blocks =
                synchronousWorker ? randomBlocks(prelude) : std::vector<std::uint32_t>{512};
            SCOPED_TRACE(std::to_string(rate) + " Hz after " + std::to_string(prelude) + " frames");
            TestHost host;
            // A host that hands answers over twice must not have patches installed or freed twice.
            host.setDuplicateResponses(true);
            loadIn(host, rate, config, synchronousWorker);
            host.play(static_cast<std::uint64_t>(prelude), randomBlocks(prelude),
                      files.tuneEvents(tune, rate, kLoadBlock));
            const std::uint64_t start = host.frame() + 100;
            host.play(100 + frames, blocks,
                      merged({HostEvent::transport(start, 1.0, 0)}, files.tuneEvents(tune, rate, start)));
            bounces.push_back(host.playedBytes(start));
            // The first frame heard, less the latency the plugin reports, is where the engine's first
            // sound falls on the host's timeline.
            std::size_t first = start;
            while (first < host.left().size() && std::fabs(host.left()[first]) < 0.02f) ++first;
            heard[rate] = static_cast<double>(first - start) - host.latency();
        }
        EXPECT_TRUE(sameBytes(bounces[0], bounces[1])) << rate << " Hz";
        if (rate == 44100) {
            EXPECT_TRUE(sameBytes(bounces[0], files.render(config, tune, frames)));
        }
    }
    EXPECT_NEAR(heard[48000], heard[44100] * 48000 / 44100, 1.5);
}

// A host that compensates for the plugin's latency (Ardour as it exports) runs it stopped for that long
// before the roll, the position moving on, and sends the roll's first notes then: the bounce starts with
// that pre-roll and holds them, the same bytes however long the session played before.
TEST(PluginTransport, APreRollStartsTheBounce) {
    PluginFiles files;
    Configuration voice;  // the MIDI voice into the mixer: silent but for the notes
    voice.rate = 44100;
    voice.oscFreq.fill(100.0f);
    voice.mixLevel.fill(80);
    voice.mixPan.fill(50);
    voice.cords = {{429, 301}};
    const std::string config = files.writeConfiguration("voice.json", voice);
    std::vector<std::vector<std::uint8_t>> bounces;
    for (const std::uint64_t prelude : {3000u, 7777u}) {
        TestHost host;
        loadIn(host, 48000, config);
        host.play(prelude, {512}, {});
        const auto latency = static_cast<std::int64_t>(host.latency());
        const std::int64_t preRoll = (latency / 1024 + 1) * 1024;
        const std::uint64_t start = host.frame();
        std::vector<HostEvent> events;
        for (std::int64_t at = -preRoll; at < 20000; at += 1024)
            events.push_back(HostEvent::transport(start + (at + preRoll), at < 0 ? 0.0 : 1.0, at));
        events.push_back(HostEvent::transport(start + (preRoll - latency), 0.0, -latency));
        events.push_back(HostEvent::note(start + (preRoll - latency), 0x90, 69, 100));
        host.play(static_cast<std::uint64_t>(preRoll) + 20000, {1024}, merged(events, {}));
        bounces.push_back(host.playedBytes(start));
        const std::vector<float>& left = host.left();
        EXPECT_GT(*std::max_element(left.begin() + static_cast<std::ptrdiff_t>(start + preRoll), left.end()),
                  0.1f)
            << "the note for the roll's first frame is not heard";
    }
    EXPECT_TRUE(sameBytes(bounces[0], bounces[1]));
}

TEST(PluginStartUp, WithoutAConfigurationPlaysTheStartUpPatch) {
    PluginFiles files;
    const std::uint64_t frames = 30000;
    TestHost host;
    std::string error;
    ASSERT_TRUE(host.instantiate(11025, error)) << error;
    host.play(frames, randomBlocks(11), {});
    EXPECT_TRUE(sameBytes(host.playedBytes(), files.render("", "", frames)));
}

INSTANTIATE_TEST_SUITE_P(Rates, PluginPlays, ::testing::Values(11025, 22050, 44100));

TEST(PluginParameters, ChangeAtAFrameIsTheEventsFileEditAtThatFrame) {
    const int rate = 22050;
    PluginFiles files;
    const std::string config = files.writeConfiguration("every.json", files.everyModule(rate));
    const std::string tune = files.writeTune("tune.mid");
    // Each parameter kind, with values the control's gesture alters: a typed frequency over the entry's
    // top, a pan between two steps (73 from the host, 70 in the file, where only steps can be written).
    std::ofstream(files.path("events.json")) << R"({"voltina-events": 1, "events": [
        {"frame": 5000, "oscillator": 3, "typed": 300.5},
        {"frame": 5000, "oscillator": 5, "typed": 6000},
        {"frame": 7777, "channel": 2, "level": 20},
        {"frame": 9001, "channel": 5, "pan": 70},
        {"frame": 12000, "oscillator": 1, "type": "sawtooth"},
        {"frame": 14000, "unplug": 304},
        {"frame": 14500, "plug": [409, 304]},
        {"frame": 15000, "channel": 3, "level-knob": -10},
        {"frame": 16000, "sync": true},
        {"frame": 17000, "no-wave": true}]})";
    const std::uint64_t frames = 20000;
    const std::vector<std::uint8_t> rendered = files.render(config, tune, frames, files.path("events.json"));
    // A refused file whose name would drive a terminal, and paths refused before any file is read: each
    // is said in the host's log, escaped, and the patch plays on.
    const std::string broken = files.path("broken\x1b[31m.json");
    std::ofstream(broken) << R"({"voltina": 1, "rate": 22050, "oscillators": [)";

    const std::uint64_t at = kLoadBlock;
    const std::vector<HostEvent> changes = {
        HostEvent::setPath(at + 3000, broken),
        HostEvent::setPath(at + 3001, ""),
        HostEvent::setPath(at + 3002, std::string(4097, 'x')),
        HostEvent::setString(at + 3003, config),
        HostEvent::setFloat(at + 5000, "osc3-frequency", 300.5f),
        HostEvent::setFloat(at + 5000, "osc5-frequency", 6000.0f),
        HostEvent::setInt(at + 7777, "channel2-level", 20),
        HostEvent::setInt(at + 9001, "channel5-pan", 73),
        HostEvent::setInt(at + 12000, "osc1-type", 2),
        // The window's edits, and what it may not send: a plug that breaks the patch bay's rules, an
        // edit of a kind no window sends, bytes of no edit's length.
        HostEvent::windowEdit(at + 14000, Edit::unplugAtInput(3)),
        HostEvent::windowEdit(at + 14200, Edit::plug(19, 3)),
        HostEvent::windowEdit(at + 14500, Edit::plug(8, 3)),
        HostEvent::windowEdit(at + 15000, Edit::levelKnob(2, -10.0f)),
        HostEvent::window(at + 15500, kWindowEditUri, "\x0e\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 24),
        HostEvent::window(at + 15600, kWindowPatchEditUri, "\x0f", 1),
        HostEvent::windowEdit(at + 16000, Edit::sync()),
        HostEvent::windowEdit(at + 17000, Edit::removeSample()),
    };
    TestHost host;
    loadIn(host, rate, config);
    host.play(frames, randomBlocks(7), merged(files.tuneEvents(tune, rate, at), changes));
    EXPECT_TRUE(sameBytes(host.playedBytes(kLoadBlock), rendered));
    EXPECT_EQ(host.notified().at("osc5-frequency"), "5000");
    EXPECT_EQ(host.notified().at("channel5-pan"), "70");
    EXPECT_EQ(host.notified().at("configuration"), config);
    EXPECT_EQ(host.notified().at("channel3-level"), std::to_string(60 + 9 * 2 - 10));
    // "No wave" is kept by the state too.
    const std::string saved = host.saveState(files.path(""));
    EXPECT_EQ(saved.find("sample-file"), std::string::npos) << saved;
    EXPECT_NE(saved.find("configuration-text"), std::string::npos) << saved;
    const std::vector<std::string> said = {
        "broken\\x1B[31m.json", "empty configuration path", "4097 bytes",     "other than a file path",
        "patch bay's rules",    "edit of 24 bytes",         "edit of 1 bytes"};
    ASSERT_EQ(host.logged().size(), said.size());
    for (std::size_t i = 0; i < said.size(); ++i)
        EXPECT_NE(host.logged()[i].find(said[i]), std::string::npos) << host.logged()[i];
}

// At a rate the engine does not run at, a change (the host's or the window's) acts a fixed delay after
// its host frame, whatever the blocks: a sine let through at several frames (whole periods apart) is heard
// the same number of frames later each time, as late as the plugin says.
TEST(PluginParameters, AtAConvertedRateActAFixedDelayAfterTheirHostFrame) {
    PluginFiles files;
    Configuration sine;
    sine.rate = 44100;
    sine.oscFreq.fill(100.0f);
    sine.mixPan.fill(50);
    sine.cords = {{401, 301}};
    const std::string config = files.writeConfiguration("sine.json", sine);
    std::vector<HostEvent> changes;
    // 17 periods of 100 Hz: 8160 frames at the host's rate, 7497 at the engine's.
    // Every other one is the window's own edit of the knob.
    for (std::uint64_t on = 3000; on < 60000; on += 8160) {
        const bool window = changes.size() % 4 == 2;
        changes.push_back(window ? HostEvent::windowEdit(on, Edit::level(0, 128))
                                 : HostEvent::setInt(on, "channel1-level", 128));
        changes.push_back(window ? HostEvent::windowEdit(on + 2000, Edit::level(0, 0))
                                 : HostEvent::setInt(on + 2000, "channel1-level", 0));
    }
    TestHost host;
    loadIn(host, 48000, config);
    host.play(64000, randomBlocks(3), changes);
    std::vector<std::size_t> delays;
    for (std::size_t i = 0; i < changes.size(); i += 2) {
        std::size_t heard = changes[i].frame;
        while (heard < host.left().size() && std::fabs(host.left()[heard]) < 0.01f) ++heard;
        delays.push_back(heard - changes[i].frame);
    }
    const auto [shortest, longest] = std::minmax_element(delays.begin(), delays.end());
    EXPECT_LE(*longest - *shortest, 1u) << "heard from " << *shortest << " to " << *longest << " frames late";
    EXPECT_NEAR(static_cast<double>(*shortest), host.latency(), 8);
}

// The MIDI file's control changes through a configuration's controller bindings are the events file's
// edits at their frames, in voltina-render and in the plugin, which tells the host the values it took.
TEST(PluginControllers, MovesAreTheEventsFilesEditsAtTheirFrames) {
    const int rate = 22050;
    PluginFiles files;
    Configuration every = files.everyModule(rate);
    const std::string plain = files.writeConfiguration("every.json", every);
    every.controllers = {{7, 0, Control::Level, 1},
                         {74, 2, Control::Frequency, 2},
                         {20, 0, Control::WaveType, 0},
                         {10, 0, Control::Pan, 4}};
    const std::string bound = files.writeConfiguration("bound.json", every);
    // 32 ticks at 96 a quarter and 120 a minute are 3675 frames.
    using voltina::testing::TrackBuilder;
    const voltina::testing::Bytes midi =
        voltina::testing::smf(0, 96,
                              {TrackBuilder()
                                   .event(0, {0x90, 69, 100})
                                   .event(32, {0xB0, 7, 0})
                                   .event(0, {0xB1, 74, 127})
                                   .event(0, {0xB0, 74, 64})  // not its channel
                                   .event(32, {0xB0, 7, 63})
                                   .event(0, {0xB0, 39, 127})  // 7's fine part
                                   .event(32, {0xB3, 20, 100})
                                   .event(0, {0xB0, 10, 4})
                                   .event(0, {0xB0, 121, 0})  // never bound
                                   .event(32, {0xB1, 74, 64})
                                   .event(32, {0xB0, 7, 127})
                                   .end()});
    std::ofstream(files.path("moves.mid"), std::ios::binary)
        .write(reinterpret_cast<const char*>(midi.data()), static_cast<std::streamsize>(midi.size()));
    std::ofstream(files.path("moves.json")) << R"({"voltina-events": 1, "events": [
        {"frame": 3675, "channel": 2, "level": 0},
        {"frame": 3675, "oscillator": 3, "frequency": 5500},
        {"frame": 7350, "channel": 2, "level": 63},
        {"frame": 7350, "channel": 2, "level": 64},
        {"frame": 11025, "oscillator": 1, "type": "random"},
        {"frame": 11025, "channel": 5, "pan": 5},
        {"frame": 14700, "oscillator": 3, "frequency": 7.81},
        {"frame": 18375, "channel": 2, "level": 128}]})";
    const std::uint64_t frames = 20000;
    const std::vector<std::uint8_t> rendered = files.render(bound, files.path("moves.mid"), frames);
    EXPECT_TRUE(
        sameBytes(files.render(plain, files.path("moves.mid"), frames, files.path("moves.json")), rendered));
    EXPECT_FALSE(sameBytes(files.render(plain, files.path("moves.mid"), frames), rendered));

    TestHost host;
    loadIn(host, rate, bound);
    host.play(frames, randomBlocks(5), files.tuneEvents(files.path("moves.mid"), rate, kLoadBlock));
    EXPECT_TRUE(sameBytes(host.playedBytes(kLoadBlock), rendered));
    EXPECT_EQ(host.notified().at("channel2-level"), "128");
    EXPECT_EQ(host.notified().at("osc3-frequency"), "7.80999994");  // 7.81 as a float
    EXPECT_EQ(host.notified().at("osc1-type"), "3");
    EXPECT_EQ(host.notified().at("channel5-pan"), "5");
    EXPECT_TRUE(host.logged().empty()) << host.logged().front();
}

// What comes over the window's link is taken whole, in any pieces, or refused in words with nothing of it
// used: a window (or a plugin) that sends garbage never has it applied.
TEST(PluginWindowLink, MessagesAreTakenWholeOrRefusedInWords) {
    const EditBody sync{static_cast<std::int32_t>(EditKind::Sync), 0, 0, 0, 0, 0.0f};
    const std::string good = linkFrame(LinkMessage::Edit, &sync, sizeof sync);
    const struct {
        std::string bytes;
        int taken;
        const char* refusal;
    } rows[] = {
        {good + good, 2, ""},
        {good.substr(0, 5), 0, ""},  // the rest not yet come
        {linkFrame(static_cast<LinkMessage>(9), "x", 1), 0, "unknown type 9"},
        {linkFrame(LinkMessage::Panel, &sync, sizeof sync), 0, "type 3 came with 24 bytes"},
        {good + linkFrame(LinkMessage::Title, std::string(2000, 'a').data(), 2000), 1, "2000 bytes"},
    };
    for (const auto& row : rows) {
        LinkReader reader;
        for (char c : row.bytes) reader.take(&c, 1);
        LinkMessage type;
        std::vector<char> body;
        int taken = 0;
        while (reader.next(type, body)) ++taken;
        EXPECT_EQ(taken, row.taken) << row.refusal;
        EXPECT_NE(reader.broken().find(row.refusal), std::string::npos) << reader.broken();
        EXPECT_EQ(reader.broken().empty(), *row.refusal == '\0');
    }
}

TEST(PluginState, RestoredInANewInstanceSoundsTheSameWithoutTheFiles) {
    const int rate = 11025;
    PluginFiles files;
    const Configuration every = files.everyModule(rate);
    const std::string config = files.writeConfiguration("every.json", every);
    const std::string tune = files.writeTune("tune.mid");
    const std::uint64_t frames = 20000;

    TestHost first;
    loadIn(first, rate, config);
    // A cord the window took out, which no parameter holds, is saved too.
    first.play(5000, randomBlocks(3),
               {HostEvent::setInt(kLoadBlock + 1234, "channel1-level", 10),
                HostEvent::windowEdit(kLoadBlock + 2000, Edit::unplugAtInput(3))});
    const std::string saved = first.saveState(files.path(""));
    ASSERT_FALSE(saved.empty());

    // What the saved panel plays, from its start: the configuration with the level and cord changed.
    Configuration changed = every;
    changed.mixLevel[0] = 10;
    changed.cords.erase(std::find(changed.cords.begin(), changed.cords.end(), std::make_pair(409, 304)));
    const std::vector<std::uint8_t> rendered =
        files.render(files.writeConfiguration("changed.json", changed), tune, frames);
    // The sample travels in the state, not beside it.
    std::filesystem::remove(files.path("EVERY.WAV"));
    std::filesystem::remove(config);

    TestHost second;
    std::string error;
    ASSERT_TRUE(second.instantiate(rate, error)) << error;
    ASSERT_TRUE(second.restoreState(saved));
    second.play(frames, randomBlocks(4), files.tuneEvents(tune, rate, 0));
    EXPECT_TRUE(sameBytes(second.playedBytes(), rendered));
    EXPECT_EQ(second.notified().at("channel1-level"), "10");
    EXPECT_TRUE(second.logged().empty()) << second.logged().front();
}

// Each factory preset, loaded as a host's preset menu loads it (its state, read by lilv), plays its
// configuration file as voltina-render does; the sample travels inside the preset.
TEST(PluginPresets, EachPlaysItsFactoryConfiguration) {
    struct Urids {
        std::vector<std::string> uris;
        static LV2_URID map(LV2_URID_Map_Handle handle, const char* uri) {
            auto& u = static_cast<Urids*>(handle)->uris;
            const auto at = std::find(u.begin(), u.end(), uri);
            if (at != u.end()) return static_cast<LV2_URID>(at - u.begin() + 1);
            u.emplace_back(uri);
            return static_cast<LV2_URID>(u.size());
        }
        static const char* unmap(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
            const auto& u = static_cast<Urids*>(handle)->uris;
            return urid >= 1 && urid <= u.size() ? u[urid - 1].c_str() : nullptr;
        }
    } urids;
    LV2_URID_Map map{&urids, Urids::map};
    LV2_URID_Unmap unmap{&urids, Urids::unmap};
    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    LilvNode* uri = lilv_new_uri(world, kVoltinaUri);
    LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    ASSERT_NE(plugin, nullptr);
    LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
    std::map<std::string, std::string> turtles;  // by the configuration file's name
    LILV_FOREACH(nodes, i, presets) {
        const LilvNode* preset = lilv_nodes_get(presets, i);
        lilv_world_load_resource(world, preset);
        LilvState* state = lilv_state_new_from_world(world, &map, preset);
        ASSERT_NE(state, nullptr) << lilv_node_as_uri(preset);
        char* text = lilv_state_to_string(world, &map, &unmap, state, lilv_node_as_uri(preset), nullptr);
        const std::string name = lilv_node_as_uri(preset);
        turtles[name.substr(name.find("#preset-") + 8) + ".json"] = text;
        lilv_free(text);
        lilv_state_free(state);
    }
    lilv_nodes_free(presets);
    lilv_node_free(presetClass);
    lilv_node_free(uri);
    lilv_world_free(world);
    ASSERT_EQ(turtles.size(), 5u);

    PluginFiles files;
    const std::string tune = files.writeTune("tune.mid");
    const std::uint64_t frames = 20000;
    for (const auto& [file, turtle] : turtles) {
        SCOPED_TRACE(file);
        TestHost host;
        std::string error;
        ASSERT_TRUE(host.instantiate(11025, error)) << error;
        ASSERT_TRUE(host.restoreState(turtle));
        host.play(frames, randomBlocks(static_cast<unsigned>(file.size())), files.tuneEvents(tune, 11025, 0));
        EXPECT_TRUE(
            sameBytes(host.playedBytes(), files.render(VOLTINA_FACTORY_DIR "/" + file, tune, frames)));
        EXPECT_TRUE(host.logged().empty()) << host.logged().front();
    }
}

}  // namespace
}  // namespace voltina::test
