#include "GifWriter.h"

namespace {

void putU16(QByteArray &out, int v)
{
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}

// Packs variable-width codes least significant bit first and cuts them into data sub-blocks.
class CodeStream
{
public:
    explicit CodeStream(QByteArray &out)
        : out(out)
    {}
    void put(int code, int width)
    {
        acc |= quint32(code) << bits;
        bits += width;
        while (bits >= 8) {
            byte(char(acc & 0xff));
            acc >>= 8;
            bits -= 8;
        }
    }
    void finish()
    {
        if (bits > 0)
            byte(char(acc & 0xff));
        acc = 0;
        bits = 0;
        flushBlock();
        out.append(char(0)); // block terminator
    }

private:
    void byte(char b)
    {
        block.append(b);
        if (block.size() == 255)
            flushBlock();
    }
    void flushBlock()
    {
        if (block.isEmpty())
            return;
        out.append(char(block.size()));
        out.append(block);
        block.clear();
    }
    QByteArray &out;
    QByteArray block;
    quint32 acc = 0;
    int bits = 0;
};

} // namespace

namespace {

// Screen descriptor, global colour table (2^tableBits entries) and the
// loop-forever extension.
void writeHeader(QByteArray &out, QSize size, const QList<QRgb> &table, int tableBits,
                 int transparent)
{
    out.append("GIF89a");
    putU16(out, size.width());
    putU16(out, size.height());
    out.append(char(0x80 | ((tableBits - 1) << 4) | (tableBits - 1))); // global table present
    out.append(char(transparent >= 0 ? transparent : 0));              // background index
    out.append(char(0));                                               // pixel aspect
    for (int i = 0; i < (1 << tableBits); ++i) {
        const QRgb c = i < table.size() ? table.at(i) : qRgb(0, 0, 0);
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    out.append("\x21\xff\x0b"
               "NETSCAPE2.0"
               "\x03\x01\x00\x00\x00",
               19);
}

// One frame: graphic control extension, image descriptor and the pixels as
// uncompressed LZW codes.
void writeFrame(QByteArray &out, const QImage &f, int tableSize, int minCodeSize, int delayCs,
                int transparent)
{
    // Graphic control extension: dispose to background, optional transparency, delay.
    out.append("\x21\xf9\x04", 3);
    out.append(char((2 << 2) | (transparent >= 0 ? 1 : 0)));
    putU16(out, delayCs);
    out.append(char(transparent >= 0 ? transparent : 0));
    out.append(char(0));
    // Image descriptor: whole screen, no local table, not interlaced.
    out.append(char(0x2c));
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, f.width());
    putU16(out, f.height());
    out.append(char(0));

    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    const int width = minCodeSize + 1;
    // After a clear code the decoder adds one table entry per code after the first; the code
    // width grows once the next free entry reaches 2^width, which 2^minCodeSize - 1 literals
    // would do. One literal less is the limit; one more is kept spare for decoders that grow
    // the width a code early.
    const int literalsPerClear = qMax(1, (1 << minCodeSize) - 3);

    out.append(char(minCodeSize));
    CodeStream codes(out);
    int sinceClear = literalsPerClear; // forces a clear code first
    for (int y = 0; y < f.height(); ++y) {
        const uchar *row = f.constScanLine(y);
        for (int x = 0; x < f.width(); ++x) {
            if (sinceClear == literalsPerClear) {
                codes.put(clearCode, width);
                sinceClear = 0;
            }
            // Indices beyond the table would be undefined colours; map them to 0.
            codes.put(row[x] < tableSize ? row[x] : 0, width);
            ++sinceClear;
        }
    }
    codes.put(endCode, width);
    codes.finish();
}

} // namespace

QByteArray GifWriter::encode(const QList<QImage> &frames, int delayCs)
{
    if (frames.isEmpty() || delayCs < 0 || delayCs > 0xffff)
        return {};
    const QSize size = frames.first().size();
    const QList<QRgb> table = frames.first().colorTable();
    if (size.isEmpty() || size.width() > 0xffff || size.height() > 0xffff || table.isEmpty() ||
        table.size() > 256)
        return {};
    for (const QImage &f : frames) {
        if (f.format() != QImage::Format_Indexed8 || f.size() != size)
            return {};
    }

    // The colour table has 2^(n+1) entries; the LZW minimum code size is at least 2.
    int tableBits = 1;
    while ((1 << tableBits) < table.size())
        ++tableBits;
    const int minCodeSize = qMax(2, tableBits);
    int transparent = -1;
    for (int i = 0; i < table.size(); ++i) {
        if (qAlpha(table.at(i)) == 0) {
            transparent = i;
            break;
        }
    }

    QByteArray out;
    writeHeader(out, size, table, tableBits, transparent);
    for (const QImage &f : frames)
        writeFrame(out, f, int(table.size()), minCodeSize, delayCs, transparent);
    out.append(char(0x3b));
    return out;
}
