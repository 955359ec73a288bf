#include "ConfigTestEnv.h"

#include "config/Config.h"
#include "config/SettingsFile.h"
#include "config/TextEncoding.h"

#include <QtTest>

namespace {

DeviceRecord record(const QString &uid, const QString &nick, int type = 7, int channels = 1)
{
    DeviceRecord r;
    r.type = type;
    r.channel = channels;
    r.uid = uid;
    r.nickname = nick;
    r.username = QStringLiteral("admin");
    r.password = QStringLiteral("pw-") + uid;
    return r;
}

QStringList uids(const QList<DeviceRecord> &list)
{
    QStringList out;
    for (const DeviceRecord &r : list)
        out << r.uid;
    return out;
}

QStringList names(const QList<LoginRecord> &list)
{
    QStringList out;
    for (const LoginRecord &r : list)
        out << r.username;
    return out;
}

} // namespace

class TstConfig : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loginListKeepsThreeNewestFirst();
    void returningUserMovesToFrontWithNewFields();
    void loginNamesAndPasswordsAreStoredEncoded();

    void deviceReplacedInPlaceByUid();
    void deviceRemovedByUid();
    void removingUnknownUidKeepsList();
    void devicesKeepChineseNickNames();

    void absentFileGivesEmptyLists();
    void corruptFileGivesDefaultsAndIsReplacedOnWrite();
    void consecutiveWritesAreReadBack();
    void damagedArraySizeIsBounded();
    void unreadableFileGivesDefaults();
    void interruptedWriteLeavesOldFileIntact();
    void leftoverTempFileIsIgnored();

    void destroyingAConfigRereadsNewPath();

private:
    std::unique_ptr<ConfigTestEnv> env;
};

void TstConfig::init()
{
    env = std::make_unique<ConfigTestEnv>();
    QVERIFY(env->isValid());
}

void TstConfig::cleanup()
{
    SettingsFile::interruptWritesForTesting(0);
    env.reset();
}

void TstConfig::loginListKeepsThreeNewestFirst()
{
    Config *c = Config::instance();
    for (const char *name : {"ann", "bob", "cat", "dan"})
        QVERIFY(c->saveLogin(QString::fromLatin1(name), QStringLiteral("pw"), true, 0));
    QCOMPARE(names(c->readLogins()),
             (QStringList{QStringLiteral("dan"), QStringLiteral("cat"), QStringLiteral("bob")}));
    QSettings raw(env->defaultFile(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("login/size")).toInt(), 3);
}

void TstConfig::returningUserMovesToFrontWithNewFields()
{
    Config *c = Config::instance();
    c->saveLogin(QStringLiteral("ann"), QStringLiteral("a1"), false, 0);
    c->saveLogin(QStringLiteral("bob"), QStringLiteral("b1"), true, 1);
    c->saveLogin(QStringLiteral("cat"), QStringLiteral("c1"), true, 0);

    // The oldest remembered user returns: nobody is dropped.
    c->saveLogin(QStringLiteral("ann"), QStringLiteral("a2"), true, 1);
    const QList<LoginRecord> list = c->readLogins();
    QCOMPARE(names(list),
             (QStringList{QStringLiteral("ann"), QStringLiteral("cat"), QStringLiteral("bob")}));
    QCOMPARE(list.at(0), (LoginRecord{QStringLiteral("ann"), QStringLiteral("a2"), true, 1}));
    QCOMPARE(list.at(2), (LoginRecord{QStringLiteral("bob"), QStringLiteral("b1"), true, 1}));

    // Names compare exactly.
    c->saveLogin(QStringLiteral("Bob"), QStringLiteral("x"), false, 0);
    QCOMPARE(names(c->readLogins()),
             (QStringList{QStringLiteral("Bob"), QStringLiteral("ann"), QStringLiteral("cat")}));
}

void TstConfig::loginNamesAndPasswordsAreStoredEncoded()
{
    Config::instance()->saveLogin(QStringLiteral("客厅"), QStringLiteral("secret"), true, 1);
    QSettings raw(env->defaultFile(), QSettings::IniFormat);
    raw.beginReadArray(QStringLiteral("login"));
    raw.setArrayIndex(0);
    const QString storedName = raw.value(QStringLiteral("username")).toString();
    const QString storedPassword = raw.value(QStringLiteral("password")).toString();
    QCOMPARE(raw.value(QStringLiteral("isremember")).toBool(), true);
    QCOMPARE(raw.value(QStringLiteral("language")).toInt(), 1);
    raw.endArray();
    QVERIFY(!storedPassword.contains(QStringLiteral("secret")));
    QCOMPARE(decodeText(storedName), QStringLiteral("客厅"));
    QCOMPARE(decodeText(storedPassword), QStringLiteral("secret"));
    QVERIFY(!ConfigTestEnv::readAll(env->defaultFile()).contains("secret"));
}

