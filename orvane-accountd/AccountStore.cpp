#include "AccountStore.h"

#include "Database.h"
#include "FieldCipher.h"
#include "ResetCode.h"
#include "Secrets.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace accountd {

namespace {

QSqlQuery prepared(Database &database, const char *sql)
{
    QSqlQuery query(database.connection());
    query.prepare(QString::fromLatin1(sql));
    return query;
}

// Qt binds a null QString as SQL NULL; the text columns hold '' instead.
QString text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

const char deviceColumns[] = "id, user_id, uid, nickname, view_account, view_password_sealed, "
                             "type, channels, area, kind, streams, onvif, transport";

void bindSource(QSqlQuery &query, const AccountStore::Device &device)
{
    query.addBindValue(text(device.kind));
    query.addBindValue(text(device.streams));
    query.addBindValue(text(device.onvif));
    query.addBindValue(text(device.transport));
}

} // namespace

bool AccountStore::ping() const
{
    return m_database.ping();
}

AccountStore::AccountStore(Database &database, const FieldCipher &cipher)
    : m_database(database)
    , m_cipher(cipher)
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{}

AccountStore::Status AccountStore::fail(const QSqlQuery &query)
{
    m_lastError = query.lastError().text();
    return Status::Failed;
}

AccountStore::Status AccountStore::addUser(User &user)
{
    User existing;
    const Status found = userByName(user.username, &existing);
    if (found == Status::Ok)
        return Status::Conflict;
    if (found == Status::Failed)
        return found;
    QSqlQuery query =
        prepared(m_database, "INSERT INTO users (username, password_hash, nickname, email, "
                             "phone, created_at) VALUES (?, ?, ?, ?, ?, ?) RETURNING id");
    query.addBindValue(text(user.username));
    query.addBindValue(text(user.passwordHash));
    query.addBindValue(text(user.nickname));
    query.addBindValue(text(user.email));
    query.addBindValue(text(user.phone));
    query.addBindValue(QDateTime::currentSecsSinceEpoch());
    if (!query.exec() || !query.next())
        return fail(query);
    user.id = query.value(0).toLongLong();
    return Status::Ok;
}

static AccountStore::Status readUser(QSqlQuery &query, AccountStore::User *user)
{
    if (!query.next())
        return AccountStore::Status::NotFound;
    user->id = query.value(0).toLongLong();
    user->username = query.value(1).toString();
    user->passwordHash = query.value(2).toString();
    user->nickname = query.value(3).toString();
    user->email = query.value(4).toString();
    user->phone = query.value(5).toString();
    user->avatarId = query.value(6).toString();
    user->avatarMime = query.value(7).toString();
    return AccountStore::Status::Ok;
}

AccountStore::Status AccountStore::userByName(const QString &username, User *user)
{
    QSqlQuery query = prepared(
        m_database, "SELECT u.id, u.username, u.password_hash, u.nickname, u.email, u.phone, "
                    "a.id, a.mime FROM users u LEFT JOIN avatars a ON a.user_id = u.id "
                    "WHERE u.username = ?");
    query.addBindValue(username);
    if (!query.exec())
        return fail(query);
    return readUser(query, user);
}

AccountStore::Status AccountStore::userById(qint64 id, User *user)
{
    QSqlQuery query = prepared(
        m_database, "SELECT u.id, u.username, u.password_hash, u.nickname, u.email, u.phone, "
                    "a.id, a.mime FROM users u LEFT JOIN avatars a ON a.user_id = u.id "
                    "WHERE u.id = ?");
    query.addBindValue(id);
    if (!query.exec())
        return fail(query);
    return readUser(query, user);
}

AccountStore::Status AccountStore::updateProfile(qint64 userId, const QString &nickname,
                                                 const QString &email, const QString &phone)
{
    QSqlQuery query =
        prepared(m_database, "UPDATE users SET nickname = ?, email = ?, phone = ? WHERE id = ?");
    query.addBindValue(text(nickname));
    query.addBindValue(text(email));
    query.addBindValue(text(phone));
    query.addBindValue(userId);
    if (!query.exec())
        return fail(query);
    return query.numRowsAffected() > 0 ? Status::Ok : Status::NotFound;
}

