// The window-count popup, its entries and the control-bar button.

#include "ViewTestEnv.h"

#include "config/Location.h"
#include "view/LabelWinBtn.h"
#include "view/LabelWindowNumBtn.h"
#include "view/ViewControl.h"
#include "view/WindowNumMenu.h"

#include <QEnterEvent>
#include <QtTest>

#include <memory>

class tst_WindowNumMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void entriesAreNamedAndReportTheirMode();
    void entryHighlightsWhileHovered();
    void popupSitsInTheLowerRightCornerAndFollowsTheGrid();
    void buttonShowsTheIconOfTheCurrentLayout();
    void buttonClickOpensAndSetOpenResets();

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

void tst_WindowNumMenu::initTestCase()
{
    env = std::make_unique<ViewTestEnv>();
    Location::instance()->setWindowNum(WINDOW_MOD_4);
    ViewTestEnv::quietLink();
}

void tst_WindowNumMenu::entriesAreNamedAndReportTheirMode()
{
    WindowNumMenu menu;
    QCOMPARE(menu.entries().size(), 11);
    for (int k = 1; k <= 11; ++k) {
        LabelWinBtn *entry = menu.entries().at(k - 1);
        QCOMPARE(entry->objectName(), QStringLiteral("label_sc%1").arg(k));
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
    stray.setObjectName(QStringLiteral("label_sc12"));
    QCOMPARE(stray.number(), 0);
    QSignalSpy none(&stray, &LabelWinBtn::clickWindowMod);
    QTest::mouseClick(&stray, Qt::LeftButton);
    QCOMPARE(none.size(), 0);
}

void tst_WindowNumMenu::entryHighlightsWhileHovered()
{
    WindowNumMenu menu;
    LabelWinBtn *first = menu.entries().at(0);
    QCOMPARE(first->styleSheet(),
             QStringLiteral("border-image: url(:/main/images/btnImg/pt_sc1.png);"));
    enter(first);
    QCOMPARE(first->styleSheet(),
             QStringLiteral("border-image: url(:/main/images/btnImg/pt_sc1.png);"
                            "background-color:rgba(255,255,255,0.2)"));
    leave(first);
    QCOMPARE(first->styleSheet(),
             QStringLiteral("border-image: url(:/main/images/btnImg/pt_sc1.png);"));
    QVERIFY(menu.entries().at(9)->styleSheet().contains(QLatin1String("pt_sc10.png")));
}

void tst_WindowNumMenu::popupSitsInTheLowerRightCornerAndFollowsTheGrid()
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
    QCOMPARE(menu->entries().at(1)->geometry(),
             QRect(WindowNumMenu::Margin + WindowNumMenu::EntrySize + WindowNumMenu::Spacing,
                   WindowNumMenu::Margin, WindowNumMenu::EntrySize, WindowNumMenu::EntrySize));
}

void tst_WindowNumMenu::buttonShowsTheIconOfTheCurrentLayout()
{
    QCOMPARE(LabelWindowNumBtn::iconPath(0, false), QStringLiteral(":/main/images/btnImg/sc1.png"));
    QCOMPARE(LabelWindowNumBtn::iconPath(0, true),
             QStringLiteral(":/main/images/btnImg/sc1-hover.png"));
    QCOMPARE(LabelWindowNumBtn::iconPath(5, true),
             QStringLiteral(":/main/images/btnImg/sc6-hover .png"));
    QCOMPARE(LabelWindowNumBtn::iconPath(6, true),
             QStringLiteral(":/main/images/btnImg/sc7-hover .png"));
    QCOMPARE(LabelWindowNumBtn::iconPath(7, true),
             QStringLiteral(":/main/images/btnImg/sc8-hover.png"));
    QVERIFY(LabelWindowNumBtn::iconPath(11, false).isEmpty());

    QWidget host;
    host.resize(400, 300);
    ViewControl *vc = ViewControl::instance();
    vc->attach(&host);
    LabelWindowNumBtn button;
    button.resize(20, 20);
    QCOMPARE(button.currentIcon(), QStringLiteral(":/main/images/btnImg/sc2.png"));
    vc->setWindowMod(WINDOW_MOD_9);
    QCOMPARE(button.currentIcon(), QStringLiteral(":/main/images/btnImg/sc5.png"));
    QVERIFY(!button.pixmap().isNull());
    QCOMPARE(button.pixmap().size(), QSize(20, 20));
    vc->removeWindowsFrom(0);
    vc->setWindowMod(WINDOW_MOD_4);
}

void tst_WindowNumMenu::buttonClickOpensAndSetOpenResets()
{
    LabelWindowNumBtn button;
    button.resize(20, 20);
    QSignalSpy asked(&button, &LabelWindowNumBtn::clickWindowMenu);
    const QString normal = LabelWindowNumBtn::iconPath(ViewControl::instance()->windowMod(), false);
    const QString hover = LabelWindowNumBtn::iconPath(ViewControl::instance()->windowMod(), true);

    enter(&button);
    QCOMPARE(button.currentIcon(), hover);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(asked.size(), 1);
    QVERIFY(button.isOpen());
    leave(&button);
    QCOMPARE(button.currentIcon(), hover); // stays lit while the popup is open

    button.setOpen(false);
    QVERIFY(!button.isOpen());
    QCOMPARE(button.currentIcon(), normal);

    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(asked.size(), 3);
    QVERIFY(!button.isOpen());
}

QTEST_MAIN(tst_WindowNumMenu)
#include "tst_windownummenu.moc"
