// libFuzzer target: devsim's handling of IO control requests from a client.
// Input: a channel count byte, the AV channel byte, then messages, each a
// type byte (an index into the known types; others are sent as unknown), a
// length byte and that many payload bytes.
#include "IoControl.h"
#include "IoCtrlType.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

using namespace devsim;

namespace {

constexpr std::uint32_t kTypes[] = {
    IoCtrlType::StreamPrepare, IoCtrlType::VideoStart,   IoCtrlType::VideoStop,
    IoCtrlType::AudioStart,    IoCtrlType::AudioStop,    IoCtrlType::QualitySet,
    IoCtrlType::VersionReq,    IoCtrlType::TimeSet,      IoCtrlType::TimezoneSet,
    IoCtrlType::WifiSet,       IoCtrlType::SpeakerStart, IoCtrlType::SpeakerStop,
};
constexpr std::size_t kTypeCount = sizeof(kTypes) / sizeof(kTypes[0]);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    DeviceSettings settings;
    settings.version = QByteArrayLiteral("V1.0.0.0 devsim");
    settings.channels = 1 + data[0] % 64;
    AvChannelState state;
    state.avChannel = data[1];
    IoControl io(settings);
    for (std::size_t at = 2; at + 2 <= size;) {
        const std::uint32_t type = data[at] < kTypeCount ? kTypes[data[at]] : 0x8000u + data[at];
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        const QByteArray payload(reinterpret_cast<const char *>(data + at + 2), qsizetype(length));
        at += 2 + length;
        const IoOutcome out = io.handle(state, type, payload);
        if ((state.videoOn &&
             (state.videoChannel < 0 || state.videoChannel >= settings.channels)) ||
            (out.reply && type == IoCtrlType::VersionReq && out.reply->payload.size() != 64))
            std::abort();
    }
    return 0;
}
