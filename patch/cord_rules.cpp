#include "patch/cord_rules.h"

#include "patch/jack_number.h"

namespace voltina {

namespace {

std::string inputNumber(int input) {
    return JackNumber::input(input).text();
}
std::string outputNumber(int output) {
    return JackNumber::output(output).text();
}

}  // namespace

int inputFedBy(const EngineState& s, int output) {
    for (int i = 0; i < kJacks; ++i) {
        if (hasCord(s, i) && s.cordSource[i] == output) return i;
    }
    return kNoCord;
}

PlugRule plugRule(const EngineState& s, int output, int input) {
    if (output < 0 || output >= kJacks || input < 0 || input >= kJacks) return PlugRule::NoSuchJack;
    if (hasCord(s, input)) return PlugRule::InputTaken;
    if (s.outputUsed[output] != 0) return PlugRule::OutputTaken;
    if (autoPanOutsideMixer(output, input)) return PlugRule::AutoPanOutsideMixer;
    return PlugRule::Allowed;
}

std::string cordText(int output, int input) {
    return outputNumber(output) + " \u2192 " + inputNumber(input);
}

std::string plugRuleMessage(PlugRule rule, const EngineState& s, int output, int input) {
    switch (rule) {
        case PlugRule::Allowed:
            return {};
        case PlugRule::InputIntoInput:
            return kInputIntoInputMessage;
        case PlugRule::OutputIntoOutput:
            return kOutputIntoOutputMessage;
        case PlugRule::AutoPanOutsideMixer:
            return std::string(kAutoPanMessage) + " (" + inputNumber(kInMixer) + " to " +
                   inputNumber(kInMixer + kMixerChannels - 1) + "), not " + inputNumber(input);
        case PlugRule::InputTaken: {
            std::string text = "Input jack " + inputNumber(input) + " already carries a cord";
            if (input >= 0 && input < kJacks && hasCord(s, input))
                text += " (from " + outputNumber(s.cordSource[input]) + ")";
            return text;
        }
        case PlugRule::OutputTaken: {
            std::string text = "Output jack " + outputNumber(output) + " already carries a cord";
            const int fed = output >= 0 && output < kJacks ? inputFedBy(s, output) : kNoCord;
            if (fed != kNoCord) text += " (into " + inputNumber(fed) + ")";
            return text;
        }
        case PlugRule::NoSuchJack:
            break;
    }
    return "Jacks are " + outputJackRange() + " (outputs) and " + inputJackRange() + " (inputs), not " +
           outputNumber(output) + " and " + inputNumber(input);
}

}  // namespace voltina
