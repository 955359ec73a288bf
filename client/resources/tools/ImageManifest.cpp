#include "ImageManifest.h"

#include <QRegularExpression>
#include <QSet>

namespace {

bool fail(QString *error, int line, const QString &what)
{
    if (error)
        *error = QStringLiteral("line %1: %2").arg(line).arg(what);
    return false;
}

bool validPath(const QString &path)
{
    // Relative resource paths only: no leading '/', no empty or ".." segments.
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')) || path.contains(QLatin1Char('\\')))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.isEmpty() || part == QLatin1String("..") || part == QLatin1String("."))
            return false;
    }
    return true;
}

} // namespace

QStringList ImageManifest::palettes()
{
    return {QStringLiteral("light"), QStringLiteral("dark"),    QStringLiteral("mid"),
            QStringLiteral("tab"),   QStringLiteral("pressed"), QStringLiteral("fixed")};
}

namespace {

// The source field: a file name with an optional rotation, ":gridN" or ":spinner".
bool parseSource(const QString &source, int lineNo, ImageEntry &e, QString *error)
{
    static const QRegularExpression sourceRe(
        QStringLiteral("^(?:([A-Za-z0-9_.-]+)(?:/(\\d{1,3}))?|:grid(\\d{1,2})|:spinner)$"));
    const QRegularExpressionMatch sm = sourceRe.match(source);
    if (!sm.hasMatch())
        return fail(error, lineNo, QStringLiteral("bad source \"%1\"").arg(source));
    if (!sm.captured(3).isEmpty()) {
        if (sm.captured(3).toInt() > 10)
            return fail(error, lineNo, QStringLiteral("no window layout %1").arg(sm.captured(3)));
        e.source = QStringLiteral(":grid") + QString::number(sm.captured(3).toInt());
    } else if (source == QLatin1String(":spinner")) {
        e.source = source;
    } else {
        e.source = sm.captured(1);
        e.rotation = sm.captured(2).isEmpty() ? 0 : sm.captured(2).toInt();
        if (e.rotation >= 360)
            return fail(error, lineNo, QStringLiteral("rotation out of range"));
    }
    return true;
}

// The hover field: "-" or a comma-separated list of resource paths.
bool parseHovers(const QString &hovers, int lineNo, ImageEntry &e, QString *error)
{
    if (hovers == QLatin1String("-"))
        return true;
    const QStringList list = hovers.split(QLatin1Char(','));
    for (const QString &raw : list) {
        // Leading and trailing blanks separate the list; a blank inside a name stays.
        const QString hover = raw.trimmed();
        if (!validPath(hover))
            return fail(error, lineNo, QStringLiteral("bad hover path \"%1\"").arg(hover));
        e.hovers.append(hover);
    }
    return true;
}

// One entry line of six fields.
bool parseEntry(const QStringList &fields, int lineNo, ImageEntry &e, QString *error)
{
    static const QRegularExpression sizeRe(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    e.line = lineNo;
    e.path = fields.at(0).trimmed();
    if (!validPath(e.path))
        return fail(error, lineNo, QStringLiteral("bad resource path \"%1\"").arg(e.path));
    if (!parseSource(fields.at(1).trimmed(), lineNo, e, error))
        return false;

    const QRegularExpressionMatch zm = sizeRe.match(fields.at(2).trimmed());
    const int w = zm.hasMatch() ? zm.captured(1).toInt() : 0;
    const int h = zm.hasMatch() ? zm.captured(2).toInt() : 0;
    if (w < 1 || h < 1 || w > ImageManifest::maxSide || h > ImageManifest::maxSide)
        return fail(error, lineNo, QStringLiteral("bad size \"%1\"").arg(fields.at(2).trimmed()));
    e.size = QSize(w, h);

    e.palette = fields.at(3).trimmed();
    if (!ImageManifest::palettes().contains(e.palette))
        return fail(error, lineNo, QStringLiteral("unknown palette \"%1\"").arg(e.palette));
    if (!parseHovers(fields.at(4).trimmed(), lineNo, e, error))
        return false;
    const bool gif = e.source == QLatin1String(":spinner");
    if (gif && !e.hovers.isEmpty())
        return fail(error, lineNo, QStringLiteral("the spinner has no hover variant"));
    const QLatin1String ext(gif ? ".gif" : ".png");
    for (const QString &p : QStringList(e.path) + e.hovers) {
        if (!p.endsWith(ext))
            return fail(error, lineNo, QStringLiteral("\"%1\" must end in %2").arg(p, ext));
    }
    e.usage = fields.at(5).trimmed();
    return true;
}

} // namespace

bool ImageManifest::parse(const QByteArray &text, QList<ImageEntry> *entries, QString *error)
{
    QList<ImageEntry> result;
    QSet<QString> seen;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString line = QString::fromUtf8(lines.at(i)).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('|'));
        if (fields.size() != 6)
            return fail(error, lineNo,
                        QStringLiteral("expected 6 fields, found %1").arg(fields.size()));
        ImageEntry e;
        if (!parseEntry(fields, lineNo, e, error))
            return false;
        for (const QString &p : QStringList(e.path) + e.hovers) {
            if (seen.contains(p))
                return fail(error, lineNo, QStringLiteral("duplicate path \"%1\"").arg(p));
            seen.insert(p);
        }
        result.append(e);
    }
    if (result.isEmpty())
        return fail(error, lines.size(), QStringLiteral("no images listed"));
    *entries = result;
    return true;
}
