#include "link/P2pPlayback.h"

#include "diagnostics/Checks.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "link/IoConnect.h"
#include "link/IoCtrl.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QDateTime>
#include <QTimer>

static_assert(int(DeviceLink::ReplaySpeeds) == int(IoCtrl::CapSpeeds) &&
                  int(DeviceLink::ReplayReverse) == int(IoCtrl::CapReverse) &&
                  int(DeviceLink::ReplayStep) == int(IoCtrl::CapStep) &&
                  int(DeviceLink::ReplayThumbnails) == int(IoCtrl::CapThumbnails) &&
                  int(DeviceLink::ReplayExport) == int(IoCtrl::CapExport) &&
                  int(DeviceLink::ReplayRecordKinds) == int(IoCtrl::CapRecordKinds) &&
                  int(DeviceLink::ReplayMsTimestamps) == int(IoCtrl::CapMsTimestamps),
              "the link's playback bits are the wire's");

P2pPlayback *P2pPlayback::instance()
{
    static P2pPlayback *shared = [] {
        auto *p = new P2pPlayback(IoConnect::instance());
        IoConnect::instance()->setPlaybackReplySink(
            [p](Channel *ch, unsigned int type, const QByteArray &data) {
                p->handleReply(ch, type, data);
            });
        return p;
    }();
    return shared;
}

P2pPlayback::P2pPlayback(QObject *parent)
    : QObject(parent)
    , m_expiry(new QTimer(this))
{
    m_expiry->setInterval(250);
    connect(m_expiry, &QTimer::timeout, this, &P2pPlayback::expireThumbnails);
}

int P2pPlayback::caps(const Channel *ch) const
{
    if (!ch)
        return 0;
    const auto it = m_caps.constFind(ChannelRef::of(ch));
    if (it == m_caps.constEnd() || it->sessionId != ch->device()->sessionId())
        return -1;
    return it->flags;
}

void P2pPlayback::queryCaps(Channel *ch)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    const ChannelRef ref = ChannelRef::of(ch);
    const int session = ch->device()->sessionId();
    const auto it = m_caps.constFind(ref);
    if (it != m_caps.constEnd() && it->sessionId == session) {
        if (it->flags >= 0)
            emit DeviceLinks::events()->replayCapsMsg(ch);
        return; // known, or asked already
    }
    m_caps.insert(ref, Caps{session, -1});
    IoConnect::instance()->sendIoCtrl(ch, IOCTRL_PLAYBACK_CAPS_REQ,
                                      IoCtrl::playbackCapsRequest(ch->index()),
                                      [this](Channel *sent, int r) {
                                          if (r < 0)
                                              capsKnown(sent, 0);
                                      });
    // A device that does not know the message stays silent.
    QTimer::singleShot(CapsWaitMs, this, [this, ref, session] {
        Channel *c = ref.resolve(Dev::instance());
        const auto found = m_caps.constFind(ref);
        if (c && found != m_caps.constEnd() && found->sessionId == session && found->flags < 0)
            capsKnown(c, 0);
    });
}

void P2pPlayback::capsKnown(Channel *ch, int flags)
{
    m_caps.insert(ChannelRef::of(ch), Caps{ch->device()->sessionId(), flags});
    emit DeviceLinks::events()->replayCapsMsg(ch);
}

void P2pPlayback::setSpeed(Channel *ch, int eighths)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (!IoCtrl::isValidSpeed(eighths) || !(qMax(0, caps(ch)) & IoCtrl::CapSpeeds) ||
        (eighths < 0 && !(caps(ch) & IoCtrl::CapReverse))) {
        emit DeviceLinks::events()->replaySpeedMsg(ch, IoCtrl::SpeedUnit, false);
        return;
    }
    IoConnect::instance()->sendIoCtrl(
        ch, IOCTRL_PLAYBACK_SPEED, IoCtrl::playbackSpeed(ch->index(), eighths),
        [](Channel *sent, int r) {
            if (r < 0)
                emit DeviceLinks::events()->replaySpeedMsg(sent, IoCtrl::SpeedUnit, false);
        });
}

