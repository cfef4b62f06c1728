#pragma once
// The panel's audio port over the real audio layer. It stands between the two so that the audio layer can
// be made before the panel exists: its questions and messages go to the panel once the panel is there.
// GUI thread only.

#include <functional>
#include <memory>
#include <string>

#include "audio/audio_system.h"
#include "audio/backend_choice.h"
#include "panel/panel_audio.h"
#include "render/performance_capture.h"

namespace voltina {

class AudioSystemAdapter : public PanelAudio, private AudioHooks {
  public:
    AudioSystemAdapter(EngineState& state, AudioBackend backend, bool connectPorts = true,
                       const std::string& jackClientName = "Voltina");
    ~AudioSystemAdapter() override;

    AudioSystem& system() { return *audio_; }
    // The performance of the take being recorded (or of the last one, until it is saved or discarded).
    PerformanceCapture& performance() { return performance_; }
    // Where the playing sample came from, for the take's start state.
    void setSamplePathSource(std::function<std::string()> source) { samplePath_ = std::move(source); }

    void setHooks(AudioHooks* hooks) override { panel_ = hooks; }
    bool initAudio() override { return audio_->initAudio(); }
    bool audioReady() const override { return audio_->audioReady(); }
    void setAudioReady(bool ready) override { audio_->setAudioReady(ready); }
    void renderIfDue() override { audio_->renderIfDue(); }
    void startSound() override { audio_->startSound(); }
    void stopSound() override { audio_->stopSound(); }
    bool soundPlaying() const override { return audio_->deviceOpen(); }
    void pumpUntilPainted(QWidget* window) override { audio_->pumpUntilPainted(window); }
    void startStartupTimer() override { audio_->startStartupTimer(); }
    void removeMouseHook() override { audio_->removeMouseHook(); }
    void setRenderWatch(RenderWatch* watch) override { audio_->setRenderWatch(watch); }

  private:
    // AudioHooks, handed on to the panel; before the panel exists there is no one to ask.
    void showMessage(const std::string& text) override;
    void setSpeakerLit(bool lit) override;
    void saveRecording() override;
    void firstTick() override;
    void takeBegins(const std::string& spoolPath) override;
    void takeFirstFrame() override;
    void takeEnds() override;

    AudioHooks* panel_ = nullptr;
    EngineState& state_;
    PerformanceCapture performance_;
    std::function<std::string()> samplePath_;
    std::unique_ptr<AudioSystem> audio_;
};

}  // namespace voltina
