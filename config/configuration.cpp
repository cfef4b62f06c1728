#include "config/configuration.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <memory>
#include <system_error>

#include "config/json_numbers.h"
#include "config/json_value.h"
#include "engine/defaults.h"
#include "media/atomic_file.h"
#include "media/file_bytes.h"
#include "patch/apply_edit.h"
#include "patch/controls.h"
#include "patch/cord_rules.h"
#include "patch/jack_number.h"

namespace voltina {

namespace {

const ControlRow& kTypeRow = controlRow(Control::WaveType);
const ControlRow& kFrequencyRow = controlRow(Control::Frequency);
const ControlRow& kLevelRow = controlRow(Control::Level);
const ControlRow& kPanRow = controlRow(Control::Pan);

std::string ownerLabel(const ControlRow& row, int index) {
    return std::string(ownerNames(row.owner).fileLabel) + " " + std::to_string(index + 1);
}
std::string oscillatorLabel(int index) {
    return ownerLabel(kTypeRow, index);
}
std::string mixerLabel(int index) {
    return ownerLabel(kLevelRow, index);
}
// "\"type\" and \"frequency\"": the two members every entry of a list holds.
std::string memberPair(const ControlRow& first, const ControlRow& second) {
    return std::string("\"") + first.fileName + "\" and \"" + second.fileName + "\"";
}
std::string missing(const ControlRow& row) {
    return std::string(row.fileName) + " is missing";
}
std::string cordLabel(std::size_t index) {
    return "cord " + std::to_string(index + 1);
}
std::string controllerLabel(std::size_t index) {
    return "controller " + std::to_string(index + 1);
}
constexpr const char* kControllerMembers[] = {"cc", "control", "midi-channel"};

const std::string kFrequencyRule = controlRule(kFrequencyRow);
const std::string kLevelRule = controlRule(kLevelRow);
const std::string kPanRule = controlRule(kPanRow);
const std::string kTypeRule = controlRule(kTypeRow);
const std::string kRateRule = "rate must be 11025, 22050 or 44100";

bool rateAllowed(int rate) {
    return isSampleRate(rate);
}
bool frequencyAllowed(float f) {
    return controlAllows(kFrequencyRow, static_cast<double>(f));
}  // false for NaN
bool levelAllowed(int level) {
    return controlAllows(kLevelRow, level);
}
bool panAllowed(int pan) {
    return controlAllows(kPanRow, pan);
}
bool typeAllowed(int type) {
    return controlAllows(kTypeRow, type);
}

// The patch bay's rules, on the cords before it in the list. Empty when the cord may be plugged.
std::string checkCord(const Configuration& c, std::size_t index) {
    const JackNumber out = JackNumber::of(c.cords[index].first);
    const JackNumber in = JackNumber::of(c.cords[index].second);
    const std::string label = cordLabel(index) + ": ";
    if (!out.isOutput())
        return label + "the output jack must be " + outputJackRange() + ", not " + out.text();
    if (!in.isInput()) return label + "the input jack must be " + inputJackRange() + ", not " + in.text();
    auto cords = std::make_unique<EngineState>();
    clearCords(*cords);
    for (std::size_t k = 0; k < index; ++k)
        plugCord(*cords, JackNumber::of(c.cords[k].first).index(), JackNumber::of(c.cords[k].second).index());
    const PlugRule rule = plugRule(*cords, out.index(), in.index());
    if (rule == PlugRule::Allowed) return {};
    return label + plugRuleMessage(rule, *cords, out.index(), in.index());
}

// Whole numbers are accepted in any JSON spelling (80, 80.0, 8e1), as long as the value is exact.
bool wholeNumber(const JsonValue* v, long long low, long long high, long long& out) {
    double number = 0;
    if (!jsonWholeNumber(v, static_cast<double>(low), static_cast<double>(high), number)) return false;
    out = static_cast<long long>(number);
    return true;
}
bool wholeNumber(const JsonValue* v, const ControlRow& row, long long& out) {
    return wholeNumber(v, static_cast<long long>(row.minimum), static_cast<long long>(row.maximum), out);
}

std::string describeKind(const JsonValue& v) {
    switch (v.kind) {
        case JsonValue::Kind::Null:
            return "null";
        case JsonValue::Kind::Boolean:
            return "true or false";
        case JsonValue::Kind::Number:
            return "a number";
        case JsonValue::Kind::String:
            return "a text";
        case JsonValue::Kind::Array:
            return "a list";
        case JsonValue::Kind::Object:
            return "an object";
    }
    return "a value";
}

class Reader {
  public:
    explicit Reader(Configuration& c) : c_(c) {}

