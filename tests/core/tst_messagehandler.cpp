#include "diagnostics/DebugEvent.h"
#include "diagnostics/MessageHandler.h"
#include "diagnostics/SystemInfo.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

class TstMessageHandler : public QObject
{
    Q_OBJECT

private slots:
    void pageLines_data();
    void pageLines();
    void standardErrorLines_data();
    void standardErrorLines();
    void messagesReachTheGuiThreadInOrder();
    void backlogIsBounded();
};

void TstMessageHandler::pageLines_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("line");
    QTest::newRow("debug") << int(QtDebugMsg) << QStringLiteral("[DEBUG-14:03:07]x");
    QTest::newRow("warning") << int(QtWarningMsg) << QStringLiteral("[WARNING-14:03:07]x");
    QTest::newRow("critical") << int(QtCriticalMsg) << QStringLiteral("[CRITICAL-14:03:07]x");
    QTest::newRow("fatal") << int(QtFatalMsg) << QStringLiteral("[FATAL-14:03:07]x");
    QTest::newRow("info") << int(QtInfoMsg) << QStringLiteral("[INFO-14:03:07]x");
    QTest::newRow("unknown") << 9 << QString();
}

void TstMessageHandler::pageLines()
{
    QFETCH(int, type);
    QFETCH(QString, line);
    QCOMPARE(debugPageLine(QtMsgType(type), QStringLiteral("x"), QTime(14, 3, 7)), line);
}

void TstMessageHandler::standardErrorLines_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("debug") << int(QtDebugMsg) << QByteArray("Debug: 通道 1\n");
    QTest::newRow("warning") << int(QtWarningMsg) << QByteArray("Warning: 通道 1\n");
    QTest::newRow("critical") << int(QtCriticalMsg) << QByteArray("Critical: 通道 1\n");
    QTest::newRow("fatal") << int(QtFatalMsg) << QByteArray("Fatal: 通道 1\n");
    QTest::newRow("info") << int(QtInfoMsg) << QByteArray("Info: 通道 1\n");
}

void TstMessageHandler::standardErrorLines()
{
    QFETCH(int, type);
    QFETCH(QByteArray, line);
    QCOMPARE(standardErrorLine(QtMsgType(type), QStringLiteral("通道 1")), line);
}

void TstMessageHandler::messagesReachTheGuiThreadInOrder()
{
    SystemInfo *info = SystemInfo::instance();
    QCOMPARE(info->thread(), qApp->thread());
    QSignalSpy spy(info, &SystemInfo::debugMsg);

    installMessageHandler();
    QThread *worker = QThread::create([] {
        for (int i = 0; i < 50; ++i)
            qWarning("worker %d", i);
    });
    worker->start();
    QVERIFY(worker->wait(20000));
    delete worker;
    qInfo("gui");
    qInstallMessageHandler(nullptr);

    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 51, 20000);
    for (int i = 0; i < 50; ++i) {
        QCOMPARE(spy.at(i).at(0).value<QtMsgType>(), QtWarningMsg);
        QCOMPARE(spy.at(i).at(1).toString(), QStringLiteral("worker %1").arg(i));
    }
    QCOMPARE(spy.at(50).at(0).value<QtMsgType>(), QtInfoMsg);
    const QStringList backlog = info->backlog();
    QVERIFY(backlog.last().startsWith(QStringLiteral("[INFO-")));
    QVERIFY(backlog.last().endsWith(QStringLiteral("]gui")));
}

void TstMessageHandler::backlogIsBounded()
{
    SystemInfo *info = SystemInfo::instance();
    for (int i = 0; i < SystemInfo::BacklogLimit + 10; ++i)
        QCoreApplication::postEvent(info, new DebugEvent_getDebug(QtDebugMsg, QString::number(i)));
    QCoreApplication::processEvents();
    const QStringList backlog = info->backlog();
    QCOMPARE(backlog.size(), SystemInfo::BacklogLimit);
    QVERIFY(backlog.last().endsWith(QStringLiteral("]") +
                                    QString::number(SystemInfo::BacklogLimit + 9)));
    QVERIFY(backlog.first().endsWith(QStringLiteral("]10")));
}

QTEST_GUILESS_MAIN(TstMessageHandler)
#include "tst_messagehandler.moc"
