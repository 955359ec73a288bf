// The PTZ panel against a devsim PTZ camera: the commands of both device
// classes, a held button repeated every 2 s and stopped on release, the stop
// going to the channel that moves even when another one was selected
// meanwhile, a window that loses the focus while a button is held, and the
// arrow keys.

#include "DevsimProcess.h"
#include "LinkFixture.h"

#include "ptz/MenuPtz.h"
#include "ptz/PtzBtn.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {
const QString Uid = QStringLiteral("PTZPANEL0000000001");
} // namespace

class TstPtzPanel : public LinkFixture
{
    Q_OBJECT

    DevsimProcess sim;
    std::unique_ptr<MenuPtz> panel;
    Channel *ch = nullptr;

    // Waits for the PTZ status line of channel `index` with this command, after line `from`.
    bool seen(int from, int index, const QString &command)
    {
        const QRegularExpression re(
            QStringLiteral("^PTZ %1/%2 %3 pos=").arg(Uid).arg(index).arg(command));
        return QTest::qWaitFor([&] { return sim.waitForLineFrom(from, re, 20) >= 0; }, 5000);
    }
    int count(int from, int index, const QString &command)
    {
        return int(sim.lines()
                       .mid(from)
                       .filter(QRegularExpression(
                           QStringLiteral("^PTZ %1/%2 %3 pos=").arg(Uid).arg(index).arg(command)))
                       .size());
    }

private slots:
    void commandTable_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("shortForm");
        QTest::newRow("camera up") << 1 << 7 << 1 << true;
        QTest::newRow("camera right") << 3 << 10 << 4 << true;
        QTest::newRow("camera diagonal: nothing") << 6 << 7 << -1 << true;
        QTest::newRow("recorder up") << 1 << 1 << 3 << false;
        QTest::newRow("recorder down-left") << 8 << 2 << 6 << false;
        QTest::newRow("recorder zoom plus") << 10 << 1 << 12 << false;
        QTest::newRow("recorder focus minus") << 11 << 1 << 9 << false;
        QTest::newRow("unknown code") << 15 << 1 << -1 << false;
    }
    void commandTable()
    {
        QFETCH(int, code);
        QFETCH(int, type);
        QFETCH(int, command);
        QFETCH(bool, shortForm);
        const auto [c, s] = MenuPtz::commandFor(code, type);
        QCOMPARE(c, command);
        if (c >= 0)
            QCOMPARE(s, shortForm);
    }

    void initTestCase()
    {
        const quint16 discovery = quint16(40000 + QRandomGenerator::global()->bounded(20000));
        qputenv("ORVANE_P2P_DISCOVERY_PORT", QByteArray::number(discovery));
        sim.setDiscoveryPort(discovery);
        QVERIFY2(sim.start({"--uid", Uid, "--type", "7", "--channels", "2", "--ptz"}),
                 qPrintable(sim.errorText()));
        qputenv("ORVANE_P2P_PEERS", sim.peersEnv().toLatin1());
        io = new IoConnect;
        Device *d = addDevice(Uid, 2);
        d->setType(7);
        ch = open(d, 0);
        QVERIFY(ch && open(d, 1));
        panel = std::make_unique<MenuPtz>();
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
    }
    void cleanupTestCase()
    {
        panel.reset();
        tearDownLink();
    }

    void heldButtonRepeatsAndTheStopReachesTheMovingChannel()
    {
        Dev::instance()->setSelectedChannel(ch);
        const int mark = sim.lineCount();
        PtzBtn *right = panel->button(3);
        QTest::mousePress(right, Qt::LeftButton);
        QVERIFY(seen(mark, 0, QStringLiteral("right")));
        QTRY_COMPARE_WITH_TIMEOUT(count(mark, 0, QStringLiteral("right")), 2,
                                  MenuPtz::ResendMs + 1500);
        // Another channel selected while held: the stop still goes to channel 1's neighbour 0.
        Dev::instance()->setSelectedChannel(ch->device()->channel(1));
        QTest::mouseRelease(right, Qt::LeftButton);
        QVERIFY(seen(mark, 0, QStringLiteral("stop")));
        QCOMPARE(count(mark, 1, QStringLiteral("stop")), 0);
        QVERIFY(!panel->isMoving());
    }

    void focusLossAndArrowKeysEndTheMovement()
    {
        Dev::instance()->setSelectedChannel(ch);
        int mark = sim.lineCount();
        QTest::mousePress(panel->button(2), Qt::LeftButton);
        QVERIFY(seen(mark, 0, QStringLiteral("left")));
        QEvent deactivate(QEvent::WindowDeactivate);
        QCoreApplication::sendEvent(panel->window(), &deactivate);
        QVERIFY(seen(mark, 0, QStringLiteral("stop")));
        QTest::mouseRelease(panel->button(2), Qt::LeftButton); // no second stop
        mark = sim.lineCount();
        QVERIFY(panel->handleKey(Qt::Key_Up, true, false));
        QVERIFY(panel->handleKey(Qt::Key_Up, true, true)); // auto-repeat adds nothing
        QVERIFY(seen(mark, 0, QStringLiteral("up")));
        QVERIFY(panel->handleKey(Qt::Key_Up, false, false));
        QVERIFY(seen(mark, 0, QStringLiteral("stop")));
        QCOMPARE(count(mark, 0, QStringLiteral("up")), 1);
        QVERIFY(!panel->handleKey(Qt::Key_A, true, false));
    }
};

QTEST_MAIN(TstPtzPanel)
#include "tst_ptzpanel.moc"
