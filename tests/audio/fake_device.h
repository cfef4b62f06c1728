#pragma once
// A scriptable wave-output device and a recording set of hooks for the AudioSystem tests.

#include <cstdint>
#include <string>
#include <vector>

#include "audio/audio_system.h"
#include "audio/wave_device.h"

namespace voltina {

struct FakeDeviceScript {
    int count = 1;
    std::vector<DeviceCaps> caps = {DeviceCaps{"fake", 2, true}};
    std::vector<bool> capsFail;  // per index: the device cannot describe itself
    bool openOk = true;
    bool startOk = true;
    bool positionOk = true;
    bool closeOk = true;
    bool failed = false;
    std::uint64_t position = 0;
};

struct FakeDeviceLog {
    int opens = 0;
    int starts = 0;
    int stops = 0;
    int closes = 0;
    int positionReads = 0;
    DeviceFormat lastFormat;
    int lastRingBytes = 0;
};

class FakeDevice : public WaveDevice {
  public:
    FakeDevice(FakeDeviceScript& script, FakeDeviceLog& log) : script_(script), log_(log) {}
    std::string name() const override { return "fake"; }
    int probeDevices() override { return script_.count; }
    bool deviceCaps(int index, DeviceCaps& caps) override {
        if (index < static_cast<int>(script_.capsFail.size()) && script_.capsFail[index]) return false;
        if (index >= static_cast<int>(script_.caps.size())) return false;
        caps = script_.caps[index];
        return true;
    }
    bool open(const DeviceFormat& format, const RingBuffer& ring) override {
        ++log_.opens;
        log_.lastFormat = format;
        log_.lastRingBytes = ring.ringBytes();
        if (!script_.openOk || open_) return false;
        open_ = true;
        script_.position = 0;
        return true;
    }
    bool start() override {
        ++log_.starts;
        return script_.startOk;
    }
    bool position(std::uint64_t& frames) override {
        ++log_.positionReads;
        if (!script_.positionOk || script_.failed || !open_) return false;
        frames = script_.position;
        return true;
    }
    bool failed() const override { return script_.failed; }
    void stop() override { ++log_.stops; }
    bool close() override {
        ++log_.closes;
        if (!script_.closeOk) return false;
        open_ = false;
        return true;
    }
    bool isOpen() const override { return open_; }

  private:
    FakeDeviceScript& script_;
    FakeDeviceLog& log_;
    bool open_ = false;
};

class RecordingHooks : public AudioHooks {
  public:
    std::vector<std::string> messages;
    std::vector<int> speakerStates;
    int saves = 0;
    int firstTicks = 0;
    std::function<void()> onFirstTick;
    std::function<void()> onSave;

    void showMessage(const std::string& text) override { messages.push_back(text); }
    void setSpeakerLit(bool lit) override { speakerStates.push_back(lit ? 1 : 0); }
    void saveRecording() override {
        ++saves;
        if (onSave) onSave();
    }
    void firstTick() override {
        ++firstTicks;
        if (onFirstTick) onFirstTick();
    }
};

}  // namespace voltina
