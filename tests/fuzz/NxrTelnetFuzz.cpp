// The telnet codec and the connection-spec grammar on arbitrary bytes. The
// first byte picks the role; the rest is split in two at a point the input
// chooses, so state carried between calls is exercised. Data that one end
// encodes must reach the other end unchanged once both are in binary mode.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "nxr/CNxrComSpec.h"
#include "nxr/CNxrTelnetCodec.h"

using namespace quillpad;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    const auto role = (data[0] & 1) ? ENxrTelnetRole::Server : ENxrTelnetRole::Client;
    const std::size_t split = bytes.empty() ? 0 : data[1] % (bytes.size() + 1);

    CNxrTelnetCodec codec(role);
    CNxrTelnetCodec::SReceived got;
    codec.Receive(bytes.substr(0, split), got);
    codec.Receive(bytes.substr(split), got);
    if (got.data.size() > bytes.size()) {
        std::abort();  // commands and escapes only ever shrink the data
    }

    // A settled pair carries the input through unchanged.
    CNxrTelnetCodec client(ENxrTelnetRole::Client);
    CNxrTelnetCodec server(ENxrTelnetRole::Server);
    CNxrTelnetCodec::SReceived a;
    CNxrTelnetCodec::SReceived b;
    server.Receive(client.Start(), a);
    client.Receive(server.Start() + a.reply, b);
    CNxrTelnetCodec::SReceived c;
    server.Receive(b.reply, c);
    CNxrTelnetCodec::SReceived through;
    const std::string wire = client.Encode(bytes);
    server.Receive(std::string_view(wire).substr(0, split), through);
    server.Receive(std::string_view(wire).substr(split), through);
    if (through.data != bytes) {
        std::abort();
    }

    CNxrComSpec spec;
    const bool ok = spec.Parse(bytes);
    // Success leaves no error text and a kind; failure the reverse.
    if (ok != spec.ErrorText().empty() || ok != (spec.m_nConnectionKind != 0)) {
        std::abort();
    }
    return 0;
}
