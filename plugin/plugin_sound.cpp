#include "plugin/plugin_sound.h"

#include <samplerate.h>

#include <algorithm>

namespace voltina {

namespace {

float hostSample(std::uint8_t b) {
    return static_cast<float>(static_cast<int>(b) - 128) / 128.0f;
}

}  // namespace

std::unique_ptr<PluginSound> PluginSound::create(std::unique_ptr<EngineState> started, double hostRate) {
    if (!started || !started->ring.playable()) return nullptr;
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

PluginSound::PluginSound(std::unique_ptr<EngineState> started) : state_(std::move(started)) {
    // Each call of the render loop must see less than one lap of the ring, or it would skip it as a live
    // run does; voltina-render steps the same way.
    maxStep_ = static_cast<std::uint32_t>(std::max(1, state_->ring.ringFrames() / 2));
    bytes_.resize(2u * maxStep_);
}

PluginSound::~PluginSound() {
    if (converter_) src_delete(static_cast<SRC_STATE*>(converter_));
}

void PluginSound::renderBytes(std::uint8_t* out, std::uint32_t frames) {
    EngineState& s = *state_;
    const int at = s.writePos;
    position_.position += frames;
    renderBlock(s, position_);
    if (s.speakerOn == 0) {
        // Only a failed position read stops the sound, and this device's never fails; stay silent
        // rather than play stale ring bytes if it ever does.
        std::fill(out, out + 2u * frames, std::uint8_t{128});
        return;
    }
    // The frames from `at` on while a frame starts inside the played length (the last one may end one
    // byte past an odd length), then from the ring's start.
    const std::size_t ringBytes = static_cast<std::size_t>(s.ring.ringBytes());
    const std::size_t first =
        2 * std::min<std::size_t>(frames, (ringBytes - static_cast<std::size_t>(at) + 1) / 2);
    s.ring.copyOut(at, first, out);
    s.ring.copyOut(0, 2u * frames - first, out + first);
}

void PluginSound::renderExact(float* left, float* right, std::uint32_t frames) {
    std::uint32_t done = 0;
    while (done < frames) {
        const std::uint32_t step = std::min(maxStep_, frames - done);
        renderBytes(bytes_.data(), step);
        for (std::uint32_t i = 0; i < step; ++i) {
            left[done + i] = hostSample(bytes_[2 * i]);
            right[done + i] = hostSample(bytes_[2 * i + 1]);
        }
        done += step;
    }
}

long PluginSound::pull(void* self, float** data) {
    auto* sound = static_cast<PluginSound*>(self);
    sound->renderBytes(sound->bytes_.data(), std::min(kChunkFrames, sound->maxStep_));
    const std::uint32_t frames = std::min(kChunkFrames, sound->maxStep_);
    for (std::uint32_t i = 0; i < 2 * frames; ++i) sound->pulled_[i] = hostSample(sound->bytes_[i]);
    *data = sound->pulled_;
    return static_cast<long>(frames);
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
