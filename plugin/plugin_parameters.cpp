#include "plugin/plugin_parameters.h"

namespace voltina {

namespace {

std::string ownerNumber(int parameter) {
    return std::to_string(parameterInfo(parameter).index + 1);
}

// A Turtle number: a float's always has a decimal point, or it would read back as an integer.
std::string turtleNumber(double value, bool isFloat) {
    std::string text = controlNumber(value);
    if (isFloat && text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

std::string turtleParameter(int parameter) {
    const ControlRow& row = parameterControl(parameter);
    const PluginRange& range = row.pluginRange;
    std::string t = "\nvoltina:" + parameterName(parameter) + "\n\ta lv2:Parameter ;\n";
    t += std::string("\trdfs:label \"") + ownerNames(row.owner).label + " " + ownerNumber(parameter) + " " +
         row.pluginLabel + "\" ;\n";
    if (row.pluginComment != nullptr) t += std::string("\trdfs:comment \"") + row.pluginComment + "\" ;\n";
    // Every value travels as a Float, whole numbers for the wave types, levels and pans (a value between
    // two is held to the control's step, and the plugin tells the host what it took): hosts such as
    // Ardour 7 take back only Float (and Path) values from a plugin, and a float holds each exactly.
    t += "\trdfs:range atom:Float ;\n";
    t += "\tlv2:default " + turtleNumber(range.defaultValue, range.isFloat) + " ;\n";
    t += "\tlv2:minimum " + turtleNumber(range.minimum, range.isFloat) + " ;\n";
    t += "\tlv2:maximum " + turtleNumber(range.maximum, range.isFloat);
    if (row.choiceNames != nullptr) {
        for (int k = 0; row.choiceNames[k] != nullptr; ++k) {
            t += k == 0 ? " ;\n\tlv2:scalePoint " : " ,\n\t\t";
            t += std::string("[ rdfs:label \"") + row.choiceNames[k] + "\" ; rdf:value " + std::to_string(k) +
                 " ]";
        }
    }
    if (row.pluginUnit != nullptr) t += std::string(" ;\n\tunits:unit ") + row.pluginUnit;
    return t + " .\n";
}

// Parameters in the Turtle's order: each oscillator's and channel's together.
template <typename Each>
void forEachInTurtleOrder(Each each) {
    for (int n = 0; n < 8; ++n) {
        for (int p = n; p < kParameterCount; p += 8) each(p);
    }
}

}  // namespace

std::string parameterName(int parameter) {
    const ControlRow& row = parameterControl(parameter);
    return ownerNames(row.owner).symbol + ownerNumber(parameter) + "-" + row.pluginSymbol;
}

Edit parameterEdit(int parameter, double value) {
    return controlEdit(parameterControl(parameter), parameterInfo(parameter).index, value);
}

float parameterValue(const EngineState& s, int parameter) {
    return static_cast<float>(controlValue(parameterControl(parameter), s, parameterInfo(parameter).index));
}

std::string turtleParameters() {
    std::string text;
    forEachInTurtleOrder([&](int p) { text += turtleParameter(p); });
    return text;
}

std::string turtleParameterList() {
    std::string text;
    forEachInTurtleOrder(
        [&](int p) { text += std::string(text.empty() ? "" : " ,\n") + "\t\tvoltina:" + parameterName(p); });
    return text;
}

}  // namespace voltina
