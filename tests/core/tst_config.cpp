#include "ConfigTestEnv.h"

#include "config/Config.h"
#include "config/SettingsFile.h"
#include "config/TextEncoding.h"

#include <QtTest>

namespace {

DeviceRecord record(const QString &uid, const QString &nick, int type = 7, int channels = 1)
{
    return DeviceRecord{type, channels, nick, uid, QStringLiteral("admin"),
                        QStringLiteral("pw-") + uid};
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
    void loginNamesAndPasswordsAreStoredEncoded();
    void devicesAreReplacedAndRemovedByExactUid();
    void settingsReadTheirDefaultsUntilWritten();

    void absentFileGivesDefaults();
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
    QCOMPARE(names(c->readLogins()), (QStringList{"dan", "cat", "bob"}));
    QSettings raw(env->defaultFile(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("login/size")).toInt(), 3);

    // The oldest remembered user returns: nobody is dropped, the entry is new.
    c->saveLogin(QStringLiteral("bob"), QStringLiteral("b2"), false, 1);
    const QList<LoginRecord> list = c->readLogins();
    QCOMPARE(names(list), (QStringList{"bob", "dan", "cat"}));
    QCOMPARE(list.at(0), (LoginRecord{QStringLiteral("bob"), QStringLiteral("b2"), false, 1}));
    QCOMPARE(list.at(2), (LoginRecord{QStringLiteral("cat"), QStringLiteral("pw"), true, 0}));

    // Names compare exactly.
    c->saveLogin(QStringLiteral("Bob"), QStringLiteral("x"), false, 0);
    QCOMPARE(names(c->readLogins()), (QStringList{"Bob", "bob", "dan"}));
}

void TstConfig::loginNamesAndPasswordsAreStoredEncoded()
{
    Config::instance()->saveLogin(QStringLiteral("客厅"), QStringLiteral("secret"), true, 1);
    QSettings raw(env->defaultFile(), QSettings::IniFormat);
    raw.beginReadArray(QStringLiteral("login"));
    raw.setArrayIndex(0);
    QCOMPARE(decodeText(raw.value(QStringLiteral("username")).toString()), QStringLiteral("客厅"));
    QCOMPARE(decodeText(raw.value(QStringLiteral("password")).toString()),
             QStringLiteral("secret"));
    QCOMPARE(raw.value(QStringLiteral("isremember")).toBool(), true);
    QCOMPARE(raw.value(QStringLiteral("language")).toInt(), 1);
    raw.endArray();
    QVERIFY(!ConfigTestEnv::readAll(env->defaultFile()).contains("secret"));
}

void TstConfig::devicesAreReplacedAndRemovedByExactUid()
{
    Config *c = Config::instance();
    c->saveDevice(record(QStringLiteral("A"), QStringLiteral("客厅摄像头")));
    c->saveDevice(record(QStringLiteral("B"), QStringLiteral("two")));
    c->saveDevice(record(QStringLiteral("C"), QStringLiteral("three")));
    const DeviceRecord updated = record(QStringLiteral("B"), QStringLiteral("renamed"), 2, 8);
    QVERIFY(c->saveDevice(updated));
    QList<DeviceRecord> list = c->readDevices();
    QCOMPARE(uids(list), (QStringList{"A", "B", "C"}));
    QCOMPARE(list.at(1), updated);
    QCOMPARE(list.at(0), record(QStringLiteral("A"), QStringLiteral("客厅摄像头")));
    QVERIFY(!ConfigTestEnv::readAll(c->path()).contains("renamed")); // stored encoded

    QVERIFY(c->removeDevice(QStringLiteral("a"))); // UIDs compare exactly
    QCOMPARE(c->readDevices().size(), 3);
    QVERIFY(c->removeDevice(QStringLiteral("B")));
    QCOMPARE(uids(c->readDevices()), (QStringList{"A", "C"}));
    QSettings raw(c->path(), QSettings::IniFormat);
    QCOMPARE(raw.value(QStringLiteral("device/size")).toInt(), 2);
    QVERIFY(!raw.contains(QStringLiteral("device/3/uid")));
}

void TstConfig::settingsReadTheirDefaultsUntilWritten()
{
    Config *c = Config::instance();
    QCOMPARE(c->get(ConfigKey::RecordMinutes), 30);
    QCOMPARE(c->get(ConfigKey::PicPath), QStringLiteral("default"));
    QCOMPARE(c->get(ConfigKey::AccountBaseUrl), QString());
    QVERIFY(c->set(ConfigKey::RecordMinutes, 12));
    QVERIFY(c->set(ConfigKey::AccountBaseUrl, QStringLiteral("https://a.example")));
    QCOMPARE(c->get(ConfigKey::RecordMinutes), 12);

    // Each setting lives in its own file, under its own key.
    QCOMPARE(ConfigTestEnv::readAll(env->defaultFile()),
             QByteArray("[account]\nbaseUrl=https://a.example\n\n[config]\ntimeLength=12\n"));
    QVERIFY(c->set(ConfigKey::NewPath, env->root() + QStringLiteral("/other.ini")));
    Config moved;
    QVERIFY(moved.set(ConfigKey::WindowNum, 5));
    QCOMPARE(moved.get(ConfigKey::RecordMinutes), 30);
    QCOMPARE(moved.get(ConfigKey::AccountBaseUrl), QStringLiteral("https://a.example"));
    QCOMPARE(ConfigTestEnv::readAll(moved.path()), QByteArray("[config]\nwindownum=5\n"));
}

void TstConfig::absentFileGivesDefaults()
{
    QVERIFY(!QFile::exists(env->defaultFile()));
    Config *c = Config::instance();
    QCOMPARE(c->path(), env->defaultFile());
    QVERIFY(c->readDevices().isEmpty());
    QVERIFY(c->readLogins().isEmpty());
    QCOMPARE(c->get(ConfigKey::WindowNum), 1);
    QVERIFY(!QFile::exists(env->defaultFile())); // reading creates nothing
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
    QCOMPARE(c->get(ConfigKey::RecordMinutes), 30);

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
        QVERIFY(c->set(ConfigKey::WindowNum, i % 10));
        QCOMPARE(c->get(ConfigKey::WindowNum), i % 10);
    }
}