AccountStore::Status AccountStore::setPasswordHash(qint64 userId, const QString &hash)
{
    QSqlQuery query = prepared(m_database, "UPDATE users SET password_hash = ? WHERE id = ?");
    query.addBindValue(text(hash));
    query.addBindValue(userId);
    if (!query.exec())
        return fail(query);
    return query.numRowsAffected() > 0 ? Status::Ok : Status::NotFound;
}

AccountStore::Status AccountStore::createSession(qint64 userId, const QString &accessHash,
                                                 qint64 accessExpires, const QString &refreshHash,
                                                 qint64 refreshExpires, qint64 now)
{
    QSqlQuery prune = prepared(m_database, "DELETE FROM sessions WHERE refresh_expires <= ?");
    prune.addBindValue(now);
    if (!prune.exec())
        return fail(prune);
    QSqlQuery query =
        prepared(m_database, "INSERT INTO sessions (user_id, access_hash, access_expires, "
                             "refresh_hash, refresh_expires) VALUES (?, ?, ?, ?, ?)");
    query.addBindValue(userId);
    query.addBindValue(accessHash);
    query.addBindValue(accessExpires);
    query.addBindValue(refreshHash);
    query.addBindValue(refreshExpires);
    return query.exec() ? Status::Ok : fail(query);
}

AccountStore::Status AccountStore::sessionForAccess(const QString &accessHash, qint64 now,
                                                    Session *session)
{
    QSqlQuery query =
        prepared(m_database,
                 "SELECT id, user_id FROM sessions WHERE access_hash = ? AND access_expires > ?");
    query.addBindValue(accessHash);
    query.addBindValue(now);
    if (!query.exec())
        return fail(query);
    if (!query.next())
        return Status::NotFound;
    session->id = query.value(0).toLongLong();
    session->userId = query.value(1).toLongLong();
    return Status::Ok;
}

AccountStore::Status AccountStore::rotateSession(const QString &refreshHash, qint64 now,
                                                 const QString &accessHash, qint64 accessExpires,
                                                 const QString &newRefreshHash,
                                                 qint64 refreshExpires, Session *session)
{
    QSqlQuery find =
        prepared(m_database,
                 "SELECT id, user_id FROM sessions WHERE refresh_hash = ? AND refresh_expires > ?");
    find.addBindValue(refreshHash);
    find.addBindValue(now);
    if (!find.exec())
        return fail(find);
    if (!find.next())
        return Status::NotFound;
    session->id = find.value(0).toLongLong();
    session->userId = find.value(1).toLongLong();
    QSqlQuery update =
        prepared(m_database, "UPDATE sessions SET access_hash = ?, access_expires = ?, "
                             "refresh_hash = ?, refresh_expires = ? WHERE id = ?");
    update.addBindValue(accessHash);
    update.addBindValue(accessExpires);
    update.addBindValue(newRefreshHash);
    update.addBindValue(refreshExpires);
    update.addBindValue(session->id);
    return update.exec() ? Status::Ok : fail(update);
}

AccountStore::Status AccountStore::endOtherSessions(qint64 userId, qint64 keepSessionId)
{
    QSqlQuery query = prepared(m_database, "DELETE FROM sessions WHERE user_id = ? AND id <> ?");
    query.addBindValue(userId);
    query.addBindValue(keepSessionId);
    return query.exec() ? Status::Ok : fail(query);
}

AccountStore::Status AccountStore::createPasswordReset(qint64 userId, const QString &codeDigest)
{
    const qint64 now = nowMs();
    QSqlQuery prune = prepared(m_database, "DELETE FROM password_resets WHERE expires_ms <= ?");
    prune.addBindValue(now);
    if (!prune.exec())
        return fail(prune);
    QSqlQuery query = prepared(
        m_database, "INSERT INTO password_resets (user_id, code_hash, expires_ms) "
                    "VALUES (?, ?, ?) ON CONFLICT (user_id) DO UPDATE "
                    "SET code_hash = excluded.code_hash, expires_ms = excluded.expires_ms");
    query.addBindValue(userId);
    query.addBindValue(codeDigest);
    query.addBindValue(now + ResetCode::lifetimeMs);
    return query.exec() ? Status::Ok : fail(query);
}

