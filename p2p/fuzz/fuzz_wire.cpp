// libFuzzer target: the TCP message reader, every payload parser and the
// discovery datagram parsers. Build with clang and -DORVANE_P2P_FUZZ=ON.

#include "MessageReader.h"
#include "Wire.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace p2p::wire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    MessageReader reader;
    // Feed in two pieces to exercise the resumption paths too.
    const std::size_t half = size / 2;
    auto sink = [](Message &&m) {
        Hello a;
        Welcome b;
        AvLogin c;
        AvLoginResult d;
        IoCtrlView e;
        FrameView f;
        parseHello(m.payload, a);
        parseWelcome(m.payload, b);
        parseAvLogin(m.payload, c);
        parseAvLoginResult(m.payload, d);
        parseIoCtrl(m.payload, e);
        parseFrame(m.payload, f);
        return true;
    };
    if (reader.feed(data, half, sink))
        reader.feed(data + half, size - half, sink);

    DiscoveryRequest q;
    DiscoveryAnswer r;
    parseDiscoveryRequest(data, size, q);
    parseDiscoveryAnswer(data, size, r);
    parsePeers(std::string(reinterpret_cast<const char *>(data), size));
    return 0;
}
