// Cords on the real panel, offscreen: clicks on the jack controls, the program's message box, the plug
// cursor, the band following the mouse over the panel and its controls, and the pixels of the grabbed
// panel along every computed route.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <set>

#include "dialogs/dialog_context.h"
#include "dialogs/file_list_dialog.h"
#include "engine/defaults.h"
#include "panel/cord_editor.h"
#include "panel/cord_overlay.h"
#include "panel/panel_audio.h"
#include "panel/panel_cord_editor.h"
#include "panel/patch_bay.h"
#include "panel/picture_button.h"
#include "panel/synth_panel.h"
#include "tests/cords/fake_patch_view.h"

namespace voltina::test {
namespace {

class QuietAudio : public PanelAudio {
  public:
    void setHooks(AudioHooks*) override {}
    bool initAudio() override { return true; }
    bool audioReady() const override { return true; }
    void setAudioReady(bool) override {}
    void renderIfDue() override {}
    void startSound() override {}
    void stopSound() override {}
    bool soundPlaying() const override { return true; }
    void pumpUntilPainted(QWidget* w) override { pumped.push_back(w); }
    void startStartupTimer() override {}
    void removeMouseHook() override {}
    std::vector<QWidget*> pumped;
};

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Answers modal windows as they open, one action each, and remembers what they said.
class ModalAnswerer {
  public:
    using Action = std::function<void(QWidget*)>;
    ModalAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(5);
    }
    void then(Action a) { actions_.push_back(std::move(a)); }
    static Action press(const QString& text) {
        return [text](QWidget* w) {
            for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
                if (b->text().remove(QLatin1Char('&')) == text) b->click();
            }
        };
    }
    struct Seen {
        QString title, text;
        int icon = -1;
    };
    std::vector<Seen> seen;

  private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == handled_.data() || actions_.empty() || !modal->isVisible()) return;
        handled_ = modal;
        Seen s;
        s.title = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            s.text = box->text();
            s.icon = box->icon();
        }
        seen.push_back(s);
        Action a = std::move(actions_.front());
        actions_.pop_front();
        a(modal);
    }
    QTimer timer_;
    std::deque<Action> actions_;
    QPointer<QWidget> handled_;
};

class PanelCordsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clearCords(state);
        panel = std::make_unique<SynthPanel>(state, audio);
        panel->setCordEditor(makePanelCordEditor(*panel));
        bay = patchBayOf(panel->cordEditor());
        ASSERT_NE(bay, nullptr);
        panel->show();
        spin(20);
    }
    void TearDown() override { panel.reset(); }

    void click(int id) {
        QTest::mouseClick(panel->control(id), Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        spin(5);
    }
    int lamp(int id) const { return panel->picture(id)->isLit(); }
    QImage shot() const { return panel->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    static QColor colourOf(CordColour c) { return c == CordColour::Green ? kGreenCord : kRedCord; }

    // Every pixel of every cord is its own colour, except where a later cord crosses it.
    void expectCordPixels(const QImage& img, const std::vector<CordPath>& paths) {
        for (std::size_t k = 0; k < paths.size(); ++k) {
            std::set<std::pair<int, int>> later;
            for (std::size_t j = k + 1; j < paths.size(); ++j) {
                for (const PanelPoint& p : polylinePixels(paths[j].polyline)) later.insert({p.x, p.y});
            }
            const std::vector<PanelPoint> pixels = polylinePixels(paths[k].polyline);
            ASSERT_GT(pixels.size(), 20u);
            int wrong = 0;
            for (const PanelPoint& p : pixels) {
                const QColor c = img.pixelColor(p.x, p.y);
                const QColor want = later.count({p.x, p.y}) ? c : colourOf(paths[k].colour);
                if (c != want || (c != kGreenCord && c != kRedCord)) ++wrong;
            }
            EXPECT_EQ(wrong, 0) << "cord into input " << paths[k].input;
            // The end point itself is never drawn.
            const PanelPoint end = paths[k].polyline.back();
            EXPECT_NE(img.pixelColor(end.x, end.y), colourOf(paths[k].colour)) << paths[k].input;
        }
    }
    int cordColouredPixels(const QImage& img, const std::vector<PanelPoint>& pixels) {
        int n = 0;
        for (const PanelPoint& p : pixels) {
            const QColor c = img.pixelColor(p.x, p.y);
            n += c == kGreenCord || c == kRedCord;
        }
        return n;
    }

    EngineState state;
    QuietAudio audio;
    std::unique_ptr<SynthPanel> panel;
    PatchBay* bay = nullptr;
};

TEST_F(PanelCordsTest, OverlayCoversThePanelAboveEveryControlAndTakesNoMouse) {
    QWidget* overlay = panel->cordEditor()->overlay();
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->parentWidget(), panel.get());
    EXPECT_EQ(overlay->geometry(), panel->rect());
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_TRUE(overlay->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(panel->children().last(), overlay);  // stacked last, so painted last
    EXPECT_EQ(panel->childAt(panel->control(301)->geometry().center()), panel->control(301));
}

TEST_F(PanelCordsTest, ClicksOnJackControlsMakeACordAndSetTheCursor) {
    EXPECT_NE(panel->cursor().shape(), Qt::BitmapCursor);
    click(405);
    EXPECT_EQ(bay->heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(lamp(405), 1);
    EXPECT_EQ(panel->picture(405)->paintedBitmap(), 1001);  // the sideways plug
    EXPECT_EQ(panel->cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(panel->cursor().hotSpot(), QPoint(15, 29));
    click(302);
    EXPECT_EQ(bay->heldCord(), HeldCord::None);
    EXPECT_EQ(lamp(302), 1);
    EXPECT_TRUE(hasCord(state, 1));
    EXPECT_EQ(state.cordSource[1], 4);
    EXPECT_EQ(state.outputUsed[4], 1);
    EXPECT_EQ(panel->cursor().shape(), Qt::ArrowCursor);
}

// Press, drag, release: the same cord as two clicks, in one step of the history, from either end; a press
// that stays on its jack is a click, and a release off any jack leaves the end in hand.
TEST_F(PanelCordsTest, ADragFromJackToJackMakesTheCordInOneStep) {
    const auto drag = [this](int from, QPoint to) {
        QWidget* jack = panel->control(from);
        const QPoint target = jack->mapFrom(panel.get(), to);
        QTest::mousePress(jack, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QMouseEvent move(QEvent::MouseMove, target, jack->mapToGlobal(target), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(jack, &move);
        QTest::mouseRelease(jack, Qt::LeftButton, Qt::NoModifier, target);
        spin(5);
    };
    const auto centre = [this](int id) { return panel->control(id)->geometry().center(); };
    const struct { int from, to, output, input; } rows[] = {{405, 302, 4, 1}, {303, 406, 5, 2}};
    for (const auto& row : rows) {
        const std::size_t steps = panel->session().history().size();
        drag(row.from, centre(row.to));
        EXPECT_EQ(bay->heldCord(), HeldCord::None) << row.from;
        EXPECT_TRUE(hasCord(state, row.input)) << row.from;
        EXPECT_EQ(state.cordSource[row.input], row.output) << row.from;
        EXPECT_EQ(lamp(row.to), 1) << row.from;
        EXPECT_EQ(panel->session().history().size(), steps + 1) << row.from;
    }
    drag(407, centre(407) + QPoint(2, 2));  // still on the jack: a click
    EXPECT_EQ(bay->heldCord(), HeldCord::FixedAtOutput);
    click(407);
    EXPECT_EQ(bay->heldCord(), HeldCord::None);
    drag(407, QPoint(300, 200));  // off every jack
    EXPECT_EQ(bay->heldCord(), HeldCord::FixedAtOutput);
    EXPECT_EQ(bay->pickedOutput(), 6);
}

TEST_F(PanelCordsTest, LikeIntoLikeUndoesTheLampBeforeTheMessage) {
    ModalAnswerer answer;
    int lampWhileShown = -1;
    answer.then([&](QWidget* box) {
        lampWhileShown = lamp(312);
        ModalAnswerer::press(QStringLiteral("OK"))(box);
    });
    click(309);
    click(312);
    ASSERT_EQ(answer.seen.size(), 1u);
    EXPECT_EQ(answer.seen[0].text, QString::fromUtf8(kInputIntoInputMessage));
    EXPECT_EQ(answer.seen[0].title, QString::fromUtf8(kProgramTitle));
    EXPECT_EQ(answer.seen[0].icon, QMessageBox::Information);
    EXPECT_EQ(lampWhileShown, 0);
    EXPECT_EQ(lamp(312), 0);
    EXPECT_EQ(lamp(309), 1);
    EXPECT_EQ(bay->heldCord(), HeldCord::FixedAtInput);
}

TEST_F(PanelCordsTest, AutoPanMessageComesBeforeTheLampGoesDark) {
    ModalAnswerer answer;
    int lampWhileShown = -1;
    answer.then([&](QWidget* box) {
        lampWhileShown = lamp(315);
        ModalAnswerer::press(QStringLiteral("OK"))(box);
    });
    click(418);
    click(315);
    ASSERT_EQ(answer.seen.size(), 1u);
    EXPECT_EQ(answer.seen[0].text, QString::fromUtf8(kAutoPanMessage));
    EXPECT_EQ(lampWhileShown, 1);
    EXPECT_EQ(lamp(315), 0);
    EXPECT_EQ(bay->heldCord(), HeldCord::FixedAtOutput);
    EXPECT_FALSE(hasCord(state, 14));
}

TEST_F(PanelCordsTest, WaveOutputOffersTheSampleListWithTheCordsOff) {
    plugCord(state, 8, 14);
    panel->refreshPanel();
    click(308);
    const std::vector<PanelPoint> existing = polylinePixels(bay->cordPaths().front().polyline);
    EXPECT_EQ(cordColouredPixels(shot(), existing), static_cast<int>(existing.size()));
    ModalAnswerer answer;
    int drawnDuringList = -1;
    answer.then([&](QWidget* list) {
        drawnDuringList = cordColouredPixels(shot(), existing);
        static_cast<FileListDialog*>(list)->cancelButton()->click();
    });
    audio.pumped.clear();
    click(432);
    ASSERT_EQ(answer.seen.size(), 1u);
    EXPECT_EQ(drawnDuringList, 0);
    EXPECT_EQ(audio.pumped, std::vector<QWidget*>{panel.get()});
    EXPECT_TRUE(hasCord(state, 7));  // cancelled, and the cord is made all the same
    EXPECT_EQ(state.cordSource[7], 31);
    EXPECT_EQ(cordColouredPixels(shot(), existing), static_cast<int>(existing.size()));
}

TEST_F(PanelCordsTest, RoutesOnTheGrabbedPanel) {
    // A sideways oscillator output, a module output and a panoramiker into the mixer, by clicks.
    const std::vector<std::pair<int, int>> cords = {{405, 302}, {409, 315}, {418, 307}};
    std::vector<std::vector<PanelPoint>> routes;
    for (const auto& c : cords) {
        routes.push_back(
            polylinePixels(cordRoute(c.first - 401, bay->jackPoint(c.first), bay->jackPoint(c.second))));
    }
    const QImage before = shot();
    for (const auto& r : routes) EXPECT_LT(cordColouredPixels(before, r), static_cast<int>(r.size()) / 20);

    for (const auto& c : cords) {
        click(c.first);
        click(c.second);
    }
    const std::vector<CordPath> paths = bay->cordPaths();
    ASSERT_EQ(paths.size(), 3u);
    // Input order: 302, 307, 315.
    EXPECT_EQ(paths[0].output, 4);
    EXPECT_EQ(paths[1].output, 17);
    EXPECT_EQ(paths[2].output, 8);
    const QImage img = shot();
    expectCordPixels(img, paths);
    // The sideways cord starts 14 right of and 13 below its jack point; the module cord at its jack point.
    const PanelPoint p405 = bay->jackPoint(405);
    EXPECT_EQ(paths[0].polyline.front(), (PanelPoint{p405.x + 14, p405.y + 13}));
    EXPECT_EQ(img.pixelColor(p405.x + 14, p405.y + 13), kGreenCord);
    EXPECT_EQ(paths[2].polyline.front(), bay->jackPoint(409));
    EXPECT_EQ(img.pixelColor(bay->jackPoint(409).x, bay->jackPoint(409).y), kGreenCord);
    EXPECT_EQ(img.pixelColor(bay->jackPoint(418).x, bay->jackPoint(418).y), kRedCord);
}

TEST_F(PanelCordsTest, FiveCordsOfTheDefaultPatchAlternateInInputOrder) {
    setDefaultPatch(state);
    panel->refreshPanel();
    spin(10);
    const QImage img = shot();
    const std::vector<CordPath> paths = bay->cordPaths();
    ASSERT_EQ(paths.size(), 5u);
    expectCordPixels(img, paths);
    const int inputs[] = {307, 321, 322, 327, 328};
    for (int k = 0; k < 5; ++k) {
        const PanelPoint p = bay->jackPoint(inputs[k]);
        EXPECT_EQ(img.pixelColor(p.x, p.y - 1), k % 2 == 0 ? kGreenCord : kRedCord) << inputs[k];
    }
}

TEST_F(PanelCordsTest, SpeakerSwitchAndRefreshNormaliseTheInputs) {
    state.cordPresent[9] = 0;
    state.cordSource[9] = 3;
    panel->onCommand(189, panel->control(189));
    EXPECT_EQ(state.cordSource[9], kNoCord);
    state.cordPresent[9] = 1;
    state.cordSource[9] = 77;
    panel->refreshPanel();
    EXPECT_EQ(state.cordPresent[9], 0);
    EXPECT_EQ(state.cordSource[9], kNoCord);
    EXPECT_EQ(lamp(310), 0);
}

TEST_F(PanelCordsTest, BandFollowsTheMouseOverThePanelAndItsControls) {
    click(301);
    ASSERT_EQ(bay->heldCord(), HeldCord::FixedAtInput);
    // Over the panel's own surface.
    QTest::mouseMove(panel.get(), QPoint(300, 200));
    spin(5);
    EXPECT_EQ(bay->bandEnd(), (PanelPoint{300, 171}));
    // Over jacks, switches, type buttons and the disabled signs and captions.
    for (int id : {409, 321, 117, 189, 200, 165, 186, 190}) {
        QWidget* w = panel->control(id);
        const QPoint at = w->geometry().topLeft() + QPoint(3, 4);
        QTest::mouseMove(w, QPoint(3, 4));
        spin(5);
        EXPECT_EQ(bay->bandEnd(), (PanelPoint{at.x(), at.y() - 29})) << "over control " << id;
    }
}

TEST_F(PanelCordsTest, BandIsDrawnInXorFromTheAnchor) {
    click(305);
    const QImage without = shot();
    bay->moveBand(200, 150, 0);
    const QImage with = shot();
    std::vector<PanelPoint> band;
    appendLinePixels(bay->bandAnchor(), {200, 150}, band);
    ASSERT_GT(band.size(), 100u);
    int wrong = 0;
    for (const PanelPoint& p : band) {
        if ((with.pixel(p.x, p.y) & 0xffffff) != ((without.pixel(p.x, p.y) ^ 0x00ff00) & 0xffffff)) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(with.pixel(200, 150), without.pixel(200, 150));  // the end pixel is not drawn
    bay->moveBand(0, 0, 1);
    EXPECT_EQ(shot(), without);
}

TEST_F(PanelCordsTest, NoBandWithNothingHeld) {
    const QImage before = shot();
    QTest::mouseMove(panel->control(409), QPoint(5, 5));
    QTest::mouseMove(panel.get(), QPoint(320, 220));
    spin(5);
    EXPECT_FALSE(bay->bandShown());
    EXPECT_EQ(shot(), before);
}

}  // namespace
}  // namespace voltina::test
