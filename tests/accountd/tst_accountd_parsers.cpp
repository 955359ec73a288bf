// The account service's parsers of client input and its secret keeping, without a network:
// form and multipart decoding (good and malformed bytes), the client's stored-text encoding,
// password hashes, reset codes, the device-password cipher, the sign-in rate limit and the
// command line.
#include "AttemptLimiter.h"
#include "CommandLine.h"
#include "Database.h"
#include "FieldCipher.h"
#include "FormData.h"
#include "MultipartForm.h"
#include "PasswordHash.h"
#include "ResetCode.h"
#include "StoredText.h"

#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

using namespace accountd;

class ParsersTest : public QObject
{
    Q_OBJECT

private slots:
    void formDecodesFields_data();
    void formDecodesFields();
    void formRefusesMalformedBodies_data();
    void formRefusesMalformedBodies();
    void multipartFindsParts();
    void multipartRefusesMalformedBodies_data();
    void multipartRefusesMalformedBodies();
    void multipartSurvivesEveryTruncation();
    void storedTextRoundTrips_data();
    void storedTextRoundTrips();
    void storedTextDecodesTheClientsLayout();
    void storedTextRefusesOtherText_data();
    void storedTextRefusesOtherText();
    void passwordHashVerifiesOnlyThePassword();
    void resetCodeDigestReadsTypedCodes_data();
    void resetCodeDigestReadsTypedCodes();
    void fieldCipherNeedsItsKey();
    void attemptLimiterRefusesWithinTheWindow();
    void attemptLimitersOnOneDatabaseShareTheCount();
    void commandLineReadsOptions();
};

void ParsersTest::formDecodesFields_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("plus is a space, %2B a plus") << QByteArray("a=1+2%2B3") << "a"
                                                 << "1 2+3";
    QTest::newRow("lone percent stays") << QByteArray("a=100%") << "a"
                                        << "100%";
    QTest::newRow("percent without hex stays") << QByteArray("a=%zz%4") << "a"
                                               << "%zz%4";
    QTest::newRow("UTF-8 bytes") << QByteArray("n=%E4%B8%AD%E6%96%87") << "n"
                                 << QStringLiteral("中文");
    QTest::newRow("empty segments skipped") << QByteArray("&&a=1&") << "a"
                                            << "1";
    QTest::newRow("field without =") << QByteArray("b&a") << "a"
                                     << "";
    QTest::newRow("= inside the value") << QByteArray("c={\"k\":\"v=w\"}") << "c"
                                        << "{\"k\":\"v=w\"}";
    QTest::newRow("special characters encoded") << QByteArray("u=%26%2B%3D%27%22%25") << "u"
                                                << "&+='\"%";
}

void ParsersTest::formDecodesFields()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QString error;
    const auto form = FormData::parse(body, &error);
    QVERIFY2(form, qPrintable(error));
    QVERIFY(form->contains(name));
    QCOMPARE(form->value(name), value);
}

void ParsersTest::formRefusesMalformedBodies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("field given twice") << QByteArray("a=1&b=2&a=3");
    QTest::newRow("empty field name") << QByteArray("=x");
    QTest::newRow("invalid UTF-8 value") << QByteArray("a=%ff%fe");
    QTest::newRow("invalid UTF-8 name") << QByteArray("%c3%28=1");
    QByteArray many;
    for (int i = 0; i <= FormData::maxFields; ++i)
        many += "f" + QByteArray::number(i) + "=1&";
    QTest::newRow("too many fields") << many;
}

void ParsersTest::formRefusesMalformedBodies()
{
    QFETCH(QByteArray, body);
    QString error;
    QVERIFY(!FormData::parse(body, &error));
    QVERIFY(!error.isEmpty());
}

static const QByteArray qtStyleType = "multipart/form-data; boundary=\"boundary_.oOo._MTIz\"";
static const QByteArray qtStyleBody =
    "--boundary_.oOo._MTIz\r\n"
    "Content-Disposition: form-data; name=\"token\"\r\n\r\n"
    "tok\r\n"
    "--boundary_.oOo._MTIz\r\n"
    "Content-Disposition: form-data; name=\"content\"\r\n\r\n"
    "{\"NickName\":\"n\"}\r\n"
    "--boundary_.oOo._MTIz\r\n"
    "Content-Type: image/jpeg\r\n"
    "Content-Disposition: form-data; name=\"userIcon\"; filename=\"202401011200ABC.jpg\"\r\n\r\n"
    "\xff\xd8\r\n--not-the-boundary\xff\xd9\r\n"
    "--boundary_.oOo._MTIz--\r\n";

