// The panel and voltina-render's events file are one thing: the real panel is played offscreen (knobs
// held and wheeled, buttons and jacks clicked, frequencies typed, undo and redo) while the offline renderer
// renders between the gestures, every edit the panel makes is written out as an events file at the frame
// it acted, and that file rendered from the start gives the same bytes.

#include "render/panel_events.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <random>

#include "engine/defaults.h"
#include "panel/panel_cord_editor.h"
#include "panel/synth_panel.h"
#include "render/offline_start.h"
#include "resources/menu_template.h"
#include "resources/panel_template.h"
#include "tests/gui/gui_test_support.h"
#include "tests/support/render_in_memory.h"

namespace voltina::test {
namespace {

// The engine as voltina-render starts it without a configuration.
std::unique_ptr<EngineState> renderStart() {
    auto s = std::make_unique<EngineState>();
    setEngineDefaults(*s);
    prepareAudioTables(*s, kDefaultRateParam, 1);
    startSoundOffline(*s);
    return s;
}

// Answers whatever modal window opens: the frequency entry takes `typed`, a message box is read and
// closed, the sample list is cancelled.
class ModalCloser {
  public:
    ModalCloser() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(2);
    }
    QString typed;
    int messages = 0;

  private:
    void poll() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        if (qobject_cast<QMessageBox*>(dialog)) {
            ++messages;
            dialog->accept();
        } else if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("edit"))) {
            edit->setText(typed);
            dialog->findChild<QPushButton*>(QStringLiteral("ok"))->click();
        } else {
            dialog->reject();
        }
    }
    QTimer timer_;
};

TEST(PanelEvents, TheRealPanelsGesturesRenderAgainFromTheirEvents) {
    QTemporaryDir folder;
    for (unsigned run = 1; run <= 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        std::mt19937 rng(run);
        const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };

        auto live = renderStart();
        FakeAudio audio(*live);
        SynthPanel panel(*live, audio);
        audio.setHooks(&panel);
        audio.setAudioReady(true);
        panel.setCordEditor(makePanelCordEditor(panel));
        panel.show();
        panel.showPatch();

        OfflineRenderer renderer(*live);
        std::vector<std::uint8_t> heard;
        const FrameSink keep = [&](const std::uint8_t* bytes, std::size_t size) {
            heard.insert(heard.end(), bytes, bytes + size);
            return true;
        };
        const auto play = [&](int frames) { renderer.renderTo(renderer.position() + frames, {}, {}, keep); };
        std::vector<PanelEvent> edits;
        panel.session().setEditObserver([&](const Edit& e) { edits.push_back({renderer.position(), e}); });
        ModalCloser closer;

        for (int gesture = 0; gesture < 60; ++gesture) {
            play(pick(1500));
            switch (pick(9)) {
                case 0:  // a wave-type button
                    panel.button(ctl::kOscType0 + pick(8) + 8 * pick(4))->click();
                    break;
                case 1:
                    panel.button(ctl::kSync)->click();
                    break;
                case 2:
                case 3: {  // a jack, any of the 64: pick, plug, take out, refused
                    const int jack =
                        pick(2) ? ctl::kFirstInputJack + pick(32) : ctl::kFirstOutputJack + pick(31);
                    panel.button(jack)->click();
                    break;
                }
                case 4: {  // wheel notches on any knob
                    QWidget* knob = panel.control(ctl::kOscKnob + (pick(2) ? pick(8) : 48 + pick(16)));
                    const int angle = pick(2) ? 120 : -120;
                    for (int n = 1 + pick(3); n > 0; --n) {
                        QWheelEvent e(QPointF(10, 10), QPointF(knob->mapToGlobal(QPoint(10, 10))), QPoint(),
                                      QPoint(0, angle), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                                      false);
                        QApplication::sendEvent(knob, &e);
                        play(pick(300));
                    }
                    break;
                }
                case 5: {  // a knob held while the sound goes on
                    QWidget* knob = panel.control(ctl::kOscKnob + (pick(2) ? pick(8) : 48 + pick(16)));
                    const Qt::MouseButton button = pick(2) ? Qt::LeftButton : Qt::RightButton;
                    QTest::mousePress(knob, button, Qt::NoModifier, QPoint(10, 10));
                    for (int k = 0; k < 15; ++k) {
                        spin(20);
                        play(200);
                    }
                    QTest::mouseRelease(knob, button, Qt::NoModifier, QPoint(10, 10));
                    break;
                }
                case 6:  // a frequency typed under a knob
                    closer.typed = QString::number(pick(2) ? pick(7000) : pick(100) / 7.0, 'g', 6);
                    panel.button(ctl::kOscFreqButton + pick(8))->click();
                    break;
                case 7:
                    panel.onMenuCommand(cmd::kUndo);
                    break;
                default:
                    panel.onMenuCommand(cmd::kRedo);
                    break;
            }
        }
        play(3000);
        panel.session().setEditObserver({});
        ASSERT_GT(edits.size(), 30u);

        const std::string text = serializePanelEvents(edits, 11025);
        auto again = renderStart();
        std::vector<PanelEvent> events;
        std::string error;
        ASSERT_TRUE(
            parsePanelEvents(text, *again, events, error, {folder.path().toStdString(), kDefaultRateParam}))
            << error << "\n"
            << text;
        ASSERT_EQ(events.size(), edits.size());
        const std::vector<std::uint8_t> rendered = renderOffline(*again, renderer.position(), {}, events);
        ASSERT_EQ(rendered.size(), heard.size());
        std::size_t first = 0;
        while (first < heard.size() && heard[first] == rendered[first]) ++first;
        EXPECT_EQ(first, heard.size()) << "first difference at frame " << first / 2 << "\n" << text;
    }
}

}  // namespace
}  // namespace voltina::test
