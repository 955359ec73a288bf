// Several orvane-accountd processes on one database, as a fleet runs: failed sign-ins are
// counted once for all of them, a password change ends the other sessions on every process,
// /healthz follows the database, SIGTERM lets the request in progress finish, and the request
// log holds no secret. Runs on SQLite, and on PostgreSQL when
// ORVANE_ACCOUNTD_BACKEND=postgresql.
#include "AccountdFixture.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QImage>
#include <QTcpSocket>
#include <QtTest>
#include "TestMain.h"

namespace {

const QString davePassword = QStringLiteral("dave-right-pw1");
const QString daveGuess = QStringLiteral("dave-guess-pw9");
const QString frankPassword = QStringLiteral("frank-old-pw1");
const QString frankNewPassword = QStringLiteral("frank-new-pw2");
const QString gracePassword = QStringLiteral("grace-pw-42x");

QByteArray jpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkMagenta);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 100);
    return bytes;
}

} // namespace

class AccountdFleetTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void alternatingWrongPasswordsLockAtTheSameAttemptAsOneProcess();
    void passwordChangeOnOneProcessEndsSessionsOnTheOther();
    void terminationFinishesTheRequestInProgress();
    void requestLogHoldsNoSecret();
    void healthFollowsTheDatabase();

private:
    QString base(const AccountdProcess &process) const
    {
        return QStringLiteral("http://127.0.0.1:%1").arg(process.port());
    }
    HttpResult deviceList(const AccountdProcess &process, const QString &token)
    {
        return m_fx.post(base(process) + QStringLiteral("/equipment/queryUserEquipment"),
                         AccountdFixture::form({{QStringLiteral("token"), token}}));
    }
    int health(const AccountdProcess &process, QByteArray *body = nullptr)
    {
        const HttpResult r =
            m_fx.send(QNetworkRequest{QUrl(base(process) + QStringLiteral("/healthz"))}, "GET");
        if (body)
            *body = r.body;
        return r.status;
    }

    AccountdFixture m_fx;
    AccountdProcess m_a;
    AccountdProcess m_b;
    QStringList m_secrets; // must never appear in a request log
    QByteArray m_logs;     // of processes already ended
};

void AccountdFleetTest::initTestCase()
{
    QVERIFY(QFile::exists(AccountdFixture::executable()));
    // The test command installs PostgreSQL: a server that cannot start is a failure.
    QVERIFY2(m_fx.setUp(), qPrintable(m_fx.failureReason()));
    for (const QStringList &tool : {QStringList{"add-user", "dave", davePassword},
                                    QStringList{"add-user", "frank", frankPassword},
                                    QStringList{"add-user", "grace", gracePassword}}) {
        QByteArray err;
        QVERIFY2(m_fx.runTool(tool, nullptr, &err) == 0, err.constData());
    }
    QString error;
    // The default limit: 5 failed sign-ins per name in 60 s.
    QVERIFY2(m_fx.startServer(m_a, {}, &error), qPrintable(error));
    QVERIFY2(m_fx.startServer(m_b, {}, &error), qPrintable(error));
    m_secrets << davePassword << daveGuess << frankPassword << frankNewPassword << gracePassword;
}

void AccountdFleetTest::cleanupTestCase()
{
    m_a.stop();
    m_b.stop();
}

void AccountdFleetTest::alternatingWrongPasswordsLockAtTheSameAttemptAsOneProcess()
{
    for (int attempt = 1; attempt <= 5; ++attempt) {
        HttpResult r;
        m_fx.login(base(attempt % 2 ? m_a : m_b), QStringLiteral("dave"), daveGuess, &r);
        QVERIFY2(r.code("error_code") == 2,
                 qPrintable(
                     QStringLiteral("attempt %1: %2").arg(attempt).arg(QString::fromUtf8(r.body))));
    }
    // The sixth attempt is refused on either process, even with the right password.
    for (AccountdProcess *process : {&m_b, &m_a}) {
        HttpResult r;
        QVERIFY(m_fx.login(base(*process), QStringLiteral("dave"), davePassword, &r).isEmpty());
        QCOMPARE(r.code("error_code"), 3);
    }
}