    // Fields are checked in file-format order: version, rate, oscillators, mixer, cords, wave, controllers.
    std::string read(const JsonValue& root) {
        if (!root.isObject())
            return "a configuration is a JSON object in braces, this text holds " + describeKind(root);
        std::string problem;
        if (!(problem = readVersion(root)).empty()) return problem;
        if (!(problem = readRate(root)).empty()) return problem;
        if (!(problem = readOscillators(root)).empty()) return problem;
        if (!(problem = readMixer(root)).empty()) return problem;
        if (!(problem = readCords(root)).empty()) return problem;
        if (!(problem = readWave(root)).empty()) return problem;
        return readControllers(root);
    }

  private:
    std::string readVersion(const JsonValue& root) {
        const JsonValue* v = root.find("voltina");
        if (v == nullptr)
            return "this is not a Voltina configuration (the \"voltina\" format version is missing)";
        long long version = 0;
        if (!wholeNumber(v, 1, 1000000000, version)) {
            if (v->isNumber() && v->number > 1 && v->number == std::floor(v->number)) {
                return "voltina: format version " + v->numberText + " is newer than this Voltina reads (" +
                       std::to_string(kConfigurationVersion) + ")";
            }
            return "voltina: the format version must be a whole number, 1 or more";
        }
        if (version > kConfigurationVersion) {
            return "voltina: format version " + std::to_string(version) +
                   " is newer than this Voltina reads (" + std::to_string(kConfigurationVersion) + ")";
        }
        c_.version = static_cast<int>(version);
        return {};
    }

    std::string readRate(const JsonValue& root) {
        const JsonValue* v = root.find("rate");
        if (v == nullptr) return "rate is missing";
        long long rate = 0;
        if (!wholeNumber(v, 0, 1000000, rate) || !rateAllowed(static_cast<int>(rate))) return kRateRule;
        c_.rate = static_cast<int>(rate);
        return {};
    }

    std::string readOscillators(const JsonValue& root) {
        const JsonValue* list = root.find("oscillators");
        if (list == nullptr) return "oscillators is missing";
        if (!list->isArray() || list->items.size() != kOscillators) {
            return "oscillators must be a list of exactly 8 entries, top to bottom";
        }
        for (int i = 0; i < kOscillators; ++i) {
            const JsonValue& o = list->items[static_cast<std::size_t>(i)];
            const std::string label = oscillatorLabel(i) + ": ";
            if (!o.isObject()) return label + "must be an object with " + memberPair(kTypeRow, kFrequencyRow);
            const JsonValue* type = o.find(kTypeRow.fileName);
            if (type == nullptr) return label + missing(kTypeRow);
            const int typeIndex = oscillatorTypeNamed(*type);
            if (typeIndex < 0) return label + kTypeRule;
            const JsonValue* freq = o.find(kFrequencyRow.fileName);
            if (freq == nullptr) return label + missing(kFrequencyRow);
            float f = 0.0f;
            if (!readFrequency(freq, f)) return label + kFrequencyRule;
            c_.oscType[static_cast<std::size_t>(i)] = typeIndex;
            c_.oscFreq[static_cast<std::size_t>(i)] = f;
        }
        return {};
    }

    // The decimal text is read straight into a float (through a double it could round twice), and the
    // limits are checked on the value as written, so 5500.001 is refused although it rounds to 5500.
    static bool readFrequency(const JsonValue* v, float& f) {
        return v->isNumber() && v->number > kFrequencyRow.minimum &&
               jsonFloatNumber(v, kFrequencyRow.minimum, kFrequencyRow.maximum, f) && frequencyAllowed(f);
    }

    std::string readMixer(const JsonValue& root) {
        const JsonValue* list = root.find("mixer");
        if (list == nullptr) return "mixer is missing";
        if (!list->isArray() || list->items.size() != kMixerChannels) {
            return "mixer must be a list of exactly 8 entries, channel 1 first";
        }
        for (int i = 0; i < kMixerChannels; ++i) {
            const JsonValue& m = list->items[static_cast<std::size_t>(i)];
            const std::string label = mixerLabel(i) + ": ";
            if (!m.isObject()) return label + "must be an object with " + memberPair(kLevelRow, kPanRow);
            const JsonValue* level = m.find(kLevelRow.fileName);
            if (level == nullptr) return label + missing(kLevelRow);
            long long value = 0;
            if (!wholeNumber(level, kLevelRow, value)) return label + kLevelRule;
            c_.mixLevel[static_cast<std::size_t>(i)] = static_cast<int>(value);
            const JsonValue* pan = m.find(kPanRow.fileName);
            if (pan == nullptr) return label + missing(kPanRow);
            if (!wholeNumber(pan, kPanRow, value) || !panAllowed(static_cast<int>(value)))
                return label + kPanRule;
            c_.mixPan[static_cast<std::size_t>(i)] = static_cast<int>(value);
        }
        return {};
    }

