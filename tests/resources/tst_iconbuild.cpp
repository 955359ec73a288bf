// The build-time image tools: the GIF writer (read back by Qt's own decoder), the manifest
// parser (including malformed manifests) and the window-layout glyphs.
#include "GifWriter.h"
#include "IconRenderer.h"
#include "ImageManifest.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QtTest>
#include "TestMain.h"

using namespace Qt::StringLiterals;

namespace {

QImage indexedFrame(const QSize &size, const QList<QRgb> &table, int variant)
{
    QImage f(size, QImage::Format_Indexed8);
    f.setColorTable(table);
    QRandomGenerator rng{quint32(variant)};
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            f.setPixel(x, y, rng.bounded(int(table.size())));
    }
    return f;
}

QList<QImage> readBack(const QByteArray &gif, int *loops)
{
    QBuffer buffer;
    buffer.setData(gif);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    QList<QImage> frames;
    QImage image;
    while (reader.read(&image)) {
        // Transparent is transparent, whatever colour the decoder leaves in it.
        image = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            QRgb *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] = qAlpha(row[x]) == 0 ? 0u : row[x];
        }
        frames.append(image);
    }
    *loops = reader.loopCount();
    return frames;
}

// What the decoder should give back for an indexed frame, in readBack()'s form.
QImage expected(const QImage &indexed)
{
    QImage image(indexed.size(), QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = indexed.color(indexed.pixelIndex(x, y));
            image.setPixel(x, y, qAlpha(c) == 0 ? 0u : (c | 0xff000000u));
        }
    }
    return image;
}

const char *validLine = "a/b.png | play | 32x16 | light | a/b-hover.png, a/b-hover .png | bar\n";

} // namespace

