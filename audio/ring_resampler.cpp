#include "audio/ring_resampler.h"

#include <samplerate.h>

namespace voltina {

std::unique_ptr<RingResampler> RingResampler::create(RingPlayer& player, int ringRate, int deviceRate) {
    if (ringRate <= 0 || deviceRate <= 0) return nullptr;
    const double ratio = static_cast<double>(deviceRate) / ringRate;
    if (!src_is_valid_ratio(ratio)) return nullptr;
    std::unique_ptr<RingResampler> r(new RingResampler(player, ratio));
    int error = 0;
    r->state_ = src_callback_new(&RingResampler::pull, SRC_SINC_FASTEST, player.channels(), &error, r.get());
    if (r->state_ == nullptr) return nullptr;
    return r;
}

RingResampler::RingResampler(RingPlayer& player, double ratio) : player_(player), ratio_(ratio) {}

RingResampler::~RingResampler() {
    if (state_) src_delete(static_cast<SRC_STATE*>(state_));
}

long RingResampler::pull(void* self, float** data) {
    auto* r = static_cast<RingResampler*>(self);
    r->player_.renderFloat(r->chunk_, kChunkFrames);
    *data = r->chunk_;
    return kChunkFrames;
}

void RingResampler::reset() {
    src_reset(static_cast<SRC_STATE*>(state_));
}

void RingResampler::read(float* out, unsigned frames, double ratio) {
    if (!src_is_valid_ratio(ratio)) ratio = ratio_;
    const int channels = player_.channels();
    long done = 0;
    while (done < static_cast<long>(frames)) {
        const long got = src_callback_read(static_cast<SRC_STATE*>(state_), ratio,
                                           static_cast<long>(frames) - done, out + done * channels);
        if (got <= 0) break;
        done += got;
    }
    // Only an internal libsamplerate error leaves frames unfilled: play silence rather than garbage.
    for (long i = done * channels; i < static_cast<long>(frames) * channels; ++i) out[i] = 0.0f;
}

}  // namespace voltina