void AccountdFleetTest::passwordChangeOnOneProcessEndsSessionsOnTheOther()
{
    const QString onB = m_fx.login(base(m_b), QStringLiteral("frank"), frankPassword);
    const QString onA = m_fx.login(base(m_a), QStringLiteral("frank"), frankPassword);
    QVERIFY(!onA.isEmpty() && !onB.isEmpty());
    m_secrets << onA << onB;
    QCOMPARE(deviceList(m_b, onB).code("error_code"), 0);

    const HttpResult changed =
        m_fx.post(base(m_a) + QStringLiteral("/account/changePwd?token=") + onA,
                  AccountdFixture::form({{"username", "frank"},
                                         {"oldPwd", frankPassword},
                                         {"newPwd", frankNewPassword},
                                         {"token", onA}}));
    QCOMPARE(changed.code("result_code"), 0);

    QCOMPARE(deviceList(m_b, onB).code("error_code"), 4);
    QCOMPARE(deviceList(m_a, onB).code("error_code"), 4);
    QCOMPARE(deviceList(m_b, onA).code("error_code"), 0); // the session that changed it stays
    const QString fresh = m_fx.login(base(m_b), QStringLiteral("frank"), frankNewPassword);
    QVERIFY(!fresh.isEmpty());
    m_secrets << fresh;
}

void AccountdFleetTest::terminationFinishesTheRequestInProgress()
{
    AccountdProcess leaving;
    QString error;
    QVERIFY2(m_fx.startServer(leaving, {}, &error), qPrintable(error));
    const QString token = m_fx.login(base(leaving), QStringLiteral("grace"), gracePassword);
    QVERIFY(!token.isEmpty());
    m_secrets << token;

    const QByteArray boundary = "fleetBoundary7";
    const QByteArray body = "--" + boundary +
                            "\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\n" +
                            token.toLatin1() + "\r\n--" + boundary +
                            "\r\nContent-Disposition: form-data; name=\"userIcon\"; "
                            "filename=\"a.jpg\"\r\nContent-Type: image/jpeg\r\n\r\n" +
                            jpeg(256, 256) + "\r\n--" + boundary + "--\r\n";
    const QByteArray head = "POST /account/perfectUserInfo HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                            "Content-Type: multipart/form-data; boundary=" +
                            boundary + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                            "\r\n\r\n";
    QTcpSocket upload;
    upload.connectToHost(QHostAddress::LocalHost, leaving.port());
    QVERIFY(upload.waitForConnected(5000));
    const qsizetype half = body.size() / 2;
    upload.write(head + body.left(half));
    QVERIFY(upload.waitForBytesWritten(5000));
    QTest::qWait(300);

    QElapsedTimer clock;
    clock.start();
    leaving.terminate();
    QTest::qWait(700);
    QVERIFY2(leaving.isRunning(), "the service ended with a request in progress");
    QTcpSocket late; // no new connection is accepted any more
    late.connectToHost(QHostAddress::LocalHost, leaving.port());
    QVERIFY(!late.waitForConnected(2000));

    upload.write(body.mid(half));
    QByteArray reply;
    QDeadlineTimer deadline(8000);
    while (!deadline.hasExpired() && !reply.contains("\"result_code\"")) {
        upload.waitForReadyRead(100);
        reply += upload.readAll();
    }
    QVERIFY2(reply.startsWith("HTTP/1.1 200"), reply.constData());
    QVERIFY2(reply.contains("\"result_code\":0"), reply.constData());
    QVERIFY(leaving.waitForExit(10000 - int(clock.elapsed())));
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    m_logs += leaving.log();
}

void AccountdFleetTest::requestLogHoldsNoSecret()
{
    const QByteArray logs = m_logs + m_a.log() + m_b.log();
    // One line per request: method, path, status and time.
    QVERIFY2(logs.contains("POST /v2/account/login -> 200 "), logs.constData());
    QVERIFY(logs.contains("POST /account/changePwd -> 200 "));
    QVERIFY(logs.contains("POST /account/perfectUserInfo -> 200 "));
    QVERIFY(logs.contains(" ms "));
    for (const QString &secret : std::as_const(m_secrets)) {
        QVERIFY2(!logs.contains(secret.toUtf8()), qPrintable(secret));
        QVERIFY2(!logs.contains(QUrl::toPercentEncoding(secret)), qPrintable(secret));
    }
}

void AccountdFleetTest::healthFollowsTheDatabase()
{
    QCOMPARE(health(m_a), 200);
    QCOMPARE(health(m_b), 200);
    QVERIFY(m_fx.takeDatabaseAway());
    for (AccountdProcess *process : {&m_a, &m_b}) {
        QByteArray body;
        QCOMPARE(health(*process, &body), 503);
        QVERIFY2(!body.contains(m_fx.directory().toUtf8()) && !body.contains("accountd"),
                 body.constData());
    }
}

ORVANE_TEST_GUILESS_MAIN(AccountdFleetTest)
#include "tst_accountd_fleet.moc"
