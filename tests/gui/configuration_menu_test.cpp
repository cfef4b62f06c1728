// "Load a configuration" and "Save a configuration", and the configuration named on the command line:
// what is saved comes back whole, in the engine and on the panel; a file that is not a good configuration
// changes nothing and says why.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <random>
#include <set>

#include "app/audio_system_adapter.h"
#include "app/configuration_files.h"
#include "app/frame_window.h"
#include "app/program.h"
#include "app/program_parts.h"
#include "app/program_samples.h"
#include "config/configuration.h"
#include "dialogs/dialog_context.h"
#include "dialogs/file_list_dialog.h"
#include "engine/defaults.h"
#include "engine/render_frames.h"
#include "panel/cord_editor.h"
#include "panel/panel_cord_editor.h"
#include "panel/patch_bay.h"
#include "panel/picture_button.h"
#include "render/offline_render.h"
#include "resources/menu_template.h"
#include "resources/panel_template.h"
#include "tests/gui/gui_test_support.h"
#include "tests/gui/program_files_support.h"

namespace voltina::test {
namespace {

// Everything a configuration decides, as the engine holds it and as the panel shows it.
std::string describe(const EngineState& s, SynthPanel* panel) {
    std::string t = "rate " + std::to_string(s.rateParam) + "\n";
    char number[32];
    for (int k = 0; k < kOscillators; ++k) {
        std::snprintf(number, sizeof number, "%.9g", static_cast<double>(s.oscFreq[k]));
        t += "osc " + std::to_string(k) + " type " + std::to_string(s.oscType[k]) + " freq " + number +
             " shown " + panel->button(109 + k)->text().toStdString() + " lit";
        for (int type = 0; type < 4; ++type)
            t += " " + std::to_string(panel->picture(117 + k + 8 * type)->isLit());
        t += "\n";
    }
    for (int k = 0; k < kMixerChannels; ++k)
        t += "mix " + std::to_string(k) + " " + std::to_string(s.mixLevel[k]) + " " +
             std::to_string(s.mixPan[k]) + "\n";
    for (int in = 0; in < kJacks; ++in) {
        if (hasCord(s, in))
            t += "cord " + std::to_string(401 + s.cordSource[in]) + " " + std::to_string(301 + in) + "\n";
    }
    t += "used";
    for (int out = 0; out < kJacks; ++out) t += s.outputUsed[out] ? " " + std::to_string(401 + out) : "";
    t += "\nlamps";
    for (int id = 301; id <= 332; ++id) t += panel->picture(id)->isLit() ? " " + std::to_string(id) : "";
    for (int id = 401; id <= 432; ++id) t += panel->picture(id)->isLit() ? " " + std::to_string(id) : "";
    t += "\nwave " + panel->button(199)->text().toStdString() + " " +
         (s.waveSample ? std::to_string(s.waveSample->dataLength) : std::string("none")) + "\n";
    return t;
}

// A mono 8-bit sample, as the Wave player takes it at `rate` (an even length: no pad byte); 16 bits makes
// one it refuses.
void writeSample(const std::string& path, std::uint32_t bytes, std::uint32_t rate = 11025, int bits = 8) {
    std::string file;
    auto put = [&file](std::uint32_t v, int size) {
        for (int i = 0; i < size; ++i) file += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    file += "RIFF";
    put(36 + bytes, 4);
    file += "WAVEfmt ";
    put(16, 4);
    put(1, 2);  // PCM
    put(1, 2);  // mono
    put(rate, 4);
    put(rate * static_cast<std::uint32_t>(bits / 8), 4);  // bytes per second
    put(static_cast<std::uint32_t>(bits / 8), 2);         // block align
    put(static_cast<std::uint32_t>(bits), 2);
    file += "data";
    put(bytes, 4);
    for (std::uint32_t i = 0; i < bytes; ++i) file += static_cast<char>(128 + (i % 16) * 4);
    ASSERT_TRUE(writeWhole(path, file));
}

ModalDriver::Action pickFromList(const QString& name) {
    return [name](QWidget* w) {
        auto* list = w->findChild<QListWidget*>(QStringLiteral("list"));
        const QList<QListWidgetItem*> found =
            list ? list->findItems(name, Qt::MatchExactly) : QList<QListWidgetItem*>();
        if (!found.isEmpty()) list->setCurrentItem(found.first());
        if (auto* ok = w->findChild<QPushButton*>(QStringLiteral("ok"))) ok->click();
    };
}

std::string goodConfiguration(int version, const std::string& cords) {
    return "{\"voltina\": " + std::to_string(version) +
           ", \"rate\": 11025, \"oscillators\": ["
           "{\"type\": \"sawtooth\", \"frequency\": 220}, {\"type\": \"sine\", \"frequency\": 3},"
           "{\"type\": \"sine\", \"frequency\": 4}, {\"type\": \"random\", \"frequency\": 5},"
           "{\"type\": \"sine\", \"frequency\": 6}, {\"type\": \"sine\", \"frequency\": 7},"
           "{\"type\": \"sine\", \"frequency\": 8}, {\"type\": \"square\", \"frequency\": 9}],"
           "\"mixer\": [{\"level\": 1, \"pan\": 0}, {\"level\": 2, \"pan\": 5}, {\"level\": 3, \"pan\": 10},"
           "{\"level\": 4, \"pan\": 15}, {\"level\": 5, \"pan\": 20}, {\"level\": 6, \"pan\": 25},"
           "{\"level\": 7, \"pan\": 30}, {\"level\": 8, \"pan\": 35}], \"cords\": " +
           cords + "}";
}

class ConfigurationMenuTest : public ::testing::Test {
  protected:
    ConfigurationMenuTest() {
        ProgramWiring w = parts.wiring();
        w.services.midi = nullptr;
        frame = createMainWindow(state, audio, w.services);
        panel = frame->panel();
        panel->firstTick();
    }

    // Something other than the start-up patch on every control a configuration covers.
    void changeEverything(int variant) {
        for (int k = 0; k < kOscillators; ++k) {
            state.oscType[k] = (k + variant) % 4;
            state.oscFreq[k] = 10.25f * static_cast<float>(k + 1) + static_cast<float>(variant);
            state.mixLevel[k] = (k * 17 + variant) % 129;
            state.mixPan[k] = ((k + variant) * 5) % 105;
        }
        clearCords(state);
        plugCord(state, (3 + variant) % 8, 0);  // an oscillator into mixer 1
        plugCord(state, 17, 7);                 // panoramiker 1 into mixer 8
        plugCord(state, 8 + variant % 3, 12 + variant % 2);
        panel->refreshPanel();
    }

    void menu(int id) { frame->menuAction(id)->trigger(); }

    InTemporaryDirectory here;
    EngineState state;
    FakeAudio audio{state};
    std::vector<int> rateChanges;
    ProgramParts parts{state, audio,
                       [this](int rateParam) {
                           rateChanges.push_back(rateParam);
                           state.rateParam = rateParam;
                       },
                       MidiInputOptions{}};
    std::unique_ptr<FrameWindow> frame;
    SynthPanel* panel = nullptr;
    ModalDriver driver;
};

TEST(ConfigurationNames, FilesWithoutExtensionOrFolder) {
    EXPECT_EQ(configurationFileName("My patch.1"), "My_patch_1");
    EXPECT_EQ(configurationFileName("../etc/x"), "___etc_x");
    EXPECT_EQ(configurationFileName("drone-2_b"), "drone-2_b");
    EXPECT_EQ(configurationFileName("\xC3\xA9t\xC3\xA9"), "_t_");  // one "_" per character
    EXPECT_EQ(sampleNameFor("/a/b/LOOP.WAV", "/a/b"), "LOOP.WAV");
    EXPECT_EQ(sampleNameFor("/a/b/s/LOOP.WAV", "/a/b"), "s/LOOP.WAV");
    EXPECT_EQ(sampleNameFor("/a/LOOP.WAV", "/a/b"), "/a/LOOP.WAV");
    EXPECT_EQ(sampleNameFor("/a/bc/LOOP.WAV", "/a/b"), "/a/bc/LOOP.WAV");
}

// A configuration loaded over a patch that was never saved: one Undo brings back that patch, its
// sample included, on the panel as in the engine; Redo loads the configuration again; the menu says so.
TEST_F(ConfigurationMenuTest, UndoBringsBackThePatchAndTheSampleALoadReplaced) {
    writeSample(here.file("OTHER.WAV"), 300);
    writeSample(here.file("LOOP.WAV"), 500);
    changeEverything(1);
    parts.samples.selectWaveFile("OTHER.WAV");
    ASSERT_TRUE(parts.configurations.saveFile(here.file("other")));
    const std::string other = describe(state, panel);
    changeEverything(2);
    parts.samples.selectWaveFile("LOOP.WAV");
    panel->onCommand(ctl::kOscType0 + 3, panel->button(ctl::kOscType0 + 3));  // a gesture of its own
    const std::string mine = describe(state, panel);
    ASSERT_TRUE(parts.configurations.loadFile(here.file("other")));
    EXPECT_EQ(describe(state, panel), other);
    EXPECT_FALSE(panel->session().modified());
    EXPECT_EQ(frame->menuAction(cmd::kUndo)->text(), QStringLiteral("&Undo configuration load"));

    menu(cmd::kUndo);
    EXPECT_EQ(describe(state, panel), mine);
    EXPECT_TRUE(panel->session().modified());
    EXPECT_EQ(parts.samples.loadedPath(), here.file("LOOP.WAV"));
    EXPECT_EQ(frame->menuAction(cmd::kRedo)->text(), QStringLiteral("&Redo configuration load"));
    menu(cmd::kRedo);
    EXPECT_EQ(describe(state, panel), other);
    EXPECT_FALSE(panel->session().modified());
}

TEST_F(ConfigurationMenuTest, SavedAndLoadedBackTheEngineAndThePanelAreAsSaved) {
    writeSample(here.file("LOOP.WAV"), 500);
    changeEverything(1);
    parts.samples.selectWaveFile("LOOP.WAV");
    ASSERT_NE(state.waveSample, nullptr);
    const std::string saved = describe(state, panel);

    driver.then(ModalDriver::typeThenClick("My patch.1", "ok"));
    menu(901);
    ASSERT_EQ(driver.seen().size(), 1u);
    EXPECT_EQ(driver.seen()[0].title, "Save a configuration");
    Configuration onDisk;
    std::string error;
    ASSERT_TRUE(readConfigurationFile(here.file("My_patch_1"), onDisk, error)) << error;
    EXPECT_EQ(onDisk.wave, "LOOP.WAV");  // beside the configuration
    EXPECT_EQ(onDisk.cords.size(), 3u);

    changeEverything(2);
    parts.samples.freeWaveSample();
    panel->button(199)->setText(QString());
    ASSERT_NE(describe(state, panel), saved);

    driver.then(pickFromList("My_patch_1"));
    menu(900);
    ASSERT_EQ(driver.seen().size(), 2u);
    EXPECT_EQ(driver.seen()[1].title, "Chargement Configuration");
    EXPECT_EQ(describe(state, panel), saved);
    EXPECT_EQ(panel->button(199)->text(), QStringLiteral("LOOP.WAV"));
    EXPECT_TRUE(rateChanges.empty());
    EXPECT_TRUE(driver.idle());
}

TEST_F(ConfigurationMenuTest, ARateRiseAsksFirstAndNoChangesNothing) {
    changeEverything(3);
    state.rateParam = 44101;
    ASSERT_TRUE(parts.configurations.saveFile(here.file("fast")));
    state.rateParam = 11026;
    const std::string saved = describe(state, panel);
    changeEverything(1);
    const std::string before = describe(state, panel);

    driver.then(pickFromList("fast"));
    driver.then(ModalDriver::clickButtonText("No"));
    menu(900);
    ASSERT_EQ(driver.seen().size(), 2u);
    EXPECT_EQ(driver.seen()[1].text, kRate44100Question);
    EXPECT_EQ(describe(state, panel), before);
    EXPECT_TRUE(rateChanges.empty());

    driver.then(pickFromList("fast"));
    driver.then(ModalDriver::clickButtonText("Yes"));
    menu(900);
    EXPECT_EQ(rateChanges, std::vector<int>{44101});
    std::string expected = saved;
    expected.replace(0, std::string("rate 11026").size(), "rate 44101");
    // No sample in the configuration: the Wave button is emptied, as "No wave" empties it.
    expected.replace(expected.find("wave Wave none"), std::string("wave Wave none").size(), "wave  none");
    EXPECT_EQ(describe(state, panel), expected);

    // Back down to 11025 asks nothing, as the rate menu's 11025 does not.
    ASSERT_TRUE(writeWhole(here.file("slow"), goodConfiguration(1, "[]")));
    driver.then(pickFromList("slow"));
    menu(900);
    EXPECT_EQ(driver.seen().size(), 5u);
    EXPECT_EQ(rateChanges, (std::vector<int>{44101, 11026}));
}

TEST_F(ConfigurationMenuTest, ABadFileChangesNothingAndSaysWhy) {
    const std::pair<const char*, std::string> bad[] = {
        {"corrupt", goodConfiguration(1, "[[401, 301]").substr(0, 120)},
        {"newer", goodConfiguration(2, "[]")},
        {"badcord", goodConfiguration(1, "[[418, 309]]")},  // a panoramiker output outside the mixer
        {"twice", goodConfiguration(1, "[[401, 301], [402, 301]]")},
        {"huge", std::string(kMaxConfigurationBytes + 1, ' ')},
    };
    const std::pair<const char*, const char*> why[] = {
        {"corrupt", "corrupt:"},
        {"newer", "newer than this Voltina reads"},
        {"badcord", "plugged in the mixer"},
        {"twice", "already carries"},
        {"huge", "too large"},
    };
    writeSample(here.file("LOOP.WAV"), 300);
    changeEverything(2);
    parts.samples.selectWaveFile("LOOP.WAV");
    const std::string before = describe(state, panel);
    for (std::size_t i = 0; i < std::size(bad); ++i) {
        ASSERT_TRUE(writeWhole(here.file(bad[i].first), bad[i].second));
        driver.then(pickFromList(bad[i].first));
        driver.then(ModalDriver::clickButtonText("OK"));
        menu(900);
        const SeenDialog& message = driver.seen().back();
        EXPECT_EQ(message.title, "Voltina 3.10");
        EXPECT_EQ(message.icon, QMessageBox::Information);
        EXPECT_NE(message.text.find("nothing was changed"), std::string::npos) << message.text;
        EXPECT_NE(message.text.find(here.file(bad[i].first)), std::string::npos) << message.text;
        EXPECT_NE(message.text.find(why[i].second), std::string::npos) << message.text;
        EXPECT_EQ(describe(state, panel), before) << bad[i].first;
    }
    EXPECT_EQ(driver.seen().size(), 2 * std::size(bad));

    // A file that can no longer be read once it has been chosen: here a folder takes its place.
    ASSERT_TRUE(writeWhole(here.file("gone"), goodConfiguration(1, "[]")));
    driver.then([this](QWidget* list) {
        QFile::remove(QString::fromStdString(here.file("gone")));
        QDir(QString::fromStdString(here.path())).mkdir("gone");
        pickFromList("gone")(list);
    });
    driver.then(ModalDriver::clickButtonText("OK"));
    menu(900);
    EXPECT_NE(driver.seen().back().text.find("not a regular file"), std::string::npos)
        << driver.seen().back().text;
    EXPECT_EQ(describe(state, panel), before);
    EXPECT_TRUE(rateChanges.empty());
    EXPECT_TRUE(driver.idle());
}

TEST_F(ConfigurationMenuTest, CancelAndEmptyNamesDoNothing) {
    const std::string before = describe(state, panel);
    driver.then(ModalDriver::clickObject("cancel"));
    menu(900);
    driver.then(pickFromList("nothing selected"));
    menu(900);
    driver.then(ModalDriver::typeThenClick("name", "cancel"));
    menu(901);
    driver.then(ModalDriver::typeThenClick("", "ok"));
    menu(901);
    EXPECT_EQ(driver.seen().size(), 4u);
    EXPECT_TRUE(QDir(QString::fromStdString(here.path()))
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                    .isEmpty());
    EXPECT_EQ(describe(state, panel), before);
}

TEST_F(ConfigurationMenuTest, AConfigurationWithoutSampleUnloadsTheSampleAndOneThatCannotBeWrittenSaysSo) {
    ASSERT_TRUE(writeWhole(here.file("plain"), goodConfiguration(1, "[[401, 301]]")));
    writeSample(here.file("LOOP.WAV"), 300);
    parts.samples.selectWaveFile("LOOP.WAV");
    ASSERT_EQ(panel->button(199)->text(), QStringLiteral("LOOP.WAV"));
    ASSERT_TRUE(parts.configurations.loadFile(here.file("plain")));
    EXPECT_EQ(state.waveSample, nullptr);
    EXPECT_EQ(panel->button(199)->text(), QString());
    EXPECT_EQ(state.oscType[0], kSawtooth);
    EXPECT_EQ(panel->button(109)->text(), QStringLiteral("220.00"));

    // Saved from elsewhere, the sample is named by its whole path.
    QDir(QString::fromStdString(here.path())).mkdir("sub");
    parts.samples.selectWaveFile("LOOP.WAV");
    ASSERT_TRUE(parts.configurations.saveFile(here.file("sub/elsewhere")));
    Configuration c;
    std::string error;
    ASSERT_TRUE(readConfigurationFile(here.file("sub/elsewhere"), c, error)) << error;
    EXPECT_EQ(c.wave, here.file("LOOP.WAV"));

    QDir(QString::fromStdString(here.path())).mkdir("taken");
    driver.then(ModalDriver::typeThenClick("taken", "ok"));
    driver.then(ModalDriver::clickButtonText("OK"));
    menu(901);
    ASSERT_EQ(driver.seen().size(), 2u);
    EXPECT_NE(driver.seen()[1].text.find("Cannot save the configuration"), std::string::npos)
        << driver.seen()[1].text;
    EXPECT_TRUE(QFileInfo(QString::fromStdString(here.file("taken"))).isDir());
}

// A sample the player refuses: the message box keeps the short message and names the file and what was
// wrong with it on its detail line.
TEST_F(ConfigurationMenuTest, RefusedSamplesNameTheFileAndTheReason) {
    writeSample(here.file("BAD16.WAV"), 300, 11025, 16);
    writeSample(here.file("FAST.WAV"), 300, 22050);
    writeSample(here.file("CUT.WAV"), 300);
    ASSERT_TRUE(QFile::resize(QString::fromStdString(here.file("CUT.WAV")), 44 + 100));
    ASSERT_TRUE(writeWhole(here.file("TEXT.WAV"), "not a sound"));
    QDir(QString::fromStdString(here.path())).mkdir("FOLDER.WAV");
    const struct {
        const char* file;
        const char* text;
        const char* detail;
    } cases[] = {
        {"GONE.WAV", "Error opening file", "GONE.WAV: No such file or directory"},
        {"FOLDER.WAV", "Error opening file", "FOLDER.WAV: not a regular file"},
        {"TEXT.WAV", "Error reading file (1)", "TEXT.WAV: not a RIFF WAVE file"},
        {"BAD16.WAV", "The sound must be mono, 8 bits, 11025 samples per second",
         "BAD16.WAV: 16-bit samples"},
        {"FAST.WAV", "The sound must be mono, 8 bits, 11025 samples per second", "FAST.WAV: 22050 Hz"},
        {"CUT.WAV", "Error reading file (5)",
         "CUT.WAV: data chunk ends past the file (300 bytes announced, 100 present)"},
    };
    for (const auto& c : cases) {
        driver.then(ModalDriver::clickButtonText("OK"));
        parts.samples.selectWaveFile(c.file);
        const SeenDialog& box = driver.seen().back();
        EXPECT_EQ(box.text, c.text) << c.file;
        EXPECT_EQ(box.detail, c.detail) << c.file;
        EXPECT_EQ(panel->button(199)->text(), QStringLiteral("?-?"));
    }
    EXPECT_EQ(driver.seen().size(), std::size(cases));
}

// The command line's configuration, loaded at set-up in place of the default patch.
class StartupConfigurationTest : public ::testing::Test {
  protected:
    std::unique_ptr<FrameWindow> start(const std::string& path) {
        ProgramWiring w = parts.wiring(path);
        w.services.midi = nullptr;
        return createMainWindow(state, audio, w.services, w.startup);
    }
    InTemporaryDirectory here;
    EngineState state;
    FakeAudio audio{state};
    ProgramParts parts{state, audio, [](int) { ADD_FAILURE() << "no rate change at start-up"; },
                       MidiInputOptions{}};
    ModalDriver driver;
};

TEST_F(StartupConfigurationTest, StartsWithTheConfigurationItsRateAndItsSample) {
    QDir(QString::fromStdString(here.path())).mkdir("patches");
    std::string text = goodConfiguration(1, "[[401, 301], [432, 302]]");
    text.insert(text.size() - 1, ", \"wave\": \"LOOP.WAV\"");
    ASSERT_TRUE(writeWhole(here.file("patches/drone"), text));
    writeSample(here.file("patches/LOOP.WAV"), 400);

    auto frame = start(here.file("patches/drone"));
    EXPECT_TRUE(driver.seen().empty());
    SynthPanel* panel = frame->panel();
    panel->firstTick();
    EXPECT_EQ(state.oscType[0], kSawtooth);
    EXPECT_EQ(state.oscFreq[1], 3.0f);
    EXPECT_EQ(state.mixPan[7], 35);
    EXPECT_FALSE(hasCord(state, 6));  // the default patch's 418 -> 307 is gone
    EXPECT_TRUE(hasCord(state, 1));
    ASSERT_NE(state.waveSample, nullptr);
    EXPECT_EQ(state.waveSample->dataLength, 400u);
    EXPECT_EQ(state.outputUsed[31], 1);
    EXPECT_EQ(panel->button(199)->text(), QStringLiteral("LOOP.WAV"));
    EXPECT_EQ(panel->button(109)->text(), QStringLiteral("220.00"));
    EXPECT_TRUE(panel->picture(133)->isLit());  // oscillator 1's sawtooth button
    EXPECT_TRUE(panel->picture(432)->isLit());
}

TEST_F(StartupConfigurationTest, TheRateIsBuiltStraightAwayWithoutAQuestion) {
    std::string text = goodConfiguration(1, "[]");
    text.replace(text.find("11025"), 5, "44100");
    ASSERT_TRUE(writeWhole(here.file("fast"), text));
    auto frame = start(here.file("fast"));
    EXPECT_TRUE(driver.seen().empty());
    EXPECT_EQ(state.rateParam, 44101);
    EXPECT_EQ(state.sineTable.size(), 44101u);  // the audio was built for it, once
    EXPECT_EQ(audio.count("initAudio"), 1);
}

// Started from a configuration, the real audio layer plays the ring that voltina-render builds for that
// rate: a rate chosen from the menu's length above 11025 Hz, never the start-up length of another rate.
TEST(StartupRing, TheConfigurationsRateGetsTheRingVoltinaRenderPlays) {
    for (const int rate : {11025, 22050, 44100}) {
        SCOPED_TRACE(rate);
        InTemporaryDirectory here;
        std::string text = goodConfiguration(1, "[[401, 301]]");
        text.replace(text.find("11025"), 5, std::to_string(rate));
        ASSERT_TRUE(writeWhole(here.file("patch"), text));
        EngineState state;
        AudioSystemAdapter audio(state, AudioBackend::Null);
        ProgramParts parts{state, audio, [](int) { ADD_FAILURE() << "no rate change at start-up"; },
                           MidiInputOptions{}};
        ProgramWiring w = parts.wiring(here.file("patch"));
        w.services.midi = nullptr;
        auto frame = createMainWindow(state, audio, w.services, w.startup);
        EXPECT_EQ(state.rateParam, rate + 1);
        EXPECT_EQ(state.ring.ringBytes(),
                  rate == 11025 ? startupRingBytes(rate + 1) : rateChangeRingBytes(rate + 1));
        // Longer than the 100 ms between two renders, with room to spare.
        EXPECT_GT(state.ring.ringFrames(), rate / 10 + rate / 20);
        frame.reset();
        audio.setHooks(nullptr);
    }
}

TEST_F(StartupConfigurationTest, ABadConfigurationSaysWhyAndTheDefaultPatchStays) {
    ASSERT_TRUE(writeWhole(here.file("broken"), goodConfiguration(7, "[]")));
    driver.then(ModalDriver::clickButtonText("OK"));
    auto frame = start(here.file("broken"));
    ASSERT_EQ(driver.seen().size(), 1u);
    EXPECT_NE(driver.seen()[0].text.find("newer than this Voltina reads"), std::string::npos);
    EXPECT_EQ(state.rateParam, 11026);
    EXPECT_EQ(state.oscType[0], kSquare);
    EXPECT_EQ(state.oscFreq[0], 256.0f);
    EXPECT_TRUE(hasCord(state, 6));

    // A missing file too.
    EngineState other;
    FakeAudio otherAudio{other};
    driver.then(ModalDriver::clickButtonText("OK"));
    ProgramParts otherParts{other, otherAudio, [](int) {}, MidiInputOptions{}};
    ProgramWiring w = otherParts.wiring(here.file("absent"));
    w.services.midi = nullptr;
    auto otherFrame = createMainWindow(other, otherAudio, w.services, w.startup);
    ASSERT_EQ(driver.seen().size(), 2u);
    EXPECT_NE(driver.seen()[1].text.find(here.file("absent")), std::string::npos);
    EXPECT_EQ(other.oscFreq[0], 256.0f);
}

}  // namespace
}  // namespace voltina::test

namespace voltina::test {
namespace {

// Random sequences of sample loads (good, refused, vanished), "No wave", rate changes, cord moves and
// configurations saved and loaded, against what the panel promises after each step: the cords drawn are
// the engine's routing, an output carries at most one cord, the lamps show both, a loaded sample sounds
// where it is plugged, the Wave button names only a loaded sample, and whatever the panel shows is saved
// and loaded back as it was.
class PanelConsistencyTest : public ::testing::Test {
  protected:
    PanelConsistencyTest() {
        ProgramWiring w = parts.wiring();
        w.services.midi = nullptr;
        frame = createMainWindow(state, audio, w.services);
        panel = frame->panel();
        panel->firstTick();
        answer.setInterval(5);
        QObject::connect(&answer, &QTimer::timeout, [this] { answerModal(); });
        answer.start();
        writeSample(here.file("L11025.WAV"), 300, 11025);
        writeSample(here.file("L22050.WAV"), 302, 22050);
        writeSample(here.file("L44100.WAV"), 304, 44100);
        writeSample(here.file("BAD16.WAV"), 300, 11025, 16);
    }

