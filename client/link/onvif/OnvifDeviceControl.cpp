#include "link/onvif/OnvifDeviceControl.h"

#include "diagnostics/Checks.h"
#include "link/DeviceLink.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "link/onvif/OnvifClient.h"
#include "link/onvif/OnvifEventWatch.h"
#include "link/onvif/OnvifTimeline.h"
#include "link/onvif/PtzAction.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/RtspUrl.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QRegularExpression>
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

int presetKey(int channel, int number)
{
    return (channel << 16) | (number & 0xffff);
}

} // namespace

OnvifDeviceControl::OnvifDeviceControl(DeviceEvents *events, Dev *dev, QObject *parent)
    : QObject(parent)
    , m_events(events ? events : DeviceLinks::events())
    , m_dev(dev ? dev : Dev::instance())
{}

OnvifDeviceControl::~OnvifDeviceControl()
{
    // Unsubscribing outlives this object: its clients go to the application,
    // which deletes them when their last call ended or at exit.
    for (auto &[uid, watch] : m_watches) {
        Session *s = session(uid);
        if (!s || !watch->subscribed())
            continue;
        s->client->setParent(QCoreApplication::instance());
        s->client->setTimeoutMs(2000);
        QTimer::singleShot(5000, s->client, &QObject::deleteLater);
    }
    m_watches.clear();
}

QUrl OnvifDeviceControl::deviceUrl(const QString &onvifHost)
{
    static const QRegularExpression hostPattern(QStringLiteral("^[A-Za-z0-9.\\-]+(:\\d{1,5})?$"));
    if (onvifHost.size() > 255 || !hostPattern.match(onvifHost).hasMatch())
        return QUrl();
    QUrl url(QStringLiteral("http://%1/onvif/device_service").arg(onvifHost));
    return url.isValid() && url.port(80) > 0 && url.port(80) <= 65535 ? url : QUrl();
}

QString OnvifDeviceControl::posixZone(const QString &zoneText)
{
    static const QRegularExpression offset(
        QStringLiteral("^(?:GMT|UTC)(?:([+-])(\\d{1,2})(?::?(\\d{2}))?)?$"));
    const QRegularExpressionMatch m = offset.match(zoneText.trimmed());
    if (!m.hasMatch())
        return QString();
    const int hours = m.captured(2).toInt();
    const int minutes = m.captured(3).toInt();
    if (hours > 14 || minutes > 59)
        return QString();
    if (hours == 0 && minutes == 0)
        return QStringLiteral("UTC0");
    // POSIX counts west of Greenwich as positive.
    const QChar sign = m.captured(1) == QLatin1String("+") ? u'-' : u'+';
    return QStringLiteral("UTC%1%2:%3")
        .arg(sign)
        .arg(hours, 2, 10, QLatin1Char('0'))
        .arg(minutes, 2, 10, QLatin1Char('0'));
}

void OnvifDeviceControl::probe(const QString &onvifHost, const QString &user,
                               const QString &password, QObject *context,
                               std::function<void(const Probe &, const QString &why)> done)
{
    ORVANE_CHECK(context && done, return );
    const QUrl url = deviceUrl(onvifHost);
    if (!url.isValid())
        return done({}, tr("No valid ONVIF host"));
    auto *client = new OnvifClient(context);
    client->setDevice(url, user, password);
    const auto finish = [client, done](const Probe &p, const QString &why) {
        client->deleteLater();
        done(p, why);
    };
    client->connectDevice(client, [client, finish](const OnvifResult<OnvifServices> &r) {
        if (!r)
            return finish({}, r.error().text());
        // The name is a courtesy: a device that keeps it to itself is still added.
        client->getDeviceInformation(
            client, [client, finish](const OnvifResult<OnvifDeviceInfo> &i) {
                Probe p;
                if (i)
                    p.model = QStringList{i->manufacturer.trimmed(), i->model.trimmed()}
                                  .join(u' ')
                                  .trimmed()
                                  .left(64);
                client->getProfiles(
                    client, [finish, p](const OnvifResult<QList<OnvifProfile>> &r) mutable {
                        if (!r)
                            return finish({}, r.error().text());
                        const QList<Source> sources = sourcesOf(*r);
                        if (sources.isEmpty())
                            return finish({}, tr("The device has no media profile"));
                        p.channels = int(sources.size());
                        p.ptz = std::any_of(r->begin(), r->end(),
                                            [](const OnvifProfile &o) { return o.hasPtz; });
                        finish(p, QString());
                    });
            });
    });
}

