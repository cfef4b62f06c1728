// The configuration reader on arbitrary text: it either refuses with a message or gives a configuration
// that passes every check, writes back to text that reads the same, and applies to an engine record.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/configuration.h"

using namespace voltina;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Configuration c;
    std::string error;
    if (!parseConfiguration(text, c, error)) {
        if (error.empty()) std::abort();  // every refusal says why
        return 0;
    }
    if (!checkConfiguration(c).empty()) std::abort();

    const std::string written = serializeConfiguration(c);
    Configuration back;
    if (!parseConfiguration(written, back, error)) std::abort();
    if (serializeConfiguration(back) != written) std::abort();

    static EngineState state;  // one record reused: each apply must stand on its own
    if (!applyConfiguration(c, state, error)) std::abort();
    int cords = 0;
    for (int in = 0; in < kJacks; ++in) cords += hasCord(state, in) ? 1 : 0;
    if (cords != static_cast<int>(c.cords.size())) std::abort();
    return 0;
}
