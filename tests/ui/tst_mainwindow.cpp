#include "app/Header.h"
#include "app/LabelHeaderBtn.h"
#include "app/LabelSystemBtn.h"
#include "app/MainWindow.h"
#include "app/WidgetBtnLive.h"
#include "app/WidgetMenuWindow.h"
#include "config/Config.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/UserInfo.h"
#include "view/ViewControl.h"
#include "widgets/LabelFoldBtn.h"

#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The main window on its own: accordion, mode switch, header texts, header
// drag and the close button.
class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void accordionKeepsOneSectionOpen();
    void openSectionGetsTheHeightTheHeadersLeave();
    void liveAndPlaybackSwitchRules();
    void userNameIsShortenedFromSevenCharacters_data();
    void userNameIsShortenedFromSevenCharacters();
    void captionFollowsSelectedDevice();
    void headerDragReportsOffset();
    void closeButtonEndsEventLoopWithZero();

private:
    template <class T> T *child(const char *name)
    {
        T *w = window->findChild<T *>(QLatin1String(name));
        if (!w)
            qWarning("no child %s", name);
        return w;
    }
    QWidget *panel(const char *name) { return child<WidgetMenuWindow>(name); }

    QTemporaryDir settingsDir;
    MainWindow *window = nullptr;
};

void tst_MainWindow::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    Config::forgetInstance();
}

