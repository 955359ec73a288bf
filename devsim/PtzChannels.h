#pragma once

#include "PtzCamera.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>

namespace devsim {

// The PTZ cameras of one device, one per channel of a PTZ model (none otherwise), and the PTZ
// status lines their commands print.
//
// Threads: any; the set of cameras is fixed after construction, each camera has its own lock.
class PtzChannels
{
public:
    // channels cameras when ptz, none otherwise.
    PtzChannels(const QString &uid, bool ptz, int channels);

    // The camera of a PTZ channel, or null.
    PtzCamera *camera(int channel);
    // The PTZ IO control messages (IOCTRL_PTZ_SHORT, IOCTRL_PTZ_LONG): applied to the channel
    // the message names; true when type is one of them.
    bool handleIoCtrl(std::uint32_t type, const QByteArray &payload);
    // Applies a long-form command to the channel's camera; the command's name, empty when the
    // channel has no camera.
    QString command(int channel, int command, int speed, int extra);
    // Advances the cameras; reports movements ended by a lost stop.
    void tick();

private:
    QString apply(PtzCamera *camera, int channel, bool shortForm, int command, int speed,
                  int extra);

    const QString m_uid;
    std::map<int, std::unique_ptr<PtzCamera>> m_cameras; // by channel
};

} // namespace devsim