void ParsersTest::multipartFindsParts()
{
    QString error;
    const auto form = MultipartForm::parse(qtStyleType, "preamble\r\n" + qtStyleBody, &error);
    QVERIFY2(form, qPrintable(error));
    QCOMPARE(form->parts().size(), 3);
    QCOMPARE(form->part("token")->data, QByteArray("tok"));
    QCOMPARE(form->part("content")->data, QByteArray("{\"NickName\":\"n\"}"));
    const MultipartForm::Part *icon = form->part("userIcon");
    QCOMPARE(icon->fileName, QStringLiteral("202401011200ABC.jpg"));
    QCOMPARE(icon->contentType, QByteArray("image/jpeg"));
    QCOMPARE(icon->data, QByteArray("\xff\xd8\r\n--not-the-boundary\xff\xd9"));
}

void ParsersTest::multipartRefusesMalformedBodies_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("body");
    const QByteArray t = "multipart/form-data; boundary=XX";
    const QByteArray part = "--XX\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n";
    QTest::newRow("not multipart") << QByteArray("text/plain") << QByteArray("--XX--");
    QTest::newRow("no boundary parameter") << QByteArray("multipart/form-data") << part + "--XX--";
    QTest::newRow("boundary over 70 characters")
        << QByteArray("multipart/form-data; boundary=" + QByteArray(71, 'b')) << QByteArray();
    QTest::newRow("boundary absent from body") << t << QByteArray("hello");
    QTest::newRow("no closing delimiter") << t << part;
    QTest::newRow("part without name")
        << t << QByteArray("--XX\r\nContent-Disposition: form-data\r\n\r\n1\r\n--XX--");
    QTest::newRow("part without headers") << t << QByteArray("--XX\r\n\r\n1\r\n--XX--");
    QTest::newRow("name given twice") << t << part + part + "--XX--";
    QTest::newRow("header line without colon")
        << t << QByteArray("--XX\r\nContent-Disposition form-data\r\n\r\n1\r\n--XX--");
    QTest::newRow("not form-data")
        << t
        << QByteArray("--XX\r\nContent-Disposition: attachment; name=\"a\"\r\n\r\n1\r\n--XX--");
    QTest::newRow("unterminated quote")
        << t << QByteArray("--XX\r\nContent-Disposition: form-data; name=\"a\r\n\r\n1\r\n--XX--");
    QTest::newRow("garbage after delimiter") << t << QByteArray("--XXjunk\r\n--XX--");
    QByteArray many;
    for (int i = 0; i <= MultipartForm::maxParts; ++i)
        many += "--XX\r\nContent-Disposition: form-data; name=\"p" + QByteArray::number(i) +
                "\"\r\n\r\nv\r\n";
    QTest::newRow("too many parts") << t << many + "--XX--";
}

void ParsersTest::multipartRefusesMalformedBodies()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, body);
    QString error;
    QVERIFY(!MultipartForm::parse(type, body, &error));
    QVERIFY(!error.isEmpty());
}

void ParsersTest::multipartSurvivesEveryTruncation()
{
    // Each prefix of a valid body is read within its bounds; only those that keep the whole
    // closing delimiter (all but its final CR LF) parse.
    int parsed = 0;
    for (int n = 0; n < qtStyleBody.size(); ++n) {
        QString error;
        if (MultipartForm::parse(qtStyleType, qtStyleBody.left(n), &error))
            ++parsed;
    }
    QCOMPARE(parsed, 2);
}

void ParsersTest::storedTextRoundTrips_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << "secret123";
    QTest::newRow("form characters") << "a&b+c=d/e%f'g\"h";
    QTest::newRow("Chinese") << QStringLiteral("中文密码");
    QTest::newRow("empty") << "";
}

void ParsersTest::storedTextRoundTrips()
{
    QFETCH(QString, text);
    const QString a = StoredText::encode(text);
    QCOMPARE(StoredText::decode(a).value_or(QStringLiteral("<none>")), text);
    // The random prefixes make equal texts encode differently (almost always).
    bool differs = false;
    for (int i = 0; i < 5 && !differs; ++i)
        differs = StoredText::encode(text) != a;
    QVERIFY(differs);
    QString unescaped = a;
    unescaped.replace(QLatin1Char('+'), QLatin1Char(' ')); // a form decoder read "+" as space
    QCOMPARE(StoredText::passwordFromForm(unescaped), text);
}

void ParsersTest::storedTextDecodesTheClientsLayout()
{
    // Built by hand: prefix "def" innermost, then "bc", then "a", each at both ends.
    const QByteArray inner = QByteArray("def"
                                        "pw"
                                        "def")
                                 .toBase64();
    const QByteArray middle = QByteArray("bc" + inner + "bc").toBase64();
    const QByteArray outer = QByteArray("a" + middle + "a").toBase64();
    QCOMPARE(StoredText::decode(QString::fromLatin1(outer)).value_or(QString()),
             QStringLiteral("pw"));
}

