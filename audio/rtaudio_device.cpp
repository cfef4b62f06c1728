#include "audio/rtaudio_device.h"

#include <alsa/asoundlib.h>
#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "audio/ring_player.h"
#include "engine/ring_buffer.h"

namespace voltina {

struct RtAudioDevice::Stream {
    std::unique_ptr<RtAudio> rt;
    RingPlayer player;
    bool floatSamples = false;
    int deviceRate = 0;
    // Set by the error callback (any RtAudio thread) when the stream is lost; read by the GUI thread.
    std::atomic<bool> failed{false};
    // The Dekker pair that lets stop() know the callback no longer reads the ring: the GUI thread raises
    // `closing`, then waits while `inCallback` is up. Both sequentially consistent on purpose.
    std::atomic<bool> closing{false};
    std::atomic<bool> inCallback{false};
};

namespace {

// RtAudio's error callback carries no user pointer: each thread that can raise an error names the stream it
// works for here (the audio thread on its first callback, the GUI and closing threads around their calls).
thread_local RtAudioDevice::Stream* currentStream = nullptr;

struct CurrentStream {
    explicit CurrentStream(RtAudioDevice::Stream* s) : previous(currentStream) { currentStream = s; }
    ~CurrentStream() { currentStream = previous; }
    RtAudioDevice::Stream* previous;
};

void onRtError(RtAudioError::Type type, const std::string& text) {
    RtAudioDevice::Stream* s = currentStream;
    if (s == nullptr) return;
    // Warnings are mostly harmless (an ALSA underrun is recovered by RtAudio), except a failed write that is
    // not an underrun: that is a server or card that went away, and RtAudio only warns about it.
    const bool lost = type != RtAudioError::WARNING && type != RtAudioError::DEBUG_WARNING;
    const bool writeFailed =
        text.find("write error") != std::string::npos && text.find("underrun") == std::string::npos;
    if (lost || writeFailed) s->failed.store(true, std::memory_order_release);
}

void writeSilence(RtAudioDevice::Stream* s, void* out, unsigned frames) {
    const std::size_t sampleBytes = s->floatSamples ? sizeof(float) : sizeof(std::int16_t);
    std::memset(out, 0, sampleBytes * frames * static_cast<unsigned>(s->player.channels()));
}

int audioCallback(void* out, void*, unsigned frames, double, RtAudioStreamStatus, void* user) {
    auto* s = static_cast<RtAudioDevice::Stream*>(user);
    currentStream = s;
    s->inCallback.store(true);
    const bool failed = s->failed.load(std::memory_order_acquire);
    if (failed || s->closing.load()) {
        writeSilence(s, out, frames);
        s->inCallback.store(false);
        // Abort only once the error callback exists to take RtAudio's complaints; see open().
        return failed ? 2 : 0;
    }
    if (s->floatSamples) {
        s->player.renderFloat(static_cast<float*>(out), frames);
    } else {
        s->player.renderS16(static_cast<std::int16_t*>(out), frames);
    }
    s->inCallback.store(false);
    return 0;
}

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// ALSA prints its own complaints on stderr unless told otherwise.
void quietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&ignoreAlsaError); });
}

// RtAudio quietly picks another API when asked for one it was built without: refuse instead.
std::unique_ptr<RtAudio> makeRtAudio() {
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    if (std::find(apis.begin(), apis.end(), RtAudio::LINUX_ALSA) == apis.end()) return nullptr;
    try {
        auto rt = std::make_unique<RtAudio>(RtAudio::LINUX_ALSA);
        rt->showWarnings(false);
        return rt;
    } catch (...) {
        return nullptr;
    }
}

// Device buffers of about 23 ms (256 frames at 11025 Hz): large enough that a loaded machine does not
// underrun, small enough that the server's start burst (three of them) stays well inside the ring.
unsigned bufferFramesFor(int rate) {
    unsigned frames = 256;
    while (frames * 11025u < static_cast<unsigned>(rate) * 256u * 3u / 4u) frames *= 2;
    return frames;
}
constexpr unsigned kDeviceBuffers = 3;
// The stream's name on the server.
const char* const kStreamName = "Voltina";

// ALSA's "default" device resamples any rate; a card's own devices ("hw:0,0") play only the rates they list.
bool playsRingRates(const RtAudio::DeviceInfo& info) {
    if (info.name == "default") return true;
    return std::find(info.sampleRates.begin(), info.sampleRates.end(), 11025u) != info.sampleRates.end();
}

}  // namespace

RtAudioDevice::RtAudioDevice() {
    quietLibraries();
}

