// Every button says what it did: the real main window against devsim, one
// channel playing and selected. Each button of the main window, of the
// device menu and of every control panel page is clicked in turn; within a
// second it must change something the user sees (the window, a new window,
// its state) or post a notice. The record and snapshot buttons post theirs.

#include "DevsimProcess.h"
#include "E2eClient.h"

#include "admin/ControlPanel.h"
#include "admin/LocalSetting.h"
#include "app/Notice.h"
#include "app/WidgetBtnLive.h"
#include "app/WidgetMenuWindow.h"
#include "widgets/LabelFoldBtn.h"
#include "devtree/DevMenu.h"
#include "devtree/DevMenuItem.h"
#include "ptz/MenuPtz.h"
#include "admin/System.h"
#include "devtree/MenuDevList.h"
#include "devtree/MenuListDev.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"
#include "view/WallSurface.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QTimer>
#include <QMetaMethod>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include "TestMain.h"

namespace {

const QString Uid = QStringLiteral("E2EBUTTONS00000001");

// A widget the user clicks: a button, or one of the client's clickable
// labels and items (they show the pointing hand, or declare a "clicked"
// signal).
bool clickable(const QWidget *w)
{
    if (qobject_cast<const QAbstractItemView *>(w))
        return false; // lists and tables: their rows are what is clicked
    if (auto *box = qobject_cast<const QGroupBox *>(w))
        return box->isCheckable();
    if (qobject_cast<const QAbstractButton *>(w) ||
        (w->testAttribute(Qt::WA_SetCursor) && w->cursor().shape() == Qt::PointingHandCursor))
        return true;
    const QMetaObject *m = w->metaObject();
    for (int i = QWidget::staticMetaObject.methodCount(); i < m->methodCount(); ++i)
        if (m->method(i).methodType() == QMetaMethod::Signal && m->method(i).name() == "clicked")
            return true;
    return false;
}

QString nameOf(const QWidget *w)
{
    QString text;
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        text = b->text();
    return QStringLiteral("%1 %2 \"%3\"")
        .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName(), text);
}

} // namespace

class tst_E2eButtons : public QObject
{
    Q_OBJECT

    QTemporaryDir settingsDir;
    QTemporaryDir mediaDir;
    DevsimProcess sim;
    E2eClient client;
    MainWindow *window = nullptr;
    Channel *channel = nullptr;
    bool chooserAsked = false; // the folder chooser was asked for (it answers itself)

