#pragma once

#include "link/onvif/HttpDigest.h"
#include "link/onvif/OnvifSoap.h"
#include "link/onvif/OnvifTypes.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// Talks to one camera over its standard SOAP control protocol (device, media,
// PTZ, recording, search, replay and event services), asynchronously over
// QNetworkAccessManager.
//
//   auto *onvif = new OnvifClient(this);
//   onvif->setDevice(QUrl("http://192.168.1.20/onvif/device_service"), user, password);
//   onvif->connectDevice(this, [](const OnvifResult<OnvifServices> &r) { ... });
//   onvif->getProfiles(this, [](const OnvifResult<QList<OnvifProfile>> &r) {
//       if (!r) return showError(r.error().text());
//       ...
//   });
//
// Every call ends with exactly one callback, with the parsed value or an
// error (OnvifError: fault, malformed, oversized, not authorized, HTTP,
// network, time-out, unsupported), unless its context object is destroyed
// first or cancelAll() drops it. A call gives up after timeoutMs() and
// aborts a reply larger than replyLimit().
//
// Authentication: each request carries a WS-Security UsernameToken (password
// digest) whose creation time follows the device's clock: connectDevice()
// reads GetSystemDateAndTime (unauthenticated) and keeps the offset. When the
// device answers 401 with an HTTP Digest challenge, the request is sent once
// more with a Digest Authorization, and from then on every request uses
// Digest (nonce counts continue) instead of WS-Security; a second 401 ends the
// call with NotAuthorized, never a loop. Basic challenges are not answered.
//
// Service addresses: connectDevice() asks GetCapabilities, and GetServices
// when that fails or names no media service. Only the path of an address the
// device reports is used, on the scheme, host and port of the device URL,
// so credentials never go to a host the user did not name (and devices behind
// NAT keep working). Before connectDevice(), every request goes to the
// device URL. Stream, snapshot and replay URIs likewise get the device URL's
// host (their own scheme, port and path), and so does the address of a
// PullPoint subscription.
//
// Searches (findRecordings, findEvents) fetch their results page by page until
// the device says the search is complete, at most MaxSearchPages pages,
// MaxSearchResults results and MaxSearchMs; a search given up early is ended
// with EndSearch and answers what it found.
//
// The password is kept in memory only; nothing here logs it.
//
// Threads: GUI thread only (the object and its callbacks).
class OnvifClient : public QObject
{
    Q_OBJECT

public:
    template <class T> using Callback = std::function<void(const OnvifResult<T> &)>;
    enum class AuthMode { WsSecurity, HttpDigest };

    static constexpr int DefaultTimeoutMs = 10000;
    static constexpr qint64 DefaultReplyLimit = 1024 * 1024;
    static constexpr int SearchPageSize = 100;
    static constexpr int SearchWaitSecs = 1;
    static constexpr int MaxSearchPages = 100;
    static constexpr int MaxSearchResults = 4096;
    static constexpr int MaxSearchMs = 30000;

    explicit OnvifClient(QObject *parent = nullptr);
    ~OnvifClient() override;

