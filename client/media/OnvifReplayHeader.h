#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

// The ONVIF replay header extension of one RTP packet (profile 0xABAC,
// three words: the NTP time of the recording, the flags C (clean point), E
// (end of a contiguous span), D (discontinuity before it), T (last packet
// of the replay), and the low byte of the PLAY request's CSeq), and the
// clock ranges of ONVIF replay requests. Any thread.
struct OnvifReplayHeader
{
    static constexpr uint16_t Profile = 0xABAC;
    // Seconds from the NTP epoch (1900) to the Unix epoch.
    static constexpr qint64 NtpToUnixSeconds = 2208988800LL;

    qint64 utcMs = 0; // the recording time, ms since the Unix epoch
    uint64_t ntp = 0; // the same as NTP seconds (high 32 bits) and fraction
    bool cleanPoint = false;
    bool endOfSpan = false;
    bool discontinuity = false;
    bool terminal = false;
    uint8_t cseq = 0;

    // Reads the extension of the RTP packet (size bytes, header included).
    // False when the packet is malformed, has no extension, another
    // profile, another length, or the "no time" value (all ones).
    bool parse(const uint8_t *packet, size_t size);

    // "clock=YYYYMMDDTHHMMSS.fffZ-" for a replay starting at utcMs.
    static QByteArray clockRange(qint64 utcMs);
    // ms since the Unix epoch of an NTP time in ns since 1900, and back.
    static qint64 utcMsFromNtpNs(uint64_t ntpNs);
    static uint64_t ntpNsFromUtcMs(qint64 utcMs);
};
