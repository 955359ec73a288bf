#include "AttemptLimiter.h"

#include "Database.h"
#include "Secrets.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace accountd {

AttemptLimiter::AttemptLimiter(Database &database, const QString &scope, int limit, qint64 windowMs)
    : m_database(database)
    , m_scope(scope)
    , m_limit(limit)
    , m_windowMs(windowMs)
{}

bool AttemptLimiter::lock(const QString &keyHash)
{
    QSqlDatabase db = m_database.connection();
    if (!m_database.isPostgres()) {
        // Takes SQLite's write lock now, so no other process reads the count in between.
        QSqlQuery begin(db);
        if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
            m_lastError = begin.lastError().text();
            return false;
        }
        return true;
    }
    if (!db.transaction()) {
        m_lastError = db.lastError().text();
        return false;
    }
    // Attempts on one key are serialised across processes until the transaction ends.
    QSqlQuery advisory(db);
    advisory.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
    advisory.addBindValue(qint64(keyHash.left(15).toULongLong(nullptr, 16)));
    if (!advisory.exec()) {
        m_lastError = advisory.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

AttemptLimiter::Attempt AttemptLimiter::evaluate(const QString &keyHash, qint64 nowMs, bool record)
{
    Attempt attempt;
    if (!lock(keyHash))
        return attempt;
    QSqlDatabase db = m_database.connection();
    auto finish = [&](bool commit) {
        if (commit) {
            if (m_database.isPostgres() ? db.commit()
                                        : QSqlQuery(db).exec(QStringLiteral("COMMIT")))
                return true;
            m_lastError = db.lastError().text();
        }
        if (m_database.isPostgres())
            db.rollback();
        else
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    const qint64 windowStart = nowMs - m_windowMs;
    {
        QSqlQuery prune(db);
        prune.prepare(QStringLiteral("DELETE FROM attempts WHERE scope = ? AND at_ms <= ?"));
        prune.addBindValue(m_scope);
        prune.addBindValue(windowStart);
        if (!prune.exec()) {
            m_lastError = prune.lastError().text();
            finish(false);
            return attempt;
        }
    }
    qint64 oldestCounted = 0;
    int counted = 0;
    {
        QSqlQuery recent(db);
        recent.setForwardOnly(true);
        recent.prepare(QStringLiteral("SELECT at_ms FROM attempts WHERE scope = ? AND key_hash = ? "
                                      "AND at_ms > ? ORDER BY at_ms DESC LIMIT ?"));
        recent.addBindValue(m_scope);
        recent.addBindValue(keyHash);
        recent.addBindValue(windowStart);
        recent.addBindValue(m_limit);
        if (!recent.exec()) {
            m_lastError = recent.lastError().text();
            finish(false);
            return attempt;
        }
        while (recent.next()) {
            oldestCounted = recent.value(0).toLongLong();
            ++counted;
        }
    }
    if (counted >= m_limit) {
        attempt.outcome = Outcome::Refused;
        attempt.retryAfterMs = qMax<qint64>(1, oldestCounted + m_windowMs - nowMs);
        if (!finish(true))
            attempt.outcome = Outcome::Failed;
        return attempt;
    }
    if (record) {
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral(
            "INSERT INTO attempts (scope, key_hash, at_ms) VALUES (?, ?, ?) RETURNING id"));
        insert.addBindValue(m_scope);
        insert.addBindValue(keyHash);
        insert.addBindValue(nowMs);
        if (!insert.exec() || !insert.next()) {
            m_lastError = insert.lastError().text();
            finish(false);
            return attempt;
        }
        attempt.id = insert.value(0).toLongLong();
    }
    if (!finish(true))
        return Attempt();
    attempt.outcome = Outcome::Granted;
    return attempt;
}

AttemptLimiter::Attempt AttemptLimiter::begin(const QString &key, qint64 nowMs)
{
    return evaluate(Secrets::sha256Hex(key), nowMs, true);
}

AttemptLimiter::Attempt AttemptLimiter::check(const QString &key, qint64 nowMs)
{
    return evaluate(Secrets::sha256Hex(key), nowMs, false);
}

bool AttemptLimiter::forget(qint64 id)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("DELETE FROM attempts WHERE id = ?"));
    query.addBindValue(id);
    if (query.exec())
        return true;
    m_lastError = query.lastError().text();
    return false;
}

bool AttemptLimiter::reset(const QString &key)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("DELETE FROM attempts WHERE scope = ? AND key_hash = ?"));
    query.addBindValue(m_scope);
    query.addBindValue(Secrets::sha256Hex(key));
    if (query.exec())
        return true;
    m_lastError = query.lastError().text();
    return false;
}

} // namespace accountd
