#include "ConfigTestEnv.h"

#include "config/Config.h"
#include "config/SettingsFile.h"
#include "config/TextEncoding.h"
#include "model/RtspUrl.h"

#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

namespace {

DeviceRecord record(const QString &uid, const QString &nick, int type = 7, int channels = 1)
{
    return DeviceRecord{type, channels, nick, uid, u"admin"_s, u"pw-"_s + uid};
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
    void init()
    {
        env = std::make_unique<ConfigTestEnv>();
        QVERIFY(env->isValid());
    }

    void cleanup()
    {
        SettingsFile::interruptWritesForTesting(0);
        env.reset();
    }

    void loginListKeepsThreeNewestFirst()
    {
        Config *c = Config::instance();
        for (const char *name : {"ann", "bob", "cat", "dan"})
            QVERIFY(c->saveLogin(QString::fromLatin1(name), u"pw"_s, true, 0));
        QCOMPARE(names(c->readLogins()), (QStringList{"dan", "cat", "bob"}));
        QSettings raw(env->defaultFile(), QSettings::IniFormat);
        QCOMPARE(raw.value(u"login/size"_s).toInt(), 3);

        // The oldest remembered user returns: nobody is dropped, the entry is new.
        c->saveLogin(u"bob"_s, u"b2"_s, false, 1);
        const QList<LoginRecord> list = c->readLogins();
        QCOMPARE(names(list), (QStringList{"bob", "dan", "cat"}));
        QCOMPARE(list.at(0), (LoginRecord{u"bob"_s, u"b2"_s, false, 1}));
        QCOMPARE(list.at(2), (LoginRecord{u"cat"_s, u"pw"_s, true, 0}));

        // Names compare exactly.
        c->saveLogin(u"Bob"_s, u"x"_s, false, 0);
        QCOMPARE(names(c->readLogins()), (QStringList{"Bob", "bob", "dan"}));
    }

    void loginNamesAndPasswordsAreStoredEncoded()
    {
        Config::instance()->saveLogin(u"客厅"_s, u"secret"_s, true, 1);
        QSettings raw(env->defaultFile(), QSettings::IniFormat);
        raw.beginReadArray(u"login"_s);
        raw.setArrayIndex(0);
        QCOMPARE(decodeText(raw.value(u"username"_s).toString()), u"客厅"_s);
        QCOMPARE(decodeText(raw.value(u"password"_s).toString()), u"secret"_s);
        QCOMPARE(raw.value(u"isremember"_s).toBool(), true);
        QCOMPARE(raw.value(u"language"_s).toInt(), 1);
        raw.endArray();
        QVERIFY(!ConfigTestEnv::readAll(env->defaultFile()).contains("secret"));
    }

    void devicesAreReplacedAndRemovedByExactUid()
    {
        Config *c = Config::instance();
        c->saveDevice(record(u"A"_s, u"客厅摄像头"_s));
        c->saveDevice(record(u"B"_s, u"two"_s));
        c->saveDevice(record(u"C"_s, u"three"_s));
        const DeviceRecord updated = record(u"B"_s, u"renamed"_s, 2, 8);
        QVERIFY(c->saveDevice(updated));
        QList<DeviceRecord> list = c->readDevices();
        QCOMPARE(uids(list), (QStringList{"A", "B", "C"}));
        QCOMPARE(list.at(1), updated);
        QCOMPARE(list.at(0), record(u"A"_s, u"客厅摄像头"_s));
        QVERIFY(!ConfigTestEnv::readAll(c->path()).contains("renamed")); // stored encoded

        QVERIFY(c->removeDevice(u"a"_s)); // UIDs compare exactly
        QCOMPARE(c->readDevices().size(), 3);
        QVERIFY(c->removeDevice(u"B"_s));
        QCOMPARE(uids(c->readDevices()), (QStringList{"A", "C"}));
        QSettings raw(c->path(), QSettings::IniFormat);
        QCOMPARE(raw.value(u"device/size"_s).toInt(), 2);
        QVERIFY(!raw.contains(u"device/3/uid"_s));
    }

    // Key pins per UID: only fingerprints are kept; a damaged entry reads as no pin.
    void devicePinsKeepOnlyFingerprints()
    {
        Config *c = Config::instance();
        const QString fp(64, u'a'), other(64, u'b');
        QVERIFY(c->setDevicePin(u"CAM/1"_s, fp));
        QVERIFY(c->setDevicePin(u"CAM2"_s, other));
        QVERIFY(!c->setDevicePin(u"CAM2"_s, u"ABCD"_s));         // not a fingerprint
        QVERIFY(!c->setDevicePin(u"CAM2"_s, QString(64, u'A'))); // upper case
        QCOMPARE(c->devicePin(u"CAM/1"_s), fp);
        QCOMPARE(c->devicePin(u"CAM2"_s), other);
        QVERIFY(c->setDevicePin(u"CAM2"_s, QString()));
        QCOMPARE(c->devicePin(u"CAM2"_s), QString());
        QSettings raw(c->path(), QSettings::IniFormat);
        raw.setValue(u"keypin/1/sha256"_s, u"0123"_s); // damaged by hand
        raw.sync();
        QCOMPARE(c->devicePin(u"CAM/1"_s), QString());
    }

    // Presets per channel: one entry per number (the newest), read back per
    // channel; entries damaged by hand are left out.
    void presetsAreKeptPerChannel()
    {
        Config *c = Config::instance();
        const QDateTime t(QDate(2026, 12, 1), QTime(8, 0));
        const PresetRecord a{u"CAM1"_s, 0, 0, 0, t}, b{u"CAM1"_s, 0, 1, 1, t.addSecs(1)};
        const PresetRecord again{u"CAM1"_s, 0, 0, 2, t.addSecs(2)}, other{u"CAM1"_s, 1, 0, 0, t};
        for (const PresetRecord &r : {a, b, again, other})
            QVERIFY(c->savePreset(r));
        QVERIFY(!c->savePreset(PresetRecord{u"CAM1"_s, 0, 256, 3, t})); // number out of range
        QVERIFY(!c->savePreset(PresetRecord{u"CAM1"_s, 64, 0, 0, t}));  // no such channel
        QCOMPARE(c->readPresets(u"CAM1"_s, 0), (QList<PresetRecord>{b, again}));
        QCOMPARE(c->readPresets(u"CAM1"_s, 1), QList<PresetRecord>{other});
        QSettings raw(c->path(), QSettings::IniFormat);
        raw.setValue(u"preset/1/number"_s, 9999); // damaged by hand
        raw.setValue(u"preset/2/time"_s, u"yesterday"_s);
        raw.sync();
        QCOMPARE(c->readPresets(u"CAM1"_s, 0), QList<PresetRecord>{});
        QCOMPARE(c->readPresets(u"CAM1"_s, 1), QList<PresetRecord>{other});
    }

    void settingsReadTheirDefaultsUntilWritten()
    {
        Config *c = Config::instance();
        QCOMPARE(c->get(ConfigKey::RecordMinutes), 30);
        QCOMPARE(c->get(ConfigKey::PicPath), u"default"_s);
        QCOMPARE(c->get(ConfigKey::AccountBaseUrl), QString());
        QVERIFY(c->set(ConfigKey::RecordMinutes, 12));
        QVERIFY(c->set(ConfigKey::AccountBaseUrl, u"https://a.example"_s));
        QCOMPARE(c->get(ConfigKey::RecordMinutes), 12);

        // Each setting lives in its own file, under its own key.
        QCOMPARE(ConfigTestEnv::readAll(env->defaultFile()),
                 QByteArray("[account]\nbaseUrl=https://a.example\n\n[config]\ntimeLength=12\n"));
        QVERIFY(c->set(ConfigKey::NewPath, env->root() + u"/other.ini"_s));
        Config moved;
        QVERIFY(moved.set(ConfigKey::WindowNum, 5));
        QCOMPARE(moved.get(ConfigKey::RecordMinutes), 30);
        QCOMPARE(moved.get(ConfigKey::AccountBaseUrl), u"https://a.example"_s);
        QCOMPARE(ConfigTestEnv::readAll(moved.path()), QByteArray("[config]\nwindownum=5\n"));
    }

    void absentFileGivesDefaults()
    {
        QVERIFY(!QFile::exists(env->defaultFile()));
        Config *c = Config::instance();
        QCOMPARE(c->path(), env->defaultFile());
        QVERIFY(c->readDevices().isEmpty());
        QVERIFY(c->readLogins().isEmpty());
        QCOMPARE(c->get(ConfigKey::WindowNum), 1);
        QVERIFY(!QFile::exists(env->defaultFile())); // reading creates nothing
    }

    void corruptFileGivesDefaultsAndIsReplacedOnWrite()
    {
        // A readable device entry, then damage that breaks the INI syntax.
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage.append(char((i * 7919) % 256));
        const QByteArray content = "[device]\nsize=1\n1\\uid=" + encodeText(u"A"_s).toLatin1() +
                                   "\n1\\channel=4\n" + garbage +
                                   "\n[config\ntimeLength=@ByteArray(\n";
        ConfigTestEnv::writeAll(env->defaultFile(), content);

        Config *c = Config::instance();
        QCOMPARE(c->readDevices(), QList<DeviceRecord>());
        QCOMPARE(c->readLogins(), QList<LoginRecord>());
        QCOMPARE(c->get(ConfigKey::RecordMinutes), 30);

        // The next write starts afresh and keeps the damaged file aside.
        const DeviceRecord r = record(u"A"_s, u"x"_s);
        QVERIFY(c->saveDevice(r));
        QCOMPARE(c->readDevices(), QList<DeviceRecord>{r});
        QCOMPARE(ConfigTestEnv::readAll(c->path() + u".corrupt"_s), content);
        QVERIFY(!ConfigTestEnv::readAll(c->path()).contains("timeLength"));
    }

    // A line that is no entry (no '=') is dropped; the rest reads, and the
    // next write keeps what was read.
    void strayLineIsDroppedOnWrite()
    {
        ConfigTestEnv::writeAll(env->defaultFile(),
                                "garbage\n[config]\ntimeLength=45\nwindownum=2\n");
        Config *c = Config::instance();
        QCOMPARE(c->get(ConfigKey::RecordMinutes), 45);
        QVERIFY(c->set(ConfigKey::WindowNum, 3));
        QCOMPARE(c->get(ConfigKey::WindowNum), 3);
        QCOMPARE(c->get(ConfigKey::RecordMinutes), 45);
        QVERIFY(!ConfigTestEnv::readAll(c->path()).contains("garbage"));
    }

    void consecutiveWritesAreReadBack()
    {
        // Versions of equal size follow each other quickly; each must be seen.
        Config *c = Config::instance();
        for (int i = 0; i < 50; ++i) {
            QVERIFY(c->set(ConfigKey::WindowNum, i % 10));
            QCOMPARE(c->get(ConfigKey::WindowNum), i % 10);
        }
    }

    void damagedArraySizeIsBounded()
    {
        Config *c = Config::instance();
        c->saveDevice(record(u"A"_s, u"x"_s));
        QSettings raw(c->path(), QSettings::IniFormat);
        raw.setValue(u"device/size"_s, 2000000000);
        raw.sync();
        QCOMPARE(uids(c->readDevices()), QStringList{"A"});
    }

    // One stored value replaced by hand, and what reads back: "devices: type
    // channels |uid| |nick| |account| |password| layout minutes". Each
    // correction logs one warning naming the key, and nothing else is logged.
    void storedValuesAreBroughtIntoBounds_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("read");
        QTest::addColumn<bool>("corrected");
        const auto row = [](const char *name, const char *key, const QVariant &stored,
                            const char *read, bool corrected = true) {
            QTest::newRow(name) << QString::fromLatin1(key) << stored << QString::fromLatin1(read)
                                << corrected;
        };
        const QString huge(100000, u'x');
        row("channel count 0", "device/1/channel", 0, "1: 2 1 1 4 5 4 1 30");
        row("channel count 65", "device/1/channel", 65, "1: 2 64 1 4 5 4 1 30");
        row("channel count 2147483647", "device/1/channel", 2147483647, "1: 2 64 1 4 5 4 1 30");
        row("channel count past int", "device/1/channel", u"99999999999"_s, "1: 2 1 1 4 5 4 1 30");
        row("unknown type 0", "device/1/type", 0, "1: 7 4 1 4 5 4 1 30");
        row("UID of 65 characters skipped", "device/1/uid", QString(65, u'U'), "0: 1 30");
        row("nick name cut", "device/1/nickname", huge, "1: 2 4 1 128 5 4 1 30");
        row("account cut", "device/1/username", QString(129, u'a'), "1: 2 4 1 4 128 4 1 30");
        row("password cut", "device/1/password", huge, "1: 2 4 1 4 5 128 1 30");
        row("1025 devices", "device/size", 1025, "1024: 2 4 1 4 5 4 1 30");
        row("layout -1", "config/windownum", -1, "1: 2 4 1 4 5 4 0 30");
        row("layout 11", "config/windownum", 11, "1: 2 4 1 4 5 4 10 30");
        row("layout not a number", "config/windownum", u"grid"_s, "1: 2 4 1 4 5 4 1 30");
        row("record length 0", "config/timeLength", 0, "1: 2 4 1 4 5 4 1 1");
        row("record length 100000", "config/timeLength", 100000, "1: 2 4 1 4 5 4 1 35000");
        row("known values kept", "device/1/type", 10001, "1: 10001 4 1 4 5 4 1 30", false);
    }