void TstConfig::deviceReplacedInPlaceByUid()
{
    Config *c = Config::instance();
    c->saveDevice(record(QStringLiteral("A"), QStringLiteral("one")));
    c->saveDevice(record(QStringLiteral("B"), QStringLiteral("two")));
    c->saveDevice(record(QStringLiteral("C"), QStringLiteral("three")));
    const DeviceRecord updated = record(QStringLiteral("B"), QStringLiteral("renamed"), 2, 8);
    QVERIFY(c->saveDevice(updated));

    const QList<DeviceRecord> list = c->readDevices();
    QCOMPARE(uids(list),
             (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
    QCOMPARE(list.at(1), updated);
    QCOMPARE(list.at(0).nickname, QStringLiteral("one"));
}

void TstConfig::deviceRemovedByUid()
{
    Config *c = Config::instance();
    for (const char *uid : {"A", "B", "C"})
        c->saveDevice(record(QString::fromLatin1(uid), QStringLiteral("n")));
    QVERIFY(c->removeDevice(QStringLiteral("B")));
    QCOMPARE(uids(c->readDevices()), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
    QSettings raw(c->path(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("device/size")).toInt(), 2);
    QVERIFY(!raw.contains(QStringLiteral("device/3/uid")));
}

void TstConfig::removingUnknownUidKeepsList()
{
    Config *c = Config::instance();
    c->saveDevice(record(QStringLiteral("A"), QStringLiteral("n")));
    c->saveDevice(record(QStringLiteral("B"), QStringLiteral("m")));
    const QList<DeviceRecord> before = c->readDevices();
    QVERIFY(c->removeDevice(QStringLiteral("a"))); // UIDs compare exactly
    QCOMPARE(c->readDevices(), before);
}

void TstConfig::devicesKeepChineseNickNames()
{
    Config *c = Config::instance();
    const DeviceRecord r = record(QStringLiteral("UID-1"), QStringLiteral("客厅摄像头"));
    c->saveDevice(r);
    QCOMPARE(c->readDevices(), QList<DeviceRecord>{r});
    QVERIFY(!ConfigTestEnv::readAll(c->path()).contains("UID-1"));
}

void TstConfig::absentFileGivesEmptyLists()
{
    QVERIFY(!QFile::exists(env->defaultFile()));
    Config *c = Config::instance();
    QCOMPARE(c->path(), env->defaultFile());
    QVERIFY(c->readDevices().isEmpty());
    QVERIFY(c->readLogins().isEmpty());
    QCOMPARE(c->value(QStringLiteral("config/timeLength"), 30).toInt(), 30);
    QVERIFY(!c->contains(QStringLiteral("config/timeLength")));
}

void TstConfig::corruptFileGivesDefaultsAndIsReplacedOnWrite()
{
    // A readable device entry, then damage that breaks the INI syntax.
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919) % 256));
    const QByteArray content =
        "[device]\nsize=1\n1\\uid=" + encodeText(QStringLiteral("A")).toLatin1() +
        "\n1\\channel=4\n" + garbage + "\n[config\ntimeLength=@ByteArray(\n";
    ConfigTestEnv::writeAll(env->defaultFile(), content);

    Config *c = Config::instance();
    QCOMPARE(c->readDevices(), QList<DeviceRecord>());
    QCOMPARE(c->readLogins(), QList<LoginRecord>());
    QCOMPARE(c->value(QStringLiteral("config/windownum"), 1).toInt(), 1);

    // The next write starts afresh and keeps the damaged file aside.
    const DeviceRecord r = record(QStringLiteral("A"), QStringLiteral("x"));
    QVERIFY(c->saveDevice(r));
    QCOMPARE(c->readDevices(), QList<DeviceRecord>{r});
    QCOMPARE(ConfigTestEnv::readAll(c->path() + QStringLiteral(".corrupt")), content);
    QVERIFY(!ConfigTestEnv::readAll(c->path()).contains("timeLength"));
}

