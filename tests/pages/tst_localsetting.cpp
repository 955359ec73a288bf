#include "PageTestEnv.h"

#include "admin/LocalSetting.h"
#include "config/Config.h"
#include "config/Location.h"
#include "config/SettingsFile.h"
#include "media/VideoRecord.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>
#include "TestMain.h"

#include <optional>

using namespace Qt::StringLiterals;

class TstLocalSetting : public QObject
{
    Q_OBJECT

    std::optional<PageTestEnv> m_env;
    std::optional<LocalSetting> m_page;

    QLineEdit *edit(const char *name) { return PageTestEnv::child<QLineEdit>(&*m_page, name); }
    void type(const char *name, const QString &text)
    {
        QLineEdit *e = edit(name);
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    void click(const char *name)
    {
        QTest::mouseClick(PageTestEnv::child<QPushButton>(&*m_page, name), Qt::LeftButton);
    }
    // Everything the page could have written: both files and the recorder.
    QByteArray state() const
    {
        return PageTestEnv::readAll(m_env->defaultFile()) + '|' +
               PageTestEnv::readAll(Location::instance()->settingsPath()) + '|' +
               VideoRecord::instance()->picPath().toUtf8() + '|' +
               VideoRecord::instance()->videoPath().toUtf8();
    }
    static QList<DeviceRecord> devices()
    {
        return {{7, 4, u"门口"_s, u"UID-A"_s, u"admin"_s, u"p@ss"_s},
                {7, 1, u"garage"_s, u"UID-B"_s, u"view"_s, u""_s},
                {7, 16, u"nvr"_s, u"UID-C"_s, u"admin"_s, u"x&y=z"_s}};
    }

private slots:
    void init()
    {
        m_env.emplace();
        QVERIFY(m_env->isValid());
        for (const DeviceRecord &d : devices())
            QVERIFY(Config::instance()->saveDevice(d));
        m_page.emplace(nullptr);
    }

    void cleanup()
    {
        m_page.reset();
        m_env.reset();
    }

    void showsTheStoredValues()
    {
        const QString documents =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QCOMPARE(edit("lineEdit_picPath")->text(), QDir::toNativeSeparators(documents));
        QCOMPARE(edit("lineEdit_timeLength")->text(), u"30"_s);
        QCOMPARE(edit("lineEdit_configPath")->text(),
                 QDir::toNativeSeparators(QFileInfo(m_env->defaultFile()).absolutePath()));
        Location::instance()->setVideoPath(m_env->makeFolder(u"vid"_s));
        Location::instance()->setTimeLength(45);
        m_page.emplace(nullptr);
        QCOMPARE(edit("lineEdit_videoPath")->text(),
                 QDir::toNativeSeparators(m_env->root() + u"/vid"_s));
        QCOMPARE(edit("lineEdit_timeLength")->text(), u"45"_s);
    }

    void savingWithoutChangesWritesNothing()
    {
        const QByteArray before = state();
        click("pushButton");
        QCOMPARE(state(), before);
        QVERIFY(!m_page->statusIsError());
    }

    void aChosenFolderIsNotStoredUntilSaved()
    {
        const QString folder = m_env->makeFolder(u"shots"_s);
        QString title;
        m_page->setFolderChooser([&](QWidget *, const QString &t, const QString &) {
            title = t;
            return folder;
        });
        const QByteArray before = state();
        click("pushButton_5");
        QCOMPARE(title, u"Choose Directory"_s);
        QCOMPARE(edit("lineEdit_picPath")->text(), QDir::toNativeSeparators(folder));
        QCOMPARE(state(), before);
        m_page->setFolderChooser(
            [](QWidget *, const QString &, const QString &) { return QString(); });
        const QString video = edit("lineEdit_videoPath")->text();
        click("pushButton_6"); // cancelled
        QCOMPARE(edit("lineEdit_videoPath")->text(), video);
    }

    void savesEveryChangeAndHandsFoldersToTheRecorder_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("data save button") << u"pushButton_3"_s;
        QTest::newRow("bottom save button") << u"pushButton"_s;
    }

    void savesEveryChangeAndHandsFoldersToTheRecorder()
    {
        QFETCH(QString, button);
        const QString shots = m_env->makeFolder(u"shots"_s);
        const QString videos = m_env->makeFolder(u"videos"_s);
        type("lineEdit_picPath", shots + u"/"_s);
        type("lineEdit_videoPath", videos);
        type("lineEdit_timeLength", u" 45 "_s);
        click(button.toLatin1().constData());
        QVERIFY2(!m_page->statusIsError(), qPrintable(m_page->statusText()));
        QCOMPARE(Location::instance()->picPath(), shots);
        QCOMPARE(Location::instance()->videoPath(), videos);
        QCOMPARE(Location::instance()->timeLength(), 45);
        QCOMPARE(VideoRecord::instance()->picPath(), shots);
        QCOMPARE(VideoRecord::instance()->videoPath(), videos);
        QCOMPARE(Config::instance()->readDevices(), devices());
    }

