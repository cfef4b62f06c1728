#include "render/start_state.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "config/configuration.h"
#include "config/json_numbers.h"
#include "render/render_inputs.h"
#include "render/sample_check.h"

namespace voltina {

namespace {

std::string floatText(float f) {
    if (!std::isfinite(f)) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        char text[16];
        std::snprintf(text, sizeof text, "\"0x%08x\"", static_cast<unsigned>(bits));
        return text;
    }
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, f);
    return std::string(text, r.ptr);
}

template <typename T>
std::string list(const T* values, int count, std::string (*one)(T)) {
    std::string text = "[";
    for (int i = 0; i < count; ++i) text += (i ? ", " : "") + one(values[i]);
    return text + "]";
}

std::string intText(int v) {
    return std::to_string(v);
}

std::string hex64(std::uint64_t v) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(v));
    return text;
}

// Reads the members of one object, each at most once, and says which one is wrong.
class Fields {
  public:
    Fields(const JsonValue& object, std::string where) : object_(object), where_(std::move(where)) {}

    const JsonValue* take(const char* name) {
        taken_.insert(name);
        const JsonValue* v = object_.find(name);
        if (v == nullptr) fail(std::string("\"") + name + "\" is missing");
        return v;
    }
    void whole(const char* name, double low, double high, int& out) {
        double n = 0;
        const JsonValue* v = take(name);
        if (v == nullptr) return;
        if (!jsonWholeNumber(v, low, high, n))
            fail(std::string(name) + " must be a whole number from " +
                 std::to_string(static_cast<long long>(low)) + " to " +
                 std::to_string(static_cast<long long>(high)));
        else
            out = static_cast<int>(n);
    }
    void number(const char* name, float& out) {
        const JsonValue* v = take(name);
        if (v != nullptr && !readFloat(*v, out)) fail(std::string(name) + " must be a number");
    }
    void numbers(const char* name, float* out, int count) {
        const JsonValue* v = take(name);
        if (v == nullptr) return;
        bool ok = v->isArray() && static_cast<int>(v->items.size()) == count;
        for (int i = 0; ok && i < count; ++i) ok = readFloat(v->items[i], out[i]);
        if (!ok) fail(std::string(name) + " must be a list of " + std::to_string(count) + " numbers");
    }
    // Unknown members are refused: a misspelt one would otherwise be a value silently left at 0.
    void end() {
        for (const auto& member : object_.members) {
            if (taken_.count(member.first) == 0) fail("unknown member \"" + member.first + "\"");
        }
    }
    void fail(const std::string& problem) {
        if (problem_.empty()) problem_ = where_ + problem;
    }
    const std::string& problem() const { return problem_; }

    static bool readFloat(const JsonValue& v, float& out) {
        if (v.isString()) {
            // The bits of a value that is not finite.
            if (v.string.size() != 10 || v.string.compare(0, 2, "0x") != 0) return false;
            std::uint32_t bits = 0;
            const char* first = v.string.data() + 2;
            const std::from_chars_result r = std::from_chars(first, first + 8, bits, 16);
            if (r.ec != std::errc() || r.ptr != first + 8) return false;
            std::memcpy(&out, &bits, sizeof out);
            return !std::isfinite(out);
        }
        return jsonFloatNumber(&v, -3.5e38, 3.5e38, out);
    }

  private:
    const JsonValue& object_;
    std::string where_;
    std::set<std::string> taken_;
    std::string problem_;
};

std::string inFolder(const std::string& folder, const std::string& name) {
    const std::filesystem::path path(name);
    if (path.is_absolute() || folder.empty()) return name;
    return (std::filesystem::path(folder) / path).string();
}

}  // namespace

