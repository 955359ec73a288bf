#include "../view/RecordingLink.h"
#include "../view/ViewTestEnv.h"

#include "app/LiveStartup.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"

#include <QRegularExpression>
#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

// The channels opened at start by "--live": the argument and the placement.
class tst_LiveStartup : public QObject
{
    Q_OBJECT

private slots:
    // What parses, as "UID:CH,..." again, and the windows of the layout
    // chosen for it; "error" for a malformed argument.
    void argumentGivesEntriesAndLayout_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed");
        QTest::addColumn<int>("windows");
        const auto row = [](const char *name, const QString &text, const QString &parsed,
                            int windows = 0) { QTest::newRow(name) << text << parsed << windows; };
        row("one entry", u"CAM1:1"_s, u"CAM1:1"_s, 1);
        row("order kept", u"B:2,A:1,B:1"_s, u"B:2,A:1,B:1"_s, 4);
        row("spaces around entries", u" A:1 , B:016 "_s, u"A:1,B:16"_s, 4);
        const int layouts[][2] = {{5, 6},   {7, 8},   {9, 9},   {10, 13}, {14, 16},
                                  {17, 25}, {26, 36}, {37, 49}, {50, 64}, {64, 64}};
        for (const auto &[n, windows] : layouts)
            row(qPrintable(u"%1 entries"_s.arg(n)), QStringList(n, u"D:1"_s).join(u','),
                QStringList(n, u"D:1"_s).join(u','), windows);
        row("no colon", u"X"_s, u"error"_s);
        row("no channel", u"UID:"_s, u"error"_s);
        row("channel 0", u"UID:0"_s, u"error"_s);
        row("channel not a number", u"UID:abc"_s, u"error"_s);
        row("signed channel", u"UID:+1"_s, u"error"_s);
        row("channel past int", u"UID:99999999999"_s, u"error"_s);
        row("no UID", u":1"_s, u"error"_s);
        row("UID of 65 characters", QString(65, u'U') + u":1"_s, u"error"_s);
        row("empty entry", u"A:1,,B:2"_s, u"error"_s);
        row("empty argument", QString(), u"error"_s);
        row("65 entries", QStringList(65, u"D:1"_s).join(u','), u"error"_s);
    }

    void argumentGivesEntriesAndLayout()
    {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        QFETCH(int, windows);
        QString error;
        const QList<LiveStartup::Entry> list = LiveStartup::parse(text, &error);
        QStringList out;
        for (const LiveStartup::Entry &e : list)
            out << e.uid + u':' + QString::number(e.channel);
        QCOMPARE(out.isEmpty() ? u"error"_s : out.join(u','), parsed);
        QCOMPARE(error.isEmpty(), !list.isEmpty());
        if (!list.isEmpty())
            QCOMPARE(WindowMod::windowCount(LiveStartup::layoutFor(int(list.size()))), windows);
    }

    void entriesOpenInGridOrderAndUnknownOnesLeaveGaps()
    {
        ViewTestEnv env;
        ViewTestEnv::quietLink();
        QStringList calls;
        ViewControl *vc = ViewControl::instance();
        vc->setLink(std::make_unique<RecordingLink>(&calls));
        QWidget host;
        host.resize(800, 600);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        vc->attach(&host); // the stored layout: 4 windows
        Device *cam = ViewTestEnv::addDevice(u"CAM"_s, 1, -1);
        ViewTestEnv::addDevice(u"NVR"_s, 8, -1);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"NOPE: unknown device"_s));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"NVR has no channel 9"_s));
        LiveStartup::open(
            {{u"NVR"_s, 3}, {u"NOPE"_s, 1}, {u"NVR"_s, 9}, {u"CAM"_s, 1}, {u"NVR"_s, 8}}, vc,
            Dev::instance());
        QCOMPARE(vc->windowMod(), WINDOW_MOD_6);
        QStringList shown;
        for (const GlWidgetViewWindow *w : vc->windows())
            shown << RecordingLink::name(w->channel());
        QCOMPARE(shown, (QStringList{"NVR/2", "null", "null", "CAM/0", "NVR/7", "null"}));
        QCOMPARE(calls,
                 (QStringList{"connectChannel NVR/2", "startChannel NVR/2", "connectChannel CAM/0",
                              "startChannel CAM/0", "connectChannel NVR/7", "startChannel NVR/7"}));

        // The link's success finds the channel where it was put.
        calls.clear();
        vc->connectChannelSuccess(cam->channel(0));
        QCOMPARE(ViewControl::instance()->cellOf(cam->channel(0)), vc->windows().at(3));
        QCOMPARE(calls, QStringList{"startVideo CAM/0"});

        vc->removeWindowsFrom(0);
        ViewTestEnv::flushDeletes();
        ViewTestEnv::clearDevices();
    }
};

ORVANE_TEST_MAIN(tst_LiveStartup)
#include "tst_livestartup.moc"
