// Look and fit of the windows: no label, button or tab text is cut off on any page the user
// can reach, in English and Chinese at UI scale 1.0 and 1.5; the PTZ and playback buttons
// show their images (hover variant under the pointer); the playback date bubble stays over
// the timeline at both ends of the day. With ORVANE_TEST_ARTIFACTS set, the English pages
// at scale 1.0 are saved there as PNG files.
#include "WindowTestEnv.h"

#include "admin/ControlPanel.h"
#include "admin/DevManage.h"
#include "admin/TabBtn.h"
#include "app/MainWindow.h"
#include "app/WindowLogin.h"
#include "ptz/MenuPtz.h"
#include "ptz/PtzBtn.h"
#include "ptz/PtzTab.h"

#include "TestMain.h"
#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOption>
#include <QTabBar>

using namespace Qt::StringLiterals;

namespace {

// "parent/name" of a widget, the class name standing in for a missing object name.
QString nameOf(const QWidget *w)
{
    auto one = [](const QObject *o) {
        return o->objectName().isEmpty() ? QString::fromLatin1(o->metaObject()->className())
                                         : o->objectName();
    };
    return w->parentWidget() ? one(w->parentWidget()) + u'/' + one(w) : one(w);
}

// Width of the widget left visible by its ancestors up to root (a widget scrolled out of
// view vertically keeps its width).
int visibleWidth(const QWidget *w, const QWidget *root)
{
    int left = 0;
    int right = w->width();
    for (const QWidget *a = w == root ? nullptr : w->parentWidget(); a && left < right;
         a = a == root ? nullptr : a->parentWidget()) {
        const int x = w->mapFrom(a, QPoint(0, 0)).x();
        left = qMax(left, x);
        right = qMin(right, x + a->width());
    }
    return qMax(0, right - left);
}

int widest(const QFontMetrics &fm, const QString &text)
{
    int width = 0;
    for (const QString &line : text.split(u'\n'))
        width = qMax(width, fm.horizontalAdvance(line));
    return width;
}

// Width a button leaves for its text (the text's box less the icon), or -1 to skip it.
int buttonTextRoom(QAbstractButton *b)
{
    QStyle::SubElement element;
    QStyleOptionButton option;
    option.initFrom(b);
    option.text = b->text();
    option.icon = b->icon();
    option.iconSize = b->iconSize();
    if (qobject_cast<QPushButton *>(b))
        element = QStyle::SE_PushButtonContents;
    else if (qobject_cast<QCheckBox *>(b))
        element = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton *>(b))
        element = QStyle::SE_RadioButtonContents;
    else
        return b->contentsRect().width();
    int room = b->style()->subElementRect(element, &option, b).width();
    if (!b->icon().isNull())
        room -= b->iconSize().width() + 4;
    return room;
}

// One line per text of the page that does not fit its widget.
QStringList cutTexts(const QString &page, QWidget *root)
{
    QStringList cut;
    auto report = [&](const QWidget *w, const QString &text, int need, int room) {
        if (need > room)
            cut << u"%1: %2 \"%3\" needs %4 px, has %5 px"_s.arg(page, nameOf(w), text)
                       .arg(need)
                       .arg(room);
    };
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *w : std::as_const(widgets)) {
        if (!w->isVisible() || w->width() <= 0)
            continue;
        const int hidden = w->width() - visibleWidth(w, root);
        const QFontMetrics fm(w->font());
        if (auto *label = qobject_cast<QLabel *>(w)) {
            const QString text = label->text();
            if (text.isEmpty() || Qt::mightBeRichText(text) || label->textFormat() == Qt::RichText)
                continue;
            int room = label->contentsRect().width() - 2 * label->margin() - hidden;
            if (label->indent() > 0)
                room -= label->indent();
            else if (label->indent() < 0 && label->frameWidth() > 0)
                room -= fm.horizontalAdvance(u'x') / 2;
            if (label->wordWrap()) {
                int word = 0;
                for (const QString &piece : text.split(QRegularExpression(u"\\s+"_s)))
                    word = qMax(word, fm.horizontalAdvance(piece));
                report(w, text, word, room);
                if (label->heightForWidth(label->width()) > label->height())
                    cut << u"%1: %2 \"%3\" needs %4 px of height, has %5 px"_s
                               .arg(page, nameOf(w), text)
                               .arg(label->heightForWidth(label->width()))
                               .arg(label->height());
            } else {
                report(w, text, widest(fm, text), room);
            }
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            const QString text = QString(button->text()).remove(u'&');
            if (!text.isEmpty())
                report(w, text, widest(fm, text), buttonTextRoom(button) - hidden);
        } else if (auto *bar = qobject_cast<QTabBar *>(w)) {
            const int space = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
            for (int i = 0; i < bar->count(); ++i) {
                if (!bar->isTabVisible(i))
                    continue;
                const QString text = bar->tabText(i).remove(u'&');
                int need = fm.horizontalAdvance(text) + space;
                if (!bar->tabIcon(i).isNull())
                    need += bar->iconSize().width() + 4;
                report(w, text, need, bar->tabRect(i).width());
            }
        }
    }
    return cut;
}

