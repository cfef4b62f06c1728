#include "plugin/plugin_sound.h"

#include <samplerate.h>

#include <algorithm>

#include "engine/render_frames.h"

namespace voltina {

namespace {

float hostSample(std::uint8_t b) {
    return static_cast<float>(static_cast<int>(b) - 128) / 128.0f;
}

}  // namespace

std::unique_ptr<PluginSound> PluginSound::create(std::unique_ptr<EngineState> started, double hostRate) {
    if (!started) return nullptr;
    std::unique_ptr<PluginSound> sound(new PluginSound(std::move(started)));
    const int engineRate = sound->engineRate();
    if (hostRate != engineRate) {
        sound->ratio_ = hostRate / engineRate;
        if (!(hostRate > 0) || !src_is_valid_ratio(sound->ratio_)) return nullptr;
        int error = 0;
        sound->converter_ = src_callback_new(&PluginSound::pull, SRC_SINC_FASTEST, 2, &error, sound.get());
        if (sound->converter_ == nullptr) return nullptr;
    }
    return sound;
}

PluginSound::~PluginSound() {
    if (converter_) src_delete(static_cast<SRC_STATE*>(converter_));
}

void PluginSound::pullFrames(float* out, std::uint32_t frames) {
    renderFrames(*state_, bytes_, frames);
    for (std::uint32_t i = 0; i < 2 * frames; ++i) out[i] = hostSample(bytes_[i]);
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

long PluginSound::pull(void* self, float** data) {
    auto* sound = static_cast<PluginSound*>(self);
    sound->pullFrames(sound->pulled_, kPullFrames);
    *data = sound->pulled_;
    return static_cast<long>(kPullFrames);
}

void PluginSound::render(float* left, float* right, std::uint32_t frames) {
    if (converter_ == nullptr) {
        renderExact(left, right, frames);
        return;
    }
    std::uint32_t done = 0;
    while (done < frames) {
        const long want = static_cast<long>(std::min(kChunkFrames, frames - done));
        const long got = src_callback_read(static_cast<SRC_STATE*>(converter_), ratio_, want, converted_);
        // Only an internal libsamplerate error returns nothing: play silence rather than stop short.
        const std::uint32_t n = got > 0 ? static_cast<std::uint32_t>(got) : static_cast<std::uint32_t>(want);
        for (std::uint32_t i = 0; i < n; ++i) {
            left[done + i] = got > 0 ? converted_[2 * i] : 0.0f;
            right[done + i] = got > 0 ? converted_[2 * i + 1] : 0.0f;
        }
        done += n;
    }
}

}  // namespace voltina
