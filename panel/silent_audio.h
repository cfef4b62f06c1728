#pragma once
// An audio port that makes no sound: it builds the tables and the ring, runs the start-up tick and
// otherwise does nothing. The panel runs on it where the audio layer is not part of the build.
// GUI thread only.

#include <QTimer>

#include "audio/audio_system.h"
#include "panel/audio_port.h"

namespace voltina {

class SilentAudioPort : public AudioPort {
public:
    explicit SilentAudioPort(EngineState& state);
    void setHooks(AudioHooks* hooks) override { hooks_ = hooks; }

    int initAudio() override;
    bool audioReady() const override { return ready_; }
    void setAudioReady(bool ready) override { ready_ = ready; }
    void renderIfDue() override {}
    void startSound() override {}
    void stopSound() override { state_.speakerOn = 0; }
    void pumpUntilPainted(QWidget*) override {}
    void rateCommand(int) override {}
    void startStartupTimer() override;
    void removeMouseHook() override {}

private:
    EngineState& state_;
    AudioHooks* hooks_ = nullptr;
    QTimer startup_;
    bool ready_ = false;
};

}  // namespace voltina
