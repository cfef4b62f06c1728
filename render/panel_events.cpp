#include "render/panel_events.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>

#include "config/configuration.h"
#include "config/json_numbers.h"
#include "config/json_value.h"
#include "engine/defaults.h"
#include "engine/midi_keys.h"
#include "media/file_bytes.h"
#include "media/wav_import.h"
#include "patch/apply_edit.h"
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

enum class Target { None, Oscillator, Channel };

struct Action {
    const char* name;
    Target target;
};

constexpr Action kActions[] = {
    {"frequency", Target::Oscillator},
    {"typed", Target::Oscillator},
    {"frequency-knob", Target::Oscillator},
    {"type", Target::Oscillator},
    {"level", Target::Channel},
    {"level-knob", Target::Channel},
    {"pan", Target::Channel},
    {"pan-knob", Target::Channel},
    {"plug", Target::None},
    {"unplug", Target::None},
    {"unplug-output", Target::None},
    {"sync", Target::None},
    {"sample", Target::None},
    {"no-wave", Target::None},
    {"configuration", Target::None},
    {"restore", Target::None},
    {"midi", Target::None},
};

constexpr const char* kActionList =
    "frequency, typed, frequency-knob, type, level, level-knob, pan, pan-knob, plug, unplug, unplug-output, "
    "sync, sample, no-wave, configuration, restore or midi";

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

  private:
    std::string readEvent(const JsonValue& e, PanelEvent& event) {
        if (!e.isObject()) return "must be an object such as {\"frame\": 0, \"sync\": true}";
        double frame = 0;
        if (e.find("frame") == nullptr) return "frame is missing";
        if (!jsonWholeNumber(e.find("frame"), 0, kMaxFrame, frame))
            return "frame must be a whole number from 0 to 9007199254740991";
        event.frame = static_cast<std::uint64_t>(frame);

        const JsonValue* osc = e.find("oscillator");
        const JsonValue* channel = e.find("channel");
        const JsonValue* value = nullptr;
        const Action* action = nullptr;
        for (const Action& a : kActions) {
            if (const JsonValue* v = e.find(a.name)) {
                if (action != nullptr)
                    return "has both \"" + std::string(action->name) + "\" and \"" + a.name +
                           "\"; one action per event";
                action = &a;
                value = v;
            }
        }
        for (const auto& member : e.members) {
            bool known = member.first == "frame" || member.first == "oscillator" ||
                         member.first == "channel" || member.first == "checksum" ||
                         member.first == "sample-id";
            for (const Action& a : kActions) known = known || member.first == a.name;
            if (!known) return "unknown member \"" + member.first + "\"";
        }
        if (action == nullptr) return std::string("says nothing to do (") + kActionList + ")";

        const std::string name = action->name;
        const bool forOscillator = action->target == Target::Oscillator;
        const bool forChannel = action->target == Target::Channel;
        if (forOscillator != (osc != nullptr)) {
            return forOscillator ? name + " needs \"oscillator\": 1 to 8"
                                 : "\"oscillator\" does not go with " + name;
        }
        if (forChannel != (channel != nullptr)) {
            return forChannel ? name + " needs \"channel\": 1 to 8" : "\"channel\" does not go with " + name;
        }
        double index = 0;
        if (forOscillator && !jsonWholeNumber(osc, 1, kOscillators, index))
            return "oscillator must be 1 to 8";
        if (forChannel && !jsonWholeNumber(channel, 1, kMixerChannels, index))
            return "channel must be 1 to 8";
        const int at = static_cast<int>(index) - 1;
        const JsonValue* checksum = e.find("checksum");
        if (checksum != nullptr) {
            if (name != "sample" && name != "configuration" && name != "restore")
                return "\"checksum\" goes only with a sample, a configuration or a restore";
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
        if (name == "midi") return readMidi(*value, event);
        return readAction(name, *value, at, event.edit);
    }

    // A message as the MIDI voice received it: status, then up to two data bytes.
    static std::string readMidi(const JsonValue& v, PanelEvent& event) {
        const char* rule = "midi takes a message of 1 to 3 bytes: [status 128 to 255, data 0 to 127, ...]";
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

    std::string readAction(const std::string& name, const JsonValue& v, int at, Edit& edit) {
        double number = 0;
        float f = 0.0f;
        if (name == "frequency") {
            if (!jsonFloatNumber(&v, 0.0, kMaxKnobFrequency, f) || !(f > 0.0f) || f > kMaxKnobFrequency)
                return "frequency must be above 0 and at most 5500";
            edit = Edit::frequency(at, f);
        } else if (name == "typed") {
            if (!jsonFloatNumber(&v, -1e30, 1e30, f)) return "typed must be a number (what the entry took)";
            edit = Edit::typedFrequency(at, f);
        } else if (name == "frequency-knob") {
            if (!jsonFloatNumber(&v, -kMaxKnobFrequency, kMaxKnobFrequency, f))
                return "frequency-knob must be a step from -5500 to 5500";
            edit = Edit::frequencyKnob(at, f);
        } else if (name == "type") {
            const int type = oscillatorTypeNamed(v);
            if (type < 0) return kOscillatorTypeRule;
            edit = Edit::waveType(at, type);
        } else if (name == "level") {
            if (!jsonWholeNumber(&v, 0, 128, number)) return "level must be a whole number from 0 to 128";
            edit = Edit::level(at, static_cast<int>(number));
        } else if (name == "level-knob") {
            if (!jsonFloatNumber(&v, -128, 128, f)) return "level-knob must be a step from -128 to 128";
            edit = Edit::levelKnob(at, f);
        } else if (name == "pan") {
            if (!jsonWholeNumber(&v, 0, 100, number) || static_cast<int>(number) % 5 != 0)
                return "pan must be a multiple of 5 from 0 to 100";
            edit = Edit::pan(at, static_cast<int>(number));
        } else if (name == "pan-knob") {
            if (!jsonWholeNumber(&v, -1, 1, number) || number == 0)
                return "pan-knob must be 1 (to the right) or -1 (to the left)";
            edit = Edit::panKnob(at, static_cast<int>(number));
        } else if (name == "unplug") {
            if (!jsonWholeNumber(&v, kFirstInputJackId, kFirstInputJackId + kJacks - 1, number))
                return "unplug takes an input jack, 301 to 332";
            edit = Edit::unplugAtInput(static_cast<int>(number) - kFirstInputJackId);
        } else if (name == "unplug-output") {
            if (!jsonWholeNumber(&v, kFirstOutputJackId, kFirstOutputJackId + kJacks - 1, number))
                return "unplug-output takes an output jack, 401 to 432";
            edit = Edit::unplugAtOutput(static_cast<int>(number) - kFirstOutputJackId);
        } else if (name == "plug") {
            double out = 0;
            double in = 0;
            if (!v.isArray() || v.items.size() != 2 ||
                !jsonWholeNumber(&v.items[0], kFirstOutputJackId, kFirstOutputJackId + kJacks - 1, out) ||
                !jsonWholeNumber(&v.items[1], kFirstInputJackId, kFirstInputJackId + kJacks - 1, in))
                return "plug takes [output jack 401 to 432, input jack 301 to 332]";
            edit = Edit::plug(static_cast<int>(out) - kFirstOutputJackId,
                              static_cast<int>(in) - kFirstInputJackId);
        } else if (name == "sync") {
            if (!v.isBoolean() || !v.boolean) return "sync must be true";
            edit = Edit::sync();
        } else if (name == "no-wave") {
            if (!v.isBoolean() || !v.boolean) return "no-wave must be true";
            edit = Edit::removeSample();
        } else if (name == "sample") {
            if (!v.isString() || v.string.empty()) return "sample must be a file name in double quotes";
            std::string path = inFolder(place_.folder, v.string);
            std::shared_ptr<SampleRecord> sample;
            std::string problem = loadSample(path, sample);
            if (!problem.empty()) return problem;
            edit = Edit::loadSample(std::move(sample), path);
        } else {
            PanelPatch patch;
            std::string problem = readConfiguration(name, v, patch);
            if (!problem.empty()) return problem;
            edit = name == "restore" ? Edit::restore(std::move(patch))
                                     : Edit::loadConfiguration(std::move(patch));
        }
        return {};
    }

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
        const std::string in = std::to_string(kFirstInputJackId + edit.index);
        const std::string out = std::to_string(kFirstOutputJackId + edit.output);
        if (edit.kind == EditKind::UnplugAtInput && !hasCord(*cords_, edit.index))
            return "input jack " + in + " has no cord to unplug";
        if (edit.kind == EditKind::UnplugAtOutput && cords_->outputUsed[edit.output] == 0)
            return "output jack " + out + " has no cord to unplug";
        const PlugRule rule = applyEdit(*cords_, edit);
        if (rule != PlugRule::Allowed) return plugRuleMessage(rule, *cords_, edit.output, edit.index);
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

std::string formatFloat(float f) {
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, f);
    return std::string(text, r.ptr);
}

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

std::string editBody(const Edit& e, int sampleRate, int sampleId) {
    const std::string osc = "\"oscillator\": " + std::to_string(e.index + 1) + ", ";
    const std::string channel = "\"channel\": " + std::to_string(e.index + 1) + ", ";
    switch (e.kind) {
        case EditKind::FrequencyKnob:
            return osc + "\"frequency-knob\": " + formatFloat(e.amount);
        case EditKind::TypedFrequency:
            return osc + "\"typed\": " + formatFloat(e.amount);
        case EditKind::Frequency:
            return osc + "\"frequency\": " + formatFloat(e.amount);
        case EditKind::WaveType:
            return osc + "\"type\": \"" + oscillatorTypeName(e.value) + "\"";
        case EditKind::LevelKnob:
            return channel + "\"level-knob\": " + formatFloat(e.amount);
        case EditKind::Level:
            return channel + "\"level\": " + std::to_string(e.value);
        case EditKind::PanKnob:
            return channel + "\"pan-knob\": " + std::to_string(e.value > 0 ? 1 : -1);
        case EditKind::Pan:
            return channel + "\"pan\": " + std::to_string(e.value);
        case EditKind::Plug:
            return "\"plug\": [" + std::to_string(kFirstOutputJackId + e.output) + ", " +
                   std::to_string(kFirstInputJackId + e.index) + "]";
        case EditKind::UnplugAtInput:
            return "\"unplug\": " + std::to_string(kFirstInputJackId + e.index);
        case EditKind::UnplugAtOutput:
            return "\"unplug-output\": " + std::to_string(kFirstOutputJackId + e.output);
        case EditKind::Sync:
            return "\"sync\": true";
        case EditKind::LoadSample:
            if (e.patch && e.patch->sample)
                return "\"sample\": " + jsonQuote(e.patch->samplePath) + sampleChecksumMember(e, sampleId);
            return "\"no-wave\": true";
        case EditKind::RemoveSample:
            return "\"no-wave\": true";
        case EditKind::LoadConfiguration:
        case EditKind::Restore:
            return std::string(e.kind == EditKind::Restore ? "\"restore\": " : "\"configuration\": ") +
                   inlineConfiguration(e.patch ? *e.patch : PanelPatch(), sampleRate) +
                   sampleChecksumMember(e, sampleId);
    }
    return "\"sync\": true";
}

std::string eventBody(const PanelEvent& e, int sampleRate) {
    if (!e.isMidi) return editBody(e.edit, sampleRate, e.sampleId);
    return "\"midi\": [" + std::to_string(e.midi & 0xFF) + ", " + std::to_string(e.midi >> 8 & 0xFF) + ", " +
           std::to_string(e.midi >> 16 & 0xFF) + "]";
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
