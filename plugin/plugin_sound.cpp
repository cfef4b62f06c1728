#include "plugin/plugin_sound.h"

#include <dlfcn.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>

#include "engine/render_frames.h"

namespace voltina {

namespace {

// 16-bit precision is twice what 8-bit frames need, and the band is passed up to 91.6 % of its edge (the
// low quality, as cheap, stops at 67.6 %; libsamplerate's fastest sinc at 80 %). Higher qualities only
// cost more.
constexpr unsigned long kQuality = SOXR_MQ;
constexpr const char* kQualityName = "MQ (16-bit, 91.6 % of the band)";

float hostSample(std::uint8_t b) {
    return static_cast<float>(static_cast<int>(b) - 128) / 128.0f;
}

// The pre-roll: more than the converter ever pulls the engine ahead of the host, in whole pulls. Up to the
// engine's rate, what it pulls ahead is its filter and one pull (measured under 512 frames from 8000 to
// 192000 Hz); below, the filter grows with the ratio, and one output chunk pulls that many times its
// frames (1118 frames past 512 measured from 44100 to 22050 Hz).
std::uint32_t preRollFrames(int engineRate, double hostRate, std::uint32_t pull, std::uint32_t chunk) {
    if (engineRate <= hostRate) return 4 * pull;
    const double frames = 4 * pull + 2.0 * chunk * engineRate / hostRate;
    return static_cast<std::uint32_t>(std::ceil(frames / pull)) * pull;
}

soxr_t converter(void* p) {
    return static_cast<soxr_t>(p);
}

// Debian's libsoxr brings OpenMP's runtime (unused here: one thread), which allocates as it is loaded and
// never frees: a host that unloads the plugin and loads it again would lose those bytes every time. Once
// loaded it stays, as it would in a program. Nothing happens where libsoxr comes without it.
void keepOpenMpLoaded() {
    static const bool kept = dlopen("libgomp.so.1", RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
    static_cast<void>(kept);
}

}  // namespace

std::string PluginSound::converterName() {
    return std::string(soxr_version()) + ", quality " + kQualityName;
}

std::unique_ptr<PluginSound> PluginSound::create(std::unique_ptr<EngineState> started, double hostRate) {
    keepOpenMpLoaded();
    if (!started) return nullptr;
    std::unique_ptr<PluginSound> sound(new PluginSound(std::move(started)));
    const int engineRate = sound->engineRate();
    sound->hostRate_ = hostRate;
    if (hostRate != engineRate) {
        // As far as a host may go either way: 256 times the engine's rate or a 256th of it.
        const double ratio = hostRate / engineRate;
        if (!(ratio >= 1.0 / 256 && ratio <= 256)) return nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(kQuality, 0);
        const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);  // the host's audio thread alone
        soxr_error_t error = nullptr;
        soxr_t created = soxr_create(engineRate, hostRate, 2, &error, &io, &quality, &runtime);
        if (error != nullptr || created == nullptr) {
            soxr_delete(created);
            return nullptr;
        }
        sound->converter_ = created;
        if (soxr_set_input_fn(created, &PluginSound::pull, sound.get(), kPullFrames) != nullptr)
            return nullptr;
        sound->warming_ = true;
        float scratch[kChunkFrames * 2];
        std::size_t made = 0;
        while (sound->warmedFrames_ < kWarmUpFrames || made < kWarmUpFrames) {
            const std::size_t got = soxr_output(created, scratch, kChunkFrames);
            if (got == 0) return nullptr;
            made += got;
        }
        sound->warming_ = false;
        sound->preRoll_ = preRollFrames(engineRate, hostRate, kPullFrames, kChunkFrames);
        // The silence still in the converter, and the pre-roll, come out before the engine's first frame.
        sound->latencyFrames_ = static_cast<std::uint32_t>(
            std::lround(soxr_delay(created) + sound->preRoll_ * hostRate / engineRate));
    }
    return sound;
}

PluginSound::~PluginSound() {
    if (converter_) soxr_delete(converter(converter_));
}

void PluginSound::renderExact(float* left, float* right, std::uint32_t frames) {
    std::uint32_t done = 0;
    while (done < frames) {
        const std::uint32_t step = std::min(kStepFrames, frames - done);
        renderFrames(*state_, bytes_, step);
        for (std::uint32_t i = 0; i < step; ++i) {
            left[done + i] = hostSample(bytes_[2 * i]);
            right[done + i] = hostSample(bytes_[2 * i + 1]);
        }
        done += step;
    }
}

std::size_t PluginSound::pull(void* self, const void** data, std::size_t) {
    auto* sound = static_cast<PluginSound*>(self);
    if (sound->warming_ || sound->preRoll_ > 0) {
        std::fill(sound->pulled_, sound->pulled_ + 2 * kPullFrames, 0.0f);
        if (sound->warming_)
            sound->warmedFrames_ += kPullFrames;
        else
            sound->preRoll_ -= kPullFrames;
        *data = sound->pulled_;
        return kPullFrames;
    }
    sound->renderUntilDue(kPullFrames);
    for (std::uint32_t i = 0; i < 2 * kPullFrames; ++i) sound->pulled_[i] = hostSample(sound->bytes_[i]);
    *data = sound->pulled_;
    return kPullFrames;
}

void PluginSound::renderUntilDue(std::uint32_t frames) {
    std::uint32_t done = 0;
    while (done < frames) {
        while (queued_ > 0 && queue_[queueHead_].engineFrame <= engineFrames_) {
            sink_->deliver(*state_, queue_[queueHead_]);
            queueHead_ = (queueHead_ + 1) % kQueueLength;
            --queued_;
        }
        std::uint32_t step = frames - done;
        if (queued_ > 0)
            step = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(step, queue_[queueHead_].engineFrame - engineFrames_));
        renderFrames(*state_, bytes_ + 2 * done, step);
        done += step;
        engineFrames_ += step;
    }
}

