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

// The control Ctrl with an arrow moves to from `id`: the first of the next (forward) or previous
// group's controls that can take the focus now, round the panel's end, so a whole module is passed
// over in one key. From an id in no group, the first or the last group is next. `id` itself when no
// other group has a control that can take the focus.
template <typename CanFocus>
int firstOfNeighbourGroup(int id, bool forward, CanFocus canFocus) {
    const std::vector<std::vector<int>>& groups = panelReadingGroups();
    const int n = static_cast<int>(groups.size());
    int at = forward ? -1 : n;
    for (int g = 0; g < n; ++g) {
        for (int member : groups[g])
            if (member == id) at = g;
    }
    for (int step = 1; step <= n; ++step) {
        const int g = ((forward ? at + step : at - step) % n + n) % n;
        if (g == at) break;
        for (int member : groups[g])
            if (canFocus(member)) return member;
    }
    return id;
}

}  // namespace voltina
