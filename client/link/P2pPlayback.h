#pragma once

#include "link/ChannelRef.h"
#include "link/DeviceLink.h"

#include <QHash>
#include <QObject>

class Channel;
class QTimer;

// The P2P link's playback beyond start, pause, seek and stop: what a device
// offers (asked once per session, none when it does not answer within
// CapsWaitMs), speeds, frame steps and thumbnails. Messages go out through
// IoConnect::sendIoCtrl on the channel's live AV channel and their replies
// come back through IoConnect's playback reply sink; results are reported on
// DeviceLinks::events().
//
// Threads: GUI thread only.
class P2pPlayback : public QObject
{
    Q_OBJECT

public:
    static constexpr int CapsWaitMs = 3000;
    static constexpr int ThumbnailWaitMs = 3000;
    static constexpr int MaxPendingThumbnails = 32;

    static P2pPlayback *instance();
    explicit P2pPlayback(QObject *parent = nullptr);

    int caps(const Channel *ch) const;
    void queryCaps(Channel *ch);
    void setSpeed(Channel *ch, int eighths);
    void step(Channel *ch, qint64 targetUtcMs);
    bool thumbnail(Channel *ch, qint64 utcMs, int maxWidth, DeviceLink::ThumbnailDone done);

    // Export replies (IOCTRL_EXPORT_RESP, IOCTRL_EXPORT_END) go to sink.
    using ReplySink = std::function<void(Channel *, unsigned int type, const QByteArray &data)>;
    void setExportSink(ReplySink sink) { m_exportSink = std::move(sink); }

    // A reply of the playback range of message types.
    void handleReply(Channel *ch, unsigned int type, const QByteArray &data);

private:
    struct Caps
    {
        int sessionId = -1;
        int flags = -1; // -1: asked, no answer yet
    };
    struct PendingThumbnail
    {
        ChannelRef ref;
        DeviceLink::ThumbnailDone done;
        qint64 deadline = 0;
    };
    void capsKnown(Channel *ch, int flags);
    void expireThumbnails();

    QHash<ChannelRef, Caps> m_caps;
    QHash<quint32, PendingThumbnail> m_thumbnails;
    quint32 m_nextRequest = 1;
    QTimer *m_expiry;
    ReplySink m_exportSink;
};
