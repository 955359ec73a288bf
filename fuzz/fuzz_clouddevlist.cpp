// libFuzzer target: the account service's device-list reply.
#include "core/CloudDeviceList.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QList<CloudDevice> devices;
    if (!parseCloudDeviceList(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)),
                              &devices))
        return 0;
    for (const CloudDevice &d : devices) {
        if (d.uid.isEmpty() || d.channelCount < 1 || d.channelCount > MaxCloudChannels)
            std::abort();
    }
    return 0;
}
