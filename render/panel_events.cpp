#include "render/panel_events.h"

#include <cmath>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>

#include "config/configuration.h"
#include "config/json_numbers.h"
#include "config/json_value.h"
#include "engine/defaults.h"
#include "engine/midi_keys.h"
#include "media/file_bytes.h"
#include "media/wav_import.h"
#include "patch/apply_edit.h"
#include "patch/controls.h"
#include "patch/jack_number.h"
#include "render/render_inputs.h"
#include "render/sample_check.h"
#include "render/start_state.h"

namespace voltina {

namespace {

// 2^53 - 1: every whole number up to it reads back exactly from JSON; one more, and a frame written as
// 9007199254740993 would quietly become another.
constexpr double kMaxFrame = 9007199254740991.0;

std::string inFolder(const std::string& folder, const std::string& name) {
    const std::filesystem::path path(name);
    if (path.is_absolute() || folder.empty()) return name;
    return (std::filesystem::path(folder) / path).string();
}

class EventReader;

// One kind of event: its member's name, the module it picks, the edit it reads into and is written from,
// how its value is read and written. Every kind is one row of kEventKinds, below; the reader, the writer
// and the messages that name the kinds all read that table.
struct EventKind {
    const char* name;
    const ControlOwnerNames* owner;  // the module the event picks ("oscillator": 1..8), or null
    EditKind edit;                   // what it reads into (a MIDI event reads into none)
    bool takesChecksum;              // a sample goes with it, which a "checksum" may name
    // Reads the value into `event` (the module's index in `at`); the problem in words, empty if none.
    std::string (*read)(EventReader& reader, const EventKind& kind, const JsonValue& v, int at,
                        PanelEvent& event);
    // The value as the file writes it, after the member's name.
    std::string (*write)(const EventKind& kind, const PanelEvent& event, int sampleRate);
    const ControlRow* control;  // the control it sets or turns, or null
};

class EventReader {
  public:
    EventReader(const EngineState& start, const PanelEventPlace& place, std::vector<PanelEvent>& out,
                bool whole)
        : out_(out),
          place_(place),
          whole_(whole),
          inputs_(place.inputs != nullptr ? *place.inputs : ownInputs_),
          cords_(std::make_unique<EngineState>()) {
        // Only the cords matter to the rules; the events are played on them as they come.
        for (int j = 0; j < kJacks; ++j) {
            cords_->cordSource[j] = start.cordSource[j];
            cords_->cordPresent[j] = start.cordPresent[j];
            cords_->outputUsed[j] = 0;
        }
        for (int j = 0; j < kJacks; ++j) {
            if (hasCord(*cords_, j)) cords_->outputUsed[cords_->cordSource[j]] = 1;
        }
        tidyInputsWithoutCord(*cords_);
        cords_->rateParam = place.rateParam;
    }

    std::string read(const JsonValue& root) {
        if (!root.isObject())
            return "an events file is an object: {\"voltina-events\": 1, \"events\": [...]}";
        const JsonValue* version = root.find("voltina-events");
        if (version == nullptr) return "\"voltina-events\": 1 is missing; this is not a Voltina events file";
        if (!version->isNumber() || version->number != kPanelEventsVersion)
            return "events file version " +
                   (version->isNumber() ? version->numberText : std::string("(not a number)")) +
                   " is not known to this version of Voltina (it reads version " +
                   std::to_string(kPanelEventsVersion) + ")";
        for (const auto& member : root.members) {
            const bool ofPerformance = member.first == "start" || member.first == "frames";
            if (ofPerformance && !whole_)
                return "\"" + member.first +
                       "\" belongs to a recorded performance: render it as voltina-render FILE, not with "
                       "--events";
            if (member.first != "voltina-events" && member.first != "events" && !ofPerformance)
                return "unknown member \"" + member.first + "\"";
        }
        const JsonValue* list = root.find("events");
        if (list == nullptr || !list->isArray()) return "\"events\" must be a list of events";
        std::uint64_t lastFrame = 0;
        for (std::size_t i = 0; i < list->items.size(); ++i) {
            PanelEvent event;
            std::string problem = readEvent(list->items[i], event);
            const JsonValue* frame = list->items[i].isObject() ? list->items[i].find("frame") : nullptr;
            std::string label = "event " + std::to_string(i + 1);
            if (frame != nullptr && frame->isNumber()) label += " (frame " + frame->numberText + ")";
            if (problem.empty() && event.frame < lastFrame)
                problem = "frames must not decrease (the event before is at frame " +
                          std::to_string(lastFrame) + ")";
            if (problem.empty() && !event.isMidi) problem = playOnCords(event.edit);
            if (!problem.empty()) return label + ": " + problem;
            lastFrame = event.frame;
            out_.push_back(std::move(event));
        }
        return {};
    }

