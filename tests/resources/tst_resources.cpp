// The images and the font compiled into orvane_widgets: every path of images.manifest loads
// at its size, hover variants look different, the waiting animation plays, the font registers.
// Nothing here calls Q_INIT_RESOURCE or orvaneInitResources(): linking the library must be
// enough.
#include "ImageManifest.h"

#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QMovie>
#include <QPixmap>
#include <QtTest>

class TstResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyImageLoadsAtItsSize_data();
    void everyImageLoadsAtItsSize();
    void hoverVariantDiffersFromNormal_data();
    void hoverVariantDiffersFromNormal();
    void iconsHaveTransparentBackground_data();
    void iconsHaveTransparentBackground();
    void namesUsedByTheWidgetsExist();
    void waitingAnimationHasSeveralLoopingFrames();
    void applicationFontRegistersFromResource();

private:
    QList<ImageEntry> entries;
};

void TstResources::initTestCase()
{
    QFile file(QStringLiteral(ORVANE_IMAGE_MANIFEST));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    QString error;
    QVERIFY2(ImageManifest::parse(file.readAll(), &entries, &error), qPrintable(error));
}

void TstResources::everyImageLoadsAtItsSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const ImageEntry &e : std::as_const(entries)) {
        for (const QString &p : QStringList(e.path) + e.hovers)
            QTest::newRow(qPrintable(p)) << QString(QStringLiteral(":/") + p) << e.size;
    }
}

void TstResources::everyImageLoadsAtItsSize()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QPixmap pixmap(path);
    QVERIFY2(!pixmap.isNull(), qPrintable(path));
    QCOMPARE(pixmap.size(), size);
}

void TstResources::hoverVariantDiffersFromNormal_data()
{
    QTest::addColumn<QString>("normal");
    QTest::addColumn<QString>("hover");
    for (const ImageEntry &e : std::as_const(entries)) {
        for (const QString &h : e.hovers)
            QTest::newRow(qPrintable(h))
                << QString(QStringLiteral(":/") + e.path) << QString(QStringLiteral(":/") + h);
    }
}

void TstResources::hoverVariantDiffersFromNormal()
{
    QFETCH(QString, normal);
    QFETCH(QString, hover);
    const QImage a(normal), b(hover);
    QVERIFY(!a.isNull() && !b.isNull());
    QVERIFY2(a.convertToFormat(QImage::Format_ARGB32) != b.convertToFormat(QImage::Format_ARGB32),
             qPrintable(hover));
}

void TstResources::iconsHaveTransparentBackground_data()
{
    QTest::addColumn<QString>("path");
    for (const ImageEntry &e : std::as_const(entries)) {
        if (e.palette != QLatin1String("fixed"))
            QTest::newRow(qPrintable(e.path)) << QString(QStringLiteral(":/") + e.path);
    }
}

void TstResources::iconsHaveTransparentBackground()
{
    QFETCH(QString, path);
    const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!image.isNull());
    // Clear corners, and something drawn.
    const int r = image.width() - 1, b = image.height() - 1;
    for (const QPoint &corner : {QPoint(0, 0), QPoint(r, 0), QPoint(0, b), QPoint(r, b)})
        QCOMPARE(qAlpha(image.pixel(corner)), 0);
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
    }
    QVERIFY2(opaque >= image.width() / 2, qPrintable(path));
}

void TstResources::namesUsedByTheWidgetsExist()
{
    // The names the widgets build from patterns; the manifest may not lose any of them.
    QStringList names = {"btn_min",      "btn_min_pre",
                         "btn_max",      "btn_max_pre",
                         "btn_window",   "btn_window_pre",
                         "btn_close",    "btn_close_pre",
                         "DVR",          "c512",
                         "screenCap",    "screenCap-hover",
                         "screenShot",   "screenShot-hover",
                         "calendar",     "play",
                         "stop",         "fullGl",
                         "fullGl-hover", "left-hover",
                         "right-hover"};
    for (int k = 1; k <= 11; ++k) {
        names << QStringLiteral("pt_sc%1").arg(k) << QStringLiteral("sc%1").arg(k)
              << QStringLiteral("sc%1-hover").arg(k);
    }
    names << QStringLiteral("sc6-hover ") << QStringLiteral("sc7-hover ");
    const char *ptz[] = {"upBtn",       "left",      "right",      "down",  "upleft",
                         "upper_right", "low_right", "left_lower", "minus", "plus"};
    for (const char *n : ptz)
        names << QString::fromLatin1(n) << QString::fromLatin1(n) + QStringLiteral("-hover");
    const char *tabs[] = {"local", "user", "time", "event", "daily", "file"};
    for (const char *n : tabs)
        names << QString::fromLatin1(n) << QString::fromLatin1(n) + QStringLiteral("-hover");

    for (const QString &n : std::as_const(names)) {
        const QString path = QStringLiteral(":/main/images/btnImg/") + n + QStringLiteral(".png");
        QVERIFY2(QFile::exists(path), qPrintable(path));
    }
    QVERIFY(QFile::exists(QStringLiteral(":/main/images/btnImg/Loading_icon.gif")));
    QVERIFY(QFile::exists(QStringLiteral(":/login/150/images/logo/orvane_logo.png")));
}

void TstResources::waitingAnimationHasSeveralLoopingFrames()
{
    QMovie movie(QStringLiteral(":/main/images/btnImg/Loading_icon.gif"));
    QVERIFY(movie.isValid());
    QVERIFY(movie.frameCount() > 1);
    QCOMPARE(movie.loopCount(), -1); // forever

    QList<QImage> frames;
    for (int i = 0; i < movie.frameCount(); ++i) {
        QVERIFY(movie.jumpToFrame(i));
        frames.append(movie.currentImage().convertToFormat(QImage::Format_ARGB32));
        QVERIFY(movie.nextFrameDelay() > 0);
    }
    QCOMPARE(frames.first().size(), QSize(64, 64));
    QCOMPARE(qAlpha(frames.first().pixel(0, 0)), 0);
    QCOMPARE(qAlpha(frames.first().pixel(32, 32)), 0); // a ring: the centre is clear
    QVERIFY(frames.at(0) != frames.at(1));
}

void TstResources::applicationFontRegistersFromResource()
{
    const int id =
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/fonts/HELVETICA NEUE.ttf"));
    QVERIFY(id >= 0);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    QVERIFY(!families.isEmpty());
    QCOMPARE(families.first(), QStringLiteral("TeX Gyre Heros"));
    QVERIFY(QFontDatabase::removeApplicationFont(id));
}

QTEST_MAIN(TstResources)
#include "tst_resources.moc"
