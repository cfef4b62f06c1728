#include "audio/ring_render.h"

#include <algorithm>
#include <cstddef>

#include "engine/render_frames.h"

namespace voltina {

namespace {

// Frames pulled at a time: the engine reads the patch once per pull, so a few thousand frames keep that
// cost out of sight while the bytes stay on the stack.
constexpr int kPullFrames = 2048;

}  // namespace

void writeIntoRing(EngineState& s, RenderHost& host, const std::uint8_t* bytes, int count) {
    // With an odd played length, which only tests set, the last frame before the wrap ends one byte past
    // it.
    int writePos = s.writePos;
    const int ringBytes = s.ring.ringBytes();
    for (int f = 0; f < count; ++f) {
        s.ring.store(writePos, bytes[2 * f]);
        s.ring.store(writePos + 1, bytes[2 * f + 1]);
        writePos += 2;
        if (writePos >= ringBytes) writePos = 0;
    }
    s.writePos = writePos;
    if (!recordingOn(s)) return;
    for (int f = 0; f < count; ++f) {
        if (!s.recording.append(bytes[2 * f], bytes[2 * f + 1])) {
            // The memory cannot grow: recording stops, but what was recorded stays for saving.
            s.recordOn = 0;
            host.showMessage(kRecordingMemoryMessage);
            return;
        }
    }
}

void renderIntoRing(EngineState& s, RenderHost& host, int frames) {
    std::uint8_t bytes[2 * kPullFrames];
    while (frames > 0) {
        int count = std::min(frames, kPullFrames);
        if (recordingOn(s)) {
            // Up to the frame that makes the recording grow, which then goes alone: its failure shows a
            // message, and the next pull reads the patch as it stands after it.
            const std::size_t room = s.recording.framesBeforeGrowth();
            if (room == 0)
                count = 1;
            else if (room < static_cast<std::size_t>(count))
                count = static_cast<int>(room);
        }
        RenderWatch* watch = host.watch();
        renderFrames(s, bytes, static_cast<std::size_t>(count), watch ? watch->jackTap() : nullptr);
        if (watch) watch->takeFrames(bytes, count);
        writeIntoRing(s, host, bytes, count);
        frames -= count;
    }
}

void renderBlock(EngineState& s, RenderHost& host) {
    if (s.renderBusy || !soundOn(s) || !host.deviceOpen()) return;
    s.renderBusy = true;

    std::uint64_t position = 0;
    if (!host.readPlayPosition(position)) {
        host.stopRenderTimer();
        s.speakerOn = 0;
        host.closeDevice();
        host.showMessage(kPositionLostMessage);
        s.renderBusy = false;
        return;
    }
    const int ringFrames = s.ring.ringFrames();
    if (!s.ring.playable()) {
        s.renderBusy = false;
        return;
    }
    const int framePos = static_cast<int>(position % static_cast<std::uint64_t>(ringFrames));
    // the frames the device has played since the previous call: 0 <= n < ringFrames
    int n = framePos - s.lastFramePos;
    s.lastFramePos = framePos;
    if (n < 0) n += ringFrames;
    renderIntoRing(s, host, n);

    s.renderBusy = false;
}

}  // namespace voltina
