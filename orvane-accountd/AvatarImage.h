#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace accountd {

// Checks an uploaded avatar and re-encodes it, so that what the service stores and serves is
// a picture it decoded itself (no metadata, no trailing bytes). JPEG and PNG up to
// maxSide x maxSide pixels are accepted; PNG stays PNG, everything else becomes JPEG.
// Any thread.
namespace AvatarImage {

constexpr int maxSide = 4096;

struct Encoded
{
    QByteArray mimeType;
    QByteArray data;
};

std::optional<Encoded> normalise(const QByteArray &upload, QString *error);

} // namespace AvatarImage
} // namespace accountd
