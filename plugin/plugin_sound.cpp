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
        // The silence still in the converter comes out before the engine's first frame.
        sound->latencyFrames_ = static_cast<std::uint32_t>(std::lround(soxr_delay(created)));
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
    if (sound->warming_) {
        std::fill(sound->pulled_, sound->pulled_ + 2 * kPullFrames, 0.0f);
        sound->warmedFrames_ += kPullFrames;
        *data = sound->pulled_;
        return kPullFrames;
    }
    renderFrames(*sound->state_, sound->bytes_, kPullFrames);
    for (std::uint32_t i = 0; i < 2 * kPullFrames; ++i) sound->pulled_[i] = hostSample(sound->bytes_[i]);
    *data = sound->pulled_;
    return kPullFrames;
}

void PluginSound::render(float* left, float* right, std::uint32_t frames) {
    if (converter_ == nullptr) {
        renderExact(left, right, frames);
        return;
    }
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
}

}  // namespace voltina