    // What the audio layer's rate change does to the panel and the engine.
    void changeRate(int rateParam) {
        static_cast<AudioHooks*>(panel)->freeWaveSample();
        state.rateParam = rateParam;
        audio.initAudio();
        static_cast<AudioHooks*>(panel)->updateRateChecks(rateParam);
    }

    // Message boxes get OK (Yes for the rate questions); the sample list gets `listChoice`: a name, "" for
    // Cancel, "-" for "No wave". GONE.WAV disappears between the listing and the choice.
    void answerModal() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == answered.data()) return;
        answered = modal;
        ++modals;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(box->text().toStdString());
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            (yes ? yes : box->button(QMessageBox::Ok))->click();
            return;
        }
        auto* list = dynamic_cast<FileListDialog*>(modal);
        if (!list) return;
        if (listChoice.empty()) {
            list->cancelButton()->click();
        } else if (listChoice == "-") {
            list->noWaveButton()->click();
        } else {
            pickFromList(QString::fromStdString(listChoice))(list);
        }
        if (listChoice == "GONE.WAV") QFile::remove(QString::fromStdString(here.file("GONE.WAV")));
    }

    int cordsFrom(int output) const {
        int n = 0;
        for (int in = 0; in < kJacks; ++in) n += hasCord(state, in) && state.cordSource[in] == output;
        return n;
    }

