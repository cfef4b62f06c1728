#pragma once
#include "engine/engine_state.h"

namespace voltina {

// sineTable[trunc(phase)]. In normal use a phase lies in 0..rateParam after its single wrap, because
// every increment is below rateParam; the bound check only guards a record that was edited by hand
// (a test, a rate change with a phase left over) from reading outside the table.
inline float sineAt(const EngineState& s, float phase) {
    int index = static_cast<int>(phase);
    const int size = static_cast<int>(s.sineTable.size());
    if (index < 0 || index >= size) index = index < 0 ? 0 : size - 1;
    return size > 0 ? s.sineTable[static_cast<std::size_t>(index)] : 0.0f;
}

}  // namespace voltina
