#include "WindowTestEnv.h"

#include "app/Header.h"
#include "app/LabelHeaderBtn.h"
#include "app/LabelSystemBtn.h"
#include "app/MainWindow.h"
#include "app/WidgetBtnLive.h"
#include "app/WidgetMenuWindow.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/UserInfo.h"
#include "view/ViewControl.h"
#include "widgets/LabelFoldBtn.h"

#include "TestMain.h"
#include <QLabel>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

// The main window on its own: accordion, mode switch, header texts, header
// drag and the close button.
class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<WindowTestEnv>();
        window = new MainWindow;
        window->resize(1080, 720);
        QVERIFY(WindowTestEnv::show(window));
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        env.reset();
    }

    void accordionKeepsAtMostOneSectionOpen()
    {
        QCOMPARE(openSections(), QStringList{"devList"}); // the device tree at start
        click("label_deviceManageMenu_fold");
        QCOMPARE(openSections(), QStringList{"ptz"});
        click("label_devOpt_fold", Qt::RightButton); // only the left button folds
        QCOMPARE(openSections(), QStringList{"ptz"});
        click("label_devOpt_fold");
        QCOMPARE(openSections(), QStringList{"devOpt"});
        click("label_devOpt_fold"); // folding the open section leaves all folded
        QCOMPARE(openSections(), QStringList());
        click("label_deviceMenu_fold");
        QCOMPARE(openSections(), QStringList{"devList"});
    }

    void openSectionGetsTheHeightTheHeadersLeave()
    {
        int expected = child<QWidget>("widget_menuBox")->height() - 9;
        for (const char *name :
             {"widget_menuHeader_devList", "widget_menuHeader_ptz", "widget_menuHeader_devOpt"})
            expected -= child<QWidget>(name)->height() + 1;
        QVERIFY(expected > 100);
        QTRY_COMPARE(child<QWidget>("widget_menu_devList")->height(), expected);

        // A taller window gives the open panel the extra height.
        window->resize(1080, 820);
        QTRY_COMPARE(child<QWidget>("widget_menu_devList")->height(), expected + 100);
        click("label_devOpt_fold");
        QTRY_COMPARE(child<QWidget>("widget_menu_devOpt")->height(), expected + 100);
    }

    void liveAndPlaybackSwitchRules()
    {
        QSignalSpy modes(ViewControl::instance(), &ViewControl::changeModMsg);
        QCOMPARE(mode(), u"live"_s);
        // The active mode's button changes nothing, nor does another mouse button.
        click("widget_btn_life");
        click("widget_btn_playback", Qt::RightButton);
        QCOMPARE(mode(), u"live"_s);

        click("widget_btn_playback");
        QCOMPARE(mode(), u"playback"_s);
        click("widget_btn_playback");
        QCOMPARE(mode(), u"playback"_s);
        click("widget_btn_life");
        QCOMPARE(mode(), u"live"_s);
        QCOMPARE(modes.count(), 2);
        QVERIFY(!modes.at(0).at(0).toBool() && modes.at(1).at(0).toBool());
        for (const char *name : {"label_icon_pause", "label_icon_fb", "label_icon_ff",
                                 "widget_icon_fbBox", "widget_icon_ffBox"})
            QVERIFY2(!child<QWidget>(name)->isVisible(), name);
    }

    void userNameIsShortenedFromSevenCharacters_data()
    {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("phone");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char *name, const char *nick, const char *user, const char *phone,
                            const char *email, const char *shown) {
            QTest::newRow(name) << QString::fromUtf8(nick) << QString::fromUtf8(user)
                                << QString::fromUtf8(phone) << QString::fromUtf8(email)
                                << QString::fromUtf8(shown);
        };
        row("six characters whole", "abcdef", "x", "", "", "abcdef");
        row("seven characters cut", "abcdefg", "x", "", "", "abcde...");
        row("chinese cut", "监控中心一号机房", "", "", "", "监控中心一...");
        row("user name when no nick", "", "Admin", "123", "", "Admin");
        row("phone next", "", "", "13800138000", "a@b.c", "13800...");
        row("e-mail last", "", "", "", "a@b.cn", "a@b.cn");
        row("nothing", "", "", "", "", "");
    }

    void userNameIsShortenedFromSevenCharacters()
    {
        QFETCH(QString, nick);
        QFETCH(QString, user);
        QFETCH(QString, phone);
        QFETCH(QString, email);
        QFETCH(QString, shown);
        UserInfo info;
        info.NickName = nick;
        info.username = user;
        info.phone = phone;
        info.userEmail = email;
        window->setUser(info);
        QCOMPARE(child<LabelHeaderBtn>("label_userName")->text(), shown);
    }

    void captionFollowsSelectedDevice()
    {
        auto *caption = child<QLabel>("label_devName");
        QCOMPARE(caption->text(), QCoreApplication::translate("MainWindow", "[未选择设备]"));
        Device named;
        named.setUid(u"UID-0001"_s);
        named.setNickName(u"Gate"_s);
        Device unnamed;
        unnamed.setUid(u"UID-0002"_s);
        Dev::instance()->setSelectedDevice(&named);
        QCOMPARE(caption->text(), u"Gate"_s);
        Dev::instance()->setSelectedDevice(&unnamed);
        QCOMPARE(caption->text(), u"UID-0002"_s);
        Dev::instance()->setSelectedDevice(nullptr);
    }

private:
    template <class T> T *child(const char *name) { return WindowTestEnv::child<T>(window, name); }
    void click(const char *name, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(child<QWidget>(name), button);
    }

    // The open side-column sections; "?" where a section's arrow, panel state
    // and visibility disagree.
    QStringList openSections()
    {
        const char *sections[][2] = {{"devList", "label_deviceMenu_fold"},
                                     {"ptz", "label_deviceManageMenu_fold"},
                                     {"devOpt", "label_devOpt_fold"}};
        QStringList open;
        for (const auto &s : sections) {
            auto *panel =
                child<WidgetMenuWindow>(qPrintable(u"widget_menu_"_s + QLatin1String(s[0])));
            const bool fold = child<LabelFoldBtn>(s[1])->isOpen();
            if (fold != panel->isOpen() || fold != panel->isVisible())
                open << u"?"_s;
            else if (fold)
                open << QLatin1String(s[0]);
        }
        return open;
    }

    // "live" or "playback" when the two mode buttons, the window and the
    // playback controls agree on it; "?" otherwise.
    QString mode()
    {
        const bool live = child<WidgetBtnLive>("widget_btn_life")->isSelected();
        const bool playback = child<WidgetBtnLive>("widget_btn_playback")->isSelected();
        const bool controls = child<QWidget>("widget_progressBar")->isVisible() &&
                              child<QWidget>("label_dateBtn")->isVisible();
        if (live && !playback && window->isLive() && !controls)
            return u"live"_s;
        if (playback && !live && !window->isLive() && controls)
            return u"playback"_s;
        return u"?"_s;
    }

    std::unique_ptr<WindowTestEnv> env;
    MainWindow *window = nullptr;
};

ORVANE_TEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