    void check(const std::string& step) {
        SCOPED_TRACE(step);
        const PatchBay* bay = patchBayOf(panel->cordEditor());
        ASSERT_NE(bay, nullptr);
        const HeldCord held = bay->heldCord();
        for (int out = 0; out < kJacks; ++out) {
            ASSERT_LE(cordsFrom(out), 1) << "output " << 401 + out;
            // An output in use feeds a cord, and a cord's output is in use: nothing drawn is dead.
            EXPECT_EQ(state.outputUsed[out] == 1, cordsFrom(out) == 1) << "output " << 401 + out;
            const bool heldHere = held == HeldCord::FixedAtOutput && bay->pickedOutput() == out;
            EXPECT_EQ(panel->picture(401 + out)->isLit(), state.outputUsed[out] == 1 || heldHere)
                << "output " << 401 + out;
        }
        for (int in = 0; in < kJacks; ++in) {
            const bool heldHere = held == HeldCord::FixedAtInput && bay->pickedInput() == in;
            EXPECT_EQ(panel->picture(301 + in)->isLit(), hasCord(state, in) || heldHere)
                << "input " << 301 + in;
        }
        EXPECT_EQ(panel->picture(189)->isLit(), state.speakerOn == 1);  // H.P shows whether it plays
        const QString caption = panel->button(199)->text();
        if (state.waveSample) {
            EXPECT_EQ(caption.toStdString(), fileBaseName(parts.samples.name().waveFileName));
        } else {
            EXPECT_TRUE(caption.isEmpty() || caption == "?-?" || caption == "Wave") << caption.toStdString();
        }
        if (state.waveSample && cordsFrom(kOutWave) == 1) {
            std::set<float> heard;
            std::uint8_t frame[2];
            for (int k = 0; k < 40; ++k) {
                renderFrame(state, frame);
                heard.insert(state.outValue[kOutWave]);
            }
            EXPECT_GT(heard.size(), 1u) << "the plugged sample is silent";
        }
        if (held == HeldCord::None) {
            const std::string shown = describe(state, panel);
            ASSERT_TRUE(parts.configurations.saveFile(here.file("roundtrip"))) << messages.back();
            ASSERT_TRUE(parts.configurations.loadFile(here.file("roundtrip")));
            std::string back = describe(state, panel);
            std::string expected = shown;
            // Without a sample the button's leftover text ("?-?", "Wave") is not part of a patch.
            if (!state.waveSample) {
                expected = expected.substr(0, expected.rfind("\nwave ")) + "\nwave  none\n";
            }
            EXPECT_EQ(back, expected);
        }
    }

