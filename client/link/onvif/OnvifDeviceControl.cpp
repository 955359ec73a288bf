// OnvifDeviceControl's commands: PTZ and presets, the clock and time zone,
// the discovery of stream URLs, and what a device offers (probe, features).

#include "link/onvif/OnvifDeviceControl.h"

#include "diagnostics/Checks.h"
#include "link/DeviceLink.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "link/onvif/OnvifClient.h"
#include "link/onvif/OnvifEventWatch.h"
#include "link/onvif/PtzAction.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/RtspUrl.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

namespace {

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