void tst_MainWindow::init()
{
    window = new MainWindow;
    window->resize(1080, 720);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void tst_MainWindow::cleanup()
{
    delete window;
    window = nullptr;
}

void tst_MainWindow::accordionKeepsOneSectionOpen()
{
    auto *devListFold = child<LabelFoldBtn>("label_deviceMenu_fold");
    auto *ptzFold = child<LabelFoldBtn>("label_deviceManageMenu_fold");
    auto *devOptFold = child<LabelFoldBtn>("label_devOpt_fold");
    auto *devList = child<WidgetMenuWindow>("widget_menu_devList");
    auto *ptz = child<WidgetMenuWindow>("widget_menu_ptz");
    auto *devOpt = child<WidgetMenuWindow>("widget_menu_devOpt");
    QVERIFY(devListFold && ptzFold && devOptFold && devList && ptz && devOpt);

    // The device tree section is open at start.
    QVERIFY(devListFold->isOpen());
    QVERIFY(devList->isOpen() && devList->isVisible());
    QVERIFY(!ptz->isVisible() && !devOpt->isVisible());

    QTest::mouseClick(ptzFold, Qt::LeftButton);
    QVERIFY(ptzFold->isOpen());
    QVERIFY(ptz->isOpen() && ptz->isVisible());
    QVERIFY(!devListFold->isOpen() && !devList->isOpen() && !devList->isVisible());
    QVERIFY(!devOptFold->isOpen() && !devOpt->isVisible());

    QTest::mouseClick(devOptFold, Qt::LeftButton);
    QVERIFY(devOpt->isOpen() && devOpt->isVisible());
    QVERIFY(!ptzFold->isOpen() && !ptz->isVisible());

    // Folding the open section leaves every section folded.
    QTest::mouseClick(devOptFold, Qt::LeftButton);
    for (auto *fold : {devListFold, ptzFold, devOptFold})
        QVERIFY(!fold->isOpen());
    for (auto *p : {devList, ptz, devOpt})
        QVERIFY(!p->isOpen() && !p->isVisible());

    QTest::mouseClick(devListFold, Qt::LeftButton);
    QVERIFY(devList->isOpen() && devList->isVisible());
}

void tst_MainWindow::openSectionGetsTheHeightTheHeadersLeave()
{
    auto *menuBox = child<QWidget>("widget_menuBox");
    QVERIFY(menuBox);
    int expected = menuBox->height() - 9;
    for (const char *name :
         {"widget_menuHeader_devList", "widget_menuHeader_ptz", "widget_menuHeader_devOpt"})
        expected -= child<QWidget>(name)->height() + 1;
    QVERIFY(expected > 100);
    QTRY_COMPARE(panel("widget_menu_devList")->height(), expected);

    // A taller window gives the open panel the extra height.
    window->resize(1080, 820);
    QTRY_COMPARE(panel("widget_menu_devList")->height(), expected + 100);
    QTest::mouseClick(child<LabelFoldBtn>("label_devOpt_fold"), Qt::LeftButton);
    QTRY_COMPARE(panel("widget_menu_devOpt")->height(), expected + 100);
}

void tst_MainWindow::liveAndPlaybackSwitchRules()
{
    auto *liveBtn = child<WidgetBtnLive>("widget_btn_life");
    auto *playbackBtn = child<WidgetBtnLive>("widget_btn_playback");
    auto *progress = child<QWidget>("widget_progressBar");
    auto *date = child<QWidget>("label_dateBtn");
    QVERIFY(liveBtn && playbackBtn && progress && date);
    QSignalSpy modes(ViewControl::instance(), &ViewControl::changeModMsg);

    QVERIFY(window->isLive());
    QVERIFY(liveBtn->isSelected() && !playbackBtn->isSelected());
    QVERIFY(!progress->isVisible() && !date->isVisible());

    // The active mode's button changes nothing.
    QTest::mouseClick(liveBtn, Qt::LeftButton);
    QCOMPARE(modes.count(), 0);
    QVERIFY(window->isLive());

    QTest::mouseClick(playbackBtn, Qt::LeftButton);
    QCOMPARE(modes.count(), 1);
    QCOMPARE(modes.last().at(0).toBool(), false);
    QVERIFY(!window->isLive());
    QVERIFY(!liveBtn->isSelected() && playbackBtn->isSelected());
    QVERIFY(progress->isVisible() && date->isVisible());

    QTest::mouseClick(playbackBtn, Qt::LeftButton);
    QCOMPARE(modes.count(), 1);
    QVERIFY(!window->isLive());

    QTest::mouseClick(liveBtn, Qt::LeftButton);
    QCOMPARE(modes.count(), 2);
    QCOMPARE(modes.last().at(0).toBool(), true);
    QVERIFY(window->isLive());
    QVERIFY(liveBtn->isSelected() && !playbackBtn->isSelected());
    QVERIFY(!progress->isVisible() && !date->isVisible());
    for (const char *name : {"label_icon_pause", "label_icon_fb", "label_icon_ff",
                             "widget_icon_fbBox", "widget_icon_ffBox"})
        QVERIFY2(!child<QWidget>(name)->isVisible(), name);
}

void tst_MainWindow::userNameIsShortenedFromSevenCharacters_data()
{
    QTest::addColumn<QString>("nick");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("shown");

    QTest::newRow("six characters whole") << "abcdef"
                                          << "x"
                                          << ""
                                          << ""
                                          << "abcdef";
    QTest::newRow("seven characters cut") << "abcdefg"
                                          << "x"
                                          << ""
                                          << ""
                                          << "abcde...";
    QTest::newRow("chinese cut") << QString::fromUtf8("监控中心一号机房") << ""
                                 << ""
                                 << "" << QString::fromUtf8("监控中心一...");
    QTest::newRow("user name when no nick") << ""
                                            << "Admin"
                                            << "123"
                                            << ""
                                            << "Admin";
    QTest::newRow("phone next") << ""
                                << ""
                                << "13800138000"
                                << "a@b.c"
                                << "13800...";
    QTest::newRow("e-mail last") << ""
                                 << ""
                                 << ""
                                 << "a@b.cn"
                                 << "a@b.cn";
    QTest::newRow("nothing") << ""
                             << ""
                             << ""
                             << ""
                             << "";
}

void tst_MainWindow::userNameIsShortenedFromSevenCharacters()
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

void tst_MainWindow::captionFollowsSelectedDevice()
{
    auto *caption = child<QLabel>("label_devName");
    QCOMPARE(caption->text(), QCoreApplication::translate("MainWindow", "[未选择设备]"));

    Device named;
    named.setUid(QStringLiteral("UID-0001"));
    named.setNickName(QStringLiteral("Gate"));
    Device unnamed;
    unnamed.setUid(QStringLiteral("UID-0002"));

    Dev::instance()->setSelectedDevice(&named);
    QCOMPARE(caption->text(), QStringLiteral("Gate"));
    Dev::instance()->setSelectedDevice(&unnamed);
    QCOMPARE(caption->text(), QStringLiteral("UID-0002"));
    Dev::instance()->setSelectedDevice(nullptr);
}

void tst_MainWindow::headerDragReportsOffset()
{
    auto *header = child<Header>("widget_header");
    QSignalSpy moves(window, &MainWindow::moveMsg);
    QTest::mousePress(header, Qt::LeftButton, {}, QPoint(300, 20));
    QTest::mouseMove(header, QPoint(330, 35));
    QTRY_VERIFY(!moves.isEmpty());
    QCOMPARE(moves.last().at(0).toPoint(), QPoint(30, 15));
    QTest::mouseRelease(header, Qt::LeftButton, {}, QPoint(330, 35));
    const int count = moves.count();
    QTest::mouseMove(header, QPoint(360, 40));
    QCOMPARE(moves.count(), count); // released: no more moves
}

void tst_MainWindow::closeButtonEndsEventLoopWithZero()
{
    auto *closeBtn = child<LabelSystemBtn>("label_icon_close");
    QSignalSpy quits(ViewControl::instance(), &ViewControl::quitMsg);
    // A loop that is not ended by the button ends with 7 after 20 s.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(20000);
    QTimer::singleShot(0, closeBtn, [closeBtn] { QTest::mouseClick(closeBtn, Qt::LeftButton); });
    const int status = QCoreApplication::exec();
    QCOMPARE(status, 0);
    QCOMPARE(quits.count(), 1);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
