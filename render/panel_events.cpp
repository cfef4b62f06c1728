#include "render/panel_events.h"

#include <array>
#include <charconv>
#include <cmath>

#include "config/configuration.h"
#include "config/json_value.h"
#include "engine/oscillator.h"
#include "media/file_bytes.h"

namespace voltina {

namespace {

constexpr const char* kTypeNames[] = {"sine", "square", "sawtooth", "random"};
constexpr double kMaxFrame = 9007199254740992.0;  // 2^53: every whole number up to it is exact in JSON

bool wholeNumber(const JsonValue* v, double low, double high, double& out) {
    if (v == nullptr || !v->isNumber() || v->number != std::floor(v->number) || v->number < low ||
        v->number > high)
        return false;
    out = v->number;
    return true;
}

// The cords as the events leave them, to check each plug and unplug against the patch bay's rules.
struct CordState {
    std::array<int, kJacks> source{};  // output of each input's cord, or -1
    std::array<bool, kJacks> outputUsed{};
};

class EventReader {
  public:
    EventReader(const EngineState& start, std::vector<PanelEvent>& out) : out_(out) {
        for (int j = 0; j < kJacks; ++j) {
            cords_.source[j] = hasCord(start, j) ? start.cordSource[j] : -1;
            cords_.outputUsed[j] = false;
        }
        for (int j = 0; j < kJacks; ++j) {
            if (cords_.source[j] >= 0) cords_.outputUsed[cords_.source[j]] = true;
        }
    }

    std::string read(const JsonValue& root) {
        if (!root.isObject())
            return "an events file is an object: {\"voltina-events\": 1, \"events\": [...]}";
        double version = 0;
        if (!wholeNumber(root.find("voltina-events"), 0, 1e9, version))
            return "\"voltina-events\": 1 is missing; this is not a Voltina events file";
        if (version != kPanelEventsVersion)
            return "events file version " + std::to_string(static_cast<long long>(version)) +
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
            if (problem.empty()) problem = checkCords(event);
            if (!problem.empty()) return label + ": " + problem;
            lastFrame = event.frame;
            out_.push_back(event);
        }
        return {};
    }

  private:
    static std::string readEvent(const JsonValue& e, PanelEvent& event) {
        if (!e.isObject()) return "must be an object such as {\"frame\": 0, \"sync\": true}";
        double frame = 0;
        if (e.find("frame") == nullptr) return "frame is missing";
        if (!wholeNumber(e.find("frame"), 0, kMaxFrame, frame)) return "frame must be a whole number from 0";
        event.frame = static_cast<std::uint64_t>(frame);

        const JsonValue* osc = e.find("oscillator");
        const JsonValue* channel = e.find("channel");
        const JsonValue* action = nullptr;
        std::string actionName;
        for (const char* name : {"frequency", "type", "level", "pan", "plug", "unplug", "sync"}) {
            if (const JsonValue* v = e.find(name)) {
                if (action != nullptr)
                    return "has both \"" + actionName + "\" and \"" + name + "\"; one action per event";
                action = v;
                actionName = name;
            }
        }
        for (const auto& member : e.members) {
            static const char* known[] = {"frame", "oscillator", "channel", "frequency", "type",
                                          "level", "pan",        "plug",    "unplug",    "sync"};
            bool isKnown = false;
            for (const char* k : known) isKnown = isKnown || member.first == k;
            if (!isKnown) return "unknown member \"" + member.first + "\"";
        }
        if (action == nullptr)
            return "says nothing to do (frequency, type, level, pan, plug, unplug or sync)";

        const bool forOscillator = actionName == "frequency" || actionName == "type";
        const bool forChannel = actionName == "level" || actionName == "pan";
        if (forOscillator != (osc != nullptr)) {
            return forOscillator ? actionName + " needs \"oscillator\": 1 to 8"
                                 : "\"oscillator\" does not go with " + actionName;
        }
        if (forChannel != (channel != nullptr)) {
            return forChannel ? actionName + " needs \"channel\": 1 to 8"
                              : "\"channel\" does not go with " + actionName;
        }
        double index = 0;
        if (forOscillator && !wholeNumber(osc, 1, kOscillators, index)) return "oscillator must be 1 to 8";
        if (forChannel && !wholeNumber(channel, 1, kMixerChannels, index)) return "channel must be 1 to 8";
        event.index = static_cast<int>(index) - 1;

        double value = 0;
        if (actionName == "frequency") {
            event.kind = PanelEvent::Kind::Frequency;
            // Read from the decimal text straight into a float, and checked as written, as a configuration's.
            const char* first = action->numberText.data();
            const char* last = first + action->numberText.size();
            float f = 0.0f;
            if (!action->isNumber() || !(action->number > 0.0) || action->number > kMaxConfiguredFrequency ||
                std::from_chars(first, last, f).ptr != last || !(f > 0.0f) || f > kMaxConfiguredFrequency)
                return "frequency must be above 0 and at most 5500";
            event.frequency = f;
        } else if (actionName == "type") {
            event.kind = PanelEvent::Kind::Type;
            event.value = -1;
            for (int t = 0; t < 4; ++t) {
                if (action->isString() && action->string == kTypeNames[t]) event.value = t;
            }
            if (event.value < 0) return "type must be \"sine\", \"square\", \"sawtooth\" or \"random\"";
        } else if (actionName == "level") {
            event.kind = PanelEvent::Kind::Level;
            if (!wholeNumber(action, 0, 128, value)) return "level must be a whole number from 0 to 128";
            event.value = static_cast<int>(value);
        } else if (actionName == "pan") {
            event.kind = PanelEvent::Kind::Pan;
            if (!wholeNumber(action, 0, 100, value) || static_cast<int>(value) % 5 != 0)
                return "pan must be a multiple of 5 from 0 to 100";
            event.value = static_cast<int>(value);
        } else if (actionName == "unplug") {
            event.kind = PanelEvent::Kind::Unplug;
            if (!wholeNumber(action, kFirstInputJackId, kFirstInputJackId + kJacks - 1, value))
                return "unplug takes an input jack, 301 to 332";
            event.index = static_cast<int>(value) - kFirstInputJackId;
        } else if (actionName == "plug") {
            event.kind = PanelEvent::Kind::Plug;
            double out = 0;
            double in = 0;
            if (!action->isArray() || action->items.size() != 2 ||
                !wholeNumber(&action->items[0], kFirstOutputJackId, kFirstOutputJackId + kJacks - 1, out) ||
                !wholeNumber(&action->items[1], kFirstInputJackId, kFirstInputJackId + kJacks - 1, in))
                return "plug takes [output jack 401 to 432, input jack 301 to 332]";
            event.output = static_cast<int>(out) - kFirstOutputJackId;
            event.index = static_cast<int>(in) - kFirstInputJackId;
        } else {
            event.kind = PanelEvent::Kind::Sync;
            if (!action->isBoolean() || !action->boolean) return "sync must be true";
        }
        return {};
    }

