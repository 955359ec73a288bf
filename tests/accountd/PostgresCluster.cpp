#include "PostgresCluster.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QUrl>

#ifndef Q_OS_WIN
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#endif

namespace {

const QString password = QStringLiteral("pg p@ss:w/rd%");

// PostgreSQL refuses to run as root: the tools then run as "postgres", who
// must own the cluster's folder. (The private cluster is a POSIX affair.)
bool runningAsRoot()
{
#ifndef Q_OS_WIN
    return geteuid() == 0;
#else
    return false;
#endif
}

bool giveToPostgres(const QString &path)
{
#ifndef Q_OS_WIN
    const passwd *user = getpwnam("postgres");
    return user && chown(QFile::encodeName(path).constData(), user->pw_uid, user->pw_gid) == 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

} // namespace

PostgresCluster::~PostgresCluster()
{
    stop();
}

bool PostgresCluster::stop()
{
    if (!m_running)
        return false;
    m_running = false;
    return run(QStringLiteral("pg_ctl"),
               {QStringLiteral("-D"), m_dir->path() + QStringLiteral("/data"), QStringLiteral("-m"),
                QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")});
}

bool PostgresCluster::run(const QString &tool, const QStringList &arguments,
                          QByteArray *output) const
{
    QProcess process;
    QStringList args = arguments;
    QString program = m_bin + QLatin1Char('/') + tool;
    if (runningAsRoot()) {
        args.prepend(program);
        args = QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} +
               args;
        program = QStringLiteral("runuser");
    }
    process.setProcessChannelMode(output ? QProcess::SeparateChannels : QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir->path());
    process.start(program, args);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    const QByteArray out = process.readAllStandardOutput();
    if (output)
        *output = out;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("%s failed: %s %s", qPrintable(tool), out.left(2000).constData(),
                 process.readAllStandardError().left(2000).constData());
        return false;
    }
    return true;
}

bool PostgresCluster::start()
{
    const QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &version : versions) {
        if (QFile::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/initdb").arg(version)))
            m_bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(version);
    }
    if (m_bin.isEmpty()) {
        m_reason =
            QStringLiteral("PostgreSQL is not installed (no /usr/lib/postgresql/*/bin/initdb)");
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>();
    if (runningAsRoot()) {
        if (!giveToPostgres(m_dir->path())) {
            m_reason = QStringLiteral("running as root without a usable postgres user");
            return false;
        }
    }
    QFile pwfile(m_dir->path() + QStringLiteral("/pw"));
    if (!pwfile.open(QIODevice::WriteOnly) || pwfile.write(password.toUtf8() + '\n') < 0) {
        m_reason = QStringLiteral("cannot write the password file");
        return false;
    }
    pwfile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                          QFileDevice::ReadOther);
    pwfile.close();
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            m_reason = QStringLiteral("no free port");
            return false;
        }
        m_port = probe.serverPort();
    }
    const QString data = m_dir->path() + QStringLiteral("/data");
    if (!run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("accountd"),
              QStringLiteral("--pwfile=") + pwfile.fileName(), QStringLiteral("--auth-local=trust"),
              QStringLiteral("--auth-host=scram-sha-256"), QStringLiteral("-E"),
              QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")})) {
        m_reason = QStringLiteral("initdb failed");
        return false;
    }
    const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off")
                                .arg(m_port)
                                .arg(m_dir->path());
    if (!run(QStringLiteral("pg_ctl"),
             {QStringLiteral("-D"), data, QStringLiteral("-l"),
              m_dir->path() + QStringLiteral("/log"), QStringLiteral("-o"), options,
              QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("30"),
              QStringLiteral("start")})) {
        m_reason = QStringLiteral("pg_ctl start failed");
        return false;
    }
    m_running = true;
    if (!run(QStringLiteral("createdb"),
             {QStringLiteral("-h"), m_dir->path(), QStringLiteral("-p"), QString::number(m_port),
              QStringLiteral("-U"), QStringLiteral("accountd"), QStringLiteral("accountd")})) {
        m_reason = QStringLiteral("createdb failed");
        return false;
    }
    return true;
}

QString PostgresCluster::url() const
{
    // Concatenated: the encoded password holds "%2F", which QString::arg() would replace.
    return QStringLiteral("postgresql://accountd:") +
           QString::fromLatin1(QUrl::toPercentEncoding(password)) + QStringLiteral("@127.0.0.1:") +
           QString::number(m_port) + QStringLiteral("/accountd");
}

QByteArray PostgresCluster::dump() const
{
    QByteArray out;
    run(QStringLiteral("pg_dump"),
        {QStringLiteral("-h"), m_dir->path(), QStringLiteral("-p"), QString::number(m_port),
         QStringLiteral("-U"), QStringLiteral("accountd"), QStringLiteral("accountd")},
        &out);
    return out;
}