std::string serializeStartState(const EngineState& s, const std::string& samplePath, int sampleId) {
    std::string t = "{\n";
    t += "    \"rate\": " + std::to_string(s.rateParam - 1) + ",\n";
    t += "    \"channels\": " + std::string(s.stereoOut ? "2" : "1") + ",\n";
    t += "    \"oscillators\": [";
    for (int i = 0; i < kOscillators; ++i) {
        t += std::string(i ? ",\n" : "\n") + "      {\"type\": " + std::to_string(s.oscType[i]) +
             ", \"frequency\": " + floatText(s.oscFreq[i]) + ", \"phase\": " + floatText(s.oscPhase[i]) +
             ", \"ramp\": " + floatText(s.oscAcc[i]) + ", \"counter\": " + std::to_string(s.oscCounter[i]) +
             ", \"slowed\": " + std::to_string(s.oscSlow[i]) + "}";
    }
    t += "\n    ],\n";
    t += "    \"outputs\": " + list<float>(s.outValue, kJacks, floatText) + ",\n";
    t += "    \"levels\": " + list<int>(s.mixLevel, kMixerChannels, intText) + ",\n";
    t += "    \"pans\": " + list<int>(s.mixPan, kMixerChannels, intText) + ",\n";
    t += "    \"cord-sources\": " + list<int>(s.cordSource, kJacks, intText) + ",\n";
    t += "    \"cords-present\": " + list<int>(s.cordPresent, kJacks, intText) + ",\n";
    t += "    \"outputs-used\": " + list<int>(s.outputUsed, kJacks, intText) + ",\n";
    std::string held;
    for (int k = 0; k < kNoteCount; ++k) {
        if (s.noteDown[k] != 0) held += (held.empty() ? "" : ", ") + std::to_string(k);
    }
    t += "    \"midi\": {\"open\": " + std::to_string(s.midiOpen) +
         ", \"note\": " + std::to_string(s.midiNote) + ", \"held\": [" + held +
         "], \"frequency\": " + floatText(s.midiFreq) + ", \"step\": " + floatText(s.midiStep) +
         ", \"phase\": " + floatText(s.midiPhase) + ", \"ramp\": " + floatText(s.midiAcc) + "},\n";
    // A sample whose file is not known is still written: a performance that cannot name it is refused
    // when it is read, where one without it would render another sound without a word.
    if (s.waveSample) {
        t += "    \"wave\": {\"sample\": " + jsonQuote(samplePath) + ", \"checksum\": \"" +
             sampleChecksum(*s.waveSample) + "\", \"sample-id\": " + std::to_string(sampleId) +
             ", \"position\": " + std::to_string(s.wavePos) + "},\n";
    } else {
        t += "    \"wave\": null,\n";
    }
    t += "    \"random\": \"" + hex64(s.random.state()) + "\"\n  }";
    return t;
}

int startStateRate(const JsonValue& v) {
    const JsonValue* rate = v.isObject() ? v.find("rate") : nullptr;
    double n = 0;
    if (!jsonWholeNumber(rate, 11025, 44100, n)) return 0;
    const int r = static_cast<int>(n);
    return r == 11025 || r == 22050 || r == 44100 ? r : 0;
}

