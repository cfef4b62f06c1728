#include "audio/pulse_probe.h"

#include <pulse/pulseaudio.h>

#include <chrono>

namespace voltina {

namespace {

struct ProbeState {
    bool listed = false;
    int sinks = 0;
};

void onSink(pa_context*, const pa_sink_info* info, int eol, void* user) {
    auto* probe = static_cast<ProbeState*>(user);
    if (eol != 0) {
        probe->listed = true;
        return;
    }
    if (info) ++probe->sinks;
}

}  // namespace

PulseServerInfo probePulseServer(int timeoutMs) {
    PulseServerInfo result;
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop) return result;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Voltina probe");
    if (!context) {
        pa_mainloop_free(loop);
        return result;
    }
    ProbeState probe;
    pa_operation* listing = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        while (std::chrono::steady_clock::now() < deadline) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (!PA_CONTEXT_IS_GOOD(state)) break;
            if (state == PA_CONTEXT_READY) {
                result.reachable = true;
                if (!listing) listing = pa_context_get_sink_info_list(context, onSink, &probe);
                if (!listing || probe.listed) break;
            }
            // Wait at most 10 ms per pass so the deadline holds even when the server never answers.
            pa_mainloop_prepare(loop, 10000);
            pa_mainloop_poll(loop);
            pa_mainloop_dispatch(loop);
        }
    }
    if (listing) {
        pa_operation_cancel(listing);
        pa_operation_unref(listing);
    }
    result.sinks = probe.listed ? probe.sinks : 0;
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
    return result;
}

}  // namespace voltina