int OnvifDeviceControl::features(const Device *d) const
{
    if (!d || d->kind() != DeviceKind::Rtsp || d->rtsp().onvifHost.isEmpty())
        return 0;
    const Session *s = session(d->uid());
    return DeviceLink::Ptz | DeviceLink::Presets | DeviceLink::Clock | (s ? s->features : 0);
}

int OnvifDeviceControl::featuresOf(const OnvifServices &services,
                                   const QList<OnvifProfile> &profiles)
{
    int f = 0;
    if (services.replay.isValid() && (services.search.isValid() || services.recording.isValid()))
        f |= DeviceLink::Playback;
    if (services.events.isValid())
        f |= DeviceLink::Events;
    for (const OnvifProfile &p : profiles) {
        if (!p.audioEncoding.isEmpty())
            f |= DeviceLink::Sound;
        if (p.hasAudioOutput)
            f |= DeviceLink::Talk;
    }
    return f;
}

// ---- PTZ ------------------------------------------------------------------------

void OnvifDeviceControl::ptzControl(Channel *ch, quint8 command, quint8 param, bool shortForm)
{
    ORVANE_CHECK(ch, return );
    const PtzAction a = PtzAction::of(command, shortForm);
    if (a.kind == PtzAction::Kind::SetPreset)
        return ptzPoint(ch, a.preset, false);
    if (a.kind == PtzAction::Kind::GotoPreset)
        return ptzGoto(ch, a.preset, false);
    if (a.kind == PtzAction::Kind::Unsupported) {
        emit m_events->ptzFailMsg(ch, 501, tr("Not supported over ONVIF"));
        return;
    }
    const int index = ch->index();
    const double speed = std::clamp(int(param), 1, 8) / 8.0;
    run(ch, &DeviceEvents::ptzFailMsg,
        [this, a, speed, index](Session *s, const Source &src, const QString &uid) {
            auto done = [this, uid, index](const OnvifResult<OnvifDone> &r) {
                report(uid, index, r ? nullptr : &r.error(), &DeviceEvents::ptzSuccessMsg,
                       &DeviceEvents::ptzFailMsg);
            };
            if (a.kind == PtzAction::Kind::Stop)
                s->client->stop(src.ptz, s->client, done);
            else
                s->client->continuousMove(src.ptz, a.pan * speed, a.tilt * speed, a.zoom * speed,
                                          s->client, done);
        });
}

void OnvifDeviceControl::ptzPoint(Channel *ch, int preset, bool shortForm)
{
    ORVANE_CHECK(ch, return );
    const int number = shortForm ? preset % 2 : preset;
    const int index = ch->index();
    run(ch, &DeviceEvents::ptzFailMsg,
        [this, number, index](Session *s, const Source &src, const QString &uid) {
            const int key = presetKey(index, number);
            s->client->setPreset(
                src.ptz, QString(), s->client,
                [this, uid, index, key](const OnvifResult<QString> &r) {
                    if (Session *now = session(uid); now && r)
                        now->presets.insert(key, *r);
                    report(uid, index, r ? nullptr : &r.error(), &DeviceEvents::ptzSuccessMsg,
                           &DeviceEvents::ptzFailMsg);
                },
                s->presets.value(key));
        });
}

void OnvifDeviceControl::ptzGoto(Channel *ch, int preset, bool shortForm)
{
    ORVANE_CHECK(ch, return );
    const int number = shortForm ? preset % 2 : preset;
    const int index = ch->index();
    run(ch, &DeviceEvents::ptzFailMsg,
        [this, number, index](Session *s, const Source &src, const QString &uid) {
            const QString token =
                s->presets.value(presetKey(index, number), QString::number(number + 1));
            s->client->gotoPreset(
                src.ptz, token, s->client, [this, uid, index](const OnvifResult<OnvifDone> &r) {
                    report(uid, index, r ? nullptr : &r.error(), &DeviceEvents::ptzSuccessMsg,
                           &DeviceEvents::ptzFailMsg);
                });
        });
}