std::string readStartState(const JsonValue& v, const std::string& folder, EngineState& out, int* sampleId,
                           RenderInputs* inputs) {
    if (sampleId) *sampleId = 0;
    if (!v.isObject()) return "start must be the engine's state (an object)";
    Fields f(v, "start: ");
    const int rate = startStateRate(v);
    f.take("rate");
    if (rate == 0) f.fail("rate must be 11025, 22050 or 44100");
    out.rateParam = rate + 1;
    int channels = 2;
    f.whole("channels", 1, 2, channels);
    out.stereoOut = channels == 2 ? 1 : 0;

    const JsonValue* oscillators = f.take("oscillators");
    if (oscillators != nullptr && (!oscillators->isArray() || oscillators->items.size() != kOscillators))
        f.fail("oscillators must be a list of 8");
    for (int i = 0; f.problem().empty() && oscillators != nullptr && i < kOscillators; ++i) {
        const JsonValue& o = oscillators->items[i];
        const std::string where = "start: oscillator " + std::to_string(i + 1) + ": ";
        if (!o.isObject()) {
            f.fail("oscillator " + std::to_string(i + 1) + " must be an object");
            break;
        }
        Fields of(o, where);
        of.whole("type", 0, 3, out.oscType[i]);
        of.number("frequency", out.oscFreq[i]);
        of.number("phase", out.oscPhase[i]);
        of.number("ramp", out.oscAcc[i]);
        of.whole("counter", -2147483648.0, 2147483647.0, out.oscCounter[i]);
        of.whole("slowed", 0, 1, out.oscSlow[i]);
        of.end();
        if (!of.problem().empty()) return of.problem();
    }
    f.numbers("outputs", out.outValue, kJacks);
    const auto ints = [&](const char* name, int* values, int count, int low, int high) {
        const JsonValue* l = f.take(name);
        if (l == nullptr) return;
        bool ok = l->isArray() && static_cast<int>(l->items.size()) == count;
        for (int i = 0; ok && i < count; ++i) {
            double n = 0;
            ok = jsonWholeNumber(&l->items[i], low, high, n);
            values[i] = static_cast<int>(n);
        }
        if (!ok)
            f.fail(std::string(name) + " must be a list of " + std::to_string(count) +
                   " whole numbers from " + std::to_string(low) + " to " + std::to_string(high));
    };
    ints("levels", out.mixLevel, kMixerChannels, 0, 128);
    ints("pans", out.mixPan, kMixerChannels, 0, 100);
    ints("cord-sources", out.cordSource, kJacks, -1, kNoCord);
    ints("cords-present", out.cordPresent, kJacks, 0, 1);
    ints("outputs-used", out.outputUsed, kJacks, 0, 1);

    const JsonValue* midi = f.take("midi");
    if (midi != nullptr && f.problem().empty()) {
        if (!midi->isObject()) return "start: midi must be an object";
        Fields m(*midi, "start: midi: ");
        m.whole("open", 0, 1, out.midiOpen);
        m.whole("note", 0, kNoteCount, out.midiNote);
        const JsonValue* held = m.take("held");
        if (held != nullptr) {
            bool ok = held->isArray();
            for (std::size_t i = 0; ok && i < held->items.size(); ++i) {
                double k = 0;
                ok = jsonWholeNumber(&held->items[i], 0, kNoteCount - 1, k);
                if (ok) out.noteDown[static_cast<int>(k)] = 1;
            }
            if (!ok) m.fail("held must be a list of key indexes from 0 to 95");
        }
        m.number("frequency", out.midiFreq);
        m.number("step", out.midiStep);
        m.number("phase", out.midiPhase);
        m.number("ramp", out.midiAcc);
        m.end();
        if (!m.problem().empty()) return m.problem();
    }

    const JsonValue* wave = f.take("wave");
    if (wave != nullptr && f.problem().empty() && !wave->isNull()) {
        if (!wave->isObject())
            return "start: wave must be null or {\"sample\": ..., \"checksum\": ..., \"position\": ...}";
        Fields w(*wave, "start: wave: ");
        const JsonValue* sample = w.take("sample");
        const JsonValue* checksum = w.take("checksum");
        double position = 0;
        const JsonValue* at = w.take("position");
        double id = 0;
        if (wave->find("sample-id") != nullptr && !jsonWholeNumber(w.take("sample-id"), 1, 1e9, id))
            w.fail("sample-id must be a whole number from 1");
        if (sample != nullptr && (!sample->isString() || sample->string.empty()))
            w.fail("sample must be a file name");
        if (checksum != nullptr && (!checksum->isString() || checksum->string.compare(0, 8, "fnv1a64:") != 0))
            w.fail("checksum must be a text such as \"fnv1a64:0123456789abcdef\"");
        if (at != nullptr && !jsonWholeNumber(at, 0, 4294967295.0, position))
            w.fail("position must be a whole number of bytes");
        w.end();
        if (!w.problem().empty()) return w.problem();
        std::shared_ptr<SampleRecord> loaded;
        const std::string path = inFolder(folder, sample->string);
        const std::string problem =
            inputs != nullptr
                ? inputs->sample(path, out.rateParam, checksum->string, RenderInputs::Holder::Own, loaded)
                : loadCheckedSample(path, out.rateParam, checksum->string, loaded);
        if (!problem.empty()) return "start: " + problem;
        out.waveSample = std::move(loaded);
        out.wavePos = static_cast<std::uint32_t>(position);
        if (sampleId) *sampleId = static_cast<int>(id);
    }

    const JsonValue* random = f.take("random");
    if (random != nullptr) {
        std::uint64_t bits = 0;
        bool ok =
            random->isString() && random->string.size() == 18 && random->string.compare(0, 2, "0x") == 0;
        if (ok) {
            const char* first = random->string.data() + 2;
            const std::from_chars_result r = std::from_chars(first, first + 16, bits, 16);
            ok = r.ec == std::errc() && r.ptr == first + 16 && bits != 0;
        }
        if (!ok)
            f.fail("random must be the generator's state as 16 hex digits, not 0 (\"0x56f17a1e2d0c3b49\")");
        else
            out.random.setState(bits);
    }
    f.end();
    return f.problem();
}

}  // namespace voltina
