#include "ConfigTestEnv.h"

#include "config/Config.h"
#include "config/Location.h"

#include <QStandardPaths>
#include <QtTest>

namespace {

DeviceRecord record(const QString &uid, const QString &nick)
{
    return DeviceRecord{2, 4, nick, uid, QStringLiteral("view"), QStringLiteral("secret")};
}

QString documents()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

} // namespace

class TstLocation : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void absentOrUnusableValuesGiveDefaults();
    void settingsAreWrittenAtOnce();

    void moveCarriesDevicesAndThreeSettings();
    void moveLeavesUnsetKeysUnset();
    void refusedMoveChangesNothing_data();
    void refusedMoveChangesNothing();
    void moveToTheFolderInUseKeepsEverything();
    void moveWithTheDefaultFileElsewhereInUse();

private:
    std::unique_ptr<ConfigTestEnv> env;
};

void TstLocation::init()
{
    env = std::make_unique<ConfigTestEnv>();
    QVERIFY(env->isValid());
}

void TstLocation::cleanup()
{
    env.reset();
}

void TstLocation::absentOrUnusableValuesGiveDefaults()
{
    Location *l = Location::instance();
    QCOMPARE(l->picPath(), documents());
    QCOMPARE(l->videoPath(), documents());
    QCOMPARE(l->timeLength(), 30);
    QCOMPARE(l->windowNum(), 1);
    QCOMPARE(l->settingsPath(), env->defaultFile());

    ConfigTestEnv::writeAll(env->defaultFile(), "[config]\ntimeLength=half an hour\nwindownum=\n"
                                                "picpath=default\nvideopath=\n");
    QCOMPARE(l->timeLength(), 30);
    QCOMPARE(l->windowNum(), 1);
    QCOMPARE(l->picPath(), documents());
    QCOMPARE(l->videoPath(), documents());
}

void TstLocation::settingsAreWrittenAtOnce()
{
    Location *l = Location::instance();
    QVERIFY(l->setPicPath(QStringLiteral("/pictures")));
    QVERIFY(l->setVideoPath(QStringLiteral("/videos")));
    QVERIFY(l->setTimeLength(5));
    QVERIFY(l->setWindowNum(6));

    QCOMPARE(ConfigTestEnv::readAll(env->defaultFile()),
             QByteArray("[config]\npicpath=/pictures\ntimeLength=5\nvideopath=/videos\n"
                        "windownum=6\n"));
    QCOMPARE(l->picPath(), QStringLiteral("/pictures"));
    QCOMPARE(l->timeLength(), 5);
    QCOMPARE(l->windowNum(), 6);
}

void TstLocation::moveCarriesDevicesAndThreeSettings()
{
    Location *l = Location::instance();
    Config *c = Config::instance();
    const QList<DeviceRecord> devices{record(QStringLiteral("A"), QStringLiteral("客厅")),
                                      record(QStringLiteral("B"), QStringLiteral("door"))};
    for (const DeviceRecord &r : devices)
        c->saveDevice(r);
    l->setPicPath(QStringLiteral("/pictures"));
    l->setVideoPath(QStringLiteral("/videos"));
    l->setTimeLength(12);
    l->setWindowNum(5);
    c->saveLogin(QStringLiteral("ann"), QStringLiteral("pw"), true, 0);
    QSettings before(env->defaultFile(), QSettings::IniFormat);
    const QString storedUid = before.value(QStringLiteral("device/1/uid")).toString();

    const QString folder = env->makeFolder(QStringLiteral("moved"));
    QCOMPARE(l->setSettingsPath(folder), int(Location::Moved));
    const QString file = folder + QStringLiteral("/QELO.ini");

    // The new file holds the devices, re-encoded, and the three settings.
    QSettings moved(file, QSettings::IniFormat);
    QCOMPARE(moved.value(QStringLiteral("config/picpath")).toString(), QStringLiteral("/pictures"));
    QCOMPARE(moved.value(QStringLiteral("config/videopath")).toString(), QStringLiteral("/videos"));
    QCOMPARE(moved.value(QStringLiteral("config/timeLength")).toInt(), 12);
    QVERIFY(!moved.contains(QStringLiteral("config/windownum")));
    QVERIFY(moved.value(QStringLiteral("device/1/uid")).toString() != storedUid);

    // The default file points at it and keeps only what is not moved.
    QSettings old(env->defaultFile(), QSettings::IniFormat);
    QCOMPARE(old.value(QStringLiteral("newpath")).toString(), file);
    QCOMPARE(old.childGroups(), QStringList{"login"});

    // Every reader now uses the new file.
    QCOMPARE(l->settingsPath(), file);
    QCOMPARE(Config::instance()->path(), file);
    QCOMPARE(Config::instance()->readDevices(), devices);
    QCOMPARE(l->picPath(), QStringLiteral("/pictures"));
    QCOMPARE(l->timeLength(), 12);
    QCOMPARE(l->windowNum(), 1);
    QCOMPARE(Config::instance()->readLogins().size(), 1);
}

