// The PTZ panel against a devsim PTZ camera: the commands of both device
// classes, a held button repeated every 2 s and stopped on release, the stop
// going to the channel that moves even when another one was selected
// meanwhile, a window that loses the focus while a button is held, and the
// arrow keys.

#include "DevsimProcess.h"
#include "LinkFixture.h"

#include "config/Config.h"
#include "ptz/Cruise.h"
#include "ptz/MenuPtz.h"
#include "ptz/Point.h"
#include "ptz/PtzBtn.h"
#include "ptz/PtzTab.h"

#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

namespace {
const QString Uid = QStringLiteral("PTZPANEL0000000001");
} // namespace

class TstPtzPanel : public LinkFixture
{
    Q_OBJECT

    QTemporaryDir settings;
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
    // The PTZ commands of a channel from line `from` on, in order.
    QStringList commands(int from, int index = 0)
    {
        const QRegularExpression re(QStringLiteral("^PTZ %1/%2 (\\S+) pos=").arg(Uid).arg(index));
        QStringList out;
        for (const QString &line : sim.lines().mid(from))
            if (const auto m = re.match(line); m.hasMatch())
                out.append(m.captured(1));
        return out;
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
        QVERIFY(settings.isValid()); // presets are kept in the configuration
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
        Config::forgetInstance();
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

    // Presets: a camera (short form) alternates between its two presets, a
    // recorder counts on; "go" right after a channel change goes to the first.
    void presetNumbering_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<int>("rows");
        QTest::newRow("camera") << 7 << 0
                                << QStringList{"preset-set-1", "preset-set-2", "preset-set-1"} << 2;
        QTest::newRow("recorder") << 1 << 1
                                  << QStringList{"preset-set-1", "preset-set-2", "preset-set-3"}
                                  << 3;
    }
    void presetNumbering()
    {
        QFETCH(int, type);
        QFETCH(int, index);
        QFETCH(QStringList, sent);
        QFETCH(int, rows);
        ch->device()->setType(type);
        Channel *target = ch->device()->channel(index);
        Channel *other = ch->device()->channel(1 - index);
        Dev::instance()->setSelectedChannel(target);
        Point *point = panel->pointPanel();
        const int mark = sim.lineCount();
        for (int i = 0; i < 3; ++i) {
            point->addPoint();
            QVERIFY(QTest::qWaitFor([&] { return commands(mark, index).size() == i + 1; }, 5000));
        }
        QCOMPARE(commands(mark, index), sent);
        auto *model = qobject_cast<QStandardItemModel *>(point->table()->model());
        QCOMPARE(model->rowCount(), rows);
        QCOMPARE(model->item(rows - 1, 0)->text(), QString::number(rows));
        // Another channel and back: each keeps its list, "go" goes to the first preset.
        Dev::instance()->setSelectedChannel(other);
        QVERIFY(point->table()->model()->rowCount() != rows);
        Dev::instance()->setSelectedChannel(target);
        QCOMPARE(point->table()->model()->rowCount(), rows);
        point->goPoint();
        QVERIFY(QTest::qWaitFor([&] { return commands(mark, index).size() == 4; }, 5000));
        QCOMPARE(commands(mark, index).last(), QStringLiteral("preset-go-1"));
        // The presets outlive the panel: a new one (the next start) lists them
        // and numbers on from them.
        Point fresh;
        fresh.loadPoint(target);
        QCOMPARE(fresh.table()->model()->rowCount(), rows);
        fresh.addPoint();
        QVERIFY(QTest::qWaitFor([&] { return commands(mark, index).size() == 5; }, 5000));
        QCOMPARE(commands(mark, index).last(),
                 type == 7 ? QStringLiteral("preset-set-2") : QStringLiteral("preset-set-4"));
    }

    // Cruise buttons toggle on the chosen line: a recorder lists two lines.
    void cruiseToggles_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("line");
        QTest::addColumn<QStringList>("sent");
        QTest::newRow("camera") << 10 << 0
                                << QStringList{"cruise-start-1", "stop", "cruise-start-1", "stop"};
        QTest::newRow("recorder line 2") << 1 << 1
                                         << QStringList{"cruise-start-2", "cruise-stop-2",
                                                        "auto-cruise-start", "auto-cruise-stop"};
    }
    void cruiseToggles()
    {
        QFETCH(int, type);
        QFETCH(int, line);
        QFETCH(QStringList, sent);
        ch->device()->setType(type);
        Dev::instance()->setSelectedChannel(nullptr);
        Dev::instance()->setSelectedChannel(ch);
        panel->tab(QStringLiteral("widget_cruise"))->select();
        QVERIFY(panel->cruisePanel()->isVisible() && !panel->pointPanel()->isVisible());
        Cruise *cruise = panel->cruisePanel();
        QCOMPARE(cruise->table()->model()->rowCount(), type == 1 ? 2 : 1);
        cruise->pressedRow(cruise->table()->model()->index(line, 0));
        const int mark = sim.lineCount();
        QPushButton *buttons[] = {cruise->cruiseButton(), cruise->cruiseButton(),
                                  cruise->autoCruiseButton(), cruise->autoCruiseButton()};
        for (int i = 0; i < 4; ++i) {
            buttons[i]->click();
            QCOMPARE(buttons[i]->text(),
                     i % 2 ? (i < 2 ? QStringLiteral("开始巡航") : QStringLiteral("自动巡航"))
                           : QStringLiteral("停止巡航"));
            QVERIFY(QTest::qWaitFor([&] { return commands(mark).size() == i + 1; }, 5000));
        }
        QCOMPARE(commands(mark), sent);
        panel->tab(QStringLiteral("widget_point"))->select();
        ch->device()->setType(7);
    }
};

ORVANE_TEST_MAIN(TstPtzPanel)
#include "tst_ptzpanel.moc"
