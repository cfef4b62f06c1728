#pragma once
// The panel's controls in the order a person reads the panel: module by module, the oscillators first
// and the mixer last, as the signal runs; inside a module its controls from top left. Tab follows it
// through the whole panel; the arrow keys stay inside one module's group. No Qt.

#include <vector>

namespace voltina {

// Every group of controls, in reading order; each id of the panel that can take the focus is in
// exactly one.
const std::vector<std::vector<int>>& panelReadingGroups();

// The control an arrow key moves to from `id`: the next (forward) or previous one of its group,
// round the group's end; `id` itself when it is in no group or alone in it. `canFocus` says which
// controls can take the focus now (a disabled Record switch cannot).
template <typename CanFocus>
int neighbourInGroup(int id, bool forward, CanFocus canFocus) {
    for (const std::vector<int>& group : panelReadingGroups()) {
        const int n = static_cast<int>(group.size());
        for (int k = 0; k < n; ++k) {
            if (group[k] != id) continue;
            for (int step = 1; step < n; ++step) {
                const int next = group[((forward ? k + step : k - step) % n + n) % n];
                if (canFocus(next)) return next;
            }
            return id;
        }
    }
    return id;
}

}  // namespace voltina