void TstLocation::moveLeavesUnsetKeysUnset()
{
    Location *l = Location::instance();
    l->setTimeLength(7);
    const QString folder = env->makeFolder(QStringLiteral("moved"));
    QCOMPARE(l->setSettingsPath(folder), 0);
    QCOMPARE(ConfigTestEnv::readAll(folder + QStringLiteral("/QELO.ini")),
             QByteArray("[config]\ntimeLength=7\n\n[device]\nsize=0\n"));
    QCOMPARE(l->picPath(), documents());
    QCOMPARE(l->timeLength(), 7);
}

void TstLocation::refusedMoveChangesNothing_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("result");
    QTest::newRow("missing folder") << QStringLiteral("missing") << int(Location::NoSuchFolder);
    QTest::newRow("no folder") << QString() << int(Location::NoSuchFolder);
    // "QELO.ini" is taken by a folder: the file cannot be written.
    QTest::newRow("unwritable file") << QStringLiteral("blocked") << int(Location::NotWritable);
}

void TstLocation::refusedMoveChangesNothing()
{
    QFETCH(QString, folder);
    QFETCH(int, result);
    Location *l = Location::instance();
    Config::instance()->saveDevice(record(QStringLiteral("A"), QStringLiteral("x")));
    l->setWindowNum(3);
    const QByteArray before = ConfigTestEnv::readAll(env->defaultFile());
    if (folder == QLatin1String("blocked"))
        QVERIFY(QDir(env->makeFolder(folder)).mkdir(QStringLiteral("QELO.ini")));

    QCOMPARE(l->setSettingsPath(folder.isEmpty() ? folder : env->root() + u'/' + folder), result);
    QCOMPARE(ConfigTestEnv::readAll(env->defaultFile()), before);
    QCOMPARE(l->settingsPath(), env->defaultFile());
    Config fresh;
    QCOMPARE(fresh.readDevices().size(), 1);
    QCOMPARE(l->windowNum(), 3);
}

void TstLocation::moveToTheFolderInUseKeepsEverything()
{
    Location *l = Location::instance();
    const QString folder = env->makeFolder(QStringLiteral("moved"));
    QCOMPARE(l->setSettingsPath(folder), 0);
    Config::instance()->saveDevice(record(QStringLiteral("A"), QStringLiteral("x")));
    l->setTimeLength(9);

    QCOMPARE(l->setSettingsPath(folder), 0);
    QCOMPARE(Config::instance()->readDevices().size(), 1);
    QCOMPARE(l->timeLength(), 9);

#ifndef Q_OS_WIN
    // The same folder reached through a link.
    const QString alias = env->root() + QStringLiteral("/alias");
    QVERIFY(QFile::link(folder, alias));
    QCOMPARE(l->setSettingsPath(alias), 0);
    QCOMPARE(Config::instance()->readDevices().size(), 1);
    QCOMPARE(l->timeLength(), 9);
#endif
}

void TstLocation::moveWithTheDefaultFileElsewhereInUse()
{
    Location *l = Location::instance();
    const QString first = env->makeFolder(QStringLiteral("first"));
    const QString second = env->makeFolder(QStringLiteral("second"));
    QCOMPARE(l->setSettingsPath(first), 0);
    Config::instance()->saveDevice(record(QStringLiteral("A"), QStringLiteral("x")));
    l->setWindowNum(4);

    QCOMPARE(l->setSettingsPath(second), 0);
    QCOMPARE(Config::instance()->readDevices().size(), 1);
    QSettings left(first + QStringLiteral("/QELO.ini"), QSettings::IniFormat);
    QVERIFY(left.allKeys().isEmpty());
    QCOMPARE(l->windowNum(), 1);
}

QTEST_GUILESS_MAIN(TstLocation)
#include "tst_location.moc"