void TstConfig::damagedArraySizeIsBounded()
{
    Config *c = Config::instance();
    c->saveDevice(record(QStringLiteral("A"), QStringLiteral("x")));
    QSettings raw(c->path(), QSettings::IniFormat);
    raw.setValue(QStringLiteral("device/size"), 2000000000);
    raw.sync();
    QCOMPARE(uids(c->readDevices()), QStringList{"A"});
}

void TstConfig::unreadableFileGivesDefaults()
{
    // A folder where the file should be can be neither read nor replaced.
    QVERIFY(QDir().mkpath(env->defaultFile()));
    Config *c = Config::instance();
    QVERIFY(c->readDevices().isEmpty());
    QCOMPARE(c->get(ConfigKey::RecordMinutes), 30);
    QVERIFY(!c->saveDevice(record(QStringLiteral("A"), QStringLiteral("x"))));
    QVERIFY(!c->set(ConfigKey::RecordMinutes, 5));
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
    QCOMPARE(names(c->readLogins()), QStringList{"ann"});
    // Nothing is left next to the file.
    QCOMPARE(QDir(env->root() + QStringLiteral("/Orvane")).entryList(QDir::Files),
             QStringList{"Orvane.ini"});

    // The next write goes through.
    QVERIFY(c->saveDevice(record(QStringLiteral("C"), QStringLiteral("three"))));
    QCOMPARE(uids(c->readDevices()), (QStringList{"A", "B", "C"}));
}

void TstConfig::leftoverTempFileIsIgnored()
{
    Config *c = Config::instance();
    c->saveDevice(record(QStringLiteral("A"), QStringLiteral("one")));
    // What a write cut off by a crash would leave next to the file.
    ConfigTestEnv::writeAll(c->path() + QStringLiteral(".Ab12Cd"), "[device]\nsize=1\n1\\ui");
    QCOMPARE(uids(c->readDevices()), QStringList{"A"});
    QVERIFY(c->saveDevice(record(QStringLiteral("B"), QStringLiteral("two"))));
    QCOMPARE(uids(c->readDevices()), (QStringList{"A", "B"}));
}

void TstConfig::destroyingAConfigRereadsNewPath()
{
    Config *shared = Config::instance();
    QCOMPARE(shared->path(), env->defaultFile());
    const QString other =
        env->makeFolder(QStringLiteral("elsewhere")) + QStringLiteral("/QELO.ini");
    QVERIFY(shared->set(ConfigKey::NewPath, other));
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