// ---- Clock ------------------------------------------------------------------------

void OnvifDeviceControl::setTime(Channel *ch, const QDateTime &dt)
{
    ORVANE_CHECK(ch, return );
    if (!dt.isValid()) {
        emit m_events->setTimeFailMsg(ch, 400, tr("Invalid time"));
        return;
    }
    const QDateTime utc = dt.toUTC();
    const int index = ch->index();
    run(ch, &DeviceEvents::setTimeFailMsg,
        [this, utc, index](Session *s, const Source &, const QString &uid) {
            s->client->setSystemDateAndTime(utc, s->zone, false, s->client,
                                            [this, uid, index](const OnvifResult<OnvifDone> &r) {
                                                report(uid, index, r ? nullptr : &r.error(),
                                                       &DeviceEvents::setTimeSuccessMsg,
                                                       &DeviceEvents::setTimeFailMsg);
                                            });
        });
}

void OnvifDeviceControl::setTimeZone(Channel *ch, const QString &zone)
{
    ORVANE_CHECK(ch, return );
    const QString posix = posixZone(zone);
    if (posix.isEmpty()) {
        emit m_events->setTimeZoneFailMsg(ch, 400, tr("Unknown time zone"));
        return;
    }
    const int index = ch->index();
    run(ch, &DeviceEvents::setTimeZoneFailMsg,
        [this, posix, index](Session *s, const Source &, const QString &uid) {
            // The zone alone: the clock stays where the device has it.
            const QDateTime now =
                QDateTime::currentDateTimeUtc().addMSecs(s->client->clockOffsetMs());
            s->client->setSystemDateAndTime(
                now, posix, false, s->client,
                [this, uid, index, posix](const OnvifResult<OnvifDone> &r) {
                    if (Session *now = session(uid); now && r)
                        now->zone = posix;
                    report(uid, index, r ? nullptr : &r.error(),
                           &DeviceEvents::setTimeZoneSuccessMsg, &DeviceEvents::setTimeZoneFailMsg);
                });
        });
}

// ---- Streams ----------------------------------------------------------------------

void OnvifDeviceControl::discoverStreams(Device *d,
                                         std::function<void(bool ok, const QString &why)> done)
{
    ORVANE_CHECK(d && done, return );
    const QString key = d->uid();
    withSession(d, [this, key, done](Session *s, const QString &why) {
        if (!s)
            return done(false, why);
        struct Found
        {
            QList<RtspStream> streams;
            int pending = 0;
            QString error;
        };
        auto found = std::make_shared<Found>();
        found->streams.resize(s->sources.size());
        auto ask = [this, s, found, key, done](const QString &profile, QString RtspStream::*field,
                                               int i) {
            ++found->pending;
            s->client->getStreamUri(
                profile, s->client, [this, found, key, done, field, i](const OnvifResult<QUrl> &r) {
                    RtspUrl::Split split;
                    QString why;
                    if (!r)
                        why = r.error().text();
                    else if (!RtspUrl::split(r->toString(), &split, &why))
                        why = tr("The device gave an invalid stream URL: %1").arg(why);
                    if (!why.isEmpty() && found->error.isEmpty())
                        found->error = why;
                    found->streams[i].*field = split.url;
                    if (--found->pending > 0)
                        return;
                    if (!found->error.isEmpty())
                        return done(false, found->error);
                    if (Device *dev = m_dev->deviceByUid(key)) {
                        RtspSource source = dev->rtsp();
                        source.streams = found->streams;
                        dev->setRtsp(source);
                    }
                    done(true, QString());
                });
        };
        for (int i = 0; i < s->sources.size(); ++i) {
            const Source &src = s->sources.at(i);
            ask(src.main, &RtspStream::main, i);
            if (!src.sub.isEmpty())
                ask(src.sub, &RtspStream::sub, i);
        }
    });
}

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

// ---- Sessions ---------------------------------------------------------------------

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
