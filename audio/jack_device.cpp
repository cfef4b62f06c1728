#include "audio/jack_device.h"

#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "audio/ring_player.h"
#include "audio/ring_resampler.h"
#include "engine/ring_buffer.h"

namespace voltina {

namespace {
// Ring frames converted per step of the process callback: a block of any size is played in steps of this.
constexpr unsigned kChunkFrames = 512;
}  // namespace

struct JackDevice::Stream {
    jack_client_t* client = nullptr;
    jack_port_t* ports[2] = {};
    RingPlayer player;
    std::unique_ptr<RingResampler> resampler;
    int ringRate = 0;
    bool active = false;  // GUI thread: jack_activate succeeded

    // libjack's notification threads write these, the GUI and process threads read them.
    std::atomic<int> rate{0};
    std::atomic<unsigned> blockSize{0};
    std::atomic<std::uint64_t> xruns{0};
    std::atomic<std::uint64_t> blockSizeChanges{0};
    // Set when the server shuts the client down (it stopped, crashed or threw the client out).
    std::atomic<bool> failed{false};
    // The Dekker pair that lets stop() know the process callback no longer reads the ring: the GUI thread
    // raises `closing`, then waits while `inCallback` is up. Both sequentially consistent on purpose.
    std::atomic<bool> closing{false};
    std::atomic<bool> inCallback{false};