RtAudioDevice::~RtAudioDevice() {
    close();
    closers_.reap(true);
}

std::string RtAudioDevice::name() const {
    return "alsa";
}

int RtAudioDevice::probeDevices() {
    auto rt = makeRtAudio();
    if (!rt) return 0;
    try {
        return static_cast<int>(rt->getDeviceCount());
    } catch (...) {
        return 0;
    }
}

bool RtAudioDevice::deviceCaps(int index, DeviceCaps& caps) {
    if (index < 0) return false;
    auto rt = makeRtAudio();
    if (!rt) return false;
    try {
        const RtAudio::DeviceInfo info = rt->getDeviceInfo(static_cast<unsigned>(index));
        if (!info.probed) return false;
        caps.name = info.name;
        caps.channels = info.outputChannels >= 2 ? 2 : static_cast<int>(info.outputChannels);
        caps.supportsRequiredFormat = info.outputChannels > 0 && playsRingRates(info);
        return true;
    } catch (...) {
        return false;
    }
}

bool RtAudioDevice::open(const DeviceFormat& format, const RingBuffer& ring) {
    if (stream_) return false;
    closers_.reap(false);
    if (format.sampleRate <= 0 || ring.ringFrames() <= 0) return false;

    auto s = std::make_unique<Stream>();
    s->rt = makeRtAudio();
    if (!s->rt) return false;
    CurrentStream current(s.get());
    const int channels = format.channels == 1 ? 1 : 2;
    try {
        RtAudio::StreamParameters out;
        // The device the capability check described; until a check, the default output.
        out.deviceId = chosen_ < 0 ? s->rt->getDefaultOutputDevice() : static_cast<unsigned>(chosen_);
        out.nChannels = static_cast<unsigned>(channels);
        out.firstChannel = 0;
        const int rate = format.sampleRate;
        s->deviceRate = rate;
        s->player.attach(&ring, channels);
        RtAudio::StreamOptions options;
        options.numberOfBuffers = kDeviceBuffers;
        options.streamName = kStreamName;
        // ALSA's "default" is opened by name: RtAudio's index for it is the last one.
        if (chosen_ < 0 || s->rt->getDeviceInfo(out.deviceId).name == "default")
            options.flags |= RTAUDIO_ALSA_USE_DEFAULT;
        unsigned bufferFrames = bufferFramesFor(rate);
        // The error callback matters twice: RtAudio then reports a lost server instead of printing it, and
        // the audio callback may return 2 (abort) without RtAudio throwing on its own thread.
        s->rt->openStream(&out, nullptr, s->floatSamples ? RTAUDIO_FLOAT32 : RTAUDIO_SINT16,
                          static_cast<unsigned>(rate), &bufferFrames, &audioCallback, s.get(), &options,
                          &onRtError);
        if (!s->rt->isStreamOpen() || s->failed.load(std::memory_order_acquire)) return false;
    } catch (...) {
        return false;
    }
    stream_ = std::move(s);
    return true;
}

bool RtAudioDevice::start() {
    if (!stream_) return false;
    CurrentStream current(stream_.get());
    stream_->player.resetPosition();
    try {
        stream_->rt->startStream();
    } catch (...) {
        return false;
    }
    return stream_->rt->isStreamRunning() && !stream_->failed.load(std::memory_order_acquire);
}

bool RtAudioDevice::position(std::uint64_t& frames) {
    if (!stream_ || stream_->failed.load(std::memory_order_acquire)) return false;
    frames = stream_->player.position();
    return true;
}

bool RtAudioDevice::failed() const {
    return stream_ && stream_->failed.load(std::memory_order_acquire);
}

int RtAudioDevice::deviceRate() const {
    return stream_ ? stream_->deviceRate : 0;
}

void RtAudioDevice::stop() {
    if (!stream_) return;
    stream_->closing.store(true);
    // The callback never blocks between raising and lowering its flag, so this wait is a few microseconds.
    while (stream_->inCallback.load()) std::this_thread::yield();
}

bool RtAudioDevice::close() {
    if (!stream_) return true;
    stop();
    // From here on RtAudio's thread no longer reads the ring: the stream itself can go at its own pace.
    Stream* s = stream_.release();
    auto closeAndDelete = [s] {
        {
            CurrentStream current(s);
            try {
                if (s->rt->isStreamOpen()) s->rt->closeStream();
            } catch (...) {
            }
        }
        delete s;
    };
    closers_.run(closeAndDelete);
    return true;
}

}  // namespace voltina
