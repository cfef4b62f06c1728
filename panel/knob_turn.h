#pragma once
// How a held knob speeds up: the step each tick of a held button turns it by, from the ticks it has turned
// and (for a frequency) the frequency it has reached. Plain arithmetic, no timer: the knob's timer, the
// wheel and the keys all step through it.

namespace voltina {

enum class KnobKind { Frequency, Level, Pan };

// A turn between two ticks.
struct KnobTurn {
    float step = 0.0f;  // what the next tick adds (a pan turns by the step's sign only)
    bool fine = false;  // a frequency turning in hundredths of a hertz
    int ticks = 0;      // ticks since the turn began, counted up to where the step stops growing
};

// The first step of a turn in `direction` (+1 up, -1 down): hundredths of a hertz for a frequency at
// 10 Hz or below, one otherwise.
KnobTurn startKnobTurn(KnobKind kind, int direction, float hz);

// The turn after one tick. `hz` is the frequency that tick left (a frequency knob's only): at 10 Hz or
// below the step drops to hundredths; after 16 ticks a frequency steps by 50 Hz, after 32 by 200 Hz, and a
// level by 10.
KnobTurn nextKnobTurn(KnobKind kind, KnobTurn turn, float hz);

}  // namespace voltina
