// Named layouts and the tour settings in the configuration file: what is saved reads back the
// same, also after a restart and a move of the configuration; a damaged entry is left out or
// corrected, with one warning per key, and costs only itself.
#include "ConfigTestEnv.h"

#include "config/Config.h"
#include "config/TextEncoding.h"

#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

namespace {

// "name|mod|cells|ownWindow,screen,fullScreen|geometry"; cells as "uid:channel" or "-".
QString summary(const LayoutRecord &r)
{
    QStringList cells;
    for (const LayoutCell &c : r.cells)
        cells << (c.isEmpty() ? u"-"_s : c.uid + u':' + QString::number(c.channel));
    const QRect &g = r.geometry;
    return u"%1|%2|%3|%4,%5,%6|%7"_s.arg(r.name)
        .arg(r.windowMod)
        .arg(cells.join(u' '))
        .arg(int(r.ownWindow))
        .arg(r.screen)
        .arg(int(r.fullScreen))
        .arg(g.isNull() ? u"none"_s
                        : u"%1,%2 %3x%4"_s.arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height()));
}

QStringList names(const QList<LayoutRecord> &list)
{
    QStringList out;
    for (const LayoutRecord &r : list)
        out << r.name;
    return out;
}

LayoutRecord layout(const QString &name, int mod, const QList<LayoutCell> &cells = {})
{
    LayoutRecord r;
    r.name = name;
    r.windowMod = mod;
    r.cells = cells;
    return r;
}

QByteArray enc(const QString &text)
{
    return encodeText(text).toLatin1();
}

// One stored layout entry of the INI group [layout]: "n\key=value" lines.
QByteArray entry(int n, const QByteArray &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines.split('\n'))
        if (!line.isEmpty())
            out += QByteArray::number(n) + '\\' + line + '\n';
    return out;
}

// A layout of every grid: full, partly empty, or in its own window.
QList<LayoutRecord> layoutsOfEveryGrid()
{
    QList<LayoutRecord> list;
    for (int mod = 0; mod < StoredLimits::WindowLayouts; ++mod) {
        LayoutRecord r = layout(u"Grid %1 ünïcode"_s.arg(mod), mod);
        for (int i = 0; i < StoredLimits::layoutCells(mod); ++i)
            r.cells << (i % 3 == 1 ? LayoutCell() : LayoutCell{u"CAM-%1"_s.arg(i), i % 64});
        if (mod % 2) {
            r.ownWindow = true;
            r.screen = mod % 3 - 1;
            r.fullScreen = mod == 3;
            r.geometry = mod == 5 ? QRect() : QRect(-1920 + mod, 40, 800 + mod, 16384);
        }
        list << r;
    }
    list[2].cells.resize(2); // cells past the list are empty
    return list;
}

} // namespace

