// A datagram from the session manager's address, whatever its bytes: the OSC decoder either refuses it
// with a reason or gives a message that encodes back to a message with the same address and arguments,
// and the session protocol takes any message without failing (a refusal is said, never acted on).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "nsm/nsm_client.h"

using namespace voltina;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    OscMessage m;
    std::string error;
    if (!decodeOsc(data, size, m, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    const std::vector<std::uint8_t> bytes = encodeOsc(m);
    OscMessage again;
    if (!decodeOsc(bytes.data(), bytes.size(), again, error)) std::abort();
    bool same = again.path == m.path && again.types() == m.types();
    for (std::size_t i = 0; same && i < m.arguments.size(); ++i) {
        const OscArgument& a = m.arguments[i];
        const OscArgument& b = again.arguments[i];
        if (a.type == 's') same = a.text == b.text;
        if (a.type == 'i') same = a.integer == b.integer;
    }
    // Arguments of other kinds are not written back; only the protocol's own must survive.
    if (m.types().find_first_not_of("si") == std::string::npos && !same) std::abort();
    static OscLink unconnected;  // replies go nowhere
    NsmRequests requests;
    requests.ignored = [](const std::string& what) {
        if (what.empty()) std::abort();
    };
    NsmClient client(unconnected, requests);
    client.handle(m);
    return 0;
}
