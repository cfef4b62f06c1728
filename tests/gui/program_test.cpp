// The program as a whole: the frame window and its menu, the panel's set-up and first tick, the
// frequency entry and the sample choice through the panel, the close question.

#include "app/program.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "app/frame_window.h"
#include "dialogs/dialog_context.h"
#include "panel/panel_look.h"
#include "panel/panel_services.h"
#include "panel/picture_button.h"
#include "resources/menu_template.h"
#include "tests/gui/gui_test_support.h"

namespace voltina::test {
namespace {

class FakeMidi : public MidiInputService {
  public:
    int openMidiInput(QWidget*) override { return result; }
    void closeMidiInput() override { ++closes; }
    int result = 1;
    int closes = 0;
};

class ProgramTest : public ::testing::Test {
  protected:
    std::unique_ptr<FrameWindow> make(PanelServices services = {}) {
        return createMainWindow(state, audio, std::move(services));
    }
    EngineState state;
    FakeAudio audio{state};
};

TEST_F(ProgramTest, FrameWindowHasTheTitleTheMenuAndAFixedSize) {
    auto frame = make();
    frame->show();
    spin(30);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Voltina 3.10"));
    EXPECT_FALSE(frame->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(frame->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(frame->minimumSize(), frame->maximumSize());
    EXPECT_EQ(frame->panel()->size(), QSize(639, 442));
    EXPECT_EQ(frame->centralWidget(), frame->panel());
    EXPECT_EQ(frame->size().height(), 442 + frame->menuBar()->height());

    QStringList popups;
    for (QAction* a : frame->menuBar()->actions()) popups << a->text();
    EXPECT_EQ(popups, QStringList({"&System", "&Edit", "&View", "&Help"}));
    const std::pair<int, const char*> items[] = {
        {900, "&Load a configuration"}, {901, "&Save a configuration"}, {904, "&11025 samples"},
        {905, "&22050 samples"},        {906, "&44100 samples"},        {902, "&Quit Voltina"},
        {903, "&About Voltina"},        {909, "&Go to jack..."},        {910, "&Scope"}};
    for (auto [id, text] : items) {
        ASSERT_NE(frame->menuAction(id), nullptr) << id;
        EXPECT_EQ(frame->menuAction(id)->text(), QString::fromUtf8(text));
    }
    QMenu* system = frame->menuBar()->actions()[0]->menu();
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->actions().size(), 6);
    for (QAction* a : system->actions()) EXPECT_FALSE(a->isSeparator());
}

TEST_F(ProgramTest, SetUpRunsInItsOrderAndShowsTheMidiMessageAfterTheAudioOne) {
    FakeMidi midi;
    midi.result = 0;
    audio.initMessage = "Impossible to detect an audio card";
    audio.initResult = false;
    PanelServices services;
    services.midi = &midi;
    ModalDriver driver;
    driver.then(ModalDriver::clickButtonText("OK"));
    driver.then(ModalDriver::clickButtonText("OK"));
    QTemporaryDir here;
    const QString saved = QDir::currentPath();
    QDir::setCurrent(here.path());
    auto frame = make(services);
    QDir::setCurrent(saved);

    ASSERT_EQ(driver.seen().size(), 2u);
    EXPECT_EQ(driver.seen()[0].text, "Impossible to detect an audio card");
    EXPECT_EQ(driver.seen()[1].text, "Impossible to find MIDI input");
    EXPECT_EQ(driver.seen()[1].title, "Voltina 3.10");
    EXPECT_EQ(driver.seen()[1].icon, QMessageBox::Information);
    EXPECT_FALSE(audio.audioReady());
    EXPECT_EQ(audio.calls, (std::vector<std::string>{"initAudio", "startupTimer"}));
    // Defaults and the default patch.
    EXPECT_EQ(state.oscFreq[0], 256.0f);
    EXPECT_EQ(state.oscFreq[7], 170.0f);
    EXPECT_EQ(state.mixLevel[3], 80);
    EXPECT_EQ(state.mixPan[3], 50);
    EXPECT_EQ(state.oscType[0], kSquare);
    EXPECT_EQ(state.cordSource[6], 17);
    EXPECT_NE(state.sinusoiderTable[64], 0.0f);
    EXPECT_EQ(frame->panel()->focusWidget(), frame->panel()->control(189));
}

TEST_F(ProgramTest, NoMidiMessageWhenTheInputOpensOrThereIsNoMidiLayer) {
    FakeMidi midi;
    PanelServices services;
    services.midi = &midi;
    ModalDriver driver;
    auto frame = make(services);
    auto other = createMainWindow(state, audio, PanelServices{});
    spin(50);
    EXPECT_TRUE(driver.seen().empty());
    EXPECT_TRUE(audio.audioReady());
}

TEST_F(ProgramTest, FirstTickRefreshesChecksTheRateAndSwitchesTheSoundOn) {
    auto frame = make();
    frame->show();
    SynthPanel* panel = frame->panel();
    EXPECT_FALSE(panel->picture(321)->isLit());
    panel->firstTick();
    EXPECT_EQ(state.speakerOn, 1);
    EXPECT_TRUE(panel->picture(189)->isLit());
    EXPECT_TRUE(panel->picture(321)->isLit());  // 401 -> 321 of the default patch
    EXPECT_EQ(audio.count("startSound"), 1);
    EXPECT_TRUE(frame->menuAction(904)->isChecked());
    EXPECT_FALSE(frame->menuAction(905)->isChecked());
    EXPECT_FALSE(panel->control(200)->isEnabled());
    panel->showRate(44101);
    EXPECT_FALSE(frame->menuAction(904)->isChecked());
    EXPECT_TRUE(frame->menuAction(906)->isChecked());
}

// Without a card, or with a device that will not open, nothing plays: H.P stays dark and the record
// switch stays free, and a click on H.P says why when nothing else has.
TEST_F(ProgramTest, WithoutSoundTheSwitchesShowThatNothingPlays) {
    audio.initMessage = "Impossible to detect an audio card";
    audio.initResult = false;
    ModalDriver driver;
    driver.then(ModalDriver::clickButtonText("OK"));
    auto frame = make();
    SynthPanel* panel = frame->panel();
    panel->firstTick();
    ASSERT_EQ(driver.seen().size(), 1u);  // the start says it once
    EXPECT_EQ(state.speakerOn, 0);
    EXPECT_FALSE(panel->picture(189)->isLit());
    EXPECT_TRUE(panel->control(200)->isEnabled());

    driver.then(ModalDriver::clickButtonText("OK"));
    panel->picture(200)->click();
    panel->picture(189)->click();
    ASSERT_EQ(driver.seen().size(), 2u);
    EXPECT_EQ(driver.seen()[1].text, kNoSoundMessage);
    EXPECT_EQ(state.speakerOn, 0);
    EXPECT_FALSE(panel->picture(189)->isLit());
    EXPECT_TRUE(panel->picture(200)->isLit());  // armed for when the sound plays
    EXPECT_TRUE(panel->control(200)->isEnabled());

    // A card whose device does not open has shown its own message; the switch only goes dark.
    audio.setAudioReady(true);
    audio.opens = false;
    panel->picture(189)->click();
    EXPECT_EQ(driver.seen().size(), 2u);
    EXPECT_FALSE(panel->picture(189)->isLit());
    audio.opens = true;
    panel->picture(189)->click();
    EXPECT_TRUE(panel->picture(189)->isLit());
    EXPECT_EQ(state.speakerOn, 1);
    EXPECT_TRUE(driver.idle());
}

// The keyboard finds its way: Alt+S and Alt+H open the menus, Ctrl+Q asks "Finished ?" as Quit does, the
// control Space would operate wears a mark, and every jack names itself in its tip.
TEST_F(ProgramTest, KeysOpenTheMenusQuitAsksAndTheFocusIsMarked) {
    auto frame = make();
    frame->show();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    SynthPanel* panel = frame->panel();
    panel->firstTick();

    const std::pair<Qt::Key, int> menus[] = {{Qt::Key_S, 0}, {Qt::Key_E, 1}, {Qt::Key_V, 2}, {Qt::Key_H, 3}};
    for (auto [key, index] : menus) {
        QMenu* menu = frame->menuBar()->actions()[index]->menu();
        QTest::keyClick(frame.get(), key, Qt::AltModifier);
        spin(50);
        EXPECT_TRUE(menu->isVisible()) << index;
        menu->close();
        spin(20);
    }

    ModalDriver driver;
    driver.then(ModalDriver::clickButtonText("Cancel"));
    QTest::keyClick(frame.get(), Qt::Key_Q, Qt::ControlModifier);
    ASSERT_EQ(driver.seen().size(), 1u);
    EXPECT_EQ(driver.seen()[0].text, "Finished ?");
    EXPECT_FALSE(panel->isFinished());
    EXPECT_TRUE(frame->isVisible());

    auto marks = [](QWidget* control) {
        const QImage image = control->grab().toImage().convertToFormat(QImage::Format_RGB32);
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += QColor(image.pixel(x, y)) == kFocusMarkColour;
        return n;
    };
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    for (const int id : {189, 301, 432, 117, 101, 149, 157, 109, 199}) {  // 109, 199: plain buttons
        QWidget* control = panel->control(id);
        control->setFocus();
        ASSERT_TRUE(control->hasFocus()) << id;
        EXPECT_GT(marks(control), 8) << id;
        panel->control(198)->setFocus();  // Sync
        EXPECT_EQ(marks(control), 0) << id;
    }

    EXPECT_EQ(panel->control(301)->toolTip(), QStringLiteral("Mixer channel 1, input (301)"));
    EXPECT_EQ(panel->control(322)->toolTip(), QStringLiteral("Sinusoider 1, angle input (322)"));
    EXPECT_EQ(panel->control(421)->toolTip(), QStringLiteral("Oscillator 1, output 2 (421)"));
    EXPECT_EQ(panel->control(432)->toolTip(), QStringLiteral("Wave, output (432)"));
    QSet<QString> names;
    for (int id = 301; id <= 332; ++id) names.insert(panel->control(id)->toolTip());
    for (int id = 401; id <= 432; ++id) names.insert(panel->control(id)->toolTip());
    EXPECT_EQ(names.size(), 64);
    for (const QString& name : names)
        EXPECT_TRUE(name.contains(QRegularExpression(" \\([34][0-3][0-9]\\)$")));
}

TEST_F(ProgramTest, MenuCommandsReachTheirHandlers) {
    int loads = 0, saves = 0, helps = 0, rates = 0;
    PanelServices services;
    services.rateCommand = [&](int id) { rates += id == 905; };
    services.loadConfiguration = [&] { ++loads; };
    services.saveConfiguration = [&] { ++saves; };
    services.showHelp = [&] { ++helps; };
    auto frame = make(services);
    frame->menuAction(900)->trigger();
    frame->menuAction(901)->trigger();
    frame->menuAction(903)->trigger();
    frame->menuAction(905)->trigger();
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(helps, 1);
    EXPECT_EQ(rates, 1);
}

TEST_F(ProgramTest, CancelAtFinishedKeepsTheSoundOn) {
    auto frame = make();
    frame->show();
    frame->panel()->firstTick();
    ModalDriver driver;
    driver.then(ModalDriver::clickButtonText("Cancel"));
    EXPECT_FALSE(frame->close());
    ASSERT_EQ(driver.seen().size(), 1u);
    EXPECT_EQ(driver.seen()[0].text, "Finished ?");
    EXPECT_EQ(driver.seen()[0].title, "Voltina 3.10");
    EXPECT_EQ(driver.seen()[0].icon, QMessageBox::Question);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(state.speakerOn, 1);
    EXPECT_EQ(audio.count("stopSound"), 0);
}

TEST_F(ProgramTest, QuitAsksOnceStopsTheSoundAndClosesTheWindow) {
    auto frame = make();
    frame->show();
    frame->panel()->firstTick();
    ModalDriver driver;
    driver.then(ModalDriver::clickButtonText("OK"));
    frame->menuAction(902)->trigger();
    spin(50);
    EXPECT_EQ(driver.seen().size(), 1u);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(state.speakerOn, 0);
    EXPECT_EQ(audio.count("stopSound"), 1);
    EXPECT_TRUE(frame->panel()->isFinished());
}

// With changes not saved, Enter saves before quitting and Escape stays; only OK itself drops the changes.
TEST_F(ProgramTest, EnterAtFinishedWithChangesNotSavedSavesFirst) {
    int saves = 0;
    PanelServices services;
    services.saveBeforeQuit = [&] { return ++saves > 0; };
    auto frame = make(services);
    frame->show();
    SynthPanel* panel = frame->panel();
    panel->firstTick();
    panel->onCommand(117, panel->button(117));  // a change
    ASSERT_TRUE(panel->session().modified());
    const struct {
        Qt::Key key;
        int saves;
        bool finished;
    } rows[] = {{Qt::Key_Escape, 0, false}, {Qt::Key_Return, 1, true}};
    for (const auto& row : rows) {
        ModalDriver driver;
        driver.then([&row](QWidget* w) { QTest::keyClick(w, row.key); });
        panel->quit();
        ASSERT_EQ(driver.seen().size(), 1u);
        EXPECT_EQ(driver.seen()[0].detail, "The panel has changes that are not saved.");
        EXPECT_EQ(saves, row.saves) << row.key;
        EXPECT_EQ(panel->isFinished(), row.finished) << row.key;
    }
}

TEST_F(ProgramTest, ReleasingThePanelStopsTheSoundAndFreesTheTables) {
    FakeMidi midi;
    PanelServices services;
    services.midi = &midi;
    auto frame = make(services);
    ASSERT_TRUE(state.ring.allocated());
    state.waveSample = std::make_unique<SampleRecord>();
    frame.reset();
    EXPECT_EQ(audio.count("stopSound"), 1);
    EXPECT_EQ(midi.closes, 1);
    EXPECT_FALSE(state.ring.allocated());
    EXPECT_TRUE(state.sineTable.empty());
    EXPECT_EQ(state.waveSample, nullptr);
}

TEST_F(ProgramTest, TypedFrequenciesAreCheckedAndTheFocusGoesToTheSpeaker) {
    auto frame = make();
    frame->show();
    SynthPanel* panel = frame->panel();
    ModalDriver driver;
    driver.then(ModalDriver::typeThenClick("6000", "ok"));
    panel->button(112)->click();  // oscillator 3
    EXPECT_EQ(state.oscFreq[3], 5000.0f);
    EXPECT_EQ(panel->button(112)->text(), QStringLiteral("5000.00"));
    EXPECT_EQ(panel->focusWidget(), panel->control(189));

    for (const char* bad : {"0", "abc", "-20"}) {
        panel->control(101)->setFocus();
        driver.then(ModalDriver::typeThenClick(bad, "ok"));
        driver.then(ModalDriver::clickButtonText("OK"));  // what was not understood
        driver.then(ModalDriver::clickObject("cancel"));
        panel->button(112)->click();
        EXPECT_EQ(state.oscFreq[3], 5000.0f) << bad;
        EXPECT_EQ(panel->focusWidget(), panel->control(189)) << bad;
    }
    driver.then(ModalDriver::typeThenClick("10", "ok"));
    panel->button(112)->click();
    EXPECT_EQ(state.oscFreq[3], 10.0f);
    EXPECT_TRUE(driver.idle());
}

TEST_F(ProgramTest, NoWaveEmptiesTheWaveButton) {
    auto frame = make();
    SynthPanel* panel = frame->panel();
    panel->button(199)->setText("KICK");
    state.waveSample = std::make_unique<SampleRecord>();
    ModalDriver driver;
    driver.then(ModalDriver::clickObject("noWave"));
    panel->button(199)->click();
    EXPECT_EQ(panel->button(199)->text(), QString());
    EXPECT_EQ(state.waveSample, nullptr);

    // Cancel changes nothing.
    panel->button(199)->setText("KICK");
    state.waveSample = std::make_unique<SampleRecord>();
    driver.then(ModalDriver::clickObject("cancel"));
    panel->button(199)->click();
    EXPECT_EQ(panel->button(199)->text(), QStringLiteral("KICK"));
    EXPECT_NE(state.waveSample, nullptr);
}

TEST(ProgramEntry, ShowCommandFollowsTheScreenWidth) {
    EXPECT_EQ(chooseShowCommand(640), kShowMaximized);
    EXPECT_EQ(chooseShowCommand(320), kShowMaximized);
    EXPECT_EQ(chooseShowCommand(641), kShowNormal);
    EXPECT_EQ(chooseShowCommand(1920), kShowNormal);
}

}  // namespace
}  // namespace voltina::test