void saveArtifact(QWidget *w, const QString &name, const QRect &area = QRect())
{
    const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
    if (!dir.isEmpty() && QDir().mkpath(dir))
        QVERIFY(w->grab(area.isValid() ? area : w->rect()).save(QDir(dir).filePath(name)));
}

void sendEnter(QWidget *w, bool enter)
{
    if (enter) {
        QEnterEvent e(QPointF(1, 1), w->mapToGlobal(QPointF(1, 1)), w->mapToGlobal(QPointF(1, 1)));
        QCoreApplication::sendEvent(w, &e);
    } else {
        QEvent e(QEvent::Leave);
        QCoreApplication::sendEvent(w, &e);
    }
}

// The first image a style sheet names.
QString sheetImage(const QWidget *w)
{
    const auto match = QRegularExpression(u"image:\\s*url\\(([^)]*)\\)"_s).match(w->styleSheet());
    return match.hasMatch() ? match.captured(1) : QString();
}

} // namespace

class tst_TextFit : public QObject
{
    Q_OBJECT

    std::unique_ptr<WindowTestEnv> env;
    std::unique_ptr<WindowLogin> login;
    std::unique_ptr<QWidget> host;
    MainWindow *main = nullptr;

    // The login window in the language (it installs the catalogue), then the
    // main window embedded in a host of the scaled size, as after a local login.
    bool open(int language, double scale)
    {
        SystemInfo::instance()->setScale(scale);
        login = std::make_unique<WindowLogin>();
        login->loadLanguage(language);
        if (!WindowTestEnv::show(login.get()))
            return false;
        host = std::make_unique<QWidget>();
        host->resize(int(1080 * scale), int(720 * scale));
        main = new MainWindow(host.get());
        main->fitToParent();
        main->setWindowFlags(Qt::FramelessWindowHint); // a child of the host, as embedded
        main->show();
        return WindowTestEnv::show(host.get()) && main->isVisible();
    }

    template <class T> T *child(const char *name) const
    {
        return WindowTestEnv::child<T>(main, name);
    }

