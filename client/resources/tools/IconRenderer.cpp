#include "IconRenderer.h"

#include "GifWriter.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <QtMath>

namespace {

struct Colours
{
    const char *fg;
    const char *accent;
    const char *alert;
};

struct Palette
{
    const char *name;
    Colours normal;
    Colours hover;
};

// Flat line icons for a dark-grey UI with the brand purple (#4d2875) as accent. "light" sits on
// the dark header, control bar and popups; "dark" on the light tree rows and round playback
// buttons; "mid" on either (PTZ pad, login fields); "tab" follows the control panel's tab
// texts (grey when idle, light on the dark selected tab).
const Palette palettes[] = {
    {"light", {"#c8cad2", "#a27ddc", "#c8cad2"}, {"#ffffff", "#c6a6ff", "#ff5a4e"}},
    {"dark", {"#5a5e66", "#4d2875", "#5a5e66"}, {"#4d2875", "#7a4cc4", "#d9382b"}},
    {"mid", {"#8a8f99", "#6b45a8", "#8a8f99"}, {"#8f5fe8", "#b48cff", "#e0483a"}},
    {"tab", {"#6c6c6c", "#4d2875", "#6c6c6c"}, {"#e2e2e2", "#c6a6ff", "#ff5a4e"}},
    {"pressed", {"#b48cff", "#b48cff", "#b48cff"}, {"#c6a6ff", "#c6a6ff", "#c6a6ff"}},
    {"fixed", {"#c8cad2", "#a27ddc", "#c8cad2"}, {"#ffffff", "#c6a6ff", "#ff5a4e"}},
};

const Palette &paletteByName(const QString &name)
{
    for (const Palette &p : palettes) {
        if (name == QLatin1String(p.name))
            return p;
    }
    return palettes[0];
}

// Cells of a window layout on a size x size grid: {column, row, span}.
struct Cell
{
    int x, y, span;
};

QList<Cell> layoutCells(int mode)
{
    static const int sides[] = {1, 2, 3, 4, 3, 4, 4, 5, 6, 7, 8};
    const int n = sides[qBound(0, mode, 10)];
    QList<Cell> cells;
    int bigX = -1, bigY = -1, bigSpan = 0;
    if (mode == 2) { // 6 windows: a 2 x 2 window in a 3 x 3 grid
        bigX = 0, bigY = 0, bigSpan = 2;
    } else if (mode == 3) { // 8 windows: a 3 x 3 window in a 4 x 4 grid
        bigX = 0, bigY = 0, bigSpan = 3;
    } else if (mode == 5) { // 13 windows: a 2 x 2 window in the centre of a 4 x 4 grid
        bigX = 1, bigY = 1, bigSpan = 2;
    }
    if (bigSpan > 0)
        cells.append({bigX, bigY, bigSpan});
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const bool inBig =
                bigSpan > 0 && x >= bigX && x < bigX + bigSpan && y >= bigY && y < bigY + bigSpan;
            if (!inBig)
                cells.append({x, y, 1});
        }
    }
    return cells;
}

} // namespace

IconRenderer::IconRenderer(const QString &svgDir)
    : svgDir(svgDir)
{}

QByteArray IconRenderer::applyPalette(QByteArray svg, const QString &palette, bool hover)
{
    const Palette &p = paletteByName(palette);
    const Colours &c = hover ? p.hover : p.normal;
    svg.replace("@fg@", c.fg);
    svg.replace("@accent@", c.accent);
    svg.replace("@alert@", c.alert);
    return svg;
}

QByteArray IconRenderer::gridSvg(int mode)
{
    static const int sides[] = {1, 2, 3, 4, 3, 4, 4, 5, 6, 7, 8};
    const int n = sides[qBound(0, mode, 10)];
    // 32 x 32 view box; a 24-unit square of cells with gaps that shrink as the grid grows.
    const double area = 24.0, origin = 4.0;
    const double gap = n <= 2 ? 2.0 : n <= 4 ? 1.5 : 1.0;
    const double cell = (area - gap * (n - 1)) / n;
    const double stroke = n <= 3 ? 1.6 : n <= 5 ? 1.2 : 0.9;
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 32 32\" "
                     "fill=\"none\" stroke=\"@fg@\" stroke-width=\"" +
                     QByteArray::number(stroke) + "\" stroke-linejoin=\"round\">\n";
    const QList<Cell> cells = layoutCells(mode);
    for (const Cell &c : cells) {
        const double x = origin + c.x * (cell + gap) + stroke / 2;
        const double y = origin + c.y * (cell + gap) + stroke / 2;
        const double side = c.span * cell + (c.span - 1) * gap - stroke;
        // The large window of a mixed layout is marked with the accent colour.
        const char *colour = c.span > 1 || n == 1 ? "@accent@" : "@fg@";
        svg += "  <rect x=\"" + QByteArray::number(x) + "\" y=\"" + QByteArray::number(y) +
               "\" width=\"" + QByteArray::number(side) + "\" height=\"" +
               QByteArray::number(side) + "\" rx=\"" + QByteArray::number(qMin(1.0, side / 6)) +
               "\" stroke=\"" + colour + "\"/>\n";
    }
    svg += "</svg>\n";
    return svg;
}

