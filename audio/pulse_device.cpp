#include "audio/pulse_device.h"

#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "audio/pulse_probe.h"
#include "audio/ring_player.h"
#include "engine/ring_buffer.h"

namespace voltina {

namespace {

// The server keeps three device buffers of ours and asks for two at a time: it wakes the program about 21
// times a second (each request, and each release of the shared memory that carried the last one), while a
// buffer and more is still queued when it asks, so a loaded machine does not underrun. Asking for one
// buffer at a time would save about 9 ms of latency (of the 0.3 s from a knob to the speakers) for twice
// the wake-ups. The burst the server takes at the start (all three) stays well inside the ring.
constexpr unsigned kDeviceBuffers = 3;
constexpr unsigned kBuffersPerRequest = 2;
// The client's and the stream's name on the server.
constexpr const char* kClientName = "Voltina";
constexpr const char* kStreamName = "Voltina";
// A server that has not answered by then is taken for absent.
constexpr auto kAnswerTimeout = std::chrono::milliseconds(2000);

}  // namespace

struct PulseDevice::Connection {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_sample_spec sampleFormat{};
    unsigned bufferFrames = 0;
    RingPlayer player;
    // Raised by the state callbacks when the server is lost or refuses the stream; read by the GUI thread.
    std::atomic<bool> failed{false};
    // The Dekker pair that lets stop() know the write callback no longer reads the ring: the GUI thread
    // raises `closing`, then waits while `inCallback` is up. Both sequentially consistent on purpose.
    std::atomic<bool> closing{false};
    std::atomic<bool> inCallback{false};

