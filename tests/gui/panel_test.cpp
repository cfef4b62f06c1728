// The panel: controls at their places, the command table, the lamps of a refresh, the set-state message.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <vector>

#include "engine/defaults.h"
#include "engine/frequency_text.h"
#include "engine/midi_keys.h"
#include "panel/bitmap_table.h"
#include "panel/cord_editor.h"
#include "panel/keyboard/jack_typing.h"
#include "panel/keyboard/reading_order.h"
#include "panel/knob.h"
#include "panel/midi_learn.h"
#include "panel/midi_mark.h"
#include "panel/panel_cord_editor.h"
#include "panel/picture_button.h"
#include "patch/controls.h"
#include "resources/menu_template.h"
#include "resources/panel_template.h"
#include "tests/gui/gui_test_support.h"

namespace voltina::test {
namespace {

class PanelTest : public ::testing::Test, public PanelFixture {};

TEST(DialogUnits, ConvertWithTheSevenByThirteenBaseUnits) {
    EXPECT_EQ(dluToPixelsX(365), 639);
    EXPECT_EQ(dluToPixelsY(272), 442);
    EXPECT_EQ(dluToPixelsY(16), 26);  // the step between an oscillator's two jacks, the cord lane's 26
    EXPECT_EQ(dluToPixelsX(10), 18);  // 17.5 rounds up
    EXPECT_EQ(dluToPixelsY(12), 20);  // 19.5 rounds up
    EXPECT_EQ(dluToPixelsY(22), 36);  // 35.75
    EXPECT_EQ(dluToPixelsY(15), 24);  // 24.375
}

TEST_F(PanelTest, EveryControlSitsAtItsTemplatePlace) {
    EXPECT_EQ(panel->size(), QSize(639, 442));
    int knobs = 0, pictures = 0;
    for (const ControlTemplate& t : panelTemplate()) {
        QWidget* w = panel->control(t.id);
        ASSERT_NE(w, nullptr) << t.id;
        const PixelRect r = t.place.toPixels();
        EXPECT_EQ(w->geometry(), QRect(r.x, r.y, r.width, r.height)) << t.id;
        EXPECT_EQ(w->isEnabled(), t.enabled) << t.id;
        knobs += panel->knob(t.id) != nullptr;
        pictures += panel->picture(t.id) != nullptr;
    }
    EXPECT_EQ(panelTemplate().size(), 8u * 8 + 8 * 3 + 3 * 13 + 3 * 8 + 5 + 7 + 1);
    EXPECT_EQ(knobs, 24);
    EXPECT_EQ(pictures, 32 + 32 + 32 + 24 + 2);
    // Spot checks in pixels.
    EXPECT_EQ(panel->control(108)->geometry(), QRect(16, 384, 37, 39));    // oscillator 7's knob
    EXPECT_EQ(panel->control(428)->geometry(), QRect(89, 410, 28, 26));    // its second output
    EXPECT_EQ(panel->control(189)->geometry(), QRect(411, 184, 40, 36));   // H.P, the size of its picture
    EXPECT_EQ(panel->control(200)->geometry(), QRect(247, 410, 180, 24));  // record switch
    EXPECT_EQ(panel->control(164)->geometry(), QRect(583, 423, 37, 11));   // pan 7
    EXPECT_EQ(panel->button(194)->text(), QString::fromUtf8("SINUSOÏDERS"));
    EXPECT_FALSE(panel->control(197)->isVisible());
    // The Wave button takes no focus from a click, but Tab reaches it.
    EXPECT_EQ(panel->control(199)->focusPolicy(), Qt::TabFocus);
    for (int id = 165; id <= 188; ++id) EXPECT_FALSE(panel->control(id)->isEnabled()) << id;
}

// The MIDI module's lamp follows the keys: lit while any is held, out when the last goes, painted amber
// where the MIDI module stands.
TEST_F(PanelTest, TheMidiMarkLightsWhileAKeyIsHeld) {
    MidiMark* mark = panel->midiMark();
    ASSERT_NE(mark, nullptr);
    EXPECT_TRUE(mark->isVisible());
    EXPECT_TRUE(panel->rect().contains(mark->geometry()));
    const struct {
        std::uint32_t message;
        bool lit;
    } rows[] = {{packMidi(0x90, 60, 100), true},
                {packMidi(0x90, 64, 100), true},
                {packMidi(0x80, 60, 0), true},
                {packMidi(0x90, 64, 0), false},  // note on at velocity 0 lets go too
                {packMidi(0xB0, 7, 100), false}};
    for (const auto& row : rows) {
        panel->onMidiData(row.message);
        EXPECT_EQ(mark->isLit(), row.lit) << std::hex << row.message;
        const QImage image = mark->grab().toImage();
        EXPECT_EQ(image.pixelColor(image.rect().center()) == QColor(0xff, 0xc4, 0x00), row.lit);
    }
}

// MIDI learn from the controls' menus: a right click that does not turn a knob (or the Menu key) opens
// it, the next control change binds, Escape stops the wait, a sweep is one step, forgetting is one too.
TEST_F(PanelTest, AControlLearnsTheNextControllerAndForgetsIt) {
    MidiLearn* learn = panel->midiLearn();
    const auto menuAction = [&](int n) {
        EXPECT_NE(learn->menu(), nullptr);
        return learn->menu() ? learn->menu()->actions().value(n) : nullptr;
    };
    Knob* level = panel->knob(ctl::kMixLevelKnob + 1);
    QTest::mousePress(level, Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(level, Qt::RightButton, Qt::NoModifier, QPoint(10, 10), 20);
    ASSERT_NE(menuAction(1), nullptr);
    EXPECT_EQ(menuAction(1)->text(), QStringLiteral("Forget MIDI controller"));
    EXPECT_FALSE(menuAction(1)->isEnabled());
    menuAction(0)->trigger();
    EXPECT_EQ(learn->waitingFor(), ctl::kMixLevelKnob + 1);
    panel->onMidiData(packMidi(0x90, 60, 100));  // a note is no controller
    panel->onMidiData(packMidi(0xB4, 7, 10));    // learnt, not played
    EXPECT_EQ(learn->waitingFor(), 0);
    EXPECT_EQ(panel->session().controllers(), (ControllerBindings{{7, 0, Control::Level, 1}}));
    EXPECT_EQ(panel->session().undoLabel(), "MIDI controller 7 \u2192 mixer channel 2 level");
    const int before = state.mixLevel[1];
    for (int v = 0; v <= 127; ++v) panel->onMidiData(packMidi(0xB9, 7, v));
    EXPECT_EQ(state.mixLevel[1], 128);
    EXPECT_EQ(level->value(), 128);
    panel->undo();  // the whole sweep
    EXPECT_EQ(state.mixLevel[1], before);
    EXPECT_EQ(panel->session().controllers().size(), 1u);

    // The Menu key on a wave-type button, then Escape: nothing waits any more, nothing is bound.
    PictureButton* square = panel->picture(ctl::kOscType0 + 8 + 2);
    QTest::keyClick(square, Qt::Key_Menu);
    menuAction(0)->trigger();
    EXPECT_EQ(learn->waitingFor(), ctl::kOscType0 + 8 + 2);
    QTest::keyClick(square, Qt::Key_Escape);
    EXPECT_EQ(learn->waitingFor(), 0);
    panel->onMidiData(packMidi(0xB0, 20, 127));
    EXPECT_EQ(panel->session().controllers().size(), 1u);

    // Learnt by another control, the controller moves there; forgetting it is a step undo brings back.
    QTest::mousePress(panel->knob(ctl::kMixPanKnob + 3), Qt::RightButton, Qt::ShiftModifier, QPoint(5, 5));
    EXPECT_FALSE(panel->knob(ctl::kMixPanKnob + 3)->held());  // Shift: the menu, and no turn
    QTest::mouseRelease(panel->knob(ctl::kMixPanKnob + 3), Qt::RightButton, Qt::ShiftModifier, QPoint(5, 5));
    menuAction(0)->trigger();
    panel->onMidiData(packMidi(0xB0, 7, 0));
    EXPECT_EQ(panel->session().controllers(), (ControllerBindings{{7, 0, Control::Pan, 3}}));
    learn->openMenu(ctl::kMixPanKnob + 3, QPoint(0, 0));
    ASSERT_NE(menuAction(1), nullptr);
    EXPECT_EQ(menuAction(1)->text(), QStringLiteral("Forget MIDI controller 7"));
    menuAction(1)->trigger();
    EXPECT_TRUE(panel->session().controllers().empty());
    panel->undo();
    EXPECT_EQ(panel->session().controllers().size(), 1u);
    if (learn->menu()) learn->menu()->close();
}

TEST_F(PanelTest, TypeButtonLightsOnlyItsOwnOfFour) {
    panel->onCommand(136, panel->control(136));
    EXPECT_EQ(state.oscType[3], 2);
    EXPECT_FALSE(panel->picture(120)->isLit());
    EXPECT_FALSE(panel->picture(128)->isLit());
    EXPECT_TRUE(panel->picture(136)->isLit());
    EXPECT_FALSE(panel->picture(144)->isLit());
    // A real click goes the same way.
    panel->picture(144)->click();
    EXPECT_EQ(state.oscType[3], 3);
    EXPECT_FALSE(panel->picture(136)->isLit());
    EXPECT_TRUE(panel->picture(144)->isLit());
    EXPECT_EQ(state.oscType[2], 0);  // the neighbours are untouched
    EXPECT_EQ(state.oscType[4], 0);
}

TEST_F(PanelTest, CommandsNeedAControl) {
    panel->onCommand(136, nullptr);
    EXPECT_EQ(state.oscType[3], 0);
    EXPECT_FALSE(panel->picture(136)->isLit());
}

TEST_F(PanelTest, SpeakerSwitchSilencesTheRingAndTogglesTheRecordSwitch) {
    audio.initAudio();
    for (int i = 0; i < state.ring.ringBytes(); ++i) state.ring.store(i, static_cast<std::uint8_t>(i * 7));
    QWidget* record = panel->control(200);
    ASSERT_TRUE(record->isEnabled());

    panel->onCommand(189, panel->control(189));
    EXPECT_EQ(state.speakerOn, 1);
    EXPECT_FALSE(record->isEnabled());
    EXPECT_TRUE(panel->picture(189)->isLit());
    EXPECT_EQ(audio.count("startSound"), 1);
    for (int i = 0; i < state.ring.ringBytes(); ++i) ASSERT_EQ(state.ring.load(i), 128) << i;

    for (int i = 0; i < state.ring.ringBytes(); ++i) state.ring.store(i, 3);
    panel->picture(189)->click();
    EXPECT_EQ(state.speakerOn, 0);
    EXPECT_TRUE(record->isEnabled());
    EXPECT_FALSE(panel->picture(189)->isLit());
    EXPECT_EQ(audio.count("stopSound"), 1);
    for (int i = 0; i < state.ring.ringBytes(); ++i) ASSERT_EQ(state.ring.load(i), 128) << i;
}

TEST_F(PanelTest, SpeakerOnRestartsTheOscillators) {
    state.oscPhase[2] = 77.0f;
    state.wavePos = 999;
    panel->onCommand(189, panel->control(189));
    EXPECT_EQ(state.oscPhase[2], 0.0f);
    EXPECT_EQ(state.wavePos, 0u);
}

TEST_F(PanelTest, SyncRestartsTheOscillators) {
    state.oscPhase[5] = 12.0f;
    state.outValue[kOutOscB + 1] = 50.0f;
    panel->button(198)->click();
    EXPECT_EQ(state.oscPhase[5], 0.0f);
    EXPECT_EQ(state.outValue[kOutOscB + 1], 0.0f);
}

TEST_F(PanelTest, RecordSwitchFlipsAndShowsRecordOn) {
    panel->picture(200)->click();
    EXPECT_EQ(state.recordOn, 1);
    EXPECT_TRUE(panel->picture(200)->isLit());
    EXPECT_EQ(panel->picture(200)->paintedBitmap(), 3016);
    panel->picture(200)->click();
    EXPECT_EQ(state.recordOn, 0);
    EXPECT_FALSE(panel->picture(200)->isLit());
    // H.P shows the record switch as it stands when it switches.
    state.recordOn = 1;
    panel->onCommand(189, panel->control(189));
    EXPECT_TRUE(panel->picture(200)->isLit());
}

TEST_F(PanelTest, RefreshLightsJacksFromTheRoutingArrays) {
    setEngineDefaults(state);
    // A stale input whose source is out of range stays dark; lamps that were lit go dark.
    state.cordPresent[12] = 1;
    state.cordSource[12] = 40;
    panel->setLamp(330, true);
    panel->setLamp(431, true);
    panel->refreshPanel();
    for (int i = 0; i < kJacks; ++i) {
        const bool lit = state.cordPresent[i] == 1 && state.cordSource[i] >= 0 && state.cordSource[i] < 32;
        EXPECT_EQ(panel->picture(301 + i)->isLit(), lit) << "input " << i;
        EXPECT_EQ(panel->picture(401 + i)->isLit(), state.outputUsed[i] == 1) << "output " << i;
    }
    EXPECT_TRUE(panel->picture(321)->isLit());
    EXPECT_TRUE(panel->picture(307)->isLit());
    EXPECT_FALSE(panel->picture(313)->isLit());
    EXPECT_TRUE(panel->picture(418)->isLit());
    EXPECT_FALSE(panel->picture(431)->isLit());
    EXPECT_EQ(panel->picture(401)->paintedBitmap(), 1001);  // a lit oscillator output: the sideways plug
    EXPECT_EQ(panel->picture(418)->paintedBitmap(), 3008);
    // Types and frequencies come along.
    EXPECT_TRUE(panel->picture(125)->isLit());  // oscillator 0 is square
    EXPECT_FALSE(panel->picture(117)->isLit());
    EXPECT_TRUE(panel->picture(118)->isLit());
    EXPECT_EQ(panel->button(109)->text(), QStringLiteral("256.00"));
    EXPECT_EQ(panel->button(110)->text(), QString::fromStdString(formatFrequency(1.52f)));
}

TEST_F(PanelTest, LampsSetAndToggleAndRepaintAtOnce) {
    PictureButton* jack = panel->picture(305);
    EXPECT_TRUE(panel->toggleLamp(305));
    EXPECT_EQ(jack->paintedBitmap(), 3007);  // painted before any event was processed
    EXPECT_FALSE(panel->toggleLamp(305));
    EXPECT_EQ(jack->paintedBitmap(), 1007);
    panel->setLamp(305, true);
    panel->setLamp(305, true);
    EXPECT_TRUE(jack->isLit());
    panel->setLamp(305, false);
    EXPECT_FALSE(jack->isLit());
    panel->setLamp(401, true);
    EXPECT_EQ(panel->picture(401)->paintedBitmap(), 1001);
    panel->setLamp(409, true);
    EXPECT_EQ(panel->picture(409)->paintedBitmap(), 3008);
    EXPECT_FALSE(panel->toggleLamp(999));  // names no picture button
}

TEST(BitmapTable, ClassesByControlId) {
    const std::pair<int, int> cases[] = {
        {117, 0}, {124, 0}, {125, 1}, {140, 2}, {148, 3},  {301, 4},  {332, 4},  {401, 5}, {432, 5}, {177, 6},
        {188, 6}, {165, 7}, {168, 8}, {173, 9}, {176, 10}, {189, 11}, {200, 12}, {198, 0}, {999, 0}};
    for (auto [id, cls] : cases) EXPECT_EQ(bitmapClassForId(id), cls) << id;
    EXPECT_EQ(bitmapIdFor(408, 1), 1001);
    EXPECT_EQ(bitmapIdFor(421, 1), 1001);
    EXPECT_EQ(bitmapIdFor(428, 1), 1001);
    EXPECT_EQ(bitmapIdFor(409, 1), 3008);
    EXPECT_EQ(bitmapIdFor(429, 1), 3008);
    EXPECT_EQ(bitmapIdFor(408, 0), 1008);
    EXPECT_EQ(bitmapIdFor(170, 1), kNoPicture);  // signs are never lit
    EXPECT_EQ(bitmapIdFor(189, 1), 3015);
}

TEST_F(PanelTest, JacksShowThePlugCursorAndOtherControlsDoNot) {
    EXPECT_EQ(panel->picture(301)->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(panel->picture(432)->cursor().hotSpot(), QPoint(15, 29));
    EXPECT_NE(panel->picture(189)->cursor().shape(), Qt::BitmapCursor);
    EXPECT_NE(panel->picture(117)->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(PanelTest, PaintsPassTheRenderGate) {
    const long before = audio.gateCalls;
    panel->picture(301)->repaint();
    panel->knob(101)->repaint();
    EXPECT_GE(audio.gateCalls, before + 2);
}

}  // namespace
}  // namespace voltina::test

namespace voltina::test {
namespace {

// Stands in for the cord editor: records what the panel hands it.
class RecordingCordEditor : public CordEditor {
  public:
    HeldCord heldCord() const override { return held; }
    void onJackClick(int id) override { clicks.push_back(id); }
    void moveBand(int x, int y, int clear) override { bands.push_back({x, y, clear}); }
    void tidyRoutingAndHideCords() override { draws.push_back(1); }
    void tidyRoutingAndShowCords() override { draws.push_back(0); }
    QWidget* overlay() override { return &surface; }
    HeldCord held = HeldCord::None;
    std::vector<int> clicks;
    std::vector<std::array<int, 3>> bands;
    std::vector<int> draws;
    QWidget surface;
};

class CordSeamTest : public ::testing::Test, public PanelFixture {
  protected:
    void SetUp() override {
        auto editor = std::make_unique<RecordingCordEditor>();
        cords = editor.get();
        panel->setCordEditor(std::move(editor));
    }
    RecordingCordEditor* cords = nullptr;
};

TEST_F(CordSeamTest, JackClicksGoToTheCordEditor) {
    panel->picture(301)->click();
    panel->picture(432)->click();
    panel->picture(189)->click();  // not a jack
    EXPECT_EQ(cords->clicks, (std::vector<int>{301, 432}));
    // H.P and a refresh redraw the cords.
    EXPECT_EQ(cords->draws, (std::vector<int>{0}));
    panel->refreshPanel();
    EXPECT_EQ(cords->draws, (std::vector<int>{0, 0}));
}

TEST_F(CordSeamTest, MouseMovesFollowTheHeldCordOnly) {
    PictureButton* jack = panel->picture(415);
    QTest::mouseMove(jack, QPoint(5, 6));
    QTest::mouseMove(panel.get(), QPoint(300, 200));
    EXPECT_TRUE(cords->bands.empty());

    cords->held = HeldCord::FixedAtOutput;
    QTest::mouseMove(jack, QPoint(5, 6));
    const QPoint p = jack->mapTo(panel.get(), QPoint(5, 6));
    ASSERT_FALSE(cords->bands.empty());
    EXPECT_EQ(cords->bands.back(), (std::array<int, 3>{p.x(), p.y() - 29, 0}));
    QTest::mouseMove(panel.get(), QPoint(300, 200));
    EXPECT_EQ(cords->bands.back(), (std::array<int, 3>{300, 171, 0}));
}

TEST_F(CordSeamTest, TheOverlayCoversThePanelAboveEveryControl) {
    QWidget* overlay = cords->overlay();
    EXPECT_EQ(overlay->parentWidget(), panel.get());
    EXPECT_EQ(overlay->geometry(), panel->rect());
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(panel->children().last(), overlay);
    EXPECT_EQ(panel->childAt(QPoint(30, 40)), panel->control(101));  // clicks still reach the knob
}

}  // namespace
}  // namespace voltina::test

namespace voltina::test {
namespace {

// Tab visits every control that can take the focus, group after group in reading order; the arrows go
// round one group, Right undoing Left; Escape lets go of a held cord and lights the lamps as the cords are.
TEST_F(PanelTest, TabAndArrowsFollowTheReadingOrder) {
    auto focusable = [this](int id) {
        const QWidget* w = panel->control(id);
        return w && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus);
    };
    std::vector<int> reading;
    std::set<int> seen;
    for (const std::vector<int>& group : panelReadingGroups()) {
        for (int id : group) {
            EXPECT_TRUE(seen.insert(id).second) << id << " is in two groups";
            if (focusable(id)) reading.push_back(id);
        }
    }
    for (const ControlTemplate& t : panelTemplate()) {
        if (focusable(t.id)) {
            EXPECT_TRUE(seen.count(t.id)) << t.id << " is in no group";
        }
    }
    std::vector<int> chain;
    for (QWidget* w = panel->control(reading.front())->nextInFocusChain(); chain.size() < reading.size();
         w = w->nextInFocusChain()) {
        const int id = w->objectName().startsWith("ctl") ? w->objectName().mid(3).toInt() : 0;
        if (focusable(id) && (w->focusPolicy() & Qt::TabFocus)) chain.push_back(id);
    }
    std::rotate(chain.rbegin(), chain.rbegin() + 1, chain.rend());
    EXPECT_EQ(chain, reading);

    for (const std::vector<int>& group : panelReadingGroups()) {
        std::vector<int> round;
        int id = group.front();
        for (std::size_t k = 0; k < group.size(); ++k) {
            round.push_back(id);
            const int next = neighbourInGroup(id, true, [](int) { return true; });
            EXPECT_EQ(neighbourInGroup(next, false, [](int) { return true; }), id);
            id = next;
        }
        EXPECT_EQ(round, group);
        EXPECT_EQ(id, group.front());
    }
    // A control that cannot take the focus is passed over.
    EXPECT_EQ(neighbourInGroup(101, true, [](int id) { return id != 117; }), 125);

    panel->show();
    panel->setCordEditor(makePanelCordEditor(*panel));
    QWidget* jack = panel->control(404);
    jack->setFocus();
    QTest::keyClick(jack, Qt::Key_Space);
    ASSERT_EQ(panel->cordEditor()->heldCord(), HeldCord::FixedAtOutput);
    EXPECT_TRUE(panel->picture(404)->isLit());
    QTest::keyClick(jack, Qt::Key_Right);  // to the second output, carrying the cord
    EXPECT_TRUE(panel->control(424)->hasFocus());
    QTest::keyClick(panel->control(424), Qt::Key_Escape);
    EXPECT_EQ(panel->cordEditor()->heldCord(), HeldCord::None);
    EXPECT_FALSE(panel->picture(404)->isLit());
}

// Ctrl with an arrow passes over a module; three digits reach a jack by its number, so a cord between any
// two jacks takes a handful of keys. A number that names no jack is said; a pause or Escape starts afresh.
TEST_F(PanelTest, ModulesAndJacksAreAFewKeysAway) {
    panel->setCordEditor(makePanelCordEditor(*panel));
    const struct {
        int from;
        const char* keys;  // digits; > < v ^ Ctrl and an arrow; '.' a pause; Space, Enter; ~ Escape
        int focused;
        const char* said;
    } rows[] = {
        {189, ">", 321, ""},  // from H.P's module to sinusoider 1
        {101, "<", 308, ""},  // round the panel's ends
        {308, ">", 101, ""},
        {101, "vv^", 102, ""},
        {189, "301", 301, ""},
        {149, "432", 432, ""},  // a knob's digits are a number, not a turn
        {189, "399", 189, "There is no jack 399."},
        {189, "512", 189, "There is no jack 512."},
        {189, "3.401", 401, ""},
        {189, "3.01", 189, ""},  // after the pause, 01 is not yet a number
        {189, "30~402", 402, ""},
        {189, "404 301\r", 301, ""},
    };
    ModalDriver driver;
    std::size_t said = 0;
    std::uint64_t ms = 0;
    static const char kArrows[] = "><v^";
    for (const auto& row : rows) {
        if (*row.said) driver.then(ModalDriver::clickButtonText("OK"));
        ms += 10 * JackTyping::kPauseMs;
        panel->control(row.from)->setFocus();
        for (const char* c = row.keys; *c; ++c) {
            QWidget* at = panel->focusWidget();
            ms += *c == '.' ? JackTyping::kPauseMs : 100;
            if (*c >= '0' && *c <= '9') {
                for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                    QKeyEvent key(type, Qt::Key_0 + (*c - '0'), Qt::NoModifier, QString(QChar(*c)));
                    key.setTimestamp(ms);
                    QApplication::sendEvent(at, &key);
                }
            } else if (const char* k = std::strchr(kArrows, *c)) {
                const Qt::Key arrows[] = {Qt::Key_Right, Qt::Key_Left, Qt::Key_Down, Qt::Key_Up};
                QTest::keyClick(at, arrows[k - kArrows], Qt::ControlModifier);
            } else if (*c != '.') {
                QTest::keyClick(at, *c == ' ' ? Qt::Key_Space : *c == '\r' ? Qt::Key_Return : Qt::Key_Escape);
            }
        }
        EXPECT_EQ(panel->focusWidget(), panel->control(row.focused)) << row.keys;
        if (*row.said) {
            ASSERT_EQ(driver.seen().size(), ++said) << row.keys;
            EXPECT_EQ(driver.seen().back().text, row.said);
            EXPECT_EQ(driver.seen().back().detail, "Inputs are numbered 301 to 332, outputs 401 to 432.");
        }
        EXPECT_EQ(driver.seen().size(), said) << row.keys;
    }
    EXPECT_TRUE(hasCord(state, 0));
    EXPECT_EQ(state.cordSource[0], 3);  // 404 into 301

    // "Go to jack..." asks again after a number that names no jack, with what was typed; Cancel stays.
    QString kept;
    driver.then(ModalDriver::typeThenClick("39", "ok"));
    driver.then(ModalDriver::clickButtonText("OK"));
    driver.then([&kept](QWidget* w) {
        kept = w->findChild<QLineEdit*>()->text();
        ModalDriver::clickObject("cancel")(w);
    });
    panel->onMenuCommand(cmd::kGoToJack);
    EXPECT_EQ(kept, QStringLiteral("39"));
    EXPECT_EQ(panel->focusWidget(), panel->control(301));
    driver.then(ModalDriver::typeThenClick("312", "ok"));
    panel->onMenuCommand(cmd::kGoToJack);
    EXPECT_EQ(panel->focusWidget(), panel->control(312));
    ASSERT_EQ(driver.seen().size(), said + 4);
    EXPECT_EQ(driver.seen()[said + 1].text, "There is no jack 39.");
}

}  // namespace
}  // namespace voltina::test
