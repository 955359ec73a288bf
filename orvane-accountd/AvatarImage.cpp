#include "AvatarImage.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

namespace accountd::AvatarImage {

std::optional<Encoded> normalise(const QByteArray &upload, QString *error)
{
    QByteArray input = upload;
    QBuffer source(&input);
    source.open(QIODevice::ReadOnly);
    QImageReader reader(&source);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format().toLower();
    if (format != "jpeg" && format != "jpg" && format != "png") {
        *error = QStringLiteral("the picture is not a JPEG or PNG image");
        return std::nullopt;
    }
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > maxSide || size.height() > maxSide) {
        *error = QStringLiteral("the picture must be at most %1 x %1 pixels").arg(maxSide);
        return std::nullopt;
    }
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        *error = QStringLiteral("the picture cannot be decoded");
        return std::nullopt;
    }
    Encoded out;
    const bool png = format == "png";
    out.mimeType = png ? QByteArray("image/png") : QByteArray("image/jpeg");
    QBuffer sink(&out.data);
    sink.open(QIODevice::WriteOnly);
    QImageWriter writer(&sink, png ? QByteArray("png") : QByteArray("jpeg"));
    if (!png)
        writer.setQuality(90);
    if (!writer.write(png ? image : image.convertToFormat(QImage::Format_RGB32))) {
        *error = QStringLiteral("the picture cannot be stored");
        return std::nullopt;
    }
    return out;
}

} // namespace accountd::AvatarImage
