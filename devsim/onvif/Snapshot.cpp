#include "Snapshot.h"

#include "PtzCamera.h"
#include "TestPattern.h"

#include <QBuffer>
#include <QDateTime>
#include <QImage>

#include <algorithm>
#include <vector>

namespace devsim {

namespace {

std::uint8_t clampByte(double v)
{
    return static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
}

} // namespace

QByteArray Snapshot::jpeg(const DeviceConfig &config, const PtzCamera *camera, int channel, bool hd)
{
    const QSize size = hd ? config.hd : config.sd;
    const int w = size.width(), h = size.height();
    std::vector<std::uint8_t> planes[3] = {std::vector<std::uint8_t>(std::size_t(w) * h),
                                           std::vector<std::uint8_t>(std::size_t(w) * h / 4),
                                           std::vector<std::uint8_t>(std::size_t(w) * h / 4)};
    TestPattern::Picture picture{
        {planes[0].data(), planes[1].data(), planes[2].data()}, {w, w / 2, w / 2}, w, h};
    const QDateTime now = QDateTime::currentDateTime();
    const std::string clock = now.toString(QStringLiteral("hh:mm:ss.zzz")).toStdString();
    const int shown = config.sharedStream ? 0 : channel;
    if (camera)
        camera->render(picture, shown, clock);
    else
        TestPattern::render(picture, config.pattern, shown, hd,
                            now.toMSecsSinceEpoch() * config.fps / 1000, clock);

    // BT.601 limited range, as the streams' decoders read it.
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
        std::uint8_t *out = image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const double luma = 1.164 * (planes[0][std::size_t(y) * w + x] - 16);
            const std::size_t c = std::size_t(y / 2) * (w / 2) + x / 2;
            const double u = planes[1][c] - 128.0, v = planes[2][c] - 128.0;
            out[3 * x] = clampByte(luma + 1.596 * v);
            out[3 * x + 1] = clampByte(luma - 0.392 * u - 0.813 * v);
            out[3 * x + 2] = clampByte(luma + 2.017 * u);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

} // namespace devsim
