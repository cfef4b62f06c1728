#include "app/panel_autosave.h"

namespace voltina {

namespace {
// A write at most this often; a change waits at most this long for its write.
constexpr int kAutosaveIntervalMs = 1000;
}  // namespace

PanelAutosave::PanelAutosave(Capture capture) : capture_(std::move(capture)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kAutosaveIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &PanelAutosave::write);
}

bool PanelAutosave::start(const std::string& folder, std::string& error) {
    return slot_.claim(folder, error);
}

void PanelAutosave::changed() {
    // A drag of a knob changes the panel many times a second: one write for all of them, a second later.
    if (active() && !timer_.isActive()) timer_.start();
}

void PanelAutosave::write() {
    if (!active() || !capture_) return;
    // A few kilobytes of text: made here, where the panel lives; the disk is the writer's.
    writer_.submit(slot_.path(), serializeAutosave(capture_()));
}

bool PanelAutosave::writeNow() {
    timer_.stop();
    write();
    return writer_.flush();
}

void PanelAutosave::finish() {
    timer_.stop();
    writer_.flush();
    slot_.release();
}

}  // namespace voltina
