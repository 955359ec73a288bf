#pragma once

#include "core/ServerTrust.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QString>
#include <QTimer>

class QHttpMultiPart;
class QNetworkAccessManager;
class QNetworkRequest;

// One HTTP request to the account service: a form-encoded GET or POST, or a
// multipart POST, with a time-out. The owner creates one object a request,
// connects responsed(), starts the request and deletes the object in its slot.
// HTTPS certificates are checked against the system's authorities plus the
// settings' extra CA file. A certificate they do not vouch for passes only
// when its key is the one pinned for the server (ServerTrust); otherwise the
// request fails and untrusted() says what the server showed, so that the
// user can be asked. Every other certificate error fails the request
// (never ignored). Replies larger than MaxReplyBytes fail. GUI thread only.
class Http : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultTimeoutMs = 10000;
    static constexpr qint64 MaxReplyBytes = 8 * 1024 * 1024;
    static constexpr int TimeoutError = -1;

    explicit Http(QObject *parent = nullptr);
    ~Http() override;

    // The time-out of requests created from now on (tests shorten it); 0
    // restores the default.
    static void setTimeoutForNewRequests(int ms);

    void setUrl(const QString &url) { m_url = url; }
    QString url() const { return m_url; }
    // GET of url, or of url + "/" + query when query is not empty.
    void get(const QString &query = QString());
    // POST of url with the body (a form: "a=1&b=2", values percent-encoded).
    void post(const QString &body);
    // POST of url with the multipart body (owned by the caller), no proxy.
    void postMultipart(QHttpMultiPart *multiPart);

    QByteArray response() const { return m_response; }
    // 0: none; a QNetworkReply::NetworkError; TimeoutError after the time-out.
    int error() const { return m_error; }
    // The HTTP status of the last reply (0 when none came).
    int status() const { return m_status; }
    // What the server showed when the last request failed on a certificate
    // the system does not trust (empty otherwise).
    ServerTrust::Untrusted untrusted() const { return m_untrusted; }
    bool isPending() const { return m_reply != nullptr; }

signals:
    void responsed(bool ok);

private slots:
    void finishReply();

private:
    bool finishedSlot(QNetworkReply *reply);
    QNetworkRequest request(const QString &url) const;
    void track(QNetworkReply *reply);
    void drop();
    void checkTrust(QNetworkReply *reply, const QList<QSslError> &errors);

    QNetworkAccessManager *m_manager;
    QPointer<QNetworkReply> m_reply;
    QTimer m_timer;
    QString m_url;
    QByteArray m_response;
    int m_error = 0;
    int m_status = 0;
    int m_timeoutMs;
    ServerTrust::Untrusted m_untrusted;
};