QImage IconRenderer::render(const ImageEntry &entry, bool hover, QString *error) const
{
    QByteArray svg;
    if (entry.source.startsWith(QLatin1String(":grid"))) {
        svg = gridSvg(entry.source.mid(5).toInt());
    } else if (entry.source.startsWith(QLatin1Char(':'))) {
        if (error)
            *error = entry.source + QStringLiteral(" is not an SVG picture");
        return {};
    } else {
        QFile file(svgDir + QLatin1Char('/') + entry.source + QStringLiteral(".svg"));
        if (!file.open(QIODevice::ReadOnly)) {
            if (error)
                *error = file.fileName() + QStringLiteral(": ") + file.errorString();
            return {};
        }
        svg = file.readAll();
    }
    QSvgRenderer renderer(applyPalette(svg, entry.palette, hover));
    if (!renderer.isValid()) {
        if (error)
            *error = entry.source + QStringLiteral(": not a valid SVG picture");
        return {};
    }
    QImage image(entry.size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (entry.rotation != 0) {
        const QPointF centre(entry.size.width() / 2.0, entry.size.height() / 2.0);
        painter.translate(centre);
        painter.rotate(entry.rotation);
        painter.translate(-centre);
    }
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(entry.size)));
    painter.end();
    return image;
}

QByteArray IconRenderer::spinnerGif(int size)
{
    // Twelve dots on a ring; the bright head moves one dot per frame and the tail fades to
    // grey. Each dot has one flat colour, so anti-aliased edges map back onto the table.
    constexpr int dots = 12;
    QList<QRgb> table;
    table.append(qRgba(0, 0, 0, 0)); // transparent
    const QColor head(0xc6, 0xa6, 0xff), tail(0x5e, 0x5a, 0x68);
    for (int i = 0; i < dots; ++i) {
        const double t = double(i) / (dots - 1);
        table.append(qRgb(int(head.red() + (tail.red() - head.red()) * t),
                          int(head.green() + (tail.green() - head.green()) * t),
                          int(head.blue() + (tail.blue() - head.blue()) * t)));
    }

    const double ring = size * 0.36, radius = size * 0.075;
    QList<QImage> frames;
    for (int f = 0; f < dots; ++f) {
        QImage rgba(size, size, QImage::Format_ARGB32);
        rgba.fill(Qt::transparent);
        QPainter painter(&rgba);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        for (int d = 0; d < dots; ++d) {
            const int age = (f - d + dots) % dots; // 0 = head
            const double a = 2 * M_PI * d / dots - M_PI / 2;
            const double r = radius * (1.0 - 0.35 * age / (dots - 1));
            painter.setBrush(QColor::fromRgb(table.at(1 + age)));
            painter.drawEllipse(QPointF(size / 2.0 + ring * qCos(a), size / 2.0 + ring * qSin(a)),
                                r, r);
        }
        painter.end();

        QImage indexed(size, size, QImage::Format_Indexed8);
        indexed.setColorTable(table);
        for (int y = 0; y < size; ++y) {
            const QRgb *src = reinterpret_cast<const QRgb *>(rgba.constScanLine(y));
            uchar *dst = indexed.scanLine(y);
            for (int x = 0; x < size; ++x) {
                if (qAlpha(src[x]) < 128) {
                    dst[x] = 0;
                    continue;
                }
                int best = 1, bestDist = INT_MAX;
                for (int i = 1; i < table.size(); ++i) {
                    const int dr = qRed(src[x]) - qRed(table.at(i));
                    const int dg = qGreen(src[x]) - qGreen(table.at(i));
                    const int db = qBlue(src[x]) - qBlue(table.at(i));
                    const int dist = dr * dr + dg * dg + db * db;
                    if (dist < bestDist) {
                        bestDist = dist;
                        best = i;
                    }
                }
                dst[x] = uchar(best);
            }
        }
        frames.append(indexed);
    }
    return GifWriter::encode(frames, 8);
}
