#include "media/OnvifReplayHeader.h"

#include <QDateTime>

namespace {

uint32_t readU32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

} // namespace

bool OnvifReplayHeader::parse(const uint8_t *packet, size_t size)
{
    constexpr size_t FixedHeader = 12;
    if (!packet || size < FixedHeader)
        return false;
    const uint8_t first = packet[0];
    if ((first >> 6) != 2 || (first & 0x10) == 0) // RTP version 2, extension bit
        return false;
    const size_t at = FixedHeader + size_t(first & 0x0F) * 4; // after the CSRCs
    if (size < at + 4)
        return false;
    const uint16_t profile = uint16_t((packet[at] << 8) | packet[at + 1]);
    const size_t words = size_t((packet[at + 2] << 8) | packet[at + 3]);
    if (profile != Profile || words != 3 || size < at + 4 + words * 4)
        return false;
    const uint8_t *data = packet + at + 4;
    const uint32_t seconds = readU32(data);
    const uint32_t fraction = readU32(data + 4);
    if (seconds == 0xFFFFFFFFu && fraction == 0xFFFFFFFFu)
        return false;
    ntp = (uint64_t(seconds) << 32) | fraction;
    utcMs = (qint64(seconds) - NtpToUnixSeconds) * 1000 + qint64((uint64_t(fraction) * 1000) >> 32);
    const uint8_t flags = data[8];
    cleanPoint = (flags & 0x80) != 0;
    endOfSpan = (flags & 0x40) != 0;
    discontinuity = (flags & 0x20) != 0;
    terminal = (flags & 0x10) != 0;
    cseq = data[9];
    return true;
}

QByteArray OnvifReplayHeader::clockRange(qint64 utcMs)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC);
    return "clock=" + at.toString(QStringLiteral("yyyyMMdd'T'HHmmss.zzz")).toLatin1() + "Z-";
}

qint64 OnvifReplayHeader::utcMsFromNtpNs(uint64_t ntpNs)
{
    return qint64(ntpNs / 1000000) - NtpToUnixSeconds * 1000;
}

uint64_t OnvifReplayHeader::ntpNsFromUtcMs(qint64 utcMs)
{
    const qint64 ntpMs = utcMs + NtpToUnixSeconds * 1000;
    return ntpMs > 0 ? uint64_t(ntpMs) * 1000000 : 0;
}