    void storedValuesAreBroughtIntoBounds()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, read);
        QFETCH(bool, corrected);
        Config *c = Config::instance();
        QVERIFY(c->saveDevice(record(u"A"_s, u"nick"_s, 2, 4)));
        {
            QSettings raw(c->path(), QSettings::IniFormat);
            const bool text = stored.typeId() == QMetaType::QString && key.startsWith(u"device/");
            raw.setValue(key, text ? encodeText(stored.toString()) : stored);
            for (int i = 2; key == u"device/size"_s && i <= stored.toInt(); ++i)
                raw.setValue(u"device/%1/uid"_s.arg(i), encodeText(u"A%1"_s.arg(i)));
        }
        if (corrected)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^settings: "_s + key + u' '));
        QTest::failOnWarning(QRegularExpression(u"."_s));
        const QList<DeviceRecord> devices = c->readDevices();
        QString summary = QString::number(devices.size()) + u':';
        if (!devices.isEmpty()) {
            const DeviceRecord &r = devices.first();
            for (qsizetype n : {qsizetype(r.type), qsizetype(r.channel), r.uid.size(),
                                r.nickname.size(), r.username.size(), r.password.size()})
                summary += u' ' + QString::number(n);
        }
        for (int n : {c->get(ConfigKey::WindowNum), c->get(ConfigKey::RecordMinutes)})
            summary += u' ' + QString::number(n);
        QCOMPARE(summary, read);
    }

    // An RTSP device reads back as saved, beside a P2P one written as before
    // (no RTSP keys); its password and URLs are not in the file in clear.
    void rtspDevicesRoundTripWithoutClearSecrets()
    {
        Config *c = Config::instance();
        DeviceRecord rtsp = record(u"RTSP-0123456789ABCDEF"_s, u"Gate"_s, 7, 2);
        rtsp.password = u"s3cret-pw"_s;
        rtsp.kind = DeviceKind::Rtsp;
        rtsp.rtsp.streams = {{u"rtsp://10.9.8.7:554/m1"_s, u"rtsp://10.9.8.7:554/s1"_s},
                             {u"rtsp://10.9.8.7:554/m2"_s, QString()}};
        rtsp.rtsp.onvifHost = u"10.9.8.7:8080"_s;
        rtsp.rtsp.transport = RtspSource::Transport::Udp;
        QVERIFY(c->saveDevice(record(u"P2P1"_s, u"old"_s)));
        QVERIFY(c->saveDevice(rtsp));
        QCOMPARE(c->readDevices(), (QList<DeviceRecord>{record(u"P2P1"_s, u"old"_s), rtsp}));
        const QByteArray file = ConfigTestEnv::readAll(c->path());
        QVERIFY(!file.contains("s3cret-pw") && !file.contains("10.9.8.7"));
        QSettings raw(c->path(), QSettings::IniFormat);
        QCOMPARE(raw.value(u"device/2/kind"_s).toString(), u"rtsp"_s);
        QVERIFY(!raw.contains(u"device/1/kind"_s) && !raw.contains(u"device/1/streams"_s));
    }

    // A file written before RTSP devices existed (bytes as that version
    // wrote them) reads as it did then.
    void fileFromBeforeRtspDevicesLoadsUnchanged()
    {
        const QByteArray old =
            "[device]\n1\\channel=4\n1\\nickname=" + encodeText(u"Hall"_s).toLatin1() +
            "\n1\\password=" + encodeText(u"pw"_s).toLatin1() +
            "\n1\\type=2\n1\\uid=" + encodeText(u"UID1"_s).toLatin1() +
            "\n1\\username=" + encodeText(u"admin"_s).toLatin1() + "\nsize=1\n";
        ConfigTestEnv::writeAll(env->defaultFile(), old);
        QTest::failOnWarning(QRegularExpression(u"."_s));
        const QList<DeviceRecord> read = Config::instance()->readDevices();
        QCOMPARE(read, (QList<DeviceRecord>{{2, 4, u"Hall"_s, u"UID1"_s, u"admin"_s, u"pw"_s}}));
        QCOMPARE(read.first().kind, DeviceKind::P2p);
    }

    // A damaged RTSP entry is skipped, or read without what cannot be kept;
    // one warning names the key.
    void damagedRtspEntriesAreSkipped_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("read");
        const auto row = [](const char *name, const char *key, const QString &stored,
                            const char *read) {
            QTest::newRow(name) << QString::fromLatin1(key) << stored << QString::fromLatin1(read);
        };
        row("unknown kind", "kind", u"onvif9"_s, "");
        row("streams garbage", "streams", u"\u00ff\u0001garbage"_s, "");
        row("no streams", "streams", QString(), "");
        row("pattern stored", "streams", u"rtsp://h/{ch}"_s, "");
        row("streams too long", "streams", u"rtsp://h/"_s + QString(300000, u'a'), "");
        row("credentials dropped", "streams", u"rtsp://u:leak@h/a|rtsp://h/b"_s,
            "rtsp://h/a|rtsp://h/b pw");
        row("ONVIF host cut", "onvif", QString(300, u'h'), "rtsp://h/m pw");
    }

    void damagedRtspEntriesAreSkipped()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, read);
        Config *c = Config::instance();
        DeviceRecord r = record(u"RTSP-1"_s, u"cam"_s);
        r.kind = DeviceKind::Rtsp;
        r.password = u"pw"_s;
        r.rtsp.streams = {{u"rtsp://h/m"_s, QString()}};
        QVERIFY(c->saveDevice(r));
        {
            QSettings raw(c->path(), QSettings::IniFormat);
            raw.setValue(u"device/1/"_s + key, key == u"kind"_s ? stored : encodeText(stored));
        }
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"^settings: device/1/"_s + key + u' '));
        QTest::failOnWarning(QRegularExpression(u"."_s));
        const QList<DeviceRecord> devices = c->readDevices();
        QString summary;
        if (!devices.isEmpty())
            summary = RtspUrl::storedText(devices.first().rtsp.streams).replace(u'\n', u' ') +
                      u' ' + devices.first().password;
        QCOMPARE(summary, read);
    }

    void unreadableFileGivesDefaults()
    {
        // A folder where the file should be can be neither read nor replaced.
        QVERIFY(QDir().mkpath(env->defaultFile()));
        Config *c = Config::instance();
        QVERIFY(c->readDevices().isEmpty());
        QCOMPARE(c->get(ConfigKey::RecordMinutes), 30);
        QVERIFY(!c->saveDevice(record(u"A"_s, u"x"_s)));
        QVERIFY(!c->set(ConfigKey::RecordMinutes, 5));
        QVERIFY(QFileInfo(env->defaultFile()).isDir());
    }

    void interruptedWriteLeavesOldFileIntact()
    {
        Config *c = Config::instance();
        c->saveLogin(u"ann"_s, u"pw"_s, true, 0);
        c->saveDevice(record(u"A"_s, u"one"_s));
        c->saveDevice(record(u"B"_s, u"two"_s));
        const QByteArray before = ConfigTestEnv::readAll(c->path());
        const QList<DeviceRecord> devicesBefore = c->readDevices();

        SettingsFile::interruptWritesForTesting(3);
        QVERIFY(!c->saveDevice(record(u"C"_s, u"three"_s)));
        QVERIFY(!c->removeDevice(u"A"_s));
        QVERIFY(!c->saveLogin(u"bob"_s, u"pw"_s, true, 0));

        QCOMPARE(ConfigTestEnv::readAll(c->path()), before);
        QCOMPARE(c->readDevices(), devicesBefore);
        QCOMPARE(names(c->readLogins()), QStringList{"ann"});
        // Nothing is left next to the file.
        QCOMPARE(QDir(env->root() + u"/Orvane"_s).entryList(QDir::Files),
                 QStringList{"Orvane.ini"});

        // The next write goes through.
        QVERIFY(c->saveDevice(record(u"C"_s, u"three"_s)));
        QCOMPARE(uids(c->readDevices()), (QStringList{"A", "B", "C"}));
    }

    void leftoverTempFileIsIgnored()
    {
        Config *c = Config::instance();
        c->saveDevice(record(u"A"_s, u"one"_s));
        // What a write cut off by a crash would leave next to the file.
        ConfigTestEnv::writeAll(c->path() + u".Ab12Cd"_s, "[device]\nsize=1\n1\\ui");
        QCOMPARE(uids(c->readDevices()), QStringList{"A"});
        QVERIFY(c->saveDevice(record(u"B"_s, u"two"_s)));
        QCOMPARE(uids(c->readDevices()), (QStringList{"A", "B"}));
    }

    void destroyingAConfigRereadsNewPath()
    {
        Config *shared = Config::instance();
        QCOMPARE(shared->path(), env->defaultFile());
        const QString other = env->makeFolder(u"elsewhere"_s) + u"/QELO.ini"_s;
        QVERIFY(shared->set(ConfigKey::NewPath, other));
        QCOMPARE(Config::instance(), shared); // fixed at construction
        {
            Config temporary;
            QCOMPARE(temporary.path(), other);
        }
        QCOMPARE(Config::instance()->path(), other);
        QCOMPARE(shared->path(), env->defaultFile()); // the old object stays usable
    }

private:
    std::unique_ptr<ConfigTestEnv> env;
};

ORVANE_TEST_GUILESS_MAIN(TstConfig)
#include "tst_config.moc"
