// OnvifClient's calls on their way (authentication, time-outs, size limits,
// faults), connecting to a device and its services, and the device, media
// and PTZ calls.

#include "link/onvif/OnvifClient.h"

#include "diagnostics/Checks.h"
#include "link/onvif/OnvifClientSupport.h"
#include "link/onvif/OnvifNamespaces.h"
#include "link/onvif/OnvifParse.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <utility>

using OnvifClientSupport::onHost;

namespace {

using Kind = OnvifError::Kind;

QString operationName(const OnvifSoap::Request &r)
{
    return QString::fromLatin1(r.operation());
}

QString serviceName(OnvifSoap::Service s)
{
    switch (s) {
    case OnvifSoap::Service::Device:
        return QStringLiteral("device");
    case OnvifSoap::Service::Media:
        return QStringLiteral("media");
    case OnvifSoap::Service::Ptz:
        return QStringLiteral("PTZ");
    case OnvifSoap::Service::Events:
    case OnvifSoap::Service::Subscription:
        return QStringLiteral("events");
    case OnvifSoap::Service::Recording:
        return QStringLiteral("recording");
    case OnvifSoap::Service::Search:
        return QStringLiteral("recording search");
    case OnvifSoap::Service::Replay:
        return QStringLiteral("replay");
    }
    return QString();
}

} // namespace

OnvifClient::OnvifClient(QObject *parent)
    : QObject(parent)
    , m_nam(new QNetworkAccessManager(this))
{
    // Cameras are on the local network: never through a proxy.
    m_nam->setProxy(QNetworkProxy::NoProxy);
}

OnvifClient::~OnvifClient()
{
    cancelAll();
}