    InTemporaryDirectory here;
    EngineState state;
    FakeAudio audio{state};
    ProgramParts parts{state, audio, [this](int rateParam) { changeRate(rateParam); }, MidiInputOptions{}};
    std::unique_ptr<FrameWindow> frame;
    SynthPanel* panel = nullptr;
    QTimer answer;
    QPointer<QWidget> answered;
    std::string listChoice;
    std::vector<std::string> messages;
    int modals = 0;
};

TEST_F(PanelConsistencyTest, RandomLoadsRatesAndCordMovesKeepThePanelTheEnginesRoutingAndSavable) {
    const std::string samples[] = {
        "L11025.WAV", "L22050.WAV", "L44100.WAV", "BAD16.WAV", "GONE.WAV", "-", ""};
    // The jacks the Wave output meets most: its own, the mixer's, an oscillator's and the auto-pan's.
    const int jacks[] = {432, 432, 432, 301, 302, 303, 308, 401, 402, 418, 309, 327, 321, 411};
    const int rates[] = {11026, 22051, 44101};
    for (unsigned run = 1; run <= 6; ++run) {
        std::mt19937 random(run);
        auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        check("start, run " + std::to_string(run));
        for (int step = 0; step < 60; ++step) {
            writeSample(here.file("GONE.WAV"), 300, static_cast<std::uint32_t>(state.rateParam - 1));
            listChoice = samples[pick(std::size(samples))];
            std::string did;
            switch (pick(8)) {
                case 0:
                case 1:
                    did = "Wave button, list answer '" + listChoice + "'";
                    panel->button(199)->click();
                    break;
                case 2: {
                    const int rate = rates[pick(3)];
                    did = "rate " + std::to_string(rate - 1);
                    changeRate(rate);
                    break;
                }
                case 3: {
                    // A configuration whose sample went missing since it was saved.
                    if (patchBayOf(panel->cordEditor())->heldCord() != HeldCord::None) continue;
                    did = "configuration with a missing sample";
                    ASSERT_TRUE(parts.configurations.saveFile(here.file("missing")));
                    Configuration c;
                    std::string error;
                    ASSERT_TRUE(readConfigurationFile(here.file("missing"), c, error));
                    if (!c.hasWave) continue;
                    const QString sample = QString::fromStdString(here.file(c.wave));
                    ASSERT_TRUE(QFile::rename(sample, sample + ".away"));
                    parts.configurations.loadFile(here.file("missing"));
                    ASSERT_TRUE(QFile::rename(sample + ".away", sample));
                    break;
                }
                default: {
                    const int jack = jacks[pick(std::size(jacks))];
                    did = "jack " + std::to_string(jack) + ", list answer '" + listChoice + "'";
                    panel->button(jack)->click();
                    break;
                }
            }
            check("run " + std::to_string(run) + " step " + std::to_string(step) + ": " + did);
            if (HasFatalFailure() || ::testing::Test::HasFailure()) return;
        }
        // The next run starts from the start-up patch, nothing held.
        panel->cordEditor()->dropHeldCord();
        clearCords(state);
        setDefaultPatch(state);
        panel->refreshPanel();
    }
    EXPECT_GT(modals, 50);  // the lists and messages were met, not skipped
}

}  // namespace
}  // namespace voltina::test