    void rejectsBadInputAndStoresNothing_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text"); // "<root>" stands for the test folder
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, const char *field, const QString &text,
                            const QString &message) {
            QTest::newRow(name) << QString::fromLatin1(field) << text << message;
        };
        row("missing snapshot folder", "lineEdit_picPath", u"<root>/none"_s, u"文件夹不存在"_s);
        row("snapshot folder is a file", "lineEdit_picPath", u"<root>/file"_s, u"不是文件夹"_s);
        row("recording folder not writable", "lineEdit_videoPath", u"/proc"_s, u"文件夹不可写"_s);
        row("relative recording folder", "lineEdit_videoPath", u"videos"_s, u"完整的文件夹路径"_s);
        row("empty recording folder", "lineEdit_videoPath", u" "_s, u"请填写文件夹"_s);
        row("missing settings folder", "lineEdit_configPath", u"<root>/none"_s, u"文件夹不存在"_s);
        const QString length = u"1 到 1440"_s;
        row("length 0", "lineEdit_timeLength", u"0"_s, length);
        row("length 10000", "lineEdit_timeLength", u"10000"_s, length);
        row("length negative", "lineEdit_timeLength", u"-5"_s, length);
        row("length not a number", "lineEdit_timeLength", u"12abc"_s, length);
        row("length empty", "lineEdit_timeLength", u""_s, length);
    }

    void rejectsBadInputAndStoresNothing()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        PageTestEnv::writeAll(m_env->root() + u"/file"_s, "x");
        // A valid change next to the bad one must not be stored either.
        if (field != u"lineEdit_picPath"_s)
            type("lineEdit_picPath", m_env->makeFolder(u"shots"_s));
        else
            type("lineEdit_timeLength", u"45"_s);
        const QByteArray before = state();
        edit(field.toLatin1().constData())->setText(text.replace(u"<root>"_s, m_env->root()));
        click("pushButton");
        QVERIFY(m_page->statusIsError());
        QVERIFY2(m_page->statusText().contains(message), qPrintable(m_page->statusText()));
        QCOMPARE(state(), before);
    }

    void movingTheSettingsFolderKeepsEveryDevice()
    {
        const QString oldFile = Location::instance()->settingsPath();
        const QString folder = m_env->makeFolder(u"moved"_s);
        type("lineEdit_configPath", folder);
        type("lineEdit_timeLength", u"50"_s);
        click("pushButton_3");
        QVERIFY2(!m_page->statusIsError(), qPrintable(m_page->statusText()));
        QCOMPARE(Location::instance()->settingsPath(), folder + u"/QELO.ini"_s);
        QCOMPARE(Config().readDevices(), devices());
        QCOMPARE(Location::instance()->timeLength(), 50);
        QCOMPARE(edit("lineEdit_configPath")->text(), QDir::toNativeSeparators(folder));
        QVERIFY(!PageTestEnv::readAll(oldFile).contains("device"));
        // And on to a second folder.
        const QString second = m_env->makeFolder(u"second"_s);
        type("lineEdit_configPath", second);
        click("pushButton");
        QCOMPARE(Location::instance()->settingsPath(), second + u"/QELO.ini"_s);
        QCOMPARE(Config().readDevices(), devices());
        QCOMPARE(Location::instance()->timeLength(), 50);
    }

    void aFailedWriteOrMoveKeepsEverything()
    {
        // The target file cannot be written: the move fails after the values
        // were stored, and they are put back.
        const QString folder = m_env->makeFolder(u"blocked"_s);
        QDir(folder).mkdir(u"QELO.ini"_s);
        const QString oldFile = Location::instance()->settingsPath();
        type("lineEdit_configPath", folder);
        type("lineEdit_timeLength", u"50"_s);
        click("pushButton");
        QCOMPARE(m_page->statusText(), u"Operation Failed"_s);
        QCOMPARE(Location::instance()->settingsPath(), oldFile);
        QCOMPARE(Location::instance()->timeLength(), 30);
        QCOMPARE(Config().readDevices(), devices());
        // The values themselves cannot be written.
        const QByteArray before = state();
        type("lineEdit_configPath", QFileInfo(oldFile).absolutePath());
        SettingsFile::interruptWritesForTesting(1);
        click("pushButton");
        SettingsFile::interruptWritesForTesting(0);
        QCOMPARE(m_page->statusText(), u"Operation Failed"_s);
        QCOMPARE(state(), before);
    }

    void artifact()
    {
        type("lineEdit_timeLength", u"0"_s);
        click("pushButton");
        PageTestEnv::saveArtifact(&*m_page, "control-panel-local.png");
    }
};

ORVANE_TEST_MAIN(TstLocalSetting)
#include "tst_localsetting.moc"
