#pragma once
// A watcher of one output jack's values as the render computes them, frame by frame: what the panel's
// scope draws. A tap only reads: renderFrames computes the same bytes and running values with or without
// one, and without one (or with no jack watched) it pays nothing more.
// Called on the thread that renders, from inside renderFrames: take the values and return, never wait.

#include "engine/engine_state.h"

namespace voltina {

class JackTap {
  public:
    virtual ~JackTap() = default;
    // The output jack (0..31) to watch in the render call that begins, or kNoCord for none. Asked once
    // per call, before its first frame.
    virtual int watchedOutput() = 0;
    // The values the watched output held after each of the frames just rendered, in order.
    virtual void takeValues(const float* values, int count) = 0;
};

}  // namespace voltina
