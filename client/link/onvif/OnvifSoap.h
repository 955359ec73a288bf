#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

// The SOAP 1.2 requests of the camera control protocol (device, media, PTZ,
// recording, search, replay and event services, and the PullPoint
// subscriptions the event service makes) and the WS-Discovery probe, as
// UTF-8 bytes ready to post.
// Text that came from a device (profile and preset tokens, names) is escaped.
//
//   const OnvifSoap::Request r = OnvifSoap::getProfiles();
//   const auto token = OnvifSoap::usernameToken(user, password, deviceUtcNow);
//   post(serviceUrl(r.service), r.action, OnvifSoap::envelope(r.body, &token));
//
// Threads: any (pure functions; usernameToken() draws from the system's
// random generator).
class OnvifSoap
{
public:
    // Subscription: the address a CreatePullPointSubscription answered with.
    enum class Service { Device, Media, Ptz, Events, Recording, Search, Replay, Subscription };

    struct Request
    {
        Service service;
        QByteArray action; // the SOAP action URI (the HTTP content type's action parameter)
        QByteArray body;   // the element that goes into soap:Body
        QByteArray header; // further soap:Header elements (WS-Addressing); usually none
        QByteArray operation() const { return action.mid(action.lastIndexOf('/') + 1); }
    };

    // WS-Security UsernameToken with a password digest:
    // Base64(SHA-1(nonce + created + password)); created in UTC, e.g. "2024-05-01T10:00:00Z".
    struct UsernameToken
    {
        QString user;
        QByteArray digest; // Base64
        QByteArray nonce;  // raw bytes (sent Base64)
        QString created;
    };
    static constexpr int NonceBytes = 16;

    // created is the device's clock (local time plus the measured offset); a
    // null nonce draws NonceBytes random bytes.
    static UsernameToken usernameToken(const QString &user, const QString &password,
                                       const QDateTime &created,
                                       const QByteArray &nonce = QByteArray());
    static QByteArray passwordDigest(const QByteArray &nonce, const QString &created,
                                     const QString &password);
    // The whole message: body inside an envelope, with a security header when
    // token is given and the further header elements.
    static QByteArray envelope(const QByteArray &body, const UsernameToken *token = nullptr,
                               const QByteArray &header = QByteArray());

    static Request getCapabilities();
    static Request getServices();
    static Request getDeviceInformation();
    static Request getSystemDateAndTime();
    // Manual time: utc as the device's UTC clock, posixTz like "CET-1CEST,M3.5.0,M10.5.0/3"
    // (left out when empty).
    static Request setSystemDateAndTime(const QDateTime &utc, const QString &posixTz,
                                        bool daylightSavings);
    static Request getProfiles();
    // RTP unicast over RTSP.
    static Request getStreamUri(const QString &profileToken);
    static Request getSnapshotUri(const QString &profileToken);
    // Velocities from -1 to 1 (clamped): pan and tilt (positive right and up) and zoom (in).
    static Request continuousMove(const QString &profileToken, double pan, double tilt,
                                  double zoom);
    // Stops pan, tilt and zoom.
    static Request stop(const QString &profileToken);
    static Request getPresets(const QString &profileToken);
    // Stores the current position as a new preset, named when name is not empty; with a
    // presetToken, over that existing preset.
    static Request setPreset(const QString &profileToken, const QString &name = QString(),
                             const QString &presetToken = QString());
    static Request gotoPreset(const QString &profileToken, const QString &presetToken);

    // Recording control: every recording and its source.
    static Request getRecordings();
    // Recording search. A search answers with its token; its results come in
    // pages of at most maxResults, each waiting up to waitSecs for results.
    static Request findRecordings(int maxMatches, int keepAliveSecs);
    static Request getRecordingSearchResults(const QString &searchToken, int maxResults,
                                             int waitSecs);
    static Request getRecordingSummary();
    // The events of the recordings (all when recordingTokens is empty) in
    // [from, to], with the state at from.
    static Request findEvents(const QDateTime &from, const QDateTime &to,
                              const QStringList &recordingTokens, int maxMatches,
                              int keepAliveSecs);
    static Request getEventSearchResults(const QString &searchToken, int maxResults, int waitSecs);
    static Request endSearch(const QString &searchToken);
    // Replay: the RTSP URI of a recording, and what the service offers.
    static Request getReplayUri(const QString &recordingToken);
    static Request getReplayServiceCapabilities();
    // Events: a PullPoint subscription to every topic, ending after
    // terminationSecs unless renewed; to is the subscription's address.
    static Request createPullPointSubscription(int terminationSecs);
    static Request pullMessages(const QUrl &to, int timeoutSecs, int messageLimit);
    static Request renew(const QUrl &to, int terminationSecs);
    static Request unsubscribe(const QUrl &to);

    // A whole WS-Discovery Probe for network video transmitters.
    static QByteArray probe(const QString &messageId);

    // Text for element content or a quoted attribute: &<>"' escaped, characters
    // XML cannot carry dropped.
    static QByteArray escaped(const QString &text);
};
