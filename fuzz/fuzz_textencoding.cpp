// libFuzzer target: decoding of the texts stored in the settings files.
#include "config/TextEncoding.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString decoded =
        decodeText(QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size)));
    // Whatever decodes must survive a round trip through the encoder.
    if (!decoded.isEmpty() && decodeText(encodeText(decoded)) != decoded)
        std::abort();
    return 0;
}