    void click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }

    // Into playback mode, with the buttons of a running playback shown.
    void showPlaybackControls()
    {
        if (!main->isLive()) // the grid's mode outlives the window
            click(child<QWidget>("widget_btn_life"));
        click(child<QWidget>("widget_btn_playback"));
        for (const char *name : {"label_icon_pause", "label_icon_fb", "label_icon_ff",
                                 "widget_icon_fbBox", "widget_icon_ffBox"})
            child<QWidget>(name)->show();
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        // The application font, as main() registers it.
        const int id = QFontDatabase::addApplicationFont(u":/fonts/fonts/HELVETICA NEUE.ttf"_s);
        QVERIFY(id >= 0);
        QFont::insertSubstitution(u"HELVETICA NEUE"_s,
                                  QFontDatabase::applicationFontFamilies(id).value(0));
    }

    void init() { env = std::make_unique<WindowTestEnv>(); }

    void cleanup()
    {
        host.reset();
        main = nullptr;
        login.reset();
        env.reset();
        SystemInfo::instance()->setScale(1.0);
    }

    void noTextIsCutOffOnAnyPage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<double>("scale");
        QTest::newRow("English, scale 1.0") << int(WindowLogin::English) << 1.0;
        QTest::newRow("English, scale 1.5") << int(WindowLogin::English) << 1.5;
        QTest::newRow("Chinese, scale 1.0") << int(WindowLogin::Chinese) << 1.0;
        QTest::newRow("Chinese, scale 1.5") << int(WindowLogin::Chinese) << 1.5;
    }

    void noTextIsCutOffOnAnyPage()
    {
        QFETCH(int, language);
        QFETCH(double, scale);
        QVERIFY(open(language, scale));
        const bool artifacts = language == WindowLogin::English && scale == 1.0;
        QStringList cut = cutTexts(u"login window"_s, login.get());
        cut += cutTexts(u"main window"_s, main);

        click(child<QWidget>("label_deviceManageMenu_fold"));
        MenuPtz *ptz = main->ptzPanel();
        QTRY_VERIFY(ptz->isVisible());
        for (const char *tab : {"widget_cruise", "widget_point"}) {
            ptz->tab(QLatin1String(tab))->select();
            cut += cutTexts(u"PTZ panel (%1)"_s.arg(QLatin1String(tab)), ptz);
        }
        if (artifacts)
            saveArtifact(ptz, u"ptz-panel.png"_s);
        click(child<QWidget>("label_devOpt_fold"));
        QTest::qWait(50); // the fold's relayout
        cut += cutTexts(u"stream information"_s, child<QWidget>("widget_menu_devOpt"));
        if (artifacts)
            saveArtifact(main, u"main-window.png"_s);

        showPlaybackControls();
        QWidget *bar = child<QWidget>("widget_2");
        QWidget *timeline = child<QWidget>("widget_progressBar");
        cut += cutTexts(u"playback controls"_s, bar);
        cut += cutTexts(u"playback timeline"_s, timeline);
        if (artifacts) {
            QWidget *view = child<QWidget>("widget_videoView");
            const int top = timeline->y();
            saveArtifact(view, u"playback-controls.png"_s,
                         QRect(0, top, view->width(), bar->geometry().bottom() + 1 - top));
        }

        main->openControlPanel();
        ControlPanel *panel = main->controlPanel();
        QVERIFY(panel);
        const QHash<QString, QString> pageNames{{u"widget_btn_1"_s, u"local-settings"_s},
                                                {u"widget_btn_2"_s, u"user-management"_s},
                                                {u"widget_btn_4"_s, u"alerts"_s},
                                                {u"widget_btn_6"_s, u"debug-log"_s}};
        for (ControlTab *tab : panel->tabs()) {
            if (tab->isHidden())
                continue;
            panel->clickTab(tab);
            QCoreApplication::processEvents();
            const QString page = pageNames.value(tab->objectName(), tab->objectName());
            cut += cutTexts(u"control panel (%1)"_s.arg(page), panel);
            if (artifacts)
                saveArtifact(panel, u"control-panel-%1.png"_s.arg(page));
        }
        main->closeControlPanel();
        main->openUser();
        QVERIFY(main->controlPanel());
        cut += cutTexts(u"account window"_s, main->controlPanel());
        main->closeControlPanel();

        main->openDevManage(nullptr);
        DevManage *manager = main->devManage();
        QVERIFY(manager);
        for (TabBtn *tab : manager->tabs()) {
            manager->clickTab(tab);
            QCoreApplication::processEvents();
            const QString page = tab->objectName() == "widget_devOpt"_L1
                                     ? u"device options"_s
                                     : u"device manager (%1)"_s.arg(tab->objectName());
            cut += cutTexts(page, manager);
        }
        for (const QString &line : std::as_const(cut))
            qWarning("cut off: %s", qUtf8Printable(line));
        QVERIFY2(cut.isEmpty(), qPrintable(u"%1 texts cut off (listed above)"_s.arg(cut.size())));
    }

    void ptzAndPlaybackButtonsShowTheirImages()
    {
        QVERIFY(open(WindowLogin::English, 1.0));
        click(child<QWidget>("label_deviceManageMenu_fold"));
        showPlaybackControls();
        QList<QWidget *> buttons{child<QWidget>("label_icon_play"),
                                 child<QWidget>("label_icon_pause"),
                                 child<QWidget>("label_icon_fb"), child<QWidget>("label_icon_ff")};
        for (int code = 1; code <= 14; ++code)
            buttons << main->ptzPanel()->button(code);
        for (QWidget *b : std::as_const(buttons)) {
            QVERIFY(b);
            const QString normal = sheetImage(b);
            QVERIFY2(QFile::exists(normal), qPrintable(nameOf(b) + u": "_s + normal));
            QCOMPARE(qobject_cast<QLabel *>(b)->text(), QString()); // no glyph over the image
            sendEnter(b, true);
            const QString hover = sheetImage(b);
            QCOMPARE(hover, QString(normal).replace(u".png"_s, u"-hover.png"_s));
            QVERIFY2(QFile::exists(hover), qPrintable(hover));
            sendEnter(b, false);
            QCOMPARE(sheetImage(b), normal);
        }
        PtzBtn *up = main->ptzPanel()->button(1);
        QTest::mousePress(up, Qt::LeftButton); // a held button keeps its hover image
        QVERIFY(up->imagePath().endsWith(u"upBtn-hover.png"_s));
        QTest::mouseRelease(up, Qt::LeftButton);
        QVERIFY(up->imagePath().endsWith(u"upBtn.png"_s));
    }
};

ORVANE_TEST_MAIN(tst_TextFit)
#include "tst_textfit.moc"
