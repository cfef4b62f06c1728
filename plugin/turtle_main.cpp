// Writes the plugin's Turtle: the template CMake configured, with the parameters' part written from the
// controls' table, so a host reads the ranges and names the code applies.
//   voltina-lv2-turtle TEMPLATE OUTPUT

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "plugin/plugin_parameters.h"

namespace {

void replaceAll(std::string& text, const std::string& mark, const std::string& with) {
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + with.size()))
        text.replace(at, mark.size(), with);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: voltina-lv2-turtle TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
        std::cerr << argv[1] << ": cannot be read\n";
        return 1;
    }
    std::string turtle = text.str();
    replaceAll(turtle, "@VOLTINA_LV2_PARAMETERS@", voltina::turtleParameters());
    replaceAll(turtle, "@VOLTINA_LV2_WRITABLES@", voltina::turtleParameterList());
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << turtle;
    out.close();
    if (!out) {
        std::cerr << argv[2] << ": cannot be written\n";
        return 1;
    }
    return 0;
}