void ParsersTest::storedTextRefusesOtherText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain password") << "plainpassword";
    QTest::newRow("base64 without the frame") << "YWJjZGVm";
    QTest::newRow("not base64") << "!!!!";
    QTest::newRow("empty") << "";
    QTest::newRow("prefix differs at the end") << QString::fromLatin1(
        QByteArray("a" + QByteArray("bc" + QByteArray("defpwdeX").toBase64() + "bc").toBase64() +
                   "a")
            .toBase64());
}

void ParsersTest::storedTextRefusesOtherText()
{
    QFETCH(QString, text);
    QVERIFY(!StoredText::decode(text));
    QCOMPARE(StoredText::passwordFromForm(text), text);
}

void ParsersTest::passwordHashVerifiesOnlyThePassword()
{
    const QString password = QStringLiteral("pässwörd 1");
    const QString a = PasswordHash::create(password);
    const QString b = PasswordHash::create(password);
    QVERIFY(a.startsWith(QLatin1String("scrypt$")));
    QVERIFY(a != b); // salted
    QVERIFY(!a.contains(password));
    QVERIFY(PasswordHash::verify(password, a));
    QVERIFY(!PasswordHash::verify(QStringLiteral("pässwörd 2"), a));
    QString tampered = a;
    tampered[tampered.size() - 3] =
        tampered.at(tampered.size() - 3) == QLatin1Char('A') ? 'B' : 'A';
    for (const QString &bad :
         {tampered, QStringLiteral(""), QStringLiteral("scrypt$15$8$1$$"),
          QStringLiteral("scrypt$40$8$1$c2FsdHNhbHQ=$aGFzaGhhc2hoYXNoaGFzaA=="),
          QStringLiteral("md5$abc")})
        QVERIFY2(!PasswordHash::verify(password, bad), qPrintable(bad));
}

void ParsersTest::resetCodeDigestReadsTypedCodes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("reads"); // 1: the printed code, 0: another code, -1: not a code
    QTest::newRow("as printed") << "7K3M-QX9P-2HRT-WC40" << 1;
    QTest::newRow("lower case, spaces") << "7k3m qx9p 2hrt wc40" << 1;
    QTest::newRow("without dashes, O for 0") << "7K3MQX9P2HRTWC4O" << 1;
    QTest::newRow("another code") << "7K3M-QX9P-2HRT-WC41" << 0;
    QTest::newRow("15 characters") << "7K3M-QX9P-2HRT-WC4" << -1;
    QTest::newRow("17 characters") << "7K3M-QX9P-2HRT-WC400" << -1;
    QTest::newRow("U is not in the alphabet") << "7K3M-QX9P-2HRT-WC4U" << -1;
    QTest::newRow("non-ASCII") << QString::fromUtf8("7K3M-QX9P-2HRT-WC4\u00d6") << -1;
    QTest::newRow("65 characters") << "7K3M-QX9P-2HRT-WC40" + QString(46, '-') << -1;
}

void ParsersTest::resetCodeDigestReadsTypedCodes()
{
    QFETCH(QString, typed);
    QFETCH(int, reads);
    const QString printed = ResetCode::digest(QStringLiteral("7K3M-QX9P-2HRT-WC40"));
    QCOMPARE(printed.size(), 64);
    const QString digest = ResetCode::digest(typed);
    QCOMPARE(digest.isEmpty() ? -1 : int(digest == printed), reads);
    const QString code = ResetCode::create();
    QVERIFY2(QRegularExpression("^[0-9A-HJKMNP-TV-Z]{4}(-[0-9A-HJKMNP-TV-Z]{4}){3}$")
                 .match(code)
                 .hasMatch(),
             qPrintable(code));
    QVERIFY(!ResetCode::digest(code).isEmpty() && ResetCode::create() != code);
}

void ParsersTest::fieldCipherNeedsItsKey()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("k"));
    FieldCipher first, reloaded, other;
    QString error;
    QVERIFY2(first.loadKey(path, &error), qPrintable(error));
    QVERIFY2(reloaded.loadKey(path, &error), qPrintable(error));
    QVERIFY(other.loadKey(dir.filePath(QStringLiteral("k2")), &error));
    const QString sealed = first.seal(QStringLiteral("view-pw Ω"));
    QVERIFY(!sealed.contains(QStringLiteral("view-pw")));
    QCOMPARE(reloaded.open(sealed).value_or(QString()), QStringLiteral("view-pw Ω"));
    QVERIFY(!other.open(sealed));
    QString damaged = sealed;
    damaged[10] = damaged.at(10) == QLatin1Char('A') ? 'B' : 'A';
    QVERIFY(!first.open(damaged));
    QFile broken(dir.filePath(QStringLiteral("bad")));
    QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not hex\n") > 0);
    broken.close();
    QVERIFY(!FieldCipher().loadKey(broken.fileName(), &error));
}

