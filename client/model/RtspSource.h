#pragma once

#include <QList>
#include <QString>

// One channel of a device reached over RTSP: the URL of its main (HD)
// stream and, when the device offers one, of its sub (SD) stream. URLs never
// carry credentials (the device's view account and password do).
struct RtspStream
{
    QString main;
    QString sub; // empty: the channel has the main stream only

    bool operator==(const RtspStream &o) const { return main == o.main && sub == o.sub; }
    bool operator!=(const RtspStream &o) const { return !(*this == o); }
};

// Where the channels of an RTSP device stream from, and how. A plain value
// type, part of Device and of the stored device record.
struct RtspSource
{
    // RTP over the RTSP connection (interleaved TCP, the default: passes
    // firewalls and NAT) or over separate UDP ports.
    enum class Transport { Tcp, Udp };

    QList<RtspStream> streams; // one per channel, in channel order
    // "host[:port]" of the device's ONVIF service; empty when none is known.
    // Kept for the ONVIF client, which fills the streams from the device's
    // media profiles and drives PTZ and the clock through it.
    QString onvifHost;
    Transport transport = Transport::Tcp;

    bool operator==(const RtspSource &o) const
    {
        return streams == o.streams && onvifHost == o.onvifHost && transport == o.transport;
    }
    bool operator!=(const RtspSource &o) const { return !(*this == o); }
};
