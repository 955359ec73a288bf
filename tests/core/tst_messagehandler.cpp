#include "diagnostics/DebugEvent.h"
#include "diagnostics/MessageHandler.h"
#include "diagnostics/SystemInfo.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

class TstMessageHandler : public QObject
{
    Q_OBJECT

private slots:
    void linesPerMessageType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("pageLine");
        QTest::addColumn<QByteArray>("errorLine");
        QTest::newRow("warning") << int(QtWarningMsg) << u"[WARNING-14:03:07]通道 1"_s
                                 << QByteArray("Warning: 通道 1\n");
        QTest::newRow("info") << int(QtInfoMsg) << u"[INFO-14:03:07]通道 1"_s
                              << QByteArray("Info: 通道 1\n");
    }

    void linesPerMessageType()
    {
        QFETCH(int, type);
        QFETCH(QString, pageLine);
        QFETCH(QByteArray, errorLine);
        const QString text = u"通道 1"_s;
        QCOMPARE(debugPageLine(QtMsgType(type), text, QTime(14, 3, 7)), pageLine);
        QCOMPARE(standardErrorLine(QtMsgType(type), text), errorLine);
        QCOMPARE(debugPageLine(QtMsgType(9), text, QTime(14, 3, 7)), QString()); // unknown type
    }

    void messagesReachTheGuiThreadInOrder()
    {
        SystemInfo *info = SystemInfo::instance();
        QCOMPARE(info->thread(), QCoreApplication::instance()->thread());
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
            QCOMPARE(spy.at(i).at(1).toString(), u"worker %1"_s.arg(i));
        }
        QCOMPARE(spy.at(50).at(0).value<QtMsgType>(), QtInfoMsg);
        const QStringList backlog = info->backlog();
        QVERIFY(backlog.last().startsWith(u"[INFO-"_s));
        QVERIFY(backlog.last().endsWith(u"]gui"_s));
    }

    void backlogIsBounded()
    {
        SystemInfo *info = SystemInfo::instance();
        for (int i = 0; i < SystemInfo::BacklogLimit + 10; ++i)
            QCoreApplication::postEvent(info,
                                        new DebugEvent_getDebug(QtDebugMsg, QString::number(i)));
        QCoreApplication::processEvents();
        const QStringList backlog = info->backlog();
        QCOMPARE(backlog.size(), SystemInfo::BacklogLimit);
        QVERIFY(backlog.last().endsWith(u"]"_s + QString::number(SystemInfo::BacklogLimit + 9)));
        QVERIFY(backlog.first().endsWith(u"]10"_s));
    }
};

ORVANE_TEST_GUILESS_MAIN(TstMessageHandler)
#include "tst_messagehandler.moc"
