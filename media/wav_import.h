#pragma once
// The Wave player's sample: a RIFF WAVE file of 8-bit unsigned mono PCM at the output's rate, read whole
// into memory. Every file the player could not play byte for byte is refused, each refusal in its own
// words, and no header can make the loader read past the file's last byte or take more memory than the
// file holds.
// Plain C++; GUI thread (the program) or the renderer's own thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/engine_state.h"

namespace voltina {

// The largest sample the loader takes (256 MB: over an hour and a half at 44100 samples per second); a larger
// one is refused with its own message before any memory is taken.
constexpr std::size_t kMaxSampleBytes = std::size_t{256} << 20;

// Where the loader's messages go: the program's message box, or stderr in voltina-render.
using MessageSink = std::function<void(const std::string& text)>;
// The same message with its detail line: the file's name, then what was wrong with it ("LOOP.WAV:
// 16-bit samples", "LOOP.WAV: No such file or directory").
using MessageDetailSink = std::function<void(const std::string& text, const std::string& detail)>;

// A refusal on one line, for a terminal or a file's message: the message, then the reason from the detail
// line without the file's name ("The sound must be mono, 8 bits, 11025 samples per second (16-bit
// samples)"); the panel shows the same two as its box's text and detail line.
std::string describeRefusal(const std::string& fileName, const std::string& message,
                            const std::string& detail);

// What the loader keeps beside the engine: the name of the last file given to loadWaveSample, whole (the
// Wave button shows it, a saved configuration names it). "No wave" empties it.
struct WaveSampleName {
    std::string waveFileName;
};

// Loads `fileName` into s.waveSample. 1 when the sample is loaded and playable; 0 after a refusal, when
// `showMessage` has been given the reason and no sample is loaded. A sample still loaded on entry is
// freed first. wavePos is left to the caller. When `showDetail` is given it gets the message with its
// detail line, in place of `showMessage`.
int loadWaveSample(EngineState& s, WaveSampleName& name, const std::string& fileName,
                   const MessageSink& showMessage, const MessageDetailSink& showDetail = {});

// The same from bytes in memory, as if they were the file `fileName` (which is only recorded, never
// opened).
int loadWaveSampleFromBytes(EngineState& s, WaveSampleName& name, const std::string& fileName,
                            const std::uint8_t* bytes, std::size_t size, const MessageSink& showMessage);

// Frees the sample and its bytes, if any; safe at any time.
void freeWaveSample(EngineState& s);

// The panel's side of choosing a file for the Wave player.
struct WaveButtonHooks {
    std::function<void(const std::string& caption)> setWaveCaption;  // the Wave button's text
    // Stops the sound as the speaker switch does (offering a recording for saving), without changing the
    // switch's picture.
    std::function<void()> stopSound;
};

// Replaces the sample by `fileName`: output 31 is held unused while the sample is rebuilt (the sound keeps
// being computed inside the message boxes a load may show) and given back its in-use flag afterwards,
// whether the new sample loads or not. On success the Wave button shows the name and the sample plays from
// its first byte; on failure the sound stops and the button shows "?-?". Returns loadWaveSample's result.
int selectWaveFile(EngineState& s, WaveSampleName& name, const std::string& fileName,
                   const MessageSink& showMessage, const WaveButtonHooks& hooks,
                   const MessageDetailSink& showDetail = {});

// The Wave button's text after a failed load.
constexpr const char* kNoSampleCaption = "?-?";

// Tests make the loader's allocations fail through this hook; the program leaves it unset.
enum class WaveAllocation { Record, Data };
using WaveAllocationHook = std::function<bool(WaveAllocation what, std::size_t bytes)>;  // false: refuse
void setWaveAllocationHook(WaveAllocationHook hook);

}  // namespace voltina