AccountStore::Status AccountStore::redeemPasswordReset(qint64 userId, const QString &codeDigest,
                                                       const QString &passwordHash)
{
    const qint64 now = nowMs();
    {
        QSqlQuery find = prepared(
            m_database, "SELECT code_hash, expires_ms FROM password_resets WHERE user_id = ?");
        find.addBindValue(userId);
        if (!find.exec())
            return fail(find);
        if (!find.next())
            return Status::NotFound;
        const bool matches =
            Secrets::equalConstantTime(find.value(0).toString().toLatin1(), codeDigest.toLatin1());
        if (!matches || find.value(1).toLongLong() <= now)
            return Status::NotFound;
    }
    QSqlDatabase db = m_database.connection();
    if (!db.transaction()) {
        m_lastError = db.lastError().text();
        return Status::Failed;
    }
    // Spent here, inside the transaction, so that of two processes redeeming one code at once
    // only one finds it.
    QSqlQuery spend = prepared(m_database, "DELETE FROM password_resets WHERE user_id = ? AND "
                                           "code_hash = ? AND expires_ms > ?");
    spend.addBindValue(userId);
    spend.addBindValue(codeDigest);
    spend.addBindValue(now);
    QSqlQuery password = prepared(m_database, "UPDATE users SET password_hash = ? WHERE id = ?");
    password.addBindValue(text(passwordHash));
    password.addBindValue(userId);
    QSqlQuery sessions = prepared(m_database, "DELETE FROM sessions WHERE user_id = ?");
    sessions.addBindValue(userId);
    if (!spend.exec()) {
        m_lastError = spend.lastError().text();
        db.rollback();
        return Status::Failed;
    }
    if (spend.numRowsAffected() != 1) {
        db.rollback();
        return Status::NotFound;
    }
    if (!password.exec() || !sessions.exec()) {
        m_lastError = (password.lastError().isValid() ? password : sessions).lastError().text();
        db.rollback();
        return Status::Failed;
    }
    if (!db.commit()) {
        m_lastError = db.lastError().text();
        db.rollback();
        return Status::Failed;
    }
    return Status::Ok;
}

AccountStore::Status AccountStore::readDevice(const QSqlQuery &query, Device *device)
{
    device->id = query.value(0).toLongLong();
    device->userId = query.value(1).toLongLong();
    device->uid = query.value(2).toString();
    device->nickname = query.value(3).toString();
    device->viewAccount = query.value(4).toString();
    const QString sealed = query.value(5).toString();
    if (sealed.isEmpty()) {
        device->viewPassword.clear();
    } else if (auto plain = m_cipher.open(sealed)) {
        device->viewPassword = *plain;
    } else {
        m_lastError = QStringLiteral("a device password cannot be opened with the key file");
        return Status::Failed;
    }
    device->type = query.value(6).toInt();
    device->channels = query.value(7).toInt();
    device->area = query.value(8).toString();
    device->kind = query.value(9).toString();
    device->streams = query.value(10).toString();
    device->onvif = query.value(11).toString();
    device->transport = query.value(12).toString();
    return Status::Ok;
}

AccountStore::Status AccountStore::devices(qint64 userId, QList<Device> *devices)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT %1 FROM devices WHERE user_id = ? ORDER BY id")
                      .arg(QLatin1String(deviceColumns)));
    query.addBindValue(userId);
    if (!query.exec())
        return fail(query);
    devices->clear();
    while (query.next()) {
        Device device;
        if (readDevice(query, &device) != Status::Ok)
            return Status::Failed;
        devices->append(device);
    }
    return Status::Ok;
}

AccountStore::Status AccountStore::device(qint64 userId, qint64 deviceId, Device *device)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT %1 FROM devices WHERE user_id = ? AND id = ?")
                      .arg(QLatin1String(deviceColumns)));
    query.addBindValue(userId);
    query.addBindValue(deviceId);
    if (!query.exec())
        return fail(query);
    if (!query.next())
        return Status::NotFound;
    return readDevice(query, device);
}

