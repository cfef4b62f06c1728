#pragma once
// CONTRACT between the audio layer and the panel (helpers fill in the details; names are fixed).
// The audio layer: sine table and ring ownership, the wave-output device, the sample-rate change, and
// the render scheduling (render gate, sound timer, mouse hook, message pump).
// GUI thread only, unless a member says otherwise.

#include <cstdint>
#include <string>

#include "engine/engine_state.h"

class QWidget;

namespace voltina {

// What the audio layer asks of the program around it. The panel implements it; tests fake it.
class AudioHooks {
public:
    virtual ~AudioHooks() = default;
    virtual void showMessage(const std::string& text) = 0;      // the program's message box
    virtual bool askRateQuestion(const std::string& text) = 0;  // empty caption, Yes/No, no icon
    virtual void setSpeakerSwitchState(int state) = 0;          // UM_SETSTATE on control 189
    virtual void saveRecording() = 0;                           // offered by closeAudio
    virtual void closeMidiInput() = 0;                          // a rate change closes MIDI input
    virtual void freeWaveSample() = 0;                          // a rate change unloads the sample
    virtual void updateRateChecks(int rateParam) = 0;           // menu items 904..906
    virtual void firstTick() = 0;  // start-up tick: refresh panel, rate checks, H.P on (through its command)
};

class AudioSystem;  // defined by the audio layer: initAudio, openAudio, closeAudio, changeRate,
                    // renderIfDue, startSound, stopSound, pumpUntilPainted, installMouseHook,
                    // removeMouseHook, startStartupTimer, audioReady, timerId, startupPending, ...

}  // namespace voltina
