#include "PtzChannels.h"

#include "IoControl.h"
#include "IoCtrlType.h"
#include "StatusOutput.h"

#include <QDateTime>

namespace devsim {

PtzChannels::PtzChannels(const QString &uid, bool ptz, int channels)
    : m_uid(uid)
{
    if (ptz)
        for (int c = 0; c < channels; ++c)
            m_cameras[c] = std::make_unique<PtzCamera>();
}

PtzCamera *PtzChannels::camera(int channel)
{
    const auto it = m_cameras.find(channel);
    return it == m_cameras.end() ? nullptr : it->second.get();
}

bool PtzChannels::handleIoCtrl(std::uint32_t type, const QByteArray &payload)
{
    if (type != IoCtrlType::PtzShort && type != IoCtrlType::PtzLong)
        return false;
    const bool shortForm = type == IoCtrlType::PtzShort;
    if (payload.size() < (shortForm ? 8 : 12)) {
        StatusOutput::line(QStringLiteral("PTZ %1 bad message").arg(m_uid));
        return true;
    }
    const auto byte = [&](int i) { return int(static_cast<std::uint8_t>(payload.at(i))); };
    const int channel = shortForm ? byte(5) : int(IoControl::readU32(payload, 4).value_or(~0u));
    PtzCamera *cam = camera(channel);
    if (!cam) {
        StatusOutput::line(QStringLiteral("PTZ %1/%2 not a PTZ channel").arg(m_uid).arg(channel));
        return true;
    }
    apply(cam, channel, shortForm, byte(0), byte(1), shortForm ? 0 : byte(8));
    return true;
}

QString PtzChannels::command(int channel, int command, int speed, int extra)
{
    PtzCamera *cam = camera(channel);
    return cam ? apply(cam, channel, false, command, speed, extra) : QString();
}

QString PtzChannels::apply(PtzCamera *camera, int channel, bool shortForm, int command, int speed,
                           int extra)
{
    const QString name =
        camera->apply(shortForm, command, speed, extra, QDateTime::currentMSecsSinceEpoch());
    StatusOutput::line(QStringLiteral("PTZ %1/%2 %3 %4")
                           .arg(m_uid)
                           .arg(channel)
                           .arg(name.isEmpty()
                                    ? QStringLiteral("unknown-%1").arg(command)
                                    : QString(name).replace(QLatin1Char(' '), QLatin1Char('-')),
                                camera->status()));
    return name;
}

void PtzChannels::tick()
{
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    for (const auto &[channel, camera] : m_cameras)
        if (camera->tick(now))
            StatusOutput::line(QStringLiteral("PTZ %1/%2 timeout-stop %3")
                                   .arg(m_uid)
                                   .arg(channel)
                                   .arg(camera->status()));
}

} // namespace devsim
