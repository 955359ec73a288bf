#pragma once

#include "PostgresCluster.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <memory>

// One orvane-accountd process (the ORVANE_ACCOUNTD_PATH compile definition) started with
// --watch-stdin, so that it ends with the test. stderr (the request log) is kept.
class AccountdProcess
{
public:
    ~AccountdProcess() { stop(); }

    // Starts `arguments` + "--listen 127.0.0.1:0" and waits for "READY <port>".
    bool start(const QStringList &arguments, QString *error);
    void stop();
    quint16 port() const { return m_port; }
    // Sends SIGTERM (QProcess::terminate()); waitForExit() is true once it ended by itself
    // within `ms`, with exit status 0.
    void terminate() { m_process.terminate(); }
    bool waitForExit(int ms);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    QByteArray log();

private:
    QProcess m_process;
    quint16 m_port = 0;
    QByteArray m_log;
};

// What a test learns from one HTTP exchange.
struct HttpResult
{
    int status = 0; // 0: no HTTP reply
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QList<QNetworkReply::RawHeaderPair> headers;
    QJsonObject json; // empty unless the body is a JSON object
    int code(const char *key) const { return json.value(QLatin1String(key)).toInt(-1); }
    QByteArray header(const QByteArray &name) const
    {
        for (const auto &header : headers) {
            if (header.first.compare(name, Qt::CaseInsensitive) == 0)
                return header.second;
        }
        return QByteArray();
    }
    // A string of the reply's "result" object.
    QString result(const char *key) const
    {
        return json.value(QLatin1String("result")).toObject().value(QLatin1String(key)).toString();
    }
};

// The database of a test run (a temporary SQLite file, or a private PostgreSQL server when
// ORVANE_ACCOUNTD_BACKEND=postgresql), the service on it, and synchronous HTTP helpers.
class AccountdFixture
{
public:
    static QString executable();

    // False with failureReason() when the chosen backend cannot be started here.
    bool setUp();
    QString failureReason() const { return m_reason; }
    bool isPostgres() const { return m_postgres; }

    // The --db (and --key-file) arguments for this run's database.
    QStringList databaseArguments() const;
    // Runs orvane-accountd to its end with databaseArguments() + arguments.
    int runTool(const QStringList &arguments, QByteArray *out = nullptr, QByteArray *err = nullptr);
    // The database's bytes (SQLite files or a dump), to look for secrets.
    QByteArray databaseBytes() const;

    // The database stops answering: the PostgreSQL server stops, the SQLite file is removed.
    bool takeDatabaseAway();

    bool startServer(AccountdProcess &process, const QStringList &extra, QString *error);

    // Percent-encoded form body, the way a careful client builds it.
    static QByteArray form(const QList<QPair<QString, QString>> &fields);

    HttpResult
    post(const QString &url, const QByteArray &body,
         const QByteArray &contentType = "application/x-www-form-urlencoded; charset=utf-8");
    HttpResult send(QNetworkRequest request, const QByteArray &verb, const QByteArray &body = {},
                    class QHttpMultiPart *multipart = nullptr);
    // Signs in (password sent in the client's encoding); the access token or empty.
    QString login(const QString &base, const QString &name, const QString &password,
                  HttpResult *result = nullptr);

    QNetworkAccessManager &network() { return m_network; }
    QString directory() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_postgres = false;
    PostgresCluster m_cluster;
    QNetworkAccessManager m_network;
    QString m_reason;
};
