#include "AccountdFixture.h"

#include "StoredText.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

bool AccountdProcess::start(const QStringList &arguments, QString *error)
{
    m_process.start(AccountdFixture::executable(),
                    QStringList{QStringLiteral("--watch-stdin")} + arguments +
                        QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    if (!m_process.waitForStarted(10000)) {
        *error = m_process.errorString();
        return false;
    }
    static const QRegularExpression ready(QStringLiteral("^READY (\\d+)\\n"));
    QByteArray out;
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        m_process.waitForReadyRead(100);
        out += m_process.readAllStandardOutput();
        const auto match = ready.match(QString::fromLatin1(out));
        if (match.hasMatch()) {
            m_port = quint16(match.captured(1).toUInt());
            return true;
        }
        if (m_process.state() == QProcess::NotRunning)
            break;
    }
    *error = QStringLiteral("no READY line; stderr: ") + QString::fromUtf8(log());
    stop();
    return false;
}

void AccountdProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel(); // --watch-stdin: the service ends by itself
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool AccountdProcess::waitForExit(int ms)
{
    return m_process.waitForFinished(ms) && m_process.exitStatus() == QProcess::NormalExit &&
           m_process.exitCode() == 0;
}

QByteArray AccountdProcess::log()
{
    m_log += m_process.readAllStandardError();
    return m_log;
}

QString AccountdFixture::executable()
{
    return QStringLiteral(ORVANE_ACCOUNTD_PATH);
}

bool AccountdFixture::setUp()
{
    m_postgres = qEnvironmentVariable("ORVANE_ACCOUNTD_BACKEND") == QLatin1String("postgresql");
    if (m_postgres && !m_cluster.start()) {
        m_reason = m_cluster.failureReason();
        return false;
    }
    return true;
}

QStringList AccountdFixture::databaseArguments() const
{
    if (m_postgres)
        return {QStringLiteral("--db"), m_cluster.url(), QStringLiteral("--key-file"),
                m_dir.filePath(QStringLiteral("pg.key"))};
    return {QStringLiteral("--db"),
            QStringLiteral("sqlite:") + m_dir.filePath(QStringLiteral("accounts.db"))};
}

int AccountdFixture::runTool(const QStringList &arguments, QByteArray *out, QByteArray *err)
{
    QProcess process;
    process.start(executable(), databaseArguments() + arguments);
    if (!process.waitForFinished(30000))
        return -1;
    if (out)
        *out = process.readAllStandardOutput();
    if (err)
        *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray AccountdFixture::databaseBytes() const
{
    if (m_postgres)
        return m_cluster.dump();
    QByteArray bytes;
    const QStringList files =
        QDir(m_dir.path()).entryList({QStringLiteral("accounts.db*")}, QDir::Files);
    for (const QString &name : files) {
        QFile file(m_dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            bytes += file.readAll();
    }
    return bytes;
}

bool AccountdFixture::takeDatabaseAway()
{
    if (m_postgres)
        return m_cluster.stop();
    bool removed = true;
    const QStringList files =
        QDir(m_dir.path()).entryList({QStringLiteral("accounts.db*")}, QDir::Files);
    for (const QString &name : files) {
        if (!name.endsWith(QLatin1String(".key")))
            removed = QFile::remove(m_dir.filePath(name)) && removed;
    }
    return removed && !files.isEmpty();
}

bool AccountdFixture::startServer(AccountdProcess &process, const QStringList &extra,
                                  QString *error)
{
    return process.start(databaseArguments() + extra, error);
}

QByteArray AccountdFixture::form(const QList<QPair<QString, QString>> &fields)
{
    QByteArray body;
    for (const auto &field : fields) {
        if (!body.isEmpty())
            body += '&';
        body += QUrl::toPercentEncoding(field.first) + '=' + QUrl::toPercentEncoding(field.second);
    }
    return body;
}

HttpResult AccountdFixture::send(QNetworkRequest request, const QByteArray &verb,
                                 const QByteArray &body, QHttpMultiPart *multipart)
{
    request.setTransferTimeout(15000);
    QNetworkReply *reply = multipart ? m_network.post(request, multipart)
                                     : m_network.sendCustomRequest(request, verb, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.error = reply->error();
    result.body = reply->readAll();
    result.headers = reply->rawHeaderPairs();
    result.json = QJsonDocument::fromJson(result.body).object();
    reply->abort();
    reply->deleteLater();
    return result;
}

HttpResult AccountdFixture::post(const QString &url, const QByteArray &body,
                                 const QByteArray &contentType)
{
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    return send(request, "POST", body);
}

QString AccountdFixture::login(const QString &base, const QString &name, const QString &password,
                               HttpResult *result)
{
    const HttpResult r =
        post(base + QStringLiteral("/v2/account/login"),
             form({{QStringLiteral("userName"), name},
                   {QStringLiteral("userPwd"), accountd::StoredText::encode(password)}}));
    if (result)
        *result = r;
    return r.json.value(QStringLiteral("result"))
        .toObject()
        .value(QStringLiteral("access_token"))
        .toString();
}