    // On a closing thread (or the GUI thread when nothing was ever connected): never waits for the server.
    ~Connection() {
        if (loop == nullptr) return;
        pa_threaded_mainloop_lock(loop);
        if (stream) {
            pa_stream_set_write_callback(stream, nullptr, nullptr);
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
        }
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        pa_threaded_mainloop_unlock(loop);
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }
};

namespace {

using Connection = PulseDevice::Connection;

void onContextState(pa_context* context, void* user) {
    auto* k = static_cast<Connection*>(user);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
        k->failed.store(true, std::memory_order_release);
}

void onStreamState(pa_stream* stream, void* user) {
    auto* k = static_cast<Connection*>(user);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        k->failed.store(true, std::memory_order_release);
}

// The server has room for `wanted` bytes: that many frames of the ring, converted in the server's own
// memory block (no copy of ours).
void onWrite(pa_stream* stream, std::size_t wanted, void* user) {
    auto* k = static_cast<Connection*>(user);
    const std::size_t frameBytes = pa_frame_size(&k->sampleFormat);
    while (wanted >= frameBytes) {
        void* data = nullptr;
        std::size_t bytes = wanted;
        if (pa_stream_begin_write(stream, &data, &bytes) < 0 || data == nullptr) return;
        bytes -= bytes % frameBytes;
        if (bytes == 0) {
            pa_stream_cancel_write(stream);
            return;
        }
        k->inCallback.store(true);
        if (k->closing.load() || k->failed.load(std::memory_order_acquire)) {
            std::memset(data, 0, bytes);
        } else {
            k->player.renderS16(static_cast<std::int16_t*>(data), static_cast<unsigned>(bytes / frameBytes));
        }
        k->inCallback.store(false);
        if (pa_stream_write(stream, data, bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) return;
        wanted -= bytes;
    }
}

// Waits, with the loop unlocked, until `ready` or `bad` says so or the server has kept silent too long.
template <typename Ready, typename Bad>
bool waitFor(Connection& k, Ready ready, Bad bad) {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout;
    for (;;) {
        pa_threaded_mainloop_lock(k.loop);
        const bool isReady = ready();
        const bool isBad = bad();
        pa_threaded_mainloop_unlock(k.loop);
        if (isReady) return true;
        if (isBad || k.failed.load(std::memory_order_acquire) || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

PulseDevice::PulseDevice() = default;

PulseDevice::~PulseDevice() {
    close();
    closers_.reap(true);
}

unsigned PulseDevice::bufferFramesFor(int rate) {
    // About 23 ms: 256 frames at 11025 Hz, 512 at 22050, 1024 at 44100.
    unsigned frames = 256;
    while (frames * 11025u < static_cast<unsigned>(rate) * 256u * 3u / 4u) frames *= 2;
    return frames;
}

int PulseDevice::probeDevices() {
    return probePulseServer().sinks > 0 ? 1 : 0;
}

bool PulseDevice::deviceCaps(int index, DeviceCaps& caps) {
    // The server mixes and resamples whatever it is given: one device, its default sink.
    if (index != 0) return false;
    caps.name = "PulseAudio";
    caps.channels = 2;
    caps.supportsRequiredFormat = true;
    return true;
}

bool PulseDevice::open(const DeviceFormat& format, const RingBuffer& ring) {
    if (connection_) return false;
    closers_.reap(false);
    if (format.sampleRate <= 0 || ring.ringFrames() <= 0) return false;
    // A server without a sink has nowhere to play: no usable card.
    if (probePulseServer().sinks == 0) return false;

    auto k = std::make_unique<Connection>();
    k->sampleFormat.format = PA_SAMPLE_S16LE;
    k->sampleFormat.rate = static_cast<std::uint32_t>(format.sampleRate);
    k->sampleFormat.channels = static_cast<std::uint8_t>(format.channels == 1 ? 1 : 2);
    if (!pa_sample_spec_valid(&k->sampleFormat)) return false;
    k->bufferFrames = bufferFramesFor(format.sampleRate);
    k->player.attach(&ring, k->sampleFormat.channels);

    k->loop = pa_threaded_mainloop_new();
    if (k->loop == nullptr) return false;
    k->context = pa_context_new(pa_threaded_mainloop_get_api(k->loop), kClientName);
    if (k->context == nullptr) return false;
    pa_context_set_state_callback(k->context, &onContextState, k.get());
    if (pa_context_connect(k->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(k->loop) < 0)
        return false;
    Connection& c = *k;
    const bool ready = waitFor(
        c, [&c] { return pa_context_get_state(c.context) == PA_CONTEXT_READY; },
        [&c] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(c.context)); });
    if (!ready) {
        closers_.run([raw = k.release()] { delete raw; });
        return false;
    }
    connection_ = std::move(k);
    return true;
}

bool PulseDevice::start() {
    if (!connection_ || connection_->stream) return false;
    Connection& c = *connection_;
    c.player.resetPosition();
    const std::uint32_t bufferBytes =
        c.bufferFrames * static_cast<std::uint32_t>(pa_frame_size(&c.sampleFormat));
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = kDeviceBuffers * bufferBytes;
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = kBuffersPerRequest * bufferBytes;
    attributes.fragsize = static_cast<std::uint32_t>(-1);

    pa_threaded_mainloop_lock(c.loop);
    c.stream = pa_stream_new(c.context, kStreamName, &c.sampleFormat, nullptr);
    bool connected = false;
    if (c.stream) {
        pa_stream_set_state_callback(c.stream, &onStreamState, &c);
        pa_stream_set_write_callback(c.stream, &onWrite, &c);
        // The server sizes its own latency to what is asked here; no timing updates are asked for, since
        // the play position is what the server took, counted by the write callback.
        connected = pa_stream_connect_playback(c.stream, nullptr, &attributes, PA_STREAM_ADJUST_LATENCY,
                                               nullptr, nullptr) >= 0;
    }
    pa_threaded_mainloop_unlock(c.loop);
    if (!connected) return false;
    return waitFor(
        c, [&c] { return pa_stream_get_state(c.stream) == PA_STREAM_READY; },
        [&c] { return !PA_STREAM_IS_GOOD(pa_stream_get_state(c.stream)); });
}

bool PulseDevice::position(std::uint64_t& frames) {
    if (!connection_ || connection_->failed.load(std::memory_order_acquire)) return false;
    frames = connection_->player.position();
    return true;
}

bool PulseDevice::failed() const {
    return connection_ && connection_->failed.load(std::memory_order_acquire);
}

void PulseDevice::stop() {
    if (!connection_) return;
    connection_->closing.store(true);
    // The callback never blocks between raising and lowering its flag, so this wait is a few microseconds.
    while (connection_->inCallback.load()) std::this_thread::yield();
}

bool PulseDevice::close() {
    if (!connection_) return true;
    stop();
    // From here on the main loop no longer reads the ring: the connection can go at the server's pace.
    closers_.run([raw = connection_.release()] { delete raw; });
    return true;
}

}  // namespace voltina
