#include "PlaybackPicture.h"

#include "PlaybackControl.h"

#include <QDateTime>
#include <QTimeZone>

namespace devsim {

void PlaybackPicture::render(TestPattern::Picture &picture, const DeviceConfig &config,
                             const FrameGrid &grid, int channel, qint64 utcMs)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc());
    TestPattern::renderTagged(picture, config.pattern, channel, "PB", grid.pictureNumber(utcMs),
                              at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toStdString());
}

void PlaybackPicture::stamp(p2p::FrameInfo &info, qint64 utcMs)
{
    const std::uint16_t ms = PlaybackControl::msField(utcMs);
    info.reserved1[0] = static_cast<std::uint8_t>(ms & 0xFF);
    info.reserved1[1] = static_cast<std::uint8_t>(ms >> 8);
    info.timestamp = static_cast<std::uint32_t>(utcMs / 1000);
}

} // namespace devsim