void P2pPlayback::step(Channel *ch, qint64 targetUtcMs)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(ch, return );
    if (!(qMax(0, caps(ch)) & IoCtrl::CapStep)) {
        emit DeviceLinks::events()->replayStepMsg(ch, 0, false);
        return;
    }
    // The paused stream takes pictures again for the step's frames (from a
    // key frame); it stays paused for the stream watch.
    ch->setVideoOn(true, false);
    ch->setWaitKeyFrame(true, false);
    IoConnect::instance()->sendIoCtrl(
        ch, IOCTRL_PLAYBACK_STEP, IoCtrl::playbackStep(ch->index(), targetUtcMs),
        [](Channel *sent, int r) {
            if (r < 0)
                emit DeviceLinks::events()->replayStepMsg(sent, 0, false);
        });
}

bool P2pPlayback::thumbnail(Channel *ch, qint64 utcMs, int maxWidth, DeviceLink::ThumbnailDone done)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!ch || !done || !(qMax(0, caps(ch)) & IoCtrl::CapThumbnails))
        return false;
    // Requests nobody waits for any more make room for new ones.
    if (m_thumbnails.size() >= MaxPendingThumbnails)
        expireThumbnails();
    if (m_thumbnails.size() >= MaxPendingThumbnails)
        return false;
    const quint32 id = m_nextRequest++;
    m_thumbnails.insert(id,
                        PendingThumbnail{ChannelRef::of(ch), std::move(done),
                                         QDateTime::currentMSecsSinceEpoch() + ThumbnailWaitMs});
    m_expiry->start();
    IoConnect::instance()->sendIoCtrl(ch, IOCTRL_THUMBNAIL_REQ,
                                      IoCtrl::thumbnailRequest(ch->index(), utcMs, id, maxWidth),
                                      [this, id](Channel *, int r) {
                                          if (r >= 0)
                                              return;
                                          const PendingThumbnail p = m_thumbnails.take(id);
                                          if (p.done)
                                              p.done(QImage(), -1);
                                      });
    return true;
}

void P2pPlayback::expireThumbnails()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QList<DeviceLink::ThumbnailDone> late;
    for (auto it = m_thumbnails.begin(); it != m_thumbnails.end();) {
        if (it->deadline <= now) {
            late.append(std::move(it->done));
            it = m_thumbnails.erase(it);
        } else {
            ++it;
        }
    }
    if (m_thumbnails.isEmpty())
        m_expiry->stop();
    for (const DeviceLink::ThumbnailDone &done : late)
        done(QImage(), -1);
}

void P2pPlayback::handleReply(Channel *ch, unsigned int type, const QByteArray &data)
{
    DeviceEvents *events = DeviceLinks::events();
    switch (type) {
    case IOCTRL_PLAYBACK_CAPS_RESP:
        if (const std::optional<IoCtrl::PlaybackCaps> c =
                IoCtrl::parsePlaybackCaps(data, ch->index()))
            capsKnown(ch, int(c->flags & 0x7F));
        return;
    case IOCTRL_PLAYBACK_SPEED_RESP:
        if (const std::optional<IoCtrl::SpeedReply> r = IoCtrl::parseSpeedReply(data, ch->index()))
            emit events->replaySpeedMsg(ch, r->speed, r->result == 0);
        return;
    case IOCTRL_PLAYBACK_STEP_RESP:
        if (const std::optional<IoCtrl::StepReply> r = IoCtrl::parseStepReply(data, ch->index()))
            emit events->replayStepMsg(ch, r->landedUtcMs, r->result == 0);
        return;
    case IOCTRL_THUMBNAIL_RESP: {
        const std::optional<IoCtrl::ThumbnailReply> r =
            IoCtrl::parseThumbnailReply(data, ch->index());
        if (!r)
            return;
        const auto it = m_thumbnails.find(r->requestId);
        if (it == m_thumbnails.end() || it->ref != ChannelRef::of(ch))
            return; // late, or not ours
        const PendingThumbnail p = m_thumbnails.take(r->requestId);
        QImage image;
        if (r->result == 0)
            image = QImage::fromData(r->jpeg, "JPEG");
        if (image.width() > 640 || image.height() > 640)
            image = QImage();
        p.done(image, image.isNull() ? -1 : r->keyUtcMs);
        return;
    }
    case IOCTRL_EXPORT_RESP:
    case IOCTRL_EXPORT_END:
        if (m_exportSink)
            m_exportSink(ch, type, data);
        return;
    default:
        return;
    }
}