void TstConfig::consecutiveWritesAreReadBack()
{
    // Versions of equal size follow each other quickly; each must be seen.
    Config *c = Config::instance();
    for (int i = 0; i < 50; ++i) {
        QVERIFY(c->setValue(QStringLiteral("config/windownum"), i % 10));
        QCOMPARE(c->value(QStringLiteral("config/windownum")).toInt(), i % 10);
    }
}

void TstConfig::damagedArraySizeIsBounded()
{
    Config *c = Config::instance();
    c->saveDevice(record(QStringLiteral("A"), QStringLiteral("x")));
    QSettings raw(c->path(), QSettings::IniFormat);
    raw.setValue(QStringLiteral("device/size"), 2000000000);
    raw.sync();
    QCOMPARE(uids(c->readDevices()), QStringList{QStringLiteral("A")});
}

void TstConfig::unreadableFileGivesDefaults()
{
    // A folder where the file should be can be neither read nor replaced.
    QVERIFY(QDir().mkpath(env->defaultFile()));
    Config *c = Config::instance();
    QVERIFY(c->readDevices().isEmpty());
    QCOMPARE(c->value(QStringLiteral("config/timeLength"), 30).toInt(), 30);
    QVERIFY(!c->saveDevice(record(QStringLiteral("A"), QStringLiteral("x"))));
    QVERIFY(QFileInfo(env->defaultFile()).isDir());
}

void TstConfig::interruptedWriteLeavesOldFileIntact()
{
    Config *c = Config::instance();
    c->saveLogin(QStringLiteral("ann"), QStringLiteral("pw"), true, 0);
    c->saveDevice(record(QStringLiteral("A"), QStringLiteral("one")));
    c->saveDevice(record(QStringLiteral("B"), QStringLiteral("two")));
    const QByteArray before = ConfigTestEnv::readAll(c->path());
    const QList<DeviceRecord> devicesBefore = c->readDevices();

    SettingsFile::interruptWritesForTesting(3);
    QVERIFY(!c->saveDevice(record(QStringLiteral("C"), QStringLiteral("three"))));
    QVERIFY(!c->removeDevice(QStringLiteral("A")));
    QVERIFY(!c->saveLogin(QStringLiteral("bob"), QStringLiteral("pw"), true, 0));

    QCOMPARE(ConfigTestEnv::readAll(c->path()), before);
    QCOMPARE(c->readDevices(), devicesBefore);
    QCOMPARE(names(c->readLogins()), QStringList{QStringLiteral("ann")});
    // Nothing is left next to the file.
    QCOMPARE(QDir(env->root() + QStringLiteral("/Orvane")).entryList(QDir::Files),
             QStringList{QStringLiteral("Orvane.ini")});

    // The next write goes through.
    QVERIFY(c->saveDevice(record(QStringLiteral("C"), QStringLiteral("three"))));
    QCOMPARE(uids(c->readDevices()),
             (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
}

void TstConfig::leftoverTempFileIsIgnored()
{
    Config *c = Config::instance();
    c->saveDevice(record(QStringLiteral("A"), QStringLiteral("one")));
    // What a write cut off by a crash would leave next to the file.
    ConfigTestEnv::writeAll(c->path() + QStringLiteral(".Ab12Cd"), "[device]\nsize=1\n1\\ui");
    QCOMPARE(uids(c->readDevices()), QStringList{QStringLiteral("A")});
    QVERIFY(c->saveDevice(record(QStringLiteral("B"), QStringLiteral("two"))));
    QCOMPARE(uids(c->readDevices()), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
}

void TstConfig::destroyingAConfigRereadsNewPath()
{
    Config *shared = Config::instance();
    QCOMPARE(shared->path(), env->defaultFile());
    const QString other =
        env->makeFolder(QStringLiteral("elsewhere")) + QStringLiteral("/QELO.ini");
    QVERIFY(Config::setDefaultValue(QStringLiteral("newpath"), other));
    QCOMPARE(Config::instance(), shared); // fixed at construction
    {
        Config temporary;
        QCOMPARE(temporary.path(), other);
    }
    QCOMPARE(Config::instance()->path(), other);
    QCOMPARE(shared->path(), env->defaultFile()); // the old object stays usable
}

QTEST_GUILESS_MAIN(TstConfig)
#include "tst_config.moc"
