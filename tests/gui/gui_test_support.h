#pragma once
// Helpers for the offscreen GUI tests: a fake audio port that records what the panel asks of it, and a
// driver that answers modal dialogs and message boxes as a user would.

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine_state.h"
#include "panel/panel_audio.h"
#include "panel/synth_panel.h"

class QMessageBox;

namespace voltina::test {

class FakeAudio : public PanelAudio {
  public:
    explicit FakeAudio(EngineState& state) : state_(state) {}

    void setHooks(AudioHooks* hooks) override { hooks_ = hooks; }
    bool initAudio() override;
    bool audioReady() const override { return ready_; }
    void setAudioReady(bool ready) override { ready_ = ready; }
    void renderIfDue() override { ++gateCalls; }
    void startSound() override {
        calls.push_back("startSound");
        playing_ = ready_ && opens;
    }
    void stopSound() override {
        calls.push_back("stopSound");
        state_.speakerOn = 0;
        playing_ = false;
    }
    bool soundPlaying() const override { return playing_; }
    void pumpUntilPainted(QWidget*) override { calls.push_back("pump"); }
    void startStartupTimer() override { calls.push_back("startupTimer"); }
    void removeMouseHook() override { calls.push_back("removeMouseHook"); }

    int count(const std::string& call) const;

    // initAudio's answer, and a message it shows through the hooks first (as the audio layer does).
    bool initResult = true;
    // Whether a started sound finds a device that opens.
    bool opens = true;
    std::string initMessage;
    std::vector<std::string> calls;
    long gateCalls = 0;

  private:
    EngineState& state_;
    AudioHooks* hooks_ = nullptr;
    bool ready_ = false;
    bool playing_ = false;
};

// What a dialog or message box looked like when the driver met it.
struct SeenDialog {
    std::string title;
    std::string text;    // a message box's text
    std::string detail;  // and its informative text
    int icon = -1;       // QMessageBox::Icon
    std::string className;
};

// Answers the modal windows that open while a test runs, one action per window, in order.
class ModalDriver {
  public:
    using Action = std::function<void(QWidget*)>;
    ModalDriver();
    ~ModalDriver();
    void then(Action action) { actions_.push_back(std::move(action)); }
    const std::vector<SeenDialog>& seen() const { return seen_; }
    bool idle() const { return actions_.empty(); }

    // Common answers.
    static Action clickButtonText(const QString& text);    // a message box's button or a push button
    static Action clickObject(const QString& objectName);  // a push button by object name
    static Action typeThenClick(const QString& typed, const QString& buttonObject);

  private:
    void poll();
    QTimer timer_;
    std::deque<Action> actions_;
    std::vector<SeenDialog> seen_;
    QPointer<QWidget> handled_;
};

// Runs the event loop for about `ms` milliseconds.
void spin(int ms);

// A shown panel over a fresh engine state and a fake audio port.
struct PanelFixture {
    PanelFixture();
    ~PanelFixture();
    EngineState state;
    FakeAudio audio{state};
    std::unique_ptr<SynthPanel> panel;
};

}  // namespace voltina::test
