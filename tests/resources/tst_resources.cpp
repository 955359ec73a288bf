// The images and the font compiled into orvane_widgets: every path of images.manifest loads
// at its size, the names the widgets use exist, the waiting animation plays, the font registers.
// Nothing here calls Q_INIT_RESOURCE or orvaneInitResources(): linking the library must be
// enough.
#include "ImageManifest.h"

#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QMovie>
#include <QPixmap>
#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

class TstResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile file(QStringLiteral(ORVANE_IMAGE_MANIFEST));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
        QString error;
        QVERIFY2(ImageManifest::parse(file.readAll(), &entries, &error), qPrintable(error));
    }

    void everyImageLoadsAtItsSize_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        for (const ImageEntry &e : std::as_const(entries)) {
            for (const QString &p : QStringList(e.path) + e.hovers)
                QTest::newRow(qPrintable(p)) << QString(u":/"_s + p) << e.size;
        }
    }

    void everyImageLoadsAtItsSize()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        const QPixmap pixmap(path);
        QVERIFY2(!pixmap.isNull(), qPrintable(path));
        QCOMPARE(pixmap.size(), size);
    }

    void namesUsedByTheWidgetsExist()
    {
        // The names the widgets build from patterns; the manifest may not lose any of them.
        QStringList names =
            QString::fromLatin1("btn_min btn_min_pre btn_max btn_max_pre btn_window "
                                "btn_window_pre btn_close btn_close_pre DVR c512 "
                                "calendar play stop")
                .split(QLatin1Char(' '), Qt::SkipEmptyParts);
        names << u"sc6-hover "_s << u"sc7-hover "_s;
        for (int k = 1; k <= 11; ++k) {
            names << u"pt_sc%1"_s.arg(k) << u"sc%1"_s.arg(k) << u"sc%1-hover"_s.arg(k);
        }
        // Snapshot, full screen, PTZ and playback-tab buttons, each with its hover image.
        const QString hovered = QStringLiteral(
            "screenCap screenShot fullGl upBtn left right down upleft upper_right low_right "
            "left_lower minus plus local user time event daily file");
        for (const QString &n : hovered.split(QLatin1Char(' ')))
            names << n << n + u"-hover"_s;
        for (const QString &n : std::as_const(names)) {
            const QString path = u":/main/images/btnImg/"_s + n + u".png"_s;
            QVERIFY2(QFile::exists(path), qPrintable(path));
        }
        QVERIFY(QFile::exists(u":/main/images/btnImg/Loading_icon.gif"_s));
        QVERIFY(QFile::exists(u":/login/150/images/logo/orvane_logo.png"_s));
    }

    void waitingAnimationHasSeveralLoopingFrames()
    {
        QMovie movie(u":/main/images/btnImg/Loading_icon.gif"_s);
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

    void applicationFontRegistersFromResource()
    {
        const int id = QFontDatabase::addApplicationFont(u":/fonts/fonts/HELVETICA NEUE.ttf"_s);
        QVERIFY(id >= 0);
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        QVERIFY(!families.isEmpty());
        QCOMPARE(families.first(), u"TeX Gyre Heros"_s);
        QVERIFY(QFontDatabase::removeApplicationFont(id));
    }

private:
    QList<ImageEntry> entries;
};

ORVANE_TEST_MAIN(TstResources)
#include "tst_resources.moc"
