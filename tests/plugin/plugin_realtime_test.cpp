// The plugin's run() in a host on lilv: whatever the block sizes (1 to 8192, changing from block to
// block), with notes, parameter changes and a configuration load arriving, it never allocates, locks,
// waits, sleeps, touches a file or prints, at the engine's rate and when converting to another.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "patch/controls.h"
#include "tests/plugin/plugin_fixture.h"
#include "tests/plugin/realtime_probe.h"
#include "tests/support/test_patches.h"

namespace voltina::test {
namespace {

class ProbeWatch : public RunWatch {
  public:
    void enter() override { openProbeWindow(); }
    void leave() override {
        const ProbeCounts c = closeProbeWindow();
        total.allocations += c.allocations;
        total.locks += c.locks;
        total.waits += c.waits;
        total.files += c.files;
        total.prints += c.prints;
        if (total.first.empty()) total.first = c.first;
    }
    ProbeCounts total;
};

TEST(PluginRealTime, TheProbeSeesAnAllocation) {
    openProbeWindow();
    void* volatile p = std::malloc(24);
    const ProbeCounts c = closeProbeWindow();
    std::free(p);
    EXPECT_EQ(c.allocations, 1);
    EXPECT_EQ(c.first, "malloc");
}

class PluginRealTime : public ::testing::TestWithParam<int> {};

TEST_P(PluginRealTime, RunNeverAllocatesLocksWaitsOrTouchesAFile) {
    const int hostRate = GetParam();
    PluginFiles files;
    const std::string config = files.writeConfiguration("every.json", files.everyModule(44100));
    Configuration other = files.everyModule(44100);
    other.oscType[1] = kSquare;
    other.controllers = {{7, 0, Control::Level, 3}, {74, 0, Control::Frequency, 1}};
    const std::string second = files.writeConfiguration("other.json", other);
    const std::string tune = files.writeTune("tune.mid");

    TestHost host;
    std::string error;
    ASSERT_TRUE(host.instantiate(hostRate, error)) << error;
    host.play(16, {16}, {HostEvent::setPath(0, config)});

    std::mt19937 random(static_cast<unsigned>(hostRate));
    std::uniform_int_distribution<std::uint32_t> length(1, 8192);
    std::vector<std::uint32_t> blocks(300);
    for (std::uint32_t& b : blocks) b = length(random);
    blocks[0] = 1;  // both ends of the range, then anything between
    blocks[1] = 8192;
    std::vector<HostEvent> events = files.tuneEvents(tune, hostRate, 16);
    events.push_back(HostEvent::setFloat(30000, "osc2-frequency", 77.25f));
    events.push_back(HostEvent::setInt(30001, "channel4-pan", 35));
    events.push_back(HostEvent::setPath(40000, second));
    events.push_back(HostEvent::setInt(90000, "osc6-type", 3));
    events.push_back(HostEvent::note(95000, 0x92, 40, 100));
    // Controllers the second configuration binds, the fine part of a 14-bit one among them.
    const int numbers[] = {7, 39, 74};
    for (int k = 0; k < 64; ++k)
        events.push_back(
            HostEvent::note(41000 + 100 * static_cast<std::uint64_t>(k), 0xB0, numbers[k % 3], 2 * k));
    // The window's edits, whole patches among them; cords it moved are kept when the transport starts.
    EngineState patch;
    everyModulePatch(patch);
    patch.mixPan[7] = 100;
    PanelPatch undone = capturePatch(patch, "");
    undone.mixLevel[2] = 5;
    undone.oscType[1] = kSquare;
    events.push_back(HostEvent::windowEdit(50000, Edit::unplugAtInput(3)));
    events.push_back(HostEvent::windowEdit(50001, Edit::levelKnob(2, -3.0f)));
    events.push_back(HostEvent::windowEdit(52000, Edit::plug(8, 3)));
    events.push_back(HostEvent::windowEdit(53000, Edit::unplugAtOutput(8)));
    events.push_back(HostEvent::windowEdit(54000, Edit::removeSample()));
    events.push_back(HostEvent::windowEdit(85000, Edit::restore(undone)));
    events.push_back(HostEvent::windowEdit(86000, Edit::loadConfiguration(undone)));
    // The transport starts, stops and starts again: the patch starts again each time.
    events.push_back(HostEvent::transport(60000, 1.0, 0));
    events.push_back(HostEvent::transport(70000, 0.0, 10000));
    events.push_back(HostEvent::transport(80000, 1.0, 0));
    std::stable_sort(events.begin(), events.end(),
                     [](const HostEvent& a, const HostEvent& b) { return a.frame < b.frame; });

    ProbeWatch watch;
    host.setWatch(&watch);
    host.play(static_cast<std::uint64_t>(hostRate) * 3, blocks, events);
    host.setWatch(nullptr);

    EXPECT_EQ(watch.total.allocations, 0) << "first: " << watch.total.first;
    EXPECT_EQ(watch.total.locks, 0) << "first: " << watch.total.first;
    EXPECT_EQ(watch.total.waits, 0) << "first: " << watch.total.first;
    EXPECT_EQ(watch.total.files, 0) << "first: " << watch.total.first;
    EXPECT_EQ(watch.total.prints, 0) << "first: " << watch.total.first;
    EXPECT_TRUE(host.logged().empty()) << host.logged().front();
    // The second configuration did arrive, inside the watched blocks.
    EXPECT_EQ(host.notified().at("configuration"), second);
    EXPECT_EQ(host.notified().at("osc2-type"), "1");
}

INSTANTIATE_TEST_SUITE_P(HostRates, PluginRealTime, ::testing::Values(44100, 48000));

}  // namespace
}  // namespace voltina::test
