// The autosave reader on arbitrary text: it either refuses with a message, or gives an autosave whose
// configuration passes every check and which reads back the same once written again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/autosave_file.h"

using namespace voltina;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Autosave a;
    std::string error;
    if (!parseAutosave(text, a, error)) {
        if (error.empty()) std::abort();  // every refusal says why
        return 0;
    }
    if (!checkConfiguration(a.configuration).empty()) std::abort();
    const std::string again = serializeAutosave(a);
    Autosave b;
    if (!parseAutosave(again, b, error) || serializeAutosave(b) != again) std::abort();
    return 0;
}
