#pragma once

#include <QString>

namespace accountd {

class Database;

// Counts attempts per key (a user name, a client address) in a sliding window, in the
// database, so that every process of the service on that database shares one count: once
// `limit` attempts lie inside the last `windowMs`, the key is refused until the oldest of them
// leaves the window. begin() checks and records in one transaction (SQLite: BEGIN IMMEDIATE;
// PostgreSQL: a transaction-scoped advisory lock on the key), so concurrent processes never
// grant more than `limit`. Keys are stored as SHA-256 digests; attempts that left the window
// are deleted. Thread of the database connection (the main thread).
class AttemptLimiter
{
public:
    enum class Outcome { Granted, Refused, Failed };
    struct Attempt
    {
        Outcome outcome = Outcome::Failed;
        qint64 id = 0;           // Granted: the recorded attempt
        qint64 retryAfterMs = 0; // Refused: milliseconds until the key may try again
    };

    // `scope` separates the counts of different limits ("login", "signup").
    AttemptLimiter(Database &database, const QString &scope, int limit, qint64 windowMs);

    // Refuses, or records an attempt at nowMs (it counts as a failure until forget()).
    Attempt begin(const QString &key, qint64 nowMs);
    // Refused or not, without recording anything.
    Attempt check(const QString &key, qint64 nowMs);
    // The attempt `id` did not fail: it no longer counts.
    bool forget(qint64 id);
    // Every attempt of the key is forgotten (a successful sign-in).
    bool reset(const QString &key);

    QString lastError() const { return m_lastError; }

private:
    Attempt evaluate(const QString &keyHash, qint64 nowMs, bool record);
    bool lock(const QString &keyHash);

    Database &m_database;
    QString m_scope;
    int m_limit;
    qint64 m_windowMs;
    QString m_lastError;
};

} // namespace accountd