class TstLayouts : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<ConfigTestEnv>();
        QVERIFY(env->isValid());
    }

    void cleanup() { env.reset(); }

    void layoutsReadBackAfterRestartAndMove()
    {
        const QList<LayoutRecord> saved = layoutsOfEveryGrid();
        for (const LayoutRecord &r : saved)
            QVERIFY(Config::instance()->saveLayout(r));
        QCOMPARE(Config::instance()->readLayouts(), saved);

        // Saving under a stored name replaces that layout in place.
        LayoutRecord changed = saved.at(4);
        changed.windowMod = 0;
        changed.cells = {LayoutCell{u"OTHER"_s, 63}};
        QVERIFY(Config::instance()->saveLayout(changed));
        QList<LayoutRecord> expected = saved;
        expected[4] = changed;

        QVERIFY(Config::instance()->set(ConfigKey::LastLayout, changed.name));
        QVERIFY(Config::instance()->saveTourLayouts({saved.at(1).name, saved.at(0).name}));
        QVERIFY(Config::instance()->set(ConfigKey::TourSeconds, 45));
        const auto check = [&](const Config &c) {
            QCOMPARE(c.readLayouts(), expected);
            QCOMPARE(c.get(ConfigKey::LastLayout), changed.name);
            QCOMPARE(c.readTourLayouts(), (QStringList{saved.at(1).name, saved.at(0).name}));
            QCOMPARE(c.get(ConfigKey::TourSeconds), 45);
        };
        Config::forgetInstance();
        check(Config()); // a restart: a new Config reads the file afresh

        // Moving the configuration takes the layouts and the tour along.
        const QString moved = env->makeFolder(u"moved"_s) + u"/orvane.ini"_s;
        QCOMPARE(Config::instance()->moveTo(moved), 0);
        QVERIFY(Config::instance()->readLayouts().isEmpty());
        QVERIFY(Config::instance()->set(ConfigKey::NewPath, moved));
        Config::forgetInstance();
        check(*Config::instance());
    }

    void saveAndRemoveKeepTheOthers()
    {
        Config *c = Config::instance();
        for (const char *name : {"a", "b", "c"})
            QVERIFY(c->saveLayout(layout(QString::fromLatin1(name), 1)));
        QVERIFY(c->removeLayout(u"b"_s));
        QVERIFY(c->removeLayout(u"none such"_s));
        QCOMPARE(names(c->readLayouts()), (QStringList{u"a"_s, u"c"_s}));

        // At most MaxLayouts: one more is refused, replacing one still works.
        for (int i = 2; i < StoredLimits::MaxLayouts; ++i)
            QVERIFY(c->saveLayout(layout(u"n%1"_s.arg(i), 0)));
        QVERIFY(!c->saveLayout(layout(u"one too many"_s, 0)));
        QVERIFY(c->saveLayout(layout(u"a"_s, 6)));
        const QList<LayoutRecord> all = c->readLayouts();
        QCOMPARE(all.size(), StoredLimits::MaxLayouts);
        QCOMPARE(all.first().windowMod, 6);
    }

    // What the reader would not give back is never written.
    void unstorableLayoutIsRefused_data()
    {
        QTest::addColumn<LayoutRecord>("layout");
        const auto with = [](auto edit) {
            LayoutRecord r = layout(u"Lobby"_s, 1, {LayoutCell{u"CAM"_s, 0}});
            edit(r);
            return r;
        };
        QTest::newRow("empty name") << with([](LayoutRecord &r) { r.name.clear(); });
        QTest::newRow("65 characters") << with([](LayoutRecord &r) { r.name.fill(u'x', 65); });
        QTest::newRow("space at the end") << with([](LayoutRecord &r) { r.name += u' '; });
        QTest::newRow("tour separator in the name")
            << with([](LayoutRecord &r) { r.name += ConfigKey::TourSeparator; });
        QTest::newRow("grid 11") << with([](LayoutRecord &r) { r.windowMod = 11; });
        QTest::newRow("grid -1") << with([](LayoutRecord &r) { r.windowMod = -1; });
        QTest::newRow("5 cells in a grid of 4") << with([](LayoutRecord &r) { r.cells.resize(5); });
        QTest::newRow("channel 64") << with([](LayoutRecord &r) { r.cells[0].channel = 64; });
        QTest::newRow("UID of 65") << with([](LayoutRecord &r) { r.cells[0].uid.fill(u'U', 65); });
        QTest::newRow("empty cell with a channel") << with([](LayoutRecord &r) {
            r.cells = {LayoutCell{QString(), 3}};
        });
        QTest::newRow("screen 16") << with([](LayoutRecord &r) { r.screen = 16; });
        QTest::newRow("width 16385")
            << with([](LayoutRecord &r) { r.geometry = QRect(0, 0, 16385, 10); });
        QTest::newRow("height 16385")
            << with([](LayoutRecord &r) { r.geometry = QRect(0, 0, 10, 16385); });
        QTest::newRow("empty but placed geometry")
            << with([](LayoutRecord &r) { r.geometry = QRect(5, 5, 0, 0); });
        QTest::newRow("x beyond any screen")
            << with([](LayoutRecord &r) { r.geometry = QRect(70000, 0, 10, 10); });
    }

    void unstorableLayoutIsRefused()
    {
        QFETCH(LayoutRecord, layout);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^settings: layout not stored"_s));
        QVERIFY(!Config::instance()->saveLayout(layout));
        QVERIFY(Config::instance()->readLayouts().isEmpty());
    }

    // Entry 2 of three, written by hand. read: the summary of what is read of it, "" when it
    // is left out; warned: the keys below "layout/" warned about, each once.
    void damagedEntryIsLeftOutOrCorrected_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("read");
        QTest::addColumn<QStringList>("warned");
        const QByteArray cam = "cell\\1\\uid=" + enc(u"CAM"_s) + "\ncell\\size=1\n";
        const QByteArray good = "windowMod=1\n" + cam + "cell\\1\\channel=2\n";
        const auto named = [&](const QString &name) -> QByteArray {
            return "name=" + enc(name) + '\n' + good;
        };

        QTest::newRow("intact") << named(u"Lobby"_s) << u"Lobby|1|CAM:2|0,-1,0|none"_s
                                << QStringList{};
        QTest::newRow("name trimmed")
            << named(u"  Lobby "_s) << u"Lobby|1|CAM:2|0,-1,0|none"_s << QStringList{};
        QTest::newRow("name of 64")
            << named(QString(64, u'n')) << QString(64, u'n') + u"|1|CAM:2|0,-1,0|none"_s
            << QStringList{};
        QTest::newRow("name of 65")
            << named(QString(65, u'n')) << QString() << QStringList{u"2/name"_s};
        QTest::newRow("name empty") << named(QString()) << QString() << QStringList{u"2/name"_s};
        QTest::newRow("name missing") << good << QString() << QStringList{u"2/name"_s};
        QTest::newRow("name with a control character")
            << named(u"Lob\x01by"_s) << QString() << QStringList{u"2/name"_s};
        QTest::newRow("name not encoded")
            << "name=Lobby\n" + good << QString() << QStringList{u"2/name"_s};
        QTest::newRow("name of the first entry")
            << named(u"First"_s) << QString() << QStringList{u"2/name"_s};
        QTest::newRow("name of a later entry: the first wins")
            << named(u"Third"_s) << u"Third|1|CAM:2|0,-1,0|none"_s << QStringList{u"3/name"_s};
        QTest::newRow("grid 11") << "name=" + enc(u"L"_s) + "\nwindowMod=11\n"
                                 << QString() << QStringList{u"2/windowMod"_s};
        QTest::newRow("grid not a number") << "name=" + enc(u"L"_s) + "\nwindowMod=four\n"
                                           << QString() << QStringList{u"2/windowMod"_s};
        QTest::newRow("grid missing") << "name=" + enc(u"L"_s) + '\n'
                                      << QString() << QStringList{u"2/windowMod"_s};
        QTest::newRow("more cells than the grid")
            << "name=" + enc(u"L"_s) + "\nwindowMod=0\n" + cam +
                   "cell\\1\\channel=2\ncell\\2\\uid=" + enc(u"X"_s) +
                   "\ncell\\2\\channel=1\ncell\\size=2\n"
            << u"L|0|CAM:2|0,-1,0|none"_s << QStringList{u"2/cell"_s};
        QTest::newRow("huge cell count") << named(u"L"_s) + "cell\\size=2147483647\n"
                                         << u"L|1|CAM:2|0,-1,0|none"_s << QStringList{};
        QTest::newRow("channel 64")
            << "name=" + enc(u"L"_s) + "\nwindowMod=1\n" + cam + "cell\\1\\channel=64\n"
            << u"L|1|-|0,-1,0|none"_s << QStringList{u"2/cell/1/channel"_s};
        QTest::newRow("channel missing")
            << "name=" + enc(u"L"_s) + "\nwindowMod=1\n" + cam << u"L|1|-|0,-1,0|none"_s
            << QStringList{u"2/cell/1/channel"_s};
        QTest::newRow("UID of 65")
            << "name=" + enc(u"L"_s) + "\nwindowMod=1\ncell\\1\\uid=" + enc(QString(65, u'U')) +
                   "\ncell\\1\\channel=1\ncell\\size=1\n"
            << u"L|1|-|0,-1,0|none"_s << QStringList{u"2/cell/1/uid"_s};
        QTest::newRow("UID not encoded")
            << "name=" + enc(u"L"_s) +
                   "\nwindowMod=1\ncell\\1\\uid=CAM\ncell\\1\\channel=1\n"
                   "cell\\size=1\n"
            << u"L|1|-|0,-1,0|none"_s << QStringList{u"2/cell/1/uid"_s};
        QTest::newRow("own window kept")
            << named(u"L"_s) + "ownWindow=true\nscreen=15\nfullScreen=true\nx=-65536\ny=65536\n"
                               "width=1\nheight=16384\n"
            << u"L|1|CAM:2|1,15,1|-65536,65536 1x16384"_s << QStringList{};
        QTest::newRow("screen 16") << named(u"L"_s) + "ownWindow=true\nscreen=16\n"
                                   << u"L|1|CAM:2|1,-1,0|none"_s << QStringList{u"2/screen"_s};
        QTest::newRow("screen -2") << named(u"L"_s) + "screen=-2\n"
                                   << u"L|1|CAM:2|0,-1,0|none"_s << QStringList{u"2/screen"_s};
        const QByteArray place = "ownWindow=true\nx=10\ny=20\n";
        QTest::newRow("width 0") << named(u"L"_s) + place + "width=0\nheight=10\n"
                                 << u"L|1|CAM:2|1,-1,0|none"_s << QStringList{u"2/width"_s};
        QTest::newRow("height 16385") << named(u"L"_s) + place + "width=10\nheight=16385\n"
                                      << u"L|1|CAM:2|1,-1,0|none"_s << QStringList{u"2/height"_s};
        QTest::newRow("huge width") << named(u"L"_s) + place + "width=99999999999\nheight=1\n"
                                    << u"L|1|CAM:2|1,-1,0|none"_s << QStringList{u"2/width"_s};
        QTest::newRow("x far off") << named(u"L"_s) + "x=65537\ny=0\nwidth=10\nheight=10\n"
                                   << u"L|1|CAM:2|0,-1,0|none"_s << QStringList{u"2/x"_s};
        QTest::newRow("height missing") << named(u"L"_s) + place + "width=10\n"
                                        << u"L|1|CAM:2|1,-1,0|none"_s << QStringList{u"2/height"_s};
    }

    void damagedEntryIsLeftOutOrCorrected()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, read);
        QFETCH(QStringList, warned);
        const QByteArray ini =
            "[layout]\n" + entry(1, "name=" + enc(u"First"_s) + "\nwindowMod=0\n") +
            entry(2, stored) + entry(3, "name=" + enc(u"Third"_s) + "\nwindowMod=10\n") +
            "size=3\n";
        ConfigTestEnv::writeAll(env->defaultFile(), ini);
        for (const QString &key : warned)
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(u"^settings: layout/"_s + key + u' '));
        QTest::failOnWarning(QRegularExpression(u"."_s));
        const QList<LayoutRecord> layouts = Config::instance()->readLayouts();

        QStringList expected{u"First"_s};
        if (!read.isEmpty())
            expected << read.section(u'|', 0, 0);
        if (!expected.contains(u"Third"_s))
            expected << u"Third"_s;
        QCOMPARE(names(layouts), expected);
        if (!read.isEmpty())
            QCOMPARE(summary(layouts.at(1)), read);
        for (const LayoutRecord &r : layouts)
            QCOMPARE(StoredLimits::layoutProblem(r), QString());
    }

    void layoutArrayReadsAtMostItsLimit()
    {
        QByteArray ini = "[layout]\n";
        for (int i = 1; i <= 70; ++i)
            ini += entry(i, "name=" + enc(u"L%1"_s.arg(i)) + "\nwindowMod=0\n");
        ConfigTestEnv::writeAll(env->defaultFile(), ini + "size=99999999\n");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^settings: layout/size is 70"_s));
        const QList<LayoutRecord> layouts = Config::instance()->readLayouts();
        QCOMPARE(layouts.size(), StoredLimits::MaxLayouts);
        QCOMPARE(layouts.last().name, u"L64"_s);
    }

    // stored: the "config" lines written by hand; seconds, last: what reads back.
    // stored: the "config" lines written by hand; what reads back, and whether one warning
    // says so.
    void tourSettingsStayInBounds_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QStringList>("tour");
        QTest::addColumn<bool>("warns");
        QTest::newRow("defaults") << QByteArray() << 30 << QString() << QStringList{} << false;
        QTest::newRow("within bounds")
            << QByteArray("tourSeconds=3600\nlastLayout=B\ntourLayouts=B\\nA\\nB\\nGone\\n\n")
            << 3600 << u"B"_s << QStringList{u"B"_s, u"A"_s} << false;
        QTest::newRow("below 5 s")
            << QByteArray("tourSeconds=4\n") << 5 << QString() << QStringList{} << true;
        QTest::newRow("above an hour")
            << QByteArray("tourSeconds=3601\n") << 3600 << QString() << QStringList{} << true;
        QTest::newRow("not a number")
            << QByteArray("tourSeconds=soon\n") << 30 << QString() << QStringList{} << true;
        QTest::newRow("last layout of 65 characters") << "lastLayout=" + QByteArray(65, 'x') + '\n'
                                                      << 30 << QString() << QStringList{} << true;
        QTest::newRow("tour as an INI list")
            << QByteArray("tourLayouts=A, B\n") << 30 << QString() << QStringList{} << false;
        QTest::newRow("tour too long") << "tourLayouts=" + QByteArray(4161, 'A') + '\n'
                                       << 30 << QString() << QStringList{} << true;
    }

    void tourSettingsStayInBounds()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, seconds);
        QFETCH(QString, last);
        QFETCH(QStringList, tour);
        QFETCH(bool, warns);
        QByteArray ini = "[layout]\n" + entry(1, "name=" + enc(u"A"_s) + "\nwindowMod=0\n") +
                         entry(2, "name=" + enc(u"B"_s) + "\nwindowMod=0\n") + "size=2\n";
        ConfigTestEnv::writeAll(env->defaultFile(), ini + "[config]\n" + stored);
        if (warns)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^settings: config/"_s));
        QTest::failOnWarning(QRegularExpression(u"."_s));
        const Config *c = Config::instance();
        QCOMPARE(c->get(ConfigKey::TourSeconds), seconds);
        QCOMPARE(c->get(ConfigKey::LastLayout), last);
        QCOMPARE(c->readTourLayouts(), tour);
    }

    void tourKeepsLayoutNamesOnly()
    {
        Config *c = Config::instance();
        QVERIFY(!c->saveTourLayouts({u"A"_s, u"B\nC"_s}));
        QVERIFY(!c->saveTourLayouts({QString()}));
        QVERIFY(c->saveTourLayouts({u"A"_s, u"A"_s, u"B"_s}));
        QCOMPARE(c->get(ConfigKey::TourLayouts), u"A\nB"_s);
        QCOMPARE(c->readTourLayouts(), QStringList{}); // no such layouts stored
        QVERIFY(c->saveLayout(layout(u"B"_s, 0)));
        QCOMPARE(c->readTourLayouts(), QStringList{u"B"_s});
    }

private:
    std::unique_ptr<ConfigTestEnv> env;
};

ORVANE_TEST_MAIN(TstLayouts)
#include "tst_layouts.moc"