    // The patch bay's rules, on the cords as the events before leave them.
    std::string checkCords(const PanelEvent& event) {
        const std::string in = std::to_string(kFirstInputJackId + event.index);
        if (event.kind == PanelEvent::Kind::Unplug) {
            const int o = cords_.source[static_cast<std::size_t>(event.index)];
            if (o < 0) return "input jack " + in + " has no cord to unplug";
            cords_.outputUsed[static_cast<std::size_t>(o)] = false;
            cords_.source[static_cast<std::size_t>(event.index)] = -1;
        } else if (event.kind == PanelEvent::Kind::Plug) {
            const std::string out = std::to_string(kFirstOutputJackId + event.output);
            const int held = cords_.source[static_cast<std::size_t>(event.index)];
            if (held >= 0)
                return "input jack " + in + " already carries a cord from " +
                       std::to_string(kFirstOutputJackId + held) + "; unplug it first";
            if (cords_.outputUsed[static_cast<std::size_t>(event.output)])
                return "output jack " + out + " already carries a cord";
            if (isPanoramikerOutput(event.output) && event.index >= kInAccumulator)
                return "the auto-pan outputs must be plugged in the mixer (301 to 308), not " + in;
            cords_.outputUsed[static_cast<std::size_t>(event.output)] = true;
            cords_.source[static_cast<std::size_t>(event.index)] = event.output;
        }
        return {};
    }

    std::vector<PanelEvent>& out_;
    CordState cords_;
};

}  // namespace

bool parsePanelEvents(const std::string& text, const EngineState& start, std::vector<PanelEvent>& out,
                      std::string& error) {
    JsonValue root;
    std::string problem;
    if (!parseJson(text, root, problem)) {
        error = problem;
        return false;
    }
    std::vector<PanelEvent> events;
    EventReader reader(start, events);
    problem = reader.read(root);
    if (!problem.empty()) {
        error = problem;
        return false;
    }
    out.swap(events);
    return true;
}

bool readPanelEventsFile(const std::string& path, const EngineState& start, std::vector<PanelEvent>& out,
                         std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!readFileBytes(path, kMaxPanelEventsBytes, bytes, error)) return false;
    const std::string text(bytes.begin(), bytes.end());
    std::vector<std::uint8_t>().swap(bytes);
    std::string problem;
    if (!parsePanelEvents(text, start, out, problem)) {
        error = path + ": " + problem;
        return false;
    }
    return true;
}

void applyPanelEvent(EngineState& s, const PanelEvent& e) {
    switch (e.kind) {
        case PanelEvent::Kind::Frequency:  // the typed frequency entry: the value stored, the oscillator
                                           // derived
            s.oscFreq[e.index] = e.frequency;
            deriveOscillator(s, e.index, s.oscType[e.index]);
            break;
        case PanelEvent::Kind::Type:  // the type button
            deriveOscillator(s, e.index, e.value);
            s.oscType[e.index] = e.value;
            break;
        case PanelEvent::Kind::Level:
            s.mixLevel[e.index] = e.value;
            break;
        case PanelEvent::Kind::Pan:
            s.mixPan[e.index] = e.value;
            break;
        case PanelEvent::Kind::Unplug: {  // taken out at the input, then let go
            const int o = s.cordSource[e.index];
            s.cordPresent[e.index] = 0;
            if (o >= 0 && o < kJacks) s.outputUsed[o] = 0;
            s.cordSource[e.index] = kNoCord;
            break;
        }
        case PanelEvent::Kind::Plug:
            s.cordSource[e.index] = e.output;
            s.outputUsed[e.output] = 1;
            s.cordPresent[e.index] = 1;
            break;
        case PanelEvent::Kind::Sync:
            syncReset(s);
            break;
    }
}

}  // namespace voltina
