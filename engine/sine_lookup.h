#pragma once
// Reading the oscillators' sine table at a phase, within its bounds.

#include "engine/engine_state.h"

namespace voltina {

// sineTable[trunc(phase)]. In normal use a phase lies in 0..rateParam after its single wrap, because
// every increment is below rateParam; the bound check only guards a record that was edited by hand
// (a test, a rate change with a phase left over) from reading outside the table.
class SineView {
  public:
    explicit SineView(const EngineState& s)
        : entries_(s.sineTable.empty() ? &kSilence : s.sineTable.data()),
          last_(s.sineTable.empty() ? 0 : static_cast<int>(s.sineTable.size()) - 1) {}

    float at(float phase) const {
        int index = static_cast<int>(phase);
        index = index < 0 ? 0 : index;
        index = index > last_ ? last_ : index;
        return entries_[index];
    }

    // the table and its last index, for a caller that looks up several phases at once
    const float* entries() const { return entries_; }
    int lastIndex() const { return last_; }

  private:
    static constexpr float kSilence = 0.0f;  // what a missing table sounds
    const float* entries_;
    int last_;
};

}  // namespace voltina
