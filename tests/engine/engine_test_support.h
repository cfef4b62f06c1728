#pragma once
// Shared helpers of the engine tests: a record ready to render, a fake device, and constant sources.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/ring_render.h"
#include "engine/defaults.h"
#include "engine/engine_state.h"
#include "engine/ring_buffer.h"
#include "engine/tables.h"

namespace voltina::test {

// A device whose play position the test sets. It logs every failure-path call together with the value
// speakerOn had at that moment, so the order of the path can be checked.
class FakeHost : public RenderHost {
  public:
    explicit FakeHost(const EngineState* state = nullptr) : state_(state) {}

    bool deviceOpen() const override { return open; }
    bool readPlayPosition(std::uint64_t& frames) override {
        ++positionReads;
        if (failPosition) return false;
        frames = position;
        return true;
    }
    void stopRenderTimer() override { log("stopRenderTimer"); }
    void closeDevice() override {
        log("closeDevice");
        open = false;
    }
    void showMessage(const char* text) override {
        log("showMessage");
        messages.emplace_back(text);
    }

    bool open = true;
    bool failPosition = false;
    std::uint64_t position = 0;
    int positionReads = 0;
    std::vector<std::string> calls;
    std::vector<int> speakerOnAtCall;
    std::vector<std::string> messages;

  private:
    void log(const char* what) {
        calls.emplace_back(what);
        speakerOnAtCall.push_back(state_ != nullptr ? state_->speakerOn : -1);
    }
    const EngineState* state_;
};

// The audio layer's tables and ring for a rate, with the sound on and no cords at all.
inline void prepareState(EngineState& s, int rateParam = kDefaultRateParam, int ringBytes = 0) {
    s.rateParam = rateParam;
    s.sineTable = buildSineTable(rateParam);
    fillSinusoiderTable(s.sinusoiderTable);
    s.ring.allocate(ringCapacity(rateParam));
    s.ring.setRingBytes(ringBytes != 0 ? ringBytes : startupRingBytes(rateParam));
    s.ring.fill(128);
    clearCords(s);
    s.speakerOn = 1;
    s.writePos = 0;
    s.lastFramePos = 0;
}

// Turns oscillator `osc` into a constant source: an unknown wave type computes nothing, so its jacks
// keep whatever value they hold. Returns the output index of its jack A.
inline int constantSource(EngineState& s, int osc, float value) {
    s.oscType[osc] = 9;
    s.outValue[kOutOscA + osc] = value;
    s.outValue[kOutOscB + osc] = value;
    return kOutOscA + osc;
}

// Bytes of ring frame f.
inline std::uint8_t leftAt(const EngineState& s, int frame) {
    return s.ring.load(2 * frame);
}
inline std::uint8_t rightAt(const EngineState& s, int frame) {
    return s.ring.load(2 * frame + 1);
}

// Renders exactly one frame through the render loop (the device advances by one frame).
inline void renderOneFrame(EngineState& s, FakeHost& host) {
    host.position += 1;
    renderBlock(s, host);
}

}  // namespace voltina::test
