// libFuzzer target: devsim's JSON device list (--config), read through the
// option table of DeviceConfig.
#include "CommandLine.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), qsizetype(size));
    const devsim::CommandLine::Result r = devsim::CommandLine::parseJson(json, {});
    if (!r.error.isEmpty() && !r.devices.empty())
        std::abort(); // an error leaves no half-read list behind
    for (const devsim::DeviceConfig &c : r.devices) {
        if (c.uid.isEmpty() || c.uid.size() > 20 || c.channels < 1 || c.channels > 64 ||
            c.fps < 1 || c.fps > 60 || c.port < 0 || c.port > 65535)
            std::abort();
    }
    return 0;
}