    std::string readCords(const JsonValue& root) {
        const JsonValue* list = root.find("cords");
        if (list == nullptr) return "cords is missing";
        if (!list->isArray()) return "cords must be a list of [output jack, input jack] pairs";
        c_.cords.clear();
        for (std::size_t i = 0; i < list->items.size(); ++i) {
            const JsonValue& pair = list->items[i];
            if (!pair.isArray() || pair.items.size() != 2) {
                return cordLabel(i) + ": must be a pair [output jack, input jack]";
            }
            long long out = 0;
            long long in = 0;
            if (!wholeNumber(&pair.items[0], -1000000, 1000000, out)) {
                return cordLabel(i) + ": the output jack must be a whole number from " + outputJackRange();
            }
            if (!wholeNumber(&pair.items[1], -1000000, 1000000, in)) {
                return cordLabel(i) + ": the input jack must be a whole number from " + inputJackRange();
            }
            c_.cords.emplace_back(static_cast<int>(out), static_cast<int>(in));
            std::string problem = checkCord(c_, i);
            if (!problem.empty()) return problem;
        }
        return {};
    }

    std::string readWave(const JsonValue& root) {
        const JsonValue* v = root.find("wave");
        c_.hasWave = false;
        c_.wave.clear();
        if (v == nullptr) return {};
        if (!v->isString() || v->string.empty() || v->string.find('\0') != std::string::npos) {
            return "wave must be a file name in double quotes";
        }
        c_.hasWave = true;
        c_.wave = v->string;
        return {};
    }

    std::string readControllers(const JsonValue& root) {
        c_.controllers.clear();
        const JsonValue* list = root.find("controllers");
        if (list == nullptr) return {};
        const std::string example = "{\"cc\": 7, \"channel\": 2, \"control\": \"level\"}";
        if (!list->isArray()) return "controllers must be a list of objects such as " + example;
        for (std::size_t i = 0; i < list->items.size(); ++i) {
            const std::string label = controllerLabel(i) + ": ";
            const JsonValue& e = list->items[i];
            if (!e.isObject()) return label + "must be an object such as " + example;
            for (const auto& member : e.members) {
                bool known = std::find(std::begin(kControllerMembers), std::end(kControllerMembers),
                                       member.first) != std::end(kControllerMembers);
                for (const ControlOwnerNames& owner : kOwnerNames)
                    known = known || member.first == owner.eventsName;
                if (!known) return label + "unknown member \"" + member.first + "\"";
            }
            ControllerBinding b;
            long long number = -1;
            if (e.find("cc") == nullptr) return label + "cc is missing";
            if (!wholeNumber(e.find("cc"), 0, 1000000, number)) number = -1;
            b.cc = static_cast<int>(number);
            if (const JsonValue* channel = e.find("midi-channel")) {
                if (!wholeNumber(channel, 1, kMidiChannels, number)) number = -1;
                b.midiChannel = static_cast<int>(number);
            }
            std::string problem = readControllerTarget(e, b);
            if (problem.empty()) {
                c_.controllers.push_back(b);
                problem = controllerProblem(c_.controllers, i);
            }
            if (!problem.empty()) return label + problem;
        }
        return {};
    }

    // The control: its name among those a controller sets, and the module whose it is.
    static std::string readControllerTarget(const JsonValue& e, ControllerBinding& b) {
        const JsonValue* control = e.find("control");
        std::string names;
        const ControlRow* row = nullptr;
        for (const ControlRow& r : kControls) {
            if (r.controllerScale == ControllerScale::None || r.fileName == nullptr) continue;
            names += std::string(names.empty() ? "" : ", ") + "\"" + r.fileName + "\"";
            if (control != nullptr && control->isString() && control->string == r.fileName) row = &r;
        }
        if (control == nullptr) return "control is missing";
        if (row == nullptr) return "control must be one of " + names;
        const ControlOwnerNames& owner = ownerNames(row->owner);
        for (std::size_t k = 0; k < std::size(kOwnerNames); ++k) {
            const char* other = kOwnerNames[k].eventsName;
            if (static_cast<ControlOwner>(k) != row->owner && e.find(other) != nullptr)
                return std::string("\"") + other + "\" does not go with " + row->fileName;
        }
        long long index = 0;
        if (!wholeNumber(e.find(owner.eventsName), 1, owner.count, index))
            return std::string(row->fileName) + " needs \"" + owner.eventsName + "\": 1 to " +
                   std::to_string(owner.count);
        b.control = row->control;
        b.index = static_cast<int>(index) - 1;
        return {};
    }