void OnvifClient::cancelAll()
{
    ORVANE_ASSERT_GUI_THREAD();
    const QSet<QNetworkReply *> replies = std::exchange(m_replies, {});
    for (QNetworkReply *reply : replies) {
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

void OnvifClient::setDevice(const QUrl &deviceServiceUrl, const QString &user,
                            const QString &password)
{
    ORVANE_ASSERT_GUI_THREAD();
    cancelAll();
    m_deviceUrl = deviceServiceUrl;
    m_user = user;
    m_password = password;
    m_services = {};
    m_servicesKnown = false;
    m_clockOffsetMs = 0;
    m_digest.reset();
    m_nonceCount = 0;
}

QUrl OnvifClient::onDeviceHost(const QUrl &reported) const
{
    if (!reported.isValid())
        return {};
    QUrl url = m_deviceUrl;
    url.setPath(reported.path().isEmpty() ? QStringLiteral("/") : reported.path());
    url.setQuery(reported.query());
    return url;
}

QUrl OnvifClient::serviceUrl(OnvifSoap::Service service) const
{
    if (!m_servicesKnown)
        return m_deviceUrl;
    switch (service) {
    case OnvifSoap::Service::Device:
        return m_services.device;
    case OnvifSoap::Service::Media:
        return m_services.media;
    case OnvifSoap::Service::Ptz:
        return m_services.ptz;
    case OnvifSoap::Service::Events:
        return m_services.events;
    case OnvifSoap::Service::Recording:
        return m_services.recording;
    case OnvifSoap::Service::Search:
        return m_services.search;
    case OnvifSoap::Service::Replay:
        return m_services.replay;
    case OnvifSoap::Service::Subscription:
        break; // always with its own address
    }
    return {};
}

void OnvifClient::send(const std::shared_ptr<Call> &call)
{
    ORVANE_ASSERT_GUI_THREAD();
    const QUrl url = call->url.isValid() ? call->url : serviceUrl(call->request.service);
    if (!url.isValid()) {
        const QString what = serviceName(call->request.service);
        // Answered later, like any other call, so callers see one order of events.
        QTimer::singleShot(0, this, [call, what] {
            if (!call->hasContext || call->context)
                call->done(OnvifError::make(Kind::Unsupported, what));
        });
        return;
    }

    QNetworkRequest req(url);
    req.setHeader(
        QNetworkRequest::ContentTypeHeader,
        QByteArray("application/soap+xml; charset=utf-8; action=\"" + call->request.action + '"'));
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::ManualRedirectPolicy);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    req.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    std::optional<OnvifSoap::UsernameToken> token;
    if (m_digest) {
        QByteArray uri = url.path(QUrl::FullyEncoded).toLatin1();
        if (url.hasQuery())
            uri += '?' + url.query(QUrl::FullyEncoded).toLatin1();
        req.setRawHeader("Authorization", HttpDigest::authorization(*m_digest, m_user, m_password,
                                                                    "POST", uri, ++m_nonceCount));
    } else if (call->authenticate && !m_user.isEmpty()) {
        token = OnvifSoap::usernameToken(m_user, m_password,
                                         QDateTime::currentDateTimeUtc().addMSecs(m_clockOffsetMs));
    }
    QNetworkReply *reply =
        m_nam->post(req, OnvifSoap::envelope(call->request.body, token ? &*token : nullptr,
                                             call->request.header));
    m_replies.insert(reply);

    auto *timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [reply, call] {
        call->timedOut = true;
        reply->abort();
    });
    timer->start(call->timeoutMs > 0 ? call->timeoutMs : m_timeoutMs);
    const qint64 limit = m_replyLimit;
    auto checkSize = [reply, call, limit] {
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if ((announced > limit || reply->bytesAvailable() > limit) && !call->oversized) {
            call->oversized = true;
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, checkSize);
    connect(reply, &QNetworkReply::readyRead, this, checkSize);
    connect(reply, &QNetworkReply::finished, this, [this, reply, call] { finish(reply, call); });
}

void OnvifClient::finish(QNetworkReply *reply, const std::shared_ptr<Call> &call)
{
    m_replies.remove(reply);
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    std::optional<OnvifError> error;
    QByteArray body;
    if (call->timedOut) {
        error = OnvifError::make(Kind::Timeout, QString());
    } else if (call->oversized) {
        error = OnvifError::make(Kind::Oversized,
                                 QStringLiteral("more than %1 bytes").arg(m_replyLimit));
    } else if (status == 401) {
        QList<QByteArray> challenges;
        const QList<QNetworkReply::RawHeaderPair> headers = reply->rawHeaderPairs();
        for (const auto &h : headers) {
            if (h.first.compare("WWW-Authenticate", Qt::CaseInsensitive) == 0)
                challenges.append(h.second.split('\n')); // Qt joins repeated headers
        }
        const std::optional<HttpDigest::Challenge> challenge = HttpDigest::parse(challenges);
        if (challenge && !call->digestRetried) {
            call->digestRetried = true;
            m_digest = challenge;
            m_nonceCount = 0;
            send(call);
            return;
        }
        error = OnvifError::make(Kind::NotAuthorized, QString(), status);
    } else if (status == 0) {
        error = OnvifError::make(Kind::Network, reply->errorString());
    } else {
        body = reply->readAll();
        if (status < 200 || status > 299) {
            // SOAP 1.2 over HTTP answers faults with 400 or 500.
            error = OnvifParse::fault(body).value_or(OnvifError::make(
                Kind::Http, reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(),
                status));
        }
    }
    if (error) {
        qWarning().noquote() << QStringLiteral("ONVIF %1 to %2 failed: %3")
                                    .arg(operationName(call->request), m_deviceUrl.host(),
                                         error->text().simplified().left(200));
    }
    if (call->hasContext && !call->context)
        return;
    if (error)
        call->done(*error);
    else
        call->done(body);
}

void OnvifClient::connectDevice(QObject *context, Callback<OnvifServices> done)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_services = {};
    m_servicesKnown = false;
    QPointer<QObject> guard = context;
    const bool hasContext = context != nullptr;
    // The clock first, so that the UsernameToken of the next requests is fresh on the
    // device's clock; a device that refuses to tell its time still gets asked for its services.
    getSystemDateAndTime(this,
                         [this, guard, hasContext, done](const OnvifResult<OnvifDateTime> &t) {
                             if (hasContext && !guard)
                                 return;
                             const Kind k = t.error().kind;
                             if (!t && (k == Kind::Network || k == Kind::Timeout))
                                 return done(t.error());
                             fetchServices(guard, done);
                         });
}

void OnvifClient::fetchServices(QObject *context, Callback<OnvifServices> done)
{
    auto adopt = [this](const OnvifServices &reported) {
        m_services.device = onDeviceHost(reported.device);
        if (!m_services.device.isValid())
            m_services.device = m_deviceUrl;
        m_services.media = onDeviceHost(reported.media);
        m_services.ptz = onDeviceHost(reported.ptz);
        m_services.events = onDeviceHost(reported.events);
        m_services.recording = onDeviceHost(reported.recording);
        m_services.search = onDeviceHost(reported.search);
        m_services.replay = onDeviceHost(reported.replay);
        m_servicesKnown = true;
        return m_services;
    };
    invoke<OnvifServices>(
        OnvifSoap::getCapabilities(), context,
        [this, context, done, adopt](const OnvifResult<OnvifServices> &caps) {
            if (caps && caps->media.isValid())
                return done(adopt(caps.value()));
            const Kind k = caps.error().kind;
            if (!caps &&
                (caps.error().isNotAuthorized() || k == Kind::Network || k == Kind::Timeout))
                return done(caps.error());
            invoke<OnvifServices>(
                OnvifSoap::getServices(), context,
                [done, adopt](const OnvifResult<OnvifServices> &s) {
                    if (!s)
                        return done(s.error());
                    if (!s->media.isValid())
                        return done(OnvifError::make(Kind::Unsupported, QStringLiteral("media")));
                    done(adopt(s.value()));
                },
                &OnvifParse::services);
        },
        &OnvifParse::capabilities);
}

