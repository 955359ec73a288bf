#pragma once

#include "ImageManifest.h"

#include <QByteArray>
#include <QImage>
#include <QString>

// Draws the images of images.manifest: SVG sources with their colour tokens filled in from a
// palette, the window-layout glyphs and the waiting animation. Needs no QGuiApplication (no
// text is drawn). Any thread.
class IconRenderer
{
public:
    explicit IconRenderer(const QString &svgDir);

    // Renders one image. hover selects the palette's hover colours. Returns a null image and
    // sets *error on failure (missing or unreadable SVG).
    QImage render(const ImageEntry &entry, bool hover, QString *error) const;

    // The waiting animation as GIF data, size x size pixels.
    static QByteArray spinnerGif(int size);

    // The SVG text of window layout mode (0-10): the grid of cells of that layout.
    static QByteArray gridSvg(int mode);

    // Replaces the colour tokens @fg@, @accent@ and @alert@ of an SVG text.
    static QByteArray applyPalette(QByteArray svg, const QString &palette, bool hover);

private:
    QString svgDir;
};
