#include "render/panel_events.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <memory>
#include <system_error>

#include "config/configuration.h"
#include "config/json_value.h"
#include "media/file_bytes.h"
#include "media/wav_import.h"
#include "patch/apply_edit.h"

namespace voltina {

namespace {

// 2^53 - 1: every whole number up to it reads back exactly from JSON; one more, and a frame written as
// 9007199254740993 would quietly become another.
constexpr double kMaxFrame = 9007199254740991.0;

bool wholeNumber(const JsonValue* v, double low, double high, double& out) {
    if (v == nullptr || !v->isNumber() || v->number != std::floor(v->number) || v->number < low ||
        v->number > high)
        return false;
    out = v->number;
    return true;
}

// A float read from the decimal text as written (through a double it could round twice), within
// [low, high].
bool floatNumber(const JsonValue* v, double low, double high, float& out) {
    if (v == nullptr || !v->isNumber() || !(v->number >= low) || !(v->number <= high)) return false;
    const char* first = v->numberText.data();
    const char* last = first + v->numberText.size();
    const std::from_chars_result r = std::from_chars(first, last, out);
    return r.ec == std::errc() && r.ptr == last && std::isfinite(out);
}

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
};

constexpr const char* kActionList =
    "frequency, typed, frequency-knob, type, level, level-knob, pan, pan-knob, plug, unplug, unplug-output, "
    "sync, sample, no-wave, configuration or restore";

class EventReader {
  public:
    EventReader(const EngineState& start, const PanelEventPlace& place, std::vector<PanelEvent>& out)
        : out_(out), place_(place), cords_(std::make_unique<EngineState>()) {
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
            if (member.first != "voltina-events" && member.first != "events")
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
            if (problem.empty()) problem = playOnCords(event.edit);
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
        if (!wholeNumber(e.find("frame"), 0, kMaxFrame, frame))
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
            bool known = member.first == "frame" || member.first == "oscillator" || member.first == "channel";
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
        if (forOscillator && !wholeNumber(osc, 1, kOscillators, index)) return "oscillator must be 1 to 8";
        if (forChannel && !wholeNumber(channel, 1, kMixerChannels, index)) return "channel must be 1 to 8";
        const int at = static_cast<int>(index) - 1;
        return readAction(name, *value, at, event.edit);
    }

