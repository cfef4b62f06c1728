#pragma once
// The wave-output device: the sound card plays the ring, lap after lap, from the moment it is started until
// it is closed, and reports how many frames it has taken from the ring so far.
//
// Threads: every member is called on the GUI thread. A backend's own audio thread only reads ring bytes and
// advances the play position; nothing else crosses.

#include <cstdint>
#include <string>

namespace voltina {

class RingBuffer;

// The output format as the engine sees it: 8-bit unsigned frames of two bytes (left, right) in the ring,
// whatever the device itself is fed. On a single-channel device the ring keeps its two-byte frames and the
// device plays the left byte of each.
struct DeviceFormat {
    int channels = 2;  // what the device is fed: 1 plays the left byte of each frame
    int sampleRate = 11025;
};

struct DeviceCaps {
    std::string name;
    int channels = 0;                     // 1 on a single-channel device
    bool supportsRequiredFormat = false;  // can play 8-bit-equivalent frames at 11025 Hz
};

class WaveDevice {
  public:
    virtual ~WaveDevice() = default;

    // The backend's short name, as given to --audio.
    virtual std::string name() const = 0;

    // Looks for output devices and returns their number; 0 when there is no server or no card. It may
    // connect to a sound server to find out (JACK opens a probe client, after waiting up to a second for
    // an earlier client of ours to close): not for the render path.
    virtual int probeDevices() = 0;
    // False when device `index` cannot describe itself.
    virtual bool deviceCaps(int index, DeviceCaps& caps) = 0;

    // The device that open() opens from now on: an index that deviceCaps() described. Until it is called,
    // open() opens the default output.
    virtual void selectDevice(int /*index*/) {}

    // Opens the chosen output for `format`, to play `ring` (its first ringBytes(), as they are now).
    // The ring must stay allocated, and its length unchanged, until close().
    virtual bool open(const DeviceFormat& format, const RingBuffer& ring) = 0;
    // Starts playing the ring from frame 0; the play position starts at 0.
    virtual bool start() = 0;
    // Frames taken from the ring since start(), counted across laps. False once the device has failed
    // (a server that died, a stream the library gave up on): the caller closes it.
    virtual bool position(std::uint64_t& frames) = 0;
    // True as soon as the device knows it has failed: cheap enough to ask before every render.
    virtual bool failed() const = 0;
    // Stops playing at once; the ring is no longer read when this returns.
    virtual void stop() = 0;
    // Releases the device. False when it refuses, in which case it stays open.
    virtual bool close() = 0;
    virtual bool isOpen() const = 0;
    // Xruns the server reported since open() (JACK); 0 where the device cannot tell.
    virtual std::uint64_t xruns() const { return 0; }
};

}  // namespace voltina
