#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace accountd {

// One HTTP request as the handlers see it, independent of the HTTP server library.
struct ApiRequest
{
    QByteArray method;      // "GET", "POST", ...
    QString path;           // decoded URL path
    QByteArray query;       // raw query string, without "?"
    QByteArray contentType; // Content-Type header value
    QByteArray body;
    QString host;        // Host header value
    QString peer;        // client address
    bool secure = false; // arrived over TLS
};

struct ApiReply
{
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QByteArray cacheControl = "no-store";
    // Nothing may be loaded or framed on account of a reply unless a page allows its own parts.
    QByteArray contentSecurityPolicy = "default-src 'none'; frame-ancestors 'none'";
    QString note; // for the log line: outcome and reason, never a secret
};

// Service settings that the command line may change.
struct ApiSettings
{
    qint64 accessTtlSecs = 2 * 3600;
    qint64 refreshTtlSecs = 30 * 24 * 3600;
    int loginAttempts = 5;
    qint64 loginWindowMs = 60 * 1000;
    int signUpsPerHour = 20;
    QString publicUrl;   // origin for avatar URLs ("https://host:port"); empty: the Host header
    QString localOrigin; // origin used when neither gives one
    qint64 maxFormBytes = 1024 * 1024;
    qint64 maxImageBytes = 5 * 1024 * 1024;
};

// The "error_code" (login, device list, sign-up, refresh) or "result_code" (all others)
// values of a reply. 0 is success.
enum class ReplyCode {
    Ok = 0,
    BadRequest = 1,
    WrongCredentials = 2,
    TooManyAttempts = 3,
    BadToken = 4,
    NoSuchDevice = 5,
    AlreadyExists = 6,
    TooLarge = 7,
    ServerError = 8,
    NoSuchPath = 9,
    WrongMethod = 10,
};

enum class CodeKey { ErrorCode, ResultCode };

inline const char *codeKeyName(CodeKey key)
{
    return key == CodeKey::ErrorCode ? "error_code" : "result_code";
}

// A JSON reply whose code field is `code` and, unless it is Ok, a "reason" text.
ApiReply jsonReply(CodeKey key, ReplyCode code, const QString &reason = QString(),
                   const QJsonObject &extra = QJsonObject(), int status = 200);

} // namespace accountd