    // Process thread only.
    bool resampling = false;
    float chunk[kChunkFrames * 2] = {};
};

namespace {

using Stream = JackDevice::Stream;

void silence(float* left, float* right, jack_nframes_t frames) {
    if (left) std::memset(left, 0, frames * sizeof(float));
    if (right) std::memset(right, 0, frames * sizeof(float));
}

int onProcess(jack_nframes_t frames, void* arg) {
    auto* s = static_cast<Stream*>(arg);
    s->inCallback.store(true);
    auto* left = static_cast<float*>(jack_port_get_buffer(s->ports[0], frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(s->ports[1], frames));
    if (s->closing.load() || s->failed.load(std::memory_order_acquire) || !left || !right) {
        silence(left, right, frames);
        s->inCallback.store(false);
        return 0;
    }
    // At the ring's own rate the frames go out untouched; at any other, through the converter, whose state
    // is dropped when it starts again after a stretch of direct play.
    const int rate = s->rate.load(std::memory_order_relaxed);
    const bool direct = rate == s->ringRate || rate <= 0;
    if (!direct && !s->resampling) s->resampler->reset();
    s->resampling = !direct;
    const double ratio = static_cast<double>(rate) / s->ringRate;
    const bool stereo = s->player.channels() == 2;
    for (jack_nframes_t done = 0; done < frames;) {
        const unsigned n = std::min<unsigned>(frames - done, kChunkFrames);
        if (direct) {
            s->player.renderFloat(s->chunk, n);
        } else {
            s->resampler->read(s->chunk, n, ratio);
        }
        for (unsigned i = 0; i < n; ++i) {
            left[done + i] = stereo ? s->chunk[2 * i] : s->chunk[i];
            right[done + i] = stereo ? s->chunk[2 * i + 1] : s->chunk[i];
        }
        done += n;
    }
    s->inCallback.store(false);
    return 0;
}

int onSampleRate(jack_nframes_t rate, void* arg) {
    static_cast<Stream*>(arg)->rate.store(static_cast<int>(rate), std::memory_order_relaxed);
    return 0;
}

int onBlockSize(jack_nframes_t frames, void* arg) {
    auto* s = static_cast<Stream*>(arg);
    const unsigned previous = s->blockSize.exchange(frames, std::memory_order_relaxed);
    if (previous != 0 && previous != frames) s->blockSizeChanges.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int onXrun(void* arg) {
    static_cast<Stream*>(arg)->xruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

// A client has one shutdown handler of each kind. libjack calls the plain one too when its threads notice the
// loss more than once (the information handler is used up by the first call), so both are set.
void onServerGone(void* arg) {
    static_cast<Stream*>(arg)->failed.store(true, std::memory_order_release);
}

void onServerGoneWithReason(jack_status_t, const char*, void* arg) {
    onServerGone(arg);
}

void dropJackMessage(const char*) {}

// libjack prints its own complaints ("Cannot connect to server socket", ...) on stderr unless told otherwise;
// they repeat what the program says in its own words.
void quietJack() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(&dropJackMessage);
        jack_set_info_function(&dropJackMessage);
    });
}

// Clients of ours still being closed, process-wide. Asked for a new client after a server went away, libjack
// deletes the clients that server left behind on its own, and closing one of those afterwards crashes: so no
// client is opened here while one of ours is still being closed.
std::atomic<int> closesPending{0};

// False when a close is still under way after a second (a server frozen by a signal blocks it).
bool closesSettled() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (closesPending.load(std::memory_order_acquire) > 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void closeClient(Stream* s) {
    if (s->active) jack_deactivate(s->client);
    jack_client_close(s->client);
    delete s;
}

}  // namespace

JackDevice::JackDevice(bool connectPorts, std::string clientName)
    : connectPorts_(connectPorts), clientName_(std::move(clientName)) {
    quietJack();
}

JackDevice::~JackDevice() {
    close();
    closers_.reap(true);
}

int JackDevice::probeDevices() {
    if (stream_) return 1;
    if (!closesSettled()) return 0;
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("Voltina probe", JackNoStartServer, &status);
    if (probe == nullptr) return 0;
    jack_client_close(probe);
    return 1;
}

bool JackDevice::deviceCaps(int index, DeviceCaps& caps) {
    if (index != 0) return false;
    // The ports are our own: always two, and the server is fed at its rate through the converter.
    caps.name = "JACK";
    caps.channels = 2;
    caps.supportsRequiredFormat = true;
    return true;
}

bool JackDevice::open(const DeviceFormat& format, const RingBuffer& ring) {
    if (stream_) return false;
    closers_.reap(false);
    if (format.sampleRate <= 0 || ring.ringFrames() <= 0) return false;
    if (!closesSettled()) return false;

    auto s = std::make_unique<Stream>();
    jack_status_t status{};
    s->client = jack_client_open(clientName_.c_str(), JackNoStartServer, &status);
    if (s->client == nullptr) return false;
    // From here on, a failure closes the client again: it was never active, so this cannot block on it.
    struct Abandon {
        std::unique_ptr<Stream>& s;
        ~Abandon() {
            if (s) jack_client_close(s->client);
        }
    } abandon{s};

    s->ports[0] = jack_port_register(s->client, kJackLeftPort, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    s->ports[1] = jack_port_register(s->client, kJackRightPort, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    if (!s->ports[0] || !s->ports[1]) return false;
    s->ringRate = format.sampleRate;
    s->rate.store(static_cast<int>(jack_get_sample_rate(s->client)));
    s->blockSize.store(jack_get_buffer_size(s->client));
    if (s->rate.load() <= 0) return false;
    s->player.attach(&ring, format.channels == 1 ? 1 : 2);
    // Made now for the rate the server runs at, and kept for any rate it moves to: the process callback
    // only changes the ratio, which needs no memory.
    s->resampler = RingResampler::create(s->player, s->ringRate, s->rate.load());
    if (!s->resampler) return false;

    Stream* raw = s.get();
    if (jack_set_process_callback(s->client, &onProcess, raw) != 0 ||
        jack_set_sample_rate_callback(s->client, &onSampleRate, raw) != 0 ||
        jack_set_buffer_size_callback(s->client, &onBlockSize, raw) != 0 ||
        jack_set_xrun_callback(s->client, &onXrun, raw) != 0)
        return false;
    jack_on_shutdown(s->client, &onServerGone, raw);
    jack_on_info_shutdown(s->client, &onServerGoneWithReason, raw);
    if (s->failed.load(std::memory_order_acquire)) return false;
    stream_ = std::move(s);
    return true;
}

bool JackDevice::start() {
    if (!stream_ || stream_->active) return false;
    stream_->player.resetPosition();
    if (jack_activate(stream_->client) != 0) return false;
    stream_->active = true;
    if (connectPorts_) connectToPlayback();
    return !stream_->failed.load(std::memory_order_acquire);
}

void JackDevice::connectToPlayback() {
    const char** playback = jack_get_ports(stream_->client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsPhysical | JackPortIsInput);
    if (playback == nullptr) return;
    // A single playback port takes both sides.
    if (playback[0] != nullptr) {
        jack_connect(stream_->client, jack_port_name(stream_->ports[0]), playback[0]);
        jack_connect(stream_->client, jack_port_name(stream_->ports[1]),
                     playback[1] != nullptr ? playback[1] : playback[0]);
    }
    jack_free(playback);
}

bool JackDevice::position(std::uint64_t& frames) {
    if (!stream_ || stream_->failed.load(std::memory_order_acquire)) return false;
    frames = stream_->player.position();
    return true;
}

bool JackDevice::failed() const {
    return stream_ && stream_->failed.load(std::memory_order_acquire);
}

int JackDevice::deviceRate() const {
    return stream_ ? stream_->rate.load(std::memory_order_relaxed) : 0;
}

unsigned JackDevice::blockSize() const {
    return stream_ ? stream_->blockSize.load(std::memory_order_relaxed) : 0;
}

std::uint64_t JackDevice::xruns() const {
    return stream_ ? stream_->xruns.load(std::memory_order_relaxed) : 0;
}

std::uint64_t JackDevice::blockSizeChanges() const {
    return stream_ ? stream_->blockSizeChanges.load(std::memory_order_relaxed) : 0;
}

std::string JackDevice::clientName() const {
    if (!stream_) return {};
    const char* name = jack_get_client_name(stream_->client);
    return name ? name : "";
}

void JackDevice::stop() {
    if (!stream_) return;
    stream_->closing.store(true);
    // The callback never blocks between raising and lowering its flag, so this wait is a few microseconds.
    while (stream_->inCallback.load()) std::this_thread::yield();
}

bool JackDevice::close() {
    if (!stream_) return true;
    stop();
    // The process callback no longer reads the ring: the client itself can go at the server's pace.
    Stream* s = stream_.release();
    closesPending.fetch_add(1, std::memory_order_acq_rel);
    auto closeAndCount = [s] {
        closeClient(s);
        closesPending.fetch_sub(1, std::memory_order_acq_rel);
    };
    closers_.run(closeAndCount);
    return true;
}

}  // namespace voltina
