#include "PageTestEnv.h"

#include "admin/DebugRecord.h"
#include "diagnostics/DebugEvent.h"
#include "diagnostics/LogMask.h"
#include "diagnostics/MessageHandler.h"
#include "diagnostics/SystemInfo.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QListView>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

class TstDebugRecord : public QObject
{
    Q_OBJECT

    PageTestEnv m_env;

    // A page holding one line of every level after the start line.
    static void fill(DebugRecord &page)
    {
        page.showDebug(QtDebugMsg, u"decode camera A"_s);
        page.showDebug(QtInfoMsg, u"connect Camera B"_s);
        page.showDebug(QtWarningMsg, u"slow camera A"_s);
        page.showDebug(QtCriticalMsg, u"lost link"_s);
    }

private slots:
    void credentialsAreMasked_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("masked");
        const auto row = [](const char *name, const QString &text, const QString &masked) {
            QTest::newRow(name) << text << masked;
        };
        row("query token", u"GET /a?access_token=ab%2F12&x=1"_s,
            u"GET /a?access_token=******&x=1"_s);
        row("form passwords", u"userName=bob&userPwd=s3&newPassword=p"_s,
            u"userName=bob&userPwd=******&newPassword=******"_s);
        row("json value with blank", u"{\"password\":\"pa ss\",\"name\":\"a\"}"_s,
            u"{\"password\":\"******\",\"name\":\"a\"}"_s);
        row("device view password", u"View_Password: hunter2 ch 1"_s,
            u"View_Password: ****** ch 1"_s);
        row("bearer", u"Authorization: Bearer eyJ.x"_s, u"Authorization: Bearer ******"_s);
        row("basic", u"Authorization: Basic YWJj"_s, u"Authorization: Basic ******"_s);
        row("truncated json", u"{\"token\":\"abc de"_s, u"{\"token\":\"******"_s);
        row("empty json value", u"{\"token\":\"\",\"n\":1}"_s, u"{\"token\":\"\",\"n\":1}"_s);
        row("key without value", u"password="_s, u"password="_s);
        row("no credential", u"通道 1 password reset, basic mode"_s,
            u"通道 1 password reset, basic mode"_s);
    }

    void credentialsAreMasked()
    {
        QFETCH(QString, text);
        QFETCH(QString, masked);
        QCOMPARE(maskSecrets(text), masked);
    }

    void loggedCredentialsNeverReachThePage()
    {
        DebugRecord page(nullptr);
        installMessageHandler();
        qWarning("login userPwd=abc123&access_token=tok456");
        qInfo("reply {\"View_Password\":\"cam789\"}");
        qInstallMessageHandler(nullptr);
        QTRY_COMPARE(page.lines().size(), 3);
        const QString all = page.lines().join(u'\n');
        for (const char *secret : {"abc123", "tok456", "cam789"})
            QVERIFY2(!all.contains(QLatin1String(secret)), qPrintable(all));
        QVERIFY(page.lines().at(1).endsWith(u"]login userPwd=******&access_token=******"_s));
        // The backlog a later page starts from is masked as well.
        QVERIFY(!SystemInfo::instance()->backlog().join(u'\n').contains(u"abc123"_s));
    }

    void startsWithTheStartLineThenTheBacklog()
    {
        QCoreApplication::postEvent(SystemInfo::instance(),
                                    new DebugEvent_getDebug(QtWarningMsg, u"before page"_s));
        QCoreApplication::processEvents();
        DebugRecord page(nullptr);
        QCOMPARE(page.lines().first(), u"[START]Debug mod is working,Waiting to record"_s);
        QVERIFY(page.lines().last().startsWith(u"[WARNING-"_s));
        QVERIFY(page.lines().last().endsWith(u"]before page"_s));
        page.showDebug(QtInfoMsg, u"after"_s);
        QVERIFY(page.shownLines().last().endsWith(u"]after"_s));
    }

    void filtersByLeastLevelAndText_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("shown"); // line endings, start line included
        const QString start = u"waiting to record"_s;
        QTest::newRow("all") << int(DebugRecord::AllLevels) << QString()
                             << QStringList{start, u"]decode camera A"_s, u"]connect Camera B"_s,
                                            u"]slow camera A"_s, u"]lost link"_s};
        QTest::newRow("warning and above")
            << int(DebugRecord::Warning) << QString()
            << QStringList{start, u"]slow camera A"_s, u"]lost link"_s};
        QTest::newRow("text, any case")
            << int(DebugRecord::AllLevels) << u"CAMERA"_s
            << QStringList{u"]decode camera A"_s, u"]connect Camera B"_s, u"]slow camera A"_s};
        QTest::newRow("level and text") << int(DebugRecord::Info) << u"camera"_s
                                        << QStringList{u"]connect Camera B"_s, u"]slow camera A"_s};
    }

    void filtersByLeastLevelAndText()
    {
        QFETCH(int, level);
        QFETCH(QString, text);
        QFETCH(QStringList, shown);
        DebugRecord page(nullptr);
        const QStringList backlog = SystemInfo::instance()->backlog();
        const auto matches = [&] {
            QStringList got = page.shownLines();
            got.removeIf([&](const QString &line) { return backlog.contains(line); });
            bool same = got.size() == shown.size();
            for (int i = 0; same && i < got.size(); ++i)
                same = got.at(i).endsWith(shown.at(i), Qt::CaseInsensitive);
            return same ? QString() : got.join(u'|');
        };
        page.setLevelFilter(level);
        page.setTextFilter(text);
        fill(page); // lines that arrive under a filter
        QVERIFY2(matches().isEmpty(), qPrintable(matches()));
        page.setLevelFilter(DebugRecord::AllLevels);
        page.setTextFilter(QString());
        QCOMPARE(page.shownLines(), page.lines());
        page.setLevelFilter(level); // lines already kept
        page.setTextFilter(text);
        QVERIFY2(matches().isEmpty(), qPrintable(matches()));
    }

    void copiesTheSelectionOrEveryShownLine()
    {
        DebugRecord page(nullptr);
        fill(page);
        page.setTextFilter(u"camera"_s);
        page.copyLines();
        QCOMPARE(QGuiApplication::clipboard()->text(), page.shownLines().join(u'\n'));
        auto *view = PageTestEnv::child<QListView>(&page, "listView");
        QVERIFY(view);
        view->selectionModel()->select(view->model()->index(1, 0), QItemSelectionModel::Select);
        view->selectionModel()->select(view->model()->index(0, 0), QItemSelectionModel::Select);
        page.copyLines();
        QCOMPARE(QGuiApplication::clipboard()->text(), page.shownLines().mid(0, 2).join(u'\n'));
    }

    void savesTheShownLinesWholeOrNotAtAll()
    {
        QTemporaryDir dir;
        DebugRecord page(nullptr);
        fill(page);
        page.setLevelFilter(DebugRecord::Warning);
        const QString path = dir.filePath(u"debug.log"_s);
        QVERIFY(page.saveTo(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), page.shownLines().join(u'\n') + u'\n');
        QString error;
        QVERIFY(!page.saveTo(dir.filePath(u"missing/debug.log"_s), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath(u"missing/debug.log"_s)));
    }

    void keepsTheNewestLines()
    {
        DebugRecord page(nullptr);
        page.setTextFilter(u"line"_s);
        for (int i = 0; i < DebugRecord::MaxLines + 5; ++i)
            page.showDebug(QtDebugMsg, u"line %1"_s.arg(i));
        QCOMPARE(page.lines().size(), DebugRecord::MaxLines);
        QCOMPARE(page.shownLines().size(), DebugRecord::MaxLines);
        QVERIFY(page.lines().first().endsWith(u"]line 5"_s));
        QVERIFY(page.shownLines().last().endsWith(u"]line %1"_s.arg(DebugRecord::MaxLines + 4)));
    }

    void artifact()
    {
        DebugRecord page(nullptr);
        fill(page);
        page.showDebug(QtWarningMsg, u"login userPwd=secret&lang=0"_s);
        PageTestEnv::saveArtifact(&page, "control-panel-debug.png");
    }
};

ORVANE_TEST_MAIN(TstDebugRecord)
#include "tst_debugrecord.moc"
