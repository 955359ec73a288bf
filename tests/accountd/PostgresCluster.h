#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A private PostgreSQL server for one test run: initdb in a temporary folder, pg_ctl start on
// a free loopback port with its Unix socket in that folder, one database "accountd" owned by
// the role "accountd" with a password. Run as root, the server runs as the "postgres" user
// (runuser). The destructor stops it at once. Test thread only.
class PostgresCluster
{
public:
    ~PostgresCluster();

    // False with failureReason() when PostgreSQL is not installed or cannot start here.
    bool start();
    QString failureReason() const { return m_reason; }
    // Stops the server at once (its clients lose their connections).
    bool stop();

    // postgresql://accountd:<password>@127.0.0.1:<port>/accountd (password percent-encoded).
    QString url() const;
    // Every row of the database as SQL text (pg_dump), to look for secrets in it.
    QByteArray dump() const;

private:
    bool run(const QString &tool, const QStringList &arguments, QByteArray *output = nullptr) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bin;
    quint16 m_port = 0;
    bool m_running = false;
    QString m_reason;
};
