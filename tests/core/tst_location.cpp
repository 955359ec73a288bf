#include "ConfigTestEnv.h"

#include "config/Config.h"
#include "config/Location.h"

#include <QStandardPaths>
#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

namespace {

DeviceRecord record(const QString &uid, const QString &nick)
{
    return DeviceRecord{2, 4, nick, uid, u"view"_s, u"secret"_s};
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
    void init()
    {
        env = std::make_unique<ConfigTestEnv>();
        QVERIFY(env->isValid());
    }

    void cleanup() { env.reset(); }

    void unusableValuesGiveDefaults()
    {
        Location *l = Location::instance();
        ConfigTestEnv::writeAll(env->defaultFile(),
                                "[config]\ntimeLength=half an hour\nwindownum=\n"
                                "picpath=default\nvideopath=\n");
        QCOMPARE(l->timeLength(), 30);
        QCOMPARE(l->windowNum(), 1);
        QCOMPARE(l->picPath(), documents());
        QCOMPARE(l->videoPath(), documents());
    }

    void moveCarriesDevicesPinsAndThreeSettings()
    {
        Location *l = Location::instance();
        Config *c = Config::instance();
        const QList<DeviceRecord> devices{record(u"A"_s, u"客厅"_s), record(u"B"_s, u"door"_s)};
        for (const DeviceRecord &r : devices)
            c->saveDevice(r);
        l->setPicPath(u"/pictures"_s);
        l->setVideoPath(u"/videos"_s);
        l->setTimeLength(12);
        l->setWindowNum(5);
        c->saveLogin(u"ann"_s, u"pw"_s, true, 0);
        const QString pin(64, QLatin1Char('a'));
        QVERIFY(c->setDevicePin(u"B"_s, pin));
        QSettings before(env->defaultFile(), QSettings::IniFormat);
        const QString storedUid = before.value(u"device/1/uid"_s).toString();

        const QString folder = env->makeFolder(u"moved"_s);
        QCOMPARE(l->setSettingsPath(folder), int(Location::Moved));
        const QString file = folder + u"/QELO.ini"_s;

        // The new file holds the devices, re-encoded, and the three settings.
        QSettings moved(file, QSettings::IniFormat);
        QCOMPARE(moved.value(u"config/picpath"_s).toString(), u"/pictures"_s);
        QCOMPARE(moved.value(u"config/videopath"_s).toString(), u"/videos"_s);
        QCOMPARE(moved.value(u"config/timeLength"_s).toInt(), 12);
        QVERIFY(!moved.contains(u"config/windownum"_s));
        QVERIFY(moved.value(u"device/1/uid"_s).toString() != storedUid);

        // The default file points at it and keeps only what is not moved.
        QSettings old(env->defaultFile(), QSettings::IniFormat);
        QCOMPARE(old.value(u"newpath"_s).toString(), file);
        QCOMPARE(old.childGroups(), QStringList{"login"});

        // Every reader now uses the new file.
        QCOMPARE(l->settingsPath(), file);
        QCOMPARE(Config::instance()->path(), file);
        QCOMPARE(Config::instance()->readDevices(), devices);
        QCOMPARE(Config::instance()->devicePin(u"B"_s), pin); // trusted keys go along
        QCOMPARE(l->picPath(), u"/pictures"_s);
        QCOMPARE(l->timeLength(), 12);
        QCOMPARE(l->windowNum(), 1);
        QCOMPARE(Config::instance()->readLogins().size(), 1);
    }

    void moveLeavesUnsetKeysUnset()
    {
        Location *l = Location::instance();
        l->setTimeLength(7);
        const QString folder = env->makeFolder(u"moved"_s);
        QCOMPARE(l->setSettingsPath(folder), 0);
        QCOMPARE(ConfigTestEnv::readAll(folder + u"/QELO.ini"_s),
                 QByteArray("[config]\ntimeLength=7\n\n[device]\nsize=0\n"));
        QCOMPARE(l->picPath(), documents());
        QCOMPARE(l->timeLength(), 7);
    }

    void refusedMoveChangesNothing_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("result");
        QTest::newRow("missing folder") << u"missing"_s << int(Location::NoSuchFolder);
        QTest::newRow("no folder") << QString() << int(Location::NoSuchFolder);
        // "QELO.ini" is taken by a folder: the file cannot be written.
        QTest::newRow("unwritable file") << u"blocked"_s << int(Location::NotWritable);
    }

    void refusedMoveChangesNothing()
    {
        QFETCH(QString, folder);
        QFETCH(int, result);
        Location *l = Location::instance();
        Config::instance()->saveDevice(record(u"A"_s, u"x"_s));
        l->setWindowNum(3);
        const QByteArray before = ConfigTestEnv::readAll(env->defaultFile());
        if (folder == QLatin1String("blocked"))
            QVERIFY(QDir(env->makeFolder(folder)).mkdir(u"QELO.ini"_s));

        QCOMPARE(l->setSettingsPath(folder.isEmpty() ? folder : env->root() + u'/' + folder),
                 result);
        QCOMPARE(ConfigTestEnv::readAll(env->defaultFile()), before);
        QCOMPARE(l->settingsPath(), env->defaultFile());
        Config fresh;
        QCOMPARE(fresh.readDevices().size(), 1);
        QCOMPARE(l->windowNum(), 3);
    }

    void moveToTheFolderInUseKeepsEverything()
    {
        Location *l = Location::instance();
        const QString folder = env->makeFolder(u"moved"_s);
        QCOMPARE(l->setSettingsPath(folder), 0);
        Config::instance()->saveDevice(record(u"A"_s, u"x"_s));
        l->setTimeLength(9);

        QCOMPARE(l->setSettingsPath(folder), 0);
        QCOMPARE(Config::instance()->readDevices().size(), 1);
        QCOMPARE(l->timeLength(), 9);

#ifndef Q_OS_WIN
        // The same folder reached through a link.
        const QString alias = env->root() + u"/alias"_s;
        QVERIFY(QFile::link(folder, alias));
        QCOMPARE(l->setSettingsPath(alias), 0);
        QCOMPARE(Config::instance()->readDevices().size(), 1);
        QCOMPARE(l->timeLength(), 9);
#endif
    }

    void moveWithTheDefaultFileElsewhereInUse()
    {
        Location *l = Location::instance();
        const QString first = env->makeFolder(u"first"_s);
        const QString second = env->makeFolder(u"second"_s);
        QCOMPARE(l->setSettingsPath(first), 0);
        Config::instance()->saveDevice(record(u"A"_s, u"x"_s));
        l->setWindowNum(4);

        QCOMPARE(l->setSettingsPath(second), 0);
        QCOMPARE(Config::instance()->readDevices().size(), 1);
        QSettings left(first + u"/QELO.ini"_s, QSettings::IniFormat);
        QVERIFY(left.allKeys().isEmpty());
        QCOMPARE(l->windowNum(), 1);
    }

private:
    std::unique_ptr<ConfigTestEnv> env;
};

ORVANE_TEST_GUILESS_MAIN(TstLocation)
#include "tst_location.moc"
