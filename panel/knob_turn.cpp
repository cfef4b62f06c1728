#include "panel/knob_turn.h"

namespace voltina {

KnobTurn startKnobTurn(KnobKind kind, int direction, float hz) {
    KnobTurn t;
    t.fine = kind == KnobKind::Frequency && static_cast<double>(hz) <= 10.0;
    t.step = static_cast<float>(direction) * (t.fine ? 0.01f : 1.0f);
    return t;
}

KnobTurn nextKnobTurn(KnobKind kind, KnobTurn t, float hz) {
    switch (kind) {
        case KnobKind::Frequency:
            // The limits the tick held the value to lie on the same sides of 10 Hz as the unheld value.
            if (static_cast<double>(hz) > 10.0) {
                t.fine = false;
            } else if (!t.fine) {
                t.step = t.step >= 0.0f ? 0.01f : -0.01f;
                t.fine = true;
            }
            if (t.ticks < 32) {
                ++t.ticks;
                if (t.ticks == 16) t.step = t.step >= 0.0f ? 50.0f : -50.0f;
                if (t.ticks == 32) t.step *= 4.0f;
            }
            break;
        case KnobKind::Level:
            if (t.ticks < 16) {
                ++t.ticks;
                if (t.ticks == 16) t.step *= 10.0f;
            }
            break;
        case KnobKind::Pan:
            break;
    }
    return t;
}

}  // namespace voltina
