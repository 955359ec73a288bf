#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

// One line of images.manifest: an image of the resource tree, the picture it is drawn from,
// its pixel size and colour palette, and the hover variants drawn in the palette's hover
// colours.
struct ImageEntry
{
    QString path;       // below ":/", e.g. "main/images/btnImg/play.png"
    QString source;     // SVG base name, or ":gridN" / ":spinner"
    int rotation = 0;   // clockwise degrees applied to an SVG source
    QSize size;         // pixels
    QString palette;    // one of ImageManifest::palettes()
    QStringList hovers; // paths of the hover variants (may be empty)
    QString usage;      // free text: where the image is shown
    int line = 0;       // line number in the manifest, for messages
};

// Parser of images.manifest. Any thread (no shared state).
class ImageManifest
{
public:
    // Parses the manifest text. On failure returns false and sets *error to a message naming
    // the offending line; *entries is then left unchanged.
    static bool parse(const QByteArray &text, QList<ImageEntry> *entries, QString *error);

    // Palettes the renderer knows.
    static QStringList palettes();

    // Largest side accepted for one image; larger sizes are refused as typos.
    static constexpr int maxSide = 2048;
};
