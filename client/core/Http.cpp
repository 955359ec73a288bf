#include "core/Http.h"

#include "config/Config.h"

#include <QFile>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>

namespace {

int g_timeoutMs = Http::DefaultTimeoutMs;

// The system's authorities plus those of the settings' CA file.
QSslConfiguration tlsConfiguration()
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    const QString caFile = Config::instance()->get(ConfigKey::AccountCaFile).trimmed();
    if (!caFile.isEmpty()) {
        const QList<QSslCertificate> extra = QSslCertificate::fromPath(caFile, QSsl::Pem);
        if (extra.isEmpty())
            qWarning("[ERROR]account CA file %s holds no certificate", qPrintable(caFile));
        tls.addCaCertificates(extra);
    }
    return tls;
}

} // namespace

Http::Http(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager)
    , m_timeoutMs(g_timeoutMs)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(m_timeoutMs);
    connect(&m_timer, &QTimer::timeout, this, &Http::finishReply);
}

Http::~Http()
{
    drop();
    m_manager->deleteLater();
}

void Http::setTimeoutForNewRequests(int ms)
{
    g_timeoutMs = ms > 0 ? ms : DefaultTimeoutMs;
}

QNetworkRequest Http::request(const QString &url) const
{
    QNetworkRequest r{QUrl(url)};
    if (r.url().scheme() == QLatin1String("https"))
        r.setSslConfiguration(tlsConfiguration());
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                   QNetworkRequest::NoLessSafeRedirectPolicy);
    return r;
}

void Http::get(const QString &query)
{
    QNetworkRequest r = request(query.isEmpty() ? m_url : m_url + QLatin1Char('/') + query);
    r.setHeader(QNetworkRequest::ContentTypeHeader,
                QStringLiteral("application/x-www-form-urlencoded; charset=utf-8"));
    track(m_manager->get(r));
}

void Http::post(const QString &body)
{
    QNetworkRequest r = request(m_url);
    r.setHeader(QNetworkRequest::ContentTypeHeader,
                QStringLiteral("application/x-www-form-urlencoded; charset=utf-8"));
    track(m_manager->post(r, body.toUtf8()));
}

void Http::postMultipart(QHttpMultiPart *multiPart)
{
    m_manager->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    track(m_manager->post(request(m_url), multiPart));
}

void Http::track(QNetworkReply *reply)
{
    drop();
    m_response.clear();
    m_error = 0;
    m_status = 0;
    m_untrusted = ServerTrust::Untrusted();
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, &Http::finishReply);
    connect(reply, &QNetworkReply::sslErrors, this,
            [this, reply](const QList<QSslError> &errors) { checkTrust(reply, errors); });
    // A reply larger than any the service sends is cut off as an error.
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
        if (received > MaxReplyBytes && reply == m_reply)
            reply->abort();
    });
    m_timer.start(m_timeoutMs);
}

void Http::checkTrust(QNetworkReply *reply, const QList<QSslError> &errors)
{
    // Only "nobody the system trusts vouches for it" (a self-signed or
    // privately issued certificate, also for another name) may be overruled
    // by a pin; an expired or broken certificate never is.
    static const QList<QSslError::SslError> trustOnly{QSslError::SelfSignedCertificate,
                                                      QSslError::SelfSignedCertificateInChain,
                                                      QSslError::UnableToGetLocalIssuerCertificate,
                                                      QSslError::UnableToVerifyFirstCertificate,
                                                      QSslError::CertificateUntrusted,
                                                      QSslError::HostNameMismatch};
    const QSslCertificate peer = reply->sslConfiguration().peerCertificate();
    bool onlyTrust = !errors.isEmpty() && !peer.isNull();
    for (const QSslError &e : errors)
        onlyTrust = onlyTrust && trustOnly.contains(e.error());
    if (!onlyTrust || reply != m_reply)
        return;
    ServerTrust::Untrusted seen;
    seen.server = ServerTrust::serverOf(reply->url());
    seen.fingerprint = ServerTrust::fingerprint(peer);
    seen.issuer = peer.issuerDisplayName().left(200);
    seen.pinned = ServerTrust::pinned(seen.server);
    if (!seen.fingerprint.isEmpty() && seen.pinned == seen.fingerprint) {
        reply->ignoreSslErrors(errors);
        return;
    }
    m_untrusted = seen;
}

void Http::drop()
{
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

bool Http::finishedSlot(QNetworkReply *reply)
{
    m_status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError) {
        m_error = reply->error();
        return false;
    }
    m_response = reply->readAll();
    if (m_response.size() > MaxReplyBytes) {
        m_response.clear();
        m_error = QNetworkReply::UnknownContentError;
        return false;
    }
    return true;
}

void Http::finishReply()
{
    if (!m_reply)
        return;
    bool ok = false;
    if (m_timer.isActive()) {
        m_timer.stop();
        ok = finishedSlot(m_reply);
    } else {
        qWarning("[ERROR]http request timeout");
        m_error = TimeoutError;
    }
    drop();
    emit responsed(ok);
}
