#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class QSqlQuery;

namespace accountd {

class Database;
class FieldCipher;

// Users, login sessions, devices and avatars in the service's database. Tokens are kept only
// as SHA-256 digests, passwords only as scrypt hashes, device view passwords sealed by the
// FieldCipher. Every device operation names the owning user, so a device id of another
// account behaves as one that does not exist. The store's clock is the service's time for
// requests and expiries. Main thread (the database connection's).
class AccountStore
{
public:
    enum class Status { Ok, NotFound, Conflict, Failed };

    struct User
    {
        qint64 id = 0;
        QString username;
        QString passwordHash;
        QString nickname;
        QString email;
        QString phone;
        QString avatarId; // empty: no avatar
        QString avatarMime;
    };

    struct Device
    {
        qint64 id = 0;
        qint64 userId = 0;
        QString uid;
        QString nickname;
        QString viewAccount;
        QString viewPassword;
        int type = 0;
        int channels = 1;
        QString area;
        // RTSP devices: kind "rtsp", the stream list, ONVIF host and transport
        // as the client keeps them; empty for P2P devices.
        QString kind;
        QString streams;
        QString onvif;
        QString transport;
    };

    struct Session
    {
        qint64 id = 0;
        qint64 userId = 0;
    };

    // Milliseconds since the epoch.
    using Clock = std::function<qint64()>;

    AccountStore(Database &database, const FieldCipher &cipher);

    // The system clock unless another is set (tests move time forward with one).
    void setClock(Clock clock) { m_clock = std::move(clock); }
    qint64 nowMs() const { return m_clock(); }

    Database &database() const { return m_database; }
    // Whether the database answers now (for the health check).
    bool ping() const;

    // The driver's text of the last failure, for the log (never holds a value of a secret).
    QString lastError() const { return m_lastError; }

    Status addUser(User &user); // sets user.id; Conflict when the name is taken
    Status userByName(const QString &username, User *user);
    Status userById(qint64 id, User *user);
    Status updateProfile(qint64 userId, const QString &nickname, const QString &email,
                         const QString &phone);
    Status setPasswordHash(qint64 userId, const QString &hash);

    // Also drops the sessions whose refresh token has expired.
    Status createSession(qint64 userId, const QString &accessHash, qint64 accessExpires,
                         const QString &refreshHash, qint64 refreshExpires, qint64 now);
    Status sessionForAccess(const QString &accessHash, qint64 now, Session *session);
    // Replaces both tokens of the session whose refresh token is given and unexpired.
    Status rotateSession(const QString &refreshHash, qint64 now, const QString &accessHash,
                         qint64 accessExpires, const QString &newRefreshHash, qint64 refreshExpires,
                         Session *session);
    Status endOtherSessions(qint64 userId, qint64 keepSessionId);

    // A password reset code for the user, by its digest, valid for ResetCode::lifetimeMs from
    // now; it replaces the user's earlier code. Codes that have expired are deleted.
    Status createPasswordReset(qint64 userId, const QString &codeDigest);
    // Spends the user's reset code when codeDigest matches it (compared in constant time) and
    // it has not expired: sets the password hash and ends all the user's sessions, in one
    // transaction. NotFound when the user has no such code, or it has expired.
    Status redeemPasswordReset(qint64 userId, const QString &codeDigest,
                               const QString &passwordHash);

    Status devices(qint64 userId, QList<Device> *devices);
    Status device(qint64 userId, qint64 deviceId, Device *device);
    Status addDevice(Device &device); // sets device.id; Conflict when the user has the UID
    Status updateDevice(const Device &device);
    Status deleteDevice(qint64 userId, qint64 deviceId);

    // Replaces the user's avatar; the old one is no longer served.
    Status setAvatar(qint64 userId, const QString &avatarId, const QByteArray &mime,
                     const QByteArray &data);
    Status avatar(const QString &avatarId, QByteArray *mime, QByteArray *data);

private:
    Status fail(const QSqlQuery &query);
    Status readDevice(const QSqlQuery &query, Device *device);

    Database &m_database;
    const FieldCipher &m_cipher;
    QString m_lastError;
    Clock m_clock;
};

} // namespace accountd