    std::string readAction(const std::string& name, const JsonValue& v, int at, Edit& edit) {
        double number = 0;
        float f = 0.0f;
        if (name == "frequency") {
            if (!floatNumber(&v, 0.0, kMaxKnobFrequency, f) || !(f > 0.0f) || f > kMaxKnobFrequency)
                return "frequency must be above 0 and at most 5500";
            edit = Edit::frequency(at, f);
        } else if (name == "typed") {
            if (!floatNumber(&v, -1e30, 1e30, f)) return "typed must be a number (what the entry took)";
            edit = Edit::typedFrequency(at, f);
        } else if (name == "frequency-knob") {
            if (!floatNumber(&v, -kMaxKnobFrequency, kMaxKnobFrequency, f))
                return "frequency-knob must be a step from -5500 to 5500";
            edit = Edit::frequencyKnob(at, f);
        } else if (name == "type") {
            int type = -1;
            for (int t = 0; t < 4; ++t) {
                if (v.isString() && v.string == oscillatorTypeName(t)) type = t;
            }
            if (type < 0) return "type must be \"sine\", \"square\", \"sawtooth\" or \"random\"";
            edit = Edit::waveType(at, type);
        } else if (name == "level") {
            if (!wholeNumber(&v, 0, 128, number)) return "level must be a whole number from 0 to 128";
            edit = Edit::level(at, static_cast<int>(number));
        } else if (name == "level-knob") {
            if (!floatNumber(&v, -128, 128, f)) return "level-knob must be a step from -128 to 128";
            edit = Edit::levelKnob(at, f);
        } else if (name == "pan") {
            if (!wholeNumber(&v, 0, 100, number) || static_cast<int>(number) % 5 != 0)
                return "pan must be a multiple of 5 from 0 to 100";
            edit = Edit::pan(at, static_cast<int>(number));
        } else if (name == "pan-knob") {
            if (!wholeNumber(&v, -1, 1, number) || number == 0)
                return "pan-knob must be 1 (to the right) or -1 (to the left)";
            edit = Edit::panKnob(at, static_cast<int>(number));
        } else if (name == "unplug") {
            if (!wholeNumber(&v, kFirstInputJackId, kFirstInputJackId + kJacks - 1, number))
                return "unplug takes an input jack, 301 to 332";
            edit = Edit::unplugAtInput(static_cast<int>(number) - kFirstInputJackId);
        } else if (name == "unplug-output") {
            if (!wholeNumber(&v, kFirstOutputJackId, kFirstOutputJackId + kJacks - 1, number))
                return "unplug-output takes an output jack, 401 to 432";
            edit = Edit::unplugAtOutput(static_cast<int>(number) - kFirstOutputJackId);
        } else if (name == "plug") {
            double out = 0;
            double in = 0;
            if (!v.isArray() || v.items.size() != 2 ||
                !wholeNumber(&v.items[0], kFirstOutputJackId, kFirstOutputJackId + kJacks - 1, out) ||
                !wholeNumber(&v.items[1], kFirstInputJackId, kFirstInputJackId + kJacks - 1, in))
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

    std::string loadSample(const std::string& path, std::shared_ptr<SampleRecord>& sample) {
        auto player = std::make_unique<EngineState>();
        player->rateParam = place_.rateParam;
        WaveSampleName name;
        std::string said;
        const MessageDetailSink tell = [&](const std::string& text, const std::string& detail) {
            said = detail.empty() ? text : text + " (" + detail + ")";
        };
        if (loadWaveSample(*player, name, path, {}, tell) != 1) return "sample " + path + ": " + said;
        sample = player->waveSample;
        return {};
    }

    // A configuration file's name, or the configuration itself; at the render's rate, its sample loaded.
    std::string readConfiguration(const std::string& name, const JsonValue& v, PanelPatch& patch) {
        Configuration c;
        std::string error;
        std::string where;  // the file the sample's name is relative to
        if (v.isString() && name == "configuration") {
            if (v.string.empty()) return "configuration must be a file name or a configuration";
            where = inFolder(place_.folder, v.string);
            if (!readConfigurationFile(where, c, error)) return "configuration " + error;
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
            std::string problem = loadSample(patch.samplePath, patch.sample);
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

std::string eventBody(const Edit& e, int sampleRate) {
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
            if (e.patch && e.patch->sample) return "\"sample\": " + jsonQuote(e.patch->samplePath);
            return "\"no-wave\": true";
        case EditKind::RemoveSample:
            return "\"no-wave\": true";
        case EditKind::LoadConfiguration:
        case EditKind::Restore:
            return std::string(e.kind == EditKind::Restore ? "\"restore\": " : "\"configuration\": ") +
                   inlineConfiguration(e.patch ? *e.patch : PanelPatch(), sampleRate);
    }
    return "\"sync\": true";
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
    EventReader reader(start, place, events);
    problem = reader.read(root);
    if (!problem.empty()) {
        error = problem;
        return false;
    }
    out.swap(events);
    return true;
}

bool readPanelEventsFile(const std::string& path, const EngineState& start, int rateParam,
                         std::vector<PanelEvent>& out, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!readFileBytes(path, kMaxPanelEventsBytes, bytes, error)) return false;
    const std::string text(bytes.begin(), bytes.end());
    std::vector<std::uint8_t>().swap(bytes);
    std::string problem;
    const PanelEventPlace place{std::filesystem::path(path).parent_path().string(), rateParam};
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
        text += "  {\"frame\": " + std::to_string(events[i].frame) + ", " +
                eventBody(events[i].edit, sampleRate) + "}";
    }
    text += events.empty() ? "]}\n" : "\n]}\n";
    return text;
}

void applyPanelEvent(EngineState& s, const PanelEvent& e) {
    applyEdit(s, e.edit);
}

}  // namespace voltina
