#include "audio/rtaudio_device.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <rtaudio/RtAudio.h>

#include <chrono>
#include <cstring>
#include <mutex>

#include "audio/pulse_probe.h"
#include "audio/ring_player.h"
#include "audio/ring_resampler.h"
#include "audio/rtaudio_jack_client.h"
#include "engine/ring_buffer.h"

namespace voltina {

struct RtAudioDevice::Stream {
    std::unique_ptr<RtAudio> rt;
    RingPlayer player;
    std::unique_ptr<RingResampler> resampler;
    bool floatSamples = false;
    int deviceRate = 0;
    // Whether the callback may ask RtAudio to abort a failed stream. Not on JACK, where RtAudio would stop
    // the stream on a thread of its own, racing the closing one; a lost JACK server calls no callback anyway.
    bool abortWhenFailed = true;
    // Set by the error callback (any RtAudio thread) or by libjack's shutdown handler when the stream is
    // lost; read by the GUI thread.
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
        return failed && s->abortWhenFailed ? 2 : 0;
    }
    if (s->resampler) {
        s->resampler->read(static_cast<float*>(out), frames);
    } else if (s->floatSamples) {
        s->player.renderFloat(static_cast<float*>(out), frames);
    } else {
        s->player.renderS16(static_cast<std::int16_t*>(out), frames);
    }
    s->inCallback.store(false);
    return 0;
}

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// ALSA and JACK print their own complaints on stderr unless told otherwise.
void quietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(&ignoreAlsaError);
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
    });
}

RtAudio::Api toApi(RtBackend backend) {
    switch (backend) {
        case RtBackend::Alsa:
            return RtAudio::LINUX_ALSA;
        case RtBackend::Jack:
            return RtAudio::UNIX_JACK;
        case RtBackend::Pulse:
            break;
    }
    return RtAudio::LINUX_PULSE;
}

