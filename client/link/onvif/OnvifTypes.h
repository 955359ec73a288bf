#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <utility>

// Plain values of the camera's standard control protocol (SOAP over HTTP) and
// of its LAN discovery: what the parsers return and the client hands to its
// callers. Copyable, no Qt object; any thread.

// Why a call has no result.
struct OnvifError
{
    enum class Kind {
        Fault,         // the device answered with a SOAP fault (code, subcodes, reason)
        Malformed,     // the reply is not the expected SOAP answer
        Oversized,     // the reply exceeds the size, depth or element limit
        NotAuthorized, // HTTP 401 after the one retry with credentials
        Http,          // another HTTP status without a SOAP fault (status)
        Network,       // connection refused, reset, DNS, TLS ... (reason)
        Timeout,       // no complete reply within the call's time-out
        Unsupported,   // the device has no such service (e.g. no PTZ)
    };

    Kind kind = Kind::Malformed;
    QString code;         // Fault: the fault code's local name ("Sender", "Receiver")
    QStringList subcodes; // Fault: local names of the subcodes, outermost first
    QString reason;       // Fault: the reason text; otherwise a short explanation
    int status = 0;       // Http / NotAuthorized: the HTTP status

    // The device refused the credentials: HTTP 401, or a fault whose subcode
    // is NotAuthorized (WS-Security).
    bool isNotAuthorized() const
    {
        return kind == Kind::NotAuthorized ||
               (kind == Kind::Fault && subcodes.contains(QStringLiteral("NotAuthorized")));
    }
    // One line for a message box or the debug log; never holds credentials.
    QString text() const;

    static OnvifError make(Kind kind, const QString &reason, int status = 0)
    {
        OnvifError e;
        e.kind = kind;
        e.reason = reason;
        e.status = status;
        return e;
    }
};

// A value or the error that stands in for it.
template <class T> class OnvifResult
{
public:
    OnvifResult(T value)
        : m_value(std::move(value))
    {}
    OnvifResult(OnvifError error)
        : m_error(std::move(error))
    {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T &value() const { return *m_value; }
    const T &operator*() const { return *m_value; }
    const T *operator->() const { return &*m_value; }
    const OnvifError &error() const { return m_error; }

private:
    std::optional<T> m_value;
    OnvifError m_error;
};

// A reply that carries nothing but its success (Stop, GotoPreset ...).
struct OnvifDone
{
};

// Where the device answers each service; empty when it has none.
struct OnvifServices
{
    QUrl device;
    QUrl media;
    QUrl ptz;
    QUrl events;
    QUrl recording; // recording control (GetRecordings)
    QUrl search;    // recording search (FindRecordings, FindEvents)
    QUrl replay;    // GetReplayUri
};

struct OnvifDeviceInfo
{
    QString manufacturer;
    QString model;
    QString firmware;
    QString serial;
    QString hardwareId;
};

struct OnvifProfile
{
    QString token;
    QString name;
    QString videoSourceToken;
    QString encoding; // "H264", "JPEG", "MPEG4", ... as the device names it
    int width = 0;
    int height = 0;
    bool hasPtz = false;            // the profile carries a PTZ configuration
    QString videoSourceConfigToken; // events may name the source by it
    QString audioEncoding;          // "G711", "AAC", ...; empty: no audio encoder
    bool hasAudioOutput = false;    // an audio output or decoder configuration (talk-back)
};

struct OnvifPreset
{
    QString token;
    QString name;
};

struct OnvifDateTime
{
    QDateTime utc;    // invalid when the device did not send its UTC time
    QString timeZone; // POSIX TZ string, e.g. "CET-1CEST,M3.5.0,M10.5.0/3"
    bool daylightSavings = false;
    bool manual = true; // DateTimeType Manual (false: NTP)
};

// A recording kept on the device (recording search or recording service).
struct OnvifRecording
{
    QString token;
    QString sourceId;   // the video source it records, as the device names it
    QDateTime earliest; // UTC; invalid when not told (GetRecordings)
    QDateTime latest;
};

// One page of a recording or event search.
template <class T> struct OnvifSearchPage
{
    bool completed = false; // SearchState Completed: no more results follow
    QList<T> results;
};

struct OnvifRecordingSummary
{
    QDateTime from; // UTC
    QDateTime until;
    int recordings = 0;
};

// A notification of the event service, live (PullMessages) or recorded
// (FindEvents), reduced to what the client follows. Notifications of other
// topics are not returned.
struct OnvifEvent
{
    enum class Kind {
        Motion = 1, // VideoSource/MotionAlarm State, RuleEngine/CellMotionDetector/Motion IsMotion
        Tamper = 2, // VideoSource/GlobalSceneChange/..., ImageToo..., RuleEngine/TamperDetector
        Input = 3,  // Device/Trigger/DigitalInput LogicalState
        Recording = 4, // RecordingHistory/Track/State IsDataPresent
    };
    Kind kind = Kind::Motion;
    bool state = false;      // the alarm is on / data is present
    QDateTime utc;           // invalid when the message did not say
    QString topic;           // below the topic namespace, e.g. "VideoSource/MotionAlarm"
    QString source;          // video source (or its configuration) token; empty when none
    QString recording;       // recorded events: the recording's token
    bool startState = false; // recorded events: the state at the search start
};

// A PullPoint subscription: its address and the times of the device's clock.
struct OnvifSubscription
{
    QUrl address;
    QDateTime currentTime; // invalid when not told
    QDateTime terminationTime;
};

// The answer of PullMessages (or Renew: no events).
struct OnvifPull
{
    QDateTime currentTime;
    QDateTime terminationTime;
    QList<OnvifEvent> events;
};

struct OnvifReplayCapabilities
{
    bool reversePlayback = false;
};

// One device's answer to a discovery probe.
struct OnvifProbeMatch
{
    QString endpoint;  // the endpoint reference address, e.g. "urn:uuid:..."
    QStringList types; // "{namespace}local" of each type
    QStringList scopes;
    QList<QUrl> xaddrs; // http(s) addresses of the device service
    int metadataVersion = 0;

    // The name scope (onvif://www.onvif.org/name/...), percent-decoded; empty when none.
    QString name() const;
};

struct OnvifProbeMatches
{
    QString relatesTo; // the probe's MessageID this answers
    QList<OnvifProbeMatch> matches;
};