    // Forgets the service addresses, the clock offset and the Digest state, and
    // drops the calls still pending (without calling back).
    void setDevice(const QUrl &deviceServiceUrl, const QString &user, const QString &password);
    QUrl deviceUrl() const { return m_deviceUrl; }
    QString user() const { return m_user; }

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }
    void setReplyLimit(qint64 bytes) { m_replyLimit = bytes; }
    qint64 replyLimit() const { return m_replyLimit; }

    AuthMode authMode() const { return m_digest ? AuthMode::HttpDigest : AuthMode::WsSecurity; }
    // Device clock minus local clock (UTC), from the last GetSystemDateAndTime.
    qint64 clockOffsetMs() const { return m_clockOffsetMs; }
    // The addresses in use; empty before connectDevice() succeeded.
    OnvifServices services() const { return m_services; }
    // Calls still waiting for their replies.
    int pendingCalls() const { return int(m_replies.size()); }
    // Aborts every pending call without calling back.
    void cancelAll();

    // Each call below: the callback runs on the GUI thread, unless context
    // (when given) was destroyed before the reply came.

    // Reads the device's clock offset, then its service addresses.
    void connectDevice(QObject *context, Callback<OnvifServices> done);
    void getDeviceInformation(QObject *context, Callback<OnvifDeviceInfo> done);
    // Also updates clockOffsetMs().
    void getSystemDateAndTime(QObject *context, Callback<OnvifDateTime> done);
    // Manual time: utc, a POSIX TZ string (kept when empty) and the DST flag. Once the
    // device took it, clockOffsetMs() follows the new clock.
    void setSystemDateAndTime(const QDateTime &utc, const QString &posixTz, bool daylightSavings,
                              QObject *context, Callback<OnvifDone> done);
    void getProfiles(QObject *context, Callback<QList<OnvifProfile>> done);
    void getStreamUri(const QString &profileToken, QObject *context, Callback<QUrl> done);
    void getSnapshotUri(const QString &profileToken, QObject *context, Callback<QUrl> done);
    // Velocities -1..1: pan (right +), tilt (up +), zoom (in +); moves until stop().
    void continuousMove(const QString &profileToken, double pan, double tilt, double zoom,
                        QObject *context, Callback<OnvifDone> done);
    void stop(const QString &profileToken, QObject *context, Callback<OnvifDone> done);
    void getPresets(const QString &profileToken, QObject *context,
                    Callback<QList<OnvifPreset>> done);
    // Stores the position as a new preset (named when name is not empty), or over the
    // existing preset presetToken names; the callback gets its token.
    void setPreset(const QString &profileToken, const QString &name, QObject *context,
                   Callback<QString> done, const QString &presetToken = QString());
    void gotoPreset(const QString &profileToken, const QString &presetToken, QObject *context,
                    Callback<OnvifDone> done);

    // Recordings: every recording the recording service keeps (no times), or
    // found by the search service (with their first and last recorded time).
    void getRecordings(QObject *context, Callback<QList<OnvifRecording>> done);
    void findRecordings(QObject *context, Callback<QList<OnvifRecording>> done);
    void getRecordingSummary(QObject *context, Callback<OnvifRecordingSummary> done);
    // The recorded events of the followed topics in [from, to] of the given
    // recordings (all when empty), the states at from included.
    void findEvents(const QDateTime &from, const QDateTime &to, const QStringList &recordingTokens,
                    QObject *context, Callback<QList<OnvifEvent>> done);
    void endSearch(const QString &searchToken, QObject *context, Callback<OnvifDone> done);
    void getReplayUri(const QString &recordingToken, QObject *context, Callback<QUrl> done);
    void getReplayCapabilities(QObject *context, Callback<OnvifReplayCapabilities> done);

    // Events: a PullPoint subscription, pulled from its address; a pull
    // waits up to timeoutSecs on the device, and the call's own time-out is
    // that plus timeoutMs().
    void createPullPointSubscription(int terminationSecs, QObject *context,
                                     Callback<OnvifSubscription> done);
    void pullMessages(const QUrl &subscription, int timeoutSecs, int messageLimit, QObject *context,
                      Callback<OnvifPull> done);
    void renew(const QUrl &subscription, int terminationSecs, QObject *context,
               Callback<OnvifPull> done);
    void unsubscribe(const QUrl &subscription, QObject *context, Callback<OnvifDone> done);

private:
    struct Call;

    template <class T>
    void invoke(const OnvifSoap::Request &request, QObject *context, Callback<T> done,
                std::function<OnvifResult<T>(const QByteArray &)> parse, bool authenticate = true,
                const QUrl &url = QUrl(), int timeoutMs = 0);
    template <class T> struct Search;
    template <class T> void nextPage(const std::shared_ptr<Search<T>> &search);
    void send(const std::shared_ptr<Call> &call);
    void finish(QNetworkReply *reply, const std::shared_ptr<Call> &call);
    QUrl serviceUrl(OnvifSoap::Service service) const;
    QUrl onDeviceHost(const QUrl &reported) const;
    void fetchServices(QObject *context, Callback<OnvifServices> done);

    QNetworkAccessManager *m_nam;
    QSet<QNetworkReply *> m_replies;
    QUrl m_deviceUrl;
    QString m_user;
    QString m_password;
    OnvifServices m_services;
    bool m_servicesKnown = false;
    qint64 m_clockOffsetMs = 0;
    std::optional<HttpDigest::Challenge> m_digest;
    quint32 m_nonceCount = 0;
    int m_timeoutMs = DefaultTimeoutMs;
    qint64 m_replyLimit = DefaultReplyLimit;
};