// RtAudio quietly picks another API when asked for one it was built without: refuse instead.
std::unique_ptr<RtAudio> makeRtAudio(RtBackend backend) {
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    bool compiled = false;
    for (RtAudio::Api a : apis) compiled = compiled || a == toApi(backend);
    if (!compiled) return nullptr;
    try {
        auto rt = std::make_unique<RtAudio>(toApi(backend));
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
// PulseAudio: two buffers of twice that size. The client is woken half as often (the whole process
// then stays under 1 % of a core while it plays), the server still has 46 ms left when it asks for
// more, and the start burst (about 93 ms) stays well inside the ring.
constexpr unsigned kPulseBuffers = 2;
constexpr unsigned kPulseBufferScale = 2;
// The stream's name on the server (JACK's client name).
const char* const kStreamName = "Voltina";

// JACK clients of ours still being closed, process-wide. Asked for a new client after a server went away,
// libjack deletes the clients that server left behind on its own, and closing one of those afterwards
// crashes: so no JACK client is opened here while one of ours is still being closed.
std::atomic<int> jackClosesPending{0};

// False when a close is still under way after a second (a server frozen by a signal blocks it).
bool jackClosesSettled() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (jackClosesPending.load(std::memory_order_acquire) > 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace

RtAudioDevice::RtAudioDevice(RtBackend backend) : backend_(backend) {
    quietLibraries();
}

RtAudioDevice::~RtAudioDevice() {
    close();
    reapClosers(true);
}

std::string RtAudioDevice::name() const {
    switch (backend_) {
        case RtBackend::Alsa:
            return "alsa";
        case RtBackend::Jack:
            return "jack";
        case RtBackend::Pulse:
            break;
    }
    return "pulse";
}

int RtAudioDevice::deviceCount() {
    if (backend_ == RtBackend::Pulse) return probePulseServer().sinks > 0 ? 1 : 0;
    if (backend_ == RtBackend::Jack && !jackClosesSettled()) return 0;
    auto rt = makeRtAudio(backend_);
    if (!rt) return 0;
    try {
        return static_cast<int>(rt->getDeviceCount());
    } catch (...) {
        return 0;
    }
}

bool RtAudioDevice::deviceCaps(int index, DeviceCaps& caps) {
    if (index < 0) return false;
    if (backend_ == RtBackend::Pulse) {
        // The server mixes and resamples whatever it is given.
        if (index != 0) return false;
        caps.name = "PulseAudio";
        caps.channels = 2;
        caps.supportsRequiredFormat = true;
        return true;
    }
    if (backend_ == RtBackend::Jack && !jackClosesSettled()) return false;
    auto rt = makeRtAudio(backend_);
    if (!rt) return false;
    try {
        const RtAudio::DeviceInfo info = rt->getDeviceInfo(static_cast<unsigned>(index));
        if (!info.probed) return false;
        caps.name = info.name;
        caps.channels = info.outputChannels >= 2 ? 2 : static_cast<int>(info.outputChannels);
        // ALSA's "default" resamples any rate and a JACK server is served through the resampler.
        caps.supportsRequiredFormat = info.outputChannels > 0;
        return true;
    } catch (...) {
        return false;
    }
}

bool RtAudioDevice::open(const DeviceFormat& format, const RingBuffer& ring) {
    if (stream_) return false;
    reapClosers(false);
    if (format.sampleRate <= 0 || ring.ringFrames() <= 0) return false;
    // RtAudio crashes opening a stream on a Pulse server that has no sink: ask first.
    if (backend_ == RtBackend::Pulse && probePulseServer().sinks == 0) return false;
    if (backend_ == RtBackend::Jack && !jackClosesSettled()) return false;

    auto s = std::make_unique<Stream>();
    s->rt = makeRtAudio(backend_);
    if (!s->rt) return false;
    CurrentStream current(s.get());
    const int channels = format.channels == 1 ? 1 : 2;
    try {
        RtAudio::StreamParameters out;
        out.deviceId = s->rt->getDefaultOutputDevice();
        out.nChannels = static_cast<unsigned>(channels);
        out.firstChannel = 0;
        int rate = format.sampleRate;
        if (backend_ == RtBackend::Jack) {
            // A JACK server runs at one rate: play at it and resample from the ring's.
            const RtAudio::DeviceInfo info = s->rt->getDeviceInfo(out.deviceId);
            if (!info.probed || info.outputChannels == 0) return false;
            rate = static_cast<int>(info.preferredSampleRate   ? info.preferredSampleRate
                                    : info.sampleRates.empty() ? 0
                                                               : info.sampleRates.front());
            if (rate <= 0) return false;
            s->floatSamples = true;
            s->abortWhenFailed = false;
        }
        s->deviceRate = rate;
        s->player.attach(&ring, channels);
        if (rate != format.sampleRate) {
            s->resampler = RingResampler::create(s->player, format.sampleRate, rate);
            if (!s->resampler) return false;
        }
        RtAudio::StreamOptions options;
        const bool pulse = backend_ == RtBackend::Pulse;
        options.numberOfBuffers = pulse ? kPulseBuffers : kDeviceBuffers;
        options.streamName = kStreamName;
        if (backend_ == RtBackend::Alsa) options.flags |= RTAUDIO_ALSA_USE_DEFAULT;
        unsigned bufferFrames = bufferFramesFor(rate) * (pulse ? kPulseBufferScale : 1);
        // The error callback matters twice: RtAudio then reports a lost server instead of printing it, and
        // the audio callback may return 2 (abort) without RtAudio throwing on its own thread.
        s->rt->openStream(&out, nullptr, s->floatSamples ? RTAUDIO_FLOAT32 : RTAUDIO_SINT16,
                          static_cast<unsigned>(rate), &bufferFrames, &audioCallback, s.get(), &options,
                          &onRtError);
        if (!s->rt->isStreamOpen() || s->failed.load(std::memory_order_acquire)) return false;
        // Left to RtAudio, a JACK server that dies would have the stream printed about and closed under us.
        // The stream is still inactive here, so the shutdown handler can still be replaced; when it cannot,
        // returning closes the stream (RtAudio's destructor) before anything plays.
        if (backend_ == RtBackend::Jack && !takeOverJackShutdown(*s->rt, kStreamName, s->failed))
            return false;
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
    std::atomic<int>* pending = backend_ == RtBackend::Jack ? &jackClosesPending : nullptr;
    if (pending) pending->fetch_add(1, std::memory_order_acq_rel);
    auto closeAndDelete = [s, pending] {
        {
            CurrentStream current(s);
            try {
                if (s->rt->isStreamOpen()) s->rt->closeStream();
            } catch (...) {
            }
        }
        delete s;
        if (pending) pending->fetch_sub(1, std::memory_order_acq_rel);
    };
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        closers_.push_back(Closer{std::thread([closeAndDelete, done] {
                                      closeAndDelete();
                                      done->store(true, std::memory_order_release);
                                  }),
                                  done});
    } catch (...) {
        // No thread to be had: close here and accept the wait.
        closeAndDelete();
    }
    return true;
}

void RtAudioDevice::reapClosers(bool waitForAll) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (auto it = closers_.begin(); it != closers_.end();) {
        if (waitForAll) {
            while (!it->done->load(std::memory_order_acquire) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (it->done->load(std::memory_order_acquire)) {
            it->thread.join();
            it = closers_.erase(it);
        } else if (waitForAll) {
            // A server frozen for good: leave its stream to the end of the process.
            it->thread.detach();
            it = closers_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace voltina