void OnvifClient::getDeviceInformation(QObject *context, Callback<OnvifDeviceInfo> done)
{
    invoke<OnvifDeviceInfo>(OnvifSoap::getDeviceInformation(), context, std::move(done),
                            &OnvifParse::deviceInformation);
}

void OnvifClient::getSystemDateAndTime(QObject *context, Callback<OnvifDateTime> done)
{
    invoke<OnvifDateTime>(
        OnvifSoap::getSystemDateAndTime(), context,
        [this, done = std::move(done)](const OnvifResult<OnvifDateTime> &r) {
            if (r && r->utc.isValid())
                m_clockOffsetMs = QDateTime::currentDateTimeUtc().msecsTo(r->utc);
            done(r);
        },
        &OnvifParse::systemDateAndTime, false);
}

void OnvifClient::setSystemDateAndTime(const QDateTime &utc, const QString &posixTz,
                                       bool daylightSavings, QObject *context,
                                       Callback<OnvifDone> done)
{
    // The device's clock moves: the next UsernameTokens follow it.
    const qint64 offset = utc.isValid() ? QDateTime::currentDateTimeUtc().msecsTo(utc) : 0;
    invoke<OnvifDone>(
        OnvifSoap::setSystemDateAndTime(utc, posixTz, daylightSavings), context,
        [this, offset, done = std::move(done)](const OnvifResult<OnvifDone> &r) {
            if (r && offset)
                m_clockOffsetMs = offset;
            done(r);
        },
        [](const QByteArray &reply) {
            return OnvifParse::empty(reply, OnvifNs::Device,
                                     QStringLiteral("SetSystemDateAndTime"));
        });
}

void OnvifClient::getProfiles(QObject *context, Callback<QList<OnvifProfile>> done)
{
    invoke<QList<OnvifProfile>>(OnvifSoap::getProfiles(), context, std::move(done),
                                &OnvifParse::profiles);
}

void OnvifClient::getStreamUri(const QString &profileToken, QObject *context, Callback<QUrl> done)
{
    invoke<QUrl>(OnvifSoap::getStreamUri(profileToken), context, std::move(done),
                 [host = m_deviceUrl.host()](const QByteArray &reply) {
                     return onHost(OnvifParse::streamUri(reply), host);
                 });
}

void OnvifClient::getSnapshotUri(const QString &profileToken, QObject *context, Callback<QUrl> done)
{
    invoke<QUrl>(OnvifSoap::getSnapshotUri(profileToken), context, std::move(done),
                 [host = m_deviceUrl.host()](const QByteArray &reply) {
                     return onHost(OnvifParse::snapshotUri(reply), host);
                 });
}

void OnvifClient::continuousMove(const QString &profileToken, double pan, double tilt, double zoom,
                                 QObject *context, Callback<OnvifDone> done)
{
    invoke<OnvifDone>(OnvifSoap::continuousMove(profileToken, pan, tilt, zoom), context,
                      std::move(done), [](const QByteArray &reply) {
                          return OnvifParse::empty(reply, OnvifNs::Ptz,
                                                   QStringLiteral("ContinuousMove"));
                      });
}

void OnvifClient::stop(const QString &profileToken, QObject *context, Callback<OnvifDone> done)
{
    invoke<OnvifDone>(OnvifSoap::stop(profileToken), context, std::move(done),
                      [](const QByteArray &reply) {
                          return OnvifParse::empty(reply, OnvifNs::Ptz, QStringLiteral("Stop"));
                      });
}

void OnvifClient::getPresets(const QString &profileToken, QObject *context,
                             Callback<QList<OnvifPreset>> done)
{
    invoke<QList<OnvifPreset>>(OnvifSoap::getPresets(profileToken), context, std::move(done),
                               &OnvifParse::presets);
}

void OnvifClient::setPreset(const QString &profileToken, const QString &name, QObject *context,
                            Callback<QString> done, const QString &presetToken)
{
    invoke<QString>(OnvifSoap::setPreset(profileToken, name, presetToken), context, std::move(done),
                    &OnvifParse::presetToken);
}

void OnvifClient::gotoPreset(const QString &profileToken, const QString &presetToken,
                             QObject *context, Callback<OnvifDone> done)
{
    invoke<OnvifDone>(OnvifSoap::gotoPreset(profileToken, presetToken), context, std::move(done),
                      [](const QByteArray &reply) {
                          return OnvifParse::empty(reply, OnvifNs::Ptz,
                                                   QStringLiteral("GotoPreset"));
                      });
}
