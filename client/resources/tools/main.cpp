// Build-time renderer of the client's images.
//
//   orvane_iconrender <images.manifest> <svg folder> <output folder>
//
// Writes every image of the manifest (and its hover variants) below the output folder at its
// resource path. Exit status 0 on success, 1 on any error (reported on standard error).
#include "IconRenderer.h"
#include "ImageManifest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

namespace {

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    return true;
}

bool writeImage(const QString &path, const QImage &image)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        std::fprintf(stderr, "%s: cannot write PNG\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <images.manifest> <svg folder> <output folder>\n", argv[0]);
        return 1;
    }
    const QString manifestPath = QString::fromLocal8Bit(argv[1]);
    const QString svgDir = QString::fromLocal8Bit(argv[2]);
    const QString outDir = QString::fromLocal8Bit(argv[3]);

    QFile manifest(manifestPath);
    if (!manifest.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(manifest.errorString()));
        return 1;
    }
    QList<ImageEntry> entries;
    QString error;
    if (!ImageManifest::parse(manifest.readAll(), &entries, &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(error));
        return 1;
    }

    const IconRenderer renderer(svgDir);
    bool ok = true;
    for (const ImageEntry &e : entries) {
        if (e.source == QLatin1String(":spinner")) {
            const QByteArray gif = IconRenderer::spinnerGif(qMin(e.size.width(), e.size.height()));
            ok = !gif.isEmpty() && writeFile(outDir + QLatin1Char('/') + e.path, gif) && ok;
            continue;
        }
        for (int variant = 0; variant <= e.hovers.size(); ++variant) {
            const bool hover = variant > 0;
            const QImage image = renderer.render(e, hover, &error);
            if (image.isNull()) {
                std::fprintf(stderr, "%s:%d: %s\n", argv[1], e.line, qPrintable(error));
                ok = false;
                break;
            }
            const QString path = hover ? e.hovers.at(variant - 1) : e.path;
            ok = writeImage(outDir + QLatin1Char('/') + path, image) && ok;
        }
    }
    return ok ? 0 : 1;
}