void PluginSound::post(TimedMessage message, TimedMessageSink& sink) {
    if (converter_ == nullptr) {
        sink.deliver(*state_, message);
        return;
    }
    // The engine frame the host frame falls on; the pre-roll keeps it ahead of what has been rendered.
    message.engineFrame =
        static_cast<std::uint64_t>(std::floor(static_cast<double>(hostFrames_) * engineRate() / hostRate_));
    if (queued_ == kQueueLength || message.engineFrame < engineFrames_) {
        flush(sink);
        sink.deliver(*state_, message);
        return;
    }
    queue_[(queueHead_ + queued_) % kQueueLength] = message;
    ++queued_;
}

void PluginSound::flush(TimedMessageSink& sink) {
    for (; queued_ > 0; --queued_) {
        sink.deliver(*state_, queue_[queueHead_]);
        queueHead_ = (queueHead_ + 1) % kQueueLength;
    }
}

void PluginSound::render(float* left, float* right, std::uint32_t frames, TimedMessageSink& sink) {
    hostFrames_ += frames;
    if (converter_ == nullptr) {
        renderExact(left, right, frames);
        return;
    }
    sink_ = &sink;
    float converted[kChunkFrames * 2];
    std::uint32_t done = 0;
    while (done < frames) {
        const std::uint32_t want = std::min(kChunkFrames, frames - done);
        const std::size_t got = soxr_output(converter(converter_), converted, want);
        // The input never ends, so only an internal error gives nothing: play silence rather than stop short.
        const std::uint32_t n = got > 0 ? static_cast<std::uint32_t>(got) : want;
        for (std::uint32_t i = 0; i < n; ++i) {
            left[done + i] = got > 0 ? converted[2 * i] : 0.0f;
            right[done + i] = got > 0 ? converted[2 * i + 1] : 0.0f;
        }
        done += n;
    }
    sink_ = nullptr;
}

}  // namespace voltina
