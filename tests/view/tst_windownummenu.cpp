// The window-count popup, its entries and the control-bar button.

#include "ViewTestEnv.h"

#include "config/Location.h"
#include "view/LabelWinBtn.h"
#include "view/LabelWindowNumBtn.h"
#include "view/ViewControl.h"
#include "view/WindowNumMenu.h"

#include <QEnterEvent>
#include <QtTest>
#include "TestMain.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString image(const QString &file)
{
    return u":/main/images/btnImg/"_s + file;
}

} // namespace

class tst_WindowNumMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        env = std::make_unique<ViewTestEnv>();
        Location::instance()->setWindowNum(WINDOW_MOD_4);
        ViewTestEnv::quietLink();
    }

    void entriesAreNamedAndReportTheirMode()
    {
        WindowNumMenu menu;
        QCOMPARE(menu.entries().size(), 11);
        for (int k = 1; k <= 11; ++k) {
            LabelWinBtn *entry = menu.entries().at(k - 1);
            QCOMPARE(entry->objectName(), u"label_sc%1"_s.arg(k));
            QCOMPARE(entry->number(), k);
        }
        QSignalSpy chosen(&menu, &WindowNumMenu::clickWindowMod);
        QTest::mouseClick(menu.entries().at(2), Qt::LeftButton);
        QTest::mouseClick(menu.entries().at(10), Qt::LeftButton);
        QTest::mouseClick(menu.entries().at(4), Qt::RightButton);
        QCOMPARE(chosen.size(), 2);
        QCOMPARE(chosen.at(0).at(0).value<WINDOW_MOD>(), WINDOW_MOD_6);
        QCOMPARE(chosen.at(1).at(0).value<WINDOW_MOD>(), WINDOW_MOD_64);

        LabelWinBtn stray;
        stray.setObjectName(u"label_sc12"_s);
        QCOMPARE(stray.number(), 0);
        QSignalSpy none(&stray, &LabelWinBtn::clickWindowMod);
        QTest::mouseClick(&stray, Qt::LeftButton);
        QCOMPARE(none.size(), 0);
    }

    void popupSitsInTheLowerRightCornerAndFollowsTheGrid()
    {
        QWidget parent;
        parent.resize(800, 600);
        auto *menu = new WindowNumMenu(&parent);
        const QSize size = WindowNumMenu::designedSize();
        QCOMPARE(menu->size(), size); // scale 1
        QCOMPARE(menu->pos(), QPoint(800 - size.width() - 15, 600 - size.height() - 5));

        parent.resize(1000, 700);
        emit ViewControl::instance()->resizeMsg();
        QCOMPARE(menu->pos(), QPoint(1000 - size.width() - 15, 700 - size.height() - 5));
    }

    void buttonShowsTheIconOfTheCurrentLayout()
    {
        QCOMPARE(LabelWindowNumBtn::iconPath(0, false), image(u"sc1.png"_s));
        QCOMPARE(LabelWindowNumBtn::iconPath(0, true), image(u"sc1-hover.png"_s));
        // Two of the hover images carry a space before the dot.
        QCOMPARE(LabelWindowNumBtn::iconPath(5, true), image(u"sc6-hover .png"_s));
        QCOMPARE(LabelWindowNumBtn::iconPath(6, true), image(u"sc7-hover .png"_s));
        QCOMPARE(LabelWindowNumBtn::iconPath(7, true), image(u"sc8-hover.png"_s));
        QVERIFY(LabelWindowNumBtn::iconPath(11, false).isEmpty());

        QWidget host;
        host.resize(400, 300);
        ViewControl *vc = ViewControl::instance();
        vc->attach(&host);
        LabelWindowNumBtn button;
        button.resize(20, 20);
        QCOMPARE(button.currentIcon(), image(u"sc2.png"_s));
        vc->setWindowMod(WINDOW_MOD_9);
        QCOMPARE(button.currentIcon(), image(u"sc5.png"_s));
        QCOMPARE(button.pixmap().size(), QSize(20, 20));
        vc->removeWindowsFrom(0);
        vc->setWindowMod(WINDOW_MOD_4);
    }

    void buttonClickOpensAndSetOpenResets()
    {
        LabelWindowNumBtn button;
        button.resize(20, 20);
        QSignalSpy asked(&button, &LabelWindowNumBtn::clickWindowMenu);
        const QString normal =
            LabelWindowNumBtn::iconPath(ViewControl::instance()->windowMod(), false);
        const QString hover =
            LabelWindowNumBtn::iconPath(ViewControl::instance()->windowMod(), true);

        enter(&button);
        QCOMPARE(button.currentIcon(), hover);
        QTest::mouseClick(&button, Qt::RightButton); // only the left button opens
        QVERIFY(asked.isEmpty() && !button.isOpen());
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(asked.size(), 1);
        QVERIFY(button.isOpen());
        leave(&button);
        QCOMPARE(button.currentIcon(), hover); // stays lit while the popup is open

        button.setOpen(false);
        QCOMPARE(button.currentIcon(), normal);

        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(asked.size(), 3);
        QVERIFY(!button.isOpen());
    }

private:
    static void enter(QWidget *w)
    {
        QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QCoreApplication::sendEvent(w, &e);
    }
    static void leave(QWidget *w)
    {
        QEvent e(QEvent::Leave);
        QCoreApplication::sendEvent(w, &e);
    }

    std::unique_ptr<ViewTestEnv> env;
};

ORVANE_TEST_MAIN(tst_WindowNumMenu)
#include "tst_windownummenu.moc"
