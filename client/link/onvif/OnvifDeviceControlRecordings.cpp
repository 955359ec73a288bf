// OnvifDeviceControl's playback and alarms: the recording of a channel, its
// recorded spans and alarm marks, the replay target, and live alarms from a
// PullPoint subscription per watched device.

#include "link/onvif/OnvifDeviceControl.h"

#include "diagnostics/Checks.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/onvif/OnvifClient.h"
#include "link/onvif/OnvifEventWatch.h"
#include "link/onvif/OnvifTimeline.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

// ---- Recordings -------------------------------------------------------------------

void OnvifDeviceControl::withRecording(Channel *ch, Found found)
{
    const QString uid = ch->device()->uid();
    const int index = ch->index();
    withSession(ch->device(), [this, uid, index, found](Session *s, const QString &why) {
        if (!s)
            return found(nullptr, {}, why);
        if (index >= s->sources.size())
            return found(nullptr, {}, tr("The device has no such video source"));
        if (!(s->features & DeviceLink::Playback))
            return found(nullptr, {}, tr("The device does not replay recordings"));
        const QString source = s->sources.at(index).videoSource;
        const int sources = int(s->sources.size());
        auto pick = [this, uid, index, source, sources,
                     found](const OnvifResult<QList<OnvifRecording>> &r) {
            Session *s = session(uid);
            if (!s || !s->ready)
                return found(nullptr, {}, tr("The device's ONVIF settings changed"));
            if (!r)
                return found(nullptr, {}, r.error().text());
            for (const OnvifRecording &rec : *r) {
                if (rec.sourceId == source)
                    return found(s, rec, QString());
            }
            if (r->size() == sources)
                return found(s, r->at(index), QString());
            found(nullptr, {}, tr("The device keeps no recording of this channel"));
        };
        if (s->client->services().search.isValid())
            s->client->findRecordings(s->client, pick);
        else
            s->client->getRecordings(s->client, pick);
    });
}

void OnvifDeviceControl::findRecordings(
    Channel *ch, const QDateTime &from, const QDateTime &to,
    std::function<void(const QList<RecordSpan> &, const QString &why)> done)
{
    ORVANE_CHECK(ch && done, return );
    withRecording(ch, [from, to, done](Session *s, const OnvifRecording &rec, const QString &why) {
        if (!s)
            return done({}, why);
        if (!s->client->services().search.isValid())
            return done({}, tr("The device cannot search its recordings"));
        s->client->findEvents(from, to, {rec.token}, s->client,
                              [rec, from, to, done](const OnvifResult<QList<OnvifEvent>> &r) {
                                  if (!r)
                                      return done({}, r.error().text());
                                  done(OnvifTimeline::spans(*r, rec, from, to), QString());
                              });
    });
}

void OnvifDeviceControl::findEvents(
    Channel *ch, const QDateTime &from, const QDateTime &to,
    std::function<void(const QList<EventMark> &, const QString &why)> done)
{
    ORVANE_CHECK(ch && done, return );
    const int index = ch->index();
    withRecording(ch, [from, to, index, done](Session *s, const OnvifRecording &rec,
                                              const QString &why) {
        if (!s)
            return done({}, why);
        if (!s->client->services().search.isValid())
            return done({}, tr("The device cannot search its recordings"));
        const Source &src = s->sources.at(index);
        const QStringList tokens = QStringList{src.videoSource} + src.videoSourceConfigs;
        s->client->findEvents(from, to, {rec.token}, s->client,
                              [tokens, from, to, done](const OnvifResult<QList<OnvifEvent>> &r) {
                                  if (!r)
                                      return done({}, r.error().text());
                                  done(OnvifTimeline::marks(*r, tokens, from, to), QString());
                              });
    });
}

void OnvifDeviceControl::replayTarget(
    Channel *ch, std::function<void(const ReplayTarget &, const QString &why)> done)
{
    ORVANE_CHECK(ch && done, return );
    withRecording(ch, [done](Session *s, const OnvifRecording &rec, const QString &why) {
        if (!s)
            return done({}, why);
        OnvifClient *client = s->client;
        client->getReplayUri(rec.token, client, [client, done](const OnvifResult<QUrl> &uri) {
            if (!uri)
                return done({}, uri.error().text());
            QUrl url = uri.value();
            url.setUserInfo(QString());
            // Without the replay capabilities, only forward play is offered.
            client->getReplayCapabilities(
                client, [url, done](const OnvifResult<OnvifReplayCapabilities> &caps) {
                    done({url.toString(), caps && caps->reversePlayback}, QString());
                });
        });
    });
}

// ---- Live alarms ------------------------------------------------------------------

void OnvifDeviceControl::watchEvents(Device *d, bool on)
{
    ORVANE_CHECK(d, return );
    const QString uid = d->uid();
    if (!on) {
        m_watches.erase(uid);
        return;
    }
    if (m_watches.count(uid) || !features(d))
        return;
    auto connectTo = [this, uid](OnvifEventWatch::Connected connected) {
        Device *dev = m_dev->deviceByUid(uid);
        if (!dev)
            return connected(nullptr, false);
        withSession(dev, [connected](Session *s, const QString &) {
            connected(s ? s->client : nullptr, s && (s->features & DeviceLink::Events));
        });
    };
    auto watch = std::make_unique<OnvifEventWatch>(
        connectTo, [this, uid](const OnvifEvent &e) { alarm(uid, e); });
    OnvifEventWatch *w = watch.get();
    m_watches[uid] = std::move(watch);
    w->restart();
}

void OnvifDeviceControl::alarm(const QString &uid, const OnvifEvent &e)
{
    const Session *s = session(uid);
    Device *d = m_dev->deviceByUid(uid);
    if (!s || !d || e.kind == OnvifEvent::Kind::Recording)
        return;
    int index = e.source.isEmpty() ? 0 : -1;
    for (int i = 0; i < s->sources.size() && index < 0; ++i) {
        const Source &src = s->sources.at(i);
        if (src.videoSource == e.source || src.videoSourceConfigs.contains(e.source))
            index = i;
    }
    Channel *ch = index >= 0 && index < d->channelCount() ? d->channel(index) : nullptr;
    if (!ch)
        return;
    ch->setAlarm(int(e.kind), e.state);
    emit m_events->alarmMsg(ch, int(e.kind), e.state);
}