    // A sample's file name, loaded and checked at the render's rate.
    std::string readSample(const JsonValue& v, Edit& edit) {
        if (!v.isString() || v.string.empty()) return "sample must be a file name in double quotes";
        std::string path = inFolder(place_.folder, v.string);
        std::shared_ptr<SampleRecord> sample;
        std::string problem = loadSample(path, sample);
        if (!problem.empty()) return problem;
        edit = Edit::loadSample(std::move(sample), path);
        return {};
    }

    // A configuration to load or restore.
    std::string readPatch(const EventKind& kind, const JsonValue& v, Edit& edit) {
        PanelPatch patch;
        std::string problem = readConfiguration(kind.name, v, patch);
        if (!problem.empty()) return problem;
        edit = kind.edit == EditKind::Restore ? Edit::restore(std::move(patch))
                                              : Edit::loadConfiguration(std::move(patch));
        return {};
    }

  private:
    std::string readEvent(const JsonValue& e, PanelEvent& event);

    // A restore without a number brings a sample of its own, as a fresh load did: the player restarts
    // it even when the same file plays.
    std::string loadSample(const std::string& path, std::shared_ptr<SampleRecord>& sample,
                           bool ofItsOwn = false) {
        using Holder = RenderInputs::Holder;
        const int rateParam = place_.rateParam;
        if (sampleId_ == 0)
            return inputs_.sample(path, rateParam, checksum_, ofItsOwn ? Holder::Own : Holder::Shared,
                                  sample);
        const auto known = samples_.find(sampleId_);
        if (known == samples_.end()) {
            std::string problem = inputs_.sample(path, rateParam, checksum_, Holder::Own, sample);
            if (problem.empty()) samples_[sampleId_] = {sample, checksum_};
            return problem;
        }
        // A number already known brings back the sample that played, and only when the event's own
        // file is still there with that sound.
        std::string problem = inputs_.check(path, rateParam, checksum_);
        if (!problem.empty()) return problem;
        if (known->second.second != checksum_)
            return "sample-id " + std::to_string(sampleId_) + " is a sample that played before, with " +
                   "another sound than " + path + " (" + known->second.second + ")";
        sample = known->second.first;
        return {};
    }

  public:
    // The sample a performance's start state plays, under its number.
    void knowSample(int id, std::shared_ptr<SampleRecord> sample) {
        if (id != 0 && sample) {
            std::string checksum = sampleChecksum(*sample);
            samples_[id] = {std::move(sample), std::move(checksum)};
        }
    }

  private:
    // A configuration file's name, or the configuration itself; at the render's rate, its sample loaded.
    std::string readConfiguration(const std::string& name, const JsonValue& v, PanelPatch& patch) {
        Configuration c;
        std::string error;
        std::string where;  // the file the sample's name is relative to
        if (v.isString() && name == "configuration") {
            if (v.string.empty()) return "configuration must be a file name or a configuration";
            where = inFolder(place_.folder, v.string);
            if (!inputs_.configuration(where, c, error)) return "configuration " + error;
        } else if (v.isObject()) {
            if (!parseConfigurationValue(v, c, error)) return name + ": " + error;
            where = inFolder(place_.folder, "events");
        } else {
            return name == "restore" ? "restore must be a configuration (an object)"
                                     : "configuration must be a file name or a configuration";
        }
        const int rate = place_.rateParam - 1;
        if (c.rate != rate)
            return name + " is for " + std::to_string(c.rate) + " Hz and this render plays at " +
                   std::to_string(rate) + " Hz (a change of rate is not an event)";
        patch = configurationPatch(c);
        if (c.hasWave) {
            patch.samplePath = besideConfiguration(where, c.wave);
            std::string problem = loadSample(patch.samplePath, patch.sample, name == "restore");
            if (!problem.empty()) return name + ": " + problem;
        }
        return {};
    }

