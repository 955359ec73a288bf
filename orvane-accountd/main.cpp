#include "AccountApi.h"
#include "AccountHttpServer.h"
#include "AccountStore.h"
#include "CommandLine.h"
#include "Database.h"
#include "FieldCipher.h"
#include "FieldRules.h"
#include "PasswordHash.h"
#include "ResetCode.h"
#include "TerminationSignal.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <optional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace accountd;

namespace {

int fail(const QString &message, int status = 1)
{
    QTextStream(stderr) << "orvane-accountd: " << message << "\n";
    return status;
}

std::optional<QSslConfiguration> loadTls(const CommandLine::Options &o, QString *error)
{
    if (!QSslSocket::supportsSsl()) {
        *error = QStringLiteral("this Qt has no TLS backend");
        return std::nullopt;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(o.tlsCertificate, QSsl::Pem);
    QFile keyFile(o.tlsKey);
    if (chain.isEmpty() || !keyFile.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read --tls-cert or --tls-key");
        return std::nullopt;
    }
    const QByteArray pem = keyFile.readAll();
    QSslKey key;
    for (QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        key = QSslKey(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            break;
    }
    if (key.isNull()) {
        *error = QStringLiteral("--tls-key holds no usable PEM private key");
        return std::nullopt;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    config.setProtocol(QSsl::TlsV1_2OrLater);
    return config;
}

QString readPasswordArgument(const QString &argument)
{
    if (argument != QLatin1String("-"))
        return argument;
    QTextStream in(stdin);
    return in.readLine();
}

int addUser(AccountStore &store, const CommandLine::Options &o)
{
    AccountStore::User user;
    user.username = o.arguments.at(0);
    const QString password = readPasswordArgument(o.arguments.at(1));
    user.nickname = o.nickname;
    user.email = o.email;
    user.phone = o.phone;
    for (const QString &reason : {FieldRules::userName(user.username),
                                  FieldRules::password(QStringLiteral("PASSWORD"), password),
                                  FieldRules::text(QStringLiteral("--nickname"), user.nickname),
                                  FieldRules::text(QStringLiteral("--email"), user.email),
                                  FieldRules::text(QStringLiteral("--phone"), user.phone)}) {
        if (!reason.isEmpty())
            return fail(reason, 2);
    }
    user.passwordHash = PasswordHash::create(password);
    const AccountStore::Status status =
        user.passwordHash.isEmpty() ? AccountStore::Status::Failed : store.addUser(user);
    if (status == AccountStore::Status::Conflict)
        return fail(QStringLiteral("the user name is taken"));
    if (status != AccountStore::Status::Ok)
        return fail(QStringLiteral("cannot add the user: ") + store.lastError());
    QTextStream(stdout) << "USER " << user.id << "\n";
    return 0;
}

int addDevice(AccountStore &store, const CommandLine::Options &o)
{
    AccountStore::User user;
    const AccountStore::Status found = store.userByName(o.arguments.at(0), &user);
    if (found != AccountStore::Status::Ok)
        return fail(found == AccountStore::Status::NotFound ? QStringLiteral("no such user")
                                                            : store.lastError());
    AccountStore::Device device;
    device.userId = user.id;
    device.uid = o.arguments.at(1);
    device.nickname = o.arguments.at(2);
    device.viewAccount = o.viewAccount;
    device.viewPassword = o.viewPassword;
    device.type = o.type;
    device.channels = o.channels;
    device.area = o.area;
    if (!o.onvif.isEmpty() || !o.streams.isEmpty()) {
        device.kind = QStringLiteral("rtsp");
        device.onvif = o.onvif;
        device.streams = o.streams;
    }
    for (const QString &reason :
         {FieldRules::deviceUid(device.uid),
          FieldRules::text(QStringLiteral("NAME"), device.nickname),
          FieldRules::text(QStringLiteral("--user"), device.viewAccount),
          FieldRules::text(QStringLiteral("--password"), device.viewPassword),
          FieldRules::text(QStringLiteral("--area"), device.area),
          FieldRules::deviceSource(device.kind, device.streams, device.onvif, device.transport)}) {
        if (!reason.isEmpty())
            return fail(reason, 2);
    }
    const AccountStore::Status status = store.addDevice(device);
    if (status == AccountStore::Status::Conflict)
        return fail(QStringLiteral("the user already has a device with this UID"));
    if (status != AccountStore::Status::Ok)
        return fail(QStringLiteral("cannot add the device: ") + store.lastError());
    QTextStream(stdout) << "DEVICE " << device.id << "\n";
    return 0;
}

// Prints the reset page's link with a new one-time code, then the code alone; the store keeps
// only its digest.
int resetPassword(AccountStore &store, const CommandLine::Options &o)
{
    AccountStore::User user;
    const AccountStore::Status found = store.userByName(o.arguments.at(0), &user);
    if (found == AccountStore::Status::NotFound)
        return fail(QStringLiteral("no such user \"%1\"").arg(o.arguments.at(0).left(64)));
    if (found != AccountStore::Status::Ok)
        return fail(store.lastError());
    const QString code = ResetCode::create();
    if (code.isEmpty())
        return fail(QStringLiteral("no random numbers"));
    if (store.createPasswordReset(user.id, ResetCode::digest(code)) != AccountStore::Status::Ok)
        return fail(QStringLiteral("cannot store the reset code: ") + store.lastError());
    // publicUrl is an origin without a path; without it the link is relative to the service.
    QTextStream(stdout) << o.settings.publicUrl << "/register.html?name=showrid&code=" << code
                        << "\n"
                        << code << "\n";
    const QDateTime until =
        QDateTime::fromMSecsSinceEpoch(store.nowMs() + ResetCode::lifetimeMs, Qt::UTC);
    QTextStream(stderr) << "orvane-accountd: the code serves once, until "
                        << until.toString(Qt::ISODate) << "\n";
    return 0;
}

int serve(AccountStore &store, CommandLine::Options &o)
{
    std::optional<QSslConfiguration> tls;
    if (!o.tlsCertificate.isEmpty()) {
        QString error;
        tls = loadTls(o, &error);
        if (!tls)
            return fail(error);
    }
    QHostAddress shown = o.listenAddress;
    if (shown == QHostAddress::AnyIPv4 || shown == QHostAddress::Any)
        shown = QHostAddress::LocalHost;
    AccountApi api(store, o.settings);
    AccountHttpServer server(api);
    QString error;
    const quint16 port = server.start(o.listenAddress, o.listenPort, tls, &error);
    if (port == 0)
        return fail(error);
    const QString host = shown.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(shown.toString())
                             : shown.toString();
    api.setLocalOrigin(QStringLiteral("%1://%2:%3")
                           .arg(tls ? QStringLiteral("https") : QStringLiteral("http"), host)
                           .arg(port));
    // A termination stops accepting and lets the requests in progress finish, for at most
    // drainLimitMs, so the process is gone well within 10 s.
    constexpr int drainLimitMs = 8000;
    QElapsedTimer draining;
    QTimer drainPoll;
    QObject::connect(&drainPoll, &QTimer::timeout, &drainPoll, [&] {
        if (server.busyConnections() == 0 || draining.hasExpired(drainLimitMs))
            QCoreApplication::quit();
    });
    TerminationSignal::install(o.watchStdin, [&] {
        qInfo("accountd: stopping: %d request(s) in progress", server.busyConnections());
        server.drain();
        draining.start();
        drainPoll.start(20);
    });
    std::printf("READY %u\n", unsigned(port));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
#ifndef _WIN32
    umask(0077); // the database, its key and its journal are private to the service's user
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvane-accountd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_ACCOUNTD_VERSION));

    CommandLine::Result parsed = CommandLine::parse(app.arguments());
    CommandLine::Options &o = parsed.options;
    if (!parsed.error.isEmpty())
        return fail(parsed.error + QStringLiteral("\n(see orvane-accountd --help)"), 2);
    if (o.command == CommandLine::Command::Help) {
        QTextStream(stdout) << parsed.helpText;
        return 0;
    }
    if (o.command == CommandLine::Command::Version) {
        QTextStream(stdout) << "orvane-accountd " << ORVANE_ACCOUNTD_VERSION << "\n";
        return 0;
    }

    QString error;
    const auto target = Database::parseTarget(o.database, &error);
    if (!target)
        return fail(error, 2);
    QString keyFile = o.keyFile;
    if (keyFile.isEmpty()) {
        if (target->driver != QLatin1String("QSQLITE"))
            return fail(QStringLiteral("--key-file is required with PostgreSQL"), 2);
        keyFile = target->path + QStringLiteral(".key");
    }
    FieldCipher cipher;
    if (!cipher.loadKey(keyFile, &error))
        return fail(error);
    Database database;
    if (!database.open(*target, &error))
        return fail(error);
    QImageReader::setAllocationLimit(64); // MiB per decoded avatar

    AccountStore store(database, cipher);
    switch (o.command) {
    case CommandLine::Command::AddUser:
        return addUser(store, o);
    case CommandLine::Command::AddDevice:
        return addDevice(store, o);
    case CommandLine::Command::ResetPassword:
        return resetPassword(store, o);
    default:
        return serve(store, o);
    }
}