namespace {

bool openSqlite(Database &database, const QTemporaryDir &dir)
{
    QString error;
    const auto target =
        Database::parseTarget(QStringLiteral("sqlite:") + dir.filePath("limits.db"), &error);
    return target && database.open(*target, &error);
}

using Outcome = AttemptLimiter::Outcome;

} // namespace

void ParsersTest::attemptLimiterRefusesWithinTheWindow()
{
    QTemporaryDir dir;
    Database database;
    QVERIFY(openSqlite(database, dir));
    AttemptLimiter limiter(database, QStringLiteral("login"), 3, 1000);
    for (qint64 t : {0, 10, 20})
        QCOMPARE(limiter.begin(QStringLiteral("u"), t).outcome, Outcome::Granted);
    AttemptLimiter::Attempt refused = limiter.begin(QStringLiteral("u"), 30);
    QCOMPARE(refused.outcome, Outcome::Refused);
    QCOMPARE(refused.retryAfterMs, 970);
    QCOMPARE(limiter.check(QStringLiteral("other"), 30).outcome, Outcome::Granted);
    AttemptLimiter signUps(database, QStringLiteral("signup"), 3, 1000);
    QCOMPARE(signUps.check(QStringLiteral("u"), 30).outcome, Outcome::Granted);
    QCOMPARE(limiter.begin(QStringLiteral("u"), 1000).outcome, Outcome::Granted);
    refused = limiter.begin(QStringLiteral("u"), 1001);
    QCOMPARE(refused.outcome, Outcome::Refused);
    QCOMPARE(refused.retryAfterMs, 9);
    QVERIFY(limiter.reset(QStringLiteral("u")));
    QCOMPARE(limiter.check(QStringLiteral("u"), 1001).outcome, Outcome::Granted);

    // An attempt that did not fail no longer counts.
    const AttemptLimiter::Attempt kept = limiter.begin(QStringLiteral("v"), 2000);
    limiter.begin(QStringLiteral("v"), 2001);
    const AttemptLimiter::Attempt third = limiter.begin(QStringLiteral("v"), 2002);
    QCOMPARE(third.outcome, Outcome::Granted);
    QVERIFY(limiter.forget(third.id));
    QCOMPARE(limiter.begin(QStringLiteral("v"), 2003).outcome, Outcome::Granted);
    QCOMPARE(limiter.begin(QStringLiteral("v"), 2004).outcome, Outcome::Refused);
    QVERIFY(kept.id > 0);
}

void ParsersTest::attemptLimitersOnOneDatabaseShareTheCount()
{
    QTemporaryDir dir;
    Database first, second; // two connections, as two processes have
    QVERIFY(openSqlite(first, dir));
    QVERIFY(openSqlite(second, dir));
    AttemptLimiter a(first, QStringLiteral("login"), 5, 60000);
    AttemptLimiter b(second, QStringLiteral("login"), 5, 60000);
    for (int i = 0; i < 5; ++i)
        QCOMPARE((i % 2 ? b : a).begin(QStringLiteral("name"), 100 + i).outcome, Outcome::Granted);
    QCOMPARE(a.begin(QStringLiteral("name"), 200).outcome, Outcome::Refused);
    QCOMPARE(b.begin(QStringLiteral("name"), 200).outcome, Outcome::Refused);
}

void ParsersTest::commandLineReadsOptions()
{
    const auto r = CommandLine::parse({"accountd", "--db", "sqlite:/x.db", "--listen", "[::1]:8443",
                                       "--access-ttl", "5", "--login-window", "2", "add-device",
                                       "u", "UID1", "Name", "--channels", "4", "--user", "admin"});
    QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
    QCOMPARE(r.options.command, CommandLine::Command::AddDevice);
    QCOMPARE(r.options.listenAddress, QHostAddress(QStringLiteral("::1")));
    QCOMPARE(r.options.listenPort, quint16(8443));
    QCOMPARE(r.options.settings.accessTtlSecs, 5);
    QCOMPARE(r.options.settings.loginWindowMs, 2000);
    QCOMPARE(r.options.channels, 4);
    QCOMPARE(r.options.viewAccount, QStringLiteral("admin"));
    QCOMPARE(r.options.arguments, QStringList({"u", "UID1", "Name"}));
}

ORVANE_TEST_GUILESS_MAIN(ParsersTest)
#include "tst_accountd_parsers.moc"