    Configuration& c_;
};

}  // namespace

int oscillatorTypeNamed(const JsonValue& v) {
    return v.isString() ? controlChoiceNamed(kTypeRow, v.string) : -1;
}

const char* oscillatorTypeName(int type) {
    return controlChoiceName(kTypeRow, type);
}

std::string checkConfiguration(const Configuration& c) {
    if (c.version < 1 || c.version > kConfigurationVersion) {
        return "voltina: format version " + std::to_string(c.version) + " is not one this Voltina writes (" +
               std::to_string(kConfigurationVersion) + ")";
    }
    if (!rateAllowed(c.rate)) return kRateRule;
    for (int i = 0; i < kOscillators; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        if (!typeAllowed(c.oscType[k])) return oscillatorLabel(i) + ": " + kTypeRule;
        if (!frequencyAllowed(c.oscFreq[k])) return oscillatorLabel(i) + ": " + kFrequencyRule;
    }
    for (int i = 0; i < kMixerChannels; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        if (!levelAllowed(c.mixLevel[k])) return mixerLabel(i) + ": " + kLevelRule;
        if (!panAllowed(c.mixPan[k])) return mixerLabel(i) + ": " + kPanRule;
    }
    for (std::size_t i = 0; i < c.cords.size(); ++i) {
        std::string problem = checkCord(c, i);
        if (!problem.empty()) return problem;
    }
    if (c.hasWave && (c.wave.empty() || c.wave.find('\0') != std::string::npos || !isValidUtf8(c.wave))) {
        return "wave must be a file name in UTF-8";
    }
    for (std::size_t i = 0; i < c.controllers.size(); ++i) {
        const std::string problem = controllerProblem(c.controllers, i);
        if (!problem.empty()) return controllerLabel(i) + ": " + problem;
    }
    return {};
}

bool parseConfiguration(const std::string& text, Configuration& out, std::string& error) {
    JsonValue root;
    if (!parseJson(text, root, error)) return false;
    return parseConfigurationValue(root, out, error);
}

bool parseConfigurationValue(const JsonValue& root, Configuration& out, std::string& error) {
    Configuration c;
    std::string problem = Reader(c).read(root);
    if (problem.empty())
        problem = checkConfiguration(c);  // the reader covers this; a second look costs nothing
    if (!problem.empty()) {
        error = problem;
        return false;
    }
    out = std::move(c);
    return true;
}

std::string serializeConfiguration(const Configuration& c) {
    std::string t = "{\n";
    t += "  \"voltina\": " + std::to_string(c.version) + ",\n";
    t += "  \"rate\": " + std::to_string(c.rate) + ",\n";
    t += "  \"oscillators\": [\n";
    for (int i = 0; i < kOscillators; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        t += std::string("    {\"") + kTypeRow.fileName + "\": \"" + oscillatorTypeName(c.oscType[k]) +
             "\", \"" + kFrequencyRow.fileName + "\": " + jsonFloatText(c.oscFreq[k]) + "}" +
             (i + 1 < kOscillators ? ",\n" : "\n");
    }
    t += "  ],\n  \"mixer\": [\n";
    for (int i = 0; i < kMixerChannels; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        t += std::string("    {\"") + kLevelRow.fileName + "\": " + std::to_string(c.mixLevel[k]) + ", \"" +
             kPanRow.fileName + "\": " + std::to_string(c.mixPan[k]) + "}" +
             (i + 1 < kMixerChannels ? ",\n" : "\n");
    }
    t += "  ],\n";
    if (c.cords.empty()) {
        t += "  \"cords\": []";
    } else {
        t += "  \"cords\": [\n";
        for (std::size_t i = 0; i < c.cords.size(); ++i) {
            t += "    [" + std::to_string(c.cords[i].first) + ", " + std::to_string(c.cords[i].second) + "]" +
                 (i + 1 < c.cords.size() ? ",\n" : "\n");
        }
        t += "  ]";
    }
    if (c.hasWave) t += ",\n  \"wave\": " + jsonQuote(c.wave);
    if (!c.controllers.empty()) {
        t += ",\n  \"controllers\": [\n";
        for (std::size_t i = 0; i < c.controllers.size(); ++i) {
            const ControllerBinding& b = c.controllers[i];
            const ControlRow& row = controlRow(b.control);
            t += "    {\"cc\": " + std::to_string(b.cc) + ", \"" + ownerNames(row.owner).eventsName +
                 "\": " + std::to_string(b.index + 1) + ", \"control\": \"" + row.fileName + "\"" +
                 (b.midiChannel != 0 ? ", \"midi-channel\": " + std::to_string(b.midiChannel) : "") + "}" +
                 (i + 1 < c.controllers.size() ? ",\n" : "\n");
        }
        t += "  ]";
    }
    t += "\n}\n";
    return t;
}

Configuration captureConfiguration(const EngineState& s, int sampleRate, const std::string& waveName) {
    Configuration c;
    c.version = kConfigurationVersion;
    c.rate = sampleRate;
    for (int i = 0; i < kOscillators; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        // Any type but square, sawtooth and random sounds as a sine.
        c.oscType[k] = typeAllowed(s.oscType[i]) ? s.oscType[i] : kSine;
        c.oscFreq[k] = s.oscFreq[i];
    }
    for (int i = 0; i < kMixerChannels; ++i) {
        c.mixLevel[static_cast<std::size_t>(i)] = s.mixLevel[i];
        c.mixPan[static_cast<std::size_t>(i)] = s.mixPan[i];
    }
    for (int in = 0; in < kJacks; ++in) {
        if (hasCord(s, in))
            c.cords.emplace_back(JackNumber::output(s.cordSource[in]).number(),
                                 JackNumber::input(in).number());
    }
    c.hasWave = !waveName.empty();
    c.wave = waveName;
    return c;
}

bool applyConfiguration(const Configuration& c, EngineState& s, std::string& error) {
    const std::string problem = checkConfiguration(c);
    if (!problem.empty()) {
        error = problem;
        return false;
    }
    writePatchSettings(s, configurationPatch(c));
    return true;
}

PanelPatch configurationPatch(const Configuration& c) {
    PanelPatch p;
    p.oscType = c.oscType;
    p.oscFreq = c.oscFreq;
    p.mixLevel = c.mixLevel;
    p.mixPan = c.mixPan;
    p.controllers = c.controllers;
    for (const auto& cord : c.cords)
        p.cordSource[static_cast<std::size_t>(JackNumber::of(cord.second).index())] =
            JackNumber::of(cord.first).index();
    return p;
}

Configuration patchConfiguration(const PanelPatch& p, int sampleRate) {
    Configuration c;
    c.rate = sampleRate;
    c.oscType = p.oscType;
    c.oscFreq = p.oscFreq;
    c.mixLevel = p.mixLevel;
    c.mixPan = p.mixPan;
    c.controllers = p.controllers;
    for (int in = 0; in < kJacks; ++in) {
        const int out = p.cordSource[static_cast<std::size_t>(in)];
        if (out != kNoCord)
            c.cords.emplace_back(JackNumber::output(out).number(), JackNumber::input(in).number());
    }
    c.hasWave = p.sample != nullptr && !p.samplePath.empty();
    if (c.hasWave) c.wave = p.samplePath;
    return c;
}

std::string besideConfiguration(const std::string& configPath, const std::string& wave) {
    const std::filesystem::path path(wave);
    if (path.is_absolute()) return wave;
    return (std::filesystem::path(configPath).parent_path() / path).string();
}

bool readConfigurationFile(const std::string& path, Configuration& out, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!readFileBytes(path, kMaxConfigurationBytes, bytes, error)) return false;
    const std::string text(bytes.begin(), bytes.end());
    std::string problem;
    if (!parseConfiguration(text, out, problem)) {
        // A sample picked by mistake is common: name it rather than report its first byte as bad JSON.
        if (text.size() >= 12 && text.compare(0, 4, "RIFF") == 0 && text.compare(8, 4, "WAVE") == 0)
            problem = "this is a WAV file (a sound), not a configuration";
        error = path + ": " + problem;
        return false;
    }
    return true;
}

bool writeConfigurationFile(const std::string& path, const Configuration& c, std::string& error) {
    const std::string problem = checkConfiguration(c);
    if (!problem.empty()) {
        error = "Cannot save the configuration: " + problem;
        return false;
    }
    const std::string text = serializeConfiguration(c);
    return writeFileAtomically(path, text.data(), text.size(), error);
}

}  // namespace voltina