AccountStore::Status AccountStore::addDevice(Device &device)
{
    QSqlQuery exists = prepared(m_database, "SELECT id FROM devices WHERE user_id = ? AND uid = ?");
    exists.addBindValue(device.userId);
    exists.addBindValue(text(device.uid));
    if (!exists.exec())
        return fail(exists);
    if (exists.next())
        return Status::Conflict;
    QSqlQuery query =
        prepared(m_database, "INSERT INTO devices (user_id, uid, nickname, view_account, "
                             "view_password_sealed, type, channels, area, kind, streams, "
                             "onvif, transport) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id");
    query.addBindValue(device.userId);
    query.addBindValue(text(device.uid));
    query.addBindValue(text(device.nickname));
    query.addBindValue(text(device.viewAccount));
    query.addBindValue(
        text(device.viewPassword.isEmpty() ? QString() : m_cipher.seal(device.viewPassword)));
    query.addBindValue(device.type);
    query.addBindValue(device.channels);
    query.addBindValue(text(device.area));
    bindSource(query, device);
    if (!query.exec() || !query.next())
        return fail(query);
    device.id = query.value(0).toLongLong();
    return Status::Ok;
}

AccountStore::Status AccountStore::updateDevice(const Device &device)
{
    QSqlQuery clash =
        prepared(m_database, "SELECT id FROM devices WHERE user_id = ? AND uid = ? AND id <> ?");
    clash.addBindValue(device.userId);
    clash.addBindValue(text(device.uid));
    clash.addBindValue(device.id);
    if (!clash.exec())
        return fail(clash);
    if (clash.next())
        return Status::Conflict;
    QSqlQuery query =
        prepared(m_database, "UPDATE devices SET uid = ?, nickname = ?, view_account = ?, "
                             "view_password_sealed = ?, type = ?, channels = ?, area = ?, "
                             "kind = ?, streams = ?, onvif = ?, transport = ? "
                             "WHERE id = ? AND user_id = ?");
    query.addBindValue(text(device.uid));
    query.addBindValue(text(device.nickname));
    query.addBindValue(text(device.viewAccount));
    query.addBindValue(
        text(device.viewPassword.isEmpty() ? QString() : m_cipher.seal(device.viewPassword)));
    query.addBindValue(device.type);
    query.addBindValue(device.channels);
    query.addBindValue(text(device.area));
    bindSource(query, device);
    query.addBindValue(device.id);
    query.addBindValue(device.userId);
    if (!query.exec())
        return fail(query);
    return query.numRowsAffected() > 0 ? Status::Ok : Status::NotFound;
}

AccountStore::Status AccountStore::deleteDevice(qint64 userId, qint64 deviceId)
{
    QSqlQuery query = prepared(m_database, "DELETE FROM devices WHERE id = ? AND user_id = ?");
    query.addBindValue(deviceId);
    query.addBindValue(userId);
    if (!query.exec())
        return fail(query);
    return query.numRowsAffected() > 0 ? Status::Ok : Status::NotFound;
}

AccountStore::Status AccountStore::setAvatar(qint64 userId, const QString &avatarId,
                                             const QByteArray &mime, const QByteArray &data)
{
    QSqlDatabase db = m_database.connection();
    if (!db.transaction()) {
        m_lastError = db.lastError().text();
        return Status::Failed;
    }
    QSqlQuery remove = prepared(m_database, "DELETE FROM avatars WHERE user_id = ?");
    remove.addBindValue(userId);
    QSqlQuery insert =
        prepared(m_database, "INSERT INTO avatars (id, user_id, mime, data) VALUES (?, ?, ?, ?)");
    insert.addBindValue(avatarId);
    insert.addBindValue(userId);
    insert.addBindValue(QString::fromLatin1(mime));
    insert.addBindValue(data);
    if (!remove.exec() || !insert.exec()) {
        m_lastError = (remove.lastError().isValid() ? remove : insert).lastError().text();
        db.rollback();
        return Status::Failed;
    }
    if (!db.commit()) {
        m_lastError = db.lastError().text();
        return Status::Failed;
    }
    return Status::Ok;
}

AccountStore::Status AccountStore::avatar(const QString &avatarId, QByteArray *mime,
                                          QByteArray *data)
{
    QSqlQuery query = prepared(m_database, "SELECT mime, data FROM avatars WHERE id = ?");
    query.addBindValue(avatarId);
    if (!query.exec())
        return fail(query);
    if (!query.next())
        return Status::NotFound;
    *mime = query.value(0).toString().toLatin1();
    *data = query.value(1).toByteArray();
    return Status::Ok;
}

} // namespace accountd
