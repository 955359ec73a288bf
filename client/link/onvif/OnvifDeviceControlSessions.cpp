// OnvifDeviceControl's sessions: one connected OnvifClient per device, its
// channels' video sources, and running a command on a channel's source and
// reporting how it ended.

#include "link/onvif/OnvifDeviceControl.h"

#include "diagnostics/Checks.h"
#include "link/DeviceEvents.h"
#include "link/onvif/OnvifClient.h"
#include "link/onvif/OnvifEventWatch.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/RtspUrl.h"

#include <QCryptographicHash>
#include <QTimer>

#include <algorithm>

namespace {

// Failures read in HTTP's terms, the protocol the camera speaks: the
// status it answered with, else the status that names what went wrong.
int errorCode(const OnvifError &e)
{
    if (e.isNotAuthorized())
        return 401;
    switch (e.kind) {
    case OnvifError::Kind::Http:
    case OnvifError::Kind::Fault:
        return e.status > 0 ? e.status : 500;
    case OnvifError::Kind::Timeout:
        return 504;
    case OnvifError::Kind::Network:
        return 503;
    case OnvifError::Kind::Unsupported:
        return 501;
    default: // malformed or oversized
        return 502;
    }
}

} // namespace

OnvifDeviceControl::Session *OnvifDeviceControl::session(const QString &uid) const
{
    const auto it = m_sessions.find(uid);
    return it == m_sessions.end() ? nullptr : it->second.get();
}

void OnvifDeviceControl::withSession(Device *d, Ready then)
{
    ORVANE_ASSERT_GUI_THREAD();
    const QUrl url = deviceUrl(d->rtsp().onvifHost);
    if (!url.isValid())
        return then(nullptr, tr("No valid ONVIF host"));
    const QString uid = d->uid();
    // The password only as its hash, to notice a change.
    const QString key = d->rtsp().onvifHost + u'\n' + d->storedViewAccount() + u'\n' +
                        QString::fromLatin1(QCryptographicHash::hash(d->viewPassword().toUtf8(),
                                                                     QCryptographicHash::Sha256)
                                                .toHex());
    std::unique_ptr<Session> &slot = m_sessions[uid];
    if (slot && slot->key != key) {
        // Another host or account: calls of the old one end here.
        const auto waiting = std::move(slot->waiting);
        slot->client->cancelAll();
        slot->client->deleteLater();
        slot.reset();
        for (const Ready &w : waiting)
            w(nullptr, tr("The device's ONVIF settings changed"));
    }
    if (!slot) {
        slot = std::make_unique<Session>();
        slot->key = key;
        slot->client = new OnvifClient(this);
        slot->client->setDevice(url, d->storedViewAccount(), d->viewPassword());
        // A watch on the old client subscribes again on the new one.
        if (const auto w = m_watches.find(uid); w != m_watches.end())
            QTimer::singleShot(0, w->second.get(), &OnvifEventWatch::restart);
    }
    Session *s = slot.get();
    if (s->ready)
        return then(s, QString());
    s->waiting.append(std::move(then));
    if (s->connecting)
        return;
    s->connecting = true;
    OnvifClient *client = s->client;
    client->connectDevice(client, [this, uid, client](const OnvifResult<OnvifServices> &r) {
        if (!r)
            return connected(uid, r.error().text());
        client->getProfiles(client, [this, uid](const OnvifResult<QList<OnvifProfile>> &p) {
            if (!p)
                return connected(uid, p.error().text());
            Session *s = session(uid);
            ORVANE_CHECK(s, return );
            s->sources = sourcesOf(*p);
            s->features = featuresOf(s->client->services(), *p);
            connected(uid,
                      s->sources.isEmpty() ? tr("The device has no media profile") : QString());
        });
    });
}

void OnvifDeviceControl::connected(const QString &uid, const QString &why)
{
    Session *s = session(uid);
    ORVANE_CHECK(s, return );
    s->connecting = false;
    s->ready = why.isEmpty();
    const auto waiting = std::move(s->waiting);
    s->waiting.clear();
    for (const Ready &w : waiting)
        w(s->ready ? s : nullptr, why);
}

void OnvifDeviceControl::run(
    Channel *ch, void (DeviceEvents::*failed)(Channel *, int, QString),
    std::function<void(Session *, const Source &, const QString &uid)> command)
{
    const QString uid = ch->device()->uid();
    const int index = ch->index();
    withSession(ch->device(), [this, uid, index, failed, command](Session *s, const QString &why) {
        Device *d = m_dev->deviceByUid(uid);
        Channel *c = d ? d->channel(index) : nullptr;
        if (!c)
            return;
        if (!s)
            emit(m_events->*failed)(c, 503, why);
        else if (index >= s->sources.size())
            emit(m_events->*failed)(c, 404, tr("The device has no such video source"));
        else
            command(s, s->sources.at(index), uid);
    });
}

void OnvifDeviceControl::report(const QString &uid, int index, const OnvifError *error,
                                void (DeviceEvents::*succeeded)(Channel *),
                                void (DeviceEvents::*failed)(Channel *, int, QString))
{
    if (Session *s = session(uid);
        s && error &&
        (error->isNotAuthorized() || error->kind == OnvifError::Kind::Network ||
         error->kind == OnvifError::Kind::Timeout))
        s->ready = false; // connect again on the next command
    Device *d = m_dev->deviceByUid(uid);
    Channel *ch = d ? d->channel(index) : nullptr;
    if (!ch)
        return;
    if (error)
        emit(m_events->*failed)(ch, errorCode(*error), error->text());
    else
        emit(m_events->*succeeded)(ch);
}

QList<OnvifDeviceControl::Source> OnvifDeviceControl::sourcesOf(const QList<OnvifProfile> &profiles)
{
    // Video sources in the order their first profile comes.
    QStringList order;
    QHash<QString, QList<OnvifProfile>> bySource;
    for (const OnvifProfile &p : profiles) {
        if (p.token.isEmpty())
            continue;
        if (!bySource.contains(p.videoSourceToken))
            order << p.videoSourceToken;
        bySource[p.videoSourceToken] << p;
    }
    QList<Source> sources;
    for (const QString &token : std::as_const(order)) {
        QList<OnvifProfile> list = bySource.value(token);
        std::stable_sort(list.begin(), list.end(),
                         [](const OnvifProfile &a, const OnvifProfile &b) {
                             return qint64(a.width) * a.height > qint64(b.width) * b.height;
                         });
        Source s;
        s.videoSource = token;
        for (const OnvifProfile &p : std::as_const(list)) {
            if (!p.videoSourceConfigToken.isEmpty())
                s.videoSourceConfigs << p.videoSourceConfigToken;
        }
        s.main = list.first().token;
        s.sub = list.size() > 1 ? list.last().token : QString();
        const auto ptz =
            std::find_if(list.begin(), list.end(), [](const OnvifProfile &p) { return p.hasPtz; });
        s.ptz = ptz != list.end() ? ptz->token : s.main;
        sources << s;
        if (sources.size() >= RtspUrl::MaxStreams)
            break;
    }
    return sources;
}
