// libFuzzer target: the readers of what a device sends back: IO control
// replies and LAN search result entries.
#include "link/IoCtrl.h"
#include "link/LanSearchResult.h"

#include <p2p/p2p.h>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray reply =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    // Every offset a reply field could be read at, one past each end included.
    for (int offset = -1; offset <= int(size); ++offset) {
        IoCtrl::readU32(reply, offset);
        IoCtrl::readU8(reply, offset);
        const QDateTime t = IoCtrl::readDeviceTimeUtc(reply, offset);
        if (t.isValid() && IoCtrl::readDeviceTimeUtc(IoCtrl::deviceTime(t), 0) != t)
            std::abort(); // a time read back must write back to the same fields
    }
    if (const auto entries = IoCtrl::parseRecordList(reply)) {
        const qsizetype room =
            (reply.size() - IoCtrl::RecordListHeaderSize) / IoCtrl::RecordListEntrySize;
        if (entries->size() > room)
            std::abort();
    }
    // The playback extensions' replies, for channel 0 (the corpus's).
    IoCtrl::parsePlaybackCaps(reply, 0);
    if (const auto s = IoCtrl::parseSpeedReply(reply, 0);
        s && s->result == 0 && !IoCtrl::isValidSpeed(s->speed))
        std::abort();
    IoCtrl::parseStepReply(reply, 0);
    if (const auto t = IoCtrl::parseThumbnailReply(reply, 0);
        t && t->jpeg.size() > IoCtrl::MaxThumbnailBytes)
        std::abort();
    if (const auto e = IoCtrl::parseExportReply(reply, 0);
        e && e->result == 0 && e->avChannel > 255)
        std::abort();
    IoCtrl::parseExportEnd(reply, 0);
    const int count = int(size / P2P_SEARCH_ENTRY_SIZE) + 1;
    if (LanSearchResult::fromEntries(reply, count).size() >= count)
        std::abort(); // one more entry asked for than the data holds
    return 0;
}
