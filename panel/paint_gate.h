#pragma once
// The render gate, as the paint handlers call it.

#include "panel/panel_audio.h"

namespace voltina {

// A repaint of the whole panel paints every control in turn and can outlast a sound block; each paint
// handler gives the sound its due block first, so the ring never runs dry behind a long repaint.
inline void renderSoundDueDuringPaint(PanelAudio& audio) {
    audio.renderIfDue();
}

}  // namespace voltina