    struct Look
    {
        QPixmap shot;
        QList<QWidget *> windows;
        QString notice;
        Qt::WindowStates state;
        bool live = true;
        bool popups = false; // the device manager or the control panel is open
    };
    Look look() const
    {
        Look l;
        l.shot = WallSurface::grab(client.host.get());
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible())
                l.windows.append(w);
        const Notice *n = Notice::of(window);
        l.notice = n ? n->text() : QString();
        l.state = client.host->windowState();
        l.live = ViewControl::instance()->isLive();
        l.popups = window->devManage() || window->controlPanel();
        return l;
    }
    static bool differs(const Look &a, const Look &b)
    {
        return a.shot.toImage() != b.shot.toImage() || a.windows != b.windows ||
               a.state != b.state || a.live != b.live ||
               (!b.notice.isEmpty() && b.notice != a.notice);
    }
    void play()
    {
        if (ViewControl::instance()->cellOf(channel) && channel->avIndex(true) >= 0)
            return;
        for (MenuListDev *row : window->devList()->rows())
            if (row->device() == channel->device())
                emit row->rowOf(channel)->doubleClicked(row->rowOf(channel));
        QTRY_VERIFY_WITH_TIMEOUT(
            channel->avIndex(true) >= 0 && ViewControl::instance()->cellOf(channel) &&
                !ViewControl::instance()->cellOf(channel)->pictureSize().isEmpty(),
            30000);
        Dev::instance()->setSelectedChannel(channel);
    }
    // Puts the window back as it was: new windows closed, the state, the
    // mode, no notice; a toggle that still shows is clicked once more.
    void settle(const Look &before, QWidget *clicked = nullptr)
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && !before.windows.contains(w))
                w->close();
        if (client.host->windowState() != before.state)
            client.host->setWindowState(before.state);
        if (Notice *n = Notice::of(window))
            n->hide();
        if (!before.popups) {
            window->closeDevManage();
            window->closeControlPanel();
        }
        if (ViewControl::instance()->isLive() != before.live) {
            auto *mode = window->findChild<QWidget *>(before.live ? "widget_btn_life"
                                                                  : "widget_btn_playback");
            QTest::mouseClick(mode, Qt::LeftButton, {}, mode->rect().center());
        }
        QTest::qWait(50);
        if (clicked && clicked->isVisible() && differs(before, look())) {
            QTest::mouseClick(clicked, Qt::LeftButton, {}, clicked->rect().center());
            QTest::qWait(100);
            if (Notice *n = Notice::of(window))
                n->hide();
        }
    }
    // Clicks every clickable widget under root (none inside another) that
    // skip does not name; returns those that changed nothing within a second.
    QStringList walk(QWidget *root, const QStringList &skip)
    {
        QList<QWidget *> targets;
        for (QWidget *w : root->findChildren<QWidget *>()) {
            // Tree rows select what they show (the tree's own tests see to
            // them); the mode button of the mode shown is chosen already.
            const auto *mode = qobject_cast<const WidgetBtnLive *>(w);
            if (!w->isVisible() || !w->isEnabled() || !clickable(w) ||
                skip.contains(w->objectName()) || qobject_cast<MenuListDev *>(w) ||
                (mode && mode->isSelected()))
                continue;
            bool inner = false;
            for (QWidget *p = w->parentWidget(); p && p != root; p = p->parentWidget())
                inner = inner || clickable(p);
            if (!inner)
                targets.append(w);
        }
        QStringList silent;
        for (const QPointer<QWidget> w : targets) {
            if (!w || !w->isVisible())
                continue; // an earlier click took it away
            const QString name = nameOf(w);
            const Look before = look();
            // A modal dialog (a file chooser) answers; it is closed at once.
            bool modal = false;
            QTimer closer;
            connect(&closer, &QTimer::timeout, this, [&] {
                if (QWidget *m = QApplication::activeModalWidget()) {
                    modal = true;
                    m->close();
                }
            });
            closer.start(100);
            chooserAsked = false;
            QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
            modal = modal || chooserAsked;
            if (!modal && !QTest::qWaitFor([&] { return modal || differs(before, look()); }, 1000))
                silent.append(name);
            closer.stop();
            settle(before, w);
        }
        return silent;
    }

