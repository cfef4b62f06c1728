// The output half of AudioSystem: tables and ring, the device check, opening and closing the device, and
// the change of the sample rate.
#include <new>

#include "audio/audio_system.h"
#include "engine/tables.h"
#include "media/wav_file.h"

namespace voltina {

namespace {}

bool AudioSystem::initFailure() {
    // Without a ring block there is nothing to play: a zero length keeps the H.P switch's silence fill and
    // the render loop off memory that is not there.
    if (!state_.ring.allocated()) state_.ring.setRingBytes(0);
    hooks_.showMessage(kInitMessage);
    audioReady_ = false;
    return false;
}

bool AudioSystem::initAudio() {
    const int rateParam = state_.rateParam;

    std::vector<float>().swap(state_.sineTable);
    if (!allocationAllowed(4u * static_cast<std::size_t>(rateParam))) return initFailure();
    try {
        state_.sineTable = buildSineTable(rateParam);
    } catch (const std::bad_alloc&) {
        return initFailure();
    }

    state_.ring.release();
    if (!allocationAllowed(ringCapacity(rateParam))) return initFailure();
    try {
        state_.ring.allocate(ringCapacity(rateParam));
    } catch (const std::bad_alloc&) {
        return initFailure();
    }

    const int count = device_->probeDevices();
    if (count <= 0) {
        hooks_.showMessage(kNoCardMessage);
        return false;
    }
    bool described = false;
    bool suitable = false;
    for (int i = 0; i < count && !suitable; ++i) {
        DeviceCaps caps;
        if (!device_->deviceCaps(i, caps)) continue;
        described = true;
        deviceCaps_ = caps;
        suitable = caps.supportsRequiredFormat;
        // The device found suitable is the one opened, not whichever the library lists first.
        if (suitable) device_->selectDevice(i);
    }
    // A machine whose devices all fail to describe themselves still gets its chance at opening the default.
    if (described && !suitable) {
        hooks_.showMessage(kFormatMessage);
        return false;
    }

    if (deviceCaps_.channels == 1) {
        waveFormat_.channels = 1;
        state_.stereoOut = 0;
        hooks_.showMessage(kMonoMessage);
    } else {
        waveFormat_.channels = 2;
        state_.stereoOut = 1;
    }
    waveFormat_.sampleRate = rateParam - 1;
    return true;
}

bool AudioSystem::ringPlayable() const {
    const RingBuffer& ring = state_.ring;
    return ring.allocated() && ring.ringBytes() > 0 && ring.ringBytes() % 2 == 0 &&
           static_cast<std::size_t>(ring.ringBytes()) <= ring.capacity();
}

void AudioSystem::openAudio() {
    if (!device_->open(waveFormat_, state_.ring)) {
        hooks_.showMessage(kOpenMessage);
        deviceOpen_ = false;
        return;
    }
    deviceOpen_ = true;
    lastPosition_ = 0;
    lastProgressTick_ = tick_();
    progressPosition_ = 0;
    stalled_ = false;
    stallSaid_ = false;
    stallToSay_ = false;
    if (!ringPlayable()) {
        device_->close();
        deviceOpen_ = false;
        showMemoryError("2");
        return;
    }
    if (!device_->start()) {
        device_->stop();
        device_->close();
        deviceOpen_ = false;
        showMemoryError("3");
        return;
    }
    if (state_.recordOn == 1) {
        if (state_.recording.start()) {
            beginSpool();
            takeBytesHandedOn_ = 0;
            takeOpen_ = true;
            takeFirstFramePending_ = true;
            hooks_.takeBegins(spool_.writing() ? spool_.path() : std::string());
        } else {
            state_.recordOn = 0;
        }
    }
}

void AudioSystem::beginSpool() {
    spoolStopped_ = false;
    spooledBytes_ = 0;
    std::string error;
    if (!spool_.begin(spoolFolder_, recordingFormat(state_.rateParam, state_.stereoOut), error))
        sayLater("The take is kept in memory only, not on disk: " + error);
}

void AudioSystem::spoolRecording(bool sayNow) {
    if (!spool_.writing()) return;
    Recording& take = state_.recording;
    // The take ends at the first failure, and the user hears of it then: a take that stops growing
    // without a word is found short only when it is played back.
    auto stop = [&](const std::string& text) {
        spoolStopped_ = true;
        if (sayNow)
            hooks_.showMessage(text);
        else
            sayLater(text);
    };
    if (!spoolStopped_ && !spool_.failed() && take.length() > 0) {
        if (spool_.push(take.bytes().data(), take.length())) {
            spooledBytes_ += take.length();
        } else if (!spool_.failed()) {
            stop("The disk is too slow for the take: it ends here, what was recorded until now is kept.");
        }
    }
    if (!spoolStopped_ && spool_.failed())
        stop("The take ends here, what was recorded until now is kept. " + spool_.failure());
    takeBytesHandedOn_ += take.length();
    take.forgetBytes();
}

void AudioSystem::finishSpool() {
    if (!spool_.writing()) return;
    // Said at once: the name prompt comes next, and the user should know first that the take is short.
    spoolRecording(true);
    std::string error;
    if (!spool_.finish(error) && !spoolStopped_)
        hooks_.showMessage(
            "The end of the take could not be written, what was recorded until then is kept. " + error);
    state_.recording.setSpoolFile(spool_.path());
}

void AudioSystem::sayLater(const std::string& text) {
    QTimer::singleShot(0, &timer_, [this, text] { hooks_.showMessage(text); });
}

void AudioSystem::showMemoryError(const std::string& code) {
    hooks_.showMessage(kMemoryErrorPrefix + code);
}

void AudioSystem::closeAudio() {
    if (!deviceOpen_) return;
    device_->stop();
    const std::uint64_t xruns = device_->xruns();
    if (device_->close()) {
        deviceOpen_ = false;
        closedXruns_ += xruns;
    }
    finishSpool();
    if (takeOpen_) {
        takeOpen_ = false;
        takeFirstFramePending_ = false;
        hooks_.takeEnds();
    }
    // The engine drops recordOn when the recording memory cannot grow but keeps what it had: offer that too.
    if (state_.recordOn == 1 || state_.recording.active()) hooks_.saveRecording();
    // Saved or discarded, the file is no longer this run's; left (a crash in the prompt), it is offered at
    // the next start.
    spool_.release();
}

void AudioSystem::changeRate(int newRateParam) {
    const int previous = state_.rateParam;
    if (state_.speakerOn == 1) {
        state_.ring.fill(128);  // the device, still playing, goes silent at once
        state_.speakerOn = 0;
        hooks_.setSpeakerLit(false);
    }
    stopSound();
    state_.rateParam = newRateParam;
    state_.ring.setRingBytes(rateChangeRingBytes(newRateParam));
    if (!initAudio()) {
        state_.rateParam = previous;
        state_.ring.setRingBytes(rateChangeRingBytes(previous));
        initAudio();
    }
}

}  // namespace voltina
