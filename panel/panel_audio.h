#pragma once
// The audio layer as the panel uses it: the render gate, starting and stopping the sound, the message
// pump and the start-up timer. The program hands the panel an adapter over
// the real audio layer; tests hand it a fake that records what was asked.
// GUI thread only.

#include "audio/audio_hooks.h"
#include "audio/render_watch.h"

class QWidget;

namespace voltina {

class PanelAudio {
  public:
    virtual ~PanelAudio() = default;

    // The panel, once it exists: the audio layer's messages, questions and start-up tick go there.
    virtual void setHooks(AudioHooks* hooks) = 0;

    // Builds the sine table and the ring for the current rate and checks the card; true on success. Shows
    // its own messages (through the panel's AudioHooks).
    virtual bool initAudio() = 0;
    virtual bool audioReady() const = 0;
    virtual void setAudioReady(bool ready) = 0;

    virtual void renderIfDue() = 0;
    virtual void startSound() = 0;
    virtual void stopSound() = 0;
    // True while a device plays the ring: false without a usable card, after a failed open and once the
    // sound has stopped.
    virtual bool soundPlaying() const = 0;
    // Never from inside a paint event.
    virtual void pumpUntilPainted(QWidget* window) = 0;

    // 300 ms after it is started, the start-up tick calls AudioHooks::firstTick once (and the
    // audio layer then installs its mouse hook).
    virtual void startStartupTimer() = 0;
    // After the application has finished running.
    virtual void removeMouseHook() = 0;
    // The scope and the level meter, shown every frame rendered from now on; null for no one.
    virtual void setRenderWatch(RenderWatch* /*watch*/) {}
};

}  // namespace voltina