private slots:
    void initTestCase()
    {
        E2eClient::useSettings(settingsDir.path());
        QVERIFY(Config::instance()->set(ConfigKey::VideoPath, mediaDir.path()));
        QVERIFY(Config::instance()->set(ConfigKey::PicPath, mediaDir.path()));
        const quint16 discovery = DevsimProcess::anyDiscoveryPort();
        sim.setDiscoveryPort(discovery);
        QVERIFY2(sim.start({"--uid", Uid, "--password", "pw", "--channels", "2", "--pattern",
                            "solid", "--fps", "10"}),
                 qPrintable(sim.errorText()));
        DevsimProcess::pointClientAt({&sim}, discovery);
        QVERIFY(E2eClient::registerDevice(Uid, QStringLiteral("pw"), 2));
        window = client.show();
        QVERIFY(QTest::qWaitForWindowExposed(client.host.get()));
        QTRY_VERIFY_WITH_TIMEOUT(Dev::instance()->deviceByUid(Uid), 10000);
        channel = Dev::instance()->deviceByUid(Uid)->channel(0);
        play();
    }
    void cleanupTestCase()
    {
        client.host.reset();
        sim.stop();
    }

    // The snapshot and record buttons tell what they wrote, with a way to
    // the folder; without a selected channel they say what is missing.
    void recordAndSnapshotPostNotices()
    {
        Notice *notice = Notice::of(window);
        QVERIFY(notice);
        QWidget *shot = window->findChild<QWidget *>(QStringLiteral("label_icon_photo"));
        QWidget *record = window->findChild<QWidget *>(QStringLiteral("label_icon_video"));
        QVERIFY(shot && record);
        QTest::mouseClick(shot, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(notice->text().contains(QStringLiteral(".jpg")), 1000);
        QVERIFY(notice->actionButton()->isVisible());
        const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
        if (!dir.isEmpty() && QDir().mkpath(dir))
            WallSurface::grab(client.host.get()).save(QDir(dir).filePath("notice-snapshot.png"));
        QTest::mouseClick(record, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(notice->text().contains(QStringLiteral(".mp4")), 10000);
        QVERIFY(!notice->actionButton()->isVisible()); // started: nothing to open yet
        QTest::qWait(1500);
        QTest::mouseClick(record, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(notice->actionButton()->isVisible(), 2000);
        QVERIFY(notice->text().contains(QStringLiteral(".mp4")));
        notice->hide();
        Dev::instance()->setSelectedChannel(nullptr);
        QTest::mouseClick(shot, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!notice->text().isEmpty(), 1000);
        QVERIFY(!notice->actionButton()->isVisible());
        notice->hide();
        Dev::instance()->setSelectedChannel(channel);
    }

    // Each entry of a cell's device menu, on a menu opened afresh: the look
    // before is taken with the menu hidden, so that the menu closing is no
    // answer by itself.
    void everyDeviceMenuEntryAnswers()
    {
        play();
        const auto open = [&] {
            window->closeMenu();
            window->openedSubWindowMenu(channel->device(), channel, nullptr);
            return window->devMenu();
        };
        DevMenu *menu = open();
        QVERIFY(menu);
        QStringList silent;
        for (const QString &entry : menu->shownItems()) {
            menu = open();
            menu->hide();
            const Look before = look();
            menu->show();
            QWidget *item = menu->item(entry);
            QTest::mouseClick(item, Qt::LeftButton, {}, item->rect().center());
            const bool answered = QTest::qWaitFor([&] { return differs(before, look()); }, 1000);
            if (!answered)
                silent.append(entry);
            settle(before);
            window->closeMenu();
            play(); // what the entry stopped plays again for the next one
        }
        QVERIFY2(silent.isEmpty(), qPrintable(silent.join(QStringLiteral("\n"))));
    }

    // Every page of the control panel, and each page's buttons.
    void everyControlPanelButtonAnswers()
    {
        window->openControlPanel();
        ControlPanel *panel = window->controlPanel();
        QVERIFY(panel);
        QStringList silent;
        QList<QWidget *> tabs;
        for (ControlTab *tab : panel->tabs())
            if (tab->isVisibleTo(panel))
                tabs.append(tab);
        QVERIFY(tabs.size() >= 4);
        for (QWidget *tab : tabs) {
            QTest::mouseClick(tab, Qt::LeftButton, {}, tab->rect().center());
            QTRY_VERIFY(panel->page());
            if (auto *local = qobject_cast<LocalSetting *>(panel->page()))
                local->setFolderChooser([this](QWidget *, const QString &, const QString &) {
                    chooserAsked = true;
                    return QString();
                });
            // Signing out ends the session (tst_account_client sees to it).
            silent += walk(panel->page(), {QStringLiteral("pushButton_signOut")});
        }
        window->closeControlPanel();
        QVERIFY2(silent.isEmpty(), qPrintable(silent.join(QStringLiteral("\n"))));
    }

    void everyMainWindowButtonAnswers()
    {
        // Closing ends the program (its own tests see to that).
        QStringList silent = walk(window, {QStringLiteral("label_icon_close")});
        // The side column's panels, each folded out in turn.
        for (LabelFoldBtn *fold : window->findChildren<LabelFoldBtn *>()) {
            window->clickFold(fold, true);
            QTest::qWait(100);
            for (WidgetMenuWindow *panel : window->findChildren<WidgetMenuWindow *>())
                if (panel->isVisible() && panel->isOpen())
                    silent += walk(panel, {});
        }
        QVERIFY2(silent.isEmpty(), qPrintable(silent.join(QStringLiteral("\n"))));
    }
};

ORVANE_TEST_MAIN(tst_E2eButtons)
#include "tst_e2e_buttons.moc"
