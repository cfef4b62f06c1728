#pragma once
// The synthesizer panel: owns every control of the panel template, turns clicks into changes of the
// engine state and shows that state. It is also what the audio layer sees of the program (AudioHooks).
// GUI thread only.

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "audio/audio_hooks.h"
#include "engine/engine_state.h"
#include "panel/bitmap_table.h"
#include "panel/panel_services.h"
#include "patch/patch_session.h"

class QAction;
class QLabel;
class QPushButton;

namespace voltina {

class PanelAudio;
class PanelScope;
class CordEditor;
class Knob;
class MidiLearn;
class MidiMark;
class PictureButton;

// A configuration to start with instead of the default patch. Set-up calls `beforeAudio` before it builds
// the audio tables (so the configuration's rate is the one they are built for, with no rate change and no
// second card check) and `afterDefaultPatch` once the default patch is in place; either may be empty.
struct StartupPatch {
    std::function<void()> beforeAudio;
    std::function<void()> afterDefaultPatch;
};

// What a click on H.P says when there is no card to play on.
constexpr const char* kNoSoundMessage = "Impossible to play: no usable audio card";

class SynthPanel : public QWidget, public AudioHooks {
    Q_OBJECT
  public:
    SynthPanel(EngineState& state, PanelAudio& audio, PanelServices services = {}, QWidget* parent = nullptr);
    ~SynthPanel() override;  // releasePanel

    // ---- controls
    void buildControls();
    QWidget* control(int id) const;
    PictureButton* picture(int id) const;
    Knob* knob(int id) const;
    QPushButton* button(int id) const;  // any push button of the template, pictures and knobs included
    QLabel* valueTip() const;
    // The MIDI module's lamp: lit while a MIDI key is held.
    MidiMark* midiMark() const { return midiMark_; }
    // MIDI learn: the controls' menus and the controllers bound to them.
    MidiLearn* midiLearn() const { return midiLearn_; }
    // Lights or puts out a picture button's lamp; ids that name none are ignored.
    void setLamp(int id, bool lit);
    // Toggles a picture button's lamp; whether it is lit now (false when the id names none).
    bool toggleLamp(int id);

    // ---- commands and display
    // A click on control `id` (`control` is that control; null does nothing).
    void onCommand(int id, QWidget* control);
    void onMenuCommand(int id);
    void showOscType(int osc);
    void showOscFreq(int osc);
    // Every control as the engine state has it: types, frequencies, knobs, lamps, cords. Changes nothing
    // in the engine.
    void showPatch();
    // The Wave button and the sample loader as the session has the sample (after undo and redo).
    void showSample();
    // After a whole new patch: every oscillator derived, the panel shown, the sound restarted.
    void refreshPanel();
    void selectSample();
    // The Wave button shows no sample's name.
    void clearWaveButton();
    // Escape: a held cord end is let go and the lamps shown as the cords are; false when none was held.
    bool letGoOfHeldCord();

    // ---- the panel's edits
    PatchSession& session() { return session_; }
    // Menu "Edit": one gesture back or forward; the panel shows the result at once.
    void undo();
    void redo();
    // A short MIDI message (status | note << 8 | velocity << 16) delivered on the GUI thread by the MIDI
    // input; it plays the MIDI voice, and a control change moves (or learns) a bound controller.
    void onMidiData(std::uint32_t packed);

    // ---- life of the program
    // Before setupPanel.
    void setStartupPatch(StartupPatch patch) { startup_ = std::move(patch); }
    void setupPanel();
    bool confirmClose();
    // Quit: asks once; when confirmed the panel is finished and closeRequested is emitted.
    void quit();
    bool isFinished() const { return finished_; }
    void releasePanel();

    // ---- AudioHooks
    void showMessage(const std::string& text) override;
    // The same box with a detail line under the message (which file, and what was wrong with it).
    void showMessage(const std::string& text, const std::string& detail);
    void setSpeakerLit(bool lit) override;
    void saveRecording() override;
    void firstTick() override;

    // ---- what a rate change (and the shutdown) does through the panel's services
    void closeMidiInput();
    // Opens the MIDI input again (the program's own port under JACK); says so when none can be found.
    void openMidiInput();
    // The player is left without a sample, the Wave button without a name.
    void freeWaveSample();
    // Ticks the menu's rate item (904, 905 or 906) of `rateParam`.
    void showRate(int rateParam);

    // ---- what the controls and the other layers reach the panel for
    EngineState& state() { return state_; }
    const EngineState& state() const { return state_; }
    PanelAudio& audio() { return audio_; }
    const PanelBitmaps& bitmaps() const { return bitmaps_; }
    CordEditor* cordEditor() const { return cords_.get(); }
    void setCordEditor(std::unique_ptr<CordEditor> editor);
    PanelServices& services() { return services_; }
    // The menu's rate items 904, 905, 906, checked by showRate.
    void setRateActions(QAction* rate11025, QAction* rate22050, QAction* rate44100);
    // The scope window and the output level meter.
    PanelScope& scope() { return *scope_; }

  signals:
    void closeRequested(int result);
    // What Undo and Redo would do has changed.
    void historyChanged();

  protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    void frequencyEntry(int osc);
    void removeSample();
    // One step back (or forward) in the history, shown at once.
    void stepHistory(bool forward);
    // A held cord end is let go before the patch changes under it.
    void dropHeldCord();
    void speakerSwitch();
    void recordSwitch();
    void keepOverlayOnTop();

    EngineState& state_;
    PatchSession session_;
    PanelAudio& audio_;
    PanelServices services_;
    StartupPatch startup_;
    PanelBitmaps bitmaps_;
    std::map<int, QWidget*> controls_;
    std::unique_ptr<CordEditor> cords_;
    MidiMark* midiMark_ = nullptr;
    MidiLearn* midiLearn_ = nullptr;
    std::unique_ptr<PanelScope> scope_;
    std::array<QAction*, 3> rateActions_{};
    bool startingUp_ = false;  // the first tick switches H.P on
    bool finished_ = false;
    bool released_ = false;
};

}  // namespace voltina