class TstIconBuild : public QObject
{
    Q_OBJECT

private slots:
    void gifRoundTripsThroughQtDecoder_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("colours");
        QTest::addColumn<int>("frames");
        QTest::newRow("2 colours, tiny") << QSize(3, 2) << 2 << 2;
        QTest::newRow("5 colours") << QSize(17, 9) << 5 << 3;
        QTest::newRow("13 colours, many clears") << QSize(64, 64) << 13 << 4;
        // 256 colours: 9-bit codes, several 255-byte sub-blocks per frame.
        QTest::newRow("256 colours") << QSize(120, 70) << 256 << 2;
    }

    void gifRoundTripsThroughQtDecoder()
    {
        QFETCH(QSize, size);
        QFETCH(int, colours);
        QFETCH(int, frames);
        QList<QRgb> table{qRgba(0, 0, 0, 0)};
        for (int i = 1; i < colours; ++i)
            table.append(qRgb(i * 7 % 256, 255 - i, i * 31 % 256));
        QList<QImage> input;
        for (int i = 0; i < frames; ++i)
            input.append(indexedFrame(size, table, i + colours));

        const QByteArray gif = GifWriter::encode(input, 7);
        QVERIFY(gif.startsWith("GIF89a"));
        int loops = 0;
        const QList<QImage> output = readBack(gif, &loops);
        QCOMPARE(output.size(), frames);
        QCOMPARE(loops, -1);
        for (int i = 0; i < frames; ++i)
            QCOMPARE(output.at(i), expected(input.at(i)));
    }

    void gifWriterRefusesBadFrames()
    {
        const QList<QRgb> table{qRgb(0, 0, 0), qRgb(255, 255, 255)};
        const QImage good = indexedFrame(QSize(4, 4), table, 1);
        QVERIFY(!GifWriter::encode({good}, 5).isEmpty());
        QVERIFY(GifWriter::encode({}, 5).isEmpty());
        QVERIFY(GifWriter::encode({good}, -1).isEmpty());
        QVERIFY(GifWriter::encode({good, indexedFrame(QSize(5, 4), table, 2)}, 5).isEmpty());
        QVERIFY(GifWriter::encode({good.convertToFormat(QImage::Format_ARGB32)}, 5).isEmpty());
        QImage noTable(4, 4, QImage::Format_Indexed8);
        noTable.fill(0);
        QVERIFY(GifWriter::encode({noTable}, 5).isEmpty());
    }

    void manifestLineIsParsed()
    {
        QList<ImageEntry> entries;
        QString error;
        const QByteArray text = QByteArray("# comment\n\n") + validLine +
                                "x/arrow.png | arrow/135 | 48x48 | mid | - | pad\n"
                                "x/g.png | :grid5 | 64x64 | light | - | grid\n"
                                "x/s.gif | :spinner | 64x64 | light | - | spinner\n";
        QVERIFY2(ImageManifest::parse(text, &entries, &error), qPrintable(error));
        QCOMPARE(entries.size(), 4);
        QStringList got;
        for (const ImageEntry &e : std::as_const(entries))
            got << u"%1|%2/%3|%4x%5|%6|%7|%8|%9"_s.arg(e.path, e.source)
                       .arg(e.rotation)
                       .arg(e.size.width())
                       .arg(e.size.height())
                       .arg(e.palette, e.hovers.join(u','), e.usage)
                       .arg(e.line);
        QCOMPARE(got, (QStringList{"a/b.png|play/0|32x16|light|a/b-hover.png,a/b-hover .png|bar|3",
                                   "x/arrow.png|arrow/135|48x48|mid||pad|4",
                                   "x/g.png|:grid5/0|64x64|light||grid|5",
                                   "x/s.gif|:spinner/0|64x64|light||spinner|6"}));
    }

    void malformedManifestIsRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray("# nothing\n");
        QTest::newRow("too few fields") << QByteArray("a.png | play | 8x8 | light | -\n");
        QTest::newRow("too many fields") << QByteArray("a.png | play | 8x8 | light | - | x | y\n");
        QTest::newRow("absolute path") << QByteArray("/a.png | play | 8x8 | light | - | x\n");
        QTest::newRow("parent path") << QByteArray("a/../b.png | play | 8x8 | light | - | x\n");
        QTest::newRow("empty segment") << QByteArray("a//b.png | play | 8x8 | light | - | x\n");
        QTest::newRow("zero size") << QByteArray("a.png | play | 0x8 | light | - | x\n");
        QTest::newRow("half size") << QByteArray("a.png | play | 8x | light | - | x\n");
        QTest::newRow("huge size") << QByteArray("a.png | play | 99999x8 | light | - | x\n");
        QTest::newRow("palette") << QByteArray("a.png | play | 8x8 | neon | - | x\n");
        QTest::newRow("source") << QByteArray("a.png | ../play | 8x8 | light | - | x\n");
        QTest::newRow("rotation") << QByteArray("a.png | play/360 | 8x8 | light | - | x\n");
        QTest::newRow("grid") << QByteArray("a.png | :grid11 | 8x8 | light | - | x\n");
        QTest::newRow("empty hover") << QByteArray("a.png | play | 8x8 | light | b.png, | x\n");
        QTest::newRow("png spinner") << QByteArray("a.png | :spinner | 8x8 | light | - | x\n");
        QTest::newRow("gif icon") << QByteArray("a.gif | play | 8x8 | light | - | x\n");
        QTest::newRow("spinner hover")
            << QByteArray("a.gif | :spinner | 8x8 | light | b.gif | x\n");
        QTest::newRow("duplicate")
            << QByteArray(validLine) + "a/b-hover.png | stop | 8x8 | light | - | x\n";
        QTest::newRow("binary") << QByteArray("\x00\xff|\x01|||||\n", 10);
    }

    void malformedManifestIsRefused()
    {
        QFETCH(QByteArray, text);
        QList<ImageEntry> entries{ImageEntry()};
        QString error;
        QVERIFY(!ImageManifest::parse(text, &entries, &error));
        QVERIFY(error.startsWith(u"line "_s));
        QCOMPARE(entries.size(), 1); // untouched
    }

    void gridGlyphHasOneCellPerWindow()
    {
        const int windows[] = {1, 4, 6, 8, 9, 13, 16, 25, 36, 49, 64};
        for (int mode = 0; mode <= 10; ++mode)
            QCOMPARE(int(IconRenderer::gridSvg(mode).count("<rect ")), windows[mode]);
    }

    void paletteTokensAreReplacedAndHoverDiffers()
    {
        const QByteArray svg = "<path stroke=\"@fg@\" fill=\"@accent@\" color=\"@alert@\"/>";
        for (const QString &palette : ImageManifest::palettes()) {
            const QByteArray normal = IconRenderer::applyPalette(svg, palette, false);
            const QByteArray hover = IconRenderer::applyPalette(svg, palette, true);
            QVERIFY2(!normal.contains('@') && !hover.contains('@'), qPrintable(palette));
            QVERIFY2(normal != hover, qPrintable(palette));
        }
    }

    void missingSvgIsReported()
    {
        ImageEntry e;
        e.path = u"x.png"_s;
        e.source = u"no-such-picture"_s;
        e.size = QSize(8, 8);
        e.palette = u"light"_s;
        QString error;
        const IconRenderer renderer(QStringLiteral(ORVANE_SVG_DIR));
        QVERIFY(renderer.render(e, false, &error).isNull());
        QVERIFY(error.contains(u"no-such-picture"_s));

        e.source = u"arrow"_s;
        e.rotation = 90;
        const QImage right = renderer.render(e, false, &error);
        QVERIFY(!right.isNull());
        QCOMPARE(right.size(), QSize(8, 8));
    }
};

ORVANE_TEST_MAIN(TstIconBuild)
#include "tst_iconbuild.moc"
