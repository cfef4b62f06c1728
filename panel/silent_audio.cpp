#include "panel/silent_audio.h"

#include "engine/tables.h"

namespace voltina {

SilentAudioPort::SilentAudioPort(EngineState& state) : state_(state) {
    startup_.setSingleShot(true);
    startup_.setTimerType(Qt::PreciseTimer);
    startup_.setInterval(300);
    QObject::connect(&startup_, &QTimer::timeout, [this] {
        if (hooks_) hooks_->firstTick();
    });
}

int SilentAudioPort::initAudio() {
    state_.sineTable = buildSineTable(state_.rateParam);
    state_.ring.allocate(ringCapacity(state_.rateParam));
    state_.ring.setRingBytes(startupRingBytes(state_.rateParam));
    state_.ring.fill(128);
    return 1;
}

void SilentAudioPort::startStartupTimer() { startup_.start(); }

}  // namespace voltina
