#include "plugin/plugin_edits.h"

#include <cstring>

#include "patch/controls.h"

namespace voltina {

namespace {

bool carriesNumbers(EditKind kind) {
    switch (kind) {
        case EditKind::FrequencyKnob:
        case EditKind::TypedFrequency:
        case EditKind::Frequency:
        case EditKind::WaveType:
        case EditKind::LevelKnob:
        case EditKind::Level:
        case EditKind::PanKnob:
        case EditKind::Pan:
        case EditKind::Plug:
        case EditKind::UnplugAtInput:
        case EditKind::UnplugAtOutput:
        case EditKind::Sync:
        case EditKind::RemoveSample:
            return true;
        case EditKind::LoadSample:
        case EditKind::Controllers:  // the window hears no MIDI: the plugin's bindings are its
                                     // configuration's
        case EditKind::LoadConfiguration:
        case EditKind::Restore:
            return false;
    }
    return false;
}

constexpr std::int32_t kLastKind = static_cast<std::int32_t>(EditKind::Restore);

// The words are made only when asked for: run() checks the window's edits and may not allocate.
template <typename Words>
bool refuse(std::string* why, Words words) {
    if (why != nullptr) *why = words();
    return false;
}

}  // namespace

bool editBody(const Edit& edit, EditBody& out) {
    if (!carriesNumbers(edit.kind)) return false;
    out = {
        static_cast<std::int32_t>(edit.kind), edit.index, edit.input, edit.output, edit.value, edit.amount};
    return true;
}

bool editFromBody(const EditBody& body, Edit& out, std::string* why) {
    if (body.kind < 0 || body.kind > kLastKind || !carriesNumbers(static_cast<EditKind>(body.kind)))
        return refuse(why, [&] { return "an edit of unknown kind " + std::to_string(body.kind); });
    // The indexes are checked where the edit is applied, as for every other edit.
    out = Edit{
        static_cast<EditKind>(body.kind), body.index, body.input, body.output, body.value, body.amount, {}};
    return true;
}

PanelBody panelBody(const EngineState& s) {
    PanelBody b;
    for (int i = 0; i < kOscillators; ++i) {
        b.oscType[i] = s.oscType[i];
        b.oscFreq[i] = s.oscFreq[i];
    }
    for (int i = 0; i < kMixerChannels; ++i) {
        b.mixLevel[i] = s.mixLevel[i];
        b.mixPan[i] = s.mixPan[i];
    }
    for (int in = 0; in < kJacks; ++in) b.cordSource[in] = hasCord(s, in) ? s.cordSource[in] : kNoCord;
    b.rateParam = s.rateParam;
    b.hasSample = s.waveSample != nullptr;
    return b;
}

bool panelFromBody(const PanelBody& b, PanelPatch& out, std::string* why) {
    const ControlRow& type = controlRow(Control::WaveType);
    const ControlRow& frequency = controlRow(Control::Frequency);
    const ControlRow& level = controlRow(Control::Level);
    const ControlRow& pan = controlRow(Control::Pan);
    for (int i = 0; i < kOscillators; ++i) {
        if (!controlAllows(type, b.oscType[i]))
            return refuse(why,
                          [&] { return "oscillator " + std::to_string(i + 1) + ": " + controlRule(type); });
        if (!controlAllows(frequency, static_cast<double>(b.oscFreq[i])))
            return refuse(
                why, [&] { return "oscillator " + std::to_string(i + 1) + ": " + controlRule(frequency); });
    }
    for (int i = 0; i < kMixerChannels; ++i) {
        if (!controlAllows(level, b.mixLevel[i]))
            return refuse(why,
                          [&] { return "channel " + std::to_string(i + 1) + ": " + controlRule(level); });
        if (!controlAllows(pan, b.mixPan[i]))
            return refuse(why, [&] { return "channel " + std::to_string(i + 1) + ": " + controlRule(pan); });
    }
    for (int in = 0; in < kJacks; ++in)
        if (b.cordSource[in] < 0 || b.cordSource[in] > kNoCord)
            return refuse(why, [&] {
                return "a cord from output " + std::to_string(b.cordSource[in]) + ", which is no jack";
            });
    for (int i = 0; i < kOscillators; ++i) {
        out.oscType[static_cast<std::size_t>(i)] = b.oscType[i];
        out.oscFreq[static_cast<std::size_t>(i)] = b.oscFreq[i];
    }
    for (int i = 0; i < kMixerChannels; ++i) {
        out.mixLevel[static_cast<std::size_t>(i)] = b.mixLevel[i];
        out.mixPan[static_cast<std::size_t>(i)] = b.mixPan[i];
    }
    for (int in = 0; in < kJacks; ++in) out.cordSource[static_cast<std::size_t>(in)] = b.cordSource[in];
    return true;
}

bool samePanel(const PanelBody& a, const PanelBody& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool patchEditBody(const Edit& edit, PatchEditBody& out) {
    if (!isPatchEditKind(static_cast<std::int32_t>(edit.kind)) || !edit.patch) return false;
    out.kind = static_cast<std::int32_t>(edit.kind);
    out.panel = PanelBody{};
    const PanelPatch& p = *edit.patch;
    for (int i = 0; i < kOscillators; ++i) {
        out.panel.oscType[i] = p.oscType[static_cast<std::size_t>(i)];
        out.panel.oscFreq[i] = p.oscFreq[static_cast<std::size_t>(i)];
    }
    for (int i = 0; i < kMixerChannels; ++i) {
        out.panel.mixLevel[i] = p.mixLevel[static_cast<std::size_t>(i)];
        out.panel.mixPan[i] = p.mixPan[static_cast<std::size_t>(i)];
    }
    for (int in = 0; in < kJacks; ++in) out.panel.cordSource[in] = p.cordSource[static_cast<std::size_t>(in)];
    out.panel.hasSample = p.sample != nullptr;
    return true;
}

bool isPatchEditKind(std::int32_t kind) {
    return kind == static_cast<std::int32_t>(EditKind::Restore) ||
           kind == static_cast<std::int32_t>(EditKind::LoadConfiguration);
}

}  // namespace voltina