    // The patch bay's rules on the cords as the events before leave them; then the event is played on
    // them, so the next one meets the cords this one made.
    std::string playOnCords(const Edit& edit) {
        const std::string in = JackNumber::input(edit.input).text();
        const std::string out = JackNumber::output(edit.output).text();
        if (edit.kind == EditKind::UnplugAtInput && !hasCord(*cords_, edit.input))
            return "input jack " + in + " has no cord to unplug";
        if (edit.kind == EditKind::UnplugAtOutput && cords_->outputUsed[edit.output] == 0)
            return "output jack " + out + " has no cord to unplug";
        const EditResult result = applyEdit(*cords_, edit);
        if (!result.taken()) return plugRuleMessage(result.rule, *cords_, edit.output, edit.input);
        return {};
    }

    std::vector<PanelEvent>& out_;
    PanelEventPlace place_;
    bool whole_;            // a performance may carry its start state and length
    std::string checksum_;  // the event's sample checksum, empty when it names none
    int sampleId_ = 0;
    RenderInputs ownInputs_;
    RenderInputs& inputs_;
    std::map<int, std::pair<std::shared_ptr<SampleRecord>, std::string>> samples_;  // with its checksum
    std::unique_ptr<EngineState> cords_;
};

// A configuration written inside an events file: its lines indented under the event.
std::string inlineConfiguration(const PanelPatch& patch, int sampleRate) {
    std::string text = serializeConfiguration(patchConfiguration(patch, sampleRate));
    while (!text.empty() && text.back() == '\n') text.pop_back();
    std::string indented;
    for (char c : text) {
        indented += c;
        if (c == '\n') indented += "    ";
    }
    return indented;
}

std::string sampleChecksumMember(const Edit& e, int sampleId) {
    if (!e.patch || !e.patch->sample) return {};
    return ", \"checksum\": \"" + sampleChecksum(*e.patch->sample) + "\"" +
           (sampleId != 0 ? ", \"sample-id\": " + std::to_string(sampleId) : std::string());
}

// The readers of the event kinds' values.

// A control's value set outright, in its range and step; a choice by its name.
std::string readValue(EventReader&, const EventKind& kind, const JsonValue& v, int at, PanelEvent& event) {
    const ControlRow& row = *kind.control;
    double value = 0;
    bool allowed = false;
    if (row.choiceNames != nullptr) {
        value = v.isString() ? controlChoiceNamed(row, v.string) : -1;
        allowed = value >= 0;
    } else if (row.step == 0) {
        float f = 0.0f;
        allowed =
            jsonFloatNumber(&v, row.minimum, row.maximum, f) && controlAllows(row, static_cast<double>(f));
        value = static_cast<double>(f);
    } else {
        allowed = jsonWholeNumber(&v, row.minimum, row.maximum, value) && controlAllows(row, value);
    }
    if (!allowed) return controlRule(row);
    event.edit = controlEdit(row, at, value);
    return {};
}

// What the entry took, kept as it was: the edit itself ignores what it cannot use.
std::string readTyped(EventReader&, const EventKind& kind, const JsonValue& v, int at, PanelEvent& event) {
    float f = 0.0f;
    if (!jsonFloatNumber(&v, -1e30, 1e30, f))
        return std::string(kind.name) + " must be a number (what the entry took)";
    event.edit = Edit::typedFrequency(at, f);
    return {};
}

// One tick of a knob held with a step of up to the control's maximum either way.
std::string readTick(EventReader&, const EventKind& kind, const JsonValue& v, int at, PanelEvent& event) {
    const double most = kind.control->maximum;
    float f = 0.0f;
    if (!jsonFloatNumber(&v, -most, most, f))
        return std::string(kind.name) + " must be a step from " + controlNumber(-most) + " to " +
               controlNumber(most);
    event.edit = kind.edit == EditKind::LevelKnob ? Edit::levelKnob(at, f) : Edit::frequencyKnob(at, f);
    return {};
}

// One tick of a control that moves a step to a side: 1 (to the right) or -1 (to the left).
std::string readSide(EventReader&, const EventKind& kind, const JsonValue& v, int at, PanelEvent& event) {
    double number = 0;
    if (!jsonWholeNumber(&v, -1, 1, number) || number == 0)
        return std::string(kind.name) + " must be 1 (to the right) or -1 (to the left)";
    event.edit = Edit::panKnob(at, static_cast<int>(number));
    return {};
}

std::string readPlug(EventReader&, const EventKind& kind, const JsonValue& v, int, PanelEvent& event) {
    double out = 0;
    double in = 0;
    if (!v.isArray() || v.items.size() != 2 ||
        !jsonWholeNumber(&v.items[0], JackNumber::kFirstOutput, JackNumber::kLastOutput, out) ||
        !jsonWholeNumber(&v.items[1], JackNumber::kFirstInput, JackNumber::kLastInput, in))
        return std::string(kind.name) + " takes [output jack " + outputJackRange() + ", input jack " +
               inputJackRange() + "]";
    event.edit = Edit::plug(JackNumber::of(static_cast<int>(out)).index(),
                            JackNumber::of(static_cast<int>(in)).index());
    return {};
}

std::string readInput(EventReader&, const EventKind& kind, const JsonValue& v, int, PanelEvent& event) {
    double number = 0;
    if (!jsonWholeNumber(&v, JackNumber::kFirstInput, JackNumber::kLastInput, number))
        return std::string(kind.name) + " takes an input jack, " + inputJackRange();
    event.edit = Edit::unplugAtInput(JackNumber::of(static_cast<int>(number)).index());
    return {};
}

std::string readOutput(EventReader&, const EventKind& kind, const JsonValue& v, int, PanelEvent& event) {
    double number = 0;
    if (!jsonWholeNumber(&v, JackNumber::kFirstOutput, JackNumber::kLastOutput, number))
        return std::string(kind.name) + " takes an output jack, " + outputJackRange();
    event.edit = Edit::unplugAtOutput(JackNumber::of(static_cast<int>(number)).index());
    return {};
}

// A button's press: true, nothing else.
std::string readTrue(EventReader&, const EventKind& kind, const JsonValue& v, int, PanelEvent& event) {
    if (!v.isBoolean() || !v.boolean) return std::string(kind.name) + " must be true";
    event.edit = kind.edit == EditKind::RemoveSample ? Edit::removeSample() : Edit::sync();
    return {};
}

std::string readSample(EventReader& reader, const EventKind&, const JsonValue& v, int, PanelEvent& event) {
    return reader.readSample(v, event.edit);
}

std::string readPatch(EventReader& reader, const EventKind& kind, const JsonValue& v, int,
                      PanelEvent& event) {
    return reader.readPatch(kind, v, event.edit);
}

// A message as the MIDI voice received it: status, then up to two data bytes.
std::string readMidi(EventReader&, const EventKind& kind, const JsonValue& v, int, PanelEvent& event) {
    const std::string rule =
        std::string(kind.name) + " takes a message of 1 to 3 bytes: [status 128 to 255, data 0 to 127, ...]";
    if (!v.isArray() || v.items.empty() || v.items.size() > 3) return rule;
    std::uint32_t packed = 0;
    for (std::size_t i = 0; i < v.items.size(); ++i) {
        double byte = 0;
        if (!jsonWholeNumber(&v.items[i], i == 0 ? 128 : 0, i == 0 ? 255 : 127, byte)) return rule;
        packed |= static_cast<std::uint32_t>(byte) << (8 * i);
    }
    event.isMidi = true;
    event.midi = packed;
    return {};
}

// The writers: each kind's value, as its reader reads it back.

std::string writeValue(const EventKind& kind, const PanelEvent& e, int) {
    const ControlRow& row = *kind.control;
    if (row.choiceNames != nullptr) return std::string("\"") + controlChoiceName(row, e.edit.value) + "\"";
    return row.step == 0 ? jsonFloatText(e.edit.amount) : std::to_string(e.edit.value);
}

std::string writeAmount(const EventKind&, const PanelEvent& e, int) {
    return jsonFloatText(e.edit.amount);
}

std::string writeSide(const EventKind&, const PanelEvent& e, int) {
    return std::to_string(e.edit.value > 0 ? 1 : -1);
}

std::string writePlug(const EventKind&, const PanelEvent& e, int) {
    return "[" + JackNumber::output(e.edit.output).text() + ", " + JackNumber::input(e.edit.input).text() +
           "]";
}

std::string writeInput(const EventKind&, const PanelEvent& e, int) {
    return JackNumber::input(e.edit.input).text();
}

std::string writeOutput(const EventKind&, const PanelEvent& e, int) {
    return JackNumber::output(e.edit.output).text();
}

std::string writeTrue(const EventKind&, const PanelEvent&, int) {
    return "true";
}

std::string writeSample(const EventKind&, const PanelEvent& e, int) {
    return jsonQuote(e.edit.patch->samplePath) + sampleChecksumMember(e.edit, e.sampleId);
}

std::string writePatch(const EventKind&, const PanelEvent& e, int sampleRate) {
    return inlineConfiguration(e.edit.patch ? *e.edit.patch : PanelPatch(), sampleRate) +
           sampleChecksumMember(e.edit, e.sampleId);
}

std::string writeMidi(const EventKind&, const PanelEvent& e, int) {
    return "[" + std::to_string(e.midi & 0xFF) + ", " + std::to_string(e.midi >> 8 & 0xFF) + ", " +
           std::to_string(e.midi >> 16 & 0xFF) + "]";
}

const ControlRow* const kFrequency = &controlRow(Control::Frequency);
const ControlRow* const kTyped = &controlRow(Control::TypedFrequency);
const ControlRow* const kWaveType = &controlRow(Control::WaveType);
const ControlRow* const kLevel = &controlRow(Control::Level);
const ControlRow* const kPan = &controlRow(Control::Pan);

using K = EditKind;
const ControlOwnerNames* const kOsc = &ownerNames(ControlOwner::Oscillator);
const ControlOwnerNames* const kChannel = &ownerNames(ControlOwner::MixerChannel);

// Each row: the member's name, the module it picks, the edit, whether a checksum goes with it, the reader,
// the writer, the control it sets or turns. A MIDI message reads into no edit (its row's is a placeholder).
// clang-format off
const EventKind kEventKinds[] = {
    {kFrequency->eventName,     kOsc,     K::Frequency,         false, readValue,  writeValue,  kFrequency},
    {kTyped->eventName,         kOsc,     K::TypedFrequency,    false, readTyped,  writeValue,  kTyped},
    {kFrequency->tickEventName, kOsc,     K::FrequencyKnob,     false, readTick,   writeAmount, kFrequency},
    {kWaveType->eventName,      kOsc,     K::WaveType,          false, readValue,  writeValue,  kWaveType},
    {kLevel->eventName,         kChannel, K::Level,             false, readValue,  writeValue,  kLevel},
    {kLevel->tickEventName,     kChannel, K::LevelKnob,         false, readTick,   writeAmount, kLevel},
    {kPan->eventName,           kChannel, K::Pan,               false, readValue,  writeValue,  kPan},
    {kPan->tickEventName,       kChannel, K::PanKnob,           false, readSide,   writeSide,   kPan},
    {"plug",                    nullptr,  K::Plug,              false, readPlug,   writePlug,   nullptr},
    {"unplug",                  nullptr,  K::UnplugAtInput,     false, readInput,  writeInput,  nullptr},
    {"unplug-output",           nullptr,  K::UnplugAtOutput,    false, readOutput, writeOutput, nullptr},
    {"sync",                    nullptr,  K::Sync,              false, readTrue,   writeTrue,   nullptr},
    {"sample",                  nullptr,  K::LoadSample,        true,  readSample, writeSample, nullptr},
    {"no-wave",                 nullptr,  K::RemoveSample,      false, readTrue,   writeTrue,   nullptr},
    {"configuration",           nullptr,  K::LoadConfiguration, true,  readPatch,  writePatch,  nullptr},
    {"restore",                 nullptr,  K::Restore,           true,  readPatch,  writePatch,  nullptr},
    {"midi",                    nullptr,  K::Sync,              false, readMidi,   writeMidi,   nullptr},
};
// clang-format on

// "frequency, typed, ... or midi": what an event may do.
std::string eventKindList() {
    std::string list;
    const std::size_t n = std::size(kEventKinds);
    for (std::size_t k = 0; k < n; ++k)
        list += std::string(k == 0 ? "" : k + 1 == n ? " or " : ", ") + kEventKinds[k].name;
    return list;
}

const EventKind& eventKindOf(const PanelEvent& e) {
    EditKind edit = e.edit.kind;
    // A load that brought no sample is written as what it did.
    if (edit == EditKind::LoadSample && !(e.edit.patch && e.edit.patch->sample))
        edit = EditKind::RemoveSample;
    for (const EventKind& kind : kEventKinds) {
        const bool midi = kind.read == readMidi;
        if (midi == e.isMidi && (midi || kind.edit == edit)) return kind;
    }
    return kEventKinds[0];
}

std::string eventBody(const PanelEvent& e, int sampleRate) {
    const EventKind& kind = eventKindOf(e);
    std::string text;
    if (kind.owner != nullptr)
        text = "\"" + std::string(kind.owner->eventsName) + "\": " + std::to_string(e.edit.index + 1) + ", ";
    return text + "\"" + kind.name + "\": " + kind.write(kind, e, sampleRate);
}

std::string EventReader::readEvent(const JsonValue& e, PanelEvent& event) {
    if (!e.isObject()) return "must be an object such as {\"frame\": 0, \"sync\": true}";
    double frame = 0;
    if (e.find("frame") == nullptr) return "frame is missing";
    if (!jsonWholeNumber(e.find("frame"), 0, kMaxFrame, frame))
        return "frame must be a whole number from 0 to 9007199254740991";
    event.frame = static_cast<std::uint64_t>(frame);

    const JsonValue* value = nullptr;
    const EventKind* kind = nullptr;
    for (const EventKind& k : kEventKinds) {
        if (const JsonValue* v = e.find(k.name)) {
            if (kind != nullptr)
                return "has both \"" + std::string(kind->name) + "\" and \"" + k.name +
                       "\"; one action per event";
            kind = &k;
            value = v;
        }
    }
    for (const auto& member : e.members) {
        bool known = member.first == "frame" || member.first == "checksum" || member.first == "sample-id";
        for (const ControlOwnerNames& owner : kOwnerNames) known = known || member.first == owner.eventsName;
        for (const EventKind& k : kEventKinds) known = known || member.first == k.name;
        if (!known) return "unknown member \"" + member.first + "\"";
    }
    if (kind == nullptr) return "says nothing to do (" + eventKindList() + ")";

    const std::string name = kind->name;
    for (const ControlOwnerNames& owner : kOwnerNames) {
        const bool needed = kind->owner == &owner;
        if (needed == (e.find(owner.eventsName) != nullptr)) continue;
        const std::string member = std::string("\"") + owner.eventsName + "\"";
        return needed ? name + " needs " + member + ": 1 to " + std::to_string(owner.count)
                      : member + " does not go with " + name;
    }
    double index = 0;
    if (kind->owner != nullptr &&
        !jsonWholeNumber(e.find(kind->owner->eventsName), 1, kind->owner->count, index))
        return std::string(kind->owner->eventsName) + " must be 1 to " + std::to_string(kind->owner->count);
    const int at = static_cast<int>(index) - 1;
    const JsonValue* checksum = e.find("checksum");
    if (checksum != nullptr) {
        if (!kind->takesChecksum) return "\"checksum\" goes only with a sample, a configuration or a restore";
        if (!checksum->isString() || checksum->string.compare(0, 8, "fnv1a64:") != 0)
            return "checksum must be a text such as \"fnv1a64:0123456789abcdef\"";
        checksum_ = checksum->string;
    } else {
        checksum_.clear();
    }
    sampleId_ = 0;
    if (const JsonValue* id = e.find("sample-id")) {
        double n = 0;
        if (checksum == nullptr || !jsonWholeNumber(id, 1, 1e9, n))
            return "sample-id must be a whole number from 1, beside the sample's checksum";
        sampleId_ = static_cast<int>(n);
        event.sampleId = sampleId_;
    }
    return kind->read(*this, *kind, *value, at, event);
}

}  // namespace

bool parsePanelEvents(const std::string& text, const EngineState& start, std::vector<PanelEvent>& out,
                      std::string& error, const PanelEventPlace& place) {
    JsonValue root;
    std::string problem;
    if (!parseJson(text, root, problem)) {
        error = problem;
        return false;
    }
    std::vector<PanelEvent> events;
    EventReader reader(start, place, events, false);
    problem = reader.read(root);
    if (!problem.empty()) {
        error = problem;
        return false;
    }
    out.swap(events);
    return true;
}

bool readPanelEventsFile(const std::string& path, const EngineState& start, int rateParam,
                         std::vector<PanelEvent>& out, std::string& error, RenderInputs* inputs) {
    std::vector<std::uint8_t> bytes;
    if (!readFileBytes(path, kMaxPanelEventsBytes, bytes, error)) return false;
    const std::string text(bytes.begin(), bytes.end());
    std::vector<std::uint8_t>().swap(bytes);
    std::string problem;
    const PanelEventPlace place{std::filesystem::path(path).parent_path().string(), rateParam, inputs};
    if (!parsePanelEvents(text, start, out, problem, place)) {
        error = path + ": " + problem;
        return false;
    }
    return true;
}

std::string serializePanelEvents(const std::vector<PanelEvent>& events, int sampleRate) {
    std::string text = "{\"voltina-events\": " + std::to_string(kPanelEventsVersion) + ", \"events\": [";
    for (std::size_t i = 0; i < events.size(); ++i) {
        text += i == 0 ? "\n" : ",\n";
        text += serializePanelEvent(events[i], sampleRate);
    }
    text += events.empty() ? "]}\n" : "\n]}\n";
    return text;
}

std::string serializePanelEvent(const PanelEvent& event, int sampleRate) {
    return "  {\"frame\": " + std::to_string(event.frame) + ", " + eventBody(event, sampleRate) + "}";
}

void applyPanelEvent(EngineState& s, const PanelEvent& e) {
    if (e.isMidi)
        onMidiMessage(s, e.midi);
    else
        applyEdit(s, e.edit);
}

bool parsePerformance(const std::string& text, Performance& out, std::string& error,
                      const std::string& folder, RenderInputs* inputs) {
    JsonValue root;
    if (!parseJson(text, root, error)) return false;
    Performance p;
    auto start = std::make_shared<EngineState>();
    setEngineDefaults(*start);
    RenderInputs ownInputs;
    PanelEventPlace place{folder, kDefaultRateParam, inputs != nullptr ? inputs : &ownInputs};
    int startSample = 0;
    if (const JsonValue* s = root.isObject() ? root.find("start") : nullptr) {
        // The version first: a start state of another version would be misread as a damaged one.
        const JsonValue* version = root.find("voltina-events");
        if (version != nullptr && version->isNumber() && version->number == kPanelEventsVersion) {
            error = readStartState(*s, folder, *start, &startSample, place.inputs);
            if (!error.empty()) return false;
            place.rateParam = start->rateParam;
            p.start = start;
        }
    }
    if (const JsonValue* frames = root.isObject() ? root.find("frames") : nullptr) {
        double n = 0;
        if (!jsonWholeNumber(frames, 0, kMaxFrame, n)) {
            error = "frames (the take's length) must be a whole number from 0 to 9007199254740991";
            return false;
        }
        p.haveFrames = true;
        p.frames = static_cast<std::uint64_t>(n);
    }
    EventReader reader(*start, place, p.events, true);
    reader.knowSample(startSample, start->waveSample);
    error = reader.read(root);
    if (!error.empty()) return false;
    out = std::move(p);
    return true;
}

bool readPerformanceFile(const std::string& path, Performance& out, std::string& error,
                         RenderInputs* inputs) {
    std::vector<std::uint8_t> bytes;
    if (!readFileBytes(path, kMaxPerformanceBytes, bytes, error)) return false;
    const std::string text(bytes.begin(), bytes.end());
    std::vector<std::uint8_t>().swap(bytes);
    if (!parsePerformance(text, out, error, std::filesystem::path(path).parent_path().string(), inputs)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace voltina
