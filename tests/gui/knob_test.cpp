// Knobs: the acceleration of a held turn and fine mode (as a table, without the timer), the timer's
// wiring, clicks, the wheel, the keys, values given outright, the tips and the pointer. Where a real
// 100 ms timer ticks, Qt drops late ones, so the checks allow a margin for a loaded machine.

#include "panel/knob.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>
#include <vector>

#include "engine/defaults.h"
#include "engine/frequency_text.h"
#include "panel/accessibility/control_names.h"
#include "panel/knob_turn.h"
#include "patch/apply_edit.h"
#include "patch/edit.h"
#include "tests/gui/gui_test_support.h"

namespace voltina::test {
namespace {

// A button held on a knob for `ticks` ticks, tick by tick as the knob's timer drives it but without the
// timer: the knob's edit, then its next step. Returns the value after each tick and the turn left.
std::vector<double> holdFor(KnobKind kind, int direction, float start, int ticks, KnobTurn& turn) {
    EngineState s;
    setEngineDefaults(s);
    s.oscFreq[0] = start;
    s.mixLevel[0] = static_cast<int>(start);
    s.mixPan[0] = static_cast<int>(start);
    turn = startKnobTurn(kind, direction, s.oscFreq[0]);
    std::vector<double> values;
    for (int n = 0; n < ticks; ++n) {
        if (kind == KnobKind::Frequency) {
            applyEdit(s, Edit::frequencyKnob(0, turn.step));
            values.push_back(s.oscFreq[0]);
        } else if (kind == KnobKind::Level) {
            applyEdit(s, Edit::levelKnob(0, turn.step));
            values.push_back(s.mixLevel[0]);
        } else {
            applyEdit(s, Edit::panKnob(0, turn.step > 0.0f ? 1 : -1));
            values.push_back(s.mixPan[0]);
        }
        turn = nextKnobTurn(kind, turn, s.oscFreq[0]);
    }
    return values;
}

// A frequency steps by 1 Hz for 16 ticks, then by 50 Hz, by 200 Hz from the 33rd tick on, and in
// hundredths at 10 Hz and below (starting there, or falling there) until the 16th tick; a level by 1 for
// 16 ticks, then by 10; a pan by 5 throughout. All of them stop at the ends of their ranges.
TEST(KnobTurn, TheStepGrowsWithTheTicksAndTurnsFineAtTenHertz) {
    const struct {
        KnobKind kind;
        float start;
        int direction;
        int ticks;
        std::vector<std::pair<int, double>> values;  // tick (from 1), value after it
        float lastStep;
    } cases[] = {
        {KnobKind::Frequency,
         100.0f,
         +1,
         40,
         {{1, 101}, {16, 116}, {17, 166}, {32, 916}, {33, 1116}},
         200.0f},
        {KnobKind::Frequency, 5000.0f, +1, 40, {{16, 5016}, {25, 5466}, {26, 5500}, {40, 5500}}, 200.0f},
        {KnobKind::Frequency,
         12.0f,
         -1,
         20,
         {{1, 11}, {2, 10}, {3, 9.99}, {16, 9.86}, {17, 0.01}, {20, 0.01}},
         -50.0f},
        {KnobKind::Frequency, 10.0f, +1, 17, {{1, 10.01}, {2, 10.02}, {16, 10.16}, {17, 60.16}}, 50.0f},
        {KnobKind::Frequency, 100.0f, -1, 19, {{16, 84}, {17, 34}, {18, 0.01}, {19, 0.01}}, -0.01f},
        {KnobKind::Frequency, 100.0f, -1, 40, {{32, 0.01}}, -0.04f},
        {KnobKind::Level, 80.0f, +1, 20, {{1, 81}, {16, 96}, {17, 106}, {19, 126}, {20, 128}}, 10.0f},
        {KnobKind::Level, 0.0f, -1, 3, {{1, 0}, {3, 0}}, -1.0f},
        {KnobKind::Pan, 50.0f, +1, 20, {{1, 55}, {3, 65}, {10, 100}, {20, 100}}, 1.0f},
        {KnobKind::Pan, 5.0f, -1, 3, {{1, 0}, {3, 0}}, -1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        SCOPED_TRACE(c.start);
        KnobTurn turn;
        const std::vector<double> values = holdFor(c.kind, c.direction, c.start, c.ticks, turn);
        for (const auto& [tick, value] : c.values) {
            SCOPED_TRACE(tick);
            EXPECT_NEAR(values[tick - 1], value, 1e-4);
        }
        EXPECT_EQ(turn.step, c.lastStep);
    }
}

class KnobTest : public ::testing::Test, public PanelFixture {
  protected:
    // Holds `button` on knob `id` for `ms`, recording every new value `read` gives, then releases.
    template <typename Read>
    std::vector<double> hold(int id, Qt::MouseButton button, int ms, Read read, qint64* heldMs = nullptr,
                             QPoint at = QPoint(10, 10)) {
        Knob* k = panel->knob(id);
        std::vector<double> seen;
        double last = read();
        QElapsedTimer t;
        QTest::mousePress(k, button, Qt::NoModifier, at);
        t.start();
        while (t.elapsed() < ms) {
            QApplication::processEvents(QEventLoop::AllEvents, 2);
            const double v = read();
            if (v != last) {
                seen.push_back(v);
                last = v;
            }
        }
        if (heldMs) *heldMs = t.elapsed();
        QTest::mouseRelease(k, button, Qt::NoModifier, at);
        return seen;
    }
};

// The knob's timer drives the turn: one tick per period at most, each an edit the oscillator follows
// (a square's per-frame step derived again), the frequency's button showing it; the release stops it.
TEST_F(KnobTest, HeldButtonTicksWithTheTimer) {
    state.oscType[3] = kSquare;
    state.oscFreq[3] = 200.0f;
    state.oscPhase[3] = -1.0f;
    qint64 heldMs = 0;
    const auto seen = hold(
        104, Qt::RightButton, 450, [&] { return double(state.oscFreq[3]); }, &heldMs);
    // A knob cannot tick faster than its period; a loaded machine may drop up to half the ticks.
    EXPECT_LE(static_cast<qint64>(seen.size()), heldMs / Knob::kTickMs);
    EXPECT_GE(static_cast<qint64>(seen.size()), heldMs / Knob::kTickMs / 2);
    for (std::size_t n = 0; n < seen.size(); ++n) EXPECT_EQ(seen[n], 201.0 + static_cast<double>(n));
    Knob* k = panel->knob(104);
    EXPECT_NE(state.oscPhase[3], -1.0f);
    EXPECT_EQ(panel->button(112)->text(), QString::fromStdString(formatFrequency(state.oscFreq[3])));
    EXPECT_EQ(k->step(), 0.0f);
    EXPECT_FALSE(k->held());
    const float after = state.oscFreq[3];
    spin(250);
    EXPECT_EQ(state.oscFreq[3], after);
}

TEST_F(KnobTest, ShortClickChangesNothing) {
    state.oscFreq[6] = 300.0f;
    QTest::mousePress(panel->knob(107), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseRelease(panel->knob(107), Qt::RightButton, Qt::NoModifier, QPoint(5, 5), 30);
    spin(250);
    EXPECT_EQ(state.oscFreq[6], 300.0f);
}

TEST_F(KnobTest, DoubleClickNeitherTurnsNorClicks) {
    state.oscFreq[6] = 300.0f;
    int clicks = 0;
    QObject::connect(panel->knob(107), &QPushButton::clicked, [&] { ++clicks; });
    QTest::mouseDClick(panel->knob(107), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    spin(250);
    EXPECT_EQ(state.oscFreq[6], 300.0f);
    EXPECT_FALSE(panel->knob(107)->held());
    EXPECT_EQ(clicks, 0);
}

TEST_F(KnobTest, PanTipShowsTheValueWhereTheButtonWentDown) {
    QLabel* tip = panel->valueTip();
    Knob* pan = panel->knob(160);  // channel 3
    state.mixPan[3] = 50;
    const QPoint at(12, 5);
    const QPoint inPanel = pan->mapTo(panel.get(), at);
    QTest::mousePress(pan, Qt::RightButton, Qt::NoModifier, at);
    EXPECT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->pos(), inPanel - QPoint(20, 30));
    EXPECT_EQ(tip->size(), QSize(33, 18));  // moved, not resized
    QElapsedTimer t;
    t.start();
    while (state.mixPan[3] == 50 && t.elapsed() < 1000) QApplication::processEvents(QEventLoop::AllEvents, 2);
    EXPECT_EQ(state.mixPan[3], 55);
    EXPECT_EQ(tip->text(), QStringLiteral("1"));
    QTest::mouseRelease(pan, Qt::RightButton, Qt::NoModifier, at);
    EXPECT_FALSE(tip->isVisible());
    EXPECT_EQ(state.mixPan[3] % 5, 0);

    // The ends of the range: -10 at 0, 10 at 100, and no further.
    state.mixPan[3] = 5;
    hold(160, Qt::LeftButton, 450, [&] { return double(state.mixPan[3]); });
    EXPECT_EQ(state.mixPan[3], 0);
    EXPECT_EQ(tip->text(), QStringLiteral("-10"));
    state.mixPan[3] = 95;
    hold(160, Qt::RightButton, 450, [&] { return double(state.mixPan[3]); });
    EXPECT_EQ(state.mixPan[3], 100);
    EXPECT_EQ(tip->text(), QStringLiteral("10"));
}

// One notch of the wheel is one tick of a held button, up raising: fine steps at 10 Hz and below, whole
// ones above, the pan by 5. The level and the pan show their value in the tip while they turn.
TEST_F(KnobTest, WheelNotchesTurnByOneTickEach) {
    auto wheel = [this](int id, int angle) {
        Knob* k = panel->knob(id);
        QWheelEvent e(QPointF(10, 10), QPointF(k->mapToGlobal(QPoint(10, 10))), QPoint(), QPoint(0, angle),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(k, &e);
    };
    const struct {
        int id;
        float start;
        std::vector<int> angles;
        float expected;
        const char* tip;  // null: no tip
    } cases[] = {
        {101, 100.0f, {120}, 101.0f, nullptr},    {101, 100.0f, {-360}, 97.0f, nullptr},
        {102, 5.0f, {120}, 5.01f, nullptr},       {102, 10.0f, {-240}, 9.98f, nullptr},
        {103, 300.0f, {60}, 300.0f, nullptr},  // half a notch turns nothing yet
        {103, 300.0f, {60, 60}, 301.0f, nullptr}, {104, 5500.0f, {120}, 5500.0f, nullptr},
        {151, 80.0f, {240}, 82.0f, "82"},         {151, 128.0f, {120}, 128.0f, "128"},
        {152, 3.0f, {-120}, 2.0f, "2"},           {160, 50.0f, {-120}, 45.0f, "-1"},
    };
    QLabel* tip = panel->valueTip();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        SCOPED_TRACE(c.start);
        tip->hide();
        if (c.id < 149) {
            state.oscFreq[c.id - 101] = c.start;
        } else if (c.id < 157) {
            state.mixLevel[c.id - 149] = static_cast<int>(c.start);
        } else {
            state.mixPan[c.id - 157] = static_cast<int>(c.start);
        }
        for (const int angle : c.angles) wheel(c.id, angle);
        if (c.id < 149) {
            EXPECT_NEAR(state.oscFreq[c.id - 101], c.expected, 0.001f);
            if (c.expected != c.start) {
                EXPECT_EQ(panel->button(109 + c.id - 101)->text(),
                          QString::fromStdString(formatFrequency(state.oscFreq[c.id - 101])));
            }
        } else if (c.id < 157) {
            EXPECT_EQ(state.mixLevel[c.id - 149], static_cast<int>(c.expected));
        } else {
            EXPECT_EQ(state.mixPan[c.id - 157], static_cast<int>(c.expected));
        }
        EXPECT_FALSE(panel->knob(c.id)->held());
        EXPECT_EQ(tip->isVisible(), c.tip != nullptr);
        if (c.tip) {
            EXPECT_EQ(tip->text(), QString::fromUtf8(c.tip));
        }
    }
    spin(1000);
    EXPECT_FALSE(tip->isVisible());  // gone a moment after the wheel stops
}

// Up and Down turn one tick, Page Up and Page Down a held second's worth (ten ticks, before the level
// and frequency steps grow); a value given outright is taken as the typed entry takes a frequency and as
// the knob would leave a level or a pan, and each is one step Undo takes back.
TEST_F(KnobTest, KeysTurnByTicksAndValuesGivenOutrightAreOneEditEach) {
    auto setStart = [this](int id, float start) {
        if (id < 149) {
            state.oscFreq[id - 101] = start;
        } else if (id < 157) {
            state.mixLevel[id - 149] = static_cast<int>(start);
        } else {
            state.mixPan[id - 157] = static_cast<int>(start);
        }
    };
    auto read = [this](int id) -> double {
        if (id < 149) return state.oscFreq[id - 101];
        return id < 157 ? state.mixLevel[id - 149] : state.mixPan[id - 157];
    };
    const struct {
        int id;
        float start;
        std::vector<Qt::Key> keys;
        double expected;
    } turns[] = {
        {101, 100.0f, {Qt::Key_Up}, 101.0},
        {101, 100.0f, {Qt::Key_PageUp}, 110.0},
        {102, 5.0f, {Qt::Key_Down}, 4.99},
        {102, 5.0f, {Qt::Key_PageDown}, 4.9},
        {151, 80.0f, {Qt::Key_PageUp}, 90.0},
        {151, 5.0f, {Qt::Key_PageDown}, 0.0},
        {160, 50.0f, {Qt::Key_Up, Qt::Key_Up}, 60.0},
        {160, 50.0f, {Qt::Key_PageDown}, 0.0},
    };
    for (const auto& t : turns) {
        SCOPED_TRACE(t.id);
        setStart(t.id, t.start);
        for (const Qt::Key key : t.keys) QTest::keyClick(panel->knob(t.id), key);
        EXPECT_NEAR(read(t.id), t.expected, 0.001);
        EXPECT_FALSE(panel->knob(t.id)->held());
    }
    const struct {
        int id;
        float start;
        double given;
        double expected;  // in the engine's units: a pan 0..100
        double readBack;  // as the knob reports it: a pan -10..+10
    } given[] = {
        {101, 100.0f, 440.0, 440.0, 440.0},   {101, 100.0f, 6000.0, 5000.0, 5000.0},
        {101, 100.0f, 1e300, 5000.0, 5000.0}, {101, 100.0f, -3.0, 100.0, 100.0},
        {151, 80.0f, 100.4, 100.0, 100.0},    {151, 80.0f, 999.0, 128.0, 128.0},
        {160, 50.0f, 2.6, 65.0, 3.0},         {160, 50.0f, -20.0, 0.0, -10.0},
    };
    // Every edit made is a number a take's performance can write, even one far beyond any frequency.
    float made = 0.0f;
    panel->session().setEditObserver([&](const Edit& e) { made = e.amount; });
    for (const auto& g : given) {
        SCOPED_TRACE(g.id);
        SCOPED_TRACE(g.given);
        panel->session().endGesture();
        setStart(g.id, g.start);
        panel->knob(g.id)->setValueOutright(g.given);
        EXPECT_TRUE(std::isfinite(made));
        EXPECT_NEAR(read(g.id), g.expected, 0.001);
        EXPECT_NEAR(panel->knob(g.id)->value(), g.readBack, 0.001);
        if (g.expected != g.start) {
            ASSERT_TRUE(panel->session().undo());
            EXPECT_NEAR(read(g.id), g.start, 0.001);
        }
    }
    EXPECT_EQ(panel->button(109)->text(), QString::fromStdString(formatFrequency(state.oscFreq[0])));
}

// A level knob held down shows its level in the tip, as the pan bar does.
TEST_F(KnobTest, LevelTipShowsTheLevelWhileItTurns) {
    QLabel* tip = panel->valueTip();
    state.mixLevel[0] = 40;
    QTest::mousePress(panel->knob(149), Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->text(), QStringLiteral("40"));
    QElapsedTimer t;
    t.start();
    while (state.mixLevel[0] == 40 && t.elapsed() < 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 2);
    EXPECT_EQ(tip->text(), QString::number(state.mixLevel[0]));
    QTest::mouseRelease(panel->knob(149), Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_FALSE(tip->isVisible());
    // Hovered, its tip says the level too.
    QHelpEvent hover(QEvent::ToolTip, QPoint(10, 10), panel->knob(149)->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(panel->knob(149), &hover);
    EXPECT_EQ(QToolTip::text(),
              QString::fromStdString(controlName(149) + ": " + std::to_string(state.mixLevel[0])));
}

TEST_F(KnobTest, PointerFollowsTheValueClockwiseFromTheTop) {
    state.oscFreq[0] = 0.0f;
    EXPECT_EQ(panel->knob(101)->pointerEnd(), QPoint(18, 7));
    state.oscFreq[0] = 1375.0f;                                 // a quarter of the way: pointing right
    EXPECT_EQ(panel->knob(101)->pointerEnd(), QPoint(30, 18));  // a full turn is 6.28232, just short of 2 pi
    state.mixLevel[0] = 64;                                     // half way round: pointing down
    EXPECT_EQ(panel->knob(149)->pointerEnd(), QPoint(18, 30));
}

}  // namespace
}  // namespace voltina::test
